// Building the layout matrix's grid: ordering and merging the boundaries, splitting tall rows,
// placing the objects on whole cells, filling the grid, cutting covered objects into parts,
// dropping doubled frame lines and deleting empty rows.

#include "export/ie_matrix.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"
#include "report/resources.h"
#include "report/small_windows.h"

namespace {

// Ordering, merging and splitting each step the progress four times; placement, filling and
// cutting once each.
constexpr int kProgressSteps = 11;

void tick(TpgwProgress* progress) {
    if (progress) progress->Tick();
}

} // namespace

void TpgwIEMatrix::Prepare() {
    std::unique_ptr<TpgwProgress> progress;
    if (progressWindow_) {
        progress = std::make_unique<TpgwProgress>(nullptr);
        progress->Execute(kProgressSteps, GetResources().GetText("ProgressWait"), true, false);
    }

    if (fillPage_) {
        TpgwIEMStyle white;
        white.FrameSides = 0;
        white.Color = clWhite;
        auto fill = std::make_unique<TpgwIEMObject>();
        setStyle(*fill, findOrAddStyle(white));
        fill->Left = fillFromContent_ ? leastLeft_ : 0;
        fill->Top = fillFromContent_ ? leastTop_ : 0;
        fill->Width = maxRight_;
        fill->Height = maxBottom_;
        entries_.insert(entries_.begin(), TpgwIEMObjectList{std::move(fill), 0, 0, 1, 1, false});
        addBoundary(xList_, 0);
        addBoundary(yList_, 0);
    }

    orderBoundaries(xList_, maxColumnWidth_, progress.get());
    orderBoundaries(yList_, maxRowHeight_, progress.get());

    for (TpgwIEMObjectList& entry : entries_) {
        const TpgwIEMObject& object = *entry.Target;
        placeSpan(xList_, object.Left, object.Width, entry.Col, entry.ColSpan);
        placeSpan(yList_, object.Top, object.Height, entry.Row, entry.RowSpan);
    }
    tick(progress.get());

    gridWidth_ = static_cast<int>(xList_.size());
    gridHeight_ = static_cast<int>(yList_.size());
    grid_.assign(static_cast<std::size_t>(gridWidth_) * static_cast<std::size_t>(gridHeight_), -1);
    fillGrid();
    tick(progress.get());
    cutCoveredObjects();
    tick(progress.get());
    if (mergeFrames_) mergeFrameLines();
    progress.reset();
    if (!keepEmptyRows_) deleteEmptyRows();
}

void TpgwIEMatrix::orderBoundaries(std::vector<TpgwIEMPos>& list, double limit,
                                   TpgwProgress* progress) {
    const auto byValue = [](const TpgwIEMPos& a, const TpgwIEMPos& b) { return a.Value < b.Value; };
    std::sort(list.begin(), list.end(), byValue);
    tick(progress);

    // A chain of close values collapses to its largest: a value goes when its successor in the
    // sorted list is nearer than the tolerance.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (i + 1 == list.size() || !(list[i + 1].Value - list[i].Value < mergeTolerance_))
            list[kept++] = list[i];
    list.resize(kept);
    tick(progress);

    const std::size_t merged = list.size();
    if (limit > 0) {
        for (std::size_t i = 0; i + 1 < merged; ++i) {
            const double a = list[i].Value, b = list[i + 1].Value;
            if (!(b - a > limit)) continue;
            const double steps = std::floor((b - a) / limit);
            // A step landing on b itself would make a row of height 0.
            for (double k = 1; k <= steps; ++k)
                if (const double value = a + k * limit; value < b) addBoundary(list, value);
        }
    }
    tick(progress);
    if (list.size() != merged) std::sort(list.begin(), list.end(), byValue);
    tick(progress);
}

void TpgwIEMatrix::placeSpan(const std::vector<TpgwIEMPos>& list, double start, double size,
                             int& first, int& span) {
    const int count = static_cast<int>(list.size());
    const auto at = std::lower_bound(list.begin(), list.end(), start,
                                     [](const TpgwIEMPos& p, double v) { return p.Value < v; });
    first = std::min(static_cast<int>(at - list.begin()), std::max(0, count - 1));
    if (!(size > 0)) {
        span = 0;
        return;
    }
    // Even an object whose two edges merged into one boundary keeps one cell.
    const double end = start + size;
    int j = first;
    span = 0;
    do {
        ++j;
        ++span;
    } while (j < count - 1 && list[static_cast<std::size_t>(j)].Value < end);
}

double TpgwIEMatrix::xAt(int index) const {
    if (xList_.empty()) return 0;
    return xList_[static_cast<std::size_t>(std::clamp(index, 0, gridWidth_ - 1))].Value;
}

double TpgwIEMatrix::yAt(int index) const {
    if (yList_.empty()) return 0;
    return yList_[static_cast<std::size_t>(std::clamp(index, 0, gridHeight_ - 1))].Value;
}

void TpgwIEMatrix::fillGrid() {
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        const TpgwIEMObjectList& entry = entries_[e];
        TpgwIEMObject& object = *entry.Target;
        // A transparent object shows what lies under it, unless that would hide its text.
        if (object.Style && object.Style->Color == clNone) {
            if (const TpgwIEMObject* under = ObjectAt(entry.Col, entry.Row)) {
                const TpgwIEMStyle* below = under->Style;
                if (below && below->Color != clNone && below->Color != object.Style->Font.Color())
                    setStyle(object, styleVariant(object.StyleIndex, object.Style->FrameSides,
                                                  below->Color));
            }
        }
        const int index = static_cast<int>(e);
        for (int y = entry.Row; y < entry.Row + entry.RowSpan; ++y)
            for (int x = entry.Col; x < entry.Col + entry.ColSpan; ++x)
                gridCell(x, y) = index;
    }
}

void TpgwIEMatrix::cutCoveredObjects() {
    // Whether row y holds index in the width cells from x.
    const auto runCovers = [this](int x, int y, int index, int width) {
        for (int k = 0; k < width; ++k)
            if (gridCell(x + k, y) != index) return false;
        return true;
    };
    for (int y = 0; y < gridHeight_; ++y) {
        for (int x = 0; x < gridWidth_; ++x) {
            const int index = gridCell(x, y);
            if (index < 0 || entries_[static_cast<std::size_t>(index)].Placed) continue;
            int width = 1;
            while (x + width < gridWidth_ && gridCell(x + width, y) == index)
                ++width;
            int height = 1;
            while (y + height < gridHeight_ && runCovers(x, y + height, index, width))
                ++height;

            TpgwIEMObjectList& entry = entries_[static_cast<std::size_t>(index)];
            if (x == entry.Col && y == entry.Row && width == entry.ColSpan &&
                height == entry.RowSpan) {
                entry.Placed = true;
                continue;
            }
            const int col = entry.Col, row = entry.Row;
            const int colEnd = entry.Col + entry.ColSpan, rowEnd = entry.Row + entry.RowSpan;
            TpgwIEMObject& object = *entry.Target;

            auto part = std::make_unique<TpgwIEMObject>();
            setStyle(*part, object.StyleIndex);
            part->IsRichText = object.IsRichText;
            part->HTMLTags = object.HTMLTags;
            part->Parent = &object;
            part->Left = xAt(x);
            part->Top = yAt(y);
            part->Width = xAt(x + width) - part->Left;
            part->Height = yAt(y + height) - part->Top;
            // The content goes to the first part that begins within the first two thirds of
            // the object both ways; the other parts are empty cells in its style.
            if (object.Top + object.Height - part->Top > object.Height / 3 &&
                object.Left + object.Width - part->Left > object.Width / 3) {
                part->Image = std::move(object.Image);
                part->Metafile = std::move(object.Metafile);
                part->IsText = object.IsText;
                part->Memo.Assign(object.Memo);
                object.Memo.Clear();
                object.IsText = true;
            }
            if (const TpgwIEMStyle* style = object.Style) {
                TpgwFrameTypes shared = 0;
                if (y == row) shared |= FrameSide(ftTop);
                if (x == col) shared |= FrameSide(ftLeft);
                if (y + height == rowEnd) shared |= FrameSide(ftBottom);
                if (x + width == colEnd) shared |= FrameSide(ftRight);
                const TpgwFrameTypes sides = style->FrameSides & shared;
                if (sides != style->FrameSides)
                    setStyle(*part, styleVariant(object.StyleIndex, sides, style->Color));
            }

            const int partIndex = static_cast<int>(entries_.size());
            entries_.push_back(TpgwIEMObjectList{std::move(part), x, y, width, height, true});
            for (int py = y; py < y + height; ++py)
                for (int px = x; px < x + width; ++px)
                    gridCell(px, py) = partIndex;
        }
    }
}

void TpgwIEMatrix::mergeFrameLines() {
    const auto drawsSide = [](const TpgwIEMStyle* neighbour, TpgwFrameType side,
                              const TpgwIEMStyle& own) {
        return neighbour && (neighbour->FrameSides & FrameSide(side)) &&
               neighbour->FrameWidth == own.FrameWidth && neighbour->FrameColor == own.FrameColor;
    };
    for (int y = 0; y < gridHeight_; ++y) {
        for (int x = 0; x < gridWidth_; ++x) {
            const int index = gridCell(x, y);
            if (index < 0) continue;
            TpgwIEMObject& object = *entries_[static_cast<std::size_t>(index)].Target;
            const TpgwIEMStyle* style = object.Style;
            if (!style) continue;
            TpgwFrameTypes sides = style->FrameSides;
            const int above = Cell(x, y - 1), left = Cell(x - 1, y);
            if ((sides & FrameSide(ftTop)) && above >= 0 && above != index &&
                drawsSide(ObjectById(above)->Style, ftBottom, *style))
                sides &= static_cast<TpgwFrameTypes>(~FrameSide(ftTop));
            if ((sides & FrameSide(ftLeft)) && left >= 0 && left != index &&
                drawsSide(ObjectById(left)->Style, ftRight, *style))
                sides &= static_cast<TpgwFrameTypes>(~FrameSide(ftLeft));
            if (sides != style->FrameSides)
                setStyle(object, styleVariant(object.StyleIndex, sides, style->Color));
        }
    }
}

void TpgwIEMatrix::deleteEmptyRows() {
    if (gridHeight_ < 2) return;
    const int height = gridHeight_;
    const std::size_t width = static_cast<std::size_t>(gridWidth_);
    // One pass instead of a deletion per row: every kept boundary moves up by the heights of
    // the rows deleted above it, and the kept grid rows close up.
    std::vector<int> deletedBefore(static_cast<std::size_t>(height) + 1, 0);
    std::vector<TpgwIEMPos> kept;
    kept.reserve(yList_.size());
    double shift = 0;
    int out = 0;
    for (int r = 0; r < height; ++r) {
        const auto row = grid_.begin() + static_cast<std::ptrdiff_t>(r * width);
        const bool last = r == height - 1;
        const bool empty = !last && std::all_of(row, row + static_cast<std::ptrdiff_t>(width),
                                                [](std::int32_t cell) { return cell < 0; });
        deletedBefore[static_cast<std::size_t>(r) + 1] =
            deletedBefore[static_cast<std::size_t>(r)] + (empty ? 1 : 0);
        const double value = yList_[static_cast<std::size_t>(r)].Value;
        if (empty) {
            shift += yList_[static_cast<std::size_t>(r) + 1].Value - value;
            continue;
        }
        kept.push_back(TpgwIEMPos{value - shift});
        if (out != r)
            std::copy(row, row + static_cast<std::ptrdiff_t>(width),
                      grid_.begin() + static_cast<std::ptrdiff_t>(out * width));
        ++out;
    }
    yList_ = std::move(kept);
    gridHeight_ = out;
    grid_.resize(static_cast<std::size_t>(out) * width);
    // Placements follow their rows, so ObjectPlacement and the grid agree.
    for (TpgwIEMObjectList& entry : entries_) {
        const int first = std::clamp(entry.Row, 0, height);
        const int end = std::clamp(entry.Row + entry.RowSpan, first, height);
        entry.Row -= deletedBefore[static_cast<std::size_t>(first)];
        entry.RowSpan -= deletedBefore[static_cast<std::size_t>(end)] -
                         deletedBefore[static_cast<std::size_t>(first)];
    }
}
