#pragma once
// Visible report objects: the frame with its four side lines and drop shadow, the view base
// (fill colour and hatch, data-field binding, tag text and hyperlink with bracketed
// expressions, the pixel rectangle every view draws in), the stretchable base, the shape, and
// the highlight and display-format values of text objects.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/properties.h"
#include "platform/graphics/brush.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "platform/graphics/pen.h"
#include "report/component.h"
#include "report/data_set.h"

class TCanvas;
class TpgwFrame;

enum TpgwShiftMode : std::uint8_t { smDontShift, smAlways, smWhenOverlapped };
enum TpgwFrameStyle : std::uint8_t {
    fsSolid,
    fsDash,
    fsDot,
    fsDashDot,
    fsDashDotDot,
    fsDouble,
    fsAltDot,
    fsSquare
};
// Sides of a frame; TpgwFrameTypes holds them as bits 1 << ordinal (ftLeft 1 ... ftBottom 8).
enum TpgwFrameType : std::uint8_t { ftLeft, ftRight, ftTop, ftBottom };
using TpgwFrameTypes = std::uint8_t;
inline constexpr TpgwFrameTypes FrameSide(TpgwFrameType side) {
    return static_cast<TpgwFrameTypes>(1u << side);
}
inline constexpr TpgwFrameTypes ftAll = 0x0F;
enum TpgwShapeKind : std::uint8_t {
    skRectangle,
    skRoundRectangle,
    skEllipse,
    skTriangle,
    skDiamond,
    skDiagonal1,
    skDiagonal2
};
enum TpgwFormatKind : std::uint8_t { fkText, fkNumeric, fkDateTime, fkBoolean };
enum TpgwStretchMode : std::uint8_t { smDontStretch, smActualHeight, smMaxHeight };

// Declared types of the published enumerations and sets.
const TTypeInfo& TpgwAlignType();
const TTypeInfo& TpgwShiftModeType();
const TTypeInfo& TpgwFrameStyleType();
const TTypeInfo& TpgwFrameTypesType();
const TTypeInfo& TpgwShapeKindType();
const TTypeInfo& TpgwFormatKindType();
const TTypeInfo& TpgwStretchModeType();
const TTypeInfo& TBrushStyleType();

// A line of width pixels between two pixel points, drawn as parallel one-pixel lines with the
// canvas pen (0 counts as 1). The copies step vertically for a mostly horizontal line, else
// horizontally.
void DrawThickLine(TCanvas& canvas, int x, int y, int x1, int y1, int width);

// Shared by the views' drawing and attribute writers.
// A pixel position, rounded half to even; positions far outside any device are held back so
// that the sums drawing makes of a few of them cannot overflow.
int RoundToPixel(double value);
// The platform pen of a frame style; the styles past dash-dot-dot have no stock pen and map to
// solid.
TPenStyle FramePenStyle(TpgwFrameStyle style);
// A plain pen of that colour, width and style: caps or dashes an earlier object left go.
void SetPlainPen(TCanvas& canvas, TColor color, int width, TPenStyle style);
// Prepared-page attributes: floats differ beyond 0.0001; an attribute is ` name="value"`.
bool AttributeDiffers(double a, double b);
void AddAttribute(std::string& text, std::string_view name, std::string_view value);

// One side of a frame. Its members are stored only where they differ from the frame's.
class TpgwFrameLine : public TPersistent {
    LUMETRA_CLASS(TpgwFrameLine, TPersistent)
public:
    explicit TpgwFrameLine(TpgwFrame* frame = nullptr) : frame_(frame) {}
    static void RegisterProperties(TClassBuilder<TpgwFrameLine>& b);
    void Assign(const TPersistent* source) override;

    TpgwFrame* Frame() const { return frame_; }
    TColor Color() const { return color_; }
    void SetColor(TColor value) { color_ = value; }
    TpgwFrameStyle Style() const { return style_; }
    void SetStyle(TpgwFrameStyle value) { style_ = value; }
    double Width() const { return width_; }
    void SetWidth(double value) { width_ = value; }

    bool IsColorStored() const;
    bool IsStyleStored() const;
    bool IsWidthStored() const;

private:
    TpgwFrame* frame_;
    TColor color_ = clBlack;
    TpgwFrameStyle style_ = fsSolid;
    double width_ = 1;
};

// The frame of a view: which sides are drawn, one line per side, and a drop shadow. Setting
// the frame's Color, Style or Width sets that member of all four lines.
class TpgwFrame : public TPersistent {
    LUMETRA_CLASS(TpgwFrame, TPersistent)
public:
    TpgwFrame();
    ~TpgwFrame() override;
    static void RegisterProperties(TClassBuilder<TpgwFrame>& b);
    void Assign(const TPersistent* source) override;

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TpgwFrameStyle Style() const { return style_; }
    void SetStyle(TpgwFrameStyle value);
    double Width() const { return width_; }
    void SetWidth(double value);
    TpgwFrameTypes Typ() const { return typ_; }
    void SetTyp(TpgwFrameTypes value) { typ_ = value; }
    bool DropShadow() const { return dropShadow_; }
    void SetDropShadow(bool value) { dropShadow_ = value; }
    TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(TColor value) { shadowColor_ = value; }
    double ShadowWidth() const { return shadowWidth_; }
    void SetShadowWidth(double value) { shadowWidth_ = value; }

    // The setters copy the given line into the owned one.
    TpgwFrameLine* LeftLine() const { return &leftLine_; }
    void SetLeftLine(TpgwFrameLine* value);
    TpgwFrameLine* TopLine() const { return &topLine_; }
    void SetTopLine(TpgwFrameLine* value);
    TpgwFrameLine* RightLine() const { return &rightLine_; }
    void SetRightLine(TpgwFrameLine* value);
    TpgwFrameLine* BottomLine() const { return &bottomLine_; }
    void SetBottomLine(TpgwFrameLine* value);
    // The line of a side.
    TpgwFrameLine* Line(TpgwFrameType side) const;

    // The prepared-page attributes of this frame against reference, each prefixed with
    // prefix ("Frame.").
    std::string ChangedAttributes(const TpgwFrame& reference, std::string_view prefix) const;

private:
    mutable TpgwFrameLine leftLine_{this};
    mutable TpgwFrameLine topLine_{this};
    mutable TpgwFrameLine rightLine_{this};
    mutable TpgwFrameLine bottomLine_{this};
    TColor color_ = clBlack;
    TColor shadowColor_ = clBlack;
    double width_ = 1;
    double shadowWidth_ = 4;
    TpgwFrameStyle style_ = fsSolid;
    TpgwFrameTypes typ_ = 0;
    bool dropShadow_ = false;
};

// Base of every visible report object.
class TpgwView : public TpgwReportComponent {
    LUMETRA_CLASS(TpgwView, TpgwReportComponent)
public:
    explicit TpgwView(TComponent* owner);
    ~TpgwView() override;
    // Bounds, Align, Printable, ShiftMode, Visible, GroupIndex, Restrictions, Hint, ShowHint
    // and the five event names.
    static void RegisterProperties(TClassBuilder<TpgwView>& b);

    // Publishes, in a descendant's table, the view properties it uses, by name: "BrushStyle",
    // "Color", "Cursor", "DataField", "DataSet", "DataSetName", "Frame", "TagStr", "URL".
    // An unknown name raises EPropertyError.
    template <class C>
    static void PublishViewProperties(TClassBuilder<C>& b,
                                      std::initializer_list<std::string_view> names);

    // ---- published state
    TpgwAlign Align() const { return align_; }
    void SetAlign(TpgwAlign value) { align_ = value; }
    bool Printable() const { return printable_; }
    void SetPrintable(bool value) { printable_ = value; }
    TpgwShiftMode ShiftMode() const { return shiftMode_; }
    void SetShiftMode(TpgwShiftMode value) { shiftMode_ = value; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value) { showHint_ = value; }

    TpgwDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TpgwDataSet* value);
    // The bound data set's user name, or the name given while none was found.
    std::string DataSetName() const;
    void SetDataSetName(const std::string& value);
    const std::string& DataField() const { return dataField_; }
    void SetDataField(const std::string& value) { dataField_ = value; }
    bool HasDataField() const { return dataSet_ && !dataField_.empty(); }

    // Setting it copies the given frame.
    TpgwFrame* Frame() const { return frame_.get(); }
    void SetFrame(TpgwFrame* value);
    TColor Color() const { return color_; }
    void SetColor(TColor value) { color_ = value; }
    TBrushStyle BrushStyle() const { return brushStyle_; }
    void SetBrushStyle(TBrushStyle value) { brushStyle_ = value; }
    int Cursor() const { return cursor_; }
    void SetCursor(int value) { cursor_ = value; }
    const std::string& TagStr() const { return tagStr_; }
    void SetTagStr(const std::string& value) { tagStr_ = value; }
    const std::string& URL() const { return url_; }
    void SetURL(const std::string& value) { url_ = value; }
    // Asks ExportText for plain text instead of the object's own format (set by an export
    // around the call).
    bool ExportAsPlainText() const { return exportAsPlainText_; }
    void SetExportAsPlainText(bool value) { exportAsPlainText_ = value; }

    // ---- drawing
    // BeginDraw, DrawBackground, DrawFrame.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    // Keeps the canvas, scale and offset and computes the pixel rectangle and frame width.
    virtual void BeginDraw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                           double offsetY);
    virtual void DrawBackground();
    // The shadow, then the sides.
    virtual void DrawFrame();

    // The drawing state of the last BeginDraw.
    TCanvas* Canvas() const { return canvas_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }
    double OffsetX() const { return offsetX_; }
    double OffsetY() const { return offsetY_; }
    int X() const { return x_; }
    int Y() const { return y_; }
    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int DX() const { return dx_; }
    int DY() const { return dy_; }
    int FW() const { return fw_; }

    // ---- output
    // Keeps the bounds, TagStr and URL, and tells the report which view is being output.
    void SaveForPrint() override;
    // Expands the bracketed expressions of TagStr and URL.
    void FetchData() override;
    void RestoreAfterPrint() override;
    std::string ChangedAttributes(TpgwComponent* reference) override;

    // Replaces each "[expression]" of text by the value the report calculates for it; the
    // inserted text is not scanned again. Without a report the text stays as it is.
    void ExpandBrackets(std::string& text);

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // The drawing state for a rectangle in absolute report units (BeginDraw passes the
    // object's own bounds).
    void SetDrawRect(TCanvas& canvas, double scaleX, double scaleY, double offsetX, double offsetY,
                     double absLeft, double absTop, double width, double height);

    TCanvas* canvas_ = nullptr;
    double scaleX_ = 1;
    double scaleY_ = 1;
    double offsetX_ = 0;
    double offsetY_ = 0;
    int x_ = 0;
    int y_ = 0;
    int x1_ = 0;
    int y1_ = 0;
    int dx_ = 0;
    int dy_ = 0;
    int fw_ = 0;

private:
    // One side of the frame, with whether the sides meeting its two ends are drawn.
    void DrawFrameSide(TpgwFrameType side, bool startJoined, bool endJoined);

    std::unique_ptr<TpgwFrame> frame_;
    TpgwDataSet* dataSet_ = nullptr;
    std::string dataSetName_;
    std::string dataField_;
    std::string hint_;
    std::string tagStr_;
    std::string url_;
    std::string savedTagStr_;
    std::string savedURL_;
    TColor color_ = clNone;
    int cursor_ = 0;
    TpgwAlign align_ = baNone;
    TpgwShiftMode shiftMode_ = smAlways;
    TBrushStyle brushStyle_ = bsSolid;
    bool printable_ = true;
    bool showHint_ = false;
    bool exportAsPlainText_ = false;
};

// A view that can stretch to fit its content.
class TpgwStretcheable : public TpgwView {
    LUMETRA_CLASS(TpgwStretcheable, TpgwView)
public:
    explicit TpgwStretcheable(TComponent* owner);
    ~TpgwStretcheable() override;
    static void RegisterProperties(TClassBuilder<TpgwStretcheable>& b);

    TpgwStretchMode StretchMode() const { return stretchMode_; }
    void SetStretchMode(TpgwStretchMode value) { stretchMode_ = value; }

    // The height the content needs (the object's own height in the base).
    virtual double CalcHeight() { return Height(); }
    // Keeps what fits into Height and returns the unused height below it (0 in the base).
    // atLeastOneLine: the first line is kept even when it is taller than Height; the result
    // is then Height less what was kept, negative when the line sticks out.
    virtual double TakeFittingPart(bool atLeastOneLine = false) {
        (void)atLeastOneLine;
        return 0;
    }
    // Makes the whole content pending again before a split.
    virtual void ResetParts() {}

private:
    TpgwStretchMode stretchMode_ = smDontStretch;
};

// Rectangle, rounded rectangle, ellipse, triangle, diamond or a diagonal.
class TpgwShapeView : public TpgwView {
    LUMETRA_CLASS(TpgwShapeView, TpgwView)
public:
    explicit TpgwShapeView(TComponent* owner);
    ~TpgwShapeView() override;
    static void RegisterProperties(TClassBuilder<TpgwShapeView>& b);
    // The designer's constructor: a shape of the kind flags holds.
    static TpgwShapeView* CreateInDesigner(TComponent* owner, int flags);

    TpgwShapeKind Shape() const { return shape_; }
    void SetShape(TpgwShapeKind value) { shape_ = value; }
    // Corner diameter of the rounded rectangle in steps of ten report units (0: a quarter of
    // the shorter side).
    int Curve() const { return curve_; }
    void SetCurve(int value) { curve_ = value; }

    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    std::string ChangedAttributes(TpgwComponent* reference) override;
    std::string ClassDescription() const override;

private:
    // Outline and fill; style is the frame style the outline is drawn in.
    void Paint(TpgwFrameStyle style);
    void DrawGeometry();

    int curve_ = 0;
    TpgwShapeKind shape_ = skRectangle;
};

// The conditional font and colour of a text object.
class TpgwHighlight : public TPersistent {
    LUMETRA_CLASS(TpgwHighlight, TPersistent)
public:
    TpgwHighlight();
    ~TpgwHighlight() override;
    static void RegisterProperties(TClassBuilder<TpgwHighlight>& b);
    // Font, colour and condition; not Active.
    void Assign(const TPersistent* source) override;

    bool Active() const { return active_; }
    void SetActive(bool value) { active_ = value; }
    TColor Color() const { return color_; }
    void SetColor(TColor value) { color_ = value; }
    const std::string& Condition() const { return condition_; }
    void SetCondition(const std::string& value) { condition_ = value; }
    // Setting it copies the given font.
    TFont* Font() const { return font_.get(); }
    void SetFont(TFont* value);

private:
    std::unique_ptr<TFont> font_;
    std::string condition_;
    TColor color_ = clNone;
    bool active_ = false;
};

// How a text object formats values.
class TpgwFormat : public TPersistent {
    LUMETRA_CLASS(TpgwFormat, TPersistent)
public:
    TpgwFormat() = default;
    ~TpgwFormat() override;
    static void RegisterProperties(TClassBuilder<TpgwFormat>& b);
    void Assign(const TPersistent* source) override;

    const std::string& DecimalSeparator() const { return decimalSeparator_; }
    void SetDecimalSeparator(const std::string& value) { decimalSeparator_ = value; }
    const std::string& ThousandSeparator() const { return thousandSeparator_; }
    void SetThousandSeparator(const std::string& value) { thousandSeparator_ = value; }
    const std::string& FormatStr() const { return formatStr_; }
    void SetFormatStr(const std::string& value) { formatStr_ = value; }
    TpgwFormatKind Kind() const { return kind_; }
    void SetKind(TpgwFormatKind value) { kind_ = value; }

private:
    std::string decimalSeparator_;
    std::string thousandSeparator_;
    std::string formatStr_;
    TpgwFormatKind kind_ = fkText;
};

// Registers the view classes by name for template loading.
void RegisterViewClasses();

// ---- template members ------------------------------------------------------------------------

namespace lumetra_detail {
// Raises EPropertyError for a name PublishViewProperties does not know.
[[noreturn]] void UnknownViewProperty(std::string_view name);
} // namespace lumetra_detail

template <class C>
void TpgwView::PublishViewProperties(TClassBuilder<C>& b,
                                     std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (name == "BrushStyle")
            b.Add(name, TBrushStyleType(), &TpgwView::BrushStyle, &TpgwView::SetBrushStyle)
                .Default(bsSolid);
        else if (name == "Color")
            b.Add(name, TypeInfoColor(), &TpgwView::Color, &TpgwView::SetColor).Default(clNone);
        else if (name == "Cursor")
            b.Add(name, TypeInfoCursor(), &TpgwView::Cursor, &TpgwView::SetCursor).Default(0);
        else if (name == "DataField")
            b.Add(name, TypeInfoString(), &TpgwView::DataField, &TpgwView::SetDataField);
        else if (name == "DataSet")
            b.Add(name, TypeInfoOfClass(TpgwDataSet::StaticClass()), &TpgwView::DataSet,
                  &TpgwView::SetDataSet);
        else if (name == "DataSetName")
            b.Add(name, TypeInfoString(), &TpgwView::DataSetName, &TpgwView::SetDataSetName);
        else if (name == "Frame")
            b.Add(name, TypeInfoOfClass(TpgwFrame::StaticClass()), &TpgwView::Frame,
                  &TpgwView::SetFrame);
        else if (name == "TagStr")
            b.Add(name, TypeInfoString(), &TpgwView::TagStr, &TpgwView::SetTagStr);
        else if (name == "URL")
            b.Add(name, TypeInfoString(), &TpgwView::URL, &TpgwView::SetURL);
        else
            lumetra_detail::UnknownViewProperty(name);
    }
}
