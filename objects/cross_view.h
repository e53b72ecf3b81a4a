#pragma once
// The cross-tab: a pivot table built from records (one value per row level, column level and
// cell level), with sorted row and column header trees, subtotals and grand totals, laid out
// from its inner memos, printed as page strips of memo copies and drawn in the designer as a
// sample of itself.
//
// cross_matrix.cpp   the matrix, the header trees and their totals
// cross_layout.cpp   sizes and places of headers and cells
// cross_view.cpp     the report objects, inner memos, styles, events, registration
// cross_memos.cpp    the "Memos" template property
// cross_output.cpp   page output
// cross_design.cpp   design-time drawing, dragging and dropping
// cross_binding.cpp  the script binding

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/core/collection.h"
#include "platform/core/variant.h"
#include "platform/graphics/geometry.h"
#include "report/utils.h"
#include "report/view.h"

class TCanvas;
class TFiler;
class TStream;
class TpgwBand;
class TpgwCustomMemoView;
class TpgwNullBand;
class TpgwStyles;
class TStringList;

enum TpgwCrossFunction : std::uint8_t { cfNone, cfSum, cfMin, cfMax, cfAvg, cfCount };
enum TpgwCrossSortOrder : std::uint8_t { csoAscending, csoDescending, csoNone, csoGrouping };

// Levels of each kind the function and sort tables hold; more is an error.
inline constexpr int kCrossMaxLevels = 32;

using TpgwVariantArray = std::vector<Variant>;

// ---- row and column keys -----------------------------------------------------------------------

class TpgwIndexItem : public TCollectionItem {
    LUMETRA_CLASS(TpgwIndexItem, TCollectionItem)
public:
    explicit TpgwIndexItem(TCollection* collection);
    ~TpgwIndexItem() override;
    TpgwVariantArray Key;
    // Marks the item as a subtotal or grand total apart from its key text, so that data that
    // happens to begin with the marker stays data.
    bool TotalItem = false;
};

class TpgwIndexCollection : public TCollection {
    LUMETRA_CLASS(TpgwIndexCollection, TCollection)
public:
    TpgwIndexCollection(const TClassInfo& itemClass, int keyLength,
                        const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders);
    ~TpgwIndexCollection() override;

    int KeyLength = 0;
    std::array<TpgwCrossSortOrder, kCrossMaxLevels> LevelOrders{};

    TpgwIndexItem* Item(int index) const { return static_cast<TpgwIndexItem*>(Items(index)); }
    // A new item at position (appended at Count) with a copy of the first KeyLength values.
    virtual TpgwIndexItem* InsertItem(int position, const TpgwVariantArray& key);
    // <0 places the item before the key, 0 equal, >2 (grouping) shares leading levels.
    int CompareKey(const TpgwIndexItem& item, const TpgwVariantArray& key) const;
    // Whether the key exists; position: where it is or would go.
    bool Find(const TpgwVariantArray& key, int& position) const;
    TpgwIndexItem* FindOrAdd(const TpgwVariantArray& key);

private:
    // (cross_matrix.cpp) In order of first appearance, the item found for each exact key, so
    // that repeated keys skip the linear search.
    std::unordered_map<std::string, TpgwIndexItem*> seen_;
};

// One cell level's value of a cell; the nodes of a cell's levels form a chain.
struct TpgwCrossCell {
    Variant Value;
    int Count = 1;
    TpgwCrossCell* Next = nullptr;
    // (cross_matrix.cpp) The records' sum and number, for a cell that shows their mean.
    Variant Sum;
    int Records = 0;
};

class TpgwCrossRow : public TpgwIndexItem {
    LUMETRA_CLASS(TpgwCrossRow, TpgwIndexItem)
public:
    explicit TpgwCrossRow(TCollection* collection);
    ~TpgwCrossRow() override;
    int CellLevelCount = 0;
    // First node of the chain of each column, indexed by the column's ChainIndex.
    std::vector<TpgwCrossCell*> CellChains;
    // The chain at index, created (and the ones before it) when missing; none for index < 0.
    TpgwCrossCell* GetCell(int index);

private:
    std::vector<std::unique_ptr<TpgwCrossCell[]>> storage_;
};

class TpgwCrossRows : public TpgwIndexCollection {
    LUMETRA_CLASS(TpgwCrossRows, TpgwIndexCollection)
public:
    TpgwCrossRows(int keyLength, const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders,
                  int cellLevelCount);
    ~TpgwCrossRows() override;
    int CellLevelCount = 0;
    TpgwCrossRow* Row(int index) const { return static_cast<TpgwCrossRow*>(Items(index)); }
    TpgwIndexItem* InsertItem(int position, const TpgwVariantArray& key) override;
};

class TpgwCrossColumn : public TpgwIndexItem {
    LUMETRA_CLASS(TpgwCrossColumn, TpgwIndexItem)
public:
    explicit TpgwCrossColumn(TCollection* collection);
    ~TpgwCrossColumn() override;
    int ChainIndex = 0;
};

class TpgwCrossColumns : public TpgwIndexCollection {
    LUMETRA_CLASS(TpgwCrossColumns, TpgwIndexCollection)
public:
    TpgwCrossColumns(int keyLength, const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders);
    ~TpgwCrossColumns() override;
    TpgwCrossColumn* Column(int index) const { return static_cast<TpgwCrossColumn*>(Items(index)); }
    TpgwIndexItem* InsertItem(int position, const TpgwVariantArray& key) override;
    // (cross_matrix.cpp) Chains handed out so far; the next column's ChainIndex.
    int ChainCount = 0;
};

// ---- header trees ------------------------------------------------------------------------------

// A node of the row header, column header or corner tree; owns its children.
class TpgwCrossHeader {
public:
    TpgwCrossHeader(int cellLevelCount, int levelCount);
    virtual ~TpgwCrossHeader();
    TpgwCrossHeader(const TpgwCrossHeader&) = delete;
    TpgwCrossHeader& operator=(const TpgwCrossHeader&) = delete;

    // Left, top, width and height (in Left, Top, Right, Bottom) relative to the header origin.
    TpgwRect Place{};
    std::vector<TpgwCustomMemoView*> LevelMemos;      // roots only
    std::vector<TpgwCustomMemoView*> LevelTotalMemos; // roots only; 0 the grand total
    TpgwVariantArray AggValues;
    TpgwVariantArray AggCounts;
    int CellLevel = 0;
    int CellLevelCount = 0;
    bool WithCellHeaders = false; // roots only
    int KeyIndex = 0;
    bool CellCaption = false;
    bool KeyLeaf = false;
    bool Total = false;
    std::vector<std::unique_ptr<TpgwCrossHeader>> Children;
    int LevelCount = 0;
    TpgwCustomMemoView* SourceMemo = nullptr;
    bool LevelsEmpty = false; // roots only
    TpgwCrossHeader* ParentNode = nullptr;
    TpgwPoint Span{};
    int TotalDepth = 0;
    Variant KeyValue = Variant::Null();
    bool Shown = true;

    // A new node of this node's class with its cell level count and level count.
    virtual std::unique_ptr<TpgwCrossHeader> NewNode() const = 0;
    virtual void Arrange() = 0;
    virtual void MeasureNodes(int maxWidth, int minWidth, bool autoSize) = 0;

    // -1 for a root, 0 for its children, ...
    int Depth() const;
    TpgwCrossHeader* Root();
    // Pre-order list of the nodes (this one included) that have a SourceMemo.
    std::vector<TpgwCrossHeader*> NodesWithMemo();
    // NodesWithMemo without the nodes that have children.
    std::vector<TpgwCrossHeader*> LeafNodes();
    // Position of each node below the root on the way to this one among its parent's children.
    TpgwVariantArray PathIndexes() const;
    // KeyValue of each node below the root on the way to this one.
    TpgwVariantArray PathValues() const;
    // Appends a child node of this class and returns it.
    TpgwCrossHeader* AddChild();
    // Bottom of the last leaf; 0 when not Shown or without leaves.
    double TotalHeight();
    // Right edge of the last leaf; 0 when not Shown or without leaves.
    double TotalWidth();

    // The root's level heights (column header, corner) or widths (row header), LevelCount + 1.
    std::vector<double> LevelSizes;
};

class TpgwCrossColumnHeader : public TpgwCrossHeader {
public:
    using TpgwCrossHeader::TpgwCrossHeader;
    TpgwCrossHeader* CornerNode = nullptr;
    std::unique_ptr<TpgwCrossHeader> NewNode() const override;
    void Arrange() override;
    void MeasureNodes(int maxWidth, int minWidth, bool autoSize) override;
};

class TpgwCrossCorner : public TpgwCrossColumnHeader {
public:
    using TpgwCrossColumnHeader::TpgwCrossColumnHeader;
    std::unique_ptr<TpgwCrossHeader> NewNode() const override;
};

class TpgwCrossRowHeader : public TpgwCrossHeader {
public:
    using TpgwCrossHeader::TpgwCrossHeader;
    TpgwCrossHeader* CornerNode = nullptr;
    std::unique_ptr<TpgwCrossHeader> NewNode() const override;
    void Arrange() override;
    void MeasureNodes(int maxWidth, int minWidth, bool autoSize) override;
};

// The natural width and height of a memo's text (dot-matrix memos one cell more, rotated
// memos swapped).
TpgwPoint CrossMeasureMemo(TpgwCustomMemoView* memo);

// ---- page strips and design-time grid lines ---------------------------------------------------

class TpgwCutBandItem : public TCollectionItem {
    LUMETRA_CLASS(TpgwCutBandItem, TCollectionItem)
public:
    explicit TpgwCutBandItem(TCollection* collection);
    ~TpgwCutBandItem() override;
    std::unique_ptr<TpgwNullBand> StripBand;
    int FirstLeaf = 0;
    int LastLeaf = 0;
};

class TpgwCutBands : public TCollection {
    LUMETRA_CLASS(TpgwCutBands, TCollection)
public:
    TpgwCutBands();
    ~TpgwCutBands() override;
    TpgwCutBandItem* Strip(int index) const { return static_cast<TpgwCutBandItem*>(Items(index)); }
    void AddStrip(std::unique_ptr<TpgwNullBand> band, int first, int last);
};

class TpgwGridLineItem : public TCollectionItem {
    LUMETRA_CLASS(TpgwGridLineItem, TCollectionItem)
public:
    explicit TpgwGridLineItem(TCollection* collection);
    ~TpgwGridLineItem() override;
    double Position = 0;
    std::vector<TpgwComponent*> Attached;
};

class TpgwGridLines : public TCollection {
    LUMETRA_CLASS(TpgwGridLines, TCollection)
public:
    TpgwGridLines();
    ~TpgwGridLines() override;
    TpgwGridLineItem* Line(int index) const { return static_cast<TpgwGridLineItem*>(Items(index)); }
    void Attach(TpgwComponent* object, double position);
};

// ---- the objects -------------------------------------------------------------------------------

class TpgwCustomCrossView : public TpgwView {
    LUMETRA_CLASS(TpgwCustomCrossView, TpgwView)
public:
    explicit TpgwCustomCrossView(TComponent* owner);
    ~TpgwCustomCrossView() override;
    static void RegisterProperties(TClassBuilder<TpgwCustomCrossView>& b);

    // ---- published
    double AddHeight() const { return addHeight_; }
    void SetAddHeight(double v) { addHeight_ = v; }
    double AddWidth() const { return addWidth_; }
    void SetAddWidth(double v) { addWidth_ = v; }
    bool AllowDuplicates() const { return allowDuplicates_; }
    void SetAllowDuplicates(bool v) { allowDuplicates_ = v; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) { autoSize_ = v; }
    bool Border() const { return border_; }
    void SetBorder(bool v) { border_ = v; }
    int CellLevels() const { return cellLevels_; }
    virtual void SetCellLevels(int value);
    int ColumnLevels() const { return columnLevels_; }
    virtual void SetColumnLevels(int value);
    int DefHeight() const { return defHeight_; }
    void SetDefHeight(int v) { defHeight_ = v; }
    bool DownThenAcross() const { return downThenAcross_; }
    void SetDownThenAcross(bool v) { downThenAcross_ = v; }
    int GapX() const { return gapX_; }
    void SetGapX(int v) { gapX_ = v; }
    int GapY() const { return gapY_; }
    void SetGapY(int v) { gapY_ = v; }
    bool JoinEqualCells() const { return joinEqualCells_; }
    void SetJoinEqualCells(bool v) { joinEqualCells_ = v; }
    bool KeepTogether() const { return keepTogether_; }
    void SetKeepTogether(bool v) { keepTogether_ = v; }
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int v) { maxWidth_ = v; }
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int v) { minWidth_ = v; }
    TpgwCustomCrossView* NextCross() const { return nextCross_; }
    void SetNextCross(TpgwCustomCrossView* v);
    double NextCrossGap() const { return nextCrossGap_; }
    void SetNextCrossGap(double v) { nextCrossGap_ = v; }
    bool PlainCells() const { return plainCells_; }
    void SetPlainCells(bool v) { plainCells_ = v; }
    bool RepeatHeaders() const { return repeatHeaders_; }
    void SetRepeatHeaders(bool v) { repeatHeaders_ = v; }
    int RowLevels() const { return rowLevels_; }
    virtual void SetRowLevels(int value);
    bool ShowColumnHeader() const { return showColumnHeader_; }
    void SetShowColumnHeader(bool v) { showColumnHeader_ = v; }
    bool ShowColumnTotal() const { return showColumnTotal_; }
    void SetShowColumnTotal(bool v) { showColumnTotal_ = v; }
    bool ShowCorner() const { return showCorner_; }
    void SetShowCorner(bool v) { showCorner_ = v; }
    bool ShowRowHeader() const { return showRowHeader_; }
    void SetShowRowHeader(bool v) { showRowHeader_ = v; }
    bool ShowRowTotal() const { return showRowTotal_; }
    void SetShowRowTotal(bool v) { showRowTotal_ = v; }
    bool ShowTitle() const { return showTitle_; }
    void SetShowTitle(bool v) { showTitle_ = v; }
    bool SuppressNullRecords() const { return suppressNullRecords_; }
    void SetSuppressNullRecords(bool v) { suppressNullRecords_ = v; }
    // Names of script procedures.
    std::string OnCalcHeight, OnCalcWidth, OnPrintCell, OnPrintColumnHeader, OnPrintRowHeader;

    // ---- not published
    bool ClearBeforePrint = true;
    // Indexes 0 to 31; others raise ERangeError naming the table and the index.
    TpgwCrossFunction CellFunctions(int index) const;
    void SetCellFunctions(int index, TpgwCrossFunction value);
    TpgwCrossSortOrder ColumnSort(int index) const;
    void SetColumnSort(int index, TpgwCrossSortOrder value);
    TpgwCrossSortOrder RowSort(int index) const;
    void SetRowSort(int index, TpgwCrossSortOrder value);
    bool DotMatrixMode() const { return dotMatrixMode_; }
    void SetDotMatrixMode(bool value);

    // One line per level: field names or expressions (published by TpgwDBCrossView; a
    // TpgwCrossView fills them with its sample captions).
    TStringList* RowFields() const { return rowFields_.get(); }
    void SetRowFields(TStringList* value);
    TStringList* ColumnFields() const { return columnFields_.get(); }
    void SetColumnFields(TStringList* value);
    TStringList* CellFields() const { return cellFields_.get(); }
    void SetCellFields(TStringList* value);

    // The inner memos, owned by the object; they have no owner and no parent.
    using MemoList = std::vector<std::unique_ptr<TpgwCustomMemoView>>;
    const MemoList& CellMemos() const { return cellMemos_; }
    const MemoList& CellHeaderMemos() const { return cellHeaderMemos_; }
    const MemoList& ColumnMemos() const { return columnMemos_; }
    const MemoList& ColumnTotalMemos() const { return columnTotalMemos_; }
    const MemoList& CornerMemos() const { return cornerMemos_; }
    const MemoList& RowMemos() const { return rowMemos_; }
    const MemoList& RowTotalMemos() const { return rowTotalMemos_; }
    // The cell memo of a cell level in a row and a column of these total depths.
    TpgwCustomMemoView* CellMemoFor(int rowTotalDepth, int columnTotalDepth, int level) const;

    // ---- matrix (defined while one exists)
    void BeginMatrix();
    // Raises "Cross-tab is not valid" when IsValid is False; nothing without a matrix.
    void AddValue(const TpgwVariantArray& rows, const TpgwVariantArray& columns,
                  const TpgwVariantArray& cells);
    void CompleteMatrix();
    void ClearMatrix();
    bool HasMatrix() const { return rows_ != nullptr; }
    bool MatrixComplete() const { return matrixComplete_; }
    int ColCount() const;
    int RowCount() const;
    bool IsGrandTotalColumn(int index) const;
    bool IsGrandTotalRow(int index) const;
    bool IsTotalColumn(int index) const;
    bool IsTotalRow(int index) const;
    Variant CellValue(int row, int column, int level) const;
    // Variant arrays; levels summed up in a total read "@@@".
    Variant ColumnKey(int index) const;
    Variant RowKey(int index) const;
    TpgwCrossRows* Rows() const { return rows_.get(); }
    TpgwCrossColumns* Columns() const { return columns_.get(); }
    TpgwCrossRowHeader* RowHeader() const { return rowHeader_.get(); }
    TpgwCrossColumnHeader* ColumnHeader() const { return columnHeader_.get(); }
    TpgwCrossCorner* Corner() const { return corner_.get(); }
    bool RowLevelsEmpty() const { return rowLevelsEmpty_; }
    bool ColumnLevelsEmpty() const { return columnLevelsEmpty_; }

    // ---- layout
    void CalcSizes(double addHeight, double addWidth);
    double ColumnHeaderHeight() const;
    double RowHeaderWidth() const;
    void CallCalcWidth(int columnIndex, double& width);
    void CallCalcHeight(int rowIndex, double& height);

    // ---- objects
    void ApplyStyle(TpgwStyles* styles);
    void SaveStyle(TpgwStyles* styles);
    // A dot-matrix memo in dot-matrix mode, else a memo; owned by band (and its child) or
    // by nothing.
    TpgwCustomMemoView* NewMemo(TpgwBand* band);
    void SetMemoNames(bool publish);
    // The child objects of every inner memo, in SetMemoNames' memo order.
    std::vector<TpgwComponent*> InnerObjects() const;
    virtual bool IsValid() const { return true; }
    virtual void FillMatrix() {}
    void CallPrintCell(TpgwCustomMemoView* memo, int rowIndex, const Variant& value, int cellLevel,
                       int columnIndex);
    void CallPrintColumnHeader(TpgwCustomMemoView* memo, TpgwCrossHeader* node);
    void CallPrintRowHeader(TpgwCustomMemoView* memo, TpgwCrossHeader* node);

    // Callbacks of the program hosting the report library; they see the script events' values.
    std::function<void(int rowIndex, const Variant& rowValues, double& height)> HostCalcHeight;
    std::function<void(int columnIndex, const Variant& columnValues, double& width)> HostCalcWidth;
    std::function<void(TpgwCustomMemoView* memo, int rowIndex, int columnIndex, int cellIndex,
                       const Variant& rowValues, const Variant& columnValues, const Variant& value)>
        HostPrintCell;
    std::function<void(TpgwCustomMemoView* memo, const Variant& headerIndexes,
                       const Variant& headerValues, const Variant& value)>
        HostPrintColumnHeader;
    std::function<void(TpgwCustomMemoView* memo, const Variant& headerIndexes,
                       const Variant& headerValues, const Variant& value)>
        HostPrintRowHeader;

    // ---- report-object operations
    const std::vector<TpgwComponent*>& ContainedObjects() const override { return drawnObjects_; }
    void PrepareForRun() override;
    void SaveForPrint() override;
    void FetchData() override;
    void DefineProperties(TFiler& filer) override;
    bool AcceptObject(TpgwComponent* object) override;
    bool DesignMouseDown(TObject* sender, int x, int y) override;
    void DesignMouseMove(TObject* sender, int x, int y) override;
    void DesignMouseUp(TObject* sender, int x, int y) override;
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;

    // ---- "Memos" (cross_memos.cpp)
    void WriteMemos(TStream& stream);
    void ReadMemos(TStream& stream);

    // ---- design time (cross_design.cpp)
    // Builds the sample matrix and places (and, with a canvas, draws) every memo; the size of
    // the drawn table.
    TpgwPoint RenderMatrix(TCanvas* canvas, double originX, double originY, double scaleX,
                           double scaleY);
    TpgwGridLines& VerticalLines() { return *verticalLines_; }
    TpgwGridLines& HorizontalLines() { return *horizontalLines_; }
    bool Dragging() const { return dragging_; }

    // ---- output (cross_output.cpp)
    void Output();
    TpgwCutBands& ColumnStrips() { return *columnStrips_; }
    TpgwCutBands& RowStrips() { return *rowStrips_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TpgwCrossHeader;
    // cross_matrix.cpp
    void initMatrix();
    void makeHeaders();  // (cross_matrix.cpp) empty header roots from the settings
    void reopenMatrix(); // (cross_matrix.cpp) back to the data of a completed matrix
    void updateVisibility();
    void buildHeaders();
    void fillHeader(TpgwCrossHeader* header, TpgwIndexCollection* collection, bool withGrandTotal,
                    const MemoList& totalMemos);
    void computeTotals(TpgwCrossHeader* header, TpgwIndexCollection* collection);
    // cross_layout.cpp
    TpgwPoint measureCell(TpgwCustomMemoView* memo, const Variant& value, int columnIndex,
                          int cellLevel, TpgwCrossHeader* columnLeaf);
    // cross_view.cpp
    void ensureMemos(MemoList& list, int count, int kind);
    void ensureCellMemos();
    void freeMemos();
    // cross_output.cpp
    // Working state of one Output: leaf lists, the cell offset, the report variables.
    struct OutputState;
    OutputState* output_ = nullptr;
    void makeColumnStrips();
    void makeRowStrips();
    void outputStrip(int rowStrip, int columnStrip, double y);
    void outputCorner(double x, double y);
    std::unique_ptr<TpgwNullBand> makeRowBand(int rowLeaf, int columnStrip);
    // cross_design.cpp
    void fillSample();
    void drawHeader(TCanvas* canvas, TpgwCrossHeader* header, double originX, double originY);
    void drawCells(TCanvas* canvas, double originX, double originY);
    void drawObject(TCanvas* canvas, TpgwComponent* object, bool inner);
    bool hitTest(int x, int y, TpgwGridLines*& lines, int& index);
    TpgwPoint designOrigin() const;
    // cross_design.cpp: the scales and the extent (largest right and bottom edge) of the
    // rendering in progress; the objects on the dragged line as they were at the press (a
    // drawing during the drag rebuilds the lines).
    double renderScaleX_ = 1;
    double renderScaleY_ = 1;
    TpgwPoint renderExtent_{};
    std::vector<TpgwComponent*> dragObjects_;

    double addHeight_ = 0;
    double addWidth_ = 0;
    bool allowDuplicates_ = true;
    bool autoSize_ = true;
    bool border_ = true;
    int cellLevels_ = 0;
    int columnLevels_ = 0;
    int defHeight_ = 0;
    bool downThenAcross_ = false;
    int gapX_ = 3;
    int gapY_ = 3;
    bool joinEqualCells_ = false;
    bool keepTogether_ = false;
    int maxWidth_ = 200;
    int minWidth_ = 0;
    TpgwCustomCrossView* nextCross_ = nullptr;
    double nextCrossGap_ = 0;
    bool plainCells_ = false;
    bool repeatHeaders_ = true;
    int rowLevels_ = 0;
    bool showColumnHeader_ = true;
    bool showColumnTotal_ = true;
    bool showCorner_ = true;
    bool showRowHeader_ = true;
    bool showRowTotal_ = true;
    bool showTitle_ = true;
    bool suppressNullRecords_ = true;
    bool dotMatrixMode_ = false;

    std::array<TpgwCrossFunction, kCrossMaxLevels> cellFunctions_{};
    std::array<TpgwCrossSortOrder, kCrossMaxLevels> columnSort_{};
    std::array<TpgwCrossSortOrder, kCrossMaxLevels> rowSort_{};

    std::unique_ptr<TStringList> rowFields_, columnFields_, cellFields_;
    MemoList cellMemos_, cellHeaderMemos_, columnMemos_, columnTotalMemos_, cornerMemos_, rowMemos_,
        rowTotalMemos_;

    std::unique_ptr<TpgwCrossRows> rows_;
    std::unique_ptr<TpgwCrossColumns> columns_;
    std::unique_ptr<TpgwCrossRowHeader> rowHeader_;
    std::unique_ptr<TpgwCrossColumnHeader> columnHeader_;
    std::unique_ptr<TpgwCrossCorner> corner_;
    bool rowLevelsEmpty_ = false;
    bool columnLevelsEmpty_ = false;
    bool matrixComplete_ = false;

    std::unique_ptr<TpgwCutBands> columnStrips_, rowStrips_;
    std::unique_ptr<TpgwGridLines> verticalLines_, horizontalLines_;
    std::vector<TpgwComponent*> drawnObjects_;
    TpgwGridLines* dragLines_ = nullptr;
    int dragIndex_ = -1;
    bool dragging_ = false;
    TPoint downPoint_{};
    TPoint lastPoint_{};
};

// Filled by the report script (AddValue, normally from its before-print event).
class TpgwCrossView : public TpgwCustomCrossView {
    LUMETRA_CLASS(TpgwCrossView, TpgwCustomCrossView)
public:
    explicit TpgwCrossView(TComponent* owner);
    ~TpgwCrossView() override;
    static void RegisterProperties(TClassBuilder<TpgwCrossView>& b);
    std::string ClassDescription() const override;
    void SetCellLevels(int value) override;
    void SetColumnLevels(int value) override;
    void SetRowLevels(int value) override;
    bool IsValid() const override;
};

// Filled from a report data set when printed.
class TpgwDBCrossView : public TpgwCustomCrossView {
    LUMETRA_CLASS(TpgwDBCrossView, TpgwCustomCrossView)
public:
    explicit TpgwDBCrossView(TComponent* owner);
    ~TpgwDBCrossView() override;
    static void RegisterProperties(TClassBuilder<TpgwDBCrossView>& b);
    std::string ClassDescription() const override;
    void FillMatrix() override;
    bool IsValid() const override;
};

// An empty component the main window holds so that the cross-tab module is linked in.
class TpgwCrossObject : public TComponent {
    LUMETRA_CLASS(TpgwCrossObject, TComponent)
public:
    explicit TpgwCrossObject(TComponent* owner);
    ~TpgwCrossObject() override;
};

// Module start-up: the classes in the object registry and by name, the handler parameter texts.
void RegisterCrossViewClasses();
void UnregisterCrossViewClasses();
// The script binding module "pgwCrossRTTI".
void RegisterCrossViewBinding();
void UnregisterCrossViewBinding();
