#pragma once
// The SQLite provider: a SQLite file, read and written directly. With the Jet dialect on, the
// statements are translated first (jet_sql.h) and the Jet functions are available.

#include <string>
#include <vector>

#include "platform/data/provider.h"

struct sqlite3;
class TSqliteCursor;

class TSqliteProvider : public TDbProvider {
public:
    // create: make the file when it is missing; otherwise a missing file is an error.
    TSqliteProvider(const std::string& path, bool readOnly, bool jetDialect, bool create);
    ~TSqliteProvider() override;

    TDbResultSet Query(const std::string& sql, const std::vector<Variant>& params) override;
    std::vector<TDbColumn> Describe(const std::string& sql,
                                    const std::vector<Variant>& params) override;
    int Execute(const std::string& sql, const std::vector<Variant>& params) override;
    std::vector<TDbTableInfo> Tables() override;
    std::string QuoteName(const std::string& name) const override { return "[" + name + "]"; }

    sqlite3* Handle() const { return db_; }

private:
    friend class TSqliteCursor;
    std::string Translate(const std::string& sql) const;
    // Rows of a large result that the data set reads later; -1 when the statement cannot be
    // counted reliably.
    int CountRows(const std::string& sql, const std::vector<Variant>& params);
    // Reads the rest of every open cursor, so a change made on this connection doesn't reach
    // rows of a result opened before it, and no statement outlives the connection.
    void ReadAheadCursors() noexcept;
    sqlite3* db_ = nullptr;
    bool jet_;
    std::vector<TSqliteCursor*> cursors_;
};

// Declared column types of SQLite mapped to field types ("VARCHAR(20)" -> ftWideString, 20).
void SqliteDeclaredType(const char* declared, TFieldType& type, int& size);
// Date-time text as this layer stores it: "yyyy-mm-dd hh:nn:ss" (".zzz" when there are
// milliseconds).
std::string DateTimeToSqlText(TDateTime value);
// Reads "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" (a "T" may separate); false for anything else.
bool SqlTextToDateTime(std::string_view text, TDateTime& value);
