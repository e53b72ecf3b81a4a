// The page-settings dialog shown modally offscreen: the designer's units, what choosing a paper
// or turning the page shows (without touching the printers), and what OK leaves in the page,
// all of it or nothing.

#include "engine/page_settings_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/printers.h"
#include "engine/tests/modal_steps.h"
#include "platform/core/ini_file.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/print/recording_print_backend.h"
#include "platform/ui/application.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

using Step = std::function<void(TpgwPageSettingsForm&)>;

// Office: A4, A5 and a label the paper table lacks (100 x 150 mm).
std::unique_ptr<TPrintBackend> officePrinter() {
    auto backend = std::make_unique<TRecordingPrintBackend>();
    TRecordedPrinterSetup setup;
    setup.Name = "Office";
    setup.Capabilities = StandardRecordedCapabilities();
    setup.Capabilities.Papers = {
        {9, "A4", 210, 297}, {11, "A5", 148, 210}, {300, "Label", 100, 150}};
    backend->AddPrinter(std::move(setup));
    return backend;
}

class PageSettings : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->ResetTerminated();
        report.SetIniFile(dir / "settings.ini");
        page.SetLeftMargin(10);
        page.SetTopMargin(10);
        page.SetRightMargin(10);
        page.SetBottomMargin(10);
    }
    void TearDown() override { Application()->ProcessMessages(); }

    void setUnits(int units) {
        report.OpenIniFile()->WriteInteger("Form.TpgwDesignerForm", "Units", units);
    }
    void customPage(double width, double height) {
        page.SetPaperWidth(width);
        page.SetPaperHeight(height);
    }

    // Each step runs from the dialog's own event loop, one after the other.
    TModalResult show(std::vector<Step> steps) {
        dialog = std::make_unique<TpgwPageSettingsForm>(nullptr);
        dialog->Page = &page;
        dialog->Report = &report;
        QueueModalSteps(dialog.get(), std::move(steps), 0);
        const TModalResult result = dialog->ShowModal();
        Application()->ProcessMessages();
        return result;
    }
    static void pick(TComboBox* list, int index) {
        list->SetItemIndex(index);
        list->Selected();
    }
    static int pickPaper(TpgwPageSettingsForm& d, int code) {
        for (std::size_t i = 0; i < d.PaperCodes().size(); ++i)
            if (d.PaperCodes()[i] == code) {
                pick(d.SizeCB, static_cast<int>(i));
                return static_cast<int>(i);
            }
        ADD_FAILURE() << "paper " << code << " is not listed";
        return -1;
    }
    static std::vector<std::string> sizeBoxes(const TpgwPageSettingsForm& d) {
        return {d.WidthE->Text(), d.HeightE->Text()};
    }
    static void ok(TpgwPageSettingsForm& d) { d.OKB->Click(); }
    static void cancel(TpgwPageSettingsForm& d) { d.CancelB->Click(); }

    struct PageState {
        TPrinterOrientation Orientation;
        int PaperSize;
        double Width, Height, Left, Top, Right, Bottom;
        friend bool operator==(const PageState&, const PageState&) = default;
    };
    PageState state() const {
        return {page.Orientation(), page.PaperSize(), page.PaperWidth(),  page.PaperHeight(),
                page.LeftMargin(),  page.TopMargin(), page.RightMargin(), page.BottomMargin()};
    }

    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& boxes = static_cast<TRecordingReporter&>(MessageReporter());
    TpgwScopedPrinters printers{std::unique_ptr<TPrintBackend>()};
    TempDir dir;
    TpgwReport report{nullptr};
    TpgwReportPage page{nullptr};
    std::unique_ptr<TpgwPageSettingsForm> dialog;
};

TEST_F(PageSettings, ShowsThePageInTheDesignersUnits) {
    struct Case {
        const char* name;
        int units; // -1: not stored
        std::string width, height, margin, unit;
    };
    const Case cases[] = {
        {"nothing stored", -1, "21", "29.70", "1", "cm"},
        {"centimetres", 0, "21", "29.70", "1", "cm"},
        {"inches", 1, "8.27", "11.69", "0.39", "in"},
        {"pixels", 2, "21", "29.70", "1", "cm"},
        {"characters", 3, "21", "29.70", "1", "cm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.units >= 0) setUnits(c.units);
        const PageState before = state();
        show({[&](TpgwPageSettingsForm& d) {
            EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{c.width, c.height}));
            for (TEdit* margin : {d.MarginLeftE, d.MarginTopE, d.MarginRightE, d.MarginBottomE})
                EXPECT_EQ(margin->Text(), c.margin);
            for (TLabel* unit : {d.UnitL1, d.UnitL2, d.UnitL3, d.UnitL4, d.UnitL5, d.UnitL6})
                EXPECT_EQ(unit->Caption(), c.unit);
            EXPECT_EQ(d.PaperCodes()[static_cast<std::size_t>(d.SizeCB->ItemIndex())], 9);
            EXPECT_TRUE(d.PortraitRB->Checked());
            EXPECT_TRUE(d.PortraitImg->Visible());
            EXPECT_FALSE(d.LandscapeImg->Visible());
            EXPECT_FALSE(d.ApplyToAll());
            cancel(d);
        }});
        EXPECT_EQ(state(), before) << "Cancel leaves the page alone";
    }
}

TEST_F(PageSettings, TypingASizeChoosesTheUserDefinedPaper) {
    setUnits(1);
    show({[](TpgwPageSettingsForm& d) {
        ASSERT_GT(d.SizeCB->ItemIndex(), 0);
        EXPECT_EQ(d.SizeCB->Items().Strings(0), GetResources().GetText("prCustom"));
        d.WidthE->SetText("5");
        EXPECT_EQ(d.SizeCB->ItemIndex(), 0);
        d.HeightE->SetText("7,5"); // a comma reads as the decimal point
        d.ApplyToAllRB->SetChecked(true);
        ok(d);
    }});
    EXPECT_TRUE(dialog->ApplyToAll());
    EXPECT_EQ(page.PaperSize(), kCustomPaperSize);
    EXPECT_DOUBLE_EQ(page.PaperWidth(), 127);
    EXPECT_DOUBLE_EQ(page.PaperHeight(), 190.5);
    EXPECT_EQ(page.LeftMargin(), 10);
}

TEST_F(PageSettings, BoxesLeftAloneKeepTheirExactMillimetres) {
    // 100 mm shows as 3.94 in; read back from the text it would be 100.076 mm.
    setUnits(1);
    customPage(100, 200);
    page.SetLeftMargin(12.5);
    const PageState before = state();
    show({[](TpgwPageSettingsForm& d) {
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"3.94", "7.87"}));
        ok(d);
    }});
    EXPECT_EQ(state(), before);
}

TEST_F(PageSettings, TurningAUserDefinedPageExchangesItsSides) {
    customPage(100, 200);
    show({[](TpgwPageSettingsForm& d) {
        ASSERT_EQ(d.SizeCB->ItemIndex(), 0);
        d.LandscapeRB->SetChecked(true);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"20", "10"}));
        EXPECT_TRUE(d.LandscapeImg->Visible());
        EXPECT_FALSE(d.PortraitImg->Visible());
        // Choosing the user-defined entry again keeps the sides as they are.
        pick(d.SizeCB, 0);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"20", "10"}));
        d.PortraitRB->SetChecked(true);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"10", "20"}));
        d.LandscapeRB->SetChecked(true);
        ok(d);
    }});
    EXPECT_EQ(page.Orientation(), poLandscape);
    EXPECT_EQ(page.PaperSize(), kCustomPaperSize);
    EXPECT_EQ(page.PaperWidth(), 200);
    EXPECT_EQ(page.PaperHeight(), 100);
}

TEST_F(PageSettings, ChoosingAPaperLeavesThePrinterAsItWas) {
    TpgwScopedPrinters office{officePrinter()};
    TpgwCustomPrinter* printer = GetPrinters()->Printer();
    ASSERT_NE(printer, nullptr);
    ASSERT_EQ(printer->Name(), "Office");
    const auto printerState = [printer] {
        return std::vector<double>{double(printer->Paper()), printer->PaperWidth(),
                                   printer->PaperHeight(), double(printer->Orientation())};
    };
    const std::vector<double> before = printerState();
    customPage(100, 100);
    show({[&](TpgwPageSettingsForm& d) {
        ASSERT_EQ(d.SizeCB->Items().Count(), 4);
        pickPaper(d, 11);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"14.80", "21"}));
        d.LandscapeRB->SetChecked(true);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"21", "14.80"}));
        pickPaper(d, 9);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"29.70", "21"}));
        // The driver's own paper is known from the printer's paper list.
        pickPaper(d, 300);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"15", "10"}));
        EXPECT_EQ(printerState(), before);
        d.PortraitRB->SetChecked(true);
        ok(d);
    }});
    EXPECT_EQ(printerState(), before);
    EXPECT_EQ(page.PaperSize(), 300);
    EXPECT_EQ(page.PaperWidth(), 100);
    EXPECT_EQ(page.PaperHeight(), 150);

    // A paper of the table takes the table's size, in the page's orientation.
    show({[&](TpgwPageSettingsForm& d) {
        EXPECT_EQ(d.PaperCodes()[static_cast<std::size_t>(d.SizeCB->ItemIndex())], 300);
        d.LandscapeRB->SetChecked(true);
        pickPaper(d, 11);
        ok(d);
    }});
    EXPECT_EQ(printerState(), before);
    EXPECT_EQ(page.PaperSize(), 11);
    EXPECT_EQ(page.Orientation(), poLandscape);
    EXPECT_EQ(page.PaperWidth(), 210);
    EXPECT_EQ(page.PaperHeight(), 148);
}

TEST_F(PageSettings, ThePaperOfAPrinterThatLacksItShowsAsUserDefined) {
    TpgwScopedPrinters office{officePrinter()};
    page.SetPaperSize(8); // A3
    show({[](TpgwPageSettingsForm& d) {
        EXPECT_EQ(d.SizeCB->ItemIndex(), 0);
        EXPECT_EQ(sizeBoxes(d), (std::vector<std::string>{"29.70", "42"}));
        ok(d);
    }});
    EXPECT_EQ(page.PaperSize(), kCustomPaperSize);
    EXPECT_EQ(page.PaperWidth(), 297);
    EXPECT_EQ(page.PaperHeight(), 420);
}

TEST_F(PageSettings, ABadBoxKeepsTheDialogOpenAndThePageUntouched) {
    struct Case {
        const char* name;
        TEdit* TpgwPageSettingsForm::*box;
        const char* typed;
        std::string message;
    };
    const Case cases[] = {
        {"letters in a margin", &TpgwPageSettingsForm::MarginBottomE, "1cm",
         "'1cm' is not a valid floating point value."},
        {"empty width", &TpgwPageSettingsForm::WidthE, "",
         "'' is not a valid floating point value."},
        {"zero height", &TpgwPageSettingsForm::HeightE, "0",
         "The paper width and height must be above 0."},
        {"negative margin", &TpgwPageSettingsForm::MarginLeftE, "-1",
         "The margins must not be below 0."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Boxes.clear();
        customPage(100, 200);
        const PageState before = state();
        const TModalResult result = show({[&](TpgwPageSettingsForm& d) {
                                              // Everything before the bad box would be applied
                                              // first.
                                              d.LandscapeRB->SetChecked(true);
                                              d.WidthE->SetText("30");
                                              (d.*c.box)->SetText(c.typed);
                                              ok(d);
                                          },
                                          [&](TpgwPageSettingsForm& d) {
                                              EXPECT_TRUE(d.Visible());
                                              ASSERT_EQ(boxes.Boxes.size(), 1u);
                                              EXPECT_EQ(boxes.Boxes[0].Text, c.message);
                                              EXPECT_EQ(boxes.Boxes[0].Icon, mtError);
                                              EXPECT_EQ(state(), before);
                                              (d.*c.box)->SetText("2");
                                              ok(d);
                                          }});
        EXPECT_EQ(result, mrOk);
        EXPECT_EQ(page.Orientation(), poLandscape);
        EXPECT_EQ(boxes.Boxes.size(), 1u);
        page.SetOrientation(poPortrait);
    }
}

TEST_F(PageSettings, WithoutAReportTheBoxesShowCentimetres) {
    setUnits(1);
    dialog = std::make_unique<TpgwPageSettingsForm>(nullptr);
    dialog->Page = &page;
    QueueModalSteps(dialog.get(), {[](TpgwPageSettingsForm& d) {
                        EXPECT_EQ(d.Units(), 0);
                        EXPECT_EQ(d.WidthE->Text(), "21");
                        cancel(d);
                    }},
                    0);
    dialog->ShowModal();
}

} // namespace
