#pragma once
// TCustomControl: a control that paints itself on a canvas (Paint / OnPaint), with an optional
// sunken border, mouse capture, a cursor, and scroll bars that it drives itself: it sets each
// bar's range, page and position, and hears the user's scroll actions through Scroll.

#include <functional>
#include <memory>

#include "platform/ui/control.h"

class TCanvas;

enum TScrollCode : std::uint8_t {
    scLineUp,
    scLineDown,
    scPageUp,
    scPageDown,
    scPosition,
    scTrack,
    scTop,
    scBottom,
    scEndScroll
};

// A bar's state as the window manager keeps it: positions run from Min to Max - Page + 1.
struct TScrollInfo {
    int Min = 0;
    int Max = 0;
    int Page = 0;
    int Pos = 0;
};

using TScrollEvent =
    std::function<void(TObject* sender, TScrollBarKind kind, TScrollCode code, int& pos)>;

class TCustomControl : public TWinControl {
    LUMETRA_CLASS(TCustomControl, TWinControl)
public:
    explicit TCustomControl(TComponent* owner);
    ~TCustomControl() override;
    static void RegisterProperties(TClassBuilder<TCustomControl>& b);

    // The canvas: drawing reaches the screen while Paint runs; outside it, it only measures.
    TCanvas* Canvas() const;

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    // bsSingle: a sunken frame around the client area; anything else: none.
    void SetBorderStyle(TFormBorderStyle value);
    // Which bars may show; a bar shows when its range exceeds its page.
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    TScrollInfo ScrollInfo(TScrollBarKind kind) const;
    void SetScrollInfo(TScrollBarKind kind, const TScrollInfo& info);
    int ScrollPos(TScrollBarKind kind) const { return ScrollInfo(kind).Pos; }
    void SetScrollPos(TScrollBarKind kind, int pos);
    bool ScrollBarVisible(TScrollBarKind kind) const;

    // All mouse input goes to this control until released.
    bool MouseCapture() const { return mouseCapture_; }
    void SetMouseCapture(bool value);

    // The client area: inside the border, less the visible bars.
    TRect ClientRect() const override;
    TPoint ChildOrigin() const override;

    TNotifyEvent OnPaint;
    // A user's scroll action; pos is the proposed position and may be changed.
    TScrollEvent OnScroll;

    // Plumbing.
    void PaintNow(void* qpainter);
    void ScrollAction(TScrollBarKind kind, TScrollCode code, int proposed);
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;

protected:
    // Draws the control; the base fills the client area with Color and fires OnPaint.
    virtual void Paint();
    // The user moved a bar: the base computes the new position (line 1, page Page, thumb as
    // dragged, top, bottom), passes it through OnScroll and applies it.
    virtual void Scroll(TScrollBarKind kind, TScrollCode code, int& pos);
    void Resize() override;

private:
    void LayoutBars();
    int FrameWidth() const;

    TFormBorderStyle borderStyle_ = bsNone;
    TScrollStyle scrollBars_ = ssNone;
    TScrollInfo info_[2];
    bool mouseCapture_ = false;
    bool inScroll_ = false;
    TCanvas* paintCanvas_ = nullptr;
    mutable std::unique_ptr<TCanvas> measureCanvas_;
    TRect lastClient_;
};
