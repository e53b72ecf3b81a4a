#include "platform/data/odbc_provider.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "platform/core/text.h"
#include "platform/data/field.h"

namespace {

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {0};
        SQLCHAR text[1024] = {0};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len)))
            break;
        if (!out.empty()) out += "\n";
        out += reinterpret_cast<char*>(text);
    }
    return out.empty() ? "ODBC call failed" : out;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw EDatabaseError(Diagnostics(type, handle));
}

std::u16string FromWide(const SQLWCHAR* p, std::size_t n) {
    std::u16string s(n, u'\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char16_t>(p[i]);
    return s;
}

class Stmt {
public:
    explicit Stmt(SQLHDBC dbc) {
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_HANDLE_DBC, dbc);
    }
    ~Stmt() {
        SQLFreeStmt(h, SQL_CLOSE);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    void Ok(SQLRETURN rc) const { Check(rc, SQL_HANDLE_STMT, h); }

    void Prepare(const std::string& sql) {
        std::u16string w = Utf8ToUtf16(sql);
        std::vector<SQLWCHAR> buf(w.begin(), w.end());
        buf.push_back(0);
        Ok(SQLPrepareW(h, buf.data(), SQL_NTS));
    }

    void Bind(const std::vector<Variant>& params) {
        SQLSMALLINT expected = 0;
        if (SQL_SUCCEEDED(SQLNumParams(h, &expected)) &&
            expected != static_cast<SQLSMALLINT>(params.size()))
            throw EDatabaseError("The statement expects " + std::to_string(expected) +
                                 " parameter(s), " + std::to_string(params.size()) + " given");
        values_.resize(params.size());
        inds_.resize(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            const Variant& v = params[i];
            auto& buf = values_[i];
            SQLLEN& ind = inds_[i];
            SQLSMALLINT ctype = SQL_C_CHAR, sqltype = SQL_VARCHAR;
            SQLULEN column = 1;
            switch (v.Kind()) {
            case VariantKind::Empty:
            case VariantKind::Null:
                buf.assign(1, '\0');
                ind = SQL_NULL_DATA;
                break;
            case VariantKind::Int32:
            case VariantKind::Int64:
            case VariantKind::Bool: {
                std::int64_t x =
                    v.Kind() == VariantKind::Bool ? (v.BoolValue() ? 1 : 0) : v.Int64Value();
                if (v.Kind() == VariantKind::Int32 || v.Kind() == VariantKind::Bool) {
                    std::int32_t y = static_cast<std::int32_t>(x);
                    buf.assign(reinterpret_cast<char*>(&y), reinterpret_cast<char*>(&y) + sizeof y);
                    ctype = SQL_C_SLONG;
                    sqltype = SQL_INTEGER;
                } else {
                    buf.assign(reinterpret_cast<char*>(&x), reinterpret_cast<char*>(&x) + sizeof x);
                    ctype = SQL_C_SBIGINT;
                    sqltype = SQL_BIGINT;
                }
                ind = 0;
                break;
            }
            case VariantKind::Double: {
                double d = v.DoubleValue();
                buf.assign(reinterpret_cast<char*>(&d), reinterpret_cast<char*>(&d) + sizeof d);
                ctype = SQL_C_DOUBLE;
                sqltype = SQL_DOUBLE;
                ind = 0;
                break;
            }
            case VariantKind::Date: {
                SQL_TIMESTAMP_STRUCT ts{};
                int y, mo, d, hh, mi, s, ms;
                DecodeDate(v.DoubleValue(), y, mo, d);
                DecodeTime(v.DoubleValue(), hh, mi, s, ms);
                ts.year = static_cast<SQLSMALLINT>(y);
                ts.month = static_cast<SQLUSMALLINT>(mo);
                ts.day = static_cast<SQLUSMALLINT>(d);
                ts.hour = static_cast<SQLUSMALLINT>(hh);
                ts.minute = static_cast<SQLUSMALLINT>(mi);
                ts.second = static_cast<SQLUSMALLINT>(s);
                ts.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
                buf.assign(reinterpret_cast<char*>(&ts), reinterpret_cast<char*>(&ts) + sizeof ts);
                ctype = SQL_C_TYPE_TIMESTAMP;
                sqltype = SQL_TYPE_TIMESTAMP;
                column = 23;
                ind = 0;
                break;
            }
            case VariantKind::String: {
                std::u16string w = Utf8ToUtf16(v.StringValue());
                buf.resize((w.size() + 1) * sizeof(SQLWCHAR));
                auto* out = reinterpret_cast<SQLWCHAR*>(buf.data());
                for (std::size_t k = 0; k < w.size(); ++k)
                    out[k] = w[k];
                out[w.size()] = 0;
                ctype = SQL_C_WCHAR;
                sqltype = SQL_WVARCHAR;
                column = w.empty() ? 1 : w.size();
                ind = static_cast<SQLLEN>(w.size() * sizeof(SQLWCHAR));
                break;
            }
            case VariantKind::Array:
                throw EDatabaseError("An array cannot be a parameter value");
            }
            Ok(SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, ctype,
                                sqltype, column, 0, buf.data(), static_cast<SQLLEN>(buf.size()),
                                &ind));
        }
    }

    SQLHSTMT h = nullptr;

private:
    std::vector<std::string> values_;
    std::vector<SQLLEN> inds_;
};

TFieldType MapType(SQLSMALLINT t) {
    switch (t) {
    case SQL_BIT:
        return ftBoolean;
    case SQL_TINYINT:
        return ftWord;
    case SQL_SMALLINT:
        return ftSmallint;
    case SQL_INTEGER:
        return ftInteger;
    case SQL_BIGINT:
        return ftLargeint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ftFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return ftFMTBcd;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return ftDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return ftTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return ftDateTime;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
        return ftMemo;
    case SQL_BINARY:
    case SQL_VARBINARY:
        return ftVarBytes;
    case SQL_LONGVARBINARY:
        return ftBlob;
    case SQL_GUID:
        return ftGuid;
    default:
        return ftWideString;
    }
}

std::vector<TDbColumn> DescribeAll(Stmt& st) {
    SQLSMALLINT n = 0;
    st.Ok(SQLNumResultCols(st.h, &n));
    std::vector<TDbColumn> cols;
    for (SQLUSMALLINT c = 1; c <= n; ++c) {
        SQLWCHAR name[512];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        st.Ok(SQLDescribeColW(st.h, c, name, 512, &nameLen, &type, &size, &digits, &nullable));
        TDbColumn col;
        col.Name = Utf16ToUtf8(
            FromWide(name, static_cast<std::size_t>(std::min<SQLSMALLINT>(nameLen, 511))));
        col.DataType = MapType(type);
        if (col.DataType == ftWideString)
            col.Size = size > 0 && size < 65536 ? static_cast<int>(size) : 255;
        if (col.DataType == ftVarBytes) col.Size = static_cast<int>(std::min<SQLULEN>(size, 65535));
        col.Required = nullable == SQL_NO_NULLS;
        cols.push_back(std::move(col));
    }
    return cols;
}

// Variable-length data comes in pieces until SQL_NO_DATA.
bool ReadLong(Stmt& st, SQLUSMALLINT c, SQLSMALLINT ctype, std::string& bytes) {
    bytes.clear();
    char buf[8192];
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(st.h, c, ctype, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA) break;
        st.Ok(rc);
        if (ind == SQL_NULL_DATA) return false;
        std::size_t terminator = ctype == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
        std::size_t got =
            (ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) > sizeof buf - terminator)
                ? sizeof buf - terminator
                : static_cast<std::size_t>(ind);
        if (ctype == SQL_C_WCHAR) got -= got % sizeof(SQLWCHAR);
        bytes.append(buf, got);
        if (rc == SQL_SUCCESS) break;
    }
    return true;
}

Variant ReadCell(Stmt& st, SQLUSMALLINT c, TFieldType type) {
    SQLLEN ind = 0;
    switch (type) {
    case ftBoolean:
    case ftWord:
    case ftSmallint:
    case ftInteger:
    case ftLargeint: {
        std::int64_t v = 0;
        st.Ok(SQLGetData(st.h, c, SQL_C_SBIGINT, &v, sizeof v, &ind));
        if (ind == SQL_NULL_DATA) return Variant::Null();
        if (type == ftBoolean) return Variant(v != 0);
        if (type == ftLargeint) return Variant(static_cast<long long>(v));
        return Variant(static_cast<int>(v));
    }
    case ftFloat:
    case ftFMTBcd:
    case ftCurrency:
    case ftBCD: {
        double v = 0;
        st.Ok(SQLGetData(st.h, c, SQL_C_DOUBLE, &v, sizeof v, &ind));
        return ind == SQL_NULL_DATA ? Variant::Null() : Variant(v);
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
        SQL_TIMESTAMP_STRUCT ts{};
        st.Ok(SQLGetData(st.h, c, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind));
        if (ind == SQL_NULL_DATA) return Variant::Null();
        TDateTime d = 0, t = 0;
        if (type != ftTime) TryEncodeDate(ts.year, ts.month, ts.day, d);
        TryEncodeTime(ts.hour, ts.minute, ts.second, static_cast<int>(ts.fraction / 1000000u), t);
        return Variant::FromDate(d + t);
    }
    case ftBlob:
    case ftVarBytes: {
        std::string bytes;
        if (!ReadLong(st, c, SQL_C_BINARY, bytes)) return Variant::Null();
        return Variant(std::move(bytes));
    }
    default: {
        std::string bytes;
        if (!ReadLong(st, c, SQL_C_WCHAR, bytes)) return Variant::Null();
        const auto* w = reinterpret_cast<const SQLWCHAR*>(bytes.data());
        return Variant(Utf16ToUtf8(FromWide(w, bytes.size() / sizeof(SQLWCHAR))));
    }
    }
}

} // namespace

TOdbcProvider::TOdbcProvider(const std::string& connectionString) {
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw EDatabaseError("Cannot start the ODBC driver manager");
    env_ = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        std::string msg = Diagnostics(SQL_HANDLE_ENV, env);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        throw EDatabaseError(msg);
    }
    dbc_ = dbc;
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    std::vector<SQLCHAR> cs(connectionString.begin(), connectionString.end());
    cs.push_back(0);
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, cs.data(), SQL_NTS, out, sizeof out, &outLen,
                                    SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::string msg = Diagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        dbc_ = env_ = nullptr;
        throw EDatabaseError(msg);
    }
    connected_ = true;
}

TOdbcProvider::~TOdbcProvider() {
    if (connected_) SQLDisconnect(static_cast<SQLHDBC>(dbc_));
    if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(env_));
}

TDbResultSet TOdbcProvider::Query(const std::string& sql, const std::vector<Variant>& params) {
    Stmt st(static_cast<SQLHDBC>(dbc_));
    st.Prepare(sql);
    st.Bind(params);
    st.Ok(SQLExecute(st.h));
    TDbResultSet result;
    result.Columns = DescribeAll(st);
    if (result.Columns.empty()) throw EDatabaseError("Command text does not return a result set");
    const auto n = static_cast<SQLUSMALLINT>(result.Columns.size());
    for (;;) {
        SQLRETURN rc = SQLFetch(st.h);
        if (rc == SQL_NO_DATA) break;
        st.Ok(rc);
        for (SQLUSMALLINT c = 1; c <= n; ++c)
            result.Cells.push_back(ReadCell(st, c, result.Columns[c - 1u].DataType));
    }
    return result;
}

std::vector<TDbColumn> TOdbcProvider::Describe(const std::string& sql,
                                               const std::vector<Variant>& params) {
    (void)params;
    Stmt st(static_cast<SQLHDBC>(dbc_));
    st.Prepare(sql);
    return DescribeAll(st);
}

int TOdbcProvider::Execute(const std::string& sql, const std::vector<Variant>& params) {
    Stmt st(static_cast<SQLHDBC>(dbc_));
    st.Prepare(sql);
    st.Bind(params);
    st.Ok(SQLExecute(st.h));
    SQLLEN rows = 0;
    SQLRowCount(st.h, &rows);
    return static_cast<int>(rows < 0 ? 0 : rows);
}

std::vector<TDbTableInfo> TOdbcProvider::Tables() {
    Stmt st(static_cast<SQLHDBC>(dbc_));
    st.Ok(SQLTables(st.h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
    std::vector<TDbTableInfo> out;
    auto text = [&](SQLUSMALLINT c) {
        Variant v = ReadCell(st, c, ftWideString);
        return v.IsNull() ? std::string() : v.StringValue();
    };
    while (SQL_SUCCEEDED(SQLFetch(st.h))) {
        TDbTableInfo t;
        t.Catalog = text(1);
        t.Schema = text(2);
        t.Name = text(3);
        t.Type = text(4);
        out.push_back(std::move(t));
    }
    return out;
}
