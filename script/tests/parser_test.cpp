#include "script/parser.h"

#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "script/il_parser.h"

namespace {

// A lexer configured by a language's grammar.
class Lexer {
public:
    explicit Lexer(const char* language, std::string_view text) : parser_(script_) {
        parser_.LoadGrammar(language);
        parser_.Lexer().SetText(text);
    }
    TksParser* operator->() { return &parser_.Lexer(); }
    TksParser& operator*() { return parser_.Lexer(); }

private:
    TksCompileContext script_;
    TksILParser parser_;
};

std::vector<std::string> Words(TksParser& p) {
    std::vector<std::string> words;
    for (std::string w = p.GetWord(); !w.empty(); w = p.GetWord())
        words.push_back(w);
    return words;
}

} // namespace

// Every token of a line in each language, with the "line:col" where it starts.
TEST(TksParser, TokenTablesPerLanguage) {
    struct Case {
        const char* language;
        const char* text;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"PascalScript",
         "x := $1F + 'a''b'#65 { c }\r\n  (* d *) y.z[2] // e",
         {"x@1:1", ":@1:3", "=@1:4", "$1F@1:6", "+@1:10", "'a'bA'@1:12", "y@2:11", ".@2:12",
          "z@2:13", "[@2:14", "2@2:15", "]@2:16"}},
        {"C++Script",
         "if (a != 0x1F) s = \"t\\n\"; // c\r\n/* d */ If",
         {"if@1:1", "(@1:4", "a@1:5", "!@1:7", "=@1:8", "$1F@1:10", ")@1:14", "s@1:16", "=@1:18",
          "'t\n'@1:20", ";@1:25", "If@2:9"}},
        {"BasicScript",
         "x = 0x10 _\r\n  & \"a\"\"b\" ' c\r\nrem d\r\ny",
         {"x@1:1", "=@1:3", "$10@1:5", "&@2:3", "'a\"b'@2:5", "EOL@3:1", "y@4:1"}},
        {"JScript",
         "var s = \"q\\\"\"; /* c */ WHILE (s) s--",
         {"var@1:1", "s@1:5", "=@1:7", "'q\"'@1:9", ";@1:14", "WHILE@1:24", "(@1:30", "s@1:31",
          ")@1:32", "s@1:34", "-@1:35", "-@1:36"}},
    };
    for (const Case& c : cases) {
        Lexer p(c.language, c.text);
        std::vector<std::string> tokens;
        for (;;) {
            if (p->MatchLineEnd()) { // also skips blanks and comments
                tokens.push_back("EOL@" + p->GetPositionText());
                continue;
            }
            std::string at = p->GetPositionText();
            std::string t = p->GetNumber();
            if (t.empty()) t = p->GetString();
            if (t.empty()) t = p->GetWord();
            if (t.empty()) t = p->GetChar();
            if (t.empty()) break;
            tokens.push_back(t + "@" + at);
        }
        EXPECT_EQ(tokens, c.tokens) << c.language;
        EXPECT_EQ(p->Position(), p->Size() + 1) << c.language;
    }
}

TEST(TksParser, DefaultsSkipPascalComments) {
    TksParser p;
    p.SetText("a { x } b (* y *) c // z\r\nd");
    EXPECT_EQ(Words(p), (std::vector<std::string>{"a", "b", "c", "d"}));
    p.SetText("a {never closed b");
    EXPECT_EQ(Words(p), (std::vector<std::string>{"a"}));
    EXPECT_EQ(p.Position(), p.Size() + 1);
    p.SetText("a /"); // a marker on the last character is no comment
    p.GetWord();
    p.SkipSpaces();
    EXPECT_EQ(p.GetChar(), "/");
}

TEST(TksParser, BasicLineEndsContinuationAndComments) {
    Lexer p("BasicScript", "x = 1 _\r\n+ 2\r\ny");
    EXPECT_EQ(p->GetWord(), "x");
    EXPECT_EQ((p->SkipSpaces(), p->GetChar()), "=");
    EXPECT_EQ(p->GetNumber(), "1");
    EXPECT_EQ((p->SkipSpaces(), p->GetChar()), "+"); // the line went on
    EXPECT_EQ(p->GetNumber(), "2");
    EXPECT_TRUE(p->MatchLineEnd());
    EXPECT_EQ(p->GetWord(), "y");

    Lexer note("BasicScript", "x = 1 ' note\r\ny");
    note->GetWord(), note->SkipSpaces(), note->GetChar(), note->GetNumber();
    note->SkipSpaces();
    EXPECT_EQ(note->Text()[static_cast<std::size_t>(note->Position() - 1)], '\r');

    Lexer first("BasicScript", "' note\r\ny"); // a comment in column 1 takes its line along
    EXPECT_FALSE(first->MatchLineEnd());
    EXPECT_EQ(first->GetWord(), "y");
    Lexer indented("BasicScript", "  ' note\r\ny"); // indented, it leaves an empty line
    EXPECT_TRUE(indented->MatchLineEnd());

    Lexer rem("BasicScript", "rem x\r\nREM y");
    EXPECT_FALSE(rem->MatchLineEnd());
    EXPECT_EQ(rem->GetWord(), "REM"); // the marker comparison is exact

    Lexer underscore("BasicScript", "_abc a_b");
    EXPECT_EQ(underscore->GetIdent(), "abc");
    EXPECT_EQ(underscore->GetIdent(), "a_b");
}

TEST(TksParser, WordsIdentsAndKeywords) {
    Lexer pascal("PascalScript", "begin Begin x1 1x");
    EXPECT_EQ(pascal->GetIdent(), "");
    EXPECT_EQ(pascal->GetWord(), "Begin");
    EXPECT_EQ(pascal->GetIdent(), "x1");
    EXPECT_EQ(pascal->GetWord(), ""); // a word does not begin with a digit
    EXPECT_TRUE(pascal->IsKeyword("WHILE"));

    Lexer js("JScript", "While x"); // JScript keywords ignore case
    EXPECT_EQ(js->GetIdent(), "");
    EXPECT_EQ(js->GetIdent(), "x");

    Lexer cpp("C++Script", "If if");
    EXPECT_EQ(cpp->GetIdent(), "If");
    EXPECT_EQ(cpp->GetIdent(), "");
    EXPECT_TRUE(cpp->IsKeyword("while"));
    EXPECT_FALSE(cpp->IsKeyword("While"));

    TksParser p;
    p.SetIdentChars("abc");
    p.SetText("ab_d");
    EXPECT_EQ(p.GetWord(), "ab");
    EXPECT_EQ(p.GetChar(), "_");
    EXPECT_EQ(p.GetWord(), "");
}

TEST(TksParser, CharsStringsNumbers) {
    TksParser p;
    for (const char* none : {"a", " ", "1", "\x80"}) {
        p.SetText(none);
        EXPECT_EQ(p.GetChar(), "") << none;
        EXPECT_EQ(p.Position(), 1);
    }
    for (const char* one : {"!", "/", ":", "@", "[", "`", "{", "~"}) {
        p.SetText(one);
        EXPECT_EQ(p.GetChar(), one);
    }

    struct Case {
        const char* language;
        const char* text;
        const char* token;
    };
    const Case strings[] = {
        {"PascalScript", "'it''s'", "'it's'"},
        {"PascalScript", "'abc'#13#10'def'", "'abc\r\ndef'"},
        {"PascalScript", "#$41'b'", "'Ab'"},
        {"PascalScript", "'open\r\n'", ""},
        {"PascalScript", "#", ""},
        {"C++Script", "\"it\\\"s\"", "'it\"s'"},
        {"C++Script", "\"\\t\\n\\x41\\x\"", "'t\nA'"},
        {"BasicScript", "\"say \"\"hi\"\"\"", "'say \"hi\"'"},
    };
    for (const Case& c : strings) {
        Lexer l(c.language, c.text);
        EXPECT_EQ(l->GetString(), c.token) << c.language << " " << c.text;
    }
    const Case numbers[] = {
        {"PascalScript", "12.5e3", "12.5e3"},
        {"PascalScript", "12.e3", "12"},
        {"PascalScript", "1e", "1"},
        {"PascalScript", "1e+5x", "1e+5"},
        {"PascalScript", "$FF", "$FF"},
        {"PascalScript", "1..5", "1"},
        {"PascalScript", "$g", ""},
        {"C++Script", "0x1F", "$1F"},
        {"C++Script", "0xg", ""},
        {"C++Script", "0.5", "0.5"},
    };
    for (const Case& c : numbers) {
        Lexer l(c.language, c.text);
        EXPECT_EQ(l->GetNumber(), c.token) << c.language << " " << c.text;
    }
    Lexer range("PascalScript", "1..5");
    range->GetNumber();
    EXPECT_EQ(range->GetChar(), "."); // the range stays for the grammar
    Lexer big("PascalScript", "#99999999999");
    EXPECT_THROW(big->GetString(), EConvertError);
}

TEST(TksParser, ReportStrings) {
    struct Case {
        const char* text;
        const char* inside;
    };
    for (Case c : {Case{"a[b>c]> rest", "a[b>c]"},
                   {"x'>'y> rest", "x'>'y"},
                   {"a<b>c> rest", "a<b>c"},
                   {"\"x>\"> rest", "\"x>\""},
                   {"open", "open"}}) {
        TksParser p;
        p.SetText(c.text);
        EXPECT_EQ(p.GetReportString(), c.inside) << c.text;
    }
}

TEST(TksParser, Positions) {
    TksParser p;
    p.SetText("ab\r\n\tcd\nx");
    struct Case {
        int position;
        const char* text;
    };
    for (Case c : {Case{1, "1:1"},
                   {3, "1:3"},
                   {4, "1:4"},
                   {5, "2:1"},
                   {6, "2:2"},
                   {9, "3:1"},
                   {10, "3:2"}}) {
        p.SetPosition(c.position);
        EXPECT_EQ(p.GetPositionText(), c.text) << c.position;
    }
    EXPECT_EQ(p.PositionFromPoint(2, 2), 6);
    EXPECT_EQ(p.PositionFromPoint(1, 4), -1);
    EXPECT_EQ(p.PositionFromPoint(1, 0), -1);
}

TEST(TksParser, CommentPairsAndEmptyOpener) {
    TksParser p;
    p.SetCommentBlock1("\"<,>\" ,x");
    EXPECT_EQ(p.CommentBlock1(), "\"<,>\" ,x");
    p.SetText("<,> a x b");
    EXPECT_EQ(p.GetWord(), "b");
    p.SetCommentBlock1(",}"); // an empty opener is never a comment
    p.SetCommentBlock2("");
    p.SetText("} a");
    p.SkipSpaces();
    EXPECT_EQ(p.GetChar(), "}");
}
