#include "platform/ui/tool_bar.h"

#include <algorithm>

#include "platform/core/properties.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/menus.h"

namespace {

// The part of a drop-down button that opens its menu.
constexpr int kArrowWidth = 12;

bool Inside(const TRect& r, int x, int y) {
    return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
}

void Edge(TCanvas& c, const TRect& r, bool sunken) {
    const TColor light = sunken ? clBtnShadow : clBtnHighlight;
    const TColor dark = sunken ? clBtnHighlight : clBtnShadow;
    c.Pen().SetColor(light);
    c.MoveTo(r.Left, r.Bottom - 1);
    c.LineTo(r.Left, r.Top);
    c.LineTo(r.Right - 1, r.Top);
    c.Pen().SetColor(dark);
    c.LineTo(r.Right - 1, r.Bottom - 1);
    c.LineTo(r.Left - 1, r.Bottom - 1);
}

TColor Mix(TColor a, TColor b) {
    a = ColorToRGB(a);
    b = ColorToRGB(b);
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

} // namespace

// TToolButton

void TToolButton::RegisterProperties(TClassBuilder<TToolButton>& b) {
    b.Add("Caption", &TToolButton::Caption, &TToolButton::SetCaption);
    b.Add("Hint", &TToolButton::Hint, &TToolButton::SetHint);
    b.Add("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex).Default(-1);
    b.Add("Down", &TToolButton::Down, &TToolButton::SetDown).Default(0);
    b.Add("Grouped", &TToolButton::Grouped, &TToolButton::SetGrouped).Default(0);
    b.Add("AllowAllUp", &TToolButton::AllowAllUp, &TToolButton::SetAllowAllUp).Default(0);
    b.Add("Enabled", &TToolButton::Enabled, &TToolButton::SetEnabled).Default(1);
    b.Add("Visible", &TToolButton::Visible, &TToolButton::SetVisible).Default(1);
    b.AddMethod("OnClick", "TNotifyEvent");
}

TToolButton::TToolButton(TComponent* owner) : TComponent(owner) {}

TToolButton::~TToolButton() {
    if (bar_) bar_->RemoveButton(this);
}

void TToolButton::Changed() {
    if (bar_) bar_->UpdateLayout();
}

void TToolButton::SetCaption(const std::string& value) {
    if (value == caption_) return;
    caption_ = value;
    Changed();
}

void TToolButton::SetImageIndex(int value) {
    if (value == imageIndex_) return;
    imageIndex_ = value;
    if (bar_) bar_->Invalidate();
}

void TToolButton::SetStyle(TToolButtonStyle value) {
    if (value == style_) return;
    style_ = value;
    Changed();
}

void TToolButton::SetDown(bool value) {
    if (value == down_) return;
    down_ = value;
    if (down_ && grouped_ && style_ == tbsCheck && bar_) bar_->GroupDown(this);
    if (bar_) bar_->Invalidate();
}

void TToolButton::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (bar_) {
        if (!enabled_ && bar_->pressed_ == this) bar_->pressed_ = nullptr;
        bar_->Invalidate();
    }
}

void TToolButton::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    Changed();
}

void TToolButton::SetSeparatorWidth(int value) {
    value = std::max(value, 0);
    if (value == separatorWidth_) return;
    separatorWidth_ = value;
    Changed();
}

void TToolButton::SetDropdownMenu(TPopupMenu* value) {
    if (dropdownMenu_) RemoveFreeNotification(dropdownMenu_);
    dropdownMenu_ = value;
    if (value) FreeNotification(value);
}

void TToolButton::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == dropdownMenu_) dropdownMenu_ = nullptr;
    TComponent::Notification(component, operation);
}

void TToolButton::Click() {
    if (style_ == tbsCheck) {
        const bool inGroup = grouped_ && bar_;
        if (!down_)
            SetDown(true);
        else if (!inGroup || allowAllUp_)
            SetDown(false);
    }
    if (OnClick) OnClick(this);
}

// TToolBar

void TToolBar::RegisterProperties(TClassBuilder<TToolBar>& b) {
    b.Add("ShowCaptions", &TToolBar::ShowCaptions, &TToolBar::SetShowCaptions).Default(0);
    b.Add("ButtonWidth", &TToolBar::ButtonWidth, &TToolBar::SetButtonWidth).Default(23);
    b.Add("ButtonHeight", &TToolBar::ButtonHeight, &TToolBar::SetButtonHeight).Default(22);
    b.Add("Indent", &TToolBar::Indent, &TToolBar::SetIndent).Default(0);
    b.Add("Flat", &TToolBar::Flat, &TToolBar::SetFlat).Default(1);
    b.Add("AutoSize", &TToolBar::AutoSize, &TToolBar::SetAutoSize).Default(0);
}

TToolBar::TToolBar(TComponent* owner) : TCustomControl(owner) {
    SetBounds(Left(), Top(), 150, 29);
    SetAlign(alTop);
    imageLink_.OnChange = [this](TObject*) { UpdateLayout(); };
    disabledLink_.OnChange = [this](TObject*) { Invalidate(); };
}

TToolBar::~TToolBar() {
    for (Item& item : items_)
        if (item.button) item.button->bar_ = nullptr;
    items_.clear();
}

int TToolBar::IndexOfButton(const TToolButton* b) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].button == b) return static_cast<int>(i);
    return -1;
}

void TToolBar::AddButton(TToolButton* button) {
    if (!button || button->bar_ == this) return;
    if (button->bar_) button->bar_->RemoveButton(button);
    items_.push_back({button, nullptr});
    button->bar_ = this;
    UpdateLayout();
}

void TToolBar::AddControl(TControl* control) {
    if (!control) return;
    for (const Item& item : items_)
        if (item.control == control) return;
    items_.push_back({nullptr, control});
    control->SetAlign(alNone);
    control->SetParent(this);
    UpdateLayout();
}

void TToolBar::RemoveButton(TToolButton* button) {
    const int i = IndexOfButton(button);
    if (i < 0) return;
    items_.erase(items_.begin() + i);
    button->bar_ = nullptr;
    button->bounds_ = {};
    if (hot_ == button) hot_ = nullptr;
    if (pressed_ == button) pressed_ = nullptr;
    UpdateLayout();
}

void TToolBar::RemoveControl(TControl* control) {
    const auto before = items_.size();
    std::erase_if(items_, [&](const Item& item) { return item.control == control; });
    if (items_.size() != before) UpdateLayout();
}

void TToolBar::ControlsChanged() {
    // A control item that left the bar (freed or re-parented) is no item any more.
    const auto before = items_.size();
    std::erase_if(items_, [&](const Item& item) {
        if (!item.control) return false;
        for (int i = 0; i < ControlCount(); ++i)
            if (Controls(i) == item.control) return false;
        return true;
    });
    if (items_.size() != before && !HasState(csDestroying)) UpdateLayout();
}

void TToolBar::ChildBoundsChanged(TControl* child) {
    if (!layingOut_) {
        for (const Item& item : items_)
            if (item.control == child) {
                UpdateLayout();
                return;
            }
    }
    TCustomControl::ChildBoundsChanged(child);
}

int TToolBar::ButtonCount() const {
    int n = 0;
    for (const Item& item : items_)
        if (item.button) ++n;
    return n;
}

TToolButton* TToolBar::Buttons(int index) const {
    int n = 0;
    for (const Item& item : items_)
        if (item.button && n++ == index) return item.button;
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

TToolButton* TToolBar::ButtonAtPos(int x, int y) const {
    for (const Item& item : items_) {
        TToolButton* b = item.button;
        if (!b || !b->visible_ || b->style_ == tbsSeparator || b->style_ == tbsDivider) continue;
        if (Inside(b->bounds_, x, y)) return b;
    }
    return nullptr;
}

void TToolBar::SetImages(TImageList* value) {
    if (images_) RemoveFreeNotification(images_);
    images_ = value;
    imageLink_.SetSender(value);
    if (value) FreeNotification(value);
    UpdateLayout();
}

void TToolBar::SetDisabledImages(TImageList* value) {
    if (disabledImages_) RemoveFreeNotification(disabledImages_);
    disabledImages_ = value;
    disabledLink_.SetSender(value);
    if (value) FreeNotification(value);
    Invalidate();
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (component == images_) {
            images_ = nullptr;
            UpdateLayout();
        }
        if (component == disabledImages_) disabledImages_ = nullptr;
    }
    TCustomControl::Notification(component, operation);
}

void TToolBar::SetShowCaptions(bool value) {
    if (value == showCaptions_) return;
    showCaptions_ = value;
    UpdateLayout();
}

void TToolBar::SetButtonWidth(int value) {
    buttonWidth_ = std::max(value, 0);
    UpdateLayout();
}

void TToolBar::SetButtonHeight(int value) {
    buttonHeight_ = std::max(value, 0);
    UpdateLayout();
}

void TToolBar::SetIndent(int value) {
    indent_ = std::max(value, 0);
    UpdateLayout();
}

void TToolBar::SetFlat(bool value) {
    flat_ = value;
    Invalidate();
}

void TToolBar::SetAutoSize(bool value) {
    autoSize_ = value;
    UpdateLayout();
}

int TToolBar::ImageSlotHeight() const {
    // Captions without images make text buttons: no empty picture slot above the text.
    if (images_) return images_->Height();
    return showCaptions_ ? 0 : 16;
}

TSize TToolBar::ButtonSize() const {
    const int iw = images_ ? images_->Width() : 16;
    const int ih = ImageSlotHeight();
    int w = std::max(buttonWidth_, iw + 7);
    int h = std::max(buttonHeight_, ih + 6);
    if (showCaptions_) {
        const TCanvas* c = Canvas();
        int text = 0;
        for (const Item& item : items_)
            if (item.button && item.button->visible_ && item.button->style_ < tbsSeparator)
                text = std::max(text, c->TextWidth(item.button->caption_));
        w = std::max(w, text + 8);
        h = std::max(h, ih + c->TextHeight("Wg") + 8);
    }
    return {w, h};
}

void TToolBar::UpdateLayout() {
    if (layingOut_ || HasState(csDestroying)) return;
    layingOut_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{layingOut_};
    const TSize size = ButtonSize();
    int rowHeight = size.cy;
    for (const Item& item : items_)
        if (item.control && item.control->Visible())
            rowHeight = std::max(rowHeight, item.control->Height());
    int x = indent_;
    for (const Item& item : items_) {
        if (TToolButton* b = item.button) {
            if (!b->visible_) {
                b->bounds_ = {};
                continue;
            }
            int w = size.cx;
            if (b->style_ == tbsSeparator || b->style_ == tbsDivider) w = b->separatorWidth_;
            if (b->style_ == tbsDropDown) w += kArrowWidth;
            b->bounds_ = Bounds(x, 0, w, size.cy);
            x += w;
        } else if (TControl* c = item.control) {
            if (!c->Visible()) continue;
            c->SetBounds(x, std::max(0, (size.cy - c->Height()) / 2), c->Width(), c->Height());
            x += c->Width();
        }
    }
    if (autoSize_) {
        const TRect client = ClientRect();
        SetBounds(Left(), Top(), Width(), Height() - client.Height() + rowHeight);
    }
    Invalidate();
}

void TToolBar::Resize() {
    TCustomControl::Resize();
}

void TToolBar::GroupDown(TToolButton* b) {
    const int at = IndexOfButton(b);
    auto inGroup = [&](int i) {
        const TToolButton* o = items_[static_cast<std::size_t>(i)].button;
        return o && o->grouped_ && o->style_ == tbsCheck;
    };
    for (int dir : {-1, 1})
        for (int i = at + dir; i >= 0 && i < static_cast<int>(items_.size()) && inGroup(i);
             i += dir)
            items_[static_cast<std::size_t>(i)].button->down_ = false;
}

bool TToolBar::OnArrow(const TToolButton* b, int x) const {
    return b->style_ == tbsDropDown && x >= b->bounds_.Right - kArrowWidth;
}

void TToolBar::DropDown(TToolButton* b) {
    if (b->OnDropDown) b->OnDropDown(b);
    if (TPopupMenu* menu = b->dropdownMenu_) {
        menu->SetPopupComponent(b);
        const TPoint p = ClientToScreen({b->bounds_.Left, b->bounds_.Bottom});
        menu->Popup(p.X, p.Y);
    }
}

TToolButton* TToolBar::Clickable(int x, int y) const {
    TToolButton* b = ButtonAtPos(x, y);
    return b && b->enabled_ ? b : nullptr;
}

void TToolBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    const TPoint o = ChildOrigin();
    const int cx = x - o.X, cy = y - o.Y;
    if (TToolButton* b = Clickable(cx, cy)) {
        if (b->OnMouseDown) b->OnMouseDown(b, button, shift, cx, cy);
        if (button == mbLeft && b->bar_ == this) {
            // Without a click handler the whole drop-down button opens the menu.
            if (b->style_ == tbsDropDown && (OnArrow(b, cx) || !b->OnClick)) {
                DropDown(b);
            } else {
                pressed_ = b;
                pressedInside_ = true;
                SetMouseCapture(true);
                Invalidate();
            }
        }
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TToolBar::MouseMove(TShiftState shift, int x, int y) {
    const TPoint o = ChildOrigin();
    const int cx = x - o.X, cy = y - o.Y;
    TToolButton* over = ButtonAtPos(cx, cy);
    if (over != hot_) {
        hot_ = over;
        SetHint(over ? over->hint_ : std::string());
        Invalidate();
    }
    if (pressed_) {
        const bool inside = Inside(pressed_->bounds_, cx, cy);
        if (inside != pressedInside_) {
            pressedInside_ = inside;
            Invalidate();
        }
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TToolBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    const TPoint o = ChildOrigin();
    const int cx = x - o.X, cy = y - o.Y;
    TToolButton* target = nullptr;
    if (button == mbLeft && pressed_) {
        SetMouseCapture(false);
        if (Inside(pressed_->bounds_, cx, cy) && pressed_->enabled_) target = pressed_;
        pressed_ = nullptr;
        Invalidate();
    }
    // The click may free the bar's owner window; nothing of the bar is touched after it.
    TToolButton* over = Clickable(cx, cy);
    if (over && over->OnMouseUp) over->OnMouseUp(over, button, shift, cx, cy);
    TCustomControl::MouseUp(button, shift, x, y);
    if (target && target->bar_ == this) target->Click();
}

void TToolBar::Paint() {
    PaintTo(*Canvas());
    if (OnPaint) OnPaint(this);
}

void TToolBar::PaintTo(TCanvas& c) {
    c.Brush().SetColor(Color());
    const TRect client = ClientRect();
    c.FillRect(Bounds(0, 0, client.Width(), client.Height()));
    c.SetFont(*Font());
    const TSize size = ButtonSize();
    for (const Item& item : items_)
        if (item.button && item.button->visible_) PaintButton(c, *item.button, size);
}

void TToolBar::PaintButton(TCanvas& c, const TToolButton& b, TSize size) {
    const TRect r = b.bounds_;
    if (b.style_ == tbsSeparator || b.style_ == tbsDivider) {
        if (b.style_ == tbsDivider || flat_) {
            const int x = r.Left + r.Width() / 2 - 1;
            c.Pen().SetColor(clBtnShadow);
            c.MoveTo(x, r.Top + 1);
            c.LineTo(x, r.Bottom - 1);
            c.Pen().SetColor(clBtnHighlight);
            c.MoveTo(x + 1, r.Top + 1);
            c.LineTo(x + 1, r.Bottom - 1);
        }
        return;
    }
    const bool pressed = pressed_ == &b && pressedInside_;
    const bool sunken = pressed || b.down_;
    TRect face = r;
    if (b.style_ == tbsDropDown) face.Right -= kArrowWidth;
    if (b.down_ && !pressed) {
        c.Brush().SetColor(Mix(clBtnFace, clBtnHighlight));
        c.FillRect(Rect(face.Left + 1, face.Top + 1, face.Right - 1, face.Bottom - 1));
    }
    const bool hot = hot_ == &b && b.enabled_;
    if (sunken || !flat_ || hot) {
        Edge(c, face, sunken);
        if (b.style_ == tbsDropDown) Edge(c, Rect(face.Right, r.Top, r.Right, r.Bottom), false);
    }
    const int shift = sunken ? 1 : 0;
    TImageList* list = images_;
    bool enabledLook = b.enabled_;
    if (!b.enabled_ && disabledImages_) {
        list = disabledImages_;
        enabledLook = true;
    }
    const int iw = images_ ? images_->Width() : 16;
    const int ih = ImageSlotHeight();
    const int th = showCaptions_ ? c.TextHeight("Wg") : 0;
    const int top = showCaptions_ ? face.Top + (size.cy - ih - th - 2) / 2
                                  : face.Top + (face.Height() - ih) / 2;
    if (list)
        list->Draw(c, face.Left + (face.Width() - iw) / 2 + shift, top + shift, b.imageIndex_,
                   enabledLook);
    if (showCaptions_ && !b.caption_.empty()) {
        c.SetBackgroundMode(bmTransparent);
        const int tx = face.Left + (face.Width() - c.TextWidth(b.caption_)) / 2 + shift;
        const int ty = top + ih + 2 + shift;
        if (!b.enabled_) {
            c.Font().SetColor(clBtnHighlight);
            c.TextOut(tx + 1, ty + 1, b.caption_);
        }
        c.Font().SetColor(b.enabled_ ? clBtnText : clBtnShadow);
        c.TextOut(tx, ty, b.caption_);
    }
    if (b.style_ == tbsDropDown) {
        // A small downward triangle centred in the arrow part.
        const int ax = face.Right + (kArrowWidth - 5) / 2;
        const int ay = r.Top + r.Height() / 2 - 1;
        c.Pen().SetColor(b.enabled_ ? clBtnText : clBtnShadow);
        for (int row = 0; row < 3; ++row) {
            c.MoveTo(ax + row, ay + row);
            c.LineTo(ax + 5 - row, ay + row);
        }
    }
}
