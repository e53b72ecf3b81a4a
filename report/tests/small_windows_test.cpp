// Small windows, help, file helpers, error reporting and component lookup by path.

#include "report/small_windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/file_utils.h"
#include "report/module_startup.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/tests/rc_doubles.h"
#include "report/utils.h"

namespace fs = std::filesystem;

namespace {

// Windows need the widget toolkit, which must start before anything draws or measures text:
// start it before the first test of the program.
class WidgetToolkit : public ::testing::Environment {
public:
    void SetUp() override { Application(); }
};
::testing::Environment* const widgetToolkit =
    ::testing::AddGlobalTestEnvironment(new WidgetToolkit);

TRecordingReporter& Boxes() {
    return static_cast<TRecordingReporter&>(MessageReporter());
}

TEST(Progress, TickStopsAtTheEndAndCancelCloses) {
    TScopedReporter scope(std::make_unique<TRecordingReporter>());
    TpgwProgress progress(nullptr);
    EXPECT_EQ(progress.CancelB->Caption(), GetResources().GetTextById(2));
    progress.Execute(2, "Preparing", true, false);
    EXPECT_FALSE(progress.CancelB->Visible());
    EXPECT_EQ(progress.LMessage->Caption(), "Preparing");
    EXPECT_EQ(progress.LMessage->Top(), 15);
    progress.Tick();
    progress.Tick();
    EXPECT_EQ(progress.Position(), 2);
    progress.Tick();
    EXPECT_EQ(progress.Position(), 2) << "Tick at the maximum changes nothing";
    progress.SetShowBar(false);
    EXPECT_EQ(progress.LMessage->Top(), 35);
    progress.SetCancelled(true);
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_FALSE(progress.Visible());
}

TEST(Windows, TextsComeFromTheResourcesByNumber) {
    TpgwPasswordForm password(nullptr);
    EXPECT_EQ(password.Caption(), GetResources().GetTextById(5000));
    EXPECT_EQ(password.PasswordE->PasswordChar(), '*');
    EXPECT_EQ(password.OkB->ModalResult(), mrOk);
    TpgwInheritErrorForm inherit(nullptr);
    EXPECT_EQ(inherit.DeleteRB->Caption(), GetResources().GetTextById(6002));
    EXPECT_TRUE(inherit.DeleteRB->Checked());
}

TEST(Windows, DialogFormKnowsAThreadSafeCreationAndRefusesClosing) {
    RegisterReportDoubles();
    TpgwReportPage page(nullptr);
    page.SetTag(318);
    TpgwDialogForm safe(&page);
    EXPECT_TRUE(safe.ThreadSafeCreation());
    EXPECT_FALSE(safe.CloseQuery());
    page.SetTag(0);
    TpgwDialogForm plain(&page);
    EXPECT_FALSE(plain.ThreadSafeCreation());
    plain.OnCloseQuery = [](TObject*, bool& can) { can = true; };
    EXPECT_TRUE(plain.CloseQuery());
}

class Help : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("rc_help_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        chm = (dir / "PGWUser.chm").string();
        std::ofstream(chm) << "help";
    }
    void TearDown() override {
        SetHelpLauncher(std::move(saved));
        fs::remove_all(dir);
    }
    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TpgwHelpLauncher saved = SetHelpLauncher(nullptr);
    fs::path dir;
    std::string chm;
};

TEST_F(Help, TheDesktopHandlerGetsTheFileAndTheTopic) {
    std::string file, topic;
    SetHelpLauncher([&](const std::string& f, const std::string& t) {
        file = f;
        topic = t;
        return true;
    });
    EXPECT_TRUE(ShowHelpFile(chm + "::/preview.htm"));
    EXPECT_EQ(file, chm);
    EXPECT_EQ(topic, "/preview.htm");
    EXPECT_TRUE(Boxes().Boxes.empty());
}

TEST_F(Help, WithoutAViewerOrAFileTheUserIsTold) {
    SetHelpLauncher([](const std::string&, const std::string&) { return false; });
    EXPECT_FALSE(ShowHelpFile(chm));
    ASSERT_EQ(Boxes().Boxes.size(), 1u);
    EXPECT_NE(Boxes().Boxes[0].Text.find("no viewer"), std::string::npos);
    EXPECT_FALSE(ShowHelpFile((dir / "missing.chm").string() + "::/a.htm"));
    ASSERT_EQ(Boxes().Boxes.size(), 2u);
    EXPECT_NE(Boxes().Boxes[1].Text.find("not installed"), std::string::npos);
}

// The default help launcher and the preview's link opener both hand their target to the
// desktop's handler, found on PATH.
TEST_F(Help, OpenWithDesktopStartsTheHandlerOnPathWithTheTarget) {
    const fs::path bin = dir / "bin", received = dir / "received";
    fs::create_directories(bin);
    std::ofstream(bin / "xdg-open")
        << "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" '" << received.string()
        << "'\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath ? oldPath : "";
    struct PathBack {
        const std::string& path;
        ~PathBack() { setenv("PATH", path.c_str(), 1); }
    } pathBack{saved};

    setenv("PATH", (dir / "empty").string().c_str(), 1);
    EXPECT_FALSE(OpenWithDesktop(chm));

    setenv("PATH", ("/nowhere:" + bin.string()).c_str(), 1);
    ASSERT_TRUE(OpenWithDesktop(chm + " two words"));
    for (int i = 0; i < 250 && !fs::exists(received); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream in(received);
    const std::string argument((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(argument, chm + " two words");
}

TEST(FileUtils, RemoveFolderTreeTakesEverythingAndNotWhatLinksPointAt) {
    const fs::path root = fs::temp_directory_path() / ("rc_tree_" + std::to_string(::getpid()));
    const fs::path outside = root.string() + "_outside";
    fs::create_directories(root / "a" / "b" / "c");
    fs::create_directories(outside);
    std::ofstream((root / "a" / "b" / "c" / "f.txt").string()) << "x";
    std::ofstream((root / "g.txt").string()) << "y";
    std::ofstream((outside / "keep.txt").string()) << "z";
    fs::create_directory_symlink(outside, root / "a" / "link");
    RemoveFolderTree(root.string());
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    RemoveFolderTree(root.string()); // missing: nothing
    fs::remove_all(outside);
}

TEST(FileUtils, MimeTypeByExtension) {
    const std::string table = "# comment\n"
                              "application/pdf\t\t\t\tpdf\n"
                              "image/jpeg jpeg jpg jpe\r\n"
                              "text/plain txt\n";
    EXPECT_EQ(LookupMimeTypeIn(table, ".PDF"), "application/pdf");
    EXPECT_EQ(LookupMimeTypeIn(table, "jpg"), "image/jpeg");
    EXPECT_EQ(LookupMimeTypeIn(table, ".xyz"), "");
    EXPECT_EQ(LookupMimeTypeIn(table, "."), "");
}

TEST(ErrorReporting, FollowsTheReportsSilentMode) {
    RegisterReportDoubles();
    TScopedReporter scope(std::make_unique<TRecordingReporter>());
    TpgwReport report(nullptr);
    ReportError(&report, "broken");
    ASSERT_EQ(Boxes().Boxes.size(), 1u);
    EXPECT_EQ(Boxes().Boxes[0].Caption, GetResources().GetText("mbError"));
    report.EngineOptions()->SetNewSilentMode(simSilent);
    ReportError(&report, "broken");
    EXPECT_EQ(Boxes().Boxes.size(), 1u);
    report.EngineOptions()->SetNewSilentMode(simReThrow);
    EXPECT_THROW(ReportError(&report, "broken"), Exception);
    Boxes().QueueAnswer(mrYes);
    EXPECT_EQ(ShowConfirmMessage("Sure?", MB_YESNO), IDYES);
    EXPECT_EQ(Boxes().Boxes.back().Icon, mtConfirmation);
}

TEST(ComponentPaths, FindAndNameComponents) {
    RegisterReportDoubles();
    TComponent form(nullptr);
    form.SetName("MainForm");
    auto* report = new TpgwReport(&form);
    auto* local = new TComponent(report);
    local->SetName("Local");
    auto* onForm = new TComponent(&form);
    onForm->SetName("Query1");
    TComponent module(nullptr);
    module.SetName("DataModule1");
    auto* frame = new TComponent(&module);
    frame->SetName("Frame1");
    auto* inFrame = new TComponent(frame);
    inFrame->SetName("Table1");
    auto* inModule = new TComponent(&module);
    inModule->SetName("Connection");
    SetGlobalComponentLookup([&](std::string_view name) -> TComponent* {
        if (name == "Broken") throw Exception("lookup failed");
        return name == "DataModule1" ? &module : nullptr;
    });
    EXPECT_EQ(FindComponentByPath(report, "Local"), local);
    EXPECT_EQ(FindComponentByPath(report, "Query1"), onForm) << "the report's owner's component";
    EXPECT_EQ(FindComponentByPath(report, "DataModule1.Connection"), inModule);
    EXPECT_EQ(FindComponentByPath(report, "DataModule1.Frame1.Table1"), inFrame);
    EXPECT_EQ(FindComponentByPath(report, "DataModule1.Nothing"), nullptr);
    EXPECT_EQ(FindComponentByPath(report, "Nowhere.Connection"), nullptr);
    EXPECT_THROW(FindComponentByPath(report, "Broken.X"), EClassNotFound);
    EXPECT_EQ(ComponentReferenceName(report, local), "Local");
    EXPECT_EQ(ComponentReferenceName(report, onForm), "Query1");
    EXPECT_EQ(ComponentReferenceName(report, inFrame), "");
    SetGlobalComponentLookup(nullptr);
}

} // namespace

namespace {

TEST(Pictures, DrawGraphicStretchesDirectlyOrThroughABitmap) {
    TBitmap source(2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            source.ScanLine(y)[x] = 0xFFFF0000u;
    for (bool viaBitmap : {false, true}) {
        SCOPED_TRACE(viaBitmap);
        TBitmap target(8, 8);
        DrawGraphic(target.Canvas(), TRect{2, 2, 6, 6}, source, viaBitmap);
        EXPECT_EQ(target.ScanLine(4)[4] & 0xFFFFFFu, 0xFF0000u);
        EXPECT_EQ(target.ScanLine(0)[0] & 0xFFFFFFu, 0xFFFFFFu);
        EXPECT_EQ(target.ScanLine(7)[7] & 0xFFFFFFu, 0xFFFFFFu);
    }
}

} // namespace

namespace {

TEST(SharedParent, ShutdownTakesTheControlsOffBeforeFreeingTheForm) {
    TForm* parent = SharedParentForm();
    EXPECT_EQ(SharedParentForm(), parent);
    EXPECT_FALSE(parent->Visible());
    TEdit edit(nullptr);
    edit.SetParent(parent);
    ObjectModelShutdown();
    EXPECT_EQ(edit.Parent(), nullptr);
    EXPECT_NE(SharedParentForm(), nullptr) << "made again on the next use";
    ObjectModelShutdown();
}

} // namespace
