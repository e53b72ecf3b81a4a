#pragma once
// The database behind a connection. A provider runs statements with positional "?"
// parameters and lists tables; the connection string chooses which one serves it.

#include <memory>
#include <string>
#include <vector>

#include "platform/core/variant.h"
#include "platform/data/result_set.h"

enum TConnectMode {
    cmUnknown,
    cmRead,
    cmWrite,
    cmReadWrite,
    cmShareDenyRead,
    cmShareDenyWrite,
    cmShareExclusive,
    cmShareDenyNone
};

struct TDbTableInfo {
    std::string Catalog;
    std::string Schema;
    std::string Name;
    std::string Type; // "TABLE", "VIEW", "SYSTEM TABLE"
};

class TDbProvider {
public:
    virtual ~TDbProvider() = default;
    // All rows of a statement that returns rows.
    virtual TDbResultSet Query(const std::string& sql, const std::vector<Variant>& params) = 0;
    // The columns of a statement without reading its rows.
    virtual std::vector<TDbColumn> Describe(const std::string& sql,
                                            const std::vector<Variant>& params) {
        return Query(sql, params).Columns;
    }
    // A statement that returns no rows; the number of rows it changed.
    virtual int Execute(const std::string& sql, const std::vector<Variant>& params) = 0;
    virtual std::vector<TDbTableInfo> Tables() = 0;
    // Quotes a table name for a "select * from" of a table data set.
    virtual std::string QuoteName(const std::string& name) const { return "\"" + name + "\""; }
};

// Opens the provider that the connection string names (Provider=..., DSN=, Driver=). Raises
// EDatabaseError with the database's own message when it cannot.
std::unique_ptr<TDbProvider> OpenProvider(const std::string& connectionString, TConnectMode mode);
