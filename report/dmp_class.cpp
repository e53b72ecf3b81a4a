#include "report/dmp_class.h"

#include <cmath>
#include <utility>

#include "platform/core/numbers.h"
#include "platform/graphics/font.h"
#include "report/band.h"
#include "report/registries.h"
#include "report/resources.h"
#include "report/xml_document.h"

namespace {

constexpr double CX = pg1CharX;
constexpr double CY = pg1CharY;

double roundTo(double value, double cell) {
    return RoundHalfEven(value / cell) * cell;
}

double truncTo(double value, double cell) {
    return std::trunc(value / cell) * cell;
}

TpgwDMPPage* dmpPageOf(const TpgwComponent& object) {
    return dynamic_cast<TpgwDMPPage*>(object.Page());
}

template <class C> void publishFontStyle(TClassBuilder<C>& b) {
    b.Add("FontStyle", TpgwDMPFontStylesType(), &C::FontStyle, &C::SetFontStyle)
        .Stored([](TObject& o) { return !static_cast<C&>(o).ParentFont(); });
}

template <class C> void publishParentFont(TClassBuilder<C>& b) {
    b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont, &C::SetParentFont)
        .Default(1);
}

void addFontStyleAttribute(std::string& text, TpgwDMPFontStyles style,
                           TpgwDMPFontStyles reference) {
    if (style != reference) AddAttribute(text, "FontStyle", std::to_string(style));
}

} // namespace

const TTypeInfo& TpgwDMPFontStylesType() {
    static const TTypeInfo& element = DefineEnumType(
        "TpgwDMPFontStyle", {"fsxBold", "fsxItalic", "fsxUnderline", "fsxSuperScript",
                             "fsxSubScript", "fsxCondensed", "fsxWide", "fsx12cpi", "fsx15cpi"});
    static const TTypeInfo& set = DefineSetType("TpgwDMPFontStyles", element);
    return set;
}

void SetDMPFont(TpgwComponent& object, TpgwDMPFontStyles style) {
    TFont& font = *object.Font();
    auto notify = std::exchange(font.OnChange, nullptr);
    font.SetName("Courier New");
    font.SetSize(12);
    TFontStyles screen;
    if (style & DMPStyle(fsxBold)) screen.Include(fsBold);
    if (style & DMPStyle(fsxItalic)) screen.Include(fsItalic);
    if (style & DMPStyle(fsxUnderline)) screen.Include(fsUnderline);
    font.SetStyle(screen);
    font.OnChange = std::move(notify);
}

// ---- TpgwDMPPage -------------------------------------------------------------------------------

TpgwDMPPage::TpgwDMPPage(TComponent* owner) : TpgwReportPage(owner) {
    SetDMPFont(*this, fontStyle_);
}

TpgwDMPPage::~TpgwDMPPage() = default;

void TpgwDMPPage::RegisterProperties(TClassBuilder<TpgwDMPPage>& b) {
    b.Add("FontStyle", TpgwDMPFontStylesType(), &TpgwDMPPage::FontStyle, &TpgwDMPPage::SetFontStyle)
        .NoDefault();
}

void TpgwDMPPage::SetFontStyle(TpgwDMPFontStyles value) {
    fontStyle_ = value;
    SetDMPFont(*this, fontStyle_);
    // Pre-order: a band takes the page's font before its objects take the band's.
    for (TpgwComponent* object : AllObjects())
        if (object->ParentFont()) object->SetParentFont(true);
}

void TpgwDMPPage::ApplyDefaults() {
    TpgwReportPage::ApplyDefaults();
    SetLeftMargin(CX / pg01cm);
    SetRightMargin(CX / pg01cm);
    SetTopMargin(CY / pg01cm);
    SetBottomMargin(CY / pg01cm);
    // Cut down, not rounded: the grid must stay on the paper.
    SetPaperDimensions(PaperSize(), truncTo(PaperWidth() * pg01cm, CX) / pg01cm,
                       truncTo(PaperHeight() * pg01cm, CY) / pg01cm);
}

void TpgwDMPPage::SetPaperSize(int value) {
    TpgwReportPage::SetPaperSize(value);
    SetPaperDimensions(PaperSize(), roundTo(PaperWidth() * pg01cm, CX) / pg01cm,
                       roundTo(PaperHeight() * pg01cm, CY) / pg01cm);
}

void TpgwDMPPage::SetPaperWidth(double value) {
    TpgwReportPage::SetPaperWidth(value);
    SetPaperDimensions(PaperSize(), roundTo(PaperWidth() * pg01cm, CX) / pg01cm, PaperHeight());
}

void TpgwDMPPage::SetPaperHeight(double value) {
    TpgwReportPage::SetPaperHeight(value);
    SetPaperDimensions(PaperSize(), PaperWidth(), roundTo(PaperHeight() * pg01cm, CY) / pg01cm);
}

// ---- TpgwDMPMemoView ---------------------------------------------------------------------------

TpgwDMPMemoView::TpgwDMPMemoView(TComponent* owner) : TpgwCustomMemoView(owner) {
    // The parent was set while the base was built; the page's style applies from the start.
    if (ParentFont())
        if (TpgwDMPPage* page = dmpPageOf(*this)) fontStyle_ = page->FontStyle();
    SetDMPFont(*this, fontStyle_);
    SetCharSpacing(0);
    SetLineSpacing(1);
    SetGapX(0);
    SetGapY(0);
}

TpgwDMPMemoView::~TpgwDMPMemoView() = default;

void TpgwDMPMemoView::RegisterProperties(TClassBuilder<TpgwDMPMemoView>& b) {
    using M = TpgwCustomMemoView;
    using D = TpgwDMPMemoView;
    b.Add("AutoWidth", TypeInfoBoolean(), &M::AutoWidth, &M::SetAutoWidth).Default(0);
    b.Add("AllowExpressions", TypeInfoBoolean(), &M::AllowExpressions, &M::SetAllowExpressions)
        .Default(1);
    PublishViewProperties(b, {"DataField", "DataSet", "DataSetName"});
    b.Add("DisplayFormat", TypeInfoOfClass(TpgwFormat::StaticClass()), &M::DisplayFormat,
          &M::SetDisplayFormat);
    b.Add("ExpressionDelimiters", TypeInfoString(), &M::ExpressionDelimiters,
          &M::SetExpressionDelimiters)
        .Stored([](TObject& o) { return static_cast<M&>(o).ExpressionDelimiters() != "[,]"; });
    b.Add("FlowTo", TypeInfoOfClass(TpgwCustomMemoView::StaticClass()), &M::FlowTo, &M::SetFlowTo);
    publishFontStyle(b);
    PublishViewProperties(b, {"Frame"});
    b.Add("HAlign", TpgwHAlignType(), &M::HAlign, &M::SetHAlign).Default(haLeft);
    b.Add("HideZeros", TypeInfoBoolean(), &M::HideZeros, &M::SetHideZeros).Default(0);
    b.Add("Memo", TypeInfoOfClass(TWideStrings::StaticClass()), &M::Memo, &M::SetMemo);
    publishParentFont(b);
    b.Add("RTLReading", TypeInfoBoolean(), &M::RTLReading, &M::SetRTLReading).Default(0);
    b.Add("SuppressRepeated", TypeInfoBoolean(), &M::SuppressRepeated, &M::SetSuppressRepeated)
        .Default(0);
    b.Add("TruncOutboundText", TypeInfoBoolean(), &D::TruncOutboundText, &D::SetTruncOutboundText)
        .NoDefault();
    b.Add("VAlign", TpgwVAlignType(), &M::VAlign, &M::SetVAlign).Default(vaTop);
    b.Add("WordWrap", TypeInfoBoolean(), &M::WordWrap, &M::SetWordWrap).Default(1);
}

std::string TpgwDMPMemoView::ClassDescription() const {
    return GetResources().GetText("obDMPText");
}

void TpgwDMPMemoView::SetFontStyle(TpgwDMPFontStyles value) {
    fontStyle_ = value;
    TpgwCustomMemoView::SetParentFont(false);
    SetDMPFont(*this, fontStyle_);
}

void TpgwDMPMemoView::SetParentFont(bool value) {
    TpgwCustomMemoView::SetParentFont(value);
    if (!value) return;
    if (TpgwDMPPage* page = dmpPageOf(*this)) {
        fontStyle_ = page->FontStyle();
        SetDMPFont(*this, fontStyle_);
    }
}

void TpgwDMPMemoView::SetLeft(double value) {
    TpgwCustomMemoView::SetLeft(Align() == baRight ? truncTo(value, CX) : roundTo(value, CX));
}

void TpgwDMPMemoView::SetTop(double value) {
    TpgwCustomMemoView::SetTop(roundTo(value, CY));
}

void TpgwDMPMemoView::SetWidth(double value) {
    TpgwCustomMemoView::SetWidth(roundTo(value, CX));
}

void TpgwDMPMemoView::SetHeight(double value) {
    TpgwCustomMemoView::SetHeight(roundTo(value, CY));
}

void TpgwDMPMemoView::SetBoundsDirect(double left, double top, double width, double height) {
    TpgwCustomMemoView::SetLeft(left);
    TpgwCustomMemoView::SetTop(top);
    TpgwCustomMemoView::SetWidth(width);
    TpgwCustomMemoView::SetHeight(height);
}

double TpgwDMPMemoView::CalcHeight() {
    return roundTo(TpgwCustomMemoView::CalcHeight(), CY);
}

double TpgwDMPMemoView::CalcWidth() {
    return roundTo(TpgwCustomMemoView::CalcWidth(), CX);
}

void TpgwDMPMemoView::DrawFrame() {
    const int x = x_, y = y_, x1 = x1_, y1 = y1_, dx = dx_, dy = dy_;
    x_ = RoundToPixel((AbsLeft() - CX / 2) * scaleX_ + offsetX_);
    y_ = RoundToPixel((AbsTop() - CY / 2) * scaleY_ + offsetY_);
    x1_ = RoundToPixel((AbsLeft() + Width() + CX / 2) * scaleX_ + offsetX_);
    y1_ = RoundToPixel((AbsTop() + Height() + CY / 2) * scaleY_ + offsetY_);
    dx_ = x1_ - x_;
    dy_ = y1_ - y_;
    TpgwCustomMemoView::DrawFrame();
    x_ = x, y_ = y, x1_ = x1, y1_ = y1, dx_ = dx, dy_ = dy;
}

std::string TpgwDMPMemoView::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwCustomMemoView::ChangedAttributes(reference);
    if (const auto* ref = dynamic_cast<TpgwDMPMemoView*>(reference))
        addFontStyleAttribute(text, fontStyle_, ref->fontStyle_);
    return text;
}

// ---- TpgwDMPLineView ---------------------------------------------------------------------------

TpgwDMPLineView::TpgwDMPLineView(TComponent* owner) : TpgwCustomLineView(owner) {
    if (ParentFont())
        if (TpgwDMPPage* page = dmpPageOf(*this)) fontStyle_ = page->FontStyle();
}

TpgwDMPLineView::~TpgwDMPLineView() = default;

void TpgwDMPLineView::RegisterProperties(TClassBuilder<TpgwDMPLineView>& b) {
    publishFontStyle(b);
    publishParentFont(b);
}

std::string TpgwDMPLineView::ClassDescription() const {
    return GetResources().GetText("obDMPLine");
}

void TpgwDMPLineView::SetFontStyle(TpgwDMPFontStyles value) {
    fontStyle_ = value;
    TpgwCustomLineView::SetParentFont(false);
}

void TpgwDMPLineView::SetParentFont(bool value) {
    TpgwCustomLineView::SetParentFont(value);
    if (!value) return;
    if (TpgwDMPPage* page = dmpPageOf(*this)) fontStyle_ = page->FontStyle();
}

void TpgwDMPLineView::SetLeft(double value) {
    double left = 0;
    if (value < 0)
        left = truncTo(value, CX) - CX / 2;
    else if (Align() == baRight)
        left = roundTo(value, CX) - CX / 2;
    else
        left = truncTo(value, CX) + CX / 2;
    TpgwCustomLineView::SetLeft(left);
}

void TpgwDMPLineView::SetTop(double value) {
    TpgwCustomLineView::SetTop(truncTo(value, CY) + CY / 2);
}

void TpgwDMPLineView::SetWidth(double value) {
    TpgwCustomLineView::SetWidth(Align() == baWidth ? truncTo(value, CX) : roundTo(value, CX));
}

std::string TpgwDMPLineView::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwCustomLineView::ChangedAttributes(reference);
    if (const auto* ref = dynamic_cast<TpgwDMPLineView*>(reference))
        addFontStyleAttribute(text, fontStyle_, ref->fontStyle_);
    return text;
}

// ---- TpgwDMPCommand ----------------------------------------------------------------------------

TpgwDMPCommand::TpgwDMPCommand(TComponent* owner) : TpgwView(owner) {}

TpgwDMPCommand::~TpgwDMPCommand() = default;

void TpgwDMPCommand::RegisterProperties(TClassBuilder<TpgwDMPCommand>& b) {
    b.Add("Command", TypeInfoString(), &TpgwDMPCommand::Command, &TpgwDMPCommand::SetCommand)
        .Stored([](TObject&) { return true; });
}

std::string TpgwDMPCommand::ClassDescription() const {
    return GetResources().GetText("obDMPCmd");
}

void TpgwDMPCommand::SetLeft(double value) {
    TpgwView::SetLeft(roundTo(value, CX));
}

void TpgwDMPCommand::SetTop(double value) {
    TpgwView::SetTop(roundTo(value, CY));
}

std::string TpgwDMPCommand::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwView::ChangedAttributes(reference);
    if (const auto* ref = dynamic_cast<TpgwDMPCommand*>(reference);
        ref && command_ != ref->command_)
        AddAttribute(text, "Command", EncodeXMLText(command_));
    return text;
}

// ---- registration ------------------------------------------------------------------------------

void RegisterDMPClasses() {
    RegisterClass(TpgwDMPPage::StaticClass());
    TpgwObjectCollection& objects = GetRegisteredObjects();
    objects.RegisterObject(TpgwDMPMemoView::StaticClass(), nullptr, pkDotMatrixPage, 2);
    objects.RegisterObject(TpgwDMPLineView::StaticClass(), nullptr, pkDotMatrixPage, 5);
    objects.RegisterObject(TpgwDMPCommand::StaticClass(), nullptr, pkDotMatrixPage, 21);
}

void UnregisterDMPClasses() {
    UnRegisterClass(TpgwDMPPage::StaticClass());
    TpgwObjectCollection& objects = GetRegisteredObjects();
    objects.Unregister(TpgwDMPMemoView::StaticClass());
    objects.Unregister(TpgwDMPLineView::StaticClass());
    objects.Unregister(TpgwDMPCommand::StaticClass());
}
