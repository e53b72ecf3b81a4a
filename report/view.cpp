#include "report/view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/graphics/canvas.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/xml_document.h"

namespace {

bool isHatch(TBrushStyle style) {
    return style >= bsHorizontal && style <= bsDiagCross;
}

bool hasSide(TpgwFrameTypes typ, TpgwFrameType side) {
    return (typ & FrameSide(side)) != 0;
}

void drawLine(TCanvas& canvas, int x, int y, int x1, int y1) {
    canvas.MoveTo(x, y);
    canvas.LineTo(x1, y1);
}

} // namespace

// ---- types
// ---------------------------------------------------------------------------------------

const TTypeInfo& TpgwAlignType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwAlign", {"baNone", "baLeft", "baRight", "baCenter", "baWidth",
                                     "baBottom", "baClient"});
    return t;
}

const TTypeInfo& TpgwShiftModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwShiftMode", {"smDontShift", "smAlways", "smWhenOverlapped"});
    return t;
}

const TTypeInfo& TpgwFrameStyleType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwFrameStyle", {"fsSolid", "fsDash", "fsDot", "fsDashDot", "fsDashDotDot",
                                          "fsDouble", "fsAltDot", "fsSquare"});
    return t;
}

const TTypeInfo& TpgwFrameTypesType() {
    static const TTypeInfo& element =
        DefineEnumType("TpgwFrameType", {"ftLeft", "ftRight", "ftTop", "ftBottom"});
    static const TTypeInfo& set = DefineSetType("TpgwFrameTypes", element);
    return set;
}

const TTypeInfo& TpgwShapeKindType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwShapeKind", {"skRectangle", "skRoundRectangle", "skEllipse",
                                         "skTriangle", "skDiamond", "skDiagonal1", "skDiagonal2"});
    return t;
}

const TTypeInfo& TpgwFormatKindType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwFormatKind", {"fkText", "fkNumeric", "fkDateTime", "fkBoolean"});
    return t;
}

const TTypeInfo& TpgwStretchModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwStretchMode", {"smDontStretch", "smActualHeight", "smMaxHeight"});
    return t;
}

const TTypeInfo& TBrushStyleType() {
    // The brush's own published Style carries the same names; this is the view's declared type.
    static const TTypeInfo& t =
        DefineEnumType("TBrushStyle", {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                                       "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"});
    return t;
}

namespace lumetra_detail {
void UnknownViewProperty(std::string_view name) {
    throw EPropertyError("Property " + std::string(name) + " is not a view property");
}
} // namespace lumetra_detail

// ---- thick line
// ----------------------------------------------------------------------------------

int RoundToPixel(double value) {
    constexpr double kLimit = 1 << 28;
    return static_cast<int>(Round(std::clamp(value, -kLimit, kLimit)));
}

// A double line is drawn with solid pens, alternate dots and squares get pens of their own
// where a frame side draws them, and a shape outlines them solid.
TPenStyle FramePenStyle(TpgwFrameStyle style) {
    switch (style) {
    case fsDash:
        return psDash;
    case fsDot:
        return psDot;
    case fsDashDot:
        return psDashDot;
    case fsDashDotDot:
        return psDashDotDot;
    default:
        return psSolid;
    }
}

void SetPlainPen(TCanvas& canvas, TColor color, int width, TPenStyle style) {
    TPenData pen;
    pen.Color = color;
    pen.Width = width;
    pen.Style = style;
    canvas.Pen().SetData(pen);
}

bool AttributeDiffers(double a, double b) {
    return std::fabs(a - b) > 0.0001;
}

void AddAttribute(std::string& text, std::string_view name, std::string_view value) {
    text += ' ';
    text += name;
    text += "=\"";
    text += value;
    text += '"';
}

void DrawThickLine(TCanvas& canvas, int x, int y, int x1, int y1, int width) {
    if (width == 0) width = 1;
    // One copy per pixel: a hostile frame or shadow width would draw (and record) a line a
    // billion times. No device is this wide.
    constexpr int kMaxThickLine = 1 << 15;
    width = std::min(width, kMaxThickLine);
    const int first = -(width / 2);
    const int last = width % 2 == 0 ? width / 2 - 1 : width / 2;
    const bool mostlyHorizontal = std::abs(x1 - x) > std::abs(y1 - y);
    // The copies are one pixel wide whatever width the pen was given.
    const int penWidth = canvas.Pen().Width();
    canvas.Pen().SetWidth(1);
    for (int offset = first; offset <= last; ++offset) {
        if (mostlyHorizontal)
            drawLine(canvas, x, y + offset, x1, y1 + offset);
        else
            drawLine(canvas, x + offset, y, x1 + offset, y1);
    }
    canvas.Pen().SetWidth(penWidth);
}

// ---- TpgwFrameLine
// -------------------------------------------------------------------------------

void TpgwFrameLine::RegisterProperties(TClassBuilder<TpgwFrameLine>& b) {
    using L = TpgwFrameLine;
    b.Add("Color", TypeInfoColor(), &L::Color, &L::SetColor).NoDefault().Stored(&L::IsColorStored);
    b.Add("Style", TpgwFrameStyleType(), &L::Style, &L::SetStyle)
        .NoDefault()
        .Stored(&L::IsStyleStored);
    b.Add("Width", TypeInfoExtended(), &L::Width, &L::SetWidth).Stored(&L::IsWidthStored);
}

void TpgwFrameLine::Assign(const TPersistent* source) {
    if (const auto* line = dynamic_cast<const TpgwFrameLine*>(source)) {
        color_ = line->color_;
        style_ = line->style_;
        width_ = line->width_;
        return;
    }
    TPersistent::Assign(source);
}

bool TpgwFrameLine::IsColorStored() const {
    return !frame_ || color_ != frame_->Color();
}

bool TpgwFrameLine::IsStyleStored() const {
    return !frame_ || style_ != frame_->Style();
}

bool TpgwFrameLine::IsWidthStored() const {
    return !frame_ || width_ != frame_->Width();
}

// ---- TpgwFrame
// -----------------------------------------------------------------------------------

TpgwFrame::TpgwFrame() = default;
TpgwFrame::~TpgwFrame() = default;

void TpgwFrame::RegisterProperties(TClassBuilder<TpgwFrame>& b) {
    using F = TpgwFrame;
    b.Add("Color", TypeInfoColor(), &F::Color, &F::SetColor).Default(clBlack);
    b.Add("DropShadow", TypeInfoBoolean(), &F::DropShadow, &F::SetDropShadow).Default(0);
    b.Add("ShadowColor", TypeInfoColor(), &F::ShadowColor, &F::SetShadowColor).Default(clBlack);
    b.Add("ShadowWidth", TypeInfoExtended(), &F::ShadowWidth, &F::SetShadowWidth)
        .Stored([](TObject& o) { return static_cast<F&>(o).ShadowWidth() != 4; });
    b.Add("Style", TpgwFrameStyleType(), &F::Style, &F::SetStyle).Default(fsSolid);
    b.Add("Typ", TpgwFrameTypesType(), &F::Typ, &F::SetTyp).Default(0);
    b.Add("Width", TypeInfoExtended(), &F::Width, &F::SetWidth).Stored([](TObject& o) {
        return static_cast<F&>(o).Width() != 1;
    });
    // After the frame's own members: reading the frame's Color, Style or Width sets every line,
    // and the lines' own values must win.
    const TTypeInfo& line = TypeInfoOfClass(TpgwFrameLine::StaticClass());
    b.Add("LeftLine", line, &F::LeftLine, &F::SetLeftLine);
    b.Add("TopLine", line, &F::TopLine, &F::SetTopLine);
    b.Add("RightLine", line, &F::RightLine, &F::SetRightLine);
    b.Add("BottomLine", line, &F::BottomLine, &F::SetBottomLine);
}

void TpgwFrame::Assign(const TPersistent* source) {
    if (const auto* frame = dynamic_cast<const TpgwFrame*>(source)) {
        if (frame == this) return;
        color_ = frame->color_;
        dropShadow_ = frame->dropShadow_;
        shadowColor_ = frame->shadowColor_;
        shadowWidth_ = frame->shadowWidth_;
        style_ = frame->style_;
        typ_ = frame->typ_;
        width_ = frame->width_;
        leftLine_.Assign(&frame->leftLine_);
        topLine_.Assign(&frame->topLine_);
        rightLine_.Assign(&frame->rightLine_);
        bottomLine_.Assign(&frame->bottomLine_);
        return;
    }
    TPersistent::Assign(source);
}

void TpgwFrame::SetColor(TColor value) {
    color_ = value;
    for (TpgwFrameLine* line : {&leftLine_, &topLine_, &rightLine_, &bottomLine_})
        line->SetColor(value);
}

void TpgwFrame::SetStyle(TpgwFrameStyle value) {
    style_ = value;
    for (TpgwFrameLine* line : {&leftLine_, &topLine_, &rightLine_, &bottomLine_})
        line->SetStyle(value);
}

void TpgwFrame::SetWidth(double value) {
    width_ = value;
    for (TpgwFrameLine* line : {&leftLine_, &topLine_, &rightLine_, &bottomLine_})
        line->SetWidth(value);
}

void TpgwFrame::SetLeftLine(TpgwFrameLine* value) {
    if (value) leftLine_.Assign(value);
}

void TpgwFrame::SetTopLine(TpgwFrameLine* value) {
    if (value) topLine_.Assign(value);
}

void TpgwFrame::SetRightLine(TpgwFrameLine* value) {
    if (value) rightLine_.Assign(value);
}

void TpgwFrame::SetBottomLine(TpgwFrameLine* value) {
    if (value) bottomLine_.Assign(value);
}

TpgwFrameLine* TpgwFrame::Line(TpgwFrameType side) const {
    switch (side) {
    case ftLeft:
        return &leftLine_;
    case ftRight:
        return &rightLine_;
    case ftTop:
        return &topLine_;
    case ftBottom:
        return &bottomLine_;
    }
    return &leftLine_;
}

std::string TpgwFrame::ChangedAttributes(const TpgwFrame& reference,
                                         std::string_view prefix) const {
    std::string text;
    const std::string p(prefix);
    const bool colorWritten = color_ != reference.color_;
    const bool styleWritten = style_ != reference.style_;
    const bool widthWritten = AttributeDiffers(width_, reference.width_);
    if (colorWritten) AddAttribute(text, p + "Color", std::to_string(color_));
    if (dropShadow_ != reference.dropShadow_)
        AddAttribute(text, p + "DropShadow", dropShadow_ ? "1" : "0");
    if (shadowColor_ != reference.shadowColor_)
        AddAttribute(text, p + "ShadowColor", std::to_string(shadowColor_));
    if (AttributeDiffers(shadowWidth_, reference.shadowWidth_))
        AddAttribute(text, p + "ShadowWidth", FloatToStr(shadowWidth_));
    if (styleWritten) AddAttribute(text, p + "Style", std::to_string(style_));
    if (typ_ != reference.typ_) AddAttribute(text, p + "Typ", std::to_string(typ_));
    if (widthWritten) AddAttribute(text, p + "Width", FloatToStr(width_));
    // A line follows the frame member written above it unless it differs from the frame; a
    // member not written compares with the reference's line.
    const std::pair<const char*, TpgwFrameType> lines[] = {{"LeftLine.", ftLeft},
                                                           {"TopLine.", ftTop},
                                                           {"RightLine.", ftRight},
                                                           {"BottomLine.", ftBottom}};
    for (const auto& [name, side] : lines) {
        const TpgwFrameLine& line = *Line(side);
        const TpgwFrameLine& ref = *reference.Line(side);
        const std::string lp = p + name;
        if (colorWritten ? line.Color() != color_ : line.Color() != ref.Color())
            AddAttribute(text, lp + "Color", std::to_string(line.Color()));
        if (styleWritten ? line.Style() != style_ : line.Style() != ref.Style())
            AddAttribute(text, lp + "Style", std::to_string(line.Style()));
        if (widthWritten ? line.Width() != width_ : AttributeDiffers(line.Width(), ref.Width()))
            AddAttribute(text, lp + "Width", FloatToStr(line.Width()));
    }
    return text;
}

// ---- TpgwView
// ------------------------------------------------------------------------------------

TpgwView::TpgwView(TComponent* owner)
    : TpgwReportComponent(owner), frame_(std::make_unique<TpgwFrame>()) {
    SetObjectTraits(ObjectTraits() | TpgwObjectTraits::DiffAgainstDefault);
}

TpgwView::~TpgwView() {
    SetDataSet(nullptr);
}

void TpgwView::RegisterProperties(TClassBuilder<TpgwView>& b) {
    using V = TpgwView;
    b.Add("Left", TypeInfoExtended(), &V::Left, &V::SetLeft);
    b.Add("Top", TypeInfoExtended(), &V::Top, &V::SetTop);
    b.Add("Width", TypeInfoExtended(), &V::Width, &V::SetWidth);
    b.Add("Height", TypeInfoExtended(), &V::Height, &V::SetHeight);
    b.Add("Align", TpgwAlignType(), &V::Align, &V::SetAlign).Default(baNone);
    b.Add("Printable", TypeInfoBoolean(), &V::Printable, &V::SetPrintable).Default(1);
    b.Add("ShiftMode", TpgwShiftModeType(), &V::ShiftMode, &V::SetShiftMode).Default(smAlways);
    b.Add("Visible", TypeInfoBoolean(), &V::Visible, &V::SetVisible).Default(1);
    b.Add("GroupIndex", TypeInfoInteger(), &V::GroupIndex, &V::SetGroupIndex).Default(0);
    b.Add("Restrictions", TpgwRestrictionsType(), &V::Restrictions, &V::SetRestrictions).Default(0);
    b.Add("Hint", TypeInfoString(), &V::Hint, &V::SetHint);
    b.Add("ShowHint", TypeInfoBoolean(), &V::ShowHint, &V::SetShowHint).Default(0);
    b.Add("OnAfterData", TypeInfoString(), &V::OnAfterData, &V::OnAfterData);
    b.Add("OnAfterPrint", TypeInfoString(), &V::OnAfterPrint, &V::OnAfterPrint);
    b.Add("OnBeforePrint", TypeInfoString(), &V::OnBeforePrint, &V::OnBeforePrint);
    b.Add("OnPreviewClick", TypeInfoString(), &V::OnPreviewClick, &V::OnPreviewClick);
    b.Add("OnPreviewDblClick", TypeInfoString(), &V::OnPreviewDblClick, &V::OnPreviewDblClick);
}

void TpgwView::SetDataSet(TpgwDataSet* value) {
    if (dataSet_ == value) {
        dataSetName_ = value ? value->UserName() : std::string();
        return;
    }
    if (dataSet_) dataSet_->RemoveFreeNotification(this);
    dataSet_ = value;
    if (dataSet_) dataSet_->FreeNotification(this);
    dataSetName_ = value ? value->UserName() : std::string();
}

std::string TpgwView::DataSetName() const {
    return dataSet_ ? dataSet_->UserName() : dataSetName_;
}

void TpgwView::SetDataSetName(const std::string& value) {
    SetDataSet(DataSetByName(value));
    dataSetName_ = value;
}

void TpgwView::SetFrame(TpgwFrame* value) {
    if (value) frame_->Assign(value);
}

void TpgwView::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component && component == dataSet_) dataSet_ = nullptr;
    TpgwReportComponent::Notification(component, operation);
}

// ---- drawing

void TpgwView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX, double offsetY) {
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    DrawBackground();
    DrawFrame();
}

void TpgwView::BeginDraw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                         double offsetY) {
    SetDrawRect(canvas, scaleX, scaleY, offsetX, offsetY, AbsLeft(), AbsTop(), Width(), Height());
}

void TpgwView::SetDrawRect(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                           double offsetY, double absLeft, double absTop, double width,
                           double height) {
    canvas_ = &canvas;
    scaleX_ = scaleX;
    scaleY_ = scaleY;
    offsetX_ = offsetX;
    offsetY_ = offsetY;
    x_ = RoundToPixel(offsetX + scaleX * absLeft);
    y_ = RoundToPixel(offsetY + scaleY * absTop);
    x1_ = RoundToPixel(offsetX + scaleX * (absLeft + width));
    y1_ = RoundToPixel(offsetY + scaleY * (absTop + height));
    if (frame_->DropShadow()) {
        // The shadow lies inside the object's bounds.
        x1_ -= RoundToPixel(scaleX * frame_->ShadowWidth());
        y1_ -= RoundToPixel(scaleY * frame_->ShadowWidth());
    }
    dx_ = x1_ - x_;
    dy_ = y1_ - y_;
    fw_ = RoundToPixel(scaleX * frame_->Width());
}

void TpgwView::DrawBackground() {
    if (!canvas_) return;
    TCanvas& canvas = *canvas_;
    canvas.Brush().SetStyle(brushStyle_);
    if (color_ != clNone) {
        canvas.Brush().SetColor(color_);
        canvas.Brush().SetStyle(bsSolid);
        canvas.FillRect(TRect{x_, y_, x1_, y1_});
    }
    if (isHatch(brushStyle_)) {
        // Without an outline: the pen is whatever the previous object left on the canvas.
        const TPenData pen = canvas.Pen().Data();
        canvas.Pen().SetStyle(psClear);
        canvas.Brush().SetColor(frame_->Color());
        canvas.Brush().SetStyle(brushStyle_);
        canvas.Rectangle(x_, y_, x1_ + 1, y1_ + 1);
        canvas.Pen().SetData(pen);
    }
}

void TpgwView::DrawFrame() {
    if (!canvas_) return;
    TCanvas& canvas = *canvas_;
    const TpgwFrame& frame = *frame_;
    if (frame.DropShadow()) {
        SetPlainPen(canvas, frame.ShadowColor(), 1, psSolid);
        const int sw = RoundToPixel(frame.ShadowWidth() * scaleX_);
        const int sh = RoundToPixel(frame.ShadowWidth() * scaleY_);
        DrawThickLine(canvas, x1_ + sw / 2, y_ + sw, x1_ + sw / 2, y1_, sw);
        DrawThickLine(canvas, x_ + sh, y1_ + sh / 2, x1_ + sh, y1_ + sh / 2, sh);
    }
    const TpgwFrameTypes typ = frame.Typ();
    if (typ == 0 || frame.Color() == clNone || frame.Width() == 0) return;

    canvas.Brush().SetStyle(bsSolid);
    if (frame.Style() != fsSolid) {
        // Gaps of dashed lines show the object's background.
        if (color_ == clNone) {
            canvas.Brush().SetStyle(bsClear);
        } else {
            canvas.Brush().SetColor(color_);
        }
    }
    const bool left = hasSide(typ, ftLeft), right = hasSide(typ, ftRight);
    const bool top = hasSide(typ, ftTop), bottom = hasSide(typ, ftBottom);
    if (left) DrawFrameSide(ftLeft, top, bottom);
    if (right) DrawFrameSide(ftRight, top, bottom);
    if (top) DrawFrameSide(ftTop, left, right);
    if (bottom) DrawFrameSide(ftBottom, left, right);
}

void TpgwView::DrawFrameSide(TpgwFrameType side, bool startJoined, bool endJoined) {
    TCanvas& canvas = *canvas_;
    const TpgwFrameLine& line = *frame_->Line(side);
    const TpgwFrameStyle style = line.Style();
    const int p = RoundToPixel(line.Width() * scaleX_);
    const bool solid = style == fsSolid || style == fsDouble;
    SetPlainPen(canvas, line.Color(), solid ? p : 1, solid ? psSolid : FramePenStyle(style));

    const int penWidth = canvas.Pen().Width();
    const bool plainFrame = frame_->Style() == fsSolid;
    int x = 0, y = 0, x1 = 0, y1 = 0;
    switch (side) {
    case ftLeft:
        x = x_, y = y_ - (penWidth == 2 && !plainFrame ? 1 : 0), x1 = x_, y1 = y1_;
        break;
    case ftRight:
        x = x1_, y = y_, x1 = x1_, y1 = y1_;
        break;
    case ftTop:
        x = x_, y = y_, x1 = x1_, y1 = y_;
        break;
    case ftBottom:
        x = x_, y = y1_, x1 = x1_ + (penWidth == 1 && !plainFrame ? 1 : 0), y1 = y1_;
        break;
    }
    const bool vertical = side == ftLeft || side == ftRight;
    // Lengthens a side by atStart before its start and atEnd past its end (negative: shortens).
    auto extend = [](int& start, int& end, int atStart, int atEnd) {
        start -= atStart;
        end += atEnd;
    };

    if (solid) {
        // Square ends would stick out past a corner with no neighbouring side.
        const int pullStart = startJoined ? 0 : p / 2;
        const int pullEnd = endJoined ? 0 : p / 2;
        extend(vertical ? y : x, vertical ? y1 : x1, -pullStart, -pullEnd);
    }

    if (style == fsSolid) {
        const TPenData saved = canvas.Pen().Data();
        canvas.Pen().SetEndCap(pecSquare);
        // A one-pixel pen leaves out the end point; a square-capped line covers it.
        if (p <= 1) (vertical ? y1 : x1) += 1;
        drawLine(canvas, x, y, x1, y1);
        canvas.Pen().SetData(saved);
        return;
    }

    if (style == fsDouble) {
        // Two lines at distance p on either side; the outer one reaches past joined ends and
        // the inner one stops short of them, so the lines of adjacent sides meet in corners.
        const bool outerIsSmaller = side == ftLeft || side == ftTop;
        const int startDelta = startJoined ? p : 0;
        const int endDelta = endJoined ? p : 0;
        auto parallel = [&](int offset, bool outer) {
            int ax = x, ay = y, bx = x1, by = y1;
            const int sign = outer ? 1 : -1;
            if (vertical) {
                ax += offset, bx += offset;
                extend(ay, by, sign * startDelta, sign * endDelta);
            } else {
                ay += offset, by += offset;
                extend(ax, bx, sign * startDelta, sign * endDelta);
            }
            drawLine(canvas, ax, ay, bx, by);
        };
        parallel(-p, outerIsSmaller);
        if (color_ != clNone) {
            canvas.Pen().SetColor(color_);
            drawLine(canvas, x, y, x1, y1);
            canvas.Pen().SetColor(line.Color());
        }
        parallel(p, !outerIsSmaller);
        return;
    }

    if (style == fsAltDot || style == fsSquare) {
        if (color_ != clNone) {
            SetPlainPen(canvas, color_, 1, psSolid);
            DrawThickLine(canvas, x, y, x1, y1, p);
        }
        TPenData pen;
        pen.Color = line.Color();
        pen.Width = std::max(p, 1);
        pen.Style = psUserStyle;
        pen.EndCap = pecFlat;
        if (p < 2) {
            pen.Dashes = {1, 1};
        } else if (style == fsSquare) {
            pen.Dashes = {p, p};
        } else {
            pen.Dashes = {0, 2 * p};
            pen.EndCap = pecRound;
        }
        canvas.Pen().SetData(pen);
        drawLine(canvas, x, y, x1, y1);
        SetPlainPen(canvas, line.Color(), 1, psSolid);
        return;
    }

    DrawThickLine(canvas, x, y, x1, y1, p);
}

// ---- output

void TpgwView::SaveForPrint() {
    TpgwReportComponent::SaveForPrint();
    savedTagStr_ = tagStr_;
    savedURL_ = url_;
    if (TpgwCustomReport* report = Report()) report->SetSelfValue(this);
}

void TpgwView::FetchData() {
    if (tagStr_.find('[') != std::string::npos) ExpandBrackets(tagStr_);
    if (url_.find('[') != std::string::npos) ExpandBrackets(url_);
}

void TpgwView::RestoreAfterPrint() {
    TpgwReportComponent::RestoreAfterPrint();
    tagStr_ = savedTagStr_;
    url_ = savedURL_;
}

void TpgwView::ExpandBrackets(std::string& text) {
    TpgwCustomReport* report = Report();
    if (!report) return;
    // Built in a copy: a failing expression leaves the text as it was.
    std::string result = text;
    std::size_t pos = 0;
    for (;;) {
        // UTF-8 continuation bytes are never "[", so a plain search keeps characters whole.
        std::size_t start = result.find('[', pos);
        if (start == std::string::npos) break;
        std::size_t end = start;
        std::string expression;
        try {
            ExtractExpression(result, "[", "]", expression, end, start);
        } catch (const EConvertError&) {
            // An unclosed bracket is text: stored templates with a stray "[" still print.
            break;
        }
        if (end == start) break;
        const std::string value = VarToStr(report->Calc(expression));
        result.replace(start, end - start + 1, value);
        pos = start + value.size();
    }
    text = std::move(result);
}

std::string TpgwView::ChangedAttributes(TpgwComponent* reference) {
    std::string text = BaseChangedAttributes(reference);
    auto* ref = dynamic_cast<TpgwView*>(reference);
    if (!ref) return text;
    if (brushStyle_ != ref->brushStyle_) AddAttribute(text, "BrushStyle", std::to_string(brushStyle_));
    if (align_ != ref->align_) AddAttribute(text, "Align", std::to_string(align_));
    if (color_ != ref->color_) AddAttribute(text, "Color", std::to_string(color_));
    text += frame_->ChangedAttributes(*ref->frame_, "Frame.");
    if (cursor_ != ref->cursor_) AddAttribute(text, "Cursor", std::to_string(cursor_));
    if (printable_ != ref->printable_) AddAttribute(text, "Printable", printable_ ? "1" : "0");
    if (tagStr_ != ref->tagStr_) AddAttribute(text, "TagStr", EncodeXMLText(tagStr_));
    if (url_ != ref->url_) AddAttribute(text, "URL", EncodeXMLText(url_));
    return text;
}

// ---- TpgwStretcheable
// ----------------------------------------------------------------------------

TpgwStretcheable::TpgwStretcheable(TComponent* owner) : TpgwView(owner) {}
TpgwStretcheable::~TpgwStretcheable() = default;

void TpgwStretcheable::RegisterProperties(TClassBuilder<TpgwStretcheable>& b) {
    b.Add("StretchMode", TpgwStretchModeType(), &TpgwStretcheable::StretchMode,
          &TpgwStretcheable::SetStretchMode)
        .Default(smDontStretch);
}

// ---- TpgwShapeView
// -------------------------------------------------------------------------------

TpgwShapeView::TpgwShapeView(TComponent* owner) : TpgwView(owner) {
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::DiffAgainstDefault);
}

TpgwShapeView::~TpgwShapeView() = default;

void TpgwShapeView::RegisterProperties(TClassBuilder<TpgwShapeView>& b) {
    using S = TpgwShapeView;
    PublishViewProperties(b, {"BrushStyle", "Color", "Cursor"});
    b.Add("Curve", TypeInfoInteger(), &S::Curve, &S::SetCurve).Default(0);
    PublishViewProperties(b, {"Frame"});
    b.Add("Shape", TpgwShapeKindType(), &S::Shape, &S::SetShape).Default(skRectangle);
    PublishViewProperties(b, {"TagStr", "URL"});
}

TpgwShapeView* TpgwShapeView::CreateInDesigner(TComponent* owner, int flags) {
    auto* shape =
        static_cast<TpgwShapeView*>(TpgwComponent::CreateInDesigner(StaticClass(), owner));
    if (flags >= skRectangle && flags <= skDiagonal2)
        shape->SetShape(static_cast<TpgwShapeKind>(flags));
    return shape;
}

std::string TpgwShapeView::ClassDescription() const {
    return GetResources().GetText("obShape");
}

std::string TpgwShapeView::ChangedAttributes(TpgwComponent* reference) {
    std::string text = TpgwView::ChangedAttributes(reference);
    if (auto* ref = dynamic_cast<TpgwShapeView*>(reference); ref && shape_ != ref->shape_)
        AddAttribute(text, "Shape", std::to_string(shape_));
    return text;
}

void TpgwShapeView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                         double offsetY) {
    const TpgwFrameStyle style = Frame()->Style();
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    if (style != fsDouble) {
        Paint(style);
        return;
    }
    // A double outline: the shape, then the same shape drawn inside it at a distance of
    // multiples of the frame width, both solid.
    Paint(fsSolid);
    const double w = Frame()->Width();
    double l = AbsLeft(), t = AbsTop(), wd = Width(), h = Height();
    switch (shape_) {
    case skRectangle:
    case skRoundRectangle:
    case skEllipse:
        l += 2 * w, t += 2 * w, wd -= 4 * w, h -= 4 * w;
        break;
    case skTriangle:
        l += 4 * w, t += 4 * w, wd -= 8 * w, h -= 6 * w;
        break;
    case skDiamond:
        l += 3 * w, t += 3 * w, wd -= 6 * w, h -= 6 * w;
        break;
    case skDiagonal1:
    case skDiagonal2:
        l += 2 * w;
        break;
    }
    SetDrawRect(canvas, scaleX, scaleY, offsetX, offsetY, l, t, wd, h);
    Paint(fsSolid);
}

void TpgwShapeView::Paint(TpgwFrameStyle style) {
    TCanvas& canvas = *canvas_;
    const TColor frameColor = Frame()->Color();
    const TPenStyle penStyle = frameColor == clNone ? psClear : FramePenStyle(style);
    SetPlainPen(canvas, frameColor, fw_, penStyle);
    canvas.Brush().SetStyle(bsSolid);
    canvas.SetBackgroundMode(bmOpaque);
    if (isHatch(BrushStyle())) {
        if (Color() != clNone) {
            canvas.Brush().SetColor(Color());
            canvas.Brush().SetStyle(bsSolid);
            DrawGeometry();
        }
        canvas.Brush().SetColor(frameColor);
        canvas.Brush().SetStyle(BrushStyle());
        DrawGeometry();
        return;
    }
    if (Color() == clNone) {
        canvas.Brush().SetStyle(bsClear);
    } else {
        canvas.Brush().SetColor(Color());
        canvas.Brush().SetStyle(bsSolid);
    }
    DrawGeometry();
}

void TpgwShapeView::DrawGeometry() {
    TCanvas& canvas = *canvas_;
    const int x = x_, y = y_, x1 = x1_, y1 = y1_, dx = dx_, dy = dy_;
    switch (shape_) {
    case skRectangle:
        canvas.Rectangle(x, y, x1 + 1, y1 + 1);
        break;
    case skRoundRectangle: {
        const int d = curve_ != 0 ? RoundToPixel(curve_ * scaleX_ * 10) : std::min(dx, dy) / 4;
        canvas.RoundRect(x, y, x1 + 1, y1 + 1, d, d);
        break;
    }
    case skEllipse:
        canvas.Ellipse(x, y, x1 + 1, y1 + 1);
        break;
    case skTriangle:
        canvas.Polygon({{x1, y1}, {x, y1}, {x + dx / 2, y}, {x1, y1}});
        break;
    case skDiamond:
        canvas.Polygon({{x + dx / 2, y}, {x1, y + dy / 2}, {x + dx / 2, y1}, {x, y + dy / 2}});
        break;
    case skDiagonal1:
        DrawThickLine(canvas, x, y1, x1, y, fw_);
        break;
    case skDiagonal2:
        DrawThickLine(canvas, x, y, x1, y1, fw_);
        break;
    }
}

// ---- TpgwHighlight
// -------------------------------------------------------------------------------

TpgwHighlight::TpgwHighlight() : font_(std::make_unique<TFont>()) {
    font_->SetName("Arial");
    font_->SetSize(10);
    font_->SetColor(0x0000FF);
    font_->SetCharset(DEFAULT_CHARSET);
}

TpgwHighlight::~TpgwHighlight() = default;

void TpgwHighlight::RegisterProperties(TClassBuilder<TpgwHighlight>& b) {
    using H = TpgwHighlight;
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &H::Font, &H::SetFont);
    b.Add("Color", TypeInfoColor(), &H::Color, &H::SetColor).Default(clNone);
    b.Add("Condition", TypeInfoString(), &H::Condition, &H::SetCondition);
    // Set while printing only; published so that a prepared page read back keeps it.
    b.Add("Active", TypeInfoBoolean(), &H::Active, &H::SetActive).Default(0);
}

void TpgwHighlight::Assign(const TPersistent* source) {
    if (const auto* h = dynamic_cast<const TpgwHighlight*>(source)) {
        if (h == this) return;
        font_->Assign(*h->font_);
        color_ = h->color_;
        condition_ = h->condition_;
        return;
    }
    TPersistent::Assign(source);
}

void TpgwHighlight::SetFont(TFont* value) {
    if (value) font_->Assign(*value);
}

// ---- TpgwFormat
// ----------------------------------------------------------------------------------

TpgwFormat::~TpgwFormat() = default;

void TpgwFormat::RegisterProperties(TClassBuilder<TpgwFormat>& b) {
    using F = TpgwFormat;
    b.Add("DecimalSeparator", TypeInfoString(), &F::DecimalSeparator, &F::SetDecimalSeparator);
    b.Add("FormatStr", TypeInfoString(), &F::FormatStr, &F::SetFormatStr);
    b.Add("Kind", TpgwFormatKindType(), &F::Kind, &F::SetKind).Default(fkText);
    b.Add("ThousandSeparator", TypeInfoString(), &F::ThousandSeparator, &F::SetThousandSeparator);
}

void TpgwFormat::Assign(const TPersistent* source) {
    if (const auto* f = dynamic_cast<const TpgwFormat*>(source)) {
        if (f == this) return;
        decimalSeparator_ = f->decimalSeparator_;
        thousandSeparator_ = f->thousandSeparator_;
        formatStr_ = f->formatStr_;
        kind_ = f->kind_;
        return;
    }
    TPersistent::Assign(source);
}

// ---- registration
// --------------------------------------------------------------------------------

void RegisterViewClasses() {
    RegisterClasses<TpgwFrameLine, TpgwFrame, TpgwView, TpgwStretcheable, TpgwShapeView,
                    TpgwHighlight, TpgwFormat>();
}
