#pragma once
// TpgwDialogControl: a report object that wraps a window control of the platform on a dialog
// page, keeps it in step with the object's geometry, font and visibility, and routes its events
// to the script procedures its event names give.

#include <memory>
#include <string>

#include "platform/ui/control.h"
#include "report/component.h"

class TpgwDialogControl : public TpgwReportComponent {
    LUMETRA_CLASS(TpgwDialogControl, TpgwReportComponent)
public:
    explicit TpgwDialogControl(TComponent* owner);
    ~TpgwDialogControl() override;
    // Left, Top, Width, Height, Font, GroupIndex, ParentFont, Enabled, Hint, ShowHint, Visible.
    static void RegisterProperties(TClassBuilder<TpgwDialogControl>& b);

    // Takes the control (owned from now on), routes its events to this object and puts it in
    // the window this object's parent gives.
    void AttachControl(std::unique_ptr<TControl> control);
    TControl* Control() const { return control_.get(); }

    std::string ControlText() const;
    void SetControlText(const std::string& text);
    void SetColor(TColor color);
    bool Enabled() const;
    void SetEnabled(bool value);
    std::string Hint() const;
    void SetHint(const std::string& value);
    bool ShowHint() const;
    void SetShowHint(bool value);

    // Events run even when no report run is going on (set from the report's DestroyForms).
    bool EventsWithoutRun() const { return eventsWithoutRun_; }
    void SetEventsWithoutRun(bool value) { eventsWithoutRun_ = value; }

    void SetLeft(double value) override;
    void SetTop(double value) override;
    void SetWidth(double value) override;
    void SetHeight(double value) override;
    void SetVisible(bool value) override;
    void SetParent(TpgwComponent* value) override;
    void SetParentFont(bool value) override;
    void FontChanged() override;
    // The caption follows a rename when it showed the name.
    void SetName(const std::string& value) override;
    // Paints the control as it looks, at its absolute position; scale and offset do not apply.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;

    // Names of the script procedures the control's events run (published by the concrete
    // controls).
    std::string OnClick, OnDblClick, OnEnter, OnExit, OnKeyDown, OnKeyPress, OnKeyUp, OnMouseDown,
        OnMouseMove, OnMouseUp;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void placeControl();
    void routeEvents();

    std::unique_ptr<TControl> control_;
    bool eventsWithoutRun_ = false;
};
