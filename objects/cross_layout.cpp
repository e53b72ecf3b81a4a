// Sizes and places of a cross-tab's header cells and data cells, from its inner memos.

#include "objects/cross_view.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "report/band.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"

namespace {

// Measuring is the costly part of a large table and its texts repeat (zeros, totals, equal
// values), so one layout measures each text once per memo and width.
struct LayoutRun {
    double addWidth = 0;
    double addHeight = 0;
    std::map<std::tuple<const TpgwCustomMemoView*, double, std::string>, TpgwPoint> measured;
};

thread_local LayoutRun* activeRun = nullptr;

class LayoutScope {
public:
    LayoutScope(double addWidth, double addHeight) : saved_(activeRun) {
        run_.addWidth = addWidth;
        run_.addHeight = addHeight;
        activeRun = &run_;
    }
    ~LayoutScope() { activeRun = saved_; }
    LayoutScope(const LayoutScope&) = delete;
    LayoutScope& operator=(const LayoutScope&) = delete;

private:
    LayoutRun run_;
    LayoutRun* saved_;
};

// The memo's lines, to be put back after a measurement with another text.
class KeptText {
public:
    explicit KeptText(TpgwCustomMemoView* memo) : memo_(memo) {
        const TWideStrings& lines = *memo->Memo();
        lines_.reserve(static_cast<std::size_t>(lines.Count()));
        for (int i = 0; i < lines.Count(); ++i)
            lines_.push_back(lines.StringRef(i));
    }
    ~KeptText() {
        TWideStrings& lines = *memo_->Memo();
        lines.Clear();
        for (const auto& line : lines_)
            lines.Add(line);
    }
    KeptText(const KeptText&) = delete;
    KeptText& operator=(const KeptText&) = delete;

private:
    TpgwCustomMemoView* memo_;
    std::vector<std::u16string> lines_;
};

// The natural size of a node's caption in its memo at the given width.
TpgwPoint
MeasureCaption(TpgwCustomMemoView* memo, const Variant& value, int maxWidth,
               std::map<std::pair<const TpgwCustomMemoView*, std::string>, TpgwPoint>& cache) {
    memo->SetWidth(maxWidth);
    std::string text = memo->FormatValue(value, memo->DisplayFormat());
    const auto key = std::make_pair(static_cast<const TpgwCustomMemoView*>(memo), text);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    KeptText kept(memo);
    memo->SetText(text);
    if (memo->Memo()->Count() == 0) memo->SetText(" ");
    const TpgwPoint size = CrossMeasureMemo(memo);
    cache.emplace(key, size);
    return size;
}

// Both header kinds measure alike; rows take their fixed width from every data node and
// their fixed height from leaves, columns the other way round.
void MeasureHeaderNodes(TpgwCrossHeader* root, int maxWidth, int minWidth, bool autoSize,
                        bool rows) {
    std::map<std::pair<const TpgwCustomMemoView*, std::string>, TpgwPoint> cache;
    for (TpgwCrossHeader* node : root->NodesWithMemo()) {
        TpgwCustomMemoView* memo = node->SourceMemo;
        if (autoSize || ((memo->Width() == 0 || memo->Height() == 0) && memo->Visible())) {
            node->Span = MeasureCaption(memo, node->KeyValue, maxWidth, cache);
        } else {
            const bool leaf = node->Children.empty();
            if (rows) {
                if (leaf) node->Span.Y = memo->Height();
                if (!node->Total) node->Span.X = memo->Width();
            } else {
                if (leaf) node->Span.X = memo->Width();
                if (!node->Total) node->Span.Y = memo->Height();
            }
        }
        node->Span.X = std::max(node->Span.X, static_cast<double>(minWidth));
        node->Span.X = std::min(node->Span.X, static_cast<double>(maxWidth));
    }
}

// Children at least as wide (tall) as their parent: extra room goes to the last child and
// on down its last descendants.
double FitSpans(TpgwCrossHeader* node, bool widths) {
    if (node->Children.empty()) return widths ? node->Span.X : node->Span.Y;
    double sum = 0;
    for (auto& child : node->Children)
        sum += FitSpans(child.get(), widths);
    double& own = widths ? node->Span.X : node->Span.Y;
    if (sum > own) {
        own = sum;
    } else {
        TpgwCrossHeader* last = node->Children.back().get();
        (widths ? last->Span.X : last->Span.Y) += own - sum;
        FitSpans(last, widths);
    }
    return own;
}

// Level sizes of a tree (heights for columns, widths for rows): the largest span of each
// level, cell headers at the last index, totals spanning their level and every deeper one.
std::vector<double> LevelSizesOf(TpgwCrossHeader* root, bool heights) {
    const int levels = root->LevelCount;
    std::vector<double> sizes(static_cast<std::size_t>(levels + 1), 0.0);
    const std::vector<TpgwCrossHeader*> nodes = root->NodesWithMemo();
    auto span = [heights](const TpgwCrossHeader* n) { return heights ? n->Span.Y : n->Span.X; };
    auto levelOf = [levels](const TpgwCrossHeader* n) {
        return n->CellCaption ? levels : n->Depth();
    };
    for (const TpgwCrossHeader* node : nodes) {
        const int level = levelOf(node);
        if (level < 0 || level > levels) continue;
        if (node->Total && level != levels - 1) continue;
        double& size = sizes[static_cast<std::size_t>(level)];
        size = std::max(size, span(node));
    }
    if (root->LevelsEmpty) sizes[0] = 0;
    for (const TpgwCrossHeader* node : nodes) {
        const int level = levelOf(node);
        if (!node->Total || level < 0 || level >= levels - 1) continue;
        double sum = 0;
        for (int k = level; k < levels; ++k)
            sum += sizes[static_cast<std::size_t>(k)];
        if (span(node) > sum) sizes[static_cast<std::size_t>(levels - 1)] += span(node) - sum;
    }
    return sizes;
}

// The extent of a node across the levels: the root its own span, a cell header the cell
// header level, a total its level and every deeper one.
double LevelExtent(const TpgwCrossHeader* node, const std::vector<double>& sizes, bool heights) {
    if (!node->ParentNode) return heights ? node->Span.Y : node->Span.X;
    const int levels = node->LevelCount;
    if (node->CellCaption) return sizes[static_cast<std::size_t>(levels)];
    const int level = node->Depth();
    if (level < 0 || level > levels) return 0;
    if (node->Total) {
        double sum = 0;
        for (int k = level; k < levels; ++k)
            sum += sizes[static_cast<std::size_t>(k)];
        return sum;
    }
    return sizes[static_cast<std::size_t>(level)];
}

void PlaceColumnNode(TpgwCrossHeader* node, const std::vector<double>& heights, double x,
                     double y) {
    const double h = LevelExtent(node, heights, true);
    node->Place = TpgwRect{x, y, node->Span.X, h};
    y += h;
    for (auto& child : node->Children) {
        PlaceColumnNode(child.get(), heights, x, y);
        x += child->Span.X;
    }
}

void PlaceRowNode(TpgwCrossHeader* node, const std::vector<double>& widths, double x, double y) {
    const double w = LevelExtent(node, widths, false);
    node->Place = TpgwRect{x, y, w, node->Span.Y};
    x += w;
    for (auto& child : node->Children) {
        PlaceRowNode(child.get(), widths, x, y);
        y += child->Span.Y;
    }
}

// The deepest last node, which is the last leaf whenever the tree has one.
const TpgwCrossHeader* LastLeaf(const TpgwCrossHeader* root) {
    const TpgwCrossHeader* node = root;
    while (!node->Children.empty())
        node = node->Children.back().get();
    return node->SourceMemo ? node : nullptr;
}

} // namespace

TpgwPoint CrossMeasureMemo(TpgwCustomMemoView* memo) {
    const double height = memo->Height();
    const bool dotMatrix = memo->Is<TpgwDMPMemoView>();
    memo->SetHeight(10000);
    TpgwPoint size{memo->CalcWidth(), memo->CalcHeight()};
    if (dotMatrix) {
        size.X += pg1CharX;
        size.Y += pg1CharY;
    }
    const int rotation = ((memo->Rotation() % 360) + 360) % 360;
    if (rotation == 90 || rotation == 270) std::swap(size.X, size.Y);
    // A dot-matrix memo may sit off its grid (cells lay themselves out); put it back exactly.
    if (dotMatrix)
        static_cast<TpgwDMPMemoView*>(memo)->SetBoundsDirect(memo->Left(), memo->Top(),
                                                             memo->Width(), height);
    else
        memo->SetHeight(height);
    return size;
}

// ---- header trees ------------------------------------------------------------------------------

std::unique_ptr<TpgwCrossHeader> TpgwCrossColumnHeader::NewNode() const {
    return std::make_unique<TpgwCrossColumnHeader>(CellLevelCount, LevelCount);
}

std::unique_ptr<TpgwCrossHeader> TpgwCrossCorner::NewNode() const {
    return std::make_unique<TpgwCrossCorner>(CellLevelCount, LevelCount);
}

std::unique_ptr<TpgwCrossHeader> TpgwCrossRowHeader::NewNode() const {
    return std::make_unique<TpgwCrossRowHeader>(CellLevelCount, LevelCount);
}

void TpgwCrossColumnHeader::MeasureNodes(int maxWidth, int minWidth, bool autoSize) {
    MeasureHeaderNodes(this, maxWidth, minWidth, autoSize, false);
}

void TpgwCrossRowHeader::MeasureNodes(int maxWidth, int minWidth, bool autoSize) {
    MeasureHeaderNodes(this, maxWidth, minWidth, autoSize, true);
}

void TpgwCrossColumnHeader::Arrange() {
    FitSpans(this, true);
    std::vector<double> heights = LevelSizesOf(this, true);
    const int levels = LevelCount;

    if (CornerNode) {
        // The title row and the corner cell share one height.
        if (!SourceMemo || !SourceMemo->Visible()) Span.Y = 0;
        if (!CornerNode->SourceMemo || !CornerNode->SourceMemo->Visible()) CornerNode->Span.Y = 0;
        const double title = std::max(Span.Y, CornerNode->Span.Y);
        Span.Y = title;
        if (!LevelsEmpty) CornerNode->Span.Y = title;

        // The row-level captions in the corner are as tall as the level rows; the tallest
        // caption makes the rows below the title taller, once.
        const int n = levels - 1 + (WithCellHeaders ? 1 : 0);
        double sum = 0;
        for (int k = 0; k <= n && k <= levels; ++k)
            sum += heights[static_cast<std::size_t>(k)];
        if (LevelsEmpty) sum += Span.Y;
        double tallest = sum;
        for (auto& caption : CornerNode->Children) {
            if (caption->Span.Y <= sum)
                caption->Span.Y = sum;
            else
                tallest = std::max(tallest, caption->Span.Y);
        }
        if (tallest > sum) {
            if (n == 0)
                Span.Y += tallest - sum;
            else
                for (int k = 0; k <= n && k <= levels; ++k)
                    heights[static_cast<std::size_t>(k)] += (tallest - sum) / (n + 1);
        }
    }
    LevelSizes = heights;
    PlaceColumnNode(this, heights, 0, 0);
}

void TpgwCrossRowHeader::Arrange() {
    FitSpans(this, false);
    std::vector<double> widths = LevelSizesOf(this, false);
    if (CornerNode) {
        // Corner caption i stands above row level i (the last one above the cell headers).
        int i = 0;
        for (auto& caption : CornerNode->Children) {
            if (i >= static_cast<int>(widths.size())) break;
            double& width = widths[static_cast<std::size_t>(i)];
            if (width >= caption->Span.X)
                caption->Span.X = width;
            else
                width = caption->Span.X;
            ++i;
        }
    }
    LevelSizes = widths;
    PlaceRowNode(this, widths, 0, 0);
}

double TpgwCrossHeader::TotalHeight() {
    if (!Shown) return 0;
    const TpgwCrossHeader* last = LastLeaf(this);
    return last ? last->Place.Top + last->Place.Bottom : 0;
}

double TpgwCrossHeader::TotalWidth() {
    if (!Shown) return 0;
    const TpgwCrossHeader* last = LastLeaf(this);
    return last ? last->Place.Left + last->Place.Right : 0;
}

// ---- the object --------------------------------------------------------------------------------

double TpgwCustomCrossView::ColumnHeaderHeight() const {
    return columnHeader_ ? columnHeader_->TotalHeight() : 0;
}

double TpgwCustomCrossView::RowHeaderWidth() const {
    if (rowLevelsEmpty_ || !rowHeader_) return 0;
    return rowHeader_->TotalWidth();
}

void TpgwCustomCrossView::CalcSizes(double addHeight, double addWidth) {
    if (!rows_ || !columnHeader_ || !rowHeader_ || !corner_) return;
    LayoutScope scope(addWidth, addHeight);
    const std::vector<TpgwCrossHeader*> columnLeaves = columnHeader_->LeafNodes();
    const std::vector<TpgwCrossHeader*> rowLeaves = rowHeader_->LeafNodes();

    if (cellLevels_ > 1) {
        const std::vector<TpgwCrossHeader*>& leaves = plainCells_ ? columnLeaves : rowLeaves;
        for (std::size_t i = 0; i < leaves.size(); ++i)
            for (int l = 0; l < cellLevels_; ++l) {
                TpgwCrossHeader* leaf = leaves[i];
                TpgwCrossHeader* caption = leaf->AddChild();
                caption->Total = leaf->Total;
                caption->TotalDepth = leaf->TotalDepth;
                caption->CellCaption = true;
                caption->KeyIndex = static_cast<int>(i);
                caption->CellLevel = l;
                const auto memoIndex = static_cast<std::size_t>(leaf->TotalDepth * cellLevels_ + l);
                if (memoIndex < cellHeaderMemos_.size()) {
                    caption->SourceMemo = cellHeaderMemos_[memoIndex].get();
                    caption->KeyValue = Variant::FromWideString(caption->SourceMemo->Text());
                }
            }
    }

    columnHeader_->MeasureNodes(maxWidth_, minWidth_, autoSize_);
    rowHeader_->MeasureNodes(maxWidth_, minWidth_, autoSize_);
    corner_->MeasureNodes(maxWidth_, minWidth_, autoSize_);

    const int columnCount = std::min(static_cast<int>(columnLeaves.size()), columns_->Count());
    for (int ci = 0; ci < static_cast<int>(columnLeaves.size()); ++ci) {
        columnLeaves[static_cast<std::size_t>(ci)]->KeyLeaf = true;
        columnLeaves[static_cast<std::size_t>(ci)]->KeyIndex = ci;
    }
    const int rowCount = std::min(static_cast<int>(rowLeaves.size()), rows_->Count());
    for (int ri = 0; ri < static_cast<int>(rowLeaves.size()); ++ri) {
        TpgwCrossHeader* rowLeaf = rowLeaves[static_cast<std::size_t>(ri)];
        rowLeaf->KeyLeaf = true;
        rowLeaf->KeyIndex = ri;
        if (ri >= rowCount) continue;
        if (autoSize_) {
            TpgwCrossRow* row = rows_->Row(ri);
            for (int ci = 0; ci < columnCount; ++ci) {
                TpgwCrossHeader* columnLeaf = columnLeaves[static_cast<std::size_t>(ci)];
                TpgwCrossCell* cell = row->GetCell(columns_->Column(ci)->ChainIndex);
                for (int l = 0; l < cellLevels_ && cell; ++l, cell = cell->Next) {
                    TpgwCustomMemoView* memo =
                        CellMemoFor(rowLeaf->TotalDepth, columnLeaf->TotalDepth, l);
                    if (!memo) continue;
                    const TpgwPoint size = measureCell(memo, cell->Value, ci, l, columnLeaf);
                    auto childSpan = [l](TpgwCrossHeader* leaf) -> TpgwPoint* {
                        return l < static_cast<int>(leaf->Children.size())
                                   ? &leaf->Children[static_cast<std::size_t>(l)]->Span
                                   : nullptr;
                    };
                    if (cellLevels_ > 1 && plainCells_) {
                        if (TpgwPoint* span = childSpan(columnLeaf))
                            span->X = std::max(span->X, size.X);
                        rowLeaf->Span.Y = std::max(rowLeaf->Span.Y, size.Y);
                    } else if (cellLevels_ > 1) {
                        if (TpgwPoint* span = childSpan(rowLeaf))
                            span->Y = std::max(span->Y, size.Y);
                        columnLeaf->Span.X = std::max(columnLeaf->Span.X, size.X);
                    } else {
                        rowLeaf->Span.Y = std::max(rowLeaf->Span.Y, size.Y);
                        columnLeaf->Span.X = std::max(columnLeaf->Span.X, size.X);
                    }
                }
            }
        }
        double height = rowLeaf->Span.Y;
        CallCalcHeight(ri, height);
        rowLeaf->Span.Y = height;
    }

    corner_->Arrange();
    columnHeader_->Arrange();
    rowHeader_->Arrange();
    corner_->Arrange();
}

TpgwPoint TpgwCustomCrossView::measureCell(TpgwCustomMemoView* memo, const Variant& value,
                                           int columnIndex, int cellLevel,
                                           TpgwCrossHeader* columnLeaf) {
    const TpgwCustomMemoView* formatMemo =
        cellLevel >= 0 && cellLevel < static_cast<int>(cellMemos_.size())
            ? cellMemos_[static_cast<std::size_t>(cellLevel)].get()
            : memo;
    const std::string text = memo->FormatValue(value, formatMemo->DisplayFormat());

    double width = maxWidth_;
    CallCalcWidth(columnIndex, width);
    if (memo->Width() != width) memo->SetWidth(width);
    const bool changed = width != maxWidth_;

    LayoutRun single{addWidth_, addHeight_, {}};
    LayoutRun& run = activeRun ? *activeRun : single;
    TpgwPoint size;
    const auto key = std::make_tuple(static_cast<const TpgwCustomMemoView*>(memo), width, text);
    if (const auto found = run.measured.find(key); found != run.measured.end()) {
        size = found->second;
    } else {
        KeptText kept(memo);
        const int rotation = memo->Rotation();
        memo->SetText(text);
        memo->SetRotation(0);
        size = CrossMeasureMemo(memo);
        memo->SetRotation(rotation);
        run.measured.emplace(key, size);
    }

    size.X += run.addWidth;
    size.Y += run.addHeight;
    size.X = std::min(size.X, static_cast<double>(maxWidth_));
    size.X = std::max(size.X, static_cast<double>(minWidth_));
    if (changed) {
        size.X = width;
        columnLeaf->Span.X = width;
        for (auto& child : columnLeaf->Children)
            child->Span.X = width;
    }
    if (defHeight_ != 0) size.Y = defHeight_;
    // A column hidden by its width event makes no row taller.
    if (width == 0) size.Y = 0;
    return size;
}
