// The CSV and plain-text exports: their edge cases as bytes, from memos placed on a page and
// handed over as the driver does, and the fixture through pgwprep against golden files that
// independent readers (iconv, python's csv module) read back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "export/csv_export.h"
#include "export/tests/page_export_fixture.h"
#include "export/text_export.h"
#include "export/text_matrix.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/core/text.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/view.h"
#include "tools/pgwprep/tests/run_pgwprep.h"

namespace {

std::string Gbk(const std::string& utf8) {
    return ExportAnsiText(Utf8ToUtf16(utf8));
}

using TextExports = PageExportFixture;

TEST_F(TextExports, CsvFieldsRowsAndSeparators) {
    TpgwReportPage* page = NewPage();
    // Row 1: the first column empty, a text in the second; row 2: a memo over both columns.
    Memo(page, 0, 0, 100, 20, "");
    Memo(page, 100, 0, 100, 20, "second");
    Memo(page, 0, 30, 200, 20, "two\r\nlines");
    TpgwCSVExport csv(TpgwCustomExportFilter::UnlistedTag{});
    const std::string bytes = Run(csv);
    EXPECT_NE(bytes.find("\"second\";"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\"twolines\";;"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");

    // The OEM code page is the legacy one here: the option changes no byte.
    csv.SetOEMCodepage(true);
    EXPECT_EQ(Run(csv), bytes);

    csv.SetSeparator("");
    EXPECT_EQ(Run(csv).find(';'), std::string::npos);
}

TEST_F(TextExports, CsvQuotesAreDoubledAndTextIsInTheLegacyCodePage) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 300, 20, "他说\"好\" 😀");
    TpgwCSVExport csv(TpgwCustomExportFilter::UnlistedTag{});
    const std::string bytes = Run(csv);
    // A character the code page lacks becomes "?", the rest stays.
    EXPECT_NE(bytes.find("\"" + Gbk("他说") + "\"\"" + Gbk("好") + "\"\" ?\";"), std::string::npos)
        << bytes;

    // Two pages follow one another, no line between them.
    NewPage();
    Memo(pages[1], 0, 0, 300, 20, "page two");
    const std::string two = Run(csv);
    EXPECT_LT(two.find(Gbk("他说")), two.find("page two"));
    EXPECT_EQ(two.find("\r\n\r\n\"page two"), std::string::npos);
}

TEST_F(TextExports, TextGridAlignsSqueezesAndBreaksPages) {
    TpgwSimpleTextExport text(TpgwCustomExportFilter::UnlistedTag{});
    // A page without objects: only the form feed.
    NewPage();
    EXPECT_EQ(Run(text), "\f");

    TpgwReportPage* page = pages[0];
    // The ten letters make the character 6 units wide and the line 10 high: the right-aligned
    // memo is 5 characters wide, its field 3, so one blank goes before "ab".
    Memo(page, 0, 0, 30, 20, "ab", haRight);
    Memo(page, 300, 60, 100, 20, "abcdefghij");
    const std::string bytes = Run(text);
    // No empty lines between the texts; squeezing leaves two blank columns before the second.
    EXPECT_EQ(bytes, " ab\r\n     abcdefghij\r\n\f");
    EXPECT_EQ(bytes.back(), '\f');

    text.SetEmptyLines(true);
    text.SetPageBreaks(false);
    const std::string withEmpty = Run(text);
    EXPECT_NE(withEmpty.find("\r\n\r\n"), std::string::npos);
    EXPECT_NE(withEmpty.back(), '\f');
}

TEST_F(TextExports, OnlyTheCsvExportNamesItsFileInSlaveMode) {
    NewPage();
    TpgwSimpleTextExport text(TpgwCustomExportFilter::UnlistedTag{});
    text.SetSlaveMode(true);
    EXPECT_FALSE(text.OpenOutput());
    text.SetFileName("/nonexistent-folder/kept.txt");
    EXPECT_THROW(text.OpenOutput(), Exception);
    EXPECT_EQ(text.FileName(), "/nonexistent-folder/kept.txt");

    TpgwCSVExport csv(TpgwCustomExportFilter::UnlistedTag{});
    csv.SetSlaveMode(true);
    ASSERT_TRUE(csv.OpenOutput());
    EXPECT_EQ(ExtractFileExt(csv.FileName()), ".csv");
    EXPECT_EQ(ExtractFilePath(csv.FileName()), IncludeTrailingPathDelimiter(GetTempDir()));
    // Nothing is left of the name's reservation.
    EXPECT_FALSE(std::filesystem::exists(ChangeFileExt(csv.FileName(), "")));
    csv.CloseOutput();
    std::filesystem::remove(csv.FileName());
}

TEST_F(TextExports, AMemoOfFontSizeZeroDoesNotSizeTheGrid) {
    TpgwReportPage* page = NewPage();
    Memo(page, 0, 0, 100, 20, "seen");
    Memo(page, 0, 40, 100, 20, "zero")->Font()->SetSize(0);
    TpgwSimpleTextExport text(TpgwCustomExportFilter::UnlistedTag{});
    const std::string bytes = Run(text);
    EXPECT_NE(bytes.find("seen"), std::string::npos) << bytes;
}

TEST(TextGrid, SqueezingLeavesTwoBlankColumnsAndDropsWhatFallsOutside) {
    TpgwTextGrid grid(12, 2);
    grid.Put(0, 'a');
    grid.Put(8, 'b');
    grid.Put(-1, 'x');
    grid.Put(12 * 2, 'y');
    grid.SqueezeColumns();
    EXPECT_EQ(grid.Row(0), "a  b");
    EXPECT_EQ(grid.Row(1), "");
}

// The fixture through pgwprep equals the golden files, which iconv and python's csv module read.
TEST(TextExportFiles, FixtureThroughPgwprepEqualsTheGoldenFiles) {
    const std::string data = std::string(LUMETRA_TESTDATA_DIR);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lumetra_txt_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string csv = (dir / "fixture.csv").string();
    const std::string txt = (dir / "fixture.txt").string();
    const PgwprepRun r = RunPgwprep({data + "/export_fixture.pg3", "--export", "csv", csv, "--set",
                                     "Separator=;", "--export", "txt", txt});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(TempDir::ReadAll(csv), TempDir::ReadAll(data + "/golden/fixture.csv"));
    EXPECT_EQ(TempDir::ReadAll(txt), TempDir::ReadAll(data + "/golden/fixture.txt"));

    const std::string check = "python3 - '" + csv +
                              "' <<'EOF'\n"
                              "import csv, io, sys\n"
                              "text = open(sys.argv[1], 'rb').read().decode('gbk')\n"
                              "rows = list(csv.reader(io.StringIO(text, newline=''), "
                              "delimiter=';'))\n"
                              "fields = [f for row in rows for f in row]\n"
                              "assert sum(1 for f in fields if f) == 3 * 14, len(fields)\n"
                              "assert 'Say \"hi\" <a> & b; semi' in fields, fields\n"
                              "assert '腹部超声：肝脏大小正常' in fields, fields\n"
                              "EOF";
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(std::system(("iconv -f GBK -t UTF-8 '" + txt + "' > /dev/null").c_str()), 0);

    // An unknown property of a known format is an argument error.
    const PgwprepRun bad =
        RunPgwprep({data + "/export_fixture.pg3", "--export", "csv", csv, "--set", "Bogus=1"});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("the csv export has no property Bogus"), std::string::npos) << bad.Err;
    std::filesystem::remove_all(dir);
}

} // namespace
