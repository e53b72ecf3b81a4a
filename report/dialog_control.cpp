#include "report/dialog_control.h"

#include "platform/core/numbers.h"
#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/form.h"
#include "report/module_startup.h"

namespace {

int roundToInt(double value) {
    return static_cast<int>(Round(value));
}

// The long part of a hint "short|long" (the whole hint without a bar).
std::string longHint(const std::string& hint) {
    const std::size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

Variant self(TpgwDialogControl* control) {
    return ObjectToVariant(static_cast<TObject*>(control));
}

} // namespace

TpgwDialogControl::TpgwDialogControl(TComponent* owner) : TpgwReportComponent(owner) {}

namespace {

// Takes the control out of its window before it goes: a window control that leaves its parent
// only in its own destructor stays in the parent's tab order.
void freeControl(std::unique_ptr<TControl>& control, TComponent* listener) {
    if (!control) return;
    control->RemoveFreeNotification(listener);
    control->SetParent(nullptr);
    control.reset();
}

} // namespace

TpgwDialogControl::~TpgwDialogControl() {
    freeControl(control_, this);
}

void TpgwDialogControl::RegisterProperties(TClassBuilder<TpgwDialogControl>& b) {
    using C = TpgwDialogControl;
    b.Add("Left", TypeInfoExtended(), &TpgwComponent::Left, &TpgwComponent::SetLeft);
    b.Add("Top", TypeInfoExtended(), &TpgwComponent::Top, &TpgwComponent::SetTop);
    b.Add("Width", TypeInfoExtended(), &TpgwComponent::Width, &TpgwComponent::SetWidth);
    b.Add("Height", TypeInfoExtended(), &TpgwComponent::Height, &TpgwComponent::SetHeight);
    b.Add("Font", TypeInfoOfClass(TFont::StaticClass()), &TpgwComponent::Font,
          &TpgwComponent::SetFont)
        .Stored(&TpgwComponent::IsFontStored);
    b.Add("GroupIndex", TypeInfoInteger(), &TpgwComponent::GroupIndex,
          &TpgwComponent::SetGroupIndex)
        .Default(0);
    b.Add("ParentFont", TypeInfoBoolean(), &TpgwComponent::ParentFont,
          &TpgwComponent::SetParentFont)
        .Default(1);
    b.Add("Enabled", TypeInfoBoolean(), &C::Enabled, &C::SetEnabled).Default(1);
    b.Add("Hint", TypeInfoString(), &C::Hint, &C::SetHint);
    b.Add("ShowHint", TypeInfoBoolean(), &C::ShowHint, &C::SetShowHint).NoDefault();
    b.Add("Visible", TypeInfoBoolean(), &TpgwComponent::Visible, &TpgwComponent::SetVisible)
        .Default(1);
}

void TpgwDialogControl::AttachControl(std::unique_ptr<TControl> control) {
    TpgwCustomReport* report = Report();
    eventsWithoutRun_ = report ? !report->DestroyForms() : false;
    freeControl(control_, this);
    control_ = std::move(control);
    if (!control_) return;
    control_->FreeNotification(this);
    routeEvents();
    SetParent(Parent());
}

void TpgwDialogControl::Notification(TComponent* component, TOperation operation) {
    // A window destroyed with its parent window takes the control with it.
    if (operation == TOperation::opRemove && control_ && component == control_.get())
        (void)control_.release();
    TpgwReportComponent::Notification(component, operation);
}

void TpgwDialogControl::routeEvents() {
    TControl* c = control_.get();
    auto call = [this](const std::string& procedure) {
        if (procedure.empty()) return;
        if (TpgwCustomReport* report = Report())
            report->CallScriptEvent(procedure, this, eventsWithoutRun_);
    };
    auto callWith = [this](const std::string& procedure, std::vector<Variant>& params) {
        if (procedure.empty()) return false;
        TpgwCustomReport* report = Report();
        if (!report) return false;
        report->CallScriptEventWithParams(procedure, params, eventsWithoutRun_);
        return true;
    };
    c->OnClick = [this, call](TObject*) { call(OnClick); };
    c->OnDblClick = [this, call](TObject*) { call(OnDblClick); };
    c->OnMouseDown = [this, callWith](TObject*, TMouseButton button, TShiftState shift, int x,
                                      int y) {
        std::vector<Variant> p{self(this), Variant(static_cast<int>(button)),
                               Variant(static_cast<int>(shift)), Variant(x), Variant(y)};
        callWith(OnMouseDown, p);
    };
    c->OnMouseUp = [this, callWith](TObject*, TMouseButton button, TShiftState shift, int x,
                                    int y) {
        std::vector<Variant> p{self(this), Variant(static_cast<int>(button)),
                               Variant(static_cast<int>(shift)), Variant(x), Variant(y)};
        callWith(OnMouseUp, p);
    };
    c->OnMouseMove = [this, callWith](TObject*, TShiftState shift, int x, int y) {
        if (TpgwCustomReport* report = Report(); report && !Hint().empty() && ShowHint())
            report->ShowProgressText(longHint(Hint()), true);
        std::vector<Variant> p{self(this), Variant(static_cast<int>(shift)), Variant(x),
                               Variant(y)};
        callWith(OnMouseMove, p);
    };
    auto* w = dynamic_cast<TWinControl*>(c);
    if (!w) return;
    w->OnEnter = [this, call](TObject*) { call(OnEnter); };
    w->OnExit = [this, call](TObject*) { call(OnExit); };
    auto keyEvent = [this, callWith](const std::string& procedure, std::uint16_t& key,
                                     TShiftState shift) {
        std::vector<Variant> p{self(this), Variant(static_cast<int>(key)),
                               Variant(static_cast<int>(shift))};
        // The script may change the key.
        if (callWith(procedure, p) && p.size() > 1)
            key = static_cast<std::uint16_t>(p[1].AsInteger());
    };
    w->OnKeyDown = [this, keyEvent](TObject*, std::uint16_t& key, TShiftState shift) {
        keyEvent(OnKeyDown, key, shift);
    };
    w->OnKeyUp = [this, keyEvent](TObject*, std::uint16_t& key, TShiftState shift) {
        keyEvent(OnKeyUp, key, shift);
    };
    w->OnKeyPress = [this, callWith](TObject*, char16_t& key) {
        std::vector<Variant> p{self(this), Variant(Utf16ToUtf8(std::u16string(1, key)))};
        if (!callWith(OnKeyPress, p) || p.size() < 2) return;
        const std::u16string text =
            p[1].IsNull() || p[1].IsEmpty() ? std::u16string() : Utf8ToUtf16(p[1].AsString());
        key = text.empty() ? u'\0' : text.front();
    };
}

void TpgwDialogControl::placeControl() {
    if (!control_) return;
    TWinControl* window = nullptr;
    TpgwComponent* parent = Parent();
    if (auto* dialogParent = dynamic_cast<TpgwDialogControl*>(parent))
        window = dynamic_cast<TWinControl*>(dialogParent->Control());
    else if (parent && parent->DialogWindow())
        window = parent->DialogWindow();
    if (!window) window = SharedParentForm();
    control_->SetParent(window);
}

std::string TpgwDialogControl::ControlText() const {
    return control_ ? control_->Text() : std::string();
}

void TpgwDialogControl::SetControlText(const std::string& text) {
    if (control_) control_->SetText(text);
}

void TpgwDialogControl::SetColor(TColor color) {
    if (control_) control_->SetColor(color);
}

bool TpgwDialogControl::Enabled() const {
    return control_ ? control_->Enabled() : true;
}

void TpgwDialogControl::SetEnabled(bool value) {
    if (control_) control_->SetEnabled(value);
}

std::string TpgwDialogControl::Hint() const {
    return control_ ? control_->Hint() : std::string();
}

void TpgwDialogControl::SetHint(const std::string& value) {
    if (control_) control_->SetHint(value);
}

bool TpgwDialogControl::ShowHint() const {
    return control_ ? control_->ShowHint() : false;
}

void TpgwDialogControl::SetShowHint(bool value) {
    if (control_) control_->SetShowHint(value);
}

void TpgwDialogControl::SetLeft(double value) {
    TpgwReportComponent::SetLeft(value);
    if (control_) control_->SetLeft(roundToInt(Left()));
}

void TpgwDialogControl::SetTop(double value) {
    TpgwReportComponent::SetTop(value);
    if (control_) control_->SetTop(roundToInt(Top()));
}

void TpgwDialogControl::SetWidth(double value) {
    TpgwReportComponent::SetWidth(value);
    if (control_) control_->SetWidth(roundToInt(Width()));
}

void TpgwDialogControl::SetHeight(double value) {
    TpgwReportComponent::SetHeight(value);
    if (control_) control_->SetHeight(roundToInt(Height()));
}

void TpgwDialogControl::SetVisible(bool value) {
    TpgwReportComponent::SetVisible(value);
    if (control_) control_->SetVisible(value);
}

void TpgwDialogControl::SetParent(TpgwComponent* value) {
    TpgwReportComponent::SetParent(value);
    placeControl();
}

void TpgwDialogControl::SetParentFont(bool value) {
    TpgwReportComponent::SetParentFont(value);
    if (control_) control_->SetParentFont(value);
}

void TpgwDialogControl::FontChanged() {
    TpgwReportComponent::FontChanged();
    if (control_) control_->SetFont(Font());
}

void TpgwDialogControl::SetName(const std::string& value) {
    const bool follow =
        control_ && !IsBeingLoaded() && !Name().empty() && control_->Text() == Name();
    TpgwReportComponent::SetName(value);
    if (follow) control_->SetText(value);
}

void TpgwDialogControl::Draw(TCanvas& canvas, double, double, double, double) {
    if (!control_) return;
    const int x = roundToInt(AbsLeft());
    const int y = roundToInt(AbsTop());
    const TRect r{x, y, x + roundToInt(Width()), y + roundToInt(Height())};
    TRasterImage image = control_->GrabImage();
    canvas.Lock();
    try {
        if (!image.IsEmpty()) {
            canvas.DrawImage(r, image);
        } else {
            canvas.Brush().SetColor(clBtnFace);
            canvas.FillRect(r);
        }
    } catch (...) {
        canvas.Unlock();
        throw;
    }
    canvas.Unlock();
}
