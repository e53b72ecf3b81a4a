// Design-time drawing of a cross-tab: a sample of the table built from the level captions and
// laid out with the real inner memos, dragging the edges of those memos, and dropping objects
// into its cells.

#include <algorithm>
#include <cmath>

#include "objects/cross_view.h"
#include "platform/core/numbers.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/control.h"
#include "platform/ui/ui_types.h"
#include "report/band.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/preview_images.h"
#include "report/resources.h"
#include "report/wide_strings.h"

namespace {

// The table is drawn this far inside the object's frame, leaving room for the class image.
constexpr double kDesignInset = 20;
// The object is this much larger than its sample table.
constexpr double kDesignMargin = 40;
// How close (report units) the pointer must be to an edge to grab it.
constexpr double kEdgeGrip = 2;
// A release this many pixels away from the press counts as a drag.
constexpr int kDragThreshold = 6;
// Indexes in the object image list.
constexpr int kCrossImage = 42;
constexpr int kDBCrossImage = 49;

bool isDotMatrix(const TpgwComponent* object) {
    return dynamic_cast<const TpgwDMPMemoView*>(object) != nullptr;
}

// The red tick of an object with a before-print handler: four vertical strokes getting shorter
// towards the right.
void drawMarker(TCanvas& canvas, const TpgwComponent& object, double scaleX, double scaleY) {
    canvas.Pen().SetColor(clRed);
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetWidth(1);
    const double left = object.AbsLeft(), top = object.AbsTop();
    auto px = [](double v, double scale) { return static_cast<int>(Round(v * scale)); };
    for (int i = 0; i < 4; ++i) {
        const double x = left + 2 + i, y = top + 1 + i, length = 7 - 2 * i;
        canvas.MoveTo(px(x, scaleX), px(y, scaleY));
        canvas.LineTo(px(x, scaleX), px(y + length, scaleY));
    }
}

} // namespace

// ---- grid lines ---------------------------------------------------------------------------------
TpgwGridLineItem::TpgwGridLineItem(TCollection* collection) : TCollectionItem(collection) {}
TpgwGridLineItem::~TpgwGridLineItem() = default;

TpgwGridLines::TpgwGridLines() : TCollection(TpgwGridLineItem::StaticClass()) {}
TpgwGridLines::~TpgwGridLines() = default;

void TpgwGridLines::Attach(TpgwComponent* object, double position) {
    TpgwGridLineItem* line = nullptr;
    for (int i = 0; i < Count() && !line; ++i)
        if (std::abs(Line(i)->Position - position) < 1) line = Line(i);
    if (!line) line = static_cast<TpgwGridLineItem*>(Add());
    line->Position = position;
    line->Attached.push_back(object);
}

// ---- rendering ----------------------------------------------------------------------------------
TpgwPoint TpgwCustomCrossView::RenderMatrix(TCanvas* canvas, double originX, double originY,
                                            double scaleX, double scaleY) {
    renderExtent_ = {};
    renderScaleX_ = scaleX;
    renderScaleY_ = scaleY;
    verticalLines_->Clear();
    horizontalLines_->Clear();
    drawnObjects_.clear();
    if (IsValid()) {
        fillSample();
        if (corner_->Shown) drawHeader(canvas, corner_.get(), originX, originY);
        if (columnHeader_->Shown)
            drawHeader(canvas, columnHeader_.get(), originX + RowHeaderWidth(), originY);
        if (rowHeader_->Shown)
            drawHeader(canvas, rowHeader_.get(), originX, originY + ColumnHeaderHeight());
        drawCells(canvas, originX + RowHeaderWidth(), originY + ColumnHeaderHeight());
    }
    return {renderExtent_.X - originX, renderExtent_.Y - originY};
}

void TpgwCustomCrossView::fillSample() {
    BeginMatrix();
    SetMemoNames(false);
    auto captions = [](int levels, const TStringList* fields) {
        TpgwVariantArray values;
        for (int i = 0; i < levels; ++i)
            values.emplace_back("[" + (i < fields->Count() ? fields->Strings(i) : "") + "]");
        return values;
    };
    const TpgwVariantArray cells(static_cast<std::size_t>(std::max(cellLevels_, 0)), Variant(0));
    AddValue(captions(rowLevels_, rowFields_.get()), captions(columnLevels_, columnFields_.get()),
             cells);
    CompleteMatrix();
}

namespace {

// Dot-matrix memos are drawn one character cell inside their place.
void insetDotMatrix(TpgwCustomMemoView* memo) {
    if (!isDotMatrix(memo)) return;
    memo->SetLeft(memo->Left() + pg1CharX);
    memo->SetTop(memo->Top() + pg1CharY);
    memo->SetWidth(memo->Width() - pg1CharX);
    memo->SetHeight(memo->Height() - pg1CharY);
}

// Afterwards they sit half a cell up and left of the inset, off the grid, with their place's
// size, until the next rendering or output places them again.
void restoreDotMatrix(TpgwCustomMemoView* memo, double width, double height) {
    if (auto* dmp = dynamic_cast<TpgwDMPMemoView*>(memo))
        dmp->SetBoundsDirect(dmp->Left() - pg1CharX / 2, dmp->Top() - pg1CharY / 2.0, width,
                             height);
}

} // namespace

void TpgwCustomCrossView::drawHeader(TCanvas* canvas, TpgwCrossHeader* header, double originX,
                                     double originY) {
    for (TpgwCrossHeader* node : header->NodesWithMemo()) {
        TpgwCustomMemoView* memo = node->SourceMemo;
        TWideStrings savedText;
        savedText.Assign(*memo->Memo());
        memo->SetBounds(originX + node->Place.Left, originY + node->Place.Top, node->Place.Right,
                        node->Place.Bottom);
        const double width = memo->Width(), height = memo->Height();
        insetDotMatrix(memo);
        renderExtent_.X = std::max(renderExtent_.X, memo->Left() + memo->Width());
        renderExtent_.Y = std::max(renderExtent_.Y, memo->Top() + memo->Height());
        // The header memos keep the template's text; the sample only borrows them.
        try {
            memo->SetText(VarToStr(node->KeyValue));
            if (memo->Visible()) drawObject(canvas, memo, false);
        } catch (...) {
            memo->Memo()->Assign(savedText);
            throw;
        }
        memo->Memo()->Assign(savedText);
        restoreDotMatrix(memo, width, height);
    }
}

void TpgwCustomCrossView::drawCells(TCanvas* canvas, double originX, double originY) {
    const std::vector<TpgwCrossHeader*> rowLeaves = rowHeader_->LeafNodes();
    const std::vector<TpgwCrossHeader*> columnLeaves = columnHeader_->LeafNodes();
    constexpr TpgwRestrictions kCellRestrictions = (1 << rfDontDelete) | (1 << rfDontEdit);
    for (int i = 0; i < static_cast<int>(rowLeaves.size()); ++i) {
        const TpgwCrossHeader* r = rowLeaves[static_cast<std::size_t>(i)];
        for (int j = 0; j < static_cast<int>(columnLeaves.size()); ++j) {
            const TpgwCrossHeader* c = columnLeaves[static_cast<std::size_t>(j)];
            int level = 0;
            Variant value;
            if (cellLevels_ < 2) {
                value = CellValue(i, j, 0);
            } else if (plainCells_) {
                level = c->CellLevel;
                value = CellValue(i, c->KeyIndex, level);
            } else {
                level = r->CellLevel;
                value = CellValue(r->KeyIndex, j, level);
            }
            TpgwCustomMemoView* memo = CellMemoFor(r->TotalDepth, c->TotalDepth, level);
            if (!memo || static_cast<std::size_t>(level) >= cellMemos_.size()) continue;
            memo->SetVisible(true);
            memo->SetRestrictions(kCellRestrictions);
            memo->SetText(memo->FormatValue(
                value, cellMemos_[static_cast<std::size_t>(level)]->DisplayFormat()));
            memo->SetBounds(c->Place.Left, r->Place.Top, c->Place.Right, r->Place.Bottom);
            memo->SetLeft(memo->Left() + originX);
            memo->SetTop(memo->Top() + originY);
            const double width = memo->Width(), height = memo->Height();
            insetDotMatrix(memo);
            renderExtent_.X = std::max(renderExtent_.X, memo->Left() + memo->Width());
            renderExtent_.Y = std::max(renderExtent_.Y, memo->Top() + memo->Height());
            drawObject(canvas, memo, false);
            restoreDotMatrix(memo, width, height);
        }
    }
}

void TpgwCustomCrossView::drawObject(TCanvas* canvas, TpgwComponent* object, bool inner) {
    if (inner) {
        // Objects dragged partly out of their memo come back inside it.
        const TpgwComponent* parent = object->Parent();
        if (object->Left() < 0) object->SetLeft(0);
        if (object->Left() + object->Width() > parent->Width())
            object->SetLeft(parent->Width() - object->Width());
        if (object->Top() < 0) object->SetTop(0);
        if (object->Top() + object->Height() > parent->Height())
            object->SetTop(parent->Height() - object->Height());
    }
    auto* drawable = dynamic_cast<TpgwReportComponent*>(object);
    if (canvas && drawable) {
        drawable->Draw(*canvas, renderScaleX_, renderScaleY_, 0, 0);
        if (!drawable->OnBeforePrint.empty())
            drawMarker(*canvas, *drawable, renderScaleX_, renderScaleY_);
    }
    if (!inner) {
        verticalLines_->Attach(object, object->AbsLeft() + object->Width());
        horizontalLines_->Attach(object, object->AbsTop() + object->Height());
    }
    drawnObjects_.push_back(object);
    const std::vector<TpgwComponent*> children = object->Objects();
    for (TpgwComponent* child : children)
        drawObject(canvas, child, true);
}

TpgwPoint TpgwCustomCrossView::designOrigin() const {
    if (dotMatrixMode_) return {AbsLeft() + 2 * pg1CharX, AbsTop() + pg1CharY};
    return {AbsLeft() + kDesignInset, AbsTop() + kDesignInset};
}

void TpgwCustomCrossView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                               double offsetY) {
    const TpgwPoint size = RenderMatrix(nullptr, AbsLeft(), AbsTop(), scaleX, scaleY);
    if (size.X > 0 && size.Y > 0) {
        SetWidth(size.X + kDesignMargin);
        SetHeight(size.Y + kDesignMargin);
    }
    SetColor(clWhite);
    Frame()->SetStyle(fsDot);
    TpgwView::Draw(canvas, scaleX, scaleY, offsetX, offsetY);
    const TpgwPoint origin = designOrigin();
    RenderMatrix(&canvas, origin.X, origin.Y, scaleX, scaleY);
    // An index beyond the list draws nothing.
    const int image = Is<TpgwDBCrossView>() ? kDBCrossImage : kCrossImage;
    GetObjectImages().Draw(canvas, X() + 2, Y() + 2, image);
}

// ---- dragging -----------------------------------------------------------------------------------

bool TpgwCustomCrossView::hitTest(int x, int y, TpgwGridLines*& lines, int& index) {
    lines = nullptr;
    index = -1;
    if (ScaleX() == 0 || ScaleY() == 0) return false;
    const double px = x / ScaleX(), py = y / ScaleY();
    auto onVertical = [&](const TpgwComponent* o) {
        return std::abs(o->AbsLeft() + o->Width() - px) < kEdgeGrip && o->AbsTop() <= py &&
               py <= o->AbsTop() + o->Height();
    };
    auto onHorizontal = [&](const TpgwComponent* o) {
        return std::abs(o->AbsTop() + o->Height() - py) < kEdgeGrip && o->AbsLeft() <= px &&
               px <= o->AbsLeft() + o->Width();
    };
    // Later hits replace earlier ones, so a bottom edge wins over a right edge at a corner.
    auto scan = [&](TpgwGridLines* collection, const auto& onLine) {
        for (int i = 0; i < collection->Count(); ++i)
            for (const TpgwComponent* o : collection->Line(i)->Attached)
                if (onLine(o)) {
                    lines = collection;
                    index = i;
                    break;
                }
    };
    scan(verticalLines_.get(), onVertical);
    scan(horizontalLines_.get(), onHorizontal);
    return lines != nullptr;
}

bool TpgwCustomCrossView::DesignMouseDown(TObject* /*sender*/, int x, int y) {
    const TpgwPoint origin = designOrigin();
    RenderMatrix(nullptr, origin.X, origin.Y, ScaleX(), ScaleY());
    dragLines_ = nullptr;
    downPoint_ = lastPoint_ = TPoint{x, y};
    dragging_ = hitTest(x, y, dragLines_, dragIndex_);
    dragObjects_ =
        dragging_ ? dragLines_->Line(dragIndex_)->Attached : std::vector<TpgwComponent*>{};
    return dragging_;
}

void TpgwCustomCrossView::DesignMouseMove(TObject* sender, int x, int y) {
    if (ScaleX() == 0 || ScaleY() == 0) return;
    if (dragging_) {
        // Pixels become report units at the scale the object was drawn with.
        if (dragLines_ == verticalLines_.get()) {
            const double delta = (x - lastPoint_.X) / ScaleX();
            for (TpgwComponent* o : dragObjects_)
                o->SetWidth(o->Width() + delta);
        } else {
            const double delta = (y - lastPoint_.Y) / ScaleY();
            for (TpgwComponent* o : dragObjects_)
                o->SetHeight(o->Height() + delta);
        }
        lastPoint_ = TPoint{x, y};
        return;
    }
    const TpgwPoint origin = designOrigin();
    RenderMatrix(nullptr, origin.X, origin.Y, ScaleX(), ScaleY());
    TpgwGridLines* lines = nullptr;
    int index = -1;
    auto* control = dynamic_cast<TControl*>(sender);
    if (hitTest(x, y, lines, index) && control)
        control->SetCursor(lines == verticalLines_.get() ? crHSplit : crVSplit);
}

void TpgwCustomCrossView::DesignMouseUp(TObject* /*sender*/, int x, int y) {
    const bool wasDragging = dragging_;
    dragging_ = false;
    dragObjects_.clear();
    if (!wasDragging || !autoSize_) return;
    // The next rendering recomputes every size, so tell the user how to keep the change.
    if (std::abs(x - downPoint_.X) >= kDragThreshold ||
        std::abs(y - downPoint_.Y) >= kDragThreshold)
        ShowInfoMessage(GetResources().GetText("crResize"));
}

// ---- dropping -----------------------------------------------------------------------------------

bool TpgwCustomCrossView::AcceptObject(TpgwComponent* object) {
    if (!object || object->Is<TpgwCustomCrossView>() || object->Is<TpgwSubreport>()) return false;
    const TpgwPoint origin = designOrigin();
    RenderMatrix(nullptr, origin.X, origin.Y, ScaleX(), ScaleY());
    // Only the memos take objects; their children are drawn inside them anyway.
    TpgwComponent* target = nullptr;
    for (TpgwComponent* d : drawnObjects_) {
        if (d->Parent()) continue;
        if (d->Left() <= object->Left() && object->Left() <= d->Left() + d->Width() &&
            d->Top() <= object->Top() && object->Top() <= d->Top() + d->Height()) {
            target = d;
            break;
        }
    }
    if (!target) return false;
    object->SetLeft(object->Left() - target->Left());
    object->SetTop(object->Top() - target->Top());
    if (TComponent* owner = object->Owner()) owner->RemoveComponent(object);
    object->SetParent(target);
    const std::vector<TpgwComponent*> inner = InnerObjects();
    int tag = 1;
    while (std::any_of(inner.begin(), inner.end(),
                       [tag](const TpgwComponent* o) { return o->Tag() == tag; }))
        ++tag;
    object->SetTag(tag);
    object->SetName(Name() + "Object" + std::to_string(tag));
    return true;
}
