#include "engine/page_settings_form.h"

#include <memory>
#include <utility>

#include "engine/dialog_building.h"
#include "engine/printers.h"
#include "platform/core/exception.h"
#include "platform/core/ini_file.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/print/print_backend.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"

namespace {

std::string text(int id) {
    return GetResources().GetTextById(id);
}

constexpr const char* kDesignerSection = "Form.TpgwDesignerForm";
constexpr int kInches = 1;
constexpr const char* kBadPaperMessage = "The paper width and height must be above 0.";
constexpr const char* kBadMarginMessage = "The margins must not be below 0.";

// A sheet with a folded corner and a few lines of text, upright or turned.
void drawSheet(TBitmap& bitmap, bool landscape) {
    constexpr int side = 40;
    bitmap.SetSize(side, side);
    TCanvas& c = bitmap.Canvas();
    c.Brush().SetColor(clBtnFace);
    c.FillRect(TRect{0, 0, side, side});
    const int w = landscape ? 36 : 26, h = landscape ? 26 : 36;
    const int x = (side - w) / 2, y = (side - h) / 2, fold = 7;
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clWhite);
    c.Polygon({{x, y}, {x + w - fold, y}, {x + w, y + fold}, {x + w, y + h}, {x, y + h}});
    c.Polyline({{x + w - fold, y}, {x + w - fold, y + fold}, {x + w, y + fold}});
    for (int line = y + fold + 4; line < y + h - 3; line += 4) {
        c.MoveTo(x + 4, line);
        c.LineTo(x + w - 4, line);
    }
}

} // namespace

TpgwPageSettingsForm::TpgwPageSettingsForm(TComponent* owner) : TForm(owner) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(286);
    SetClientHeight(359);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetKeyPreview(true);
    buildControls();

    OnShow = [this](TObject*) { formShow(); };
    // The hide handler runs while a modal show unwinds: nothing may escape it.
    OnHide = [this](TObject*) { SafeCall([this] { formHide(); }); };
    OpenHelpOnF1(*this, "TpgwPageSettingsForm");
}

TpgwPageSettingsForm::~TpgwPageSettingsForm() {
    OnShow = nullptr;
    OnHide = nullptr;
}

void TpgwPageSettingsForm::buildControls() {
    SetCaption(text(400));

    SizeL = PlaceControl<TGroupBox>(this, this, 8, 4, 270, 105);
    SizeL->SetCaption(text(403));
    SizeCB = PlaceControl<TComboBox>(SizeL, this, 12, 20, 246, 21);
    SizeCB->SetStyle(csDropDownList);
    SizeCB->SetDropDownCount(16);
    SizeCB->OnChange = [this](TObject*) { paperChanged(); };
    WidthL = PlaceLabel(SizeL, this, 12, 52, text(401));
    WidthE = PlaceControl<TEdit>(SizeL, this, 80, 48, 60, 21);
    UnitL1 = PlaceLabel(SizeL, this, 146, 52);
    HeightL = PlaceLabel(SizeL, this, 12, 78, text(402));
    HeightE = PlaceControl<TEdit>(SizeL, this, 80, 74, 60, 21);
    UnitL2 = PlaceLabel(SizeL, this, 146, 78);
    WidthE->OnChange = [this](TObject*) { sizeTextChanged(); };
    HeightE->OnChange = [this](TObject*) { sizeTextChanged(); };

    OrientationL = PlaceControl<TGroupBox>(this, this, 8, 114, 270, 69);
    OrientationL->SetCaption(text(404));
    PortraitRB = PlaceControl<TRadioButton>(OrientationL, this, 68, 20, 180, 17);
    PortraitRB->SetCaption(text(410));
    LandscapeRB = PlaceControl<TRadioButton>(OrientationL, this, 68, 42, 180, 17);
    LandscapeRB->SetCaption(text(411));
    PortraitRB->SetChecked(true);
    PortraitImg = PlaceControl<TImage>(OrientationL, this, 14, 18, 40, 40);
    drawSheet(PortraitImg->Picture().Bitmap(), /*landscape=*/false);
    LandscapeImg = PlaceControl<TImage>(OrientationL, this, 14, 18, 40, 40);
    drawSheet(LandscapeImg->Picture().Bitmap(), /*landscape=*/true);
    showOrientationPicture();
    PortraitRB->OnClick = [this](TObject*) { orientationClicked(); };
    LandscapeRB->OnClick = [this](TObject*) { orientationClicked(); };

    MarginsL = PlaceControl<TGroupBox>(this, this, 8, 188, 270, 77);
    MarginsL->SetCaption(text(409));
    LeftL = PlaceLabel(MarginsL, this, 12, 24, text(405));
    MarginLeftE = PlaceControl<TEdit>(MarginsL, this, 52, 20, 52, 21);
    UnitL3 = PlaceLabel(MarginsL, this, 108, 24);
    TopL = PlaceLabel(MarginsL, this, 12, 50, text(406));
    MarginTopE = PlaceControl<TEdit>(MarginsL, this, 52, 46, 52, 21);
    UnitL4 = PlaceLabel(MarginsL, this, 108, 50);
    RightL = PlaceLabel(MarginsL, this, 140, 24, text(407));
    MarginRightE = PlaceControl<TEdit>(MarginsL, this, 180, 20, 52, 21);
    UnitL5 = PlaceLabel(MarginsL, this, 236, 24);
    BottomL = PlaceLabel(MarginsL, this, 140, 50, text(408));
    MarginBottomE = PlaceControl<TEdit>(MarginsL, this, 180, 46, 52, 21);
    UnitL6 = PlaceLabel(MarginsL, this, 236, 50);

    OtherL = PlaceControl<TGroupBox>(this, this, 8, 270, 270, 53);
    OtherL->SetCaption(text(412));
    ApplyToCurRB = PlaceControl<TRadioButton>(OtherL, this, 12, 20, 120, 17);
    ApplyToCurRB->SetCaption(text(413));
    ApplyToAllRB = PlaceControl<TRadioButton>(OtherL, this, 136, 20, 126, 17);
    ApplyToAllRB->SetCaption(text(414));
    ApplyToCurRB->SetChecked(true);

    OKB = PlaceControl<TButton>(this, this, 122, 328, 75, 25);
    OKB->SetCaption(text(1));
    OKB->SetModalResult(mrOk);
    OKB->SetDefault(true);
    CancelB = PlaceControl<TButton>(this, this, 203, 328, 75, 25);
    CancelB->SetCaption(text(2));
    CancelB->SetModalResult(mrCancel);
    CancelB->SetCancel(true);

    boxes_[bxWidth].Edit = WidthE;
    boxes_[bxHeight].Edit = HeightE;
    boxes_[bxLeft].Edit = MarginLeftE;
    boxes_[bxTop].Edit = MarginTopE;
    boxes_[bxRight].Edit = MarginRightE;
    boxes_[bxBottom].Edit = MarginBottomE;
}

bool TpgwPageSettingsForm::ApplyToAll() const {
    return ApplyToAllRB->Checked();
}

void TpgwPageSettingsForm::readUnits() {
    units_ = 0;
    if (!Report) return;
    try {
        std::unique_ptr<TCustomIniFile> store = Report->OpenIniFile();
        if (store) units_ = store->ReadInteger(kDesignerSection, "Units", 0);
    } catch (const Exception&) {
        // An unreadable store leaves centimetres; the dialog works without it.
    }
}

double TpgwPageSettingsForm::unitFactor() const {
    return units_ == kInches ? 25.4 : 10.0;
}

void TpgwPageSettingsForm::showBox(BoxIndex box, double mm) {
    NumberBox& b = boxes_[box];
    b.Mm = mm;
    b.Shown = FloatValueToStr(mm / unitFactor());
    b.Edit->SetText(b.Shown);
}

double TpgwPageSettingsForm::readBox(BoxIndex box) const {
    const NumberBox& b = boxes_[box];
    const std::string typed = b.Edit->Text();
    if (typed == b.Shown) return b.Mm;
    return ParseFloatValue(typed) * unitFactor();
}

TPrinterOrientation TpgwPageSettingsForm::shownOrientation() const {
    return LandscapeRB->Checked() ? poLandscape : poPortrait;
}

void TpgwPageSettingsForm::showOrientationPicture() {
    const bool landscape = LandscapeRB->Checked();
    PortraitImg->SetVisible(!landscape);
    LandscapeImg->SetVisible(landscape);
}

void TpgwPageSettingsForm::fillPapers() {
    paperCodes_.clear();
    SizeCB->Items().Clear();
    const TpgwCustomPrinter* printer = GetPrinters()->Printer();
    if (printer) {
        for (const TpgwPrinterItem& paper : printer->Papers()) {
            SizeCB->Items().Add(paper.Name);
            paperCodes_.push_back(paper.Code);
        }
    }
    if (paperCodes_.empty()) {
        SizeCB->Items().Add(GetResources().GetText("prCustom"));
        paperCodes_.push_back(kCustomPaperSize);
    }
}

int TpgwPageSettingsForm::selectedPaperCode() const {
    const int index = SizeCB->ItemIndex();
    if (index < 0 || index >= static_cast<int>(paperCodes_.size())) return kCustomPaperSize;
    // Driver papers may share a name: the entry, not its text, says which one.
    return paperCodes_[static_cast<std::size_t>(index)];
}

void TpgwPageSettingsForm::formShow() {
    updating_ = true;
    readUnits();
    const std::string unit = GetResources().GetText(units_ == kInches ? "uInch" : "uCm");
    for (TLabel* l : {UnitL1, UnitL2, UnitL3, UnitL4, UnitL5, UnitL6})
        l->SetCaption(unit);
    fillPapers();
    SizeCB->SetItemIndex(0);
    if (Page) {
        for (std::size_t i = 1; i < paperCodes_.size(); ++i)
            if (paperCodes_[i] == Page->PaperSize()) {
                SizeCB->SetItemIndex(static_cast<int>(i));
                break;
            }
        showBox(bxWidth, Page->PaperWidth());
        showBox(bxHeight, Page->PaperHeight());
        showBox(bxLeft, Page->LeftMargin());
        showBox(bxTop, Page->TopMargin());
        showBox(bxRight, Page->RightMargin());
        showBox(bxBottom, Page->BottomMargin());
        if (Page->Orientation() == poLandscape)
            LandscapeRB->SetChecked(true);
        else
            PortraitRB->SetChecked(true);
    }
    lastOrientation_ = shownOrientation();
    showOrientationPicture();
    updating_ = false;
}

void TpgwPageSettingsForm::sizeTextChanged() {
    if (updating_) return;
    SizeCB->SetItemIndex(0);
}

bool TpgwPageSettingsForm::paperDimensions(int code, double& width, double& height) const {
    bool found = FindPaperSize(code, width, height);
    if (!found) {
        // A paper of the driver's own: its size is in the printer's capabilities.
        const TpgwCustomPrinter* printer = GetPrinters()->Printer();
        if (!printer) return false;
        try {
            std::unique_ptr<TPrintDevice> device = PrintBackend().Open(printer->Name());
            if (!device) return false;
            for (const TPrintPaper& paper : device->Capabilities().Papers)
                if (paper.Code == code && paper.Width > 0 && paper.Height > 0) {
                    width = paper.Width;
                    height = paper.Height;
                    found = true;
                    break;
                }
        } catch (const Exception&) {
            return false;
        }
    }
    if (found && shownOrientation() == poLandscape) std::swap(width, height);
    return found;
}

void TpgwPageSettingsForm::paperChanged() {
    if (updating_) return;
    updating_ = true;
    double width = 0, height = 0;
    const int code = selectedPaperCode();
    if (code != kCustomPaperSize && paperDimensions(code, width, height)) {
        showBox(bxWidth, width);
        showBox(bxHeight, height);
    } else if (shownOrientation() != lastOrientation_) {
        // A paper of no known size keeps its sides; turning it exchanges them.
        std::swap(boxes_[bxWidth].Mm, boxes_[bxHeight].Mm);
        std::swap(boxes_[bxWidth].Shown, boxes_[bxHeight].Shown);
        const std::string typedWidth = WidthE->Text();
        WidthE->SetText(HeightE->Text());
        HeightE->SetText(typedWidth);
    }
    lastOrientation_ = shownOrientation();
    updating_ = false;
}

void TpgwPageSettingsForm::orientationClicked() {
    showOrientationPicture();
    paperChanged();
}

bool TpgwPageSettingsForm::readValues(PageValues& values) {
    BoxIndex box = bxWidth;
    try {
        for (int i = 0; i < bxCount; ++i) {
            box = static_cast<BoxIndex>(i);
            values.Mm[box] = readBox(box);
        }
    } catch (const EConvertError& e) {
        Application()->HandleException(e);
        if (boxes_[box].Edit->CanFocus()) boxes_[box].Edit->SetFocus();
        return false;
    }
    const auto refuse = [this](BoxIndex bad, const char* message) {
        MessageDlg(message, mtError, BtnBit(mbOK));
        if (boxes_[bad].Edit->CanFocus()) boxes_[bad].Edit->SetFocus();
        return false;
    };
    for (BoxIndex side : {bxWidth, bxHeight})
        if (!(values.Mm[side] > 0)) return refuse(side, kBadPaperMessage);
    for (BoxIndex margin : {bxLeft, bxTop, bxRight, bxBottom})
        if (!(values.Mm[margin] >= 0)) return refuse(margin, kBadMarginMessage);
    values.Orientation = shownOrientation();
    values.PaperSize = selectedPaperCode();
    return true;
}

bool TpgwPageSettingsForm::CloseQuery() {
    if (!TForm::CloseQuery()) return false;
    hasAccepted_ = false;
    if (ModalResult() != mrOk || !Page) return true;
    PageValues values;
    if (!readValues(values)) return false;
    accepted_ = values;
    hasAccepted_ = true;
    return true;
}

void TpgwPageSettingsForm::formHide() {
    if (ModalResult() != mrOk || !Page || !hasAccepted_) return;
    hasAccepted_ = false;
    const PageValues& v = accepted_;
    Page->SetOrientation(v.Orientation);
    Page->SetPaperWidth(v.Mm[bxWidth]);
    Page->SetPaperHeight(v.Mm[bxHeight]);
    Page->SetPaperSize(v.PaperSize);
    Page->SetLeftMargin(v.Mm[bxLeft]);
    Page->SetRightMargin(v.Mm[bxRight]);
    Page->SetTopMargin(v.Mm[bxTop]);
    Page->SetBottomMargin(v.Mm[bxBottom]);
    Page->AlignChildren();
}
