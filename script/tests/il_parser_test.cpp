#include "script/il_parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/string_list.h"
#include "script/language_registry.h"
#include "script/parser.h"

namespace {

struct Compiler {
    TksCompileContext script;
    TksILParser parser{script};
    std::map<std::string, std::string> units;
    std::map<std::string, int> requests; // how often each unit was asked for

    explicit Compiler(const char* language) {
        script.OnGetUnit = [this](const std::string& name, std::string& text) {
            ++requests[name];
            auto it = units.find(name);
            if (it != units.end()) text = it->second;
        };
        parser.LoadGrammar(language);
    }
    bool Compile(std::string_view text) { return parser.SourceToIL(text); }
    std::string IL() { return parser.ILDocument().SaveToText(); }
    std::string Error() { return script.ErrorText + " at " + script.ErrorPosition; }
};

const std::string kDecl = "<?xml version=\"1.0\"?>";

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(LUMETRA_TESTDATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Lines split at LF only, so that the parser's own CR LF joining is what the grammar sees.
void SplitLines(const std::string& text, TStringList& lines) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.Add(line);
}

} // namespace

TEST(TksILParser, PascalAssignmentGivesTheDocumentedIL) {
    Compiler c("PascalScript");
    ASSERT_TRUE(c.Compile("begin x := 1 end.")) << c.Error();
    EXPECT_EQ(c.IL(),
              kDecl + "<program><compoundstmt pos=\"1:1\"><assignstmt pos=\"1:7\">"
                      "<dsgn pos=\"1:7\"><node text=\"x\" pos=\"1:8\"/></dsgn>"
                      "<expr pos=\"1:12\" pos1=\"1:13\"><number text=\"1\" pos=\"1:13\"/></expr>"
                      "</assignstmt></compoundstmt><types/></program>");
    EXPECT_EQ(c.script.ErrorText, "");
    EXPECT_EQ(c.script.ErrorPosition, "");
}

// One program per language, touching most rules; the expected IL was checked rule by rule.
TEST(TksILParser, GoldenProgramsPerLanguage) {
    for (auto [language, file] : {std::pair{"PascalScript", "pascal_script"},
                                  {"C++Script", "cpp_script"},
                                  {"BasicScript", "basic_script"},
                                  {"JScript", "jscript"}}) {
        SCOPED_TRACE(language);
        std::string source = ReadFile(std::string(file) + ".txt");
        ASSERT_FALSE(source.empty());
        Compiler c(language);
        TStringList lines;
        SplitLines(source, lines);
        ASSERT_TRUE(c.parser.SourceToIL(lines)) << c.Error();
        EXPECT_EQ(c.IL(), ReadFile(std::string(file) + ".il"));
    }
}

TEST(TksILParser, CompileErrorsGiveMessageAndPosition) {
    struct Case {
        const char* language;
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"PascalScript", "a := 1", "'BEGIN' expected at 1:1"},
        {"PascalScript", "", "'BEGIN' expected at 1:1"},
        {"PascalScript", "begin a := ; end.", "Expression expected at 1:12"},
        {"PascalScript", "begin a = 1 end.", "';' expected at 1:9"},
        {"PascalScript", "begin x := 1 end", "'.' expected at 1:17"},
        {"PascalScript", "begin if a b := 1 end.", "'THEN' expected at 1:12"},
        {"PascalScript", "begin for i = 1 to 2 do end.", "':' expected at 1:13"},
        {"PascalScript", "begin for i := 1 do end.", "'TO' or 'DOWNTO' expected at 1:18"},
        {"PascalScript", "begin x := (1 end.", "')' expected at 1:15"},
        {"PascalScript", "begin x := <a end.", "'>' expected at 1:19"},
        {"PascalScript", "var a Integer; begin end.", "':' expected at 1:7"},
        {"PascalScript", "begin try x := 1 end.", "'FINALLY' or 'EXCEPT' expected at 1:18"},
        {"PascalScript", "begin x := 1;\r\n  y := ; end.", "Expression expected at 2:8"},
        {"C++Script", "{ If (a) b = 1; }", "';' expected at 1:10"},
        {"C++Script", "{ a = 1; ", "'}' expected at 1:10"},
        {"C++Script", "a = 1;", "'{' expected at 1:1"},
        {"C++Script", "{ if a) b = 1; }", "'(' expected at 1:6"},
        {"BasicScript", "x = \r\n", "Expression expected at 1:5"},
        {"BasicScript", "x = 1 )\r\n", "End of line expected at 1:7"},
        {"BasicScript", "If a Then\r\nb = 1\r\n", "'END' expected at 3:1"},
        {"BasicScript", "a = 1\r\n\r\n  b = (1\r\n", "')' expected at 3:9"},
        {"BasicScript", "For i = 1 2\r\nNext\r\n", "'TO' expected at 1:11"},
        {"JScript", "x = ;", "Expression expected at 1:5"},
        {"JScript", "if (a b = 1;", "')' expected at 1:7"},
        {"JScript", "do a = 1; (a);", "'WHILE' expected at 1:11"},
    };
    for (const Case& k : cases) {
        Compiler c(k.language);
        EXPECT_FALSE(c.Compile(k.text)) << k.language << ": " << k.text;
        EXPECT_EQ(c.Error(), k.error) << k.language << ": " << k.text;
    }
}

TEST(TksILParser, AcceptedEdgesOfTheGrammars) {
    struct Case {
        const char* language;
        const char* text;
    };
    const Case cases[] = {
        {"PascalScript", "begin end."},
        {"PascalScript", "begin a := 1; end."},
        {"PascalScript", "begin x := 1 end. garbage"}, // text after the final "." is not read
        {"PascalScript", "begin if a then b := 1 else end."},
        {"C++Script", "{ }"},
        {"C++Script", "{ } rest"},
        {"BasicScript", "\r\n"},
        {"BasicScript", ""}, // nothing at all: an empty program
        {"BasicScript", "If a Then b = 1\r\n"},
        {"JScript", ""},
        {"JScript", "  // only a comment\r\n"},
    };
    for (const Case& k : cases) {
        Compiler c(k.language);
        EXPECT_TRUE(c.Compile(k.text)) << k.language << ": " << k.text << ": " << c.Error();
    }
}

TEST(TksILParser, ArrayOfOneSizeDeclaresOneDimension) {
    // The size form and the range form of a dimension: one expression and two.
    Compiler c("PascalScript");
    ASSERT_TRUE(c.Compile("var a: array[10] of Integer; b: array[0..9] of Integer; begin end."));
    TksXMLItem* program = c.parser.ILDocument().Root();
    TksXMLItem* size = program->Items(0)->FindItem("array")->Items(0);
    TksXMLItem* range = program->Items(1)->FindItem("array")->Items(0);
    ASSERT_EQ(size->Name(), "dim");
    EXPECT_EQ(size->Count(), 1);
    EXPECT_EQ(size->Items(0)->Items(0)->Prop("text"), "10");
    EXPECT_EQ(range->Count(), 2);
    EXPECT_EQ(range->Items(1)->Items(0)->Prop("text"), "9");
}

TEST(TksILParser, OpenEndedLanguagesDoNotDropUnreadText) {
    struct Case {
        const char* language;
        const char* text;
        const char* error;
    };
    for (Case k :
         {Case{"JScript", "a = 1; } b = 2;", "Statement expected at 1:8"},
          {"BasicScript", "a = 1\r\nb = 2\r\n)))\r\nc = 3\r\n", "Statement expected at 3:1"},
          {"BasicScript", "a = 1\r\nEnd If\r\n", "Statement expected at 2:1"}}) {
        Compiler c(k.language);
        EXPECT_FALSE(c.Compile(k.text)) << k.text;
        EXPECT_EQ(c.Error(), k.error);
        EXPECT_EQ(c.parser.ILDocument().Root()->Count(), 0);
    }
}

TEST(TksILParser, ReportExpressionsBecomeGetCalls) {
    Compiler c("PascalScript");
    ASSERT_TRUE(c.Compile("begin x := <a[b>c]> end.")) << c.Error();
    EXPECT_NE(c.IL().find("<expr pos=\"1:12\" pos1=\"1:20\"><dsgn pos=\"1:19\">"
                          "<node text=\"Get\" pos=\"1:19\"/><expr pos=\"1:19\" pos1=\"1:19\">"
                          "<string text=\"'a[b&#62;c]'\" pos=\"1:19\"/></expr></dsgn></expr>"),
              std::string::npos)
        << c.IL();
}

TEST(TksILParser, LanguageLineSwitchesGrammar) {
    Compiler c("PascalScript");
    ASSERT_TRUE(c.Compile("#language BasicScript\r\nx = 1\r\n")) << c.Error();
    EXPECT_EQ(c.parser.LanguageName(), "BasicScript");
    EXPECT_NE(c.IL().find("<assignstmt pos=\"2:1\">"), std::string::npos); // lines still count
    EXPECT_NE(c.IL().find("<types><decimal type=\"extended\"/></types>"), std::string::npos);

    Compiler unknown("PascalScript");
    EXPECT_THROW(unknown.Compile("#language Cobol\r\n"), Exception);
    Compiler other("PascalScript"); // another directive is ordinary text
    EXPECT_FALSE(other.Compile("#include x\r\nbegin end."));
    EXPECT_EQ(other.Error(), "'BEGIN' expected at 1:1");
}

TEST(TksILParser, UnitsAreEmbeddedOnce) {
    Compiler c("PascalScript");
    c.units["a"] = "uses 'b'; var va: Integer; begin end.";
    c.units["b"] = "uses 'a'; var vb: Integer; begin end.";
    c.units["empty"] = "";
    ASSERT_TRUE(c.Compile("uses 'a', 'empty', 'b'; begin end.")) << c.Error();
    // Units are taken from the last listed on; b includes a itself (a's own use of b is not
    // followed again), so a is not embedded a second time.
    EXPECT_EQ(c.IL(), kDecl +
                          "<program><uses unit=\"b\"><program><uses unit=\"a\"><program>"
                          "<var pos=\"1:15\"><ident text=\"va\" pos=\"1:17\"/><type "
                          "text=\"Integer\" pos=\"1:26\"/></var><compoundstmt pos=\"1:28\"/>"
                          "<types/></program></uses><var pos=\"1:15\"><ident text=\"vb\" "
                          "pos=\"1:17\"/><type text=\"Integer\" pos=\"1:26\"/></var>"
                          "<compoundstmt pos=\"1:28\"/><types/></program></uses>"
                          "<uses unit=\"empty\"/><compoundstmt pos=\"1:25\"/><types/></program>");
    EXPECT_EQ(c.parser.UsesList().size(), 3u);
}

// A chain of units, each using the next, nests as one program does: past the limit it is the
// error deep parentheses give, not a stack overflow, and no unit is read twice.
TEST(TksILParser, UnitChainsNestAsOneProgram) {
    struct Case {
        const char* language;
        std::string (*uses)(const std::string& unit);
        const char* unitBody;
        const char* mainBody;
    };
    const Case cases[] = {
        {"PascalScript", [](const std::string& u) { return "uses '" + u + "'; "; },
         "var v: Integer; begin end.", "begin end."},
        {"C++Script", [](const std::string& u) { return "#include \"" + u + "\"\r\n"; },
         "int v;\r\n{ }", "{ }"},
        {"JScript", [](const std::string& u) { return "import \"" + u + "\";\r\n"; }, "var v = 1;",
         "v = 2;"},
        {"BasicScript", [](const std::string& u) { return "imports \"" + u + "\"\r\n"; },
         "v = 1\r\n", "v = 2\r\n"},
    };
    for (const Case& k : cases) {
        for (int length : {100, 1500}) {
            SCOPED_TRACE(std::string(k.language) + ", " + std::to_string(length) + " units");
            Compiler c(k.language);
            for (int i = 1; i <= length; ++i)
                c.units["u" + std::to_string(i)] =
                    (i < length ? k.uses("u" + std::to_string(i + 1)) : "") + k.unitBody;
            const bool ok = c.Compile(k.uses("u1") + k.mainBody);
            for (const auto& [unit, count] : c.requests)
                EXPECT_EQ(count, 1) << unit;
            if (length == 100) {
                ASSERT_TRUE(ok) << c.Error() << " in " << c.script.ErrorUnitName;
                EXPECT_EQ(c.requests.size(), 100u);
                // Each unit sits inside the one that uses it.
                const std::string il = c.IL();
                const std::size_t firstClose = il.find("</uses>");
                std::size_t opened = 0;
                for (auto p = il.find("<uses "); p < firstClose; p = il.find("<uses ", p + 1))
                    ++opened;
                EXPECT_EQ(opened, 100u);
            } else {
                EXPECT_FALSE(ok);
                EXPECT_EQ(c.script.ErrorText, "Program nested too deeply");
                EXPECT_EQ(c.script.ErrorUnitName, "u" + std::to_string(c.requests.size()));
                EXPECT_LT(c.requests.size(), 1000u); // the deeper units are never read
                EXPECT_EQ(c.parser.ILDocument().Root()->Count(), 0);
            }
        }
    }
}

// Text that looks like a character reference of the IL document stays as written: in string
// literals, report expressions and unit names.
TEST(TksILParser, LiteralTextIsKeptAsWritten) {
    Compiler c("PascalScript");
    const std::string unit = "u&#65;&amp;&#x41;";
    c.units[unit] = "begin end.";
    ASSERT_TRUE(c.Compile("uses '" + unit +
                          "'; begin x := 'a&amp;b &quot; &#65;&#x41;&#1114112;&#-1;&#'; "
                          "y := <c&#60;&quot;> end."))
        << c.Error();
    std::vector<std::string> strings;
    std::vector<const TksXMLItem*> pending{c.parser.ILDocument().Root()};
    while (!pending.empty()) {
        const TksXMLItem* item = pending.back();
        pending.pop_back();
        if (item->Name() == "string") strings.push_back(item->Prop("text"));
        for (int i = item->Count() - 1; i >= 0; --i)
            pending.push_back(item->Items(i));
    }
    EXPECT_EQ(strings, (std::vector<std::string>{"'a&amp;b &quot; &#65;&#x41;&#1114112;&#-1;&#'",
                                                 "'c&#60;&quot;'"}));
    EXPECT_EQ(c.parser.ILDocument().Root()->Items(0)->Prop("unit"), unit);
    EXPECT_EQ(c.requests[unit], 1);
}

TEST(TksILParser, UnitErrorsNameTheUnit) {
    Compiler c("PascalScript");
    c.units["bad"] = "begin\r\n  x := ; end.";
    EXPECT_FALSE(c.Compile("uses 'bad'; begin end."));
    EXPECT_EQ(c.Error(), "Expression expected at 2:8");
    EXPECT_EQ(c.script.ErrorUnitName, "bad");
}

TEST(TksILParser, UnitsFromIncludeFolders) {
    auto dir = std::string(LUMETRA_TESTDATA_DIR);
    TksCompileContext script;
    script.IncludeFolders = {"/nonexistent", dir};
    TksILParser parser(script);
    parser.LoadGrammar("PascalScript");
    ASSERT_TRUE(parser.SourceToIL(std::string_view("uses 'Unit.PAS'; begin end.")))
        << script.ErrorText;
    EXPECT_NE(parser.ILDocument().SaveToText().find("<ident text=\"FromFile\""), std::string::npos);
    TksILParser missing(script);
    missing.LoadGrammar("PascalScript");
    EXPECT_THROW(missing.SourceToIL(std::string_view("uses 'none.pas'; begin end.")), EFOpenError);
}

TEST(TksILParser, BrokenGrammarsAndDeepNesting) {
    RegisterLanguage("@KsNoRule", "<?xml version=\"1.0\"?><language><program><missing/></program>"
                                  "</language>");
    Compiler c("@KsNoRule");
    try {
        c.Compile("x");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid language definition");
    }
    RegisterLanguage("@KsBroken", "<language>");
    EXPECT_THROW(Compiler("@KsBroken"), Exception);

    Compiler deep("PascalScript");
    std::string text =
        "begin x := " + std::string(5000, '(') + "1" + std::string(5000, ')') + " end.";
    EXPECT_FALSE(deep.Compile(text));
    EXPECT_EQ(deep.script.ErrorText, "Program nested too deeply");
}

TEST(TksILParser, GrammarIsPreparedOncePerText) {
    TksCompileContext script;
    TksILParser a(script), b(script);
    a.LoadGrammar("PascalScript");
    b.LoadGrammar("pascalscript");
    EXPECT_EQ(a.GrammarRoot(), b.GrammarRoot());
    b.LoadGrammar("JScript");
    EXPECT_NE(a.GrammarRoot(), b.GrammarRoot());
}
