#include "script/language_registry.h"

#include <gtest/gtest.h>

#include "platform/core/exception.h"
#include "platform/core/string_list.h"
#include "script/grammars.h"
#include "script/il_parser.h"
#include "script/parser.h"
#include "script/xml_document.h"

TEST(Grammars, TranscriptionsHaveTheirExactLengthAndLoad) {
    struct Case {
        const char* language;
        std::string_view text;
        std::size_t length;
        std::size_t keywords;
        int errors;
        int types;
    };
    for (const Case& c : {Case{"PascalScript", ksPascalScriptGrammar(), 8599, 40, 20, 0},
                          {"C++Script", ksCppScriptGrammar(), 8952, 19, 18, 5},
                          {"BasicScript", ksBasicScriptGrammar(), 9769, 40, 28, 1},
                          {"JScript", ksJScriptGrammar(), 7976, 22, 17, 0}}) {
        SCOPED_TRACE(c.language);
        EXPECT_EQ(c.text.size(), c.length);
        EXPECT_EQ(c.text.find('\n'), std::string_view::npos);
        EXPECT_EQ(GetLanguage(c.language), c.text);

        TksXMLDocument doc;
        doc.LoadFromText(c.text);
        TksXMLItem* root = doc.Root();
        EXPECT_EQ(root->Name(), "language");
        EXPECT_EQ(root->Prop("text"), c.language);
        EXPECT_EQ(root->Items(0)->Name(), "parser");
        EXPECT_EQ(root->Items(1)->Name(), "types");
        EXPECT_EQ(root->Items(1)->Count(), c.types);
        EXPECT_EQ(root->Items(2)->Name(), "empty");
        EXPECT_EQ(root->Items(3)->Name(), "program");
        EXPECT_EQ(root->Items(0)->FindItem("errors")->Count(), c.errors);

        TksCompileContext script;
        TksILParser parser(script);
        parser.LoadGrammar(c.language);
        EXPECT_EQ(parser.Lexer().Keywords().size(), c.keywords);
    }
}

TEST(Grammars, LexerSettingsComeFromTheGrammar) {
    TksCompileContext script;
    TksILParser parser(script);
    parser.LoadGrammar("BasicScript");
    TksParser& basic = parser.Lexer();
    EXPECT_EQ(basic.CommentLine1(), "'");
    EXPECT_EQ(basic.CommentLine2(), "rem");
    EXPECT_EQ(basic.StringQuotes(), "\"");
    EXPECT_EQ(basic.HexSequence(), "0x");
    EXPECT_EQ(basic.SkipChar(), "_");
    EXPECT_FALSE(basic.SkipEOL());
    EXPECT_FALSE(basic.CaseSensitive());
    EXPECT_FALSE(parser.DeclarationsRequired());

    parser.LoadGrammar("C++Script"); // a fresh lexer configuration
    EXPECT_TRUE(parser.Lexer().SkipEOL());
    EXPECT_TRUE(parser.Lexer().CaseSensitive());
    EXPECT_TRUE(parser.Lexer().SpecStrChar());
    EXPECT_EQ(parser.Lexer().CommentBlock1(), "/*,*/");

    TksCompileContext national;
    national.HighCharIdentifiers = true;
    TksILParser high(national);
    high.LoadGrammar("PascalScript");
    EXPECT_TRUE(high.Lexer().IsIdentChar(0xE4));
    EXPECT_FALSE(parser.Lexer().IsIdentChar(0xE4));
}

TEST(LanguageRegistry, ListOrderReplacementAndUnknownNames) {
    TStringList list;
    list.Add("stale");
    GetLanguageList(list);
    ASSERT_GE(list.Count(), 4);
    const char* builtIn[] = {"JScript", "BasicScript", "C++Script", "PascalScript"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list.Strings(i), builtIn[i]);

    const std::string grammar = "<?xml version=\"1.0\"?><language><program><keyword/></program>"
                                "</language>";
    RegisterLanguage("@Internal", grammar);
    RegisterLanguage("KsTestLanguage", "x");
    RegisterLanguage("kstestlanguage", grammar); // replaces, whatever the case
    EXPECT_EQ(GetLanguage("KSTESTLANGUAGE"), grammar);
    EXPECT_EQ(GetLanguage("@internal"), grammar);
    GetLanguageList(list);
    EXPECT_GE(list.IndexOf("KsTestLanguage"), 4);
    EXPECT_EQ(list.IndexOf("@Internal"), -1);
    EXPECT_EQ(list.Count(), 5); // "stale" went, names with "@" stay out

    try {
        GetLanguage("Cobol");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Language 'Cobol' not found");
    }
    TksCompileContext script;
    TksILParser parser(script);
    EXPECT_THROW(parser.LoadGrammar("Cobol"), Exception);
    parser.LoadGrammar("@Internal");
    EXPECT_TRUE(parser.SourceToIL(std::string_view("anything")));
}
