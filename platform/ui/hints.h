#pragma once
// Hints: the short part of a control's Hint ("short|long") in a painted window below the mouse,
// shown after the application's hint pause and hidden after the hide pause, all on the tick
// source. A control may answer per point (text and the rectangle it holds for) through a hint
// query; the preview uses it for the objects on its pages. The toolkit's own tooltips are not
// used: the manager swallows them once it runs.

#include <functional>
#include <map>
#include <string>

#include "platform/graphics/geometry.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/tick_source.h"

struct THintInfo {
    TControl* HintControl = nullptr;
    // In the hint control's coordinates.
    TPoint CursorPos;
    // While the mouse stays inside (control coordinates) the hint stays; by default the control.
    TRect CursorRect;
    // The text shown; by default the short part of the control's Hint. Empty shows nothing.
    std::string HintStr;
    // Milliseconds the hint stays; 0 takes the manager's HintHidePause.
    int HideTimeout = 0;
};

using THintQuery = std::function<void(THintInfo& info)>;

// The short part of "short|long" (all of it without a bar) and the long part (the short one
// when there is no bar).
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);

// A borderless pop-up in the info colours that paints its text.
class THintWindow : public TCustomControl {
    LUMETRA_CLASS(THintWindow, TCustomControl)
public:
    explicit THintWindow(TComponent* owner);
    // The size the text needs (one line per line break), at the origin.
    TRect CalcHintRect(const std::string& text);
    // Shows the text with its top-left corner at the screen point, kept on the screen.
    void ActivateHint(TPoint screenPos, const std::string& text);
    void ReleaseHint();
    const std::string& HintText() const { return text_; }

protected:
    void Paint() override;
    TColor DefaultColor() const override { return clInfoBk; }

private:
    std::string text_;
};

class THintManager : public TComponent {
    LUMETRA_CLASS(THintManager, TComponent)
public:
    explicit THintManager(TComponent* owner);
    ~THintManager() override;

    // The application's switch for every hint.
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    // The first hint waits HintPause (the application's), one after another HintShortPause.
    int HintShortPause() const { return shortPause_; }
    void SetHintShortPause(int ms) { shortPause_ = ms; }
    int HintHidePause() const { return hidePause_; }
    void SetHintHidePause(int ms) { hidePause_ = ms; }

    // Per-point answers for a control; an empty query removes it.
    void SetHintQuery(TControl* control, THintQuery query);

    // The mouse is at pos (control coordinates) over control. The toolkit's events call this.
    void MouseMoved(TControl* control, TPoint pos);
    // Hides the hint and waits the full pause before the next (a click, a key, leaving).
    void CancelHint();
    // Shows the hint for the point now, without the pause (a control whose hint changed).
    void ActivateHint(TControl* control, TPoint pos);

    bool HintShowing() const;
    THintWindow* HintWindow() const { return window_; }
    // The control whose hint is shown or waited for.
    TControl* HintControl() const { return control_; }

    void Notification(TComponent* component, TOperation operation) override;

private:
    TControl* HintTarget(TControl* control) const;
    void SetControl(TControl* control);
    void ShowNow();
    void HideWindow();

    bool showHint_ = true;
    int shortPause_ = 50;
    int hidePause_ = 2500;
    std::map<const TComponent*, THintQuery> queries_; // keyed as components: erased while they go
    TControl* control_ = nullptr;
    TPoint pos_;
    TRect cursorRect_;
    bool rectKnown_ = false; // a hint was shown or asked for at this place
    bool active_ = false;    // the next hint follows the short pause
    TTickTimer showTimer_;
    TTickTimer hideTimer_;
    THintWindow* window_ = nullptr;
    struct Filter;
    Filter* filter_ = nullptr;
};

// The application's hint manager, made on first use; from then on it hears the mouse.
THintManager& Hints();
