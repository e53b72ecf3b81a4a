#include "platform/data/sqlite_provider.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>

#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/data/jet_sql.h"

namespace {

[[noreturn]] void Fail(sqlite3* db) {
    throw EDatabaseError(sqlite3_errmsg(db));
}

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, &tail) !=
            SQLITE_OK)
            Fail(db);
        if (!stmt_) throw EDatabaseError("Command text does not return a result set");
        length_ = tail ? static_cast<std::size_t>(tail - sql.c_str()) : sql.size();
        while (tail && *tail && std::isspace(static_cast<unsigned char>(*tail)))
            ++tail;
        // A trailing ";" is fine; a second statement is not run silently.
        if (tail && *tail == ';') {
            ++tail;
            while (*tail && std::isspace(static_cast<unsigned char>(*tail)))
                ++tail;
        }
        if (tail && *tail) {
            sqlite3_finalize(stmt_);
            throw EDatabaseError("Characters found after end of SQL statement.");
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    // Length of the statement's own text, up to its ";" if any.
    std::size_t Length() const { return length_; }

    void Bind(const std::vector<Variant>& params) {
        int expected = sqlite3_bind_parameter_count(stmt_);
        if (expected != static_cast<int>(params.size()))
            throw EDatabaseError(Format("The statement expects %d parameter(s), %d given",
                                        {expected, static_cast<int>(params.size())}));
        for (int i = 0; i < expected; ++i) {
            const Variant& v = params[static_cast<std::size_t>(i)];
            int rc = SQLITE_OK;
            switch (v.Kind()) {
            case VariantKind::Empty:
            case VariantKind::Null:
                rc = sqlite3_bind_null(stmt_, i + 1);
                break;
            case VariantKind::Int32:
            case VariantKind::Int64:
                rc = sqlite3_bind_int64(stmt_, i + 1, v.Int64Value());
                break;
            case VariantKind::Bool:
                rc = sqlite3_bind_int(stmt_, i + 1, v.BoolValue() ? 1 : 0);
                break;
            case VariantKind::Double:
                rc = sqlite3_bind_double(stmt_, i + 1, v.DoubleValue());
                break;
            case VariantKind::Date: {
                std::string t = DateTimeToSqlText(v.DoubleValue());
                rc = sqlite3_bind_text(stmt_, i + 1, t.c_str(), static_cast<int>(t.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            case VariantKind::String:
                rc = sqlite3_bind_text(stmt_, i + 1, v.StringValue().data(),
                                       static_cast<int>(v.StringValue().size()), SQLITE_TRANSIENT);
                break;
            case VariantKind::Array:
                throw EDatabaseError("An array cannot be a parameter value");
            }
            if (rc != SQLITE_OK) Fail(db_);
        }
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::size_t length_ = 0;
};

// Functions whose result depends only on their arguments. A statement that calls anything else
// (random(), the current date or time, changes(), a function we don't know) may pick other rows
// when run twice, so a second statement cannot count its rows.
bool StableFunction(const char* name) {
    static const char* const stable[] = {
        "abs",     "avg",        "char",   "coalesce",     "count",      "glob",    "group_concat",
        "hex",     "ifnull",     "iif",    "instr",        "lcase",      "len",     "length",
        "like",    "likelihood", "likely", "lower",        "ltrim",      "max",     "mid",
        "min",     "nullif",     "nz",     "octet_length", "printf",     "format",  "quote",
        "replace", "round",      "rtrim",  "sign",         "string_agg", "substr",  "substring",
        "sum",     "total",      "trim",   "typeof",       "ucase",      "unicode", "unlikely",
        "upper",   "cstr",       "val",    "jet_left",     "jet_right",  "year",    "month",
        "day",     "hour",       "minute", "second",       "weekday",    "datepart", "datediff",
        "dateadd", "dateserial", "int",    "fix",          "sgn",        "sqr",     "exp",
        "log",     "sin",        "cos",    "tan",          "atn",        "cint",    "clng",
        "cbyte",   "cdbl",       "ccur",   "cbool",        "cdate",      "switch",  "choose",
        "first",   "last",       "stdev",  "stdevp",       "var",        "varp"};
    for (const char* s : stable)
        if (sqlite3_stricmp(s, name) == 0) return true;
    return false;
}

// Prepares with an authorizer that notes calls of unstable functions.
class StabilityCheck {
public:
    explicit StabilityCheck(sqlite3* db) : db_(db) {
        sqlite3_set_authorizer(db_, &StabilityCheck::Authorize, this);
    }
    ~StabilityCheck() { sqlite3_set_authorizer(db_, nullptr, nullptr); }
    StabilityCheck(const StabilityCheck&) = delete;
    StabilityCheck& operator=(const StabilityCheck&) = delete;
    bool Stable() const { return stable_; }

private:
    static int Authorize(void* self, int action, const char*, const char* name, const char*,
                         const char*) {
        if (action == SQLITE_FUNCTION && !(name && StableFunction(name)))
            static_cast<StabilityCheck*>(self)->stable_ = false;
        return SQLITE_OK;
    }
    sqlite3* db_;
    bool stable_ = true;
};

std::vector<TDbColumn> Columns(sqlite3_stmt* st) {
    std::vector<TDbColumn> cols;
    int n = sqlite3_column_count(st);
    for (int c = 0; c < n; ++c) {
        TDbColumn col;
        const char* name = sqlite3_column_name(st, c);
        col.Name = name ? name : "";
        SqliteDeclaredType(sqlite3_column_decltype(st, c), col.DataType, col.Size);
        cols.push_back(std::move(col));
    }
    return cols;
}

bool IsDateType(TFieldType type) {
    return type == ftDate || type == ftTime || type == ftDateTime || type == ftTimeStamp;
}

// A date column may hold any number, but the dates run from 0001-01-01 to 9999-12-31 only;
// anything else is damage that no date function can show, so it is refused where it is read,
// naming where it stands, rather than failing later with no trace of its origin.
Variant DateCell(sqlite3_stmt* st, int c, double value, const TDbColumn& column, int row) {
    constexpr double kBeforeFirstDay = -693594.0; // 0001-01-01 is -693593, with any time of day
    constexpr double kAfterLastDay = 2958466.0;   // 10000-01-01
    if (value > kBeforeFirstDay && value < kAfterLastDay) return Variant::FromDate(value);
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
    throw EDatabaseError(Format("The column %s of row %d holds %s, which is not a date.",
                                {column.Name, row, text ? text : ""}));
}

// The cell of column c in the current row, which is row `row` (from 1) of the result.
Variant ReadCell(sqlite3_stmt* st, int c, TFieldType type, const TDbColumn& column, int row) {
    switch (sqlite3_column_type(st, c)) {
    case SQLITE_NULL:
        return Variant::Null();
    case SQLITE_INTEGER: {
        sqlite3_int64 i = sqlite3_column_int64(st, c);
        if (IsDateType(type)) return DateCell(st, c, static_cast<double>(i), column, row);
        switch (type) {
        case ftBoolean:
            return Variant(i != 0);
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftFMTBcd:
            return Variant(static_cast<double>(i));
        case ftLargeint:
            return Variant(static_cast<long long>(i));
        default:
            if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<int>(i));
            return Variant(static_cast<long long>(i));
        }
    }
    case SQLITE_FLOAT: {
        double d = sqlite3_column_double(st, c);
        if (IsDateType(type)) return DateCell(st, c, d, column, row);
        if (type == ftBoolean) return Variant(d != 0);
        return Variant(d);
    }
    case SQLITE_TEXT: {
        std::string_view s(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                           static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
        if (IsDateType(type)) {
            TDateTime d;
            if (SqlTextToDateTime(s, d)) return Variant::FromDate(d);
        }
        return Variant(s);
    }
    default: {
        const void* p = sqlite3_column_blob(st, c);
        int n = sqlite3_column_bytes(st, c);
        return Variant(std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n)));
    }
    }
}

// Expression columns have no declared type: the first value decides.
TFieldType TypeOfValue(int storage) {
    switch (storage) {
    case SQLITE_INTEGER:
        return ftInteger;
    case SQLITE_FLOAT:
        return ftFloat;
    case SQLITE_BLOB:
        return ftBlob;
    default:
        return ftWideString;
    }
}

// Appends the current row, row `row` (from 1) of the result; expression columns (no declared
// type) take the type of their first value that is not null.
void ReadRow(sqlite3_stmt* st, std::vector<TDbColumn>& columns, std::vector<TFieldType>& types,
             std::vector<Variant>& cells, int row) {
    const int n = static_cast<int>(types.size());
    for (int c = 0; c < n; ++c) {
        auto& type = types[static_cast<std::size_t>(c)];
        auto& col = columns[static_cast<std::size_t>(c)];
        if (type == ftUnknown && sqlite3_column_type(st, c) != SQLITE_NULL) {
            col.DataType = type = TypeOfValue(sqlite3_column_type(st, c));
            if (col.DataType == ftWideString) col.Size = 255;
        }
        cells.push_back(ReadCell(st, c, type, col, row));
    }
}

// Rows read at open; a result with more rows is counted and the rest read on demand.
constexpr int kFirstRows = 10000;

int Digits(std::string_view s, std::size_t& i, int maxDigits) {
    int v = 0, n = 0;
    while (i < s.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(s[i]))) {
        v = v * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    return n == 0 ? -1 : v;
}

} // namespace

// ---- the rest of a large result ----------------------------------------------------------------

// The statement stays prepared and steps on as the data set asks for rows. While it is not
// done, the connection keeps the read it began, so the rows and their count are of one moment.
class TSqliteCursor final : public TDbRowSource {
public:
    // `read`: the rows read from the statement before it was handed over.
    TSqliteCursor(TSqliteProvider& provider, std::unique_ptr<Statement> st,
                  std::vector<TDbColumn> columns, int total, int read)
        : provider_(provider), st_(std::move(st)), columns_(std::move(columns)), total_(total),
          read_(read) {
        for (const auto& c : columns_)
            types_.push_back(c.DataType);
        provider_.cursors_.push_back(this);
    }
    ~TSqliteCursor() override { Release(); }
    TSqliteCursor(const TSqliteCursor&) = delete;
    TSqliteCursor& operator=(const TSqliteCursor&) = delete;

    bool Fetch(TDbResultSet& into, int maxRows) override {
        std::size_t want = maxRows > 0 ? static_cast<std::size_t>(maxRows) : 0;
        const std::size_t n = types_.size();
        const std::size_t ready = std::min(want, AheadRows() - aheadRow_);
        if (ready > 0) {
            auto from = ahead_.begin() + static_cast<std::ptrdiff_t>(aheadRow_ * n);
            into.Cells.insert(
                into.Cells.end(), std::make_move_iterator(from),
                std::make_move_iterator(from + static_cast<std::ptrdiff_t>(ready * n)));
            aheadRow_ += ready;
            want -= ready;
        }
        if (aheadRow_ == AheadRows() && !ahead_.empty()) {
            std::vector<Variant>().swap(ahead_);
            aheadRow_ = 0;
        }
        while (want > 0 && st_ && Step()) {
            try {
                ReadRow(st_->get(), columns_, types_, into.Cells, ++read_);
            } catch (const std::exception& e) {
                // The row is lost to the statement: no later call may pretend to go on.
                into.Cells.resize(into.Cells.size() / n * n);
                error_ = e.what();
                Release();
                throw EDatabaseError(error_);
            }
            --want;
        }
        if (ahead_.empty() && !st_ && !error_.empty()) throw EDatabaseError(error_);
        return st_ || !ahead_.empty();
    }
    int TotalRows() const override { return total_; }

    // Reads every row left into memory and releases the statement; a failure is kept for
    // Fetch to raise.
    void ReadAhead() noexcept {
        try {
            while (st_ && Step())
                ReadRow(st_->get(), columns_, types_, ahead_, ++read_);
        } catch (const std::exception& e) {
            if (error_.empty()) error_ = e.what();
            ahead_.resize(AheadRows() * types_.size());
        }
        Release();
    }

private:
    std::size_t AheadRows() const { return types_.empty() ? 0 : ahead_.size() / types_.size(); }

    bool Step() {
        const int rc = sqlite3_step(st_->get());
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(provider_.db_);
        Release();
        if (!error_.empty()) throw EDatabaseError(error_);
        return false;
    }

    void Release() noexcept {
        if (!st_) return;
        st_.reset();
        std::erase(provider_.cursors_, this);
    }

    TSqliteProvider& provider_; // outlives the statement: its destructor reads us ahead
    std::unique_ptr<Statement> st_;
    std::vector<TDbColumn> columns_;
    std::vector<TFieldType> types_;
    int total_;
    int read_;                   // rows read from the statement so far
    std::vector<Variant> ahead_; // rows read ahead, row-major
    std::size_t aheadRow_ = 0;   // first of them not handed out yet
    std::string error_;
};

// ---- types and date text -----------------------------------------------------------------------

void SqliteDeclaredType(const char* declared, TFieldType& type, int& size) {
    size = 0;
    if (!declared || !*declared) {
        type = ftUnknown;
        return;
    }
    std::string t = UpperCase(declared);
    std::size_t paren = t.find('(');
    if (paren != std::string::npos) size = std::atoi(t.c_str() + paren + 1);
    std::string base = Trim(t.substr(0, paren));
    auto has = [&](const char* w) { return base.find(w) != std::string::npos; };
    if (has("BOOL") || base == "BIT" || base == "YESNO")
        type = ftBoolean;
    else if (base == "BIGINT" || base == "INT64" || base == "LARGEINT")
        type = ftLargeint;
    else if (base == "SMALLINT" || base == "SHORT")
        type = ftSmallint;
    else if (base == "TINYINT" || base == "BYTE")
        type = ftWord;
    else if (has("INT") || base == "COUNTER" || base == "LONG")
        type = ftInteger;
    else if (base == "DATE")
        type = ftDate;
    else if (base == "TIME")
        type = ftTime;
    else if (has("DATE") || has("TIME"))
        type = ftDateTime;
    else if (has("CURRENCY") || has("MONEY"))
        type = ftCurrency;
    else if (has("DEC") || has("NUMERIC"))
        type = ftFMTBcd;
    else if (has("REAL") || has("FLOA") || has("DOUB") || base == "SINGLE")
        type = ftFloat;
    else if (has("LONGTEXT") || has("MEMO") || has("CLOB") || base == "NTEXT" || has("LONGCHAR") ||
             has("LONGVARCHAR"))
        type = ftMemo;
    else if (has("CHAR") || has("TEXT") || has("STRING")) {
        type = ftWideString;
        if (size <= 0) size = 255;
    } else if (has("BLOB") || has("BINARY") || has("OLE") || has("IMAGE"))
        type = ftBlob;
    else if (has("GUID"))
        type = ftGuid;
    else
        type = ftWideString;
}

std::string DateTimeToSqlText(TDateTime value) {
    int y, mo, d, h, mi, s, ms;
    DecodeDate(value, y, mo, d);
    DecodeTime(value, h, mi, s, ms);
    char buf[40];
    if (ms)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s,
                      ms);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

bool SqlTextToDateTime(std::string_view s, TDateTime& value) {
    std::size_t i = 0;
    int y = Digits(s, i, 4);
    if (y < 0 || i >= s.size() || s[i] != '-') return false;
    ++i;
    int mo = Digits(s, i, 2);
    if (mo < 0 || i >= s.size() || s[i] != '-') return false;
    ++i;
    int d = Digits(s, i, 2);
    if (d < 0) return false;
    int h = 0, mi = 0, sec = 0, ms = 0;
    if (i < s.size()) {
        if (s[i] != ' ' && s[i] != 'T') return false;
        ++i;
        h = Digits(s, i, 2);
        if (h < 0 || i >= s.size() || s[i] != ':') return false;
        ++i;
        mi = Digits(s, i, 2);
        if (mi < 0) return false;
        if (i < s.size() && s[i] == ':') {
            ++i;
            sec = Digits(s, i, 2);
            if (sec < 0) return false;
            if (i < s.size() && s[i] == '.') {
                ++i;
                std::size_t start = i;
                int frac = Digits(s, i, 9);
                if (frac < 0) return false;
                std::size_t n = i - start;
                ms = static_cast<int>(
                    std::lround(frac / std::pow(10.0, static_cast<double>(n)) * 1000.0));
                if (ms > 999) ms = 999;
            }
        }
        if (i != s.size()) return false;
    }
    TDateTime date, time;
    if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, sec, ms, time)) return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

// ---- the provider ------------------------------------------------------------------------------

TSqliteProvider::TSqliteProvider(const std::string& path, bool readOnly, bool jetDialect,
                                 bool create)
    : jet_(jetDialect) {
    std::error_code ec;
    if (!create && !std::filesystem::exists(path, ec))
        throw EDatabaseError("Could not find file '" + path + "'.");
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !readOnly) flags |= SQLITE_OPEN_CREATE;
    flags |= SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw EDatabaseError(msg + ": '" + path + "'");
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, 2000);
    // Reading the schema finds a file that is not a database, or a damaged one, now rather
    // than at the first query.
    char* err = nullptr;
    if (sqlite3_exec(db_, "select count(*) from sqlite_master", nullptr, nullptr, &err) !=
        SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        sqlite3_close(db_);
        db_ = nullptr;
        throw EDatabaseError(msg + ": '" + path + "'");
    }
    if (jet_) RegisterJetFunctions(db_);
}

TSqliteProvider::~TSqliteProvider() {
    ReadAheadCursors();
    sqlite3_close(db_);
}

void TSqliteProvider::ReadAheadCursors() noexcept {
    while (!cursors_.empty())
        cursors_.back()->ReadAhead();
}

int TSqliteProvider::CountRows(const std::string& sql, const std::vector<Variant>& params) {
    std::string body = sql;
    while (!body.empty() &&
           (std::isspace(static_cast<unsigned char>(body.back())) || body.back() == ';'))
        body.pop_back();
    try {
        // The newline ends a trailing "--" comment.
        Statement count(db_, "select count(*) from (" + body + "\n)");
        count.Bind(params);
        if (sqlite3_step(count.get()) != SQLITE_ROW) return -1;
        const sqlite3_int64 n = sqlite3_column_int64(count.get(), 0);
        return n >= 0 && n <= INT32_MAX ? static_cast<int>(n) : -1;
    } catch (const EDatabaseError&) {
        return -1;
    }
}

std::string TSqliteProvider::Translate(const std::string& sql) const {
    return jet_ ? TranslateJetSQL(sql) : sql;
}

TDbResultSet TSqliteProvider::Query(const std::string& sql, const std::vector<Variant>& params) {
    // A result still being read shares this connection's read: finish it first, as if it had
    // been read whole at its open.
    ReadAheadCursors();
    const std::string text = Translate(sql);
    std::unique_ptr<Statement> st;
    bool stable = false;
    {
        StabilityCheck check(db_);
        st = std::make_unique<Statement>(db_, text);
        stable = check.Stable();
    }
    st->Bind(params);
    TDbResultSet result;
    result.Columns = Columns(st->get());
    const int n = result.ColumnCount();
    if (n == 0) throw EDatabaseError("Command text does not return a result set");
    std::vector<TFieldType> types;
    for (const auto& c : result.Columns)
        types.push_back(c.DataType);
    result.Cells.reserve(static_cast<std::size_t>(n) * 64);
    for (int rows = 0;; ++rows) {
        // A large result shows its first rows without reading the rest, when its rows can be
        // counted apart and its column types are settled.
        if (rows == kFirstRows && stable && sqlite3_stmt_readonly(st->get()) &&
            std::find(types.begin(), types.end(), ftUnknown) == types.end()) {
            const int total = CountRows(text.substr(0, st->Length()), params);
            if (total >= rows) {
                result.More = std::make_shared<TSqliteCursor>(*this, std::move(st), result.Columns,
                                                              total, rows);
                return result;
            }
        }
        int rc = sqlite3_step(st->get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) Fail(db_);
        ReadRow(st->get(), result.Columns, types, result.Cells, rows + 1);
    }
    for (auto& col : result.Columns)
        if (col.DataType == ftUnknown) {
            col.DataType = ftWideString;
            col.Size = 255;
        }
    return result;
}

std::vector<TDbColumn> TSqliteProvider::Describe(const std::string& sql,
                                                 const std::vector<Variant>& params) {
    (void)params;
    Statement st(db_, Translate(sql));
    auto cols = Columns(st.get());
    for (auto& col : cols)
        if (col.DataType == ftUnknown) {
            col.DataType = ftWideString;
            col.Size = 255;
        }
    return cols;
}

int TSqliteProvider::Execute(const std::string& sql, const std::vector<Variant>& params) {
    // Rows of results opened before the change are read as they were.
    ReadAheadCursors();
    Statement st(db_, Translate(sql));
    st.Bind(params);
    for (;;) {
        int rc = sqlite3_step(st.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) Fail(db_);
    }
    return sqlite3_changes(db_);
}

std::vector<TDbTableInfo> TSqliteProvider::Tables() {
    Statement st(
        db_, "select name, type from sqlite_master where type in ('table','view') order by name");
    std::vector<TDbTableInfo> out;
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        TDbTableInfo t;
        t.Name = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
        std::string type = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1));
        t.Type =
            type == "view" ? "VIEW" : (t.Name.rfind("sqlite_", 0) == 0 ? "SYSTEM TABLE" : "TABLE");
        out.push_back(std::move(t));
    }
    return out;
}
