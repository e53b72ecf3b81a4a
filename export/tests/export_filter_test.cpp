// The export frame over the real driver and the three-page fixture: the order of calls a filter
// sees, page ranges, the common steps of the options and save dialogs, slave mode, the output
// file (written whole or not at all) and opening the result.

#include "export/export_filter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "export/export_module.h"
#include "export/tests/page_export_fixture.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/ui/application.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/registries.h"
#include "report/resources.h"

namespace {

// Writes one line per call; fails on the object named FailOn.
class TTraceFilter : public TpgwFileExportFilter {
public:
    explicit TTraceFilter(TComponent* owner) : TpgwFileExportFilter(owner) { init(); }
    explicit TTraceFilter(UnlistedTag tag) : TpgwFileExportFilter(tag) { init(); }
    std::string FilterCaption() const override { return "Trace"; }
    void WriteItem(TpgwComponent* object) override {
        if (object->Name() == FailOn) throw Exception("cannot write " + FailOn);
        std::string line = object->Name();
        if (object->Name() == "_pagebackground")
            line += " at " + Num(object->AbsLeft()) + "," + Num(object->AbsTop());
        write(line);
    }
    void EnterPage(TpgwComponent*, int index) override { write("enter " + std::to_string(index)); }
    void LeavePage(TpgwComponent*, int index) override { write("leave " + std::to_string(index)); }
    bool OpenOutput() override {
        Calls.push_back("open");
        return TpgwFileExportFilter::OpenOutput();
    }
    void CloseOutput() override {
        Calls.push_back("close");
        TpgwFileExportFilter::CloseOutput();
    }

    std::vector<std::string> Calls;
    std::string FailOn;
    // The options dialog while it is shown.
    TpgwExportDialog* Dialog = nullptr;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override {
        auto dialog = std::make_unique<TpgwExportDialog>(nullptr, "Trace", "Options", 40);
        Dialog = dialog.get();
        return dialog;
    }

private:
    void init() {
        SetFileExtension(".trc");
        SetFileFilter("Trace file (*.trc)|*.trc");
    }
    void write(const std::string& line) {
        Calls.push_back(line);
        const std::string text = line + "\n";
        Output().Write(text.data(), static_cast<std::int64_t>(text.size()));
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);)
        lines.push_back(line);
    return lines;
}

class ExportFrame : public PreparedExportFixture {
protected:
    void SetUp() override {
        PreparedExportFixture::SetUp();
        folder = std::filesystem::temp_directory_path() /
                 ("lumetra_export_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        filter = std::make_unique<TTraceFilter>(nullptr);
        filter->SetShowDialog(false);
    }
    void TearDown() override {
        filter.reset();
        PreparedExportFixture::TearDown();
        std::filesystem::remove_all(folder);
    }
    // Exports into memory; the lines written.
    std::vector<std::string> ToMemory() {
        TMemoryStream stream;
        filter->SetTargetStream(&stream);
        EXPECT_TRUE(report->ExportTo(filter.get()));
        filter->SetTargetStream(nullptr);
        return Lines(std::string(reinterpret_cast<const char*>(stream.Memory()),
                                 static_cast<std::size_t>(stream.Size())));
    }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    std::filesystem::path folder;
    std::unique_ptr<TTraceFilter> filter;
    OpenedFiles openedFiles;
    std::vector<std::string>& opened = openedFiles.names;
};

TEST_F(ExportFrame, PagesAtTheirMarginsBackgroundFirstEachBandBeforeItsObjects) {
    Fixture();
    const std::vector<std::string> lines = ToMemory();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "enter 0");
    // Margins of 10 mm: the paper position of the area inside them.
    EXPECT_EQ(lines[1], "_pagebackground at 37.8,37.8");
    int pages = 0;
    std::string band;
    for (const std::string& line : lines) {
        if (line.rfind("enter ", 0) == 0) ++pages;
        if (line == "Head" || line == "Row" || line == "Foot") band = line;
        if (line == "HeadTitle" || line == "HeadPage") {
            EXPECT_EQ(band, "Head");
        }
        if (line == "LeftMemo" || line == "AnchorMemo") {
            EXPECT_EQ(band, "Row");
        }
        if (line == "FootMemo") {
            EXPECT_EQ(band, "Foot");
        }
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(lines.back(), "leave 2");
}

TEST_F(ExportFrame, PageRangesAndHeadersOfAOnePageReport) {
    Fixture();
    struct Case {
        const char* range;
        std::vector<std::string> entered;
    };
    const Case cases[] = {
        {"2-3", {"enter 1", "enter 2"}},
        {"1,3", {"enter 0", "enter 2"}},
        {"9", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        filter->Calls.clear();
        filter->SetPageNumbers(c.range);
        std::vector<std::string> entered;
        for (const std::string& line : ToMemory())
            if (line.rfind("enter ", 0) == 0) entered.push_back(line);
        EXPECT_EQ(entered, c.entered);
        // Open and close run also when the range names no page.
        EXPECT_EQ(filter->Calls.front(), "open");
        EXPECT_EQ(filter->Calls.back(), "close");
    }

    Fixture(1);
    filter->SetPageNumbers("");
    filter->SetSuppressPageHeadersFooters(true);
    const std::vector<std::string> lines = ToMemory();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "HeadTitle"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FootMemo"), lines.end());
}

TEST_F(ExportFrame, WithoutAFileNameOrStreamNothingIsWrittenAndTheExportSucceeds) {
    Fixture(1);
    EXPECT_TRUE(report->ExportTo(filter.get()));
    EXPECT_EQ(filter->Calls, std::vector<std::string>{"open"});
    EXPECT_TRUE(opened.empty());
}

TEST_F(ExportFrame, FileNamesSlaveModeAndOpeningTheResult) {
    Fixture(1);
    // A bare name goes into DefaultPath; the result is opened when asked.
    filter->SetDefaultPath(folder.string());
    filter->SetFileName("bare.trc");
    filter->SetOpenAfterExport(true);
    ASSERT_TRUE(report->ExportTo(filter.get()));
    EXPECT_EQ(filter->FileName(), Path("bare.trc"));
    EXPECT_EQ(Lines(TempDir::ReadAll(Path("bare.trc"))).front(), "enter 0");
    EXPECT_EQ(opened, std::vector<std::string>{Path("bare.trc")});

    // Into a stream nothing is opened.
    opened.clear();
    ToMemory();
    EXPECT_TRUE(opened.empty());

    // Slave mode: a name in the temporary folder after the report's file, no save dialog, and
    // the result is not opened.
    report->SetFileName("C:\\reports\\exam.pg3");
    filter->SetSlaveMode(true);
    filter->SetShowDialog(true);
    filter->SetFileName("");
    TpgwExportDialog* shown = nullptr;
    Application()->QueueCall([&] {
        shown = filter->Dialog;
        ASSERT_NE(shown, nullptr);
        EXPECT_FALSE(shown->OpenCB->Visible());
        shown->OkB->Click();
    });
    ASSERT_TRUE(report->ExportTo(filter.get()));
    EXPECT_NE(shown, nullptr);
    EXPECT_TRUE(boxes->Dialogs.empty());
    EXPECT_FALSE(filter->OpenAfterExport());
    EXPECT_EQ(filter->FileName(), IncludeTrailingPathDelimiter(GetTempDir()) + "exam.trc");
    EXPECT_TRUE(std::filesystem::exists(filter->FileName()));
    std::filesystem::remove(filter->FileName());
    EXPECT_EQ(opened.size(), 0u);
}

TEST_F(ExportFrame, TheOptionsAndSaveDialogsDecideTheRangeAndTheFile) {
    Fixture(3);
    report->SetFileName("C:\\reports\\exam.pg3");
    filter->SetShowDialog(true);
    struct Case {
        const char* name;
        bool okOptions;
        bool confirmSave;
        bool written;
    };
    const Case cases[] = {
        {"both confirmed", true, true, true},
        {"options cancelled", false, true, false},
        {"save cancelled", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes->Dialogs.clear();
        const std::string target = Path(std::string(c.name) + ".trc");
        // The save dialog's answer, when it comes to that.
        if (c.okOptions) {
            TRecordingReporter::DialogAnswer answer;
            answer.Confirmed = c.confirmSave;
            answer.FileName = target;
            boxes->QueueDialogAnswer(answer);
        }
        Application()->QueueCall([&] {
            TpgwExportDialog* d = filter->Dialog;
            ASSERT_NE(d, nullptr);
            d->PageNumbersE->SetText("2");
            EXPECT_TRUE(d->PageNumbersRB->Checked());
            (c.okOptions ? d->OkB : d->CancelB)->Click();
        });
        filter->SetFileName("");
        filter->SetPageNumbers("");
        EXPECT_EQ(report->ExportTo(filter.get()), c.written);
        EXPECT_EQ(std::filesystem::exists(target), c.written);
        if (c.okOptions) {
            ASSERT_EQ(boxes->Dialogs.size(), 1u);
            // The report's name with the filter's extension.
            EXPECT_EQ(boxes->Dialogs[0].FileName, "exam.trc");
            EXPECT_EQ(boxes->Dialogs[0].Filter, "Trace file (*.trc)|*.trc");
        }
        if (c.written) {
            const std::vector<std::string> lines = Lines(TempDir::ReadAll(target));
            EXPECT_EQ(lines.front(), "enter 1");
            EXPECT_EQ(filter->PageNumbers(), "2");
        }
    }
}

TEST_F(ExportFrame, AFailedRunOrAnUnwritableTargetKeepsTheEarlierFile) {
    Fixture(3);
    const std::string target = Path("kept.trc");
    { std::ofstream(target) << "earlier\n"; }
    filter->SetFileName(target);
    filter->FailOn = "AnchorMemo";
    EXPECT_FALSE(report->ExportTo(filter.get()));
    EXPECT_EQ(TempDir::ReadAll(target), "earlier\n");
    EXPECT_EQ(report->Errors().Text(), "cannot write AnchorMemo\r\n");
    EXPECT_EQ(filter->Calls.back(), "close");

    filter->FailOn.clear();
    filter->SetFileName(Path("missing/folder/x.trc"));
    EXPECT_FALSE(report->ExportTo(filter.get()));
    EXPECT_NE(report->Errors().Text().find("Cannot create file"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

TEST_F(ExportFrame, UnlistedFiltersStayOutOfTheRegistry) {
    const int before = GetExportFilters().Count();
    {
        TTraceFilter listed(nullptr);
        EXPECT_EQ(GetExportFilters().Count(), before + 1);
        TTraceFilter unlisted(TpgwCustomExportFilter::UnlistedTag{});
        EXPECT_TRUE(unlisted.Unlisted());
        EXPECT_EQ(GetExportFilters().Count(), before + 1);
    }
    EXPECT_EQ(GetExportFilters().Count(), before);
}

TEST_F(ExportFrame, TheCommonDialogTakesOnlyPageNumbersAndShowsItsParts) {
    struct Case {
        char16_t key;
        bool passes;
    };
    for (const Case c : {Case{u'7', true}, Case{u',', true}, Case{u'-', true}, Case{u'\b', true},
                         Case{u'a', false}, Case{u' ', false}, Case{u'.', false}})
        EXPECT_EQ(TpgwExportDialog::PageNumberKey(c.key), c.passes) << char(c.key);

    TpgwExportDialog dialog(nullptr, "Trace", GetResources().GetText("8302"), 60);
    char16_t key = u'x';
    dialog.PageNumbersE->OnKeyPress(dialog.PageNumbersE, key);
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(dialog.AllRB->Checked());
    dialog.PageNumbersE->SetText("1,3");
    EXPECT_TRUE(dialog.PageNumbersRB->Checked());
    EXPECT_EQ(dialog.OpenCB->Caption(), "在导出后打开");
    dialog.Show();
    Application()->ProcessMessages();
    const TRasterImage image = dialog.GrabImage();
    EXPECT_GT(image.Width, 250);
    SaveImageAsPng(image, Path("dialog.png"));
    EXPECT_TRUE(std::filesystem::exists(Path("dialog.png")));
    dialog.Hide();
}

} // namespace
