// Dot-matrix reports through the engine and the prepared-page file: room for a memo's bottom
// frame line, and the printer styles and commands kept on prepared pages.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "engine/tests/engine_fixture.h"
#include "platform/core/files.h"
#include "report/dmp_class.h"

namespace {

class DotMatrixEngine : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        MakePage();
    }
    // A dot-matrix page with one stretching band of one record.
    void MakePage() {
        page = new TpgwDMPPage(report.get());
        page->SetName("Page1");
        band = new TpgwMasterData(page);
        band->SetName("MasterData1");
        band->SetRowCount(1);
        band->SetStretched(true);
        band->SetBounds(0, 0, 700, 17);
    }

    TpgwDMPMemoView* Memo(const char* name, double left, const char16_t* text, bool bottomLine) {
        auto* memo = new TpgwDMPMemoView(band);
        memo->SetName(name);
        memo->SetBounds(left, 0, 96, 17);
        memo->Memo()->SetText(text);
        if (bottomLine) memo->Frame()->SetTyp(FrameSide(ftBottom));
        memo->SetStretchMode(smActualHeight);
        return memo;
    }

    TpgwComponent* PreparedBand() {
        TpgwComponent* prepared = Store().GetPage(0);
        return prepared ? prepared->FindObject("MasterData1") : nullptr;
    }

    TpgwDMPPage* page = nullptr;
    TpgwMasterData* band = nullptr;
};

} // namespace

TEST_F(DotMatrixEngine, BottomFrameLineTakesARowOfItsOwn) {
    struct Case {
        const char* what;
        bool lowestFramed;
        bool maxFramed;
        double extraBand; // cells below the lowest memo
        double maxShort;  // cells the max-height memo stops short
    };
    const Case cases[] = {
        {"framed lowest memo and framed max memo", true, true, 1, 1},
        {"framed lowest memo only", true, false, 1, 0},
        {"no bottom frames", false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        report = std::make_unique<TpgwReport>(nullptr);
        MakePage();
        Memo("Lowest", 0, u"one\r\ntwo\r\nthree", c.lowestFramed);
        TpgwDMPMemoView* max = Memo("Max", 192, u"x", c.maxFramed);
        max->SetStretchMode(smMaxHeight);
        ASSERT_TRUE(Prepare()) << report->Errors().Text();
        TpgwComponent* prepared = PreparedBand();
        ASSERT_TRUE(prepared);
        auto* preparedLowest = prepared->FindObject("Lowest");
        auto* preparedMax = prepared->FindObject("Max");
        ASSERT_TRUE(preparedLowest && preparedMax);
        const double text = preparedLowest->Height();
        EXPECT_GE(text, 3 * pg1CharY) << "three lines";
        EXPECT_NEAR(prepared->Height(), text + c.extraBand * pg1CharY, 1e-9);
        EXPECT_NEAR(preparedMax->Height(), prepared->Height() - c.maxShort * pg1CharY, 1e-9);
    }
}

TEST_F(DotMatrixEngine, PreparedPagesKeepStylesAndCommands) {
    TpgwDMPMemoView* memo = Memo("Styled", 0, u"bold wide", false);
    memo->SetFontStyle(DMPStyle(fsxBold) | DMPStyle(fsxWide));
    auto* command = new TpgwDMPCommand(band);
    command->SetName("Cmd");
    command->SetCommand("\x1b"
                        "E<&>");
    ASSERT_TRUE(Prepare()) << report->Errors().Text();

    const std::string path = GetTempDir() + "/lumetra_dmp_" + std::to_string(::getpid()) + ".pp3";
    Store().SaveToFile(path);
    TpgwReport fresh(nullptr);
    auto& loaded = *static_cast<TpgwPreviewPages*>(fresh.PreviewPages());
    ASSERT_TRUE(loaded.LoadFromFile(path, false));
    std::remove(path.c_str());
    TpgwComponent* prepared = loaded.GetPage(0);
    ASSERT_TRUE(prepared);
    EXPECT_TRUE(dynamic_cast<TpgwDMPPage*>(prepared)) << prepared->ClassName();
    auto* styled = dynamic_cast<TpgwDMPMemoView*>(prepared->FindObject("Styled"));
    ASSERT_TRUE(styled);
    EXPECT_EQ(styled->FontStyle(), DMPStyle(fsxBold) | DMPStyle(fsxWide));
    EXPECT_TRUE(styled->Font()->Style().Contains(fsBold));
    auto* loadedCommand = dynamic_cast<TpgwDMPCommand*>(prepared->FindObject("Cmd"));
    ASSERT_TRUE(loadedCommand);
    EXPECT_EQ(loadedCommand->Command(), "\x1b"
                                        "E<&>");
}
