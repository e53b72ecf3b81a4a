#include "report/line_view.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/graphics/canvas.h"
#include "report/picture_view.h"
#include "report/resources.h"


// ---- TpgwCustomLineView
// --------------------------------------------------------------------------

TpgwCustomLineView::TpgwCustomLineView(TComponent* owner) : TpgwStretcheable(owner) {
    SetObjectTraits(ObjectTraits() & ~TpgwObjectTraits::DiffAgainstDefault);
}

TpgwCustomLineView::~TpgwCustomLineView() = default;

void TpgwCustomLineView::RegisterProperties(TClassBuilder<TpgwCustomLineView>& b) {
    PublishViewProperties(b, {"TagStr"});
}

void TpgwCustomLineView::Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                              double offsetY) {
    if (!diagonal_) {
        if (Width() <= Height()) {
            SetWidth(0);
            Frame()->SetTyp(FrameSide(ftLeft));
        } else {
            SetHeight(0);
            Frame()->SetTyp(FrameSide(ftTop));
        }
    }
    BeginDraw(canvas, scaleX, scaleY, offsetX, offsetY);
    if (diagonal_) {
        DrawDiagonal();
    } else {
        DrawFrame();
        DrawArrows();
    }
}

void TpgwCustomLineView::DrawDiagonal() {
    const TpgwFrame& frame = *Frame();
    if (frame.Color() == clNone || frame.Width() == 0) return;
    TCanvas& canvas = *canvas_;
    if (Color() == clNone) {
        canvas.Brush().SetStyle(bsClear);
    } else {
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(Color());
    }
    SetPlainPen(canvas, frame.Color(), 1, FramePenStyle(frame.Style()));
    DrawThickLine(canvas, x_, y_, x1_, y1_, fw_);
    DrawArrows();
}

void TpgwCustomLineView::DrawArrows() {
    // A line without a colour has nothing to draw its heads in.
    if (Frame()->Color() == clNone) return;
    if (arrowStart_) DrawArrow(x_, y_, x1_, y1_);
    if (arrowEnd_) DrawArrow(x1_, y1_, x_, y_);
}

void TpgwCustomLineView::DrawArrow(int tipX, int tipY, int otherX, int otherY) {
    const double aw = arrowWidth_ * scaleX_;
    const double al = arrowLength_ * scaleX_;
    double baseX, baseY, nx, ny; // nx, ny: unit normal of the line
    if (std::abs(otherX - tipX) > 8) {
        // AL along the line from the tip toward the other end.
        const double lx = otherX - tipX, ly = otherY - tipY;
        const double length = std::sqrt(lx * lx + ly * ly);
        baseX = tipX + al * lx / length;
        baseY = tipY + al * ly / length;
        nx = -ly / length;
        ny = lx / length;
    } else {
        // Nearly vertical: taken as exactly vertical.
        baseX = tipX;
        baseY = tipY + (otherY >= tipY ? al : -al);
        nx = 1;
        ny = 0;
    }
    const TPoint tip{tipX, tipY};
    const TPoint wing1{RoundToPixel(baseX - aw * nx), RoundToPixel(baseY - aw * ny)};
    const TPoint wing2{RoundToPixel(baseX + aw * nx), RoundToPixel(baseY + aw * ny)};
    TCanvas& canvas = *canvas_;
    const TColor color = Frame()->Color();
    if (arrowSolid_) {
        SetPlainPen(canvas, color, 1, psSolid);
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(color);
        canvas.Polygon({tip, wing1, wing2, tip});
    } else {
        SetPlainPen(canvas, color, RoundToPixel(Frame()->Width() * scaleX_), psSolid);
        canvas.Polyline({wing1, tip, wing2});
    }
}

// ---- TpgwLineView
// --------------------------------------------------------------------------------

TpgwLineView::TpgwLineView(TComponent* owner) : TpgwCustomLineView(owner) {}

TpgwLineView::~TpgwLineView() = default;

void TpgwLineView::RegisterProperties(TClassBuilder<TpgwLineView>& b) {
    using L = TpgwLineView;
    b.Add("Diagonal", TypeInfoBoolean(), &L::Diagonal, &L::SetDiagonal).Default(0);
    b.Add("ArrowStart", TypeInfoBoolean(), &L::ArrowStart, &L::SetArrowStart).Default(0);
    b.Add("ArrowEnd", TypeInfoBoolean(), &L::ArrowEnd, &L::SetArrowEnd).Default(0);
    b.Add("ArrowSolid", TypeInfoBoolean(), &L::ArrowSolid, &L::SetArrowSolid).Default(0);
    b.Add("ArrowWidth", TypeInfoInteger(), &L::ArrowWidth, &L::SetArrowWidth).Default(5);
    b.Add("ArrowLength", TypeInfoInteger(), &L::ArrowLength, &L::SetArrowLength).Default(20);
    PublishViewProperties(b, {"Frame"});
}

TpgwLineView* TpgwLineView::CreateInDesigner(TComponent* owner, int flags) {
    auto* line = static_cast<TpgwLineView*>(TpgwComponent::CreateInDesigner(StaticClass(), owner));
    line->SetDiagonal(flags != 0);
    line->SetArrowEnd(flags == 2 || flags == 4);
    line->SetArrowStart(flags == 3 || flags == 4);
    return line;
}

std::string TpgwLineView::ClassDescription() const {
    return GetResources().GetText("obLine");
}

// ---- registration
// --------------------------------------------------------------------------------

void RegisterLineAndPictureClasses() {
    RegisterClasses<TpgwCustomLineView, TpgwLineView, TpgwPictureView>();
}
