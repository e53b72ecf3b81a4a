// The cross-tab's matrix: sorted row and column keys, the cell chains, the header trees and
// their subtotals and grand totals.

#include "objects/cross_view.h"

#include <algorithm>
#include <string>

#include "platform/core/exception.h"
#include "report/memo_view.h"

namespace {

// Scripts see the levels summed up in a total as this text.
const char* const kTotalMarker = "@@@";

// Two values of one level belong to the same group: the variant comparison finds them equal
// and, when either is text, their texts are identical. The header trees and the subtotals use
// this one rule, so that every group they see is a run of adjacent items.
bool SameLevelValue(const Variant& a, const Variant& b) {
    if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
    if (VarCompare(a, b) != 0) return false;
    if (a.IsString() || b.IsString()) return VarToStr(a) == VarToStr(b);
    return true;
}

// The memo text without the line break that ends it.
std::string CaptionOf(const std::string& text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        return text.substr(0, text.size() - 2);
    return text;
}

// The first "[VALUE]", in any letter case, replaced by value.
std::string ReplaceValueMacro(const std::string& text, const std::string& value) {
    static const std::string macro = "[value]";
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    const std::size_t at = lower.find(macro);
    if (at == std::string::npos) return text;
    return text.substr(0, at) + value + text.substr(at + macro.size());
}

Variant KeyAsArray(const TpgwIndexCollection* collection, int index) {
    if (!collection || index < 0 || index >= collection->Count()) return Variant::Null();
    return VarArrayOf(std::span<const Variant>(collection->Item(index)->Key));
}

bool IsTotalItem(const TpgwIndexCollection* collection, int index) {
    return collection && index >= 0 && index < collection->Count() &&
           collection->Item(index)->TotalItem;
}

// Totals of an earlier completion go before the matrix takes data or completes again.
void RemoveTotalItems(TpgwIndexCollection* collection) {
    for (int i = collection->Count() - 1; i >= 0; --i)
        if (collection->Item(i)->TotalItem) collection->Delete(i);
}

void CheckValueCount(const char* what, const TpgwVariantArray& values, int expected) {
    if (static_cast<int>(values.size()) < expected)
        throw EInvalidArgument("The cross-tab needs " + std::to_string(expected) + " " + what +
                               " values for each record, " + std::to_string(values.size()) +
                               " were given");
}

} // namespace

// ---- keys --------------------------------------------------------------------------------------

TpgwIndexItem::TpgwIndexItem(TCollection* collection) : TCollectionItem(collection) {}
TpgwIndexItem::~TpgwIndexItem() = default;

TpgwIndexCollection::TpgwIndexCollection(
    const TClassInfo& itemClass, int keyLength,
    const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders)
    : TCollection(itemClass), KeyLength(keyLength), LevelOrders(orders) {}

TpgwIndexCollection::~TpgwIndexCollection() = default;

TpgwIndexItem* TpgwIndexCollection::InsertItem(int position, const TpgwVariantArray& key) {
    auto* item = static_cast<TpgwIndexItem*>(Add());
    if (position < Count() - 1) item->SetIndex(position);
    item->Key.assign(static_cast<std::size_t>(KeyLength), Variant::Null());
    const std::size_t n = std::min(key.size(), item->Key.size());
    std::copy_n(key.begin(), n, item->Key.begin());
    return item;
}

int TpgwIndexCollection::CompareKey(const TpgwIndexItem& item, const TpgwVariantArray& key) const {
    static const Variant null = Variant::Null();
    int result = 1;
    for (int i = 0; i < KeyLength; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const Variant& mine = at < item.Key.size() ? item.Key[at] : null;
        const Variant& other = at < key.size() ? key[at] : null;
        const int c = VarCompare(mine, other);
        if (c == 0) {
            // Equal by value but spelled differently: two keys, the new one after.
            if (other.IsString() && VarToStr(mine) != other.StringValue()) return -1;
            result = 0;
            continue;
        }
        if (result == 0 && LevelOrders[0] == csoGrouping) return i + 2;
        const bool ascending = LevelOrders[static_cast<std::size_t>(i)] == csoAscending;
        if (other.IsNull()) return ascending ? 1 : -1;
        if (mine.IsNull()) return ascending ? -1 : 1;
        if (c > 0) return ascending ? 1 : -1;
        return ascending ? -1 : 1;
    }
    return result;
}

bool TpgwIndexCollection::Find(const TpgwVariantArray& key, int& position) const {
    const TpgwCrossSortOrder order = LevelOrders[0];
    if (order == csoAscending || order == csoDescending) {
        bool found = false;
        int lo = 0;
        int hi = Count() - 1;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int c = CompareKey(*Item(mid), key);
            if (c < 0) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
                if (c == 0) {
                    lo = mid;
                    found = true;
                }
            }
        }
        position = lo;
        return found;
    }
    position = Count();
    int best = 0;
    for (int i = 0; i < Count(); ++i) {
        const int c = CompareKey(*Item(i), key);
        if (c == 0) {
            position = i;
            return true;
        }
        if (c > 2 && c >= best) {
            position = i + 1;
            best = c;
        }
    }
    return false;
}

namespace {

// A text that two keys share only when every value is the same value of the same kind, so
// that keys sharing it compare equal; false for values that have no such text.
bool ExactSignature(const TpgwVariantArray& key, int length, std::string& signature) {
    signature.clear();
    if (static_cast<int>(key.size()) < length) return false;
    for (int i = 0; i < length; ++i) {
        const Variant& v = key[static_cast<std::size_t>(i)];
        auto raw = [&signature](const auto& value) {
            signature.append(reinterpret_cast<const char*>(&value), sizeof value);
        };
        switch (v.Kind()) {
        case VariantKind::Empty:
        case VariantKind::Null:
            signature += static_cast<char>(v.Kind());
            break;
        case VariantKind::Int32:
        case VariantKind::Int64:
        case VariantKind::Bool:
            signature += static_cast<char>(v.Kind());
            raw(v.Int64Value());
            break;
        case VariantKind::Double:
        case VariantKind::Date:
            signature += static_cast<char>(v.Kind());
            raw(v.DoubleValue());
            break;
        case VariantKind::String: {
            // 8-bit and wide strings of one text are the same key.
            signature += 'S';
            const std::string& text = v.StringValue();
            raw(text.size());
            signature += text;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace

TpgwIndexItem* TpgwIndexCollection::FindOrAdd(const TpgwVariantArray& key) {
    // Items in order of first appearance only ever append, so the first item that matched a
    // key stays the first that matches it.
    std::string signature;
    const bool remember = LevelOrders[0] == csoNone && ExactSignature(key, KeyLength, signature);
    if (remember)
        if (auto it = seen_.find(signature); it != seen_.end()) return it->second;
    int position = 0;
    TpgwIndexItem* item = Find(key, position) ? Item(position) : InsertItem(position, key);
    if (remember) seen_.emplace(std::move(signature), item);
    return item;
}

// ---- rows, columns and cells -------------------------------------------------------------------

TpgwCrossRow::TpgwCrossRow(TCollection* collection) : TpgwIndexItem(collection) {}
TpgwCrossRow::~TpgwCrossRow() = default;

TpgwCrossCell* TpgwCrossRow::GetCell(int index) {
    if (index < 0) return nullptr;
    while (static_cast<int>(CellChains.size()) <= index) {
        std::unique_ptr<TpgwCrossCell[]> chain;
        if (CellLevelCount > 0) {
            chain = std::make_unique<TpgwCrossCell[]>(static_cast<std::size_t>(CellLevelCount));
            for (int l = 0; l < CellLevelCount; ++l) {
                chain[static_cast<std::size_t>(l)].Value = Variant::Null();
                if (l + 1 < CellLevelCount)
                    chain[static_cast<std::size_t>(l)].Next =
                        &chain[static_cast<std::size_t>(l + 1)];
            }
        }
        CellChains.push_back(chain.get());
        storage_.push_back(std::move(chain));
    }
    return CellChains[static_cast<std::size_t>(index)];
}

TpgwCrossRows::TpgwCrossRows(int keyLength,
                             const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders,
                             int cellLevelCount)
    : TpgwIndexCollection(TpgwCrossRow::StaticClass(), keyLength, orders),
      CellLevelCount(cellLevelCount) {}

TpgwCrossRows::~TpgwCrossRows() = default;

TpgwIndexItem* TpgwCrossRows::InsertItem(int position, const TpgwVariantArray& key) {
    auto* row = static_cast<TpgwCrossRow*>(TpgwIndexCollection::InsertItem(position, key));
    row->CellLevelCount = CellLevelCount;
    return row;
}

TpgwCrossColumn::TpgwCrossColumn(TCollection* collection) : TpgwIndexItem(collection) {}
TpgwCrossColumn::~TpgwCrossColumn() = default;

TpgwCrossColumns::TpgwCrossColumns(int keyLength,
                                   const std::array<TpgwCrossSortOrder, kCrossMaxLevels>& orders)
    : TpgwIndexCollection(TpgwCrossColumn::StaticClass(), keyLength, orders) {}

TpgwCrossColumns::~TpgwCrossColumns() = default;

TpgwIndexItem* TpgwCrossColumns::InsertItem(int position, const TpgwVariantArray& key) {
    auto* column = static_cast<TpgwCrossColumn*>(TpgwIndexCollection::InsertItem(position, key));
    // Chains are numbered in creation order and never reused, so a column removed by a new
    // completion leaves no chain to a later one.
    column->ChainIndex = ChainCount++;
    return column;
}

// ---- header trees ------------------------------------------------------------------------------

TpgwCrossHeader::TpgwCrossHeader(int cellLevelCount, int levelCount)
    : AggValues(static_cast<std::size_t>(std::max(cellLevelCount, 0)), Variant::Null()),
      AggCounts(static_cast<std::size_t>(std::max(cellLevelCount, 0)), Variant(0)),
      CellLevelCount(cellLevelCount), LevelCount(levelCount) {}

TpgwCrossHeader::~TpgwCrossHeader() = default;

int TpgwCrossHeader::Depth() const {
    int depth = -1;
    for (const TpgwCrossHeader* node = ParentNode; node; node = node->ParentNode)
        ++depth;
    return depth;
}

TpgwCrossHeader* TpgwCrossHeader::Root() {
    TpgwCrossHeader* node = this;
    while (node->ParentNode)
        node = node->ParentNode;
    return node;
}

namespace {

void CollectWithMemo(TpgwCrossHeader* node, std::vector<TpgwCrossHeader*>& into, bool leaves) {
    if (node->SourceMemo && (!leaves || node->Children.empty())) into.push_back(node);
    for (auto& child : node->Children)
        CollectWithMemo(child.get(), into, leaves);
}

} // namespace

std::vector<TpgwCrossHeader*> TpgwCrossHeader::NodesWithMemo() {
    std::vector<TpgwCrossHeader*> nodes;
    CollectWithMemo(this, nodes, false);
    return nodes;
}

std::vector<TpgwCrossHeader*> TpgwCrossHeader::LeafNodes() {
    std::vector<TpgwCrossHeader*> nodes;
    CollectWithMemo(this, nodes, true);
    return nodes;
}

TpgwVariantArray TpgwCrossHeader::PathIndexes() const {
    TpgwVariantArray path;
    for (const TpgwCrossHeader* node = this; node->ParentNode; node = node->ParentNode) {
        const auto& siblings = node->ParentNode->Children;
        const auto it = std::find_if(siblings.begin(), siblings.end(),
                                     [node](const auto& c) { return c.get() == node; });
        path.emplace_back(static_cast<int>(it - siblings.begin()));
    }
    std::reverse(path.begin(), path.end());
    return path;
}

TpgwVariantArray TpgwCrossHeader::PathValues() const {
    TpgwVariantArray path;
    for (const TpgwCrossHeader* node = this; node->ParentNode; node = node->ParentNode)
        path.push_back(node->KeyValue);
    std::reverse(path.begin(), path.end());
    return path;
}

TpgwCrossHeader* TpgwCrossHeader::AddChild() {
    std::unique_ptr<TpgwCrossHeader> child = NewNode();
    child->ParentNode = this;
    Children.push_back(std::move(child));
    return Children.back().get();
}

namespace {

// Walks a key down from the root, reusing the last child where it holds the same value and
// adding nodes otherwise. With totalLevel >= 0 the walk ends in a total node at that level.
// Every data key gets a leaf of its own, even one that looks like its neighbour, so that the
// leaves stay matched one to one with the collection's items.
void AddKey(TpgwCrossHeader* root, const TpgwVariantArray& values, int totalLevel,
            const std::string& caption) {
    TpgwCrossHeader* node = root;
    const int levels = root->LevelCount;
    for (int level = 0; level < levels; ++level) {
        const auto at = static_cast<std::size_t>(level);
        if (level == totalLevel) {
            TpgwCrossHeader* total = node->AddChild();
            total->KeyValue = Variant::FromWideString(caption);
            total->Total = true;
            total->SourceMemo =
                at < root->LevelTotalMemos.size() ? root->LevelTotalMemos[at] : nullptr;
            total->TotalDepth = levels - level;
            return;
        }
        const Variant& value = values[at];
        if (level + 1 < levels && !node->Children.empty()) {
            TpgwCrossHeader* last = node->Children.back().get();
            if (!last->Total && SameLevelValue(last->KeyValue, value)) {
                node = last;
                continue;
            }
        }
        TpgwCrossHeader* child = node->AddChild();
        child->KeyValue = value;
        child->SourceMemo = at < root->LevelMemos.size() ? root->LevelMemos[at] : nullptr;
        node = child;
    }
}

void ResetAggregates(const std::vector<TpgwCrossHeader*>& nodes,
                     const std::array<TpgwCrossFunction, kCrossMaxLevels>& functions) {
    for (TpgwCrossHeader* node : nodes)
        for (std::size_t l = 0; l < node->AggValues.size(); ++l) {
            const TpgwCrossFunction f = l < functions.size() ? functions[l] : cfSum;
            node->AggValues[l] =
                (f == cfSum || f == cfAvg || f == cfCount) ? Variant(0) : Variant::Null();
            node->AggCounts[l] = Variant(0);
        }
}

void Accumulate(TpgwCrossHeader* leaf, const TpgwVariantArray& values,
                const std::vector<int>& counts,
                const std::array<TpgwCrossFunction, kCrossMaxLevels>& functions) {
    for (TpgwCrossHeader* node = leaf; node; node = node->ParentNode)
        for (std::size_t l = 0; l < values.size() && l < node->AggValues.size(); ++l) {
            const Variant& v = values[l];
            if (v.IsNull()) continue;
            Variant& agg = node->AggValues[l];
            switch (functions[l]) {
            case cfSum:
            case cfCount:
                agg = agg + v;
                break;
            case cfMin:
                if (agg.IsNull() || VarCompare(v, agg) < 0) agg = v;
                break;
            case cfMax:
                if (agg.IsNull() || VarCompare(v, agg) > 0) agg = v;
                break;
            case cfAvg:
                agg = agg + v;
                node->AggCounts[l] = node->AggCounts[l] + Variant(counts[l]);
                break;
            case cfNone:
                break;
            }
        }
}

void CollectAll(TpgwCrossHeader* node, std::vector<TpgwCrossHeader*>& into) {
    into.push_back(node);
    for (auto& child : node->Children)
        CollectAll(child.get(), into);
}

} // namespace

// ---- the matrix --------------------------------------------------------------------------------

void TpgwCustomCrossView::ClearMatrix() {
    rows_.reset();
    columns_.reset();
    rowHeader_.reset();
    columnHeader_.reset();
    corner_.reset();
    matrixComplete_ = false;
}

void TpgwCustomCrossView::BeginMatrix() {
    ClearMatrix();
    initMatrix();
    updateVisibility();
}

void TpgwCustomCrossView::initMatrix() {
    rowLevelsEmpty_ = rowLevels_ == 0;
    columnLevelsEmpty_ = columnLevels_ == 0;
    const int rowKeyLength = std::max(rowLevels_, 1);
    const int columnKeyLength = std::max(columnLevels_, 1);
    rows_ = std::make_unique<TpgwCrossRows>(rowKeyLength, rowSort_, cellLevels_);
    columns_ = std::make_unique<TpgwCrossColumns>(columnKeyLength, columnSort_);
    makeHeaders();
}

// Apart from the collections, so that a second completion starts from empty trees.
void TpgwCustomCrossView::makeHeaders() {
    const int rowKeyLength = std::max(rowLevels_, 1);
    const int columnKeyLength = std::max(columnLevels_, 1);
    auto rawList = [](const MemoList& list) {
        std::vector<TpgwCustomMemoView*> memos;
        memos.reserve(list.size());
        for (const auto& m : list)
            memos.push_back(m.get());
        return memos;
    };

    corner_ = std::make_unique<TpgwCrossCorner>(1, 1);
    corner_->SourceMemo = cornerMemos_[0].get();
    corner_->KeyValue = Variant::FromWideString(cornerMemos_[0]->Text());

    rowHeader_ = std::make_unique<TpgwCrossRowHeader>(cellLevels_, rowKeyLength);
    rowHeader_->LevelMemos = rawList(rowMemos_);
    rowHeader_->LevelTotalMemos = rawList(rowTotalMemos_);
    rowHeader_->WithCellHeaders = cellLevels_ >= 2 && !plainCells_;
    rowHeader_->CornerNode = corner_.get();
    rowHeader_->LevelsEmpty = rowLevelsEmpty_;

    columnHeader_ = std::make_unique<TpgwCrossColumnHeader>(cellLevels_, columnKeyLength);
    columnHeader_->LevelMemos = rawList(columnMemos_);
    columnHeader_->LevelTotalMemos = rawList(columnTotalMemos_);
    columnHeader_->SourceMemo = cornerMemos_[1].get();
    columnHeader_->KeyValue = Variant::FromWideString(cornerMemos_[1]->Text());
    columnHeader_->WithCellHeaders = cellLevels_ > 1 && plainCells_;
    columnHeader_->CornerNode = corner_.get();
    columnHeader_->LevelsEmpty = columnLevelsEmpty_;
}

void TpgwCustomCrossView::reopenMatrix() {
    RemoveTotalItems(rows_.get());
    RemoveTotalItems(columns_.get());
    makeHeaders();
    updateVisibility();
    matrixComplete_ = false;
}

void TpgwCustomCrossView::updateVisibility() {
    corner_->Shown = showCorner_ && !rowLevelsEmpty_ && showColumnHeader_ && showRowHeader_;
    cornerMemos_[0]->SetVisible(corner_->Shown && !columnLevelsEmpty_ && showTitle_);
    cornerMemos_[2]->SetVisible(corner_->Shown && cellLevels_ > 1 && !plainCells_);
    columnHeader_->Shown = showColumnHeader_;
    columnTotalMemos_[0]->SetVisible(showColumnTotal_ && !columnLevelsEmpty_);
    cornerMemos_[1]->SetVisible(showTitle_ && columnHeader_->Shown);
    columnMemos_[0]->SetVisible(columnHeader_->Shown && !columnLevelsEmpty_);
    rowHeader_->Shown = !rowLevelsEmpty_ && showRowHeader_;
    rowTotalMemos_[0]->SetVisible(showRowTotal_ && !rowLevelsEmpty_);
}

void TpgwCustomCrossView::AddValue(const TpgwVariantArray& rows, const TpgwVariantArray& columns,
                                   const TpgwVariantArray& cells) {
    if (!IsValid()) throw Exception("Cross-tab is not valid");
    if (!rows_) return;
    const int rowCount = rowLevelsEmpty_ ? 0 : rowLevels_;
    const int columnCount = columnLevelsEmpty_ ? 0 : columnLevels_;
    CheckValueCount("row", rows, rowCount);
    CheckValueCount("column", columns, columnCount);
    CheckValueCount("cell", cells, cellLevels_);
    if (suppressNullRecords_) {
        auto allNull = [](const TpgwVariantArray& values, int n) {
            return std::all_of(values.begin(), values.begin() + n,
                               [](const Variant& v) { return v.IsNull(); });
        };
        if (allNull(rows, rowCount) && allNull(columns, columnCount) && allNull(cells, cellLevels_))
            return;
    }
    // More data after a completion: the next one makes the totals again.
    if (matrixComplete_) reopenMatrix();

    static const TpgwVariantArray nullKey{Variant::Null()};
    auto* column =
        static_cast<TpgwCrossColumn*>(columns_->FindOrAdd(columnLevelsEmpty_ ? nullKey : columns));
    auto* row = static_cast<TpgwCrossRow*>(rows_->FindOrAdd(rowLevelsEmpty_ ? nullKey : rows));
    TpgwCrossCell* cell = row->GetCell(column->ChainIndex);

    for (int l = 0; l < cellLevels_ && cell; ++l, cell = cell->Next) {
        Variant value = cells[static_cast<std::size_t>(l)];
        const TpgwCrossFunction f = cellFunctions_[static_cast<std::size_t>(l)];
        if (f == cfCount) value = Variant(value.IsNull() ? 0 : 1);
        if (cell->Value.IsNull()) {
            cell->Value = value;
            cell->Sum = value;
            cell->Records = value.IsNull() ? 0 : 1;
            continue;
        }
        // A record without a value leaves what the others gave.
        if (value.IsNull()) continue;
        if (cell->Value.IsString()) {
            const std::string text = VarToStr(value);
            if (!allowDuplicates_) {
                const std::string lines = "\r\n" + cell->Value.StringValue() + "\r\n";
                if (lines.find("\r\n" + text + "\r\n") != std::string::npos) continue;
            }
            cell->Value = cell->Value + Variant("\r\n") + value;
            continue;
        }
        // The cell shows what its function makes of its records; totals then count each
        // cell once.
        switch (f) {
        case cfMin:
            if (VarCompare(value, cell->Value) < 0) cell->Value = value;
            break;
        case cfMax:
            if (VarCompare(value, cell->Value) > 0) cell->Value = value;
            break;
        case cfAvg:
            cell->Sum = cell->Sum + value;
            ++cell->Records;
            cell->Value = cell->Sum / Variant(cell->Records);
            break;
        default:
            cell->Value = cell->Value + value;
            break;
        }
    }
}

void TpgwCustomCrossView::CompleteMatrix() {
    if (!rows_) return;
    // A completed matrix is completed again from its data alone, never from its totals.
    if (matrixComplete_) reopenMatrix();
    buildHeaders();
    computeTotals(columnHeader_.get(), rows_.get());
    computeTotals(rowHeader_.get(), columns_.get());
    matrixComplete_ = true;
    CalcSizes(addHeight_, addWidth_);
}

void TpgwCustomCrossView::buildHeaders() {
    fillHeader(columnHeader_.get(), columns_.get(), !columnLevelsEmpty_, columnTotalMemos_);
    fillHeader(rowHeader_.get(), rows_.get(), !rowLevelsEmpty_, rowTotalMemos_);
    auto addCaption = [this](TpgwCustomMemoView* memo) {
        TpgwCrossHeader* child = corner_->AddChild();
        child->SourceMemo = memo;
        child->KeyValue = Variant::FromWideString(memo->Text());
    };
    for (int i = 0; i < rowLevels_; ++i)
        addCaption(cornerMemos_[static_cast<std::size_t>(3 + i)].get());
    if (rowHeader_->WithCellHeaders) addCaption(cornerMemos_[2].get());
}

void TpgwCustomCrossView::fillHeader(TpgwCrossHeader* header, TpgwIndexCollection* collection,
                                     bool withGrandTotal, const MemoList& totalMemos) {
    if (collection->Count() == 0) return;
    const int levels = collection->KeyLength;
    TpgwVariantArray prev = collection->Item(0)->Key;
    TpgwVariantArray cur;
    int i = 0;

    // Closes the groups that end between prev and cur: subtotals of the deepest level first,
    // each placed before the item that opens the new group.
    auto addSubtotals = [&]() {
        int j = 0;
        while (j < levels &&
               SameLevelValue(prev[static_cast<std::size_t>(j)], cur[static_cast<std::size_t>(j)]))
            ++j;
        if (j == levels) return;
        for (int k = levels - 1; k > j; --k) {
            TpgwCustomMemoView* memo = totalMemos[static_cast<std::size_t>(k)].get();
            if (!memo->Visible()) continue;
            const std::string caption = CaptionOf(
                ReplaceValueMacro(memo->Text(), VarToStr(prev[static_cast<std::size_t>(k - 1)])));
            AddKey(header, prev, k, caption);
            prev[static_cast<std::size_t>(k)] = Variant(kTotalMarker);
            collection->InsertItem(i, prev)->TotalItem = true;
            ++i;
        }
    };

    while (i < collection->Count()) {
        cur = collection->Item(i)->Key;
        addSubtotals();
        AddKey(header, cur, -1, std::string());
        prev = cur;
        ++i;
    }
    cur.assign(static_cast<std::size_t>(levels), Variant::Null());
    addSubtotals();

    TpgwCustomMemoView* grand = totalMemos[0].get();
    if (withGrandTotal && grand->Visible()) {
        AddKey(header, prev, 0, CaptionOf(grand->Text()));
        prev[0] = Variant(kTotalMarker);
        collection->InsertItem(i, prev)->TotalItem = true;
    }
}

void TpgwCustomCrossView::computeTotals(TpgwCrossHeader* header, TpgwIndexCollection* collection) {
    const std::vector<TpgwCrossHeader*> leaves = header->LeafNodes();
    std::vector<TpgwCrossHeader*> nodes;
    CollectAll(header, nodes);
    const bool secondPass = collection == columns_.get();
    const int levels = cellLevels_;
    TpgwVariantArray values(static_cast<std::size_t>(std::max(levels, 0)));
    std::vector<int> counts(values.size());

    const int leafCount = static_cast<int>(leaves.size());
    const int otherCount = secondPass ? rows_->Count() : columns_->Count();
    for (int r = 0; r < collection->Count(); ++r) {
        ResetAggregates(nodes, cellFunctions_);
        for (int p = 0; p < leafCount && p < otherCount; ++p) {
            TpgwCrossHeader* leaf = leaves[static_cast<std::size_t>(p)];
            TpgwCrossCell* cell = secondPass
                                      ? rows_->Row(p)->GetCell(columns_->Column(r)->ChainIndex)
                                      : rows_->Row(r)->GetCell(columns_->Column(p)->ChainIndex);
            if (leaf->Total) {
                const TpgwCrossHeader* parent = leaf->ParentNode;
                for (int l = 0; cell && l < levels; ++l, cell = cell->Next) {
                    const auto at = static_cast<std::size_t>(l);
                    const TpgwCrossFunction f = cellFunctions_[at];
                    cell->Value = parent->AggValues[at];
                    cell->Count = parent->AggCounts[at].AsInteger();
                    if (f == cfAvg && secondPass)
                        cell->Value =
                            cell->Count != 0 ? cell->Value / Variant(cell->Count) : Variant(0);
                    if (f == cfCount && !secondPass) cell->Count = cell->Value.AsInteger();
                }
                continue;
            }
            for (int l = 0; cell && l < levels; ++l, cell = cell->Next) {
                const auto at = static_cast<std::size_t>(l);
                values[at] = cell->Value;
                counts[at] = cell->Count;
                // A data cell counts once and already holds its mean; totals of the first
                // pass become means here.
                if (cellFunctions_[at] == cfAvg && secondPass && cell->Count > 1)
                    cell->Value = cell->Value / Variant(cell->Count);
            }
            Accumulate(leaf, values, counts, cellFunctions_);
        }
    }
}

// ---- queries -----------------------------------------------------------------------------------

int TpgwCustomCrossView::ColCount() const {
    return columns_ ? columns_->Count() : 0;
}
int TpgwCustomCrossView::RowCount() const {
    return rows_ ? rows_->Count() : 0;
}

bool TpgwCustomCrossView::IsGrandTotalColumn(int index) const {
    return columns_ && index + 1 == columns_->Count();
}

bool TpgwCustomCrossView::IsGrandTotalRow(int index) const {
    return rows_ && index + 1 == rows_->Count();
}

bool TpgwCustomCrossView::IsTotalColumn(int index) const {
    return IsTotalItem(columns_.get(), index);
}

bool TpgwCustomCrossView::IsTotalRow(int index) const {
    return IsTotalItem(rows_.get(), index);
}

Variant TpgwCustomCrossView::CellValue(int row, int column, int level) const {
    if (!rows_ || row < 0 || row >= rows_->Count() || column < 0 || column >= columns_->Count() ||
        level < 0)
        return Variant::Null();
    const TpgwCrossRow* item = rows_->Row(row);
    const int chain = columns_->Column(column)->ChainIndex;
    if (chain >= static_cast<int>(item->CellChains.size())) return Variant::Null();
    const TpgwCrossCell* cell = item->CellChains[static_cast<std::size_t>(chain)];
    for (int l = 0; cell && l < level; ++l)
        cell = cell->Next;
    return cell ? cell->Value : Variant::Null();
}

Variant TpgwCustomCrossView::ColumnKey(int index) const {
    return KeyAsArray(columns_.get(), index);
}

Variant TpgwCustomCrossView::RowKey(int index) const {
    return KeyAsArray(rows_.get(), index);
}
