#include "platform/data/jet_sql.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <utility>
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

// ---- tokens ------------------------------------------------------------------------------------

enum class Kind { Space, Word, Number, Literal, Name, Param, Punct };

struct Token {
    Kind kind;
    std::string text;  // as SQLite reads it
    int depth = 0;     // parentheses around the token
    std::string after; // added after the token by the rewrites of its query
};

using Tokens = std::vector<Token>;
constexpr std::size_t npos = std::string::npos;

bool IsWord(const Token& t, std::string_view word) {
    return t.kind == Kind::Word && SameText(t.text, word);
}

bool IsPunct(const Token& t, char c) {
    return t.kind == Kind::Punct && t.text.size() == 1 && t.text[0] == c;
}

bool IsNameToken(const Token& t) {
    return t.kind == Kind::Name || t.kind == Kind::Word;
}

// Jet's lexical forms in SQLite's spelling; anonymous parameters are numbered, so that text
// the rewrites repeat binds the same value.
Tokens Lex(std::string_view sql) {
    Tokens out;
    int params = 0;
    auto add = [&](Kind kind, std::string text) {
        out.push_back(Token{kind, std::move(text), 0, {}});
    };
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (std::isspace(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < sql.size() && std::isspace(static_cast<unsigned char>(sql[j])))
                ++j;
            add(Kind::Space, std::string(sql.substr(i, j - i)));
            i = j;
            continue;
        }
        if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            std::size_t j = c == '-' ? sql.find('\n', i) : sql.find("*/", i + 2);
            j = j == npos ? sql.size() : c == '-' ? j : j + 2;
            add(Kind::Space, std::string(sql.substr(i, j - i)));
            i = j;
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
                add(Kind::Punct, std::string(sql.substr(i))); // unterminated: the database says so
                break;
            }
            add(Kind::Literal, Quote(value));
            i = j + 1;
            continue;
        }
        if (c == '[') {
            std::size_t j = sql.find(']', i);
            if (j == npos) j = sql.size() - 1;
            add(Kind::Name, std::string(sql.substr(i, j - i + 1)));
            i = j + 1;
            continue;
        }
        if (c == '#') {
            std::size_t j = sql.find('#', i + 1);
            TDateTime d;
            if (j == npos || !ParseJetDate(sql.substr(i + 1, j - i - 1), d)) {
                std::size_t end = j == npos ? sql.size() : j + 1;
                throw EDatabaseError("Syntax error in date in query expression '" +
                                     std::string(sql.substr(i, end - i)) + "'.");
            }
            add(Kind::Literal, Quote(DateTimeToSqlText(d)));
            i = j + 1;
            continue;
        }
        if (c == '&') {
            add(Kind::Punct, "||");
            ++i;
            continue;
        }
        if (c == '?') {
            add(Kind::Param, "?" + std::to_string(++params));
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
            if (std::isdigit(static_cast<unsigned char>(c)))
                add(Kind::Number, word);
            else if (SameText(word, "true"))
                add(Kind::Number, "1");
            else if (SameText(word, "false"))
                add(Kind::Number, "0");
            else if (call && (SameText(word, "left") || SameText(word, "right")))
                add(Kind::Word, "jet_" + LowerCase(word)); // LEFT and RIGHT are join words
            else
                add(Kind::Word, word);
            i = j;
            continue;
        }
        add(Kind::Punct, std::string(1, c));
        ++i;
    }
    int depth = 0;
    for (Token& t : out) {
        if (IsPunct(t, ')') && depth > 0) --depth;
        t.depth = depth;
        if (IsPunct(t, '(')) ++depth;
    }
    return out;
}

std::string Render(const Tokens& t, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t i = from; i < to; ++i)
        s += t[i].text + t[i].after;
    return s;
}

std::size_t NextSig(const Tokens& t, std::size_t i, std::size_t end) {
    while (i < end && t[i].kind == Kind::Space)
        ++i;
    return i;
}

// The significant tokens of [from, to).
std::vector<std::size_t> Sig(const Tokens& t, std::size_t from, std::size_t to) {
    std::vector<std::size_t> out;
    for (std::size_t i = from; i < to; ++i)
        if (t[i].kind != Kind::Space) out.push_back(i);
    return out;
}

// Drops a token and the space after it.
void Blank(Tokens& t, std::size_t i) {
    t[i].text.clear();
    if (i + 1 < t.size() && t[i + 1].kind == Kind::Space) t[i + 1].text.clear();
}

// [from, to) split at the commas of depth `depth`.
std::vector<std::pair<std::size_t, std::size_t>> SplitItems(const Tokens& t, std::size_t from,
                                                            std::size_t to, int depth) {
    std::vector<std::pair<std::size_t, std::size_t>> items;
    std::size_t start = from;
    for (std::size_t i = from; i < to; ++i)
        if (t[i].depth == depth && IsPunct(t[i], ',')) {
            items.emplace_back(start, i);
            start = i + 1;
        }
    items.emplace_back(start, to);
    return items;
}

// The index of the ")" that closes the "(" at i.
std::size_t Closing(const Tokens& t, std::size_t i) {
    for (std::size_t j = i + 1; j < t.size(); ++j)
        if (t[j].depth == t[i].depth && IsPunct(t[j], ')')) return j;
    return t.size();
}

bool IsCompoundWord(const Token& t) {
    return IsWord(t, "union") || IsWord(t, "intersect") || IsWord(t, "except");
}

bool OneOf(const Token& t, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (IsWord(t, w)) return true;
    return false;
}

// Words of an expression that are not names of columns.
bool IsExpressionWord(const Token& t) {
    return OneOf(t, {"and",     "or",       "not",          "null",         "is",
                     "in",      "like",     "between",      "case",         "when",
                     "then",    "else",     "end",          "as",           "escape",
                     "collate", "distinct", "all",          "exists",       "glob",
                     "isnull",  "notnull",  "current_date", "current_time", "current_timestamp"});
}

bool IsAggregateName(const Token& t) {
    return OneOf(t, {"count", "sum", "avg", "min", "max", "first", "last", "stdev", "stdevp", "var",
                     "varp", "total", "group_concat"});
}

// ---- one SELECT --------------------------------------------------------------------------------

struct Select {
    std::size_t at = 0; // the SELECT word
    std::size_t end = 0;
    int depth = 0;
    std::size_t predicate = npos;          // ALL, DISTINCT or DISTINCTROW
    std::size_t top = npos, topEnd = npos; // TOP n [PERCENT]
    long long topCount = 0;
    bool percent = false;
    std::size_t listBegin = 0, listEnd = 0; // the select list
    std::size_t from = npos, fromEnd = npos;
    std::size_t restBegin = 0, restEnd = 0; // FROM up to ORDER BY
    std::size_t groupBy = npos, having = npos;
    std::size_t orderBegin = npos, orderEnd = npos; // the ORDER BY items
    bool compound = false;
};

Select Parse(const Tokens& t, std::size_t at) {
    Select s;
    s.at = at;
    s.depth = t[at].depth;
    const int d = s.depth;
    auto boundary = [&](std::size_t i) {
        return t[i].depth < d || (t[i].depth == d && (IsPunct(t[i], ';') || IsCompoundWord(t[i])));
    };
    s.end = at + 1;
    while (s.end < t.size() && !boundary(s.end))
        ++s.end;
    // Whether a UNION joins it to other queries, before or after.
    std::size_t first = at;
    while (first > 0 && t[first - 1].depth >= d &&
           !(t[first - 1].depth == d && IsPunct(t[first - 1], ';')))
        --first;
    for (std::size_t i = first; i < t.size() && t[i].depth >= d; ++i) {
        if (t[i].depth == d && IsPunct(t[i], ';')) break;
        if (t[i].depth == d && IsCompoundWord(t[i])) s.compound = true;
    }

    std::size_t i = NextSig(t, at + 1, s.end);
    if (i < s.end && OneOf(t[i], {"all", "distinct", "distinctrow"})) {
        s.predicate = i;
        i = NextSig(t, i + 1, s.end);
    }
    if (i < s.end && IsWord(t[i], "top")) {
        std::size_t n = NextSig(t, i + 1, s.end);
        if (n < s.end && t[n].kind == Kind::Number) {
            const std::string& digits = t[n].text;
            bool whole = digits.size() <= 15 && digits.find_first_not_of("0123456789") == npos &&
                         !(n + 1 < s.end && IsPunct(t[n + 1], '.'));
            if (!whole) {
                std::size_t to = n + 1;
                while (to < s.end && t[to].kind != Kind::Space)
                    ++to;
                throw EDatabaseError("The TOP clause needs a whole number of rows, not '" +
                                     Render(t, n, to) + "'.");
            }
            s.top = i;
            s.topCount = std::stoll(digits);
            std::size_t p = NextSig(t, n + 1, s.end);
            s.percent = p < s.end && IsWord(t[p], "percent");
            s.topEnd = s.percent ? p + 1 : n + 1;
            i = NextSig(t, s.topEnd, s.end);
        }
    }
    s.listBegin = i;
    s.listEnd = s.end;
    for (std::size_t k = i; k < s.end; ++k) {
        if (t[k].depth != d || t[k].kind != Kind::Word) continue;
        bool clause = OneOf(t[k], {"from", "where", "group", "having", "order", "window", "limit"});
        if ((clause || IsWord(t[k], "into")) && s.listEnd == s.end) s.listEnd = k;
        if (IsWord(t[k], "from") && s.from == npos) s.from = k;
        if (s.from != npos && k > s.from && clause && s.fromEnd == npos) s.fromEnd = k;
        if (IsWord(t[k], "group") && s.groupBy == npos) s.groupBy = k;
        if (IsWord(t[k], "having") && s.having == npos) s.having = k;
        if (IsWord(t[k], "order") && s.orderBegin == npos) {
            std::size_t by = NextSig(t, k + 1, s.end);
            if (by < s.end && IsWord(t[by], "by")) {
                s.restEnd = k;
                s.orderBegin = by + 1;
            }
        }
        if (IsWord(t[k], "limit") && s.top != npos)
            throw EDatabaseError("A query cannot have both TOP and LIMIT.");
    }
    if (s.from != npos && s.fromEnd == npos) s.fromEnd = s.end;
    s.restBegin = s.from != npos ? s.from : s.listEnd;
    if (s.orderBegin == npos) s.restEnd = s.end;
    s.orderEnd = s.end;
    return s;
}

// Jet names an expression column without an alias Expr1000, Expr1001, ... in order.
void NameExpressions(Tokens& t, const Select& s) {
    int counter = 1000;
    for (auto [from, to] : SplitItems(t, s.listBegin, s.listEnd, s.depth)) {
        std::vector<std::size_t> sig = Sig(t, from, to);
        if (sig.empty()) continue;
        const std::size_t n = sig.size();
        const Token& last = t[sig.back()];
        bool aliased = n >= 2 && (IsNameToken(last) || last.kind == Kind::Literal) &&
                       IsWord(t[sig[n - 2]], "as");
        // A column, a qualified column or a star: name . name . * in turn.
        bool column = n % 2 == 1;
        for (std::size_t k = 0; column && k < n; ++k) {
            const Token& tok = t[sig[k]];
            column = k % 2 == 1 ? IsPunct(tok, '.')
                                : (IsNameToken(tok) && !IsExpressionWord(tok)) ||
                                      (k == n - 1 && IsPunct(tok, '*'));
        }
        if (aliased || column) continue;
        t[sig.back()].after += " AS [Expr" + std::to_string(counter++) + "]";
    }
}

std::string Unbracket(const std::string& name) {
    std::string n =
        name.size() >= 2 && name.front() == '[' ? name.substr(1, name.size() - 2) : name;
    return LowerCase(n);
}

struct Source {
    std::string name; // the alias if any, else the table's name
    bool table;       // false for a subquery, which has no row ids
};

// The alias after a table or subquery at i, if any; moves i past it.
std::size_t AliasAt(const Tokens& t, std::size_t& i, std::size_t end) {
    if (i < end && IsWord(t[i], "as")) {
        std::size_t name = NextSig(t, i + 1, end);
        i = name + 1;
        return name;
    }
    if (i < end &&
        (t[i].kind == Kind::Name ||
         (t[i].kind == Kind::Word && !OneOf(t[i], {"inner", "left", "right", "full", "outer",
                                                   "cross", "natural", "join", "on", "using"}))))
        return i++;
    return npos;
}

std::vector<Source> FromSources(const Tokens& t, const Select& s) {
    std::vector<Source> sources;
    bool expect = true; // a table may come next
    std::vector<bool> joinParens;
    for (std::size_t i = NextSig(t, s.from + 1, s.fromEnd); i < s.fromEnd;
         i = NextSig(t, i + 1, s.fromEnd)) {
        const Token& tok = t[i];
        bool joinLevel = joinParens.empty() || joinParens.back();
        if (IsPunct(tok, '(')) {
            std::size_t inner = NextSig(t, i + 1, s.fromEnd);
            if (expect && inner < s.fromEnd && IsWord(t[inner], "select")) {
                std::size_t k = NextSig(t, Closing(t, i) + 1, s.fromEnd);
                std::size_t alias = AliasAt(t, k, s.fromEnd);
                sources.push_back({alias < s.fromEnd ? Unbracket(t[alias].text) : "", false});
                expect = false;
                i = k - 1;
                continue;
            }
            joinParens.push_back(expect && joinLevel);
            continue;
        }
        if (IsPunct(tok, ')')) {
            if (!joinParens.empty()) joinParens.pop_back();
            continue;
        }
        if (!joinLevel) continue;
        if (IsWord(tok, "join") || IsPunct(tok, ',')) {
            expect = true;
        } else if (IsWord(tok, "on")) {
            expect = false;
        } else if (expect && IsNameToken(tok)) {
            std::size_t name = i;
            std::size_t k = NextSig(t, i + 1, s.fromEnd);
            while (k + 1 < s.fromEnd && IsPunct(t[k], '.')) { // database.table
                name = NextSig(t, k + 1, s.fromEnd);
                k = NextSig(t, name + 1, s.fromEnd);
            }
            std::size_t alias = AliasAt(t, k, s.fromEnd);
            if (alias < s.fromEnd) name = alias;
            if (name < s.fromEnd) sources.push_back({Unbracket(t[name].text), true});
            expect = false;
            i = k - 1;
        }
    }
    return sources;
}

// Jet's DISTINCTROW keeps one row for each distinct combination of the rows of the tables that
// give the output columns; it changes nothing when one table is read or all of them give
// columns. Otherwise it becomes a grouping by those tables' rows.
void RewriteDistinctRow(Tokens& t, const Select& s) {
    Blank(t, s.predicate);
    std::vector<Source> sources;
    if (s.from != npos) sources = FromSources(t, s);
    if (sources.size() <= 1) return;
    const std::string totals = "DISTINCTROW over several tables cannot be combined with totals.";
    std::vector<std::string> used;
    for (auto [from, to] : SplitItems(t, s.listBegin, s.listEnd, s.depth)) {
        std::vector<std::size_t> sig = Sig(t, from, to);
        if (sig.size() == 1 && IsPunct(t[sig[0]], '*')) return; // all tables give columns
        for (std::size_t k = 0; k < sig.size(); ++k) {
            const Token& tok = t[sig[k]];
            if (IsPunct(tok, '(') && k + 1 < sig.size() && IsWord(t[sig[k + 1]], "select")) {
                std::size_t close = Closing(t, sig[k]);
                while (k + 1 < sig.size() && sig[k + 1] <= close)
                    ++k;
                continue;
            }
            if (!IsNameToken(tok) || IsExpressionWord(tok)) continue;
            if (k + 1 < sig.size() && IsPunct(t[sig[k + 1]], '(')) {
                if (IsAggregateName(tok)) throw EDatabaseError(totals);
                continue;
            }
            if (k > 0 && (IsPunct(t[sig[k - 1]], '.') || IsWord(t[sig[k - 1]], "as"))) continue;
            if (k + 1 == sig.size() || !IsPunct(t[sig[k + 1]], '.'))
                throw EDatabaseError("DISTINCTROW over several tables needs every output column "
                                     "named with its table ('" +
                                     tok.text + "').");
            used.push_back(Unbracket(tok.text));
        }
    }
    std::vector<std::string> keys;
    for (const Source& source : sources) {
        if (std::find(used.begin(), used.end(), source.name) == used.end()) continue;
        if (!source.table)
            throw EDatabaseError("DISTINCTROW cannot tell the rows of a subquery apart.");
        keys.push_back(source.name);
    }
    if (keys.size() == sources.size()) return;
    if (s.groupBy != npos || s.having != npos) throw EDatabaseError(totals);
    std::string group = " GROUP BY ";
    for (std::size_t k = 0; k < keys.size(); ++k)
        group += (k ? ", [" : "[") + keys[k] + "].rowid";
    std::vector<std::size_t> rest = Sig(t, s.restBegin, s.restEnd);
    t[rest.back()].after += group;
}

// TOP n [PERCENT] becomes a LIMIT. Jet returns the rows that tie with the last one on the ORDER
// BY values as well, so the limit counts the rows ranked within the first n.
void RewriteTop(Tokens& t, const Select& s) {
    if (s.compound) throw EDatabaseError("TOP cannot be used in a query joined by UNION.");
    if (s.topCount < 1) throw EDatabaseError("The TOP clause needs at least 1 row.");
    if (s.percent && s.topCount > 100)
        throw EDatabaseError("The TOP clause cannot ask for more than 100 percent.");
    const std::string n = std::to_string(s.topCount);
    const bool distinct = s.predicate != npos && IsWord(t[s.predicate], "distinct");
    for (std::size_t i = s.top; i < s.topEnd; ++i)
        t[i].text.clear();
    if (s.topEnd < t.size() && t[s.topEnd].kind == Kind::Space) t[s.topEnd].text.clear();

    std::string inner = std::string("SELECT ") + (distinct ? "DISTINCT " : "") +
                        Trim(Render(t, s.listBegin, s.listEnd));
    std::string order;
    if (s.orderBegin != npos) {
        int k = 0;
        for (auto [from, to] : SplitItems(t, s.orderBegin, s.orderEnd, s.depth)) {
            std::vector<std::size_t> sig = Sig(t, from, to);
            if (sig.empty()) continue;
            std::size_t keyEnd = sig.size();
            if (keyEnd > 2 && IsWord(t[sig[keyEnd - 2]], "nulls")) keyEnd -= 2;
            if (keyEnd > 1 && OneOf(t[sig[keyEnd - 1]], {"asc", "desc"})) --keyEnd;
            std::string key = "jet_k" + std::to_string(++k);
            inner += ", " + Render(t, sig[0], sig[keyEnd - 1] + 1) + " AS " + key;
            order += (order.empty() ? "" : ", ") + key;
            if (keyEnd < sig.size()) order += " " + Render(t, sig[keyEnd], sig.back() + 1);
        }
    }
    inner += " " + Trim(Render(t, s.restBegin, s.restEnd));
    std::string limit;
    if (order.empty()) {
        limit = s.percent ? "(SELECT (count(*) * " + n + " + 99) / 100 FROM (" + inner + "))" : n;
    } else {
        std::string ranked = "SELECT rank() OVER (ORDER BY " + order + ") AS jet_rank";
        if (s.percent) ranked += ", count(*) OVER () AS jet_rows";
        ranked += " FROM (" + inner + ")";
        std::string within = s.percent ? "(jet_rows * " + n + " + 99) / 100" : n;
        limit = "(SELECT count(*) FROM (" + ranked + ") WHERE jet_rank <= " + within + ")";
    }
    std::vector<std::size_t> sig = Sig(t, s.at, s.end);
    t[sig.back()].after += " LIMIT " + limit;
}

} // namespace

std::string TranslateJetSQL(std::string_view sql) {
    Tokens t = Lex(sql);
    // Inner queries first, so that the text an outer rewrite repeats is already translated.
    std::vector<std::size_t> selects;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (IsWord(t[i], "select")) selects.push_back(i);
    std::stable_sort(selects.begin(), selects.end(),
                     [&](std::size_t a, std::size_t b) { return t[a].depth > t[b].depth; });
    for (std::size_t at : selects) {
        Select s = Parse(t, at);
        NameExpressions(t, s);
        if (s.predicate != npos && IsWord(t[s.predicate], "distinctrow")) RewriteDistinctRow(t, s);
        if (s.top != npos) RewriteTop(t, s);
    }
    return Render(t, 0, t.size());
}
