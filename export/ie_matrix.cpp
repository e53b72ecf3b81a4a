// Collecting objects into the layout matrix: styles, the kinds of exported objects, boundaries
// and page ends. The grid itself is built in ie_matrix_grid.cpp.

#include "export/ie_matrix.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

#include "engine/preview_pages.h"
#include "platform/core/numbers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/report.h"

namespace {

// How far back a new boundary is compared with the list: enough for the edges of one object and
// its neighbours, while adding stays linear; Prepare merges what is left.
constexpr std::size_t kDuplicateWindow = 100;

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0;
}

std::size_t styleHash(const TpgwIEMStyle& s) {
    std::size_t h = std::hash<std::string>{}(s.Font.Name());
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(static_cast<std::size_t>(s.Font.Size()));
    mix(static_cast<std::size_t>(s.Font.Color()));
    mix(s.Font.Style().Bits());
    mix(static_cast<std::size_t>(s.Color));
    mix(s.FrameSides);
    mix(static_cast<std::size_t>(s.Charset));
    return h;
}

// Text of a font with the OEM charset goes through the OEM and ANSI code pages. A character
// those cannot hold would empty the whole text, so such text stays as it is.
void convertOemText(TWideStrings& memo) {
    const std::u16string text = memo.Text();
    if (text.empty()) return;
    const std::string oem = WideToAnsi(text, OEM_CHARSET, 0);
    if (oem.empty()) return;
    const std::u16string wide = AnsiToWide(OemToAnsi(oem), DEFAULT_CHARSET, 0);
    if (!wide.empty()) memo.SetText(wide);
}

// Puts a view's frame back as it was, every side's own width included.
class FrameRestorer {
public:
    explicit FrameRestorer(TpgwFrame* frame) : frame_(frame) { saved_.Assign(frame); }
    ~FrameRestorer() { frame_->Assign(&saved_); }
    FrameRestorer(const FrameRestorer&) = delete;
    FrameRestorer& operator=(const FrameRestorer&) = delete;

private:
    TpgwFrame* frame_;
    TpgwFrame saved_;
};

} // namespace

// ---- records -----------------------------------------------------------------------------------

TpgwIEMStyle::TpgwIEMStyle() = default;

TpgwIEMStyle::TpgwIEMStyle(const TpgwIEMStyle& other) {
    *this = other;
}

TpgwIEMStyle& TpgwIEMStyle::operator=(const TpgwIEMStyle& other) {
    if (this == &other) return *this;
    Font.Assign(other.Font);
    LineSpacing = other.LineSpacing;
    VAlign = other.VAlign;
    HAlign = other.HAlign;
    FrameSides = other.FrameSides;
    FrameWidth = other.FrameWidth;
    FrameColor = other.FrameColor;
    FrameStyle = other.FrameStyle;
    Color = other.Color;
    Rotation = other.Rotation;
    BrushStyle = other.BrushStyle;
    ParagraphGap = other.ParagraphGap;
    GapX = other.GapX;
    GapY = other.GapY;
    CharSpacing = other.CharSpacing;
    WordBreak = other.WordBreak;
    Charset = other.Charset;
    DisplayFormat.Assign(&other.DisplayFormat);
    return *this;
}

TpgwIEMStyle::~TpgwIEMStyle() = default;

bool TpgwIEMStyle::SameAs(const TpgwIEMStyle& o) const {
    return Font.Size() == o.Font.Size() && HAlign == o.HAlign && VAlign == o.VAlign &&
           Font.Color() == o.Font.Color() && Font.Name() == o.Font.Name() &&
           Font.Style() == o.Font.Style() && FrameSides == o.FrameSides &&
           FrameWidth == o.FrameWidth && FrameColor == o.FrameColor && FrameStyle == o.FrameStyle &&
           Color == o.Color && DisplayFormat.Kind() == o.DisplayFormat.Kind() &&
           DisplayFormat.DecimalSeparator() == o.DisplayFormat.DecimalSeparator() &&
           DisplayFormat.FormatStr() == o.DisplayFormat.FormatStr() &&
           LineSpacing == o.LineSpacing && GapX == o.GapX && GapY == o.GapY &&
           ParagraphGap == o.ParagraphGap && CharSpacing == o.CharSpacing && Charset == o.Charset &&
           WordBreak == o.WordBreak && Rotation == o.Rotation && BrushStyle == o.BrushStyle;
}

TpgwIEMObject::TpgwIEMObject() = default;
TpgwIEMObject::~TpgwIEMObject() = default;

// ---- matrix ------------------------------------------------------------------------------------

TpgwIEMatrix::TpgwIEMatrix(bool /*useFileCache*/, const std::string& /*tempDir*/) {}

TpgwIEMatrix::~TpgwIEMatrix() = default;

void TpgwIEMatrix::Clear() {
    entries_.clear();
    styles_.clear();
    styleIndex_.clear();
    xList_.clear();
    yList_.clear();
    pages_.clear();
    fontCharsets_.clear();
    grid_.clear();
    gridWidth_ = 0;
    gridHeight_ = 0;
    pageOffsetY_ = 0;
}

// ---- styles ------------------------------------------------------------------------------------

// One cast per class: dynamic casts are a good part of the cost of adding an object.
struct TpgwIEMatrix::Kind {
    TpgwCustomMemoView* memo = nullptr;
    TpgwCustomLineView* line = nullptr;
    TpgwShapeView* rectangle = nullptr;
    // A memo exported as text rather than as a picture.
    bool textMemo = false;
    // A line of width or height 0.
    bool straightLine = false;
    bool rich = false;
    bool gradient = false;
};

TpgwIEMatrix::Kind TpgwIEMatrix::classify(TpgwView* view) const {
    Kind kind;
    if ((kind.memo = dynamic_cast<TpgwCustomMemoView*>(view))) {
        kind.textMemo = !(patternBrushAsPicture_ && kind.memo->BrushStyle() >= bsHorizontal) &&
                        !(rotatedAsPicture_ && kind.memo->Rotation() != 0);
    } else if ((kind.line = dynamic_cast<TpgwCustomLineView*>(view))) {
        kind.straightLine = view->Width() == 0 || view->Height() == 0;
    } else if (auto* shape = dynamic_cast<TpgwShapeView*>(view)) {
        if (shape->Shape() == skRectangle) kind.rectangle = shape;
    } else {
        kind.rich = view->ClassName() == "TpgwRichView";
        kind.gradient = view->ClassName() == "TpgwGradientView";
    }
    return kind;
}

int TpgwIEMatrix::realisedCharset(const TFont& font) {
    const auto cached = fontCharsets_.find(font.Name());
    if (cached != fontCharsets_.end()) return cached->second;
    // Every face here has outline metrics; the system realises the default charset as GB2312
    // when the face holds its characters, else as the Western one.
    const auto measurer = TFontMeasurer::ForFont(font.Data());
    const bool chinese = !measurer->UsesFallback(U'\u4E2D') && !measurer->UsesFallback(U'\u6587');
    const int charset = chinese ? GB2312_CHARSET : ANSI_CHARSET;
    fontCharsets_.emplace(font.Name(), charset);
    return charset;
}

int TpgwIEMatrix::findOrAddStyle(const TpgwIEMStyle& style) {
    const std::size_t hash = styleHash(style);
    const auto [first, last] = styleIndex_.equal_range(hash);
    for (auto it = first; it != last; ++it)
        if (styles_[static_cast<std::size_t>(it->second)]->SameAs(style)) return it->second;
    const int index = static_cast<int>(styles_.size());
    styles_.push_back(std::make_unique<TpgwIEMStyle>(style));
    styleIndex_.emplace(hash, index);
    return index;
}

int TpgwIEMatrix::addStyle(TpgwView* view, const Kind& kind) {
    if (kind.rectangle) return -1;
    TpgwIEMStyle style;
    const TpgwFrame* frame = view->Frame();
    style.FrameWidth = static_cast<float>(frame->Width());
    style.FrameColor = frame->Color();
    style.FrameStyle = frame->Style();
    if (kind.textMemo) {
        TpgwCustomMemoView* memo = kind.memo;
        const TpgwHighlight* highlight = memo->Highlight();
        const TFont* font = memo->Font();
        style.Color = memo->Color();
        if (highlight->Active()) {
            if (highlight->Font()) font = highlight->Font();
            style.Color = highlight->Color();
        }
        if (font) style.Font.Assign(*font);
        if (dotMatrixFonts_) style.Font.SetSize(9);
        style.DisplayFormat.Assign(memo->DisplayFormat());
        style.HAlign = memo->HAlign();
        style.VAlign = memo->VAlign();
        style.LineSpacing = memo->LineSpacing();
        style.GapX = memo->GapX();
        style.GapY = memo->GapY();
        style.CharSpacing = memo->CharSpacing();
        style.ParagraphGap = memo->ParagraphGap();
        style.WordBreak = memo->WordBreak();
        style.Rotation = memo->Rotation();
        style.FrameSides = frame->Typ();
        style.Charset = style.Font.Charset() == DEFAULT_CHARSET ? realisedCharset(style.Font)
                                                                : style.Font.Charset();
    } else if (kind.straightLine) {
        style.Color = view->Color();
        if (view->Width() == 0)
            style.FrameSides = FrameSide(ftLeft);
        else if (view->Height() == 0)
            style.FrameSides = FrameSide(ftTop);
        style.Font.SetName("Arial");
        style.Font.SetSize(1);
    } else {
        if (const TFont* font = view->Font()) style.Font.Assign(*font);
        if (dotMatrixFonts_) style.Font.SetSize(9);
        style.Color = view->Color();
        // A diagonal line's frame is its picture, not cell borders.
        style.FrameSides = kind.line ? 0 : frame->Typ();
    }
    return findOrAddStyle(style);
}

void TpgwIEMatrix::setStyle(TpgwIEMObject& object, int index) {
    object.StyleIndex = index;
    object.Style = index >= 0 ? styles_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TpgwIEMatrix::styleVariant(int index, TpgwFrameTypes sides, TColor color) {
    TpgwIEMStyle variant(*styles_[static_cast<std::size_t>(index)]);
    variant.FrameSides = sides;
    variant.Color = color;
    return findOrAddStyle(variant);
}

// ---- objects -----------------------------------------------------------------------------------

void TpgwIEMatrix::AddObject(TpgwView* view) {
    if (view) addObject(view, view->Parent());
}

void TpgwIEMatrix::addObject(TpgwView* view, TpgwComponent* band) {
    if (view->Name() == "_pagebackground" && !pageBackground_) return;
    const Kind kind = classify(view);
    if (kind.memo && kind.memo->Frame()->DropShadow()) return addShadowedMemo(kind.memo, band);
    if (kind.rich && keepRichText_ && richAsPlainText_) return addRichAsPlainText(view, band);
    if (kind.rectangle) return addRectangle(kind.rectangle, band);

    auto object = std::make_unique<TpgwIEMObject>();
    object->Name = view->Name();
    setStyle(*object, addStyle(view, kind));
    object->URL = view->URL();
    if (anchorReport_ && !object->URL.empty() && object->URL[0] == '#') {
        int page = 1;
        if (auto* pages = dynamic_cast<TpgwPreviewPages*>(anchorReport_->PreviewPages()))
            page = pages->GetAnchorPage(object->URL.substr(1));
        object->URL = "@" + std::to_string(page);
    }
    const double absLeft = finiteOrZero(view->AbsLeft());
    const double absTop = finiteOrZero(view->AbsTop());
    object->Left = absLeft < 0 ? 0 : absLeft;
    object->Top = absTop < 0 ? pageOffsetY_ : absTop + pageOffsetY_;
    object->Width = finiteOrZero(view->Width());
    object->Height = finiteOrZero(view->Height());

    if (kind.textMemo) {
        TpgwCustomMemoView* memo = kind.memo;
        if (wrapText_ || (stripHTMLTags_ && memo->AllowHTMLTags()))
            object->Memo.SetText(memo->OutputText(true));
        else
            object->Memo.Assign(*memo->Memo());
        if (!stripHTMLTags_) object->HTMLTags = memo->AllowHTMLTags();
        if (memo->Font() && memo->Font()->Charset() == OEM_CHARSET) convertOemText(object->Memo);
        object->RTLReading = memo->RTLReading();
    } else if (kind.rich && keepRichText_) {
        std::string text;
        view->ExportText(text);
        object->IsRichText = true;
        object->Memo.SetText(Utf8ToUtf16Lenient(text));
    } else if (kind.straightLine) {
        if (object->Width < 0) {
            object->Left += object->Width;
            object->Width = -object->Width;
        } else if (object->Width == 0) {
            object->Width = 1;
        }
        if (object->Height < 0) {
            object->Top += object->Height;
            object->Height = -object->Height;
        } else if (object->Height == 0) {
            object->Height = 1;
        }
    } else if (pictures_ && !kind.gradient &&
               (view->Name() != "_pagebackground" || pageBackgroundPicture_)) {
        takePicture(view, kind, *object);
    }
    // Anything else stays an empty text cell showing its style's colour and frame.

    if (band && (headerBand_ || footerBand_)) {
        object->InHeader = headerBand_ && band == headerBand_;
        object->InFooter = footerBand_ && band == footerBand_;
    }
    addEntry(std::move(object));
}

void TpgwIEMatrix::addShadowedMemo(TpgwCustomMemoView* memo, TpgwComponent* band) {
    TpgwFrame* frame = memo->Frame();
    const double shadow = frame->ShadowWidth();
    const double left = memo->AbsLeft(), top = memo->AbsTop();
    const double width = memo->Width(), height = memo->Height();
    {
        // The memo without its shadow; the view is handed back as it came.
        struct Restore {
            TpgwCustomMemoView* memo;
            double width, height;
            ~Restore() {
                memo->SetWidth(width);
                memo->SetHeight(height);
                memo->Frame()->SetDropShadow(true);
            }
        } restore{memo, width, height};
        memo->SetWidth(width - shadow);
        memo->SetHeight(height - shadow);
        frame->SetDropShadow(false);
        addObject(memo, band);
    }
    const auto strip = [&](double x, double y, double w, double h) {
        TpgwMemoView part(nullptr);
        part.SetName("Shadow");
        part.Font()->SetSize(1);
        part.SetColor(frame->ShadowColor());
        part.SetBounds(x, y, w, h);
        addObject(&part, band);
    };
    strip(left + width - shadow, top + shadow, shadow, height - shadow);
    strip(left + shadow, top + height - shadow, width - shadow, shadow);
}

void TpgwIEMatrix::addRichAsPlainText(TpgwView* view, TpgwComponent* band) {
    std::string text;
    {
        struct Plain {
            TpgwView* view;
            ~Plain() { view->SetExportAsPlainText(false); }
        } plain{view};
        view->SetExportAsPlainText(true);
        view->ExportText(text);
    }
    TpgwMemoView memo(nullptr);
    memo.SetName(view->Name());
    memo.Memo()->SetText(Utf8ToUtf16Lenient(text));
    memo.SetBounds(view->AbsLeft(), view->AbsTop(), view->Width(), view->Height());
    addObject(&memo, band);
}

void TpgwIEMatrix::addRectangle(TpgwShapeView* shape, TpgwComponent* band) {
    const double left = shape->AbsLeft(), top = shape->AbsTop();
    const double width = shape->Width(), height = shape->Height();
    if (shape->Color() == clNone) {
        // Only the outline shows: four lines carrying the shape's frame.
        const double edges[4][4] = {{left, top, width, 0},
                                    {left, top, 0, height},
                                    {left, top + height, width, 0},
                                    {left + width, top, 0, height}};
        for (const auto& edge : edges) {
            TpgwLineView line(nullptr);
            line.SetName("Line");
            line.SetFrame(shape->Frame());
            line.SetBounds(edge[0], edge[1], edge[2], edge[3]);
            addObject(&line, band);
        }
        return;
    }
    TpgwMemoView cell(nullptr);
    cell.SetName("Rect");
    cell.SetFrame(shape->Frame());
    cell.Frame()->SetTyp(ftAll);
    cell.SetColor(shape->Color());
    cell.Font()->SetSize(1);
    cell.SetBounds(left, top, width, height);
    addObject(&cell, band);
}

void TpgwIEMatrix::takePicture(TpgwView* view, const Kind& kind, TpgwIEMObject& object) {
    // Frame lines belong to the cell style, except a line's, whose frame is the line itself.
    std::unique_ptr<FrameRestorer> restorer;
    if (!kind.line && view->Frame()->Width() > 0) {
        restorer = std::make_unique<FrameRestorer>(view->Frame());
        view->Frame()->SetWidth(0);
    }
    const TpgwRect rect = view->AbsoluteRect();
    double left = rect.Left, top = rect.Top;
    double width = rect.Right - rect.Left, height = rect.Bottom - rect.Top;
    if (width < 0) {
        left += width;
        object.Left += width;
        width = -width;
    }
    if (height < 0) {
        top += height;
        object.Top += height;
        height = -height;
    }
    object.Width = width;
    object.Height = height;
    const int pixelWidth = std::max<int>(1, static_cast<int>(Round(width)));
    const int pixelHeight = std::max<int>(1, static_cast<int>(Round(height)));
    if (metafilePictures_) {
        TRecordingCanvas canvas(pixelWidth, pixelHeight);
        view->Draw(canvas, 1, 1, -left, -top);
        object.Metafile = std::make_unique<TMetafile>(canvas.TakeRecording());
    } else {
        object.Image = std::make_unique<TBitmap>(pixelWidth + 1, pixelHeight + 1, pf24bit);
        view->Draw(object.Image->Canvas(), 1, 1, -left, -top);
    }
    object.IsText = false;
}

void TpgwIEMatrix::addEntry(std::unique_ptr<TpgwIEMObject> object) {
    const double left = object->Left, top = object->Top;
    const double right = left + object->Width, bottom = top + object->Height;
    maxRight_ = std::max(maxRight_, right);
    maxBottom_ = std::max(maxBottom_, bottom);
    leastLeft_ = std::min(leastLeft_, left);
    leastTop_ = std::min(leastTop_, top);
    if (contentLeft_ == 0 || left < contentLeft_) contentLeft_ = left;
    if (contentTop_ == 0 || top < contentTop_) contentTop_ = top;
    addBoundary(xList_, left);
    addBoundary(xList_, right);
    addBoundary(yList_, top);
    addBoundary(yList_, bottom);
    entries_.push_back(TpgwIEMObjectList{std::move(object), 0, 0, 1, 1, false});
}

void TpgwIEMatrix::addBoundary(std::vector<TpgwIEMPos>& list, double value) {
    const std::size_t from = list.size() > kDuplicateWindow ? list.size() - kDuplicateWindow : 0;
    for (std::size_t i = list.size(); i > from; --i)
        if (list[i - 1].Value == value) return;
    list.push_back(TpgwIEMPos{value});
}

// ---- pages -------------------------------------------------------------------------------------

void TpgwIEMatrix::AddPage(TPrinterOrientation orientation, bool mirrorMargins, int index,
                           double bottomMargin, double rightMargin, double topMargin,
                           double leftMargin, double height, double width) {
    pageOffsetY_ = maxBottom_;
    TpgwIEMPage page;
    page.Bottom = maxBottom_;
    page.Orientation = orientation;
    page.Width = width;
    page.Height = height;
    page.TopMargin = topMargin;
    page.BottomMargin = bottomMargin;
    page.LeftMargin = leftMargin;
    page.RightMargin = rightMargin;
    if (mirrorMargins && index % 2 != 0) {
        page.LeftMargin = rightMargin;
        page.RightMargin = leftMargin;
        page.MarginsSwapped = true;
    }
    pages_.push_back(page);
}

namespace {

template <class Field>
auto pageField(const std::vector<TpgwIEMPage>& pages, int index, Field field)
    -> decltype(pages.front().*field) {
    static const TpgwIEMPage none;
    if (index < 0 || index >= static_cast<int>(pages.size())) return none.*field;
    return pages[static_cast<std::size_t>(index)].*field;
}

} // namespace

double TpgwIEMatrix::PageBottom(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::Bottom);
}
double TpgwIEMatrix::PageHeight(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::Height);
}
double TpgwIEMatrix::PageWidth(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::Width);
}
double TpgwIEMatrix::PageTopMargin(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::TopMargin);
}
double TpgwIEMatrix::PageBottomMargin(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::BottomMargin);
}
double TpgwIEMatrix::PageLeftMargin(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::LeftMargin);
}
double TpgwIEMatrix::PageRightMargin(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::RightMargin);
}
TPrinterOrientation TpgwIEMatrix::PageOrientation(int index) const {
    return pageField(pages_, index, &TpgwIEMPage::Orientation);
}

// ---- reading -----------------------------------------------------------------------------------

int TpgwIEMatrix::Cell(int x, int y) const {
    if (x < 0 || y < 0 || x >= gridWidth_ || y >= gridHeight_) return -1;
    return grid_[static_cast<std::size_t>(y) * gridWidth_ + x];
}

TpgwIEMObject* TpgwIEMatrix::ObjectAt(int x, int y) const {
    return ObjectById(Cell(x, y));
}

TpgwIEMObject* TpgwIEMatrix::ObjectById(int index) const {
    if (index < 0 || index >= ObjectCount()) return nullptr;
    return entries_[static_cast<std::size_t>(index)].Target.get();
}

void TpgwIEMatrix::ObjectPlacement(int index, int& col, int& row, int& colSpan,
                                   int& rowSpan) const {
    if (index < 0 || index >= ObjectCount()) {
        col = row = -1;
        colSpan = rowSpan = 0;
        return;
    }
    const TpgwIEMObjectList& entry = entries_[static_cast<std::size_t>(index)];
    col = entry.Col;
    row = entry.Row;
    colSpan = entry.ColSpan;
    rowSpan = entry.RowSpan;
}

TpgwIEMStyle* TpgwIEMatrix::StyleAt(int index) const {
    if (index < 0 || index >= StyleCount()) return nullptr;
    return styles_[static_cast<std::size_t>(index)].get();
}

double TpgwIEMatrix::XPosition(int index) const {
    if (index < 0 || index >= static_cast<int>(xList_.size())) return 0;
    return xList_[static_cast<std::size_t>(index)].Value;
}

double TpgwIEMatrix::YPosition(int index) const {
    if (index < 0 || index >= static_cast<int>(yList_.size())) return 0;
    return yList_[static_cast<std::size_t>(index)].Value;
}
