#include "platform/data/filter_expression.h"

#include <cctype>
#include <string>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/data/data_set.h"
#include "platform/data/field.h"

struct TFilterExpression::Node {
    enum Kind { And, Or, Not, Cmp, IsNull, IsNotNull, Like, Field, Const } kind;
    std::string op; // for Cmp
    int column = -1;
    Variant value;
    std::unique_ptr<Node> a, b;
    // And, Or: the terms of a whole chain side by side, so that a long "x or y or ..." is
    // neither evaluated nor freed through recursion as deep as the chain.
    std::vector<std::unique_ptr<Node>> terms;
};

namespace {

using Node = TFilterExpression::Node;

// Parentheses and "not" nest the parser's recursion; this bounds it.
constexpr int kMaxNesting = 256;

struct Token {
    enum Type { End, Name, String, Number, Op, LParen, RParen } type = End;
    std::string text;
    std::size_t pos = 0;
};

class Parser {
public:
    Parser(std::string_view text, const std::function<int(std::string_view)>& resolve)
        : text_(text), resolve_(resolve) {
        Advance();
    }

    std::unique_ptr<Node> ParseAll() {
        auto n = ParseOr();
        if (tok_.type != Token::End) Fail();
        return n;
    }

private:
    [[noreturn]] void Fail() const {
        throw EDatabaseError(Format("Filter expression incorrectly formatted at position %d",
                                    {static_cast<int>(tok_.pos + 1)}));
    }

    bool IsKeyword(const char* word) const {
        return tok_.type == Token::Name && SameText(tok_.text, word) && !bracketed_;
    }

    void Advance() {
        std::size_t i = p_;
        while (i < text_.size() && static_cast<unsigned char>(text_[i]) <= ' ')
            ++i;
        tok_ = Token{};
        tok_.pos = i;
        bracketed_ = false;
        if (i >= text_.size()) {
            p_ = i;
            return;
        }
        char c = text_[i];
        if (c == '(') {
            tok_.type = Token::LParen;
            p_ = i + 1;
            return;
        }
        if (c == ')') {
            tok_.type = Token::RParen;
            p_ = i + 1;
            return;
        }
        if (c == '\'' || c == '"') {
            std::string s;
            std::size_t j = i + 1;
            for (;;) {
                if (j >= text_.size()) {
                    tok_.pos = i;
                    Fail();
                }
                if (text_[j] == c) {
                    if (j + 1 < text_.size() && text_[j + 1] == c) {
                        s += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                s += text_[j++];
            }
            tok_.type = Token::String;
            tok_.text = std::move(s);
            p_ = j + 1;
            return;
        }
        if (c == '[') {
            std::size_t j = text_.find(']', i);
            if (j == std::string_view::npos) Fail();
            tok_.type = Token::Name;
            tok_.text = std::string(text_.substr(i + 1, j - i - 1));
            bracketed_ = true;
            p_ = j + 1;
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '-' && i + 1 < text_.size() &&
             std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
            std::size_t j = i + 1;
            while (j < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[j])) || text_[j] == '.'))
                ++j;
            tok_.type = Token::Number;
            tok_.text = std::string(text_.substr(i, j - i));
            p_ = j;
            return;
        }
        if (c == '=' || c == '<' || c == '>') {
            std::size_t j = i + 1;
            if (j < text_.size() && (text_[j] == '=' || (c == '<' && text_[j] == '>'))) ++j;
            tok_.type = Token::Op;
            tok_.text = std::string(text_.substr(i, j - i));
            p_ = j;
            return;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
            static_cast<unsigned char>(c) >= 0x80) {
            std::size_t j = i;
            while (j < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[j])) || text_[j] == '_' ||
                    static_cast<unsigned char>(text_[j]) >= 0x80))
                ++j;
            tok_.type = Token::Name;
            tok_.text = std::string(text_.substr(i, j - i));
            p_ = j;
            return;
        }
        Fail();
    }

    std::unique_ptr<Node> Binary(Node::Kind kind, std::unique_ptr<Node> a,
                                 std::unique_ptr<Node> b) {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->a = std::move(a);
        n->b = std::move(b);
        return n;
    }

    // term { word term }, as one node holding every term.
    template <typename ParseTerm>
    std::unique_ptr<Node> ParseChain(Node::Kind kind, const char* word, ParseTerm parseTerm) {
        auto first = (this->*parseTerm)();
        if (!IsKeyword(word)) return first;
        auto chain = std::make_unique<Node>();
        chain->kind = kind;
        chain->terms.push_back(std::move(first));
        while (IsKeyword(word)) {
            Advance();
            chain->terms.push_back((this->*parseTerm)());
        }
        return chain;
    }

    std::unique_ptr<Node> ParseOr() { return ParseChain(Node::Or, "or", &Parser::ParseAnd); }

    std::unique_ptr<Node> ParseAnd() { return ParseChain(Node::And, "and", &Parser::ParseNot); }

    void EnterNesting() {
        if (++depth_ > kMaxNesting)
            throw EDatabaseError(Format("Filter expression nested too deeply at position %d",
                                        {static_cast<int>(tok_.pos + 1)}));
    }

    std::unique_ptr<Node> ParseNot() {
        if (IsKeyword("not")) {
            EnterNesting();
            Advance();
            auto n = Binary(Node::Not, ParseNot(), nullptr);
            --depth_;
            return n;
        }
        return ParseComparison();
    }

    std::unique_ptr<Node> ParseComparison() {
        if (tok_.type == Token::LParen) {
            EnterNesting();
            Advance();
            auto n = ParseOr();
            if (tok_.type != Token::RParen) Fail();
            Advance();
            --depth_;
            return n;
        }
        auto left = ParseOperand();
        if (IsKeyword("is")) {
            Advance();
            bool negate = false;
            if (IsKeyword("not")) {
                negate = true;
                Advance();
            }
            if (!IsKeyword("null")) Fail();
            Advance();
            return Binary(negate ? Node::IsNotNull : Node::IsNull, std::move(left), nullptr);
        }
        if (IsKeyword("like")) {
            Advance();
            return Binary(Node::Like, std::move(left), ParseOperand());
        }
        if (tok_.type != Token::Op) Fail();
        std::string op = tok_.text;
        Advance();
        auto n = Binary(Node::Cmp, std::move(left), ParseOperand());
        n->op = std::move(op);
        return n;
    }

    std::unique_ptr<Node> ParseOperand() {
        auto n = std::make_unique<Node>();
        switch (tok_.type) {
        case Token::String:
            n->kind = Node::Const;
            n->value = Variant(tok_.text);
            break;
        case Token::Number: {
            n->kind = Node::Const;
            std::int64_t i = 0;
            if (TryStrToInt64(tok_.text, i))
                n->value = Variant(static_cast<long long>(i));
            else
                n->value = Variant(StrToFloat(tok_.text));
            break;
        }
        case Token::Name:
            if (!bracketed_ && SameText(tok_.text, "null")) {
                n->kind = Node::Const;
                n->value = Variant::Null();
                break;
            }
            if (!bracketed_ && (SameText(tok_.text, "true") || SameText(tok_.text, "false"))) {
                n->kind = Node::Const;
                n->value = Variant(SameText(tok_.text, "true"));
                break;
            }
            n->kind = Node::Field;
            n->column = resolve_(tok_.text);
            if (n->column < 0) throw EDatabaseError("Field '" + tok_.text + "' not found");
            break;
        default:
            Fail();
        }
        Advance();
        return n;
    }

    std::string_view text_;
    const std::function<int(std::string_view)>& resolve_;
    std::size_t p_ = 0;
    Token tok_;
    bool bracketed_ = false;
    int depth_ = 0;
};

// SQL-style pattern: % and * any run, _ and ? one character (by code point).
bool LikeMatch(std::u16string_view s, std::u16string_view p) {
    std::size_t si = 0, pi = 0, star = std::u16string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == u'_' || p[pi] == u'?' || p[pi] == s[si])) {
            ++si;
            ++pi;
        } else if (pi < p.size() && (p[pi] == u'%' || p[pi] == u'*')) {
            star = pi++;
            mark = si;
        } else if (star != std::u16string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && (p[pi] == u'%' || p[pi] == u'*'))
        ++pi;
    return pi == p.size();
}

Variant Eval(const Node& n, const std::function<Variant(int)>& value) {
    return n.kind == Node::Field ? value(n.column) : n.value;
}

int CompareValues(const Variant& a, const Variant& b, bool caseInsensitive) {
    // A flag equals any non-zero number, whatever sign True has.
    if ((a.Kind() == VariantKind::Bool && b.IsNumeric()) ||
        (b.Kind() == VariantKind::Bool && a.IsNumeric())) {
        bool x = a.AsDouble() != 0, y = b.AsDouble() != 0;
        return x == y ? 0 : (x ? 1 : -1);
    }
    if (a.Kind() == VariantKind::Date && b.IsString()) {
        TDateTime d;
        if (TryStrToDateTime(b.StringValue(), d)) return VarCompare(a, Variant::FromDate(d));
    }
    if (a.IsString() && b.IsString())
        return caseInsensitive ? AnsiCompareText(a.StringValue(), b.StringValue())
                               : AnsiCompareStr(a.StringValue(), b.StringValue());
    return VarCompare(a, b);
}

bool Test(const Node& n, const std::function<Variant(int)>& value, unsigned options) {
    const bool ci = (options & foCaseInsensitive) != 0;
    switch (n.kind) {
    case Node::And:
        for (const auto& term : n.terms)
            if (!Test(*term, value, options)) return false;
        return true;
    case Node::Or:
        for (const auto& term : n.terms)
            if (Test(*term, value, options)) return true;
        return false;
    case Node::Not:
        return !Test(*n.a, value, options);
    case Node::IsNull:
        return Eval(*n.a, value).IsNull();
    case Node::IsNotNull:
        return !Eval(*n.a, value).IsNull();
    case Node::Like: {
        Variant a = Eval(*n.a, value), b = Eval(*n.b, value);
        if (a.IsNull() || b.IsNull()) return false;
        std::string s = VarToStr(a), p = VarToStr(b);
        if (ci) {
            s = AnsiUpperCase(s);
            p = AnsiUpperCase(p);
        }
        return LikeMatch(Utf8ToUtf16(s), Utf8ToUtf16(p));
    }
    case Node::Cmp: {
        Variant a = Eval(*n.a, value), b = Eval(*n.b, value);
        if (a.IsNull() || b.IsNull())
            return n.op == "<>" ? a.IsNull() != b.IsNull()
                                : (n.op == "=" && a.IsNull() && b.IsNull());
        if (b.IsString() && (n.op == "=" || n.op == "<>") && !(options & foNoPartialCompare)) {
            const std::string& pat = b.StringValue();
            if (!pat.empty() && pat.back() == '*') {
                std::string prefix = pat.substr(0, pat.size() - 1);
                std::string s = VarToStr(a);
                if (ci) {
                    s = AnsiUpperCase(s);
                    prefix = AnsiUpperCase(prefix);
                }
                bool eq = s.compare(0, prefix.size(), prefix) == 0;
                return n.op == "=" ? eq : !eq;
            }
        }
        int c = CompareValues(a, b, ci);
        if (n.op == "=") return c == 0;
        if (n.op == "<>") return c != 0;
        if (n.op == "<") return c < 0;
        if (n.op == "<=") return c <= 0;
        if (n.op == ">") return c > 0;
        return c >= 0;
    }
    case Node::Field:
    case Node::Const: {
        Variant v = Eval(n, value);
        return !v.IsNull() && v.AsBool();
    }
    }
    return false;
}

} // namespace

TFilterExpression::TFilterExpression(std::string_view text,
                                     const std::function<int(std::string_view)>& resolve) {
    Parser parser(text, resolve);
    root_ = parser.ParseAll();
}

TFilterExpression::~TFilterExpression() = default;

bool TFilterExpression::Matches(const std::function<Variant(int)>& value,
                                unsigned filterOptions) const {
    return Test(*root_, value, filterOptions);
}
