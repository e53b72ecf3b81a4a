#pragma once
// TToolBar: a row of buttons the bar paints itself (plain, check-style, drop-down,
// separators) with images from a TImageList and optional captions, and ordinary controls
// (combo boxes, panels) placed between them. The buttons are components, not controls: the
// bar lays them out, tracks the mouse over them and fires their events.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/custom_control.h"
#include "platform/ui/image_list.h"

class TToolBar;
class TPopupMenu;

enum TToolButtonStyle : std::uint8_t { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolButton : public TComponent {
    LUMETRA_CLASS(TToolButton, TComponent)
public:
    explicit TToolButton(TComponent* owner);
    ~TToolButton() override;
    static void RegisterProperties(TClassBuilder<TToolButton>& b);

    TToolBar* ToolBar() const { return bar_; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle value);
    // A check-style button stays down after a click until clicked again. Adjacent grouped
    // check buttons are down one at a time; AllowAllUp lets the last one go up.
    bool Down() const { return down_; }
    void SetDown(bool value);
    bool Grouped() const { return grouped_; }
    void SetGrouped(bool value) { grouped_ = value; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value) { allowAllUp_ = value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    // A separator's width (default 8); buttons take the bar's button size.
    int SeparatorWidth() const { return separatorWidth_; }
    void SetSeparatorWidth(int value);
    // Shown below a drop-down button's arrow (or the whole button when it has no OnClick).
    TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(TPopupMenu* value);

    // In the bar's client coordinates; empty while hidden or off a bar.
    TRect BoundsRect() const { return bounds_; }
    // As a click of the user: a check button toggles (by the group's rules), then OnClick.
    void Click();

    TNotifyEvent OnClick;
    // The arrow of a drop-down button was pressed; runs before DropdownMenu shows.
    TNotifyEvent OnDropDown;
    // Mouse events over the button, in the bar's client coordinates.
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TToolBar;
    void Changed();
    TToolBar* bar_ = nullptr;
    std::string caption_;
    std::string hint_;
    int imageIndex_ = -1;
    TToolButtonStyle style_ = tbsButton;
    bool down_ = false;
    bool grouped_ = false;
    bool allowAllUp_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    int separatorWidth_ = 8;
    TPopupMenu* dropdownMenu_ = nullptr;
    TRect bounds_;
};

class TToolBar : public TCustomControl {
    LUMETRA_CLASS(TToolBar, TCustomControl)
public:
    explicit TToolBar(TComponent* owner);
    ~TToolBar() override;
    static void RegisterProperties(TClassBuilder<TToolBar>& b);

    // Items in order: buttons and controls. Adding a button that sits on another bar moves
    // it; a control is parented to this bar and laid out with the buttons.
    void AddButton(TToolButton* button);
    void AddControl(TControl* control);
    // Removes an item without freeing it.
    void RemoveButton(TToolButton* button);
    void RemoveControl(TControl* control);
    int ButtonCount() const;
    TToolButton* Buttons(int index) const;
    // The visible, non-separator button at a client point, or null.
    TToolButton* ButtonAtPos(int x, int y) const;

    TImageList* Images() const { return images_; }
    void SetImages(TImageList* value);
    // Images for disabled buttons; without them the normal images are drawn disabled.
    TImageList* DisabledImages() const { return disabledImages_; }
    void SetDisabledImages(TImageList* value);
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool value);
    int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int value);
    int ButtonHeight() const { return buttonHeight_; }
    void SetButtonHeight(int value);
    // Left margin before the first item.
    int Indent() const { return indent_; }
    void SetIndent(int value);
    // Flat: buttons show their edge only while the mouse is over them or they are down.
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    // The bar's height follows its buttons.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    // The size every plain button gets: the button size, grown to fit images and captions.
    TSize ButtonSize() const;
    // The button under the mouse (flat highlight), or null.
    TToolButton* HotButton() const { return hot_; }
    // Places every item again; called by changes of the items and the bar.
    void UpdateLayout();
    // Paints the background and the buttons on any canvas, in client coordinates.
    void PaintTo(TCanvas& canvas);

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;

protected:
    void Paint() override;
    void Resize() override;
    void Notification(TComponent* component, TOperation operation) override;
    void ControlsChanged() override;
    void ChildBoundsChanged(TControl* child) override;

private:
    friend class TToolButton;
    struct Item {
        TToolButton* button = nullptr;
        TControl* control = nullptr;
    };
    int IndexOfButton(const TToolButton* b) const;
    int ImageSlotHeight() const;
    bool OnArrow(const TToolButton* b, int x) const;
    void PaintButton(TCanvas& c, const TToolButton& b, TSize size);
    TToolButton* Clickable(int x, int y) const;
    void GroupDown(TToolButton* b);
    void DropDown(TToolButton* b);

    std::vector<Item> items_;
    TImageList* images_ = nullptr;
    TImageList* disabledImages_ = nullptr;
    TChangeLink imageLink_;
    TChangeLink disabledLink_;
    bool showCaptions_ = false;
    int buttonWidth_ = 23;
    int buttonHeight_ = 22;
    int indent_ = 0;
    bool flat_ = true;
    bool autoSize_ = false;
    TToolButton* hot_ = nullptr;
    TToolButton* pressed_ = nullptr;
    bool pressedInside_ = false;
    bool layingOut_ = false;
};
