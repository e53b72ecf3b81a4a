#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "export/export_module.h"
#include "platform/core/stream.h"
#include "report/module_startup.h"
#include "report/resources.h"
#include "report/xml_document.h"

std::string_view ExportStringsXML();

namespace {

// The keys in table order: numeric ranges as "first-last", names as they stand.
std::vector<std::string> ExpectedKeys() {
    const char* const parts[] = {
        "8000-8010",        "8100-8106",        "8200-8211",        "8300-8326",
        "8400-8411",        "8500-8505",        "8600-8606",        "8700-8708",
        "RTFexport",        "BMPexport",        "JPEGexport",       "TIFFexport",
        "TextExport",       "XlsOLEexport",     "HTMLexport",       "XlsXMLexport",
        "PDFexport",        "ProgressWait",     "ProgressRows",     "ProgressColumns",
        "ProgressStyles",   "ProgressObjects",  "TIFFexportFilter", "BMPexportFilter",
        "JPEGexportFilter", "HTMLNavFirst",     "HTMLNavPrev",      "HTMLNavNext",
        "HTMLNavLast",      "HTMLNavRefresh",   "HTMLNavPrint",     "HTMLNavTotal",
        "8800-8802",        "SimpleTextExport", "8850-8853",        "CSVExport",
        "8900-8924",        "EmailExport",      "PagewrightFile",   "GifexportFilter",
        "GIFexport",        "8950-8954",        "ODSExportFilter",  "ODSExport",
        "ODTExportFilter",  "ODTExport",        "8960-8989"};
    std::vector<std::string> keys;
    for (std::string_view part : parts) {
        if (part[0] >= '0' && part[0] <= '9') {
            const int first = std::stoi(std::string(part.substr(0, 4)));
            const int last = std::stoi(std::string(part.substr(5, 4)));
            for (int k = first; k <= last; ++k)
                keys.push_back(std::to_string(k));
        } else {
            keys.emplace_back(part);
        }
    }
    return keys;
}

TEST(ExportStrings, EmbeddedTableHoldsEveryKeyInOrder) {
    TpgwXMLDocument doc;
    TStringStream in{std::string(ExportStringsXML())};
    doc.LoadFromStream(in);
    const TpgwXMLItem* root = doc.Root();
    ASSERT_EQ(root->Name(), "Resources");
    EXPECT_EQ(root->Prop("CodePage"), "936");

    std::vector<std::string> keys;
    for (int i = 0; i < root->Count(); ++i) {
        const TpgwXMLItem* item = root->Items(i);
        EXPECT_EQ(item->Name(), "StrRes");
        EXPECT_FALSE(item->Prop("Text").empty()) << item->Prop("Name");
        keys.push_back(item->Prop("Name"));
    }
    EXPECT_EQ(keys.size(), 192u);
    EXPECT_EQ(keys, ExpectedKeys());
}

TEST(ExportStrings, StartUpAddsTheTextsToTheResources) {
    RegisterExportModule();
    StartModules();
    const TpgwResources& r = GetResources();
    EXPECT_EQ(r.CodePage(), 936);
    EXPECT_EQ(r.GetText("1"), "确定"); // the core table stays

    struct Case {
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"8102", "所见即所得"},
        {"8103", "背景"},
        {"8302", " 导出属性  "}, // blanks around the caption kept
        {"8304", "OEM 页码"},
        {"8305", "空白行"},
        {"8312", " 外框 "},
        {"8706", "在导出后打开"},
        {"8800", "导出到文本"},
        {"8801", "Text file (*.txt)|*.txt"},
        {"8802", ".txt"},
        {"SimpleTextExport", "文本文件"},
        {"8850", "导出为CSV"},
        {"8851", "CSV file (*.csv)|*.csv"},
        {"8852", ".csv"},
        {"8853", "切分"},
        {"CSVExport", "CSV 文件"},
        {"8950", "继续"},
        {"ODSExportFilter", "打开电子表格文档文件 (*.ods)|*.ods"},
        {"ODSExport", "打开电子表格文档"},
        {"ODTExportFilter", "打开文本文件文档 (*.odt)|*.odt"},
        {"ODTExport", "打开文本文档"},
        {"8960", ".ods"},
        {"8961", ".odt"},
        {"ProgressWait", "请稍候"},
        {"progresswait", "请稍候"},
        {"PagewrightFile", "Pagewright file"},
        {"8308", "输入页数/文件范围，并以逗号分隔(例如:1,3,5-12)"},
        {"8325", "文本文件 (点阵式打印机)(*.prn)|*.prn"},
        {"8989", "Confirmation Reading"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(r.GetText(c.key), c.text) << c.key;
        if (c.key[0] >= '0' && c.key[0] <= '9') {
            EXPECT_EQ(r.GetTextById(std::stoi(c.key)), c.text) << c.key;
        }
    }
    EXPECT_EQ(r.GetTextById(8990), "8990"); // beyond the table: the key itself
}

} // namespace
