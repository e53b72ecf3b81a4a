#pragma once
// The line object: horizontal, vertical or diagonal across its bounds, with optional arrow
// heads at either end; colour, width and style come from its frame.

#include <string>

#include "report/view.h"

class TpgwCustomLineView : public TpgwStretcheable {
    LUMETRA_CLASS(TpgwCustomLineView, TpgwStretcheable)
public:
    explicit TpgwCustomLineView(TComponent* owner);
    ~TpgwCustomLineView() override;
    // TagStr.
    static void RegisterProperties(TClassBuilder<TpgwCustomLineView>& b);

    bool Diagonal() const { return diagonal_; }
    void SetDiagonal(bool value) { diagonal_ = value; }
    // Heads at the start point (top or left) and at the end point.
    bool ArrowStart() const { return arrowStart_; }
    void SetArrowStart(bool value) { arrowStart_ = value; }
    bool ArrowEnd() const { return arrowEnd_; }
    void SetArrowEnd(bool value) { arrowEnd_ = value; }
    // A filled triangle instead of two strokes.
    bool ArrowSolid() const { return arrowSolid_; }
    void SetArrowSolid(bool value) { arrowSolid_ = value; }
    // Half the head's width and its length along the line, in report units.
    int ArrowWidth() const { return arrowWidth_; }
    void SetArrowWidth(int value) { arrowWidth_ = value; }
    int ArrowLength() const { return arrowLength_; }
    void SetArrowLength(int value) { arrowLength_ = value; }

    // A straight line first collapses its bounds to one dimension: a vertical line at the
    // left edge when Width <= Height, else a horizontal one at the top edge.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;

private:
    // A head with its tip at (tipX, tipY) pointing away from (otherX, otherY).
    void DrawArrow(int tipX, int tipY, int otherX, int otherY);
    void DrawArrows();
    void DrawDiagonal();

    int arrowWidth_ = 5;
    int arrowLength_ = 20;
    bool diagonal_ = false;
    bool arrowStart_ = false;
    bool arrowEnd_ = false;
    bool arrowSolid_ = false;
};

class TpgwLineView : public TpgwCustomLineView {
    LUMETRA_CLASS(TpgwLineView, TpgwCustomLineView)
public:
    explicit TpgwLineView(TComponent* owner);
    ~TpgwLineView() override;
    // Diagonal, ArrowStart, ArrowEnd, ArrowSolid, ArrowWidth, ArrowLength, Frame.
    static void RegisterProperties(TClassBuilder<TpgwLineView>& b);
    // The designer's constructor: flags 0 plain, 1 diagonal, 2 arrow at the end, 3 at the
    // start, 4 at both ends (every non-zero flag makes a diagonal line).
    static TpgwLineView* CreateInDesigner(TComponent* owner, int flags);

    std::string ClassDescription() const override;
};

// Registers the line and picture classes by name for template loading.
void RegisterLineAndPictureClasses();
