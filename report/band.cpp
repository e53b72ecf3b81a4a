#include "report/band.h"

#include <initializer_list>
#include <string_view>

#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/graphics/canvas.h"
#include "report/data_set.h"
#include "report/page.h"
#include "report/resources.h"
#include "report/xml_document.h"

namespace {

// Publishes, in a band class's table, the switches every band carries but only some kinds
// publish, by name.
template <class C>
void publishBandFields(TClassBuilder<C>& b, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (name == "AllowSplit")
            b.Add(name, TypeInfoBoolean(), &TpgwBand::AllowSplit, &TpgwBand::SetAllowSplit)
                .Default(0);
        else if (name == "Child")
            b.Add(name, TypeInfoOfClass(TpgwChild::StaticClass()), &TpgwBand::Child,
                  &TpgwBand::SetChild);
        else if (name == "KeepChild")
            b.Add(name, TypeInfoBoolean(), &TpgwBand::KeepChild, &TpgwBand::SetKeepChild)
                .Default(0);
        else if (name == "OutlineText")
            b.Add(name, TypeInfoString(), &TpgwBand::OutlineText, &TpgwBand::SetOutlineText);
        else if (name == "PrintChildIfInvisible")
            b.Add(name, TypeInfoBoolean(), &TpgwBand::PrintChildIfInvisible,
                  &TpgwBand::SetPrintChildIfInvisible)
                .Default(0);
        else if (name == "StartNewPage")
            b.Add(name, TypeInfoBoolean(), &TpgwBand::StartNewPage, &TpgwBand::SetStartNewPage)
                .Default(0);
        else if (name == "Stretched")
            b.Add(name, TypeInfoBoolean(), &TpgwBand::Stretched, &TpgwBand::SetStretched)
                .Default(0);
        else
            throw EPropertyError("Unknown band property " + std::string(name));
    }
}

double snap(double value, double cell) {
    return RoundHalfEven(value / cell) * cell;
}

} // namespace

// ---- TpgwBand ----------------------------------------------------------------------------------

TpgwBand::TpgwBand(TComponent* owner) : TpgwReportComponent(owner) {}

TpgwBand::~TpgwBand() = default;

void TpgwBand::RegisterProperties(TClassBuilder<TpgwBand>& b) {
    b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
    b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
    b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
    b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
          &TpgwComponent::SetFont)
        .Stored(&TpgwComponent::IsFontStored);
    b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
          &TpgwComponent::SetParentFont)
        .Default(1);
    b.Add("Restrictions", TpgwRestrictionsType(), &TpgwComponent::Restrictions,
          &TpgwComponent::SetRestrictions)
        .Default(0);
    b.Add("Vertical", TypeInfoBoolean(), &TpgwBand::Vertical, &TpgwBand::SetVertical).Default(0);
    b.Add("Visible", TypeInfoBoolean(), &TpgwComponent::Visible, &TpgwComponent::SetVisible)
        .Default(1);
    b.Add("OnAfterCalcHeight", TypeInfoString(), &TpgwBand::OnAfterCalcHeight,
          &TpgwBand::OnAfterCalcHeight);
    b.Add("OnAfterPrint", TypeInfoString(), &TpgwBand::OnAfterPrint, &TpgwBand::OnAfterPrint);
    b.Add("OnBeforePrint", TypeInfoString(), &TpgwBand::OnBeforePrint, &TpgwBand::OnBeforePrint);
}

int TpgwBand::BandKindIndex() const {
    static const TClassInfo* const kinds[] = {
        &TpgwReportTitle::StaticClass(),   &TpgwReportSummary::StaticClass(),
        &TpgwPageHeader::StaticClass(),    &TpgwPageFooter::StaticClass(),
        &TpgwHeader::StaticClass(),        &TpgwFooter::StaticClass(),
        &TpgwMasterData::StaticClass(),    &TpgwDetailData::StaticClass(),
        &TpgwSubdetailData::StaticClass(), &TpgwDataBand4::StaticClass(),
        &TpgwDataBand5::StaticClass(),     &TpgwDataBand6::StaticClass(),
        &TpgwGroupHeader::StaticClass(),   &TpgwGroupFooter::StaticClass(),
        &TpgwChild::StaticClass(),         &TpgwColumnHeader::StaticClass(),
        &TpgwColumnFooter::StaticClass(),  &TpgwOverlay::StaticClass(),
    };
    // The last kind the class belongs to wins, so a descendant of a kind keeps its number.
    int index = 0;
    for (int i = 0; i < static_cast<int>(std::size(kinds)); ++i)
        if (ClassType().InheritsFrom(*kinds[i])) index = i;
    return index;
}

std::string TpgwBand::ShortClassName() const {
    std::string name = ClassName();
    if (auto p = name.find("Tpgw"); p != std::string::npos) name.erase(p, 4);
    if (auto p = name.find("Band"); p != std::string::npos) name.erase(p, 4);
    return name;
}

void TpgwBand::SetChild(TpgwChild* value) {
    for (TpgwBand* band = value; band; band = band->child_)
        if (band == this) throw Exception("Circular child reference is not allowed");
    child_ = value;
    if (value) FreeNotification(value);
}

bool TpgwBand::OnCharacterGrid() const {
    auto* page = dynamic_cast<TpgwReportPage*>(Parent());
    return page && page->IsDotMatrix();
}

void TpgwBand::SetLeft(double value) {
    TpgwReportComponent::SetLeft(OnCharacterGrid() ? snap(value, pg1CharX) : value);
}

void TpgwBand::SetTop(double value) {
    TpgwReportComponent::SetTop(OnCharacterGrid() ? snap(value, pg1CharY) : value);
}

void TpgwBand::SetHeight(double value) {
    TpgwReportComponent::SetHeight(OnCharacterGrid() ? snap(value, pg1CharY) : value);
}

void TpgwBand::Draw(TCanvas&, double, double, double, double) {}

std::string TpgwBand::ClassDescription() const {
    return GetResources().GetText("obBand");
}

void TpgwBand::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == child_) child_ = nullptr;
    TpgwReportComponent::Notification(component, operation);
}

// ---- the kinds ---------------------------------------------------------------------------------

void TpgwReportTitle::RegisterProperties(TClassBuilder<TpgwReportTitle>& b) {
    publishBandFields(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible",
                          "StartNewPage", "Stretched"});
}

void TpgwReportSummary::RegisterProperties(TClassBuilder<TpgwReportSummary>& b) {
    publishBandFields(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible",
                          "StartNewPage", "Stretched"});
}

void TpgwChild::RegisterProperties(TClassBuilder<TpgwChild>& b) {
    publishBandFields(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible",
                          "StartNewPage", "Stretched"});
}

void TpgwHeader::RegisterProperties(TClassBuilder<TpgwHeader>& b) {
    publishBandFields(b, {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible"});
    b.Add("ReprintOnNewPage", TypeInfoBoolean(), &TpgwHeader::ReprintOnNewPage,
          &TpgwHeader::SetReprintOnNewPage)
        .Default(0);
    publishBandFields(b, {"StartNewPage", "Stretched"});
}

void TpgwFooter::RegisterProperties(TClassBuilder<TpgwFooter>& b) {
    publishBandFields(b,
                      {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "Stretched"});
}

void TpgwPageHeader::RegisterProperties(TClassBuilder<TpgwPageHeader>& b) {
    publishBandFields(b, {"Child", "PrintChildIfInvisible"});
    b.Add("PrintOnFirstPage", TypeInfoBoolean(), &TpgwPageHeader::PrintOnFirstPage,
          &TpgwPageHeader::SetPrintOnFirstPage)
        .Default(1);
    publishBandFields(b, {"Stretched"});
}

void TpgwPageFooter::RegisterProperties(TClassBuilder<TpgwPageFooter>& b) {
    b.Add("PrintOnFirstPage", TypeInfoBoolean(), &TpgwPageFooter::PrintOnFirstPage,
          &TpgwPageFooter::SetPrintOnFirstPage)
        .Default(1);
    b.Add("PrintOnLastPage", TypeInfoBoolean(), &TpgwPageFooter::PrintOnLastPage,
          &TpgwPageFooter::SetPrintOnLastPage)
        .Default(1);
}

void TpgwColumnHeader::RegisterProperties(TClassBuilder<TpgwColumnHeader>& b) {
    publishBandFields(b, {"Child", "Stretched"});
}

void TpgwOverlay::RegisterProperties(TClassBuilder<TpgwOverlay>& b) {
    b.Add("PrintOnTop", TypeInfoBoolean(), &TpgwOverlay::PrintOnTop, &TpgwOverlay::SetPrintOnTop)
        .Default(0);
}

void TpgwGroupHeader::RegisterProperties(TClassBuilder<TpgwGroupHeader>& b) {
    using G = TpgwGroupHeader;
    publishBandFields(b, {"AllowSplit", "Child"});
    b.Add("Condition", TypeInfoString(), &G::Condition, &G::SetCondition);
    b.Add("DrillDown", TypeInfoBoolean(), &G::DrillDown, &G::SetDrillDown).Default(0);
    b.Add("DrillName", TypeInfoString(), &G::DrillName, &G::SetDrillName);
    b.Add("ExpandDrillDown", TypeInfoBoolean(), &G::ExpandDrillDown, &G::SetExpandDrillDown)
        .Default(0);
    publishBandFields(b, {"KeepChild"});
    b.Add("KeepTogether", TypeInfoBoolean(), &G::KeepTogether, &G::SetKeepTogether).Default(0);
    publishBandFields(b, {"OutlineText", "PrintChildIfInvisible"});
    b.Add("ReprintOnNewPage", TypeInfoBoolean(), &G::ReprintOnNewPage, &G::SetReprintOnNewPage)
        .Default(0);
    b.Add("ResetPageNumbers", TypeInfoBoolean(), &G::ResetPageNumbers, &G::SetResetPageNumbers)
        .Default(0);
    b.Add("ShowChildIfDrillDown", TypeInfoBoolean(), &G::ShowChildIfDrillDown,
          &G::SetShowChildIfDrillDown)
        .Default(0);
    b.Add("ShowFooterIfDrillDown", TypeInfoBoolean(), &G::ShowFooterIfDrillDown,
          &G::SetShowFooterIfDrillDown)
        .Default(0);
    publishBandFields(b, {"StartNewPage", "Stretched"});
}

std::string TpgwGroupHeader::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwBand::ChangedAttributes(reference);
    // Escaped like every other attribute: a quote or "<" in the name must not break the page.
    if (drillDown_) text += " DrillName=\"" + EncodeXMLText(drillName_) + "\"";
    return text;
}

void TpgwGroupFooter::RegisterProperties(TClassBuilder<TpgwGroupFooter>& b) {
    publishBandFields(b, {"AllowSplit", "Child"});
    b.Add("HideIfSingleDataRecord", TypeInfoBoolean(), &TpgwGroupFooter::HideIfSingleDataRecord,
          &TpgwGroupFooter::SetHideIfSingleDataRecord)
        .Default(0);
    publishBandFields(b, {"KeepChild", "PrintChildIfInvisible", "Stretched"});
}

// ---- TpgwDataBand ------------------------------------------------------------------------------

TpgwDataBand::TpgwDataBand(TComponent* owner)
    // Not a child of the band: it must stay out of the template and the object tree.
    : TpgwBand(owner), virtualDataSet_(std::make_unique<TpgwUserDataSet>(nullptr)) {
    virtualDataSet_->SetRangeEnd(reCount);
}

TpgwDataBand::~TpgwDataBand() = default;

void TpgwDataBand::RegisterProperties(TClassBuilder<TpgwDataBand>& b) {
    using D = TpgwDataBand;
    publishBandFields(b, {"AllowSplit", "Child"});
    b.Add("Columns", TypeInfoInteger(), &D::Columns, &D::SetColumns).Default(0);
    b.Add("ColumnWidth", TypeInfoExtended(), &D::ColumnWidth, &D::SetColumnWidth);
    b.Add("ColumnGap", TypeInfoExtended(), &D::ColumnGap, &D::SetColumnGap);
    b.Add("DataSet", TypeInfoOfClass(TpgwDataSet::StaticClass()), &D::DataSet, &D::SetDataSet);
    b.Add("DataSetName", TypeInfoString(), &D::DataSetName, &D::SetDataSetName);
    b.Add("FooterAfterEach", TypeInfoBoolean(), &D::FooterAfterEach, &D::SetFooterAfterEach)
        .Default(0);
    publishBandFields(b, {"KeepChild"});
    b.Add("KeepFooter", TypeInfoBoolean(), &D::KeepFooter, &D::SetKeepFooter).Default(0);
    b.Add("KeepHeader", TypeInfoBoolean(), &D::KeepHeader, &D::SetKeepHeader).Default(0);
    b.Add("KeepTogether", TypeInfoBoolean(), &D::KeepTogether, &D::SetKeepTogether).Default(0);
    publishBandFields(b, {"OutlineText", "PrintChildIfInvisible"});
    b.Add("PrintIfDetailEmpty", TypeInfoBoolean(), &D::PrintIfDetailEmpty,
          &D::SetPrintIfDetailEmpty)
        .Default(0);
    b.Add("RowCount", TypeInfoInteger(), &D::RowCount, &D::SetRowCount).NoDefault();
    publishBandFields(b, {"StartNewPage", "Stretched"});
    b.Add("OnMasterDetail", TypeInfoString(), &D::OnMasterDetail, &D::OnMasterDetail);
}

void TpgwDataBand::SetDataSet(TpgwDataSet* value) {
    dataSet_ = value;
    if (value) FreeNotification(value);
    dataSetName_ = value ? value->UserName() : std::string();
}

std::string TpgwDataBand::DataSetName() const {
    return dataSet_ ? dataSet_->UserName() : dataSetName_;
}

void TpgwDataBand::SetDataSetName(const std::string& value) {
    SetDataSet(DataSetByName(value));
    dataSetName_ = value;
}

void TpgwDataBand::SetRowCount(int value) {
    rowCount_ = value;
    virtualDataSet_->SetRangeEndCount(value);
}

void TpgwDataBand::MoveToColumn(int n) {
    curColumn_ = n > columns_ || n < 1 ? 1 : n;
    if (curColumn_ == 1) {
        ColumnHeights.fill(0);
        ColumnRowBottom = 0;
    }
    SetLeft((curColumn_ - 1) * (columnWidth_ + columnGap_));
}

std::string TpgwDataBand::ClassDescription() const {
    return GetResources().GetText("obDataBand");
}

void TpgwDataBand::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == dataSet_) dataSet_ = nullptr;
    TpgwBand::Notification(component, operation);
}

// ---- TpgwSubreport -----------------------------------------------------------------------------

TpgwSubreport::TpgwSubreport(TComponent* owner) : TpgwView(owner) {
    // The page it stands for is what prepared pages show.
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::ShownInPreview);
    Frame()->SetTyp(ftAll);
    Font()->SetName("Tahoma");
    Font()->SetSize(8);
    SetColor(0xC0C0C0);
}

TpgwSubreport::~TpgwSubreport() {
    if (page_ && page_->Subreport() == this) page_->SetSubreport(nullptr);
}

void TpgwSubreport::RegisterProperties(TClassBuilder<TpgwSubreport>& b) {
    b.Add("Page", TypeInfoOfClass(TpgwReportPage::StaticClass()), &TpgwSubreport::Page,
          &TpgwSubreport::SetPage);
    b.Add("PrintOnParent", TypeInfoBoolean(), &TpgwSubreport::PrintOnParent,
          &TpgwSubreport::SetPrintOnParent)
        .Default(0);
}

void TpgwSubreport::SetPage(TpgwReportPage* value) {
    if (page_ && page_ != value && page_->Subreport() == this) page_->SetSubreport(nullptr);
    page_ = value;
    if (!value) return;
    FreeNotification(value);
    value->SetSubreport(this);
}

void TpgwSubreport::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                         double offsetY) {
    TpgwView::Draw(canvas, scaleX, scaleY, offsetX, offsetY);
    canvas.Font().Assign(*Font());
    canvas.TextOut(X() + 2, Y() + 2, Name());
}

std::string TpgwSubreport::ClassDescription() const {
    return GetResources().GetText("obSubRep");
}

void TpgwSubreport::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == page_) page_ = nullptr;
    TpgwView::Notification(component, operation);
}
