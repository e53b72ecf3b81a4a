#include <algorithm>
#include <unordered_map>
#include <utility>

#include "engine/preview_pages.h"
#include "objects/cross_view.h"
#include "platform/core/stream.h"
#include "platform/ui/application.h"
#include "report/band.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/module_startup.h"
#include "report/page.h"
#include "report/report.h"
#include "report/variables.h"

namespace {

// A memo that ends at most this far beyond a cut line still fits.
constexpr double kCutTolerance = 5;
// The width limit of a page that grows with its content.
constexpr double kEndlessLimit = 1000000;

// Strip bands have no owner and stand in no page: the engine never meets them among the bands
// it walks, and freeing one frees the memos in it. They keep their own font when they stand in
// the cross-tab for a moment (ShowStrip).
std::unique_ptr<TpgwNullBand> NewStripBand() {
    auto band = std::make_unique<TpgwNullBand>(nullptr);
    band->SetParentFont(false);
    return band;
}

// The engine shows a strip band as a child of the cross-tab, so that its memos find the report
// (highlight conditions, expressions, the script's Value); the band leaves it afterwards.
void ShowStrip(TpgwCustomEngine* engine, TpgwNullBand* band, TpgwComponent* cross) {
    band->SetParent(cross);
    try {
        engine->ShowBand(band);
    } catch (...) {
        band->SetParent(nullptr);
        throw;
    }
    band->SetParent(nullptr);
}

// Dot-matrix memos snap to the character grid when placed the usual way; the cross-tab's
// layout is already on the grid and must not be moved twice.
void PlaceMemo(TpgwCustomMemoView* memo, double left, double top, double width, double height) {
    if (auto* dmp = dynamic_cast<TpgwDMPMemoView*>(memo))
        dmp->SetBoundsDirect(left, top, width, height);
    else
        memo->SetBounds(left, top, width, height);
}

// A dot-matrix cell's frame runs between character cells, so its text sits one cell in.
void AdjustDotMatrix(TpgwCustomMemoView* memo) {
    if (!dynamic_cast<TpgwDMPMemoView*>(memo)) return;
    PlaceMemo(memo, memo->Left() + pg1CharX, memo->Top() + pg1CharY, memo->Width() - pg1CharX,
              memo->Height() - pg1CharY);
}

void TakeOrigin(TpgwComponent* copy, const TpgwComponent* source) {
    copy->SetSourceComponent(source->SourceComponent());
    copy->SetObjectAlias(source->ObjectAlias());
}

void DropSide(TpgwCustomMemoView* memo, TpgwFrameType side) {
    memo->Frame()->SetTyp(memo->Frame()->Typ() & static_cast<TpgwFrameTypes>(~FrameSide(side)));
}

void AddSide(TpgwCustomMemoView* memo, TpgwFrameType side) {
    memo->Frame()->SetTyp(memo->Frame()->Typ() | FrameSide(side));
}

bool IsZero(const Variant& value) {
    if (value.IsString() || value.IsNull() || value.IsEmpty() || value.IsArray()) return false;
    try {
        return value == Variant(0);
    } catch (const std::exception&) {
        return false;
    }
}

// Neighbouring cells join only when their values compare equal; values that do not compare
// (an array, a text against a number that it is not) never join.
bool SameValue(const Variant& a, const Variant& b) {
    try {
        return a == b;
    } catch (const std::exception&) {
        return false;
    }
}

// The report variable of that name, added when missing. Found again by position when the
// collection changed under it (a script may add or delete variables meanwhile).
class ReportVariable {
public:
    explicit ReportVariable(std::string name) : name_(std::move(name)) { Set(0); }
    void Set(int value) {
        TpgwVariables& vars = GlobalVariables();
        if (index_ < 0 || index_ >= vars.Count() || vars.Items(index_)->Name() != name_) {
            index_ = vars.IndexOf(name_);
            if (index_ < 0) {
                vars.SetVariables(name_, Variant(value));
                index_ = vars.IndexOf(name_);
                return;
            }
        }
        vars.Items(index_)->SetValue(Variant(value));
    }

private:
    std::string name_;
    int index_ = -1;
};

} // namespace

// ---- strips ------------------------------------------------------------------------------------

TpgwCutBandItem::TpgwCutBandItem(TCollection* collection) : TCollectionItem(collection) {}
TpgwCutBandItem::~TpgwCutBandItem() = default;

TpgwCutBands::TpgwCutBands() : TCollection(TpgwCutBandItem::StaticClass()) {}
TpgwCutBands::~TpgwCutBands() = default;

void TpgwCutBands::AddStrip(std::unique_ptr<TpgwNullBand> band, int first, int last) {
    auto* item = static_cast<TpgwCutBandItem*>(Add());
    item->StripBand = std::move(band);
    item->FirstLeaf = first;
    item->LastLeaf = last;
}

// ---- output ------------------------------------------------------------------------------------

struct TpgwCustomCrossView::OutputState {
    TpgwReport* report = nullptr;
    TpgwCustomEngine* engine = nullptr;
    TpgwPreviewPages* pages = nullptr;
    std::vector<TpgwCrossHeader*> rowLeaves;
    std::vector<TpgwCrossHeader*> columnLeaves;
    // Left edge of the cells of the strip being printed.
    double cellOffsetX = 0;
    // Right edge of the cells printed on the current page.
    double maxX = 0;
    ReportVariable rowIndex{"RowIndex"};
    ReportVariable columnIndex{"ColumnIndex"};

    // A copy through the template stream for every cell is most of the output's time. When no
    // event can change a printed cell, the memos of a row are kept after the engine has
    // printed it and serve the next rows: their source's state is theirs but for what the
    // output sets for each cell.
    bool reuseCells = false;
    std::unordered_map<const TpgwCustomMemoView*, std::vector<std::unique_ptr<TpgwCustomMemoView>>>
        spareCells;
    // The cell memos of the row band being printed, with their sources.
    std::vector<std::pair<TpgwCustomMemoView*, const TpgwCustomMemoView*>> rowCells;
    // The template stream of each source memo, without and with its child objects, written
    // once: the many copies of one memo only read it.
    std::unordered_map<const TpgwComponent*, std::string> templates[2];

    // Makes copy what Assign (or, with children, CopyFrom) of source makes.
    void CopyMemo(TpgwComponent* copy, const TpgwComponent* source, bool children) {
        std::string& bytes = templates[children][source];
        if (bytes.empty()) {
            TMemoryStream written;
            const_cast<TpgwComponent*>(source)->SaveToStream(written, children, true, false);
            bytes.assign(reinterpret_cast<const char*>(written.Memory()),
                         static_cast<std::size_t>(written.Size()));
        }
        TMemoryStream stream;
        stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        stream.SetPosition(0);
        copy->LoadFromStream(stream);
    }

    TpgwCustomMemoView* TakeCell(TpgwCustomCrossView& cross, const TpgwCustomMemoView* source,
                                 TpgwNullBand* band) {
        TpgwCustomMemoView* memo = nullptr;
        auto spare = spareCells.find(source);
        if (spare != spareCells.end() && !spare->second.empty()) {
            memo = spare->second.back().release();
            spare->second.pop_back();
            memo->SetParent(band);
            memo->Frame()->SetTyp(source->Frame()->Typ());
            memo->SetHAlign(source->HAlign());
        } else {
            memo = cross.NewMemo(band);
            CopyMemo(memo, source, false);
            TakeOrigin(memo, source);
        }
        if (reuseCells) rowCells.emplace_back(memo, source);
        return memo;
    }
    // Frees a cell memo, or keeps it for a later row.
    void DropCell(TpgwCustomMemoView* memo) {
        auto it = std::find_if(rowCells.begin(), rowCells.end(),
                               [memo](const auto& cell) { return cell.first == memo; });
        if (it == rowCells.end()) {
            delete memo;
            return;
        }
        memo->SetParent(nullptr);
        spareCells[it->second].emplace_back(memo);
        rowCells.erase(it);
    }
    // After the engine printed the row band: its cell memos wait for the next rows.
    void KeepRowCells() {
        for (const auto& [memo, source] : rowCells) {
            memo->SetParent(nullptr);
            spareCells[source].emplace_back(memo);
        }
        rowCells.clear();
    }
};

namespace {

// Cuts the memos of a work band that start before a line into a new strip band: those that
// end at most kCutTolerance beyond it move, the others are split there and leave their rest
// for the next strip. horizontal: cut by left and width, else by top and height.
std::unique_ptr<TpgwNullBand> CutStrip(TpgwCustomCrossView& cross, TpgwNullBand& work,
                                       bool horizontal, double start, double limit) {
    auto band = NewStripBand();
    auto pos = [&](TpgwComponent* m) { return horizontal ? m->Left() : m->Top(); };
    auto size = [&](TpgwComponent* m) { return horizontal ? m->Width() : m->Height(); };
    const std::vector<TpgwComponent*> memos = work.Objects();
    for (TpgwComponent* object : memos) {
        auto* memo = static_cast<TpgwCustomMemoView*>(object);
        const double at = pos(memo), extent = size(memo);
        if (at >= limit) continue;
        TpgwCustomMemoView* placed = memo;
        if (at + extent <= limit + kCutTolerance) {
            memo->SetParent(band.get());
            // A memo hidden before (no size, or by an event) stays hidden.
            if (horizontal) memo->SetVisible(memo->Visible() && extent > 0);
        } else {
            TpgwCustomMemoView* part = cross.NewMemo(band.get());
            part->Assign(memo);
            TakeOrigin(part, memo);
            const bool dmp = dynamic_cast<TpgwDMPMemoView*>(memo) != nullptr;
            const double cell = horizontal ? pg1CharX : pg1CharY;
            const double restAt = limit + (dmp ? cell : 0);
            const double restExtent = extent - (limit - at) - (dmp ? cell : 0);
            if (horizontal) {
                PlaceMemo(part, at, memo->Top(), limit - at, memo->Height());
                PlaceMemo(memo, restAt, memo->Top(), restExtent, memo->Height());
                DropSide(part, ftRight);
                DropSide(memo, ftLeft);
            } else {
                PlaceMemo(part, memo->Left(), at, memo->Width(), limit - at);
                PlaceMemo(memo, memo->Left(), restAt, memo->Width(), restExtent);
                DropSide(part, ftBottom);
                DropSide(memo, ftTop);
            }
            placed = part;
        }
        if (horizontal)
            PlaceMemo(placed, placed->Left() - start, placed->Top(), placed->Width(),
                      placed->Height());
        else
            PlaceMemo(placed, placed->Left(), placed->Top() - start, placed->Width(),
                      placed->Height());
    }
    return band;
}

// The engine fires the before-print event of every object of a band it shows; the printed
// copies have had theirs, with the cell's values, and must not run the script again.
void ForgetBeforePrint(TpgwComponent* object) {
    if (auto* view = dynamic_cast<TpgwReportComponent*>(object)) view->OnBeforePrint.clear();
    for (TpgwComponent* child : object->Objects())
        ForgetBeforePrint(child);
}

// Fires the before-print events of a header memo and its child objects, as the engine does
// for the objects of a band.
void FireHeaderEvents(TpgwReport* report, TpgwCustomMemoView* memo, const Variant& value) {
    if (report) {
        report->SetScriptValue(value);
        report->SetActiveObjectName(memo->Name());
        report->FireBeforePrint(memo);
        const std::vector<TpgwComponent*> children = memo->Objects();
        for (TpgwComponent* child : children) {
            report->SetActiveObjectName(child->Name());
            report->FireBeforePrint(child);
        }
    }
    ForgetBeforePrint(memo);
}

} // namespace

// A copy of a header node's memo in the work band, placed at the node (out: the output's
// state, which copies memos).
template <class State>
static TpgwCustomMemoView* HeaderCopy(TpgwCustomCrossView& cross, State& out, TpgwNullBand& work,
                                      TpgwCrossHeader* node) {
    TpgwCustomMemoView* source = node->SourceMemo;
    TpgwCustomMemoView* memo = cross.NewMemo(&work);
    out.CopyMemo(memo, source, true);
    TakeOrigin(memo, source);
    memo->SetText(memo->FormatValue(node->KeyValue));
    memo->Highlight()->SetCondition("");
    const TpgwRect& place = node->Place;
    PlaceMemo(memo, place.Left, place.Top, place.Right, place.Bottom);
    AdjustDotMatrix(memo);
    memo->SetVisible(memo->Width() != 0 && memo->Height() != 0);
    return memo;
}

void TpgwCustomCrossView::makeColumnStrips() {
    columnStrips_->Clear();
    auto work = NewStripBand();
    TpgwReport* report = output_->report;
    const std::vector<TpgwCrossHeader*> nodes = columnHeader_->NodesWithMemo();
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        if (k == 0 && !showTitle_) continue;
        TpgwCustomMemoView* memo = HeaderCopy(*this, *output_, *work, nodes[k]);
        CallPrintColumnHeader(memo, nodes[k]);
        FireHeaderEvents(report, memo, nodes[k]->KeyValue);
    }

    const std::vector<TpgwCrossHeader*>& leaves = output_->columnLeaves;
    TpgwCustomEngine* engine = output_->engine;
    const int count = static_cast<int>(leaves.size());
    auto right = [&](int q) { return leaves[q]->Place.Left + leaves[q]->Place.Right; };
    double r = RowHeaderWidth();
    double avail = engine->PageWidth() - r;
    double start = -Left();
    double limit = start + avail;
    int first = 0;
    auto cut = [&](int last) {
        auto band = CutStrip(*this, *work, true, start, limit);
        band->SetLeft(r);
        columnStrips_->AddStrip(std::move(band), first, last);
    };
    auto* page = dynamic_cast<TpgwReportPage*>(Page());
    if (page && page->EndlessWidth()) {
        if (count > 0) {
            const double need = right(count - 1) - start + r;
            if (engine->PageWidth() < need) engine->SetPageWidth(need);
        }
        limit = kEndlessLimit;
    } else {
        for (int q = 0; q < count; ++q) {
            // A leaf wider than the space stays alone in its strip rather than leaving an
            // empty strip (a blank page) before it.
            if (right(q) - start <= avail || q == first) continue;
            limit = leaves[q]->Place.Left;
            cut(q - 1);
            start = limit;
            r = repeatHeaders_ ? RowHeaderWidth() : 0;
            avail = engine->PageWidth() - r;
            limit = start + avail;
            first = q;
        }
        if (count > 0) limit = std::max(limit, right(count - 1));
    }
    cut(count - 1);
}

void TpgwCustomCrossView::makeRowStrips() {
    rowStrips_->Clear();
    auto work = NewStripBand();
    TpgwReport* report = output_->report;
    double maxBottom = 0;
    for (TpgwCrossHeader* node : rowHeader_->NodesWithMemo()) {
        TpgwCustomMemoView* memo = HeaderCopy(*this, *output_, *work, node);
        CallPrintRowHeader(memo, node);
        maxBottom = std::max(maxBottom, node->Place.Top + node->Place.Bottom);
        FireHeaderEvents(report, memo, node->KeyValue);
    }

    const std::vector<TpgwCrossHeader*>& leaves = output_->rowLeaves;
    TpgwCustomEngine* engine = output_->engine;
    const int count = static_cast<int>(leaves.size());
    auto bottom = [&](int q) { return leaves[q]->Place.Top + leaves[q]->Place.Bottom; };
    double h = ColumnHeaderHeight();
    double avail = engine->FreeSpace() - h;
    // The space a fresh page offers below its headers; a table that would start with a row
    // that does not fit what is left of this page starts on the next one instead.
    const double freshPage =
        engine->PageHeight() - engine->HeaderHeight() - engine->FooterHeight() - h;
    if ((avail < maxBottom && keepTogether_) ||
        (count > 0 && bottom(0) > avail && avail < freshPage)) {
        engine->NewPage();
        h = ColumnHeaderHeight();
        avail = engine->FreeSpace() - h;
    }

    double start = 0;
    double limit = avail;
    int first = 0;
    auto cut = [&](int last) {
        auto band = CutStrip(*this, *work, false, start, limit);
        band->SetTop(h);
        rowStrips_->AddStrip(std::move(band), first, last);
    };
    // Whether the bands above the object's data band print again on every page.
    bool headerRepeats = false;
    if (auto* data = dynamic_cast<TpgwDataBand*>(Parent()))
        if (auto* header = dynamic_cast<TpgwHeader*>(data->HeaderBand))
            headerRepeats = header->ReprintOnNewPage();
    for (int q = 0; q < count; ++q) {
        if (bottom(q) - start <= avail || q == first) continue;
        limit = leaves[q]->Place.Top;
        cut(q - 1);
        start = limit;
        h = repeatHeaders_ ? ColumnHeaderHeight() : 0;
        avail = headerRepeats
                    ? engine->PageHeight() - engine->CurY() - engine->FooterHeight() - h
                    : engine->PageHeight() - engine->HeaderHeight() - engine->FooterHeight() - h;
        limit = start + avail;
        first = q;
    }
    if (count > 0) limit = std::max(limit, bottom(count - 1));
    cut(count - 1);
}

void TpgwCustomCrossView::outputCorner(double x, double y) {
    if (!showRowHeader_ || !showColumnHeader_ || !showCorner_ || rowLevelsEmpty_) return;
    for (TpgwCrossHeader* node : corner_->NodesWithMemo()) {
        TpgwCustomMemoView* memo = node->SourceMemo;
        memo->SaveForPrint();
        try {
            memo->SetText(node->KeyValue.IsNull() ? std::string() : node->KeyValue.AsString());
            const TpgwRect& place = node->Place;
            PlaceMemo(memo, x + place.Left, y + place.Top, place.Right, place.Bottom);
            AdjustDotMatrix(memo);
            output_->pages->AddObject(memo);
        } catch (...) {
            memo->RestoreAfterPrint();
            throw;
        }
        memo->RestoreAfterPrint();
    }
}

std::unique_ptr<TpgwNullBand> TpgwCustomCrossView::makeRowBand(int rowLeaf, int columnStrip) {
    OutputState& out = *output_;
    TpgwReport* report = out.report;
    const std::vector<TpgwCrossHeader*>& rows = out.rowLeaves;
    const std::vector<TpgwCrossHeader*>& columns = out.columnLeaves;
    TpgwCrossHeader* r = rows[rowLeaf];
    const TpgwCutBandItem* strip = columnStrips_->Strip(columnStrip);
    auto band = NewStripBand();
    band->SetHeight(r->Place.Bottom);
    const double x0 = strip->FirstLeaf <= strip->LastLeaf && strip->FirstLeaf < int(columns.size())
                          ? columns[strip->FirstLeaf]->Place.Left
                          : 0;
    const double y0 = r->Place.Top;
    const int lastRow = static_cast<int>(rows.size()) - 1;
    const int lastColumn = static_cast<int>(columns.size()) - 1;
    std::vector<TpgwCustomMemoView*> previous(static_cast<std::size_t>(std::max(cellLevels_, 1)));

    for (int ci = strip->FirstLeaf; ci <= strip->LastLeaf; ++ci) {
        TpgwCrossHeader* c = columns[ci];
        int level = 0;
        Variant value;
        if (cellLevels_ == 1) {
            value = CellValue(rowLeaf, ci, 0);
        } else if (plainCells_) {
            level = c->CellLevel;
            value = CellValue(rowLeaf, c->KeyIndex, level);
        } else {
            level = r->CellLevel;
            value = CellValue(r->KeyIndex, ci, level);
        }
        TpgwCustomMemoView* source = CellMemoFor(r->TotalDepth, c->TotalDepth, level);
        if (!source) continue;
        TpgwCustomMemoView* memo = out.TakeCell(*this, source, band.get());
        memo->SetValue(value.IsNull() ? Variant(0) : value);
        if (memo->HideZeros() && IsZero(memo->Value()))
            memo->SetText("");
        else
            memo->SetText(memo->FormatValue(
                value, cellMemos_[static_cast<std::size_t>(level)]->DisplayFormat()));
        memo->SetRotation(0);

        PlaceMemo(memo, c->Place.Left - x0 + out.cellOffsetX, r->Place.Top - y0, c->Place.Right,
                  r->Place.Bottom);
        AdjustDotMatrix(memo);
        out.maxX = std::max(out.maxX, band->Left() + memo->Left() + memo->Width());
        memo->SetVisible(memo->Width() != 0 && memo->Height() != 0);

        CallPrintCell(memo, r->KeyIndex, value, level, c->KeyIndex);

        if (border_) {
            const bool lastLevel = level == cellLevels_ - 1;
            if (plainCells_) {
                if (rowLeaf == 0) AddSide(memo, ftTop);
                if (ci == 0 && level == 0) AddSide(memo, ftLeft);
                if (ci == lastColumn && lastLevel) AddSide(memo, ftRight);
                if (rowLeaf == lastRow) AddSide(memo, ftBottom);
            } else {
                if (rowLeaf == 0 && level == 0) AddSide(memo, ftTop);
                if (ci == 0) AddSide(memo, ftLeft);
                if (ci == lastColumn) AddSide(memo, ftRight);
                if (rowLeaf == lastRow && lastLevel) AddSide(memo, ftBottom);
            }
        }

        if (joinEqualCells_) {
            TpgwCustomMemoView*& prev = previous[static_cast<std::size_t>(level)];
            if (r->Total || c->Total) {
                prev = nullptr;
            } else if (prev && SameValue(prev->Value(), memo->Value())) {
                PlaceMemo(prev, prev->Left(), prev->Top(), prev->Width() + memo->Width(),
                          prev->Height());
                prev->SetHAlign(haCenter);
                out.DropCell(memo);
                memo = prev;
            } else {
                prev = memo;
            }
        }

        out.rowIndex.Set(rowLeaf);
        out.columnIndex.Set(ci);
        if (report) {
            report->SetScriptValue(memo->Value());
            report->SetActiveObjectName(memo->Name());
            report->FireBeforePrint(memo);
        }

        for (TpgwComponent* child : source->Objects()) {
            TPersistent* made = child->ClassType().Create(nullptr);
            auto* copy = dynamic_cast<TpgwComponent*>(made);
            if (!copy) {
                delete made;
                continue;
            }
            copy->SetParent(band.get());
            copy->Assign(child);
            copy->SetLeft(copy->Left() + memo->Left());
            copy->SetTop(copy->Top() + memo->Top());
            if (report) {
                report->SetActiveObjectName(child->Name());
                report->FireBeforePrint(copy);
            }
        }
    }
    return band;
}

void TpgwCustomCrossView::outputStrip(int rowStrip, int columnStrip, double y) {
    OutputState& out = *output_;
    TpgwCustomEngine* engine = out.engine;
    TpgwCutBandItem* rows = rowStrips_->Strip(rowStrip);
    TpgwCutBandItem* columns = columnStrips_->Strip(columnStrip);
    const bool headerRow = repeatHeaders_ || rowStrip == 0;
    const bool headerColumn = repeatHeaders_ || columnStrip == 0;
    const double headerHeight = ColumnHeaderHeight();

    if (showColumnHeader_ && headerRow) {
        columns->StripBand->SetTop(y);
        ShowStrip(engine, columns->StripBand.get(), this);
    }
    if (showRowHeader_ && headerColumn && !rowLevelsEmpty_) {
        TpgwNullBand* band = rows->StripBand.get();
        band->SetLeft(columnStrip == 0 ? Left() : 0);
        const double top = band->Top();
        band->SetTop(top + y);
        try {
            ShowStrip(engine, band, this);
        } catch (...) {
            band->SetTop(top);
            throw;
        }
        band->SetTop(top);
        if (showColumnHeader_ && headerRow)
            outputCorner(band->Left(), band->Top() + y - headerHeight);
    }
    engine->SetCurY(headerRow ? y + headerHeight : y);
    out.cellOffsetX = headerColumn ? RowHeaderWidth() + (columnStrip == 0 ? Left() : 0) : 0;

    for (int r = rows->FirstLeaf; r <= rows->LastLeaf; ++r) {
        std::unique_ptr<TpgwNullBand> band;
        try {
            band = makeRowBand(r, columnStrip);
            ForgetBeforePrint(band.get());
            band->SetTop(engine->CurY());
            ShowStrip(engine, band.get(), this);
        } catch (...) {
            // The band frees the memos still in it.
            out.rowCells.clear();
            throw;
        }
        out.KeepRowCells();
    }
}

void TpgwCustomCrossView::Output() {
    auto* report = dynamic_cast<TpgwReport*>(Report());
    TpgwCustomEngine* engine = report ? report->Engine() : nullptr;
    auto* pages = report ? dynamic_cast<TpgwPreviewPages*>(report->PreviewPages()) : nullptr;
    // Only a running engine has a page to print on.
    if (!engine || !pages || !engine->Running() || !HasMatrix()) return;

    OutputState state;
    state.report = report;
    state.engine = engine;
    state.pages = pages;
    state.reuseCells =
        OnPrintCell.empty() && !HostPrintCell && !report->OnBeforePrint && !report->OnAfterPrint &&
        std::all_of(cellMemos_.begin(), cellMemos_.end(), [](const auto& memo) {
            return memo->OnBeforePrint.empty() && memo->OnAfterPrint.empty() &&
                   memo->OnAfterData.empty() && !memo->SuppressRepeated() && !memo->FlowTo();
        });
    output_ = &state;
    struct Cleanup {
        TpgwCustomCrossView& cross;
        ~Cleanup() {
            cross.output_ = nullptr;
            cross.columnStrips_->Clear();
            cross.rowStrips_->Clear();
        }
    } cleanup{*this};

    for (const MemoList* list : {&cellHeaderMemos_, &cellMemos_, &columnMemos_, &columnTotalMemos_,
                                 &cornerMemos_, &rowMemos_, &rowTotalMemos_})
        for (const auto& memo : *list)
            pages->AddToSourcePage(memo.get());

    if (ColumnHeaderHeight() >= engine->FreeSpace()) engine->NewPage();
    state.columnLeaves = columnHeader_->LeafNodes();
    state.rowLeaves = rowHeader_->LeafNodes();
    makeColumnStrips();
    makeRowStrips();

    const int columnCount = columnStrips_->Count();
    const int rowCount = rowStrips_->Count();
    const int startPage = pages->CurPage;
    int base = startPage;
    const double savedY = engine->CurY();
    double y = savedY;
    // Where following output goes on: below the last row strip on the page of the first
    // column strip.
    int endPage = startPage;
    double endY = savedY;
    // The page of the first row strip of the last column strip.
    int lastColumnPage = startPage;
    auto placeNextCross = [&] {
        if (nextCross_) nextCross_->SetLeft(state.maxX + nextCrossGap_);
    };
    auto stopRequested = [&] {
        Application()->ProcessMessages();
        return report->Terminated();
    };

    if (downThenAcross_) {
        for (int i = 0; i < columnCount; ++i) {
            state.maxX = 0;
            lastColumnPage = base;
            for (int j = 0; j < rowCount; ++j) {
                pages->CurPage = base + j;
                outputStrip(j, i, y);
                if (j + 1 < rowCount) {
                    engine->NewPage();
                    y = engine->CurY();
                }
            }
            if (i == 0) {
                endPage = pages->CurPage;
                endY = engine->CurY();
            }
            const bool stop = stopRequested();
            if (i + 1 == columnCount || stop) {
                placeNextCross();
                break;
            }
            engine->NewPage();
            y = savedY;
            base += rowCount;
        }
    } else {
        for (int i = 0; i < rowCount; ++i) {
            for (int j = 0; j < columnCount; ++j) {
                pages->CurPage = base + j;
                state.maxX = 0;
                outputStrip(i, j, y);
                if (j + 1 < columnCount) {
                    pages->PageAddMode = pamWriteOver;
                    engine->NewPage();
                } else {
                    placeNextCross();
                }
                if (i == 0 && j + 1 == columnCount) lastColumnPage = pages->CurPage;
            }
            y = engine->CurY();
            endPage = base;
            endY = y;
            if (stopRequested() || i + 1 == rowCount) break;
            pages->PageAddMode = pamAppend;
            engine->NewPage();
            base = pages->CurPage;
            y = engine->CurY();
        }
    }

    if (dynamic_cast<TpgwBand*>(Parent())) endY -= Height();
    if (columnCount > 1) engine->EndPage();
    pages->PageAddMode = pamAppend;
    if (nextCross_) {
        pages->CurPage = lastColumnPage;
        engine->SetCurY(savedY);
    } else {
        pages->CurPage = endPage;
        engine->SetCurY(endY);
    }
}
