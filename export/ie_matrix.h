#pragma once
// The layout matrix of the table-like exports. A filter hands it the report objects of its pages
// (AddObject, with AddPage at each page end when several pages share one matrix), calls Prepare
// once, and then reads a grid of cells: every distinct left or right edge of an object is a
// column boundary, every distinct top or bottom edge a row boundary, and each cell names the
// one exported object covering it. Overlapping objects are cut into rectangular parts, so every
// object owns a rectangle of whole cells. Objects carry a shared cell style and either text,
// rich text or a picture.
//
// Reading the result: GridWidth() x GridHeight() cells; Cell(x, y) is an object index (-1 for an
// empty cell) and ObjectAt(x, y) its object. Column x runs from XPosition(x) to XPosition(x + 1),
// row y from YPosition(y) to YPosition(y + 1); the last column and row lie beyond the last
// boundary and are always empty. An object fills the rectangle ObjectPlacement gives; a filter
// writes it once at its top-left cell (Counter is free for marking it as written).
//
// All lengths are report units (96 per inch) on the paper.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graphics/brush.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "platform/print/papers.h"
#include "report/text_drawing.h"
#include "report/view.h"
#include "report/wide_strings.h"

class TBitmap;
class TMetafile;
class TpgwComponent;
class TpgwCustomMemoView;
class TpgwProgress;
class TpgwReport;

// One column or row boundary.
struct TpgwIEMPos {
    double Value = 0;
};

// A cell style, shared by every object that looks the same. Fields a view does not set keep
// 0, false, haLeft, vaTop, bsSolid and fkText.
class TpgwIEMStyle {
public:
    TpgwIEMStyle();
    TpgwIEMStyle(const TpgwIEMStyle& other);
    TpgwIEMStyle& operator=(const TpgwIEMStyle& other);
    ~TpgwIEMStyle();

    // Equal in font size, name (case-sensitive), style and colour, alignment, frame, colour,
    // format (kind, decimal separator, format string), spacings, charset, word break, rotation
    // and brush. The font's own charset and the thousands separator take no part.
    bool SameAs(const TpgwIEMStyle& other) const;

    TFont Font;
    double LineSpacing = 0;
    TpgwVAlign VAlign = vaTop;
    TpgwHAlign HAlign = haLeft;
    TpgwFrameTypes FrameSides = 0;
    float FrameWidth = 0;
    TColor FrameColor = 0;
    TpgwFrameStyle FrameStyle = fsSolid;
    // clNone: transparent.
    TColor Color = 0;
    int Rotation = 0;
    TBrushStyle BrushStyle = bsSolid;
    double ParagraphGap = 0;
    double GapX = 0;
    double GapY = 0;
    double CharSpacing = 0;
    bool WordBreak = false;
    // The font's charset as the system realises it (never DEFAULT_CHARSET for text memos); 0
    // for other views.
    int Charset = 0;
    TpgwFormat DisplayFormat;
};

// One exported object, or one part of a cut object.
class TpgwIEMObject {
public:
    TpgwIEMObject();
    ~TpgwIEMObject();
    TpgwIEMObject(const TpgwIEMObject&) = delete;
    TpgwIEMObject& operator=(const TpgwIEMObject&) = delete;

    TWideStrings Memo;
    // An anchor link "#name" is stored as "@" and the anchor's page when the matrix knows the
    // report.
    std::string URL;
    int StyleIndex = -1;
    TpgwIEMStyle* Style = nullptr;
    // False for pictures; an empty text cell shows just its style's colour and frame.
    bool IsText = true;
    // Memo holds the rich text view's own format.
    bool IsRichText = false;
    // On the paper, with the page offset added to Top.
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
    std::unique_ptr<TBitmap> Image;
    // The object a part was cut from.
    TpgwIEMObject* Parent = nullptr;
    // Free for the filters.
    int Counter = 0;
    bool RTLReading = false;
    bool InFooter = false;
    bool InHeader = false;
    std::string Name;
    // Memo still holds HTML tags.
    bool HTMLTags = false;
    // The picture when metafile pictures are on.
    std::unique_ptr<TMetafile> Metafile;
};

// The placement of one object in the grid.
struct TpgwIEMObjectList {
    std::unique_ptr<TpgwIEMObject> Target;
    int Col = 0;
    int Row = 0;
    int ColSpan = 1;
    int RowSpan = 1;
    // The rectangle is final.
    bool Placed = false;
};

// One page end recorded with AddPage.
struct TpgwIEMPage {
    // The lowest object bottom of everything added up to and including this page.
    double Bottom = 0;
    TPrinterOrientation Orientation = poPortrait;
    double Width = 0;
    double Height = 0;
    // Millimetres.
    double LeftMargin = 0;
    double TopMargin = 0;
    double BottomMargin = 0;
    double RightMargin = 0;
    bool MarginsSwapped = false;
};

class TpgwIEMatrix {
public:
    // The arguments are accepted for the filters' sake and not used.
    explicit TpgwIEMatrix(bool useFileCache = true, const std::string& tempDir = {});
    ~TpgwIEMatrix();
    TpgwIEMatrix(const TpgwIEMatrix&) = delete;
    TpgwIEMatrix& operator=(const TpgwIEMatrix&) = delete;

    // Empties the matrix for the next fill. The running extremes (MaxRight ... ContentTop) keep
    // their values; the page offset goes back to 0.
    void Clear();

    // ---- filling
    // One report object as the export driver hands it over (its AbsLeft/AbsTop on the paper).
    void AddObject(TpgwView* view);
    // A page end: the next objects lie below everything added so far. Margins in millimetres.
    void AddPage(TPrinterOrientation orientation, bool mirrorMargins, int index,
                 double bottomMargin, double rightMargin, double topMargin, double leftMargin,
                 double height, double width);
    // Builds the grid; once per fill.
    void Prepare();

    // ---- the grid
    int GridWidth() const { return gridWidth_; }
    int GridHeight() const { return gridHeight_; }
    // The object index of a cell; -1 for an empty cell and outside the grid.
    int Cell(int x, int y) const;
    TpgwIEMObject* ObjectAt(int x, int y) const;
    // Boundary values; 0 outside the lists.
    double XPosition(int index) const;
    double YPosition(int index) const;

    // ---- objects and styles
    int ObjectCount() const { return static_cast<int>(entries_.size()); }
    // None when index is not an object index.
    TpgwIEMObject* ObjectById(int index) const;
    // The object's first cell and its number of cells; (-1, -1, 0, 0) for a bad index.
    void ObjectPlacement(int index, int& col, int& row, int& colSpan, int& rowSpan) const;
    int StyleCount() const { return static_cast<int>(styles_.size()); }
    // None outside the list.
    TpgwIEMStyle* StyleAt(int index) const;

    // ---- pages; every field reads 0 (portrait) for an index outside the list
    int PageCount() const { return static_cast<int>(pages_.size()); }
    double PageBottom(int index) const;
    double PageHeight(int index) const;
    double PageWidth(int index) const;
    double PageTopMargin(int index) const;
    double PageBottomMargin(int index) const;
    double PageLeftMargin(int index) const;
    double PageRightMargin(int index) const;
    TPrinterOrientation PageOrientation(int index) const;

    // ---- running extremes of everything added
    double MaxRight() const { return maxRight_; }
    double MaxBottom() const { return maxBottom_; }
    double LeastLeft() const { return leastLeft_; }
    double LeastTop() const { return leastTop_; }
    // The smallest left and top of the objects (0 until the first).
    double ContentLeft() const { return contentLeft_; }
    double ContentTop() const { return contentTop_; }

    // ---- options, set before AddObject
    // Boundaries nearer than this to the next one are merged into it.
    double MergeTolerance() const { return mergeTolerance_; }
    void SetMergeTolerance(double value) { mergeTolerance_ = value; }
    // Above 0: taller rows are split into rows of this height.
    double MaxRowHeight() const { return maxRowHeight_; }
    void SetMaxRowHeight(double value) { maxRowHeight_ = value; }
    // The same for columns.
    double MaxColumnWidth() const { return maxColumnWidth_; }
    void SetMaxColumnWidth(double value) { maxColumnWidth_ = value; }
    // Prepare shows a progress window (default on).
    bool ProgressWindow() const { return progressWindow_; }
    void SetProgressWindow(bool value) { progressWindow_ = value; }
    // Rotated memos become pictures.
    bool RotatedAsPicture() const { return rotatedAsPicture_; }
    void SetRotatedAsPicture(bool value) { rotatedAsPicture_ = value; }
    // Rich text views become text cells instead of pictures.
    bool KeepRichText() const { return keepRichText_; }
    void SetKeepRichText(bool value) { keepRichText_ = value; }
    // With KeepRichText, a rich view's plain text becomes memo text (default on).
    bool RichAsPlainText() const { return richAsPlainText_; }
    void SetRichAsPlainText(bool value) { richAsPlainText_ = value; }
    // Prepare puts a white object under everything.
    bool FillPage() const { return fillPage_; }
    void SetFillPage(bool value) { fillPage_ = value; }
    // The white object starts at LeastLeft/LeastTop instead of 0, 0.
    bool FillFromContent() const { return fillFromContent_; }
    void SetFillFromContent(bool value) { fillFromContent_ = value; }
    // Prepare drops frame lines the neighbour above or to the left already draws.
    bool MergeFrames() const { return mergeFrames_; }
    void SetMergeFrames(bool value) { mergeFrames_ = value; }
    // Memos with HTML tags are taken as laid out, tags removed.
    bool StripHTMLTags() const { return stripHTMLTags_; }
    void SetStripHTMLTags(bool value) { stripHTMLTags_ = value; }
    // The page background may become a picture.
    bool PageBackgroundPicture() const { return pageBackgroundPicture_; }
    void SetPageBackgroundPicture(bool value) { pageBackgroundPicture_ = value; }
    // The page background object is taken at all.
    bool PageBackground() const { return pageBackground_; }
    void SetPageBackground(bool value) { pageBackground_ = value; }
    // Resolves anchor links to page numbers.
    TpgwReport* AnchorReport() const { return anchorReport_; }
    void SetAnchorReport(TpgwReport* value) { anchorReport_ = value; }
    // The filter's ExportNotPrintable; nothing here depends on it (default on).
    bool IncludeNonPrintable() const { return includeNonPrintable_; }
    void SetIncludeNonPrintable(bool value) { includeNonPrintable_ = value; }
    // Views other than text, straight lines and rectangles become pictures; off: empty cells
    // (default on).
    bool Pictures() const { return pictures_; }
    void SetPictures(bool value) { pictures_ = value; }
    // Memo text as broken into lines for drawing.
    bool WrapText() const { return wrapText_; }
    void SetWrapText(bool value) { wrapText_ = value; }
    // Off: Prepare deletes rows no object covers (default on).
    bool KeepEmptyRows() const { return keepEmptyRows_; }
    void SetKeepEmptyRows(bool value) { keepEmptyRows_ = value; }
    // Objects of these bands are marked InHeader / InFooter.
    TpgwComponent* HeaderBand() const { return headerBand_; }
    void SetHeaderBand(TpgwComponent* band) { headerBand_ = band; }
    TpgwComponent* FooterBand() const { return footerBand_; }
    void SetFooterBand(TpgwComponent* band) { footerBand_ = band; }
    // Memos with a hatch brush become pictures (default on).
    bool PatternBrushAsPicture() const { return patternBrushAsPicture_; }
    void SetPatternBrushAsPicture(bool value) { patternBrushAsPicture_ = value; }
    // Pictures are recorded as metafiles instead of bitmaps.
    bool MetafilePictures() const { return metafilePictures_; }
    void SetMetafilePictures(bool value) { metafilePictures_ = value; }
    // Every style font gets size 9.
    bool DotMatrixFonts() const { return dotMatrixFonts_; }
    void SetDotMatrixFonts(bool value) { dotMatrixFonts_ = value; }

private:
    // What a view is exported as.
    struct Kind;

    // band: the band the object counts as part of (objects made from a view count as part of
    // the view's band).
    void addObject(TpgwView* view, TpgwComponent* band);
    void addShadowedMemo(TpgwCustomMemoView* memo, TpgwComponent* band);
    void addRectangle(TpgwShapeView* shape, TpgwComponent* band);
    void addRichAsPlainText(TpgwView* view, TpgwComponent* band);
    void takePicture(TpgwView* view, const Kind& kind, TpgwIEMObject& object);
    void addEntry(std::unique_ptr<TpgwIEMObject> object);

    Kind classify(TpgwView* view) const;
    // The style index of a view (-1 for a rectangle).
    int addStyle(TpgwView* view, const Kind& kind);
    // The index of an equal style, or of style appended.
    int findOrAddStyle(const TpgwIEMStyle& style);
    int realisedCharset(const TFont& font);

    static void addBoundary(std::vector<TpgwIEMPos>& list, double value);
    // Sorts and merges a boundary list and splits spans longer than limit (when above 0).
    void orderBoundaries(std::vector<TpgwIEMPos>& list, double limit, TpgwProgress* progress);
    static void placeSpan(const std::vector<TpgwIEMPos>& list, double start, double size,
                          int& first, int& span);
    void fillGrid();
    void cutCoveredObjects();
    void mergeFrameLines();
    void deleteEmptyRows();
    // The style index of a copy of the style at index with other frame sides or colour.
    int styleVariant(int index, TpgwFrameTypes sides, TColor color);
    void setStyle(TpgwIEMObject& object, int index);
    int& gridCell(int x, int y) { return grid_[static_cast<std::size_t>(y) * gridWidth_ + x]; }
    double xAt(int index) const;
    double yAt(int index) const;

    std::vector<TpgwIEMObjectList> entries_;
    std::vector<std::unique_ptr<TpgwIEMStyle>> styles_;
    // Style indexes by a hash of the compared fields.
    std::unordered_multimap<std::size_t, int> styleIndex_;
    std::vector<TpgwIEMPos> xList_;
    std::vector<TpgwIEMPos> yList_;
    std::vector<TpgwIEMPage> pages_;
    std::map<std::string, int> fontCharsets_;
    std::vector<std::int32_t> grid_;
    int gridWidth_ = 0;
    int gridHeight_ = 0;

    double maxRight_ = 0;
    double maxBottom_ = 0;
    double leastLeft_ = 99999;
    double leastTop_ = 99999;
    double contentLeft_ = 0;
    double contentTop_ = 0;
    double pageOffsetY_ = 0;

    double mergeTolerance_ = 0;
    double maxRowHeight_ = 0;
    double maxColumnWidth_ = 0;
    TpgwReport* anchorReport_ = nullptr;
    TpgwComponent* headerBand_ = nullptr;
    TpgwComponent* footerBand_ = nullptr;
    bool progressWindow_ = true;
    bool rotatedAsPicture_ = false;
    bool keepRichText_ = false;
    bool richAsPlainText_ = true;
    bool fillPage_ = false;
    bool fillFromContent_ = false;
    bool mergeFrames_ = false;
    bool stripHTMLTags_ = false;
    bool pageBackgroundPicture_ = false;
    bool pageBackground_ = false;
    bool includeNonPrintable_ = true;
    bool pictures_ = true;
    bool wrapText_ = false;
    bool keepEmptyRows_ = true;
    bool patternBrushAsPicture_ = true;
    bool metafilePictures_ = false;
    bool dotMatrixFonts_ = false;
};
