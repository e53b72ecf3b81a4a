#include "report/resources.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/exception.h"
#include "platform/core/stream.h"
#include "report/utils.h"
#include "report/xml_document.h"

namespace {

TEST(Resources, CoreTableIsBuiltIn) {
    TpgwResources& r = GetResources();
    EXPECT_EQ(&r, &GetResources());
    EXPECT_EQ(r.CodePage(), 936);
    EXPECT_GE(r.Count(), 168);
    struct Case {
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"clErrors", "发生下列的错误:"},
        {"CLERRORS", "发生下列的错误:"},
        {"mbError", "错误"},
        {"clPageOf", "页 %d / %d"},
        {"clFirstPass", "第一次处理过程: 页 "},
        {"clDSNotIncl", "(数据库未加入至 Report.DataSets)"},
        {"clDSNotExist", "数据库 \"%s\" 不存在"}, // quote stored escaped twice
        {"SClassError", "类(Class) %s 没有预设的属性"},
        {"uChar", "chr"},
        {"clStrNotFound", "Text not found"},
        {"poDirect", "直接 (1-9)"}, // the leading "!" is not shown
        {"noSuchKey", "noSuchKey"},
        {"!Missing", "Missing"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.GetText(c.key), c.text) << c.key;
    EXPECT_EQ(r.GetTextById(200), r.GetText("200"));
    EXPECT_EQ(r.HelpFile(), "PGWUser.chm");
    EXPECT_EQ(r.HelpAddress("tpgwmemoeditorform"),
              GetAppFolder() + "PGWUser.chm::/Text_object.htm");
    EXPECT_EQ(r.HelpAddress("TSomeForm"), GetAppFolder() + "PGWUser.chm");
}

TEST(Resources, LanguageFileReplacesTextsInPlace) {
    TpgwResources r;
    r.AddXML("<?xml version=\"1.0\"?><Resources CodePage=\"936\">"
             "<StrRes Name=\"clErrors\" Text=\"errors\"/><StrRes Name=\"mbInfo\" "
             "Text=\"Info\"/></Resources>");
    const int count = r.Count();
    r.AddXML("<?xml version=\"1.0\"?><Resources CodePage=\"1252\"><Other/>"
             "<StrRes Name=\"CLERRORS\" Text=\"The following errors occurred:\"/>"
             "<StrRes Name=\"amp\" Text=\"R&amp;D &#38;amp; &#38;#60;\"/></Resources>");
    EXPECT_EQ(r.Count(), count + 1);
    EXPECT_EQ(r.GetText("clErrors"), "The following errors occurred:");
    EXPECT_EQ(r.GetText("amp"), "R&D & <"); // unescaped twice
    EXPECT_EQ(r.CodePage(), 1252);
    r.AddText("mbInfo", "信息");
    EXPECT_EQ(r.GetText("mbinfo"), "信息");
    EXPECT_EQ(r.Count(), count + 1);
}

TEST(Resources, BadTablesRaiseAndKeepTheStore) {
    TpgwResources r;
    r.AddXML("<?xml version=\"1.0\"?><Resources CodePage=\"936\"><StrRes Name=\"a\" "
             "Text=\"first\"/></Resources>");
    struct Case {
        const char* name;
        std::string xml;
    };
    const Case cases[] = {
        {"no CodePage",
         "<?xml version=\"1.0\"?><Resources><StrRes Name=\"a\" Text=\"second\"/></Resources>"},
        {"bad CodePage", "<?xml version=\"1.0\"?><Resources CodePage=\"x\"><StrRes Name=\"a\" "
                         "Text=\"second\"/></Resources>"},
        {"truncated",
         "<?xml version=\"1.0\"?><Resources CodePage=\"936\"><StrRes Name=\"a\" Text=\"second\"/>"},
        {"bad UTF-8",
         "<?xml version=\"1.0\"?><Resources CodePage=\"936\"><StrRes Name=\"a\" Text=\"second\"/>"
         "<StrRes Name=\"b\" Text=\"\xFF\"/></Resources>"},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(r.AddXML(c.xml), Exception) << c.name;
        EXPECT_EQ(r.GetText("a"), "first") << c.name;
        EXPECT_EQ(r.GetText("b"), "b") << c.name;
        EXPECT_EQ(r.CodePage(), 936) << c.name;
    }
    EXPECT_THROW(r.AddXML(cases[0].xml), EConvertError);
    EXPECT_THROW(r.AddXML(cases[2].xml), TpgwInvalidXMLException);
}

TEST(Resources, ScriptMessagesRefreshOnEveryLoad) {
    TpgwResources r;
    int calls = 0;
    std::array<std::string, TpgwResources::kScriptMessageCount> got;
    TpgwResources::SetScriptMessagesHandler([&](const auto& messages) {
        ++calls;
        got = messages;
    });
    r.AddXML("<?xml version=\"1.0\"?><Strings CodePage=\"936\"><StrRes Name=\"SEventError\" "
             "Text=\"x\"/></Strings>");
    EXPECT_EQ(calls, 1); // another root: nothing loaded, messages still refreshed
    EXPECT_EQ(got[16], "SEventError");
    r.AddXML("<?xml version=\"1.0\"?><Resources CodePage=\"936\"><StrRes Name=\"SEventError\" "
             "Text=\"bad event\"/></Resources>");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(got[16], "bad event");
    EXPECT_EQ(got[0], "SLangNotFound");
    TpgwResources::SetScriptMessagesHandler(nullptr);
}

TEST(Resources, FilesAndLanguages) {
    TpgwResources r;
    const int count = r.Count();
    r.LoadFromFile("/nonexistent/CHINESE.PGQ"); // missing: nothing happens
    EXPECT_EQ(r.Count(), count);

    const auto dir = std::filesystem::temp_directory_path() / ("res_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TpgwXMLDocument doc;
    doc.Root()->SetName("Resources");
    doc.Root()->SetProp("CodePage", "936");
    TpgwXMLItem* item = doc.Root()->Add();
    item->SetName("StrRes");
    item->SetProp("Name", "zmWholePage");
    item->SetProp("Text", "Whole page");
    doc.SaveToFile((dir / "ENGLISH.PGQ").string());
    doc.Clear();
    r.LoadFromFile((dir / "ENGLISH.PGQ").string());
    EXPECT_EQ(r.GetText("zmWholePage"), "Whole page");
    std::filesystem::remove_all(dir);

    // Language files are looked for beside the program.
    const std::string app = GetAppFolder();
    const std::string file = app + "TESTLANG.PGQ";
    { TFileStream f(file, fmCreate); }
    r.FillLanguageList();
    std::filesystem::remove(file);
    EXPECT_NE(std::find(r.Languages().begin(), r.Languages().end(), "Testlang"),
              r.Languages().end());
}

} // namespace
