// The print dialog shown modally offscreen over recorded printers: what it starts from, what a
// printer or mode change does to the sheet list, and what OK, Cancel and the file dialog leave in
// the print options and the printer layer.

#include "engine/print_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/page_output.h"
#include "engine/printer_properties_dialog.h"
#include "engine/printers.h"
#include "engine/tests/modal_steps.h"
#include "platform/print/recording_print_backend.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/abstract_bases.h"
#include "report/options.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

TPrintPaper paper(int code, const std::string& name = {}) {
    if (const TPaperSizeInfo* row = FindPaperSizeInfo(code))
        return {code, name.empty() ? row->Name : name, row->Width / 10.0, row->Height / 10.0};
    return {code, name, 100, 100};
}

TRecordedPrinterSetup printer(const std::string& name, std::vector<TPrintPaper> papers) {
    TRecordedPrinterSetup setup;
    setup.Name = name;
    setup.Capabilities = StandardRecordedCapabilities();
    setup.Capabilities.Papers = std::move(papers);
    return setup;
}

// Office (the default: A4, A5, A3, Letter), Plotter (A3, A5), Labels (no A4; two label
// sizes the paper table lacks, both under the driver's one name "Label").
std::unique_ptr<TPrintBackend> threePrinters() {
    auto backend = std::make_unique<TRecordingPrintBackend>();
    backend->AddPrinter(printer("Office", {paper(9), paper(11), paper(8), paper(1)}));
    backend->AddPrinter(printer("Plotter", {paper(8), paper(11)}));
    backend->AddPrinter(printer("Labels", {paper(300, "Label"), paper(301, "Label")}));
    return backend;
}

class PrintDialog : public ::testing::Test {
protected:
    void SetUp() override { Application()->ResetTerminated(); }
    void TearDown() override { Application()->ProcessMessages(); }

    // Shows the dialog; each step runs from the dialog's own event loop, one after the other,
    // so the dialog can react (or close) between two steps.
    TModalResult show(std::vector<std::function<void(TpgwPrintDialog&)>> steps) {
        dialog = std::make_unique<TpgwPrintDialog>(nullptr);
        dialog->Report = &report;
        dialog->Duplex = duplex;
        QueueModalSteps(dialog.get(), std::move(steps), 0);
        const TModalResult result = dialog->ShowModal();
        duplex = dialog->Duplex;
        // Steps left over find the dialog closed and do nothing.
        Application()->ProcessMessages();
        return result;
    }
    static void pick(TComboBox* list, int index) {
        list->SetItemIndex(index);
        list->Selected();
    }
    static std::string sheetText(const TpgwPrintDialog& d) {
        const int i = d.PagPageSizeCB->ItemIndex();
        return i < 0 ? std::string("<none>") : d.PagPageSizeCB->Items().Strings(i);
    }
    static int sheetCode(const TpgwPrintDialog& d) {
        const int i = d.PagPageSizeCB->ItemIndex();
        return i < 0 ? -1 : d.SheetCodes()[static_cast<std::size_t>(i)];
    }
    static void ok(TpgwPrintDialog& d) { d.OkB->Click(); }
    static void cancel(TpgwPrintDialog& d) { d.CancelB->Click(); }
    TpgwPrintOptions& options() { return *report.PrintOptions(); }
    TpgwCustomPrinter* current() { return GetPrinters()->Printer(); }

    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& boxes = static_cast<TRecordingReporter&>(MessageReporter());
    TpgwScopedPrinters printers{threePrinters()};
    TpgwReport report{nullptr};
    std::unique_ptr<TpgwPrintDialog> dialog;
    int duplex = 0;
};

TEST_F(PrintDialog, StartsFromThePrintOptionsAndOkWritesThemBack) {
    options().SetCopies(4);
    options().SetCollate(false);
    options().SetPageNumbers("2-5");
    options().SetSwapPageSize(true);
    options().SetPrintPages(ppEven);
    options().SetReverse(true);
    options().SetPrintMode(pmJoin);
    options().SetPrintOnSheet(11);
    duplex = 2;
    const TModalResult result = show({[](TpgwPrintDialog& d) {
        EXPECT_EQ(d.CopiesE->Text(), "4");
        EXPECT_FALSE(d.CollateCB->Checked());
        EXPECT_TRUE(d.PageNumbersRB->Checked());
        EXPECT_EQ(d.PageNumbersE->Text(), "2-5");
        EXPECT_TRUE(d.SwapCB->Checked());
        EXPECT_EQ(d.PrintPagesCB->ItemIndex(), 2);
        EXPECT_EQ(d.OrderCB->ItemIndex(), 1);
        EXPECT_EQ(d.PrintModeCB->ItemIndex(), 2);
        EXPECT_EQ(d.DuplexCB->ItemIndex(), 2);
        EXPECT_TRUE(d.PagPageSizeCB->Enabled());
        EXPECT_EQ(sheetText(d), "A5");
        ok(d);
    }});
    ASSERT_EQ(result, mrOk);
    EXPECT_EQ(options().Copies(), 4);
    EXPECT_FALSE(options().Collate());
    EXPECT_EQ(options().PageNumbers(), "2-5");
    EXPECT_TRUE(options().SwapPageSize());
    EXPECT_EQ(options().PrintPages(), ppEven);
    EXPECT_TRUE(options().Reverse());
    EXPECT_EQ(options().PrintMode(), pmJoin);
    EXPECT_EQ(options().PrintOnSheet(), 11);
    EXPECT_EQ(duplex, 2);
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(PrintDialog, CancelRestoresTheFirstPrinterAfterManyChanges) {
    ASSERT_EQ(GetPrinters()->PrinterIndex(), 0);
    options().SetCopies(2);
    const TModalResult result = show({[&](TpgwPrintDialog& d) {
        for (int index : {1, 2, 1, 2}) {
            pick(d.PrintersCB, index);
            // The choice takes effect at once.
            EXPECT_EQ(GetPrinters()->PrinterIndex(), index);
        }
        d.CopiesE->SetText("9");
        cancel(d);
    }});
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(GetPrinters()->PrinterIndex(), 0);
    EXPECT_EQ(current()->Name(), "Office");
    EXPECT_EQ(options().Copies(), 2) << "Cancel leaves the options alone";
}

TEST_F(PrintDialog, TheDefaultModeGreysTheSheetListAndSplitChoosesA4) {
    options().SetPrintMode(pmDefault);
    show({[&](TpgwPrintDialog& d) {
              EXPECT_FALSE(d.PagPageSizeCB->Enabled());
              EXPECT_EQ(sheetText(d), GetResources().GetText("pgDefault"));
              EXPECT_EQ(sheetText(d), "默认");
              pick(d.PrintModeCB, pmSplit);
              EXPECT_TRUE(d.PagPageSizeCB->Enabled());
              EXPECT_EQ(sheetCode(d), 9);
              // Back to the default mode: the list greys and forgets the sheet.
              pick(d.PrintModeCB, pmDefault);
              EXPECT_FALSE(d.PagPageSizeCB->Enabled());
              EXPECT_EQ(d.PagPageSizeCB->ItemIndex(), 0);
              pick(d.PrintModeCB, pmScale);
          },
          ok});
    EXPECT_EQ(options().PrintMode(), pmScale);
    EXPECT_EQ(options().PrintOnSheet(), 9);
}

TEST_F(PrintDialog, TheDefaultSheetStoresTheUserDefinedCode) {
    options().SetPrintMode(pmDefault);
    options().SetPrintOnSheet(9);
    show({ok});
    EXPECT_EQ(options().PrintOnSheet(), kCustomPaperSize);
}

TEST_F(PrintDialog, ASheetStaysAcrossPrintersByItsCodeElseTheDefault) {
    options().SetPrintMode(pmSplit);
    options().SetPrintOnSheet(11);
    show({[&](TpgwPrintDialog& d) {
        ASSERT_EQ(sheetCode(d), 11);
        pick(d.PrintersCB, 1); // Plotter lists A5 at another place
        EXPECT_EQ(sheetCode(d), 11);
        EXPECT_EQ(sheetText(d), "A5");
        pick(d.PrintersCB, 2); // Labels has no A5
        EXPECT_EQ(d.PagPageSizeCB->ItemIndex(), 0);
        EXPECT_EQ(sheetText(d), "默认");
        pick(d.PrintersCB, 0); // the default is remembered as none, not as A5
        EXPECT_EQ(d.PagPageSizeCB->ItemIndex(), 0);
        ok(d);
    }});
    EXPECT_EQ(options().PrintOnSheet(), kCustomPaperSize);
}

TEST_F(PrintDialog, TheSheetIsStoredByItsCodeNotByItsName) {
    options().SetPrintMode(pmScale);
    show({[&](TpgwPrintDialog& d) {
        pick(d.PrintersCB, 2);
        // Labels has no A4: switching the mode found nothing to select.
        pick(d.PrintModeCB, pmDefault);
        pick(d.PrintModeCB, pmSplit);
        EXPECT_EQ(d.PagPageSizeCB->ItemIndex(), -1);
        // Both labels are named "Label"; the second is chosen.
        ASSERT_EQ(d.PagPageSizeCB->Items().Count(), 3);
        pick(d.PagPageSizeCB, 2);
        ok(d);
    }});
    EXPECT_EQ(options().PrintOnSheet(), 301);
    EXPECT_EQ(current()->Name(), "Labels") << "OK keeps the printer chosen";
}

TEST_F(PrintDialog, ThePropertiesDuplexBecomesTheDuplexChoice) {
    struct Case {
        bool confirmed;
        int duplexCode;
        int expected;
    };
    // The printer keeps a confirmed choice until its next document, so the cases build on
    // each other: a refused dialog first.
    const Case cases[] = {{false, DMDUP_HORIZONTAL, 0},
                          {true, DMDUP_HORIZONTAL, 2},
                          {true, DMDUP_VERTICAL, 1},
                          {true, DMDUP_SIMPLEX, 3}};
    for (const Case& c : cases) {
        const TpgwPrinterPropertiesHandler old =
            SetPrinterPropertiesHandler([&](TpgwPrinterPropertiesRequest& request) {
                request.Duplex = c.duplexCode;
                return c.confirmed;
            });
        duplex = 0;
        show({[&](TpgwPrintDialog& d) {
            d.PropButton->Click();
            EXPECT_EQ(d.DuplexCB->ItemIndex(), c.expected) << c.duplexCode;
            ok(d);
        }});
        EXPECT_EQ(duplex, c.expected) << c.duplexCode;
        SetPrinterPropertiesHandler(old);
    }
}

// The preview shows page 7.
class PageSevenPreview : public TpgwCustomPreview, public TpgwPreviewNavigation {
public:
    PageSevenPreview() : TpgwCustomPreview(nullptr) {}
    void Init() override {}
    void Lock() override {}
    void Unlock() override {}
    void RefreshReport() override {}
    void StartProgress(TObject*, int, int) override {}
    void StepProgress(TObject*, int, int) override {}
    void StopProgress(TObject*, int, int) override {}
    int PageNo() const override { return 7; }
    void SetPageNo(int) override {}
    void SetPosition(int, int) override {}
    bool UseReportHints() const override { return false; }
    void HideMessage() override {}
};

TEST_F(PrintDialog, TheRangeChoiceBecomesThePageList) {
    PageSevenPreview preview;
    report.SetPreview(&preview);
    struct Case {
        const char* name;
        std::function<void(TpgwPrintDialog&)> choose;
        std::string expected;
    };
    const Case cases[] = {
        {"all pages", [](TpgwPrintDialog& d) { d.AllRB->SetChecked(true); }, ""},
        {"current page", [](TpgwPrintDialog& d) { d.CurPageRB->SetChecked(true); }, "7"},
        // Stored as typed: the print run checks it.
        {"typed list",
         [](TpgwPrintDialog& d) {
             d.PageNumbersE->SetText("1,3-x");
             d.PageNumbersRB->SetChecked(true);
         },
         "1,3-x"},
    };
    for (const Case& c : cases) {
        options().SetPageNumbers("4");
        // A page list on show moves the focus to it (which checks its button again); the
        // user chooses once the focus has arrived.
        show({[](TpgwPrintDialog& d) { EXPECT_TRUE(d.PageNumbersRB->Checked()); }, c.choose, ok});
        EXPECT_EQ(options().PageNumbers(), c.expected) << c.name;
    }
    report.SetPreview(nullptr);
}

TEST_F(PrintDialog, EnteringThePageListChecksItsButton) {
    show({[](TpgwPrintDialog& d) {
              ASSERT_TRUE(d.AllRB->Checked());
              d.PageNumbersE->SetFocus();
          },
          [](TpgwPrintDialog& d) {
              EXPECT_TRUE(d.PageNumbersRB->Checked());
              cancel(d);
          }});
}

TEST_F(PrintDialog, PrintToFileStoresAPrnName) {
    TRecordingReporter::DialogAnswer answer;
    answer.Confirmed = true;
    answer.FileName = "/tmp/reports/out.txt";
    boxes.QueueDialogAnswer(answer);
    const TModalResult result = show({[](TpgwPrintDialog& d) {
        d.FileCB->SetChecked(true);
        ok(d);
    }});
    ASSERT_EQ(result, mrOk);
    EXPECT_EQ(current()->FileName(), "/tmp/reports/out.prn");
    ASSERT_EQ(boxes.Dialogs.size(), 1u);
    EXPECT_EQ(boxes.Dialogs[0].Kind, TDialogKind::SaveFile);
    EXPECT_EQ(boxes.Dialogs[0].Title, GetResources().GetTextById(507));
    EXPECT_EQ(boxes.Dialogs[0].Filter, GetResources().GetTextById(510));

    // Without the box the name of an earlier run is dropped.
    show({ok});
    EXPECT_EQ(current()->FileName(), "");
}

TEST_F(PrintDialog, ACancelledFileDialogCancelsTheWholeDialog) {
    options().SetCopies(1);
    const TModalResult result = show({[](TpgwPrintDialog& d) {
        pick(d.PrintersCB, 1);
        d.CopiesE->SetText("3");
        d.FileCB->SetChecked(true);
        ok(d); // the file dialog is not answered: cancelled
    }});
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(boxes.Dialogs.size(), 1u);
    EXPECT_EQ(options().Copies(), 1);
    EXPECT_EQ(current()->Name(), "Office");
}

TEST_F(PrintDialog, AnEmptyOrZeroCopiesBoxKeepsTheDialogOpen) {
    for (const char* bad : {"", "0", "00"}) {
        boxes.Boxes.clear();
        const TModalResult result = show({[bad](TpgwPrintDialog& d) {
                                              d.CopiesE->SetText(bad);
                                              ok(d);
                                          },
                                          [&](TpgwPrintDialog& d) {
                                              EXPECT_TRUE(d.Visible()) << '"' << bad << '"';
                                              EXPECT_EQ(boxes.Boxes.size(), 1u);
                                              d.CopiesE->SetText("3");
                                              ok(d);
                                          }});
        EXPECT_EQ(result, mrOk) << '"' << bad << '"';
        EXPECT_EQ(options().Copies(), 3);
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Icon, mtError);
    }
}

TEST_F(PrintDialog, TheCopiesBoxTakesDigitsAndTheSpinnerStopsAtOne) {
    show({[](TpgwPrintDialog& d) {
        char16_t letter = u'x', digit = u'5', backspace = 8;
        d.CopiesE->OnKeyPress(d.CopiesE, letter);
        d.CopiesE->OnKeyPress(d.CopiesE, digit);
        d.CopiesE->OnKeyPress(d.CopiesE, backspace);
        EXPECT_EQ(letter, 0);
        EXPECT_EQ(digit, u'5');
        EXPECT_EQ(backspace, 8);
        d.CopiesE->SetText("2");
        d.CopiesDownB->Click();
        d.CopiesDownB->Click();
        EXPECT_EQ(d.CopiesE->Text(), "1");
        d.CopiesUpB->Click();
        EXPECT_EQ(d.CopiesE->Text(), "2");
        cancel(d);
    }});
}

TEST_F(PrintDialog, TheCollateBoxRedrawsTheCopiesPicture) {
    show({[](TpgwPrintDialog& d) {
        ASSERT_TRUE(d.CollateCB->Checked());
        const TRasterImage collated = d.CopiesPB->GrabImage();
        d.CollateCB->SetChecked(false);
        d.CopiesPB->Repaint();
        const TRasterImage uncollated = d.CopiesPB->GrabImage();
        ASSERT_FALSE(collated.IsEmpty());
        EXPECT_NE(collated.Pixels, uncollated.Pixels);
        d.CollateLClick(nullptr);
        d.CopiesPB->Repaint();
        EXPECT_EQ(d.CopiesPB->GrabImage().Pixels, collated.Pixels);
        cancel(d);
    }});
}

TEST_F(PrintDialog, ThePrintRunShowsItThroughItsHook) {
    InstallPrintDialog();
    const TpgwPrintDialogRunner runner = SetPrintDialogRunner(nullptr);
    ASSERT_TRUE(runner);
    Application()->QueueCall([] {
        // The runner's dialog belongs to the application.
        TpgwPrintDialog* d = nullptr;
        for (int i = 0; i < Application()->ComponentCount() && !d; ++i)
            d = dynamic_cast<TpgwPrintDialog*>(Application()->Components(i));
        if (!d) {
            ADD_FAILURE() << "no print dialog is active";
            Application()->Terminate();
            return;
        }
        EXPECT_EQ(d->DuplexCB->ItemIndex(), 1);
        d->DuplexCB->SetItemIndex(3);
        d->OkB->Click();
    });
    int shownDuplex = 1;
    EXPECT_TRUE(runner(report, shownDuplex));
    EXPECT_EQ(shownDuplex, 3);
}

} // namespace
