#include "engine/print_dialog.h"

#include <algorithm>
#include <memory>

#include "engine/dialog_building.h"
#include "engine/page_output.h"
#include "engine/printers.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/graphics/canvas.h"
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
#include "report/small_windows.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

std::string text(std::string_view key) {
    return GetResources().GetText(key);
}

// The copies box never reaches the print run without a count it can use.
constexpr const char* kBadCopiesMessage = "Enter a number of copies of 1 or more.";
constexpr int kMaxCopies = 9999;

TComboBox* list(TWinControl* parent, TComponent* owner, int left, int top, int width,
                std::initializer_list<std::string> items = {}) {
    auto* cb = PlaceControl<TComboBox>(parent, owner, left, top, width, 21);
    cb->SetStyle(csDropDownList);
    for (const std::string& item : items)
        cb->Items().Add(item);
    return cb;
}

// A sheet of the copies picture, its number in the corner that the next sheet leaves visible.
void drawSheet(TCanvas& c, int x, int y, int number) {
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    c.Rectangle(x, y, x + 16, y + 21);
    c.TextOut(x + 2, y + 1, IntToStr(number));
}

// Three pages printed twice, fanned out from left to right: collated as two sets 1-2-3, else
// as the pairs 1-1, 2-2, 3-3.
void drawCopiesPicture(TCanvas& c, bool collate) {
    constexpr int stepX = 10, stepY = 4;
    if (collate) {
        for (int set = 0; set < 2; ++set)
            for (int page = 0; page < 3; ++page)
                drawSheet(c, set * 50 + page * stepX, 4 + page * stepY, page + 1);
    } else {
        for (int page = 0; page < 3; ++page)
            for (int copy = 0; copy < 2; ++copy)
                drawSheet(c, page * 32 + copy * stepX, 4 + copy * stepY, page + 1);
    }
}

// The picture box of the copies group.
class TCopiesPicture : public TCustomControl {
public:
    TCopiesPicture(TComponent* owner, const TCheckBox* collate)
        : TCustomControl(owner), collate_(collate) {}

protected:
    void Paint() override {
        TCanvas& c = *Canvas();
        c.Brush().SetColor(ParentForm() ? ParentForm()->Color() : clBtnFace);
        c.FillRect(ClientRect());
        drawCopiesPicture(c, collate_->Checked());
    }

private:
    const TCheckBox* collate_;
};

// The page the preview shows, 1-based; 1 without a preview that says.
int currentPreviewPage(const TpgwReport& report) {
    if (auto* nav = dynamic_cast<TpgwPreviewNavigation*>(report.Preview())) return nav->PageNo();
    return 1;
}

} // namespace

TpgwPrintDialog::TpgwPrintDialog(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(557);
    SetClientHeight(350);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    buildControls();

    TpgwPrinters* printers = GetPrinters();
    for (const std::string& name : printers->Printers())
        PrintersCB->Items().Add(name);
    PrintersCB->SetItemIndex(printers->PrinterIndex());
    printerChanged();
    oldPrinterIndex_ = printers->PrinterIndex();

    OnShow = [this](TObject*) { formShow(); };
    // The hide handler runs while a modal show unwinds: nothing may escape it.
    OnHide = [this](TObject*) { SafeCall([this] { formHide(); }); };
    OpenHelpOnF1(*this, "TpgwPrintDialog");
}

TpgwPrintDialog::~TpgwPrintDialog() {
    OnShow = nullptr;
    OnHide = nullptr;
}

void TpgwPrintDialog::buildControls() {
    SetCaption(text(200));

    Label12 = PlaceControl<TGroupBox>(this, this, 8, 4, 541, 78);
    Label12->SetCaption(text(201));
    NameL = PlaceLabel(Label12, this, 12, 24, text(212));
    PrintersCB = list(Label12, this, 72, 20, 330);
    if (Screen().PixelsPerInch() > 96) PrintersCB->SetItemHeight(19);
    PrintersCB->OnChange = [this](TObject*) { printerChanged(); };
    PropButton = PlaceControl<TButton>(Label12, this, 416, 19, 113, 25);
    PropButton->SetCaption(text(209));
    PropButton->OnClick = [this](TObject*) { propertiesClick(); };
    WhereL = PlaceLabel(Label12, this, 12, 52, text(208));
    WhereL1 = PlaceLabel(Label12, this, 72, 52, "");
    FileCB = PlaceControl<TCheckBox>(Label12, this, 416, 51, 117, 17);
    FileCB->SetCaption(text(210));

    Label1 = PlaceControl<TGroupBox>(this, this, 8, 88, 265, 113);
    Label1->SetCaption(text(202));
    AllRB = PlaceControl<TRadioButton>(Label1, this, 12, 20, 240, 17);
    AllRB->SetCaption(text(3));
    CurPageRB = PlaceControl<TRadioButton>(Label1, this, 12, 40, 240, 17);
    CurPageRB->SetCaption(text(4));
    PageNumbersRB = PlaceControl<TRadioButton>(Label1, this, 12, 60, 72, 17);
    PageNumbersRB->SetCaption(text(5));
    PageNumbersE = PlaceControl<TEdit>(Label1, this, 88, 58, 165, 21);
    DescrL = new TLabel(this);
    DescrL->SetParent(Label1);
    DescrL->SetAutoSize(false);
    DescrL->SetWordWrap(true);
    DescrL->SetTransparent(true);
    DescrL->SetBounds(12, 82, 241, 28);
    DescrL->SetCaption(text(9));
    AllRB->SetChecked(true);
    PageNumbersE->OnEnter = [this](TObject*) { PageNumbersRB->SetChecked(true); };
    PageNumbersRB->OnClick = [this](TObject*) {
        if (Visible() && PageNumbersE->CanFocus()) PageNumbersE->SetFocus();
    };

    Label2 = PlaceControl<TGroupBox>(this, this, 284, 88, 265, 113);
    Label2->SetCaption(text(205));
    CopiesL = PlaceLabel(Label2, this, 120, 24, text(203));
    CopiesE = PlaceControl<TEdit>(Label2, this, 176, 20, 52, 21);
    CopiesE->SetText("1");
    // Digits only; control characters (backspace) pass.
    CopiesE->OnKeyPress = [](TObject*, char16_t& key) {
        if (key >= 32 && (key < u'0' || key > u'9')) key = 0;
    };
    CopiesUpB = PlaceControl<TSpeedButton>(Label2, this, 229, 20, 16, 10);
    CopiesUpB->SetCaption("+");
    CopiesUpB->OnClick = [this](TObject*) { stepCopies(1); };
    CopiesDownB = PlaceControl<TSpeedButton>(Label2, this, 229, 31, 16, 10);
    CopiesDownB->SetCaption("-");
    CopiesDownB->OnClick = [this](TObject*) { stepCopies(-1); };
    CollateCB = PlaceControl<TCheckBox>(Label2, this, 120, 60, 137, 17);
    CollateCB->SetCaption(text(204));
    CollateCB->SetChecked(true);
    CopiesPB = new TCopiesPicture(this, CollateCB);
    CopiesPB->SetParent(Label2);
    CopiesPB->SetBounds(12, 44, 100, 50);
    CollateCB->OnClick = [this](TObject*) { CopiesPB->Invalidate(); };

    ScaleGB = PlaceControl<TGroupBox>(this, this, 8, 206, 265, 105);
    ScaleGB->SetCaption(text(213));
    PrintModeCB = list(ScaleGB, this, 12, 20, 241,
                       {text("pmDefault"), text("pmSplit"), text("pmJoin"), text("pmScale")});
    PrintModeCB->OnChange = [this](TObject*) { printModeChanged(); };
    PagSizeL = PlaceLabel(ScaleGB, this, 12, 52, text(214));
    PagPageSizeCB = list(ScaleGB, this, 12, 70, 241);

    OtherGB = PlaceControl<TGroupBox>(this, this, 284, 206, 265, 105);
    OtherGB->SetCaption(text(207));
    PrintL = PlaceLabel(OtherGB, this, 12, 20, text(206));
    PrintPagesCB =
        list(OtherGB, this, 110, 16, 143, {text("ppAll"), text("ppOdd"), text("ppEven")});
    PrintPagesCB->SetItemIndex(0);
    DuplexL = PlaceLabel(OtherGB, this, 12, 43, text(216));
    DuplexCB = list(OtherGB, this, 110, 39, 143,
                    {text("dupDefault"), text("dupVert"), text("dupHorz"), text("dupSimpl")});
    DuplexCB->SetItemIndex(0);
    OrderL = PlaceLabel(OtherGB, this, 12, 66, text(211));
    OrderCB = list(OtherGB, this, 110, 62, 143, {text("poDirect"), text("poReverse")});
    SwapCB = PlaceControl<TCheckBox>(OtherGB, this, 12, 85, 241, 17);
    SwapCB->SetCaption("Swap paper size");

    OkB = PlaceControl<TButton>(this, this, 392, 318, 75, 25);
    OkB->SetCaption(text(1));
    OkB->SetModalResult(mrOk);
    OkB->SetDefault(true);
    CancelB = PlaceControl<TButton>(this, this, 474, 318, 75, 25);
    CancelB->SetCaption(text(2));
    CancelB->SetModalResult(mrCancel);
    CancelB->SetCancel(true);

    FileDlg = new TSaveDialog(this);
    FileDlg->SetTitle(text(507));
    FileDlg->SetFilter(text(510));
}

void TpgwPrintDialog::fillSheets() {
    sheetCodes_.assign(1, kCustomPaperSize);
    PagPageSizeCB->Items().Clear();
    PagPageSizeCB->Items().Add(text("pgDefault"));
    const TpgwCustomPrinter* printer = GetPrinters()->Printer();
    if (!printer) return;
    for (const TpgwPrinterItem& paper : printer->Papers()) {
        if (paper.Code == kCustomPaperSize) continue;
        std::string name = paper.Name;
        // A paper listed without a name still shows what it is.
        if (name.empty())
            if (const TPaperSizeInfo* info = FindPaperSizeInfo(paper.Code)) name = info->Name;
        PagPageSizeCB->Items().Add(name);
        sheetCodes_.push_back(paper.Code);
    }
}

int TpgwPrintDialog::sheetPosition(int paperCode) const {
    for (std::size_t i = 1; i < sheetCodes_.size(); ++i)
        if (sheetCodes_[i] == paperCode) return static_cast<int>(i);
    return -1;
}

int TpgwPrintDialog::selectedSheetCode() const {
    const int index = PagPageSizeCB->ItemIndex();
    if (index <= 0 || index >= static_cast<int>(sheetCodes_.size())) return kCustomPaperSize;
    return sheetCodes_[index];
}

void TpgwPrintDialog::printerChanged() {
    const int remembered = PagPageSizeCB->ItemIndex() > 0 ? selectedSheetCode() : -1;
    TpgwPrinters* printers = GetPrinters();
    printers->SelectPrinter(PrintersCB->ItemIndex());
    const TpgwCustomPrinter* printer = printers->Printer();
    WhereL1->SetCaption(printer ? printer->Port() : std::string());
    fillSheets();
    const int position = remembered < 0 ? 0 : sheetPosition(remembered);
    PagPageSizeCB->SetItemIndex(position < 0 ? 0 : position);
}

void TpgwPrintDialog::printModeChanged() {
    if (PrintModeCB->ItemIndex() <= 0) {
        PagPageSizeCB->SetItemIndex(0);
        PagPageSizeCB->SetEnabled(false);
        return;
    }
    PagPageSizeCB->SetEnabled(true);
    if (PagPageSizeCB->ItemIndex() == 0) PagPageSizeCB->SetItemIndex(sheetPosition(9));
}

void TpgwPrintDialog::propertiesClick() {
    TpgwCustomPrinter* printer = GetPrinters()->Printer();
    if (!printer) return;
    printer->ShowPropertiesDialog();
    const int code = printer->Duplex();
    const int position = code == DMDUP_SIMPLEX ? 3 : code - 1;
    if (position > 0) {
        Duplex = position;
        DuplexCB->SetItemIndex(position);
    }
}

void TpgwPrintDialog::CollateLClick(TObject*) {
    CollateCB->SetChecked(!CollateCB->Checked());
}

void TpgwPrintDialog::stepCopies(int delta) {
    int copies = 0;
    if (!TryStrToInt(CopiesE->Text(), copies)) copies = 1;
    CopiesE->SetText(IntToStr(std::clamp(copies + delta, 1, kMaxCopies)));
}

bool TpgwPrintDialog::copiesValid(int& copies) const {
    return TryStrToInt(CopiesE->Text(), copies) && copies >= 1;
}

void TpgwPrintDialog::formShow() {
    if (!Report) return;
    const TpgwPrintOptions& options = *Report->PrintOptions();
    CopiesE->SetText(IntToStr(std::clamp(options.Copies(), 1, kMaxCopies)));
    CollateCB->SetChecked(options.Collate());
    PageNumbersE->SetText(options.PageNumbers());
    if (!options.PageNumbers().empty()) PageNumbersRB->SetChecked(true);
    SwapCB->SetChecked(options.SwapPageSize());
    PrintPagesCB->SetItemIndex(options.PrintPages());
    OrderCB->SetItemIndex(options.Reverse() ? 1 : 0);
    PrintModeCB->SetItemIndex(options.PrintMode());
    DuplexCB->SetItemIndex(std::clamp(Duplex, 0, 3));
    printModeChanged();
    if (options.PrintMode() != pmDefault) {
        const int position = sheetPosition(options.PrintOnSheet());
        PagPageSizeCB->SetItemIndex(position < 0 ? 0 : position);
    }
}

bool TpgwPrintDialog::CloseQuery() {
    if (!TForm::CloseQuery()) return false;
    if (ModalResult() != mrOk) return true;
    int copies = 0;
    if (!copiesValid(copies)) {
        MessageDlg(kBadCopiesMessage, mtError, BtnBit(mbOK));
        if (CopiesE->CanFocus()) CopiesE->SetFocus();
        return false;
    }
    TpgwCustomPrinter* printer = GetPrinters()->Printer();
    if (printer) printer->SetFileName("");
    if (FileCB->Checked()) {
        if (!FileDlg->Execute()) {
            SetModalResult(mrCancel);
            return true;
        }
        // There is no printer language to write: the file holds the pages as PDF.
        if (printer) printer->SetFileName(ChangeFileExt(FileDlg->FileName(), ".prn"));
    }
    return true;
}

void TpgwPrintDialog::formHide() {
    if (ModalResult() != mrOk) {
        GetPrinters()->SelectPrinter(oldPrinterIndex_);
        return;
    }
    if (!Report) return;
    TpgwPrintOptions& options = *Report->PrintOptions();
    int copies = 1;
    copiesValid(copies);
    options.SetCopies(copies);
    options.SetCollate(CollateCB->Checked());
    if (AllRB->Checked())
        options.SetPageNumbers("");
    else if (CurPageRB->Checked())
        options.SetPageNumbers(IntToStr(currentPreviewPage(*Report)));
    else
        options.SetPageNumbers(PageNumbersE->Text());
    options.SetPrintPages(static_cast<TpgwPrintPages>(std::max(0, PrintPagesCB->ItemIndex())));
    Duplex = std::max(0, DuplexCB->ItemIndex());
    options.SetReverse(OrderCB->ItemIndex() == 1);
    options.SetPrintMode(static_cast<TpgwPrintMode>(std::max(0, PrintModeCB->ItemIndex())));
    options.SetPrintOnSheet(selectedSheetCode());
    options.SetSwapPageSize(SwapCB->Checked());
}

bool ShowPrintDialog(TpgwReport& report, int& duplex) {
    auto dialog = std::make_unique<TpgwPrintDialog>(Application());
    dialog->Report = &report;
    dialog->Duplex = duplex;
    if (dialog->ShowModal() != mrOk) return false;
    duplex = dialog->Duplex;
    return true;
}

void InstallPrintDialog() {
    SetPrintDialogRunner(ShowPrintDialog);
}
