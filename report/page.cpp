#include "report/page.h"

#include <string>
#include <utility>

#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"
#include "platform/graphics/picture.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/picture_view.h"
#include "report/resources.h"
#include "report/xml_serializer.h"

namespace {

// More columns than any paper holds would only fill memory with their positions.
constexpr int kMaxPageColumns = 1000;

double toEightDecimals(double value) {
    return RoundHalfEven(value * 1e8) / 1e8;
}

void copyLines(TStrings& target, const TStrings* source) {
    if (source && source != &target) target.Assign(*source);
}

} // namespace

const TTypeInfo& TpgwDuplexModeType() {
    static const TTypeInfo& type =
        DefineEnumType("TpgwDuplexMode", {"dmNone", "dmVertical", "dmHorizontal", "dmSimplex"});
    return type;
}

// ---- TpgwPage ----------------------------------------------------------------------------------

TpgwPage::TpgwPage(TComponent* owner) : TpgwComponent(owner) {}

TpgwPage::~TpgwPage() = default;

void TpgwPage::RegisterProperties(TClassBuilder<TpgwPage>& b) {
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
          &TpgwComponent::SetFont)
        .Stored(&TpgwComponent::IsFontStored);
    b.Add("Visible", TypeInfoBoolean(), &TpgwComponent::Visible, &TpgwComponent::SetVisible)
        .Default(1);
}

// ---- TpgwReportPage ----------------------------------------------------------------------------

TpgwReportPage::TpgwReportPage(TComponent* owner)
    : TpgwPage(owner), backPicture_(std::make_unique<TpgwPictureView>(nullptr)),
      columnPositions_(std::make_unique<TStringList>()), hGuides_(std::make_unique<TStringList>()),
      vGuides_(std::make_unique<TStringList>()) {
    // The picture fills the printable area whatever its proportions.
    backPicture_->SetColor(clNone);
    backPicture_->SetKeepAspectRatio(false);
    SetNameStem("Page");
    SetPaperSize(9);
}

TpgwReportPage::~TpgwReportPage() {
    // The subreport may be among the children about to go: it must not reach back into a page
    // that is half destroyed.
    if (subreport_ && subreport_->Page() == this) subreport_->SetPage(nullptr);
}

void TpgwReportPage::RegisterProperties(TClassBuilder<TpgwReportPage>& b) {
    using P = TpgwReportPage;
    // Written in this order so that a reload ends in the same state: the orientation before
    // the sizes it would swap, the sizes before the code that would look them up, the margins
    // after the turn that would rotate them, and the column values after Columns recomputes
    // them.
    b.Add("Orientation", TypeInfoPrinterOrientation(), &P::Orientation, &P::SetOrientation)
        .Default(poPortrait);
    b.Add("PaperWidth", TypeInfoExtended(), &P::PaperWidth, &P::SetPaperWidth);
    b.Add("PaperHeight", TypeInfoExtended(), &P::PaperHeight, &P::SetPaperHeight);
    b.Add("PaperSize", TypeInfoInteger(), &P::PaperSize, &P::SetPaperSize).NoDefault();
    b.Add("LeftMargin", TypeInfoExtended(), &P::LeftMargin, &P::SetLeftMargin);
    b.Add("RightMargin", TypeInfoExtended(), &P::RightMargin, &P::SetRightMargin);
    b.Add("TopMargin", TypeInfoExtended(), &P::TopMargin, &P::SetTopMargin);
    b.Add("BottomMargin", TypeInfoExtended(), &P::BottomMargin, &P::SetBottomMargin);
    b.Add("MirrorMargins", TypeInfoBoolean(), &P::MirrorMargins, &P::SetMirrorMargins).Default(0);
    b.Add("Columns", TypeInfoInteger(), &P::Columns, &P::SetColumns).Default(0);
    b.Add("ColumnWidth", TypeInfoExtended(), &P::ColumnWidth, &P::SetColumnWidth);
    b.Add("ColumnPositions", TypeInfoStrings(), &P::ColumnPositions, &P::SetColumnPositions);
    b.Add("Bin", TypeInfoInteger(), &P::Bin, &P::SetBin).Default(7);
    b.Add("BinOtherPages", TypeInfoInteger(), &P::BinOtherPages, &P::SetBinOtherPages).Default(7);
    b.Add("Duplex", TpgwDuplexModeType(), &P::Duplex, &P::SetDuplex).Default(dmNone);
    b.Add("BackPictureVisible", TypeInfoBoolean(), &P::BackPictureVisible,
          &P::SetBackPictureVisible)
        .Default(1);
    b.Add("BackPicturePrintable", TypeInfoBoolean(), &P::BackPicturePrintable,
          &P::SetBackPicturePrintable)
        .Default(1);
    b.Add("Color", TypeInfoColor(), &P::Color, &P::SetColor).Default(clNone);
    b.Add("Frame", TypeInfoOfClass(TpgwFrame::StaticClass()), &P::Frame, &P::SetFrame);
    b.Add("PageCount", TypeInfoInteger(), &P::PageCount, &P::SetPageCount).Default(1);
    b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &P::DataSet, &P::SetDataSet);
    b.Add("DataSetName", TypeInfoString(), &P::DataSetName, &P::SetDataSetName);
    b.Add("EndlessHeight", TypeInfoBoolean(), &P::EndlessHeight, &P::SetEndlessHeight).Default(0);
    b.Add("EndlessWidth", TypeInfoBoolean(), &P::EndlessWidth, &P::SetEndlessWidth).Default(0);
    b.Add("LargeDesignHeight", TypeInfoBoolean(), &P::LargeDesignHeight, &P::SetLargeDesignHeight)
        .Default(0);
    b.Add("OutlineText", TypeInfoString(), &P::OutlineText, &P::SetOutlineText);
    b.Add("PrintIfEmpty", TypeInfoBoolean(), &P::PrintIfEmpty, &P::SetPrintIfEmpty).Default(1);
    b.Add("PrintOnPreviousPage", TypeInfoBoolean(), &P::PrintOnPreviousPage,
          &P::SetPrintOnPreviousPage)
        .Default(0);
    b.Add("ResetPageNumbers", TypeInfoBoolean(), &P::ResetPageNumbers, &P::SetResetPageNumbers)
        .Default(0);
    b.Add("TitleBeforeHeader", TypeInfoBoolean(), &P::TitleBeforeHeader, &P::SetTitleBeforeHeader)
        .Default(1);
    b.Add("HGuides", TypeInfoStrings(), &P::HGuides, &P::SetHGuides);
    b.Add("VGuides", TypeInfoStrings(), &P::VGuides, &P::SetVGuides);
    b.Add("OnAfterPrint", TypeInfoString(), &P::OnAfterPrint, &P::OnAfterPrint);
    b.Add("OnBeforePrint", TypeInfoString(), &P::OnBeforePrint, &P::OnBeforePrint);
    b.Add("OnManualBuild", TypeInfoString(), &P::OnManualBuild, &P::OnManualBuild);
}

void TpgwReportPage::DefineProperties(TFiler& filer) {
    TpgwPage::DefineProperties(filer);
    TPicture* picture = BackPicture();
    filer.DefineBinaryProperty(
        "BackPicture", [picture](TStream& s) { picture->LoadFromStream(s); },
        [picture](TStream& s) { picture->SaveToStream(s); }, !picture->Empty());
}

void TpgwReportPage::UpdateDimensions() {
    SetWidth(RoundHalfEven(paperWidth_ * pg01cm));
    SetHeight(RoundHalfEven(paperHeight_ * pg01cm));
}

void TpgwReportPage::SetPaperSize(int value) {
    paperSize_ = value;
    if (value >= kCustomPaperSize) return;
    double width = 0, height = 0;
    if (FindPaperSize(value, width, height)) {
        if (orientation_ == poLandscape) std::swap(width, height);
        paperWidth_ = width;
        paperHeight_ = height;
    }
    UpdateDimensions();
}

void TpgwReportPage::SetPaperWidth(double value) {
    paperWidth_ = toEightDecimals(value);
    paperSize_ = kCustomPaperSize;
    UpdateDimensions();
}

void TpgwReportPage::SetPaperHeight(double value) {
    paperHeight_ = toEightDecimals(value);
    paperSize_ = kCustomPaperSize;
    UpdateDimensions();
}

void TpgwReportPage::SetPaperDimensions(int paperSize, double width, double height) {
    paperSize_ = paperSize;
    paperWidth_ = toEightDecimals(width);
    paperHeight_ = toEightDecimals(height);
    UpdateDimensions();
}

void TpgwReportPage::SetOrientation(TPrinterOrientation value) {
    if (value != orientation_) {
        std::swap(paperWidth_, paperHeight_);
        const double left = leftMargin_, right = rightMargin_, top = topMargin_,
                     bottom = bottomMargin_;
        if (value == poLandscape) {
            leftMargin_ = top;
            rightMargin_ = bottom;
            topMargin_ = right;
            bottomMargin_ = left;
        } else {
            leftMargin_ = bottom;
            rightMargin_ = top;
            topMargin_ = left;
            bottomMargin_ = right;
        }
        UpdateDimensions();
    }
    orientation_ = value;
}

void TpgwReportPage::ApplyDefaults() {
    leftMargin_ = rightMargin_ = topMargin_ = bottomMargin_ = 10;
    const TPrinterPaper paper = CurrentPrinterPaper();
    paperSize_ = paper.PaperSize;
    paperWidth_ = paper.PaperWidth;
    paperHeight_ = paper.PaperHeight;
    orientation_ = paper.Orientation;
    UpdateDimensions();
}

void TpgwReportPage::SetColumns(int value) {
    if (value > kMaxPageColumns)
        throw EPropertyError("A page cannot have " + std::to_string(value) + " columns");
    columns_ = value;
    columnPositions_->Clear();
    if (value <= 0) return;
    columnWidth_ = printableWidthMm() / value;
    columnPositions_->Add("0");
    for (int k = 1; k < value; ++k)
        columnPositions_->Add(FloatToStr(k * columnWidth_));
}

void TpgwReportPage::SetColumnPositions(TStrings* value) {
    copyLines(*columnPositions_, value);
}

void TpgwReportPage::SetHGuides(TStrings* value) {
    copyLines(*hGuides_, value);
}

void TpgwReportPage::SetVGuides(TStrings* value) {
    copyLines(*vGuides_, value);
}

void TpgwReportPage::ClearGuides() {
    hGuides_->Clear();
    vGuides_->Clear();
}

TPicture* TpgwReportPage::BackPicture() const {
    return backPicture_->Picture();
}

void TpgwReportPage::SetBackPicture(const TPicture* value) {
    backPicture_->SetPicture(value);
}

TColor TpgwReportPage::Color() const {
    return backPicture_->Color();
}

void TpgwReportPage::SetColor(TColor value) {
    backPicture_->SetColor(value);
}

TpgwFrame* TpgwReportPage::Frame() const {
    return backPicture_->Frame();
}

void TpgwReportPage::SetFrame(TpgwFrame* value) {
    backPicture_->SetFrame(value);
}

double TpgwReportPage::printableWidthMm() const {
    return paperWidth_ - leftMargin_ - rightMargin_;
}

double TpgwReportPage::printableHeightMm() const {
    return paperHeight_ - topMargin_ - bottomMargin_;
}

void TpgwReportPage::DrawBackPicture(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                                     double offsetY) {
    backPicture_->SetWidth(printableWidthMm() * pg01cm);
    backPicture_->SetHeight(printableHeightMm() * pg01cm);
    if (!backPictureVisible_ || (DrawingForPrint() && !backPicturePrintable_)) return;
    backPicture_->SetDrawingForPrint(DrawingForPrint());
    backPicture_->Draw(canvas, scaleX, scaleY, offsetX + leftMargin_ * pg01cm * scaleX,
                       offsetY + topMargin_ * pg01cm * scaleY);
}

void TpgwReportPage::SetPageCount(int value) {
    if (value > 0) pageCount_ = value;
}

void TpgwReportPage::SetDataSet(TpgwDataSet* value) {
    dataSet_ = value;
    if (value) FreeNotification(value);
    dataSetName_ = value ? value->UserName() : std::string();
}

std::string TpgwReportPage::DataSetName() const {
    return dataSet_ ? dataSet_->UserName() : dataSetName_;
}

void TpgwReportPage::SetDataSetName(const std::string& value) {
    SetDataSet(DataSetByName(value));
    dataSetName_ = value;
}

void TpgwReportPage::SetSubreport(TpgwSubreport* value) {
    subreport_ = value;
    if (value) FreeNotification(value);
}

TpgwBand* TpgwReportPage::FirstBandOfClass(const TClassInfo& bandClass) const {
    for (TpgwComponent* child : Objects())
        if (auto* band = dynamic_cast<TpgwBand*>(child); band && band->InheritsFrom(bandClass))
            return band;
    return nullptr;
}

void TpgwReportPage::AlignChildren() {
    // While the children align, the page stands for its printable area, unrounded; it is the
    // paper again afterwards, also when a child's setter fails.
    struct RestoreBounds {
        TpgwReportPage& page;
        ~RestoreBounds() { page.UpdateDimensions(); }
    } restore{*this};
    SetWidth(printableWidthMm() * pg01cm);
    SetHeight(printableHeightMm() * pg01cm);
    TpgwPage::AlignChildren();
    for (TpgwComponent* child : Objects()) {
        auto* band = dynamic_cast<TpgwBand*>(child);
        if (!band) continue;
        if (band->Vertical())
            band->SetHeight(Height() - band->Top());
        else if (columns_ < 2 || band->Is<TpgwNullBand>() || band->Is<TpgwReportSummary>() ||
                 band->Is<TpgwPageHeader>() || band->Is<TpgwPageFooter>() ||
                 band->Is<TpgwReportTitle>())
            band->SetWidth(Width() - band->Left());
        else
            band->SetWidth(columnWidth_ * pg01cm);
        band->AlignChildren();
    }
}

std::string TpgwReportPage::ClassDescription() const {
    return GetResources().GetText("obRepPage");
}

void TpgwReportPage::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) {
        if (component == dataSet_) dataSet_ = nullptr;
        if (component == subreport_) subreport_ = nullptr;
    }
    TpgwPage::Notification(component, operation);
}

// ---- TpgwDataPage ------------------------------------------------------------------------------

TpgwDataPage::TpgwDataPage(TComponent* owner) : TpgwPage(owner) {
    SetWidth(1000);
    SetHeight(1000);
}

TpgwDataPage::~TpgwDataPage() = default;

void TpgwDataPage::RegisterProperties(TClassBuilder<TpgwDataPage>& b) {
    b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
    b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
    b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
    b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
}

std::string TpgwDataPage::ClassDescription() const {
    return GetResources().GetText("obDataPage");
}

// ---- registration ------------------------------------------------------------------------------

void RegisterBandAndPageClasses() {
    RegisterClasses<TpgwReportTitle, TpgwReportSummary, TpgwPageHeader, TpgwPageFooter, TpgwHeader,
                    TpgwFooter, TpgwMasterData, TpgwDetailData, TpgwSubdetailData, TpgwDataBand4,
                    TpgwDataBand5, TpgwDataBand6, TpgwGroupHeader, TpgwGroupFooter,
                    TpgwColumnHeader, TpgwColumnFooter, TpgwChild, TpgwOverlay, TpgwNullBand,
                    TpgwSubreport, TpgwReportPage, TpgwDataPage>();
    SetPropertyWriteOrder(TpgwReportPage::StaticClass(),
                          {"Orientation", "PaperWidth", "PaperHeight", "PaperSize", "LeftMargin",
                           "RightMargin", "TopMargin", "BottomMargin", "Columns", "ColumnWidth",
                           "ColumnPositions"});
}
