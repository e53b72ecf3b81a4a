#include "platform/data/jet_sql.h"

#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/data/field.h"
#include "platform/data/sqlite_provider.h"

namespace {

bool IsIdentChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

std::string Quote(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// The pieces of the short-date format in order: 'y', 'm', 'd'.
std::string DateOrder() {
    std::string order;
    for (char c : LowerCase(FormatSettings().ShortDateFormat))
        if ((c == 'y' || c == 'm' || c == 'd') && order.find(c) == std::string::npos) order += c;
    return order.size() == 3 ? order : "ymd";
}

bool ReadNumber(std::string_view s, std::size_t& i, int& v) {
    std::size_t start = i;
    v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < 4)
        v = v * 10 + (s[i++] - '0');
    return i > start;
}

// The text between two "#" as a date and time; false when it is not one.
bool ParseJetDate(std::string_view text, TDateTime& value) {
    std::string s = Trim(text);
    std::size_t i = 0;
    int parts[3] = {0, 0, 0};
    std::size_t len[3] = {0, 0, 0};
    int count = 0;
    TDateTime date = 0, time = 0;
    bool hasDate = false;
    // A date part: numbers joined by the date separator (or / - .).
    std::size_t save = i;
    while (count < 3) {
        std::size_t start = i;
        if (!ReadNumber(s, i, parts[count])) break;
        len[count] = i - start;
        ++count;
        if (i < s.size() &&
            (s[i] == FormatSettings().DateSeparator || s[i] == '/' || s[i] == '-' || s[i] == '.') &&
            count < 3)
            ++i;
        else
            break;
    }
    if (count == 3) {
        int y, m, d;
        if (len[0] >= 3) {
            y = parts[0], m = parts[1], d = parts[2];
        } else {
            std::string order = DateOrder();
            int* slot[3];
            for (int k = 0; k < 3; ++k)
                slot[k] = order[static_cast<std::size_t>(k)] == 'y'   ? &y
                          : order[static_cast<std::size_t>(k)] == 'm' ? &m
                                                                      : &d;
            for (int k = 0; k < 3; ++k)
                *slot[k] = parts[k];
            std::size_t ylen = len[order.find('y')];
            if (ylen <= 2) y += y < 50 ? 2000 : 1900;
        }
        if (!TryEncodeDate(y, m, d, date)) return false;
        hasDate = true;
        while (i < s.size() && s[i] == ' ')
            ++i;
    } else {
        i = save;
    }
    if (i < s.size()) {
        int h = 0, mi = 0, sec = 0;
        if (!ReadNumber(s, i, h) || i >= s.size() || s[i] != ':') return false;
        ++i;
        if (!ReadNumber(s, i, mi)) return false;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!ReadNumber(s, i, sec)) return false;
        }
        while (i < s.size() && s[i] == ' ')
            ++i;
        std::string rest = UpperCase(s.substr(i));
        if (rest == "PM" || rest == FormatSettings().TimePMString) {
            if (h < 12) h += 12;
        } else if (rest == "AM" || rest == FormatSettings().TimeAMString) {
            if (h == 12) h = 0;
        } else if (!rest.empty()) {
            return false;
        }
        if (!TryEncodeTime(h, mi, sec, 0, time)) return false;
    } else if (!hasDate) {
        return false;
    }
    value = date + time;
    return true;
}

} // namespace

std::string TranslateJetSQL(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 16);
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            out += c;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            std::string value;
            std::size_t j = i + 1;
            for (; j < sql.size(); ++j) {
                if (sql[j] == c) {
                    if (j + 1 < sql.size() && sql[j + 1] == c) {
                        value += c;
                        ++j;
                        continue;
                    }
                    break;
                }
                value += sql[j];
            }
            if (j >= sql.size()) {
                out.append(sql.substr(i)); // unterminated: let the database report it
                break;
            }
            out += Quote(value);
            i = j + 1;
            continue;
        }
        if (c == '[') {
            std::size_t j = sql.find(']', i);
            if (j == std::string_view::npos) j = sql.size() - 1;
            out.append(sql.substr(i, j - i + 1));
            i = j + 1;
            continue;
        }
        if (c == '#') {
            std::size_t j = sql.find('#', i + 1);
            TDateTime d;
            if (j == std::string_view::npos || !ParseJetDate(sql.substr(i + 1, j - i - 1), d)) {
                std::size_t end = j == std::string_view::npos ? sql.size() : j + 1;
                throw EDatabaseError("Syntax error in date in query expression '" +
                                     std::string(sql.substr(i, end - i)) + "'.");
            }
            out += Quote(DateTimeToSqlText(d));
            i = j + 1;
            continue;
        }
        if (c == '&') {
            out += "||";
            ++i;
            continue;
        }
        if (IsIdentChar(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < sql.size() && IsIdentChar(static_cast<unsigned char>(sql[j])))
                ++j;
            std::string word(sql.substr(i, j - i));
            std::size_t k = j;
            while (k < sql.size() && sql[k] == ' ')
                ++k;
            bool call = k < sql.size() && sql[k] == '(';
            bool number = std::isdigit(static_cast<unsigned char>(c));
            if (!number && SameText(word, "true"))
                out += "1";
            else if (!number && SameText(word, "false"))
                out += "0";
            else if (call && (SameText(word, "left") || SameText(word, "right")))
                out += "jet_" + LowerCase(word);
            else
                out += word;
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// ---- functions ---------------------------------------------------------------------------------

namespace {

std::string ArgText(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

bool ArgDate(sqlite3_value* v, TDateTime& d) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        d = sqlite3_value_double(v);
        return true;
    case SQLITE_TEXT:
        return SqlTextToDateTime(ArgText(v), d) || TryStrToDateTime(ArgText(v), d);
    default:
        return false;
    }
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Code points of UTF-8 text, so Mid/Left/Right/Len count characters as Jet does.
std::vector<std::size_t> CharStarts(const std::string& s) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

std::string Substr(const std::string& s, long long first, long long count) {
    auto starts = CharStarts(s);
    long long n = static_cast<long long>(starts.size()) - 1;
    if (first < 0) first = 0;
    if (first > n) first = n;
    if (count < 0 || count > n - first) count = n - first;
    return s.substr(starts[static_cast<std::size_t>(first)],
                    starts[static_cast<std::size_t>(first + count)] -
                        starts[static_cast<std::size_t>(first)]);
}

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
    return false;
}

template <int Part> void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
    TDateTime d;
    if (!ArgDate(argv[0], d)) {
        sqlite3_result_null(ctx);
        return;
    }
    int y, mo, dd, h, mi, s, ms;
    DecodeDate(d, y, mo, dd);
    DecodeTime(d, h, mi, s, ms);
    const int values[] = {y, mo, dd, h, mi, s};
    sqlite3_result_int(ctx, values[Part]);
}

void Register(sqlite3* db, const char* name, int args,
              void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    sqlite3_create_function_v2(db, name, args, SQLITE_UTF8, nullptr, fn, nullptr, nullptr, nullptr);
}

} // namespace

void RegisterJetFunctions(sqlite3* db) {
    Register(db, "year", 1, DatePart<0>);
    Register(db, "month", 1, DatePart<1>);
    Register(db, "day", 1, DatePart<2>);
    Register(db, "hour", 1, DatePart<3>);
    Register(db, "minute", 1, DatePart<4>);
    Register(db, "second", 1, DatePart<5>);
    Register(db, "now", 0, [](sqlite3_context* ctx, int, sqlite3_value**) {
        ResultText(ctx, DateTimeToSqlText(Now()));
    });
    Register(db, "date", 0, [](sqlite3_context* ctx, int, sqlite3_value**) {
        ResultText(ctx, DateTimeToSqlText(Date()));
    });
    auto ucase = [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        ResultText(ctx, AnsiUpperCase(ArgText(argv[0])));
    };
    auto lcase = [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        ResultText(ctx, AnsiLowerCase(ArgText(argv[0])));
    };
    Register(db, "ucase", 1, ucase);
    Register(db, "lcase", 1, lcase);
    Register(db, "len", 1, [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(Utf8Length(ArgText(argv[0]))));
    });
    Register(db, "jet_left", 2, [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        ResultText(ctx, Substr(ArgText(argv[0]), 0, sqlite3_value_int64(argv[1])));
    });
    Register(db, "jet_right", 2, [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        std::string s = ArgText(argv[0]);
        long long n = static_cast<long long>(Utf8Length(s)), k = sqlite3_value_int64(argv[1]);
        ResultText(ctx, Substr(s, k >= n ? 0 : k < 0 ? n : n - k, k));
    });
    auto mid = [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        long long start = sqlite3_value_int64(argv[1]);
        if (start < 1) {
            sqlite3_result_error(ctx, "Invalid procedure call or argument", -1);
            return;
        }
        ResultText(
            ctx, Substr(ArgText(argv[0]), start - 1, argc > 2 ? sqlite3_value_int64(argv[2]) : -1));
    };
    Register(db, "mid", 2, mid);
    Register(db, "mid", 3, mid);
    Register(db, "iif", 3, [](sqlite3_context* ctx, int, sqlite3_value** argv) {
        bool cond =
            sqlite3_value_type(argv[0]) != SQLITE_NULL && sqlite3_value_double(argv[0]) != 0;
        sqlite3_result_value(ctx, argv[cond ? 1 : 2]);
    });
    Register(db, "nz", 1, [](sqlite3_context* ctx, int, sqlite3_value** argv) {
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
            sqlite3_result_int(ctx, 0);
        else
            sqlite3_result_value(ctx, argv[0]);
    });
    Register(db, "nz", 2, [](sqlite3_context* ctx, int, sqlite3_value** argv) {
        sqlite3_result_value(ctx, argv[sqlite3_value_type(argv[0]) == SQLITE_NULL ? 1 : 0]);
    });
    Register(db, "cstr", 1, [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_error(ctx, "Invalid use of Null", -1);
        ResultText(ctx, ArgText(argv[0]));
    });
    Register(db, "val", 1, [](sqlite3_context* ctx, int, sqlite3_value** argv) {
        std::string s = Trim(ArgText(argv[0]));
        std::size_t n = 0;
        while (n < s.size() && (std::isdigit(static_cast<unsigned char>(s[n])) || s[n] == '.' ||
                                (n == 0 && (s[n] == '-' || s[n] == '+'))))
            ++n;
        sqlite3_result_double(ctx, StrToFloatDef(s.substr(0, n), 0.0));
    });
    Register(db, "instr", 3, [](sqlite3_context* ctx, int argc, sqlite3_value** argv) {
        if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
        long long start = sqlite3_value_int64(argv[0]);
        if (start < 1) {
            sqlite3_result_error(ctx, "Invalid procedure call or argument", -1);
            return;
        }
        std::string s = ArgText(argv[1]), f = ArgText(argv[2]);
        std::string tail = Substr(s, start - 1, -1);
        std::size_t at = tail.find(f);
        sqlite3_result_int64(ctx,
                             at == std::string::npos
                                 ? 0
                                 : start + static_cast<long long>(Utf8Length(tail.substr(0, at))));
    });
}
