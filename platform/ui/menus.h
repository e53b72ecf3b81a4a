#pragma once
// Menus: TMenuItem trees under a TMainMenu (the form's menu bar) or a TPopupMenu (a control's
// context menu). An item with the caption "-" is a separator.

#include <memory>
#include <string>
#include <vector>

#include "platform/core/component.h"
#include "platform/ui/ui_types.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class TMenu;
class TCustomForm;
template <class C> class TClassBuilder;

using TShortCut = std::uint16_t; // virtual key | scShift | scCtrl | scAlt
inline constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(std::uint16_t key, TShiftState shift);

class TMenuItem : public TComponent {
    LUMETRA_CLASS(TMenuItem, TComponent)
public:
    explicit TMenuItem(TComponent* owner);
    // Frees its sub-items.
    ~TMenuItem() override;
    static void RegisterProperties(TClassBuilder<TMenuItem>& b);

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value) { groupIndex_ = value; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value) { imageIndex_ = value; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut value);
    bool IsLine() const { return caption_ == "-"; }

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const;
    TMenuItem* Parent() const { return parent_; }
    int MenuIndex() const;
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    // Takes the item out without freeing it.
    void Remove(TMenuItem* item);
    // Frees every sub-item.
    void Clear();
    TMenuItem* Find(const std::string& caption) const;

    // Fires OnClick (a radio item is checked first).
    virtual void Click();
    TNotifyEvent OnClick;

    // Toolkit side (platform/ui internals).
    QAction* Action() const { return action_; }
    QMenu* SubMenu() const { return subMenu_; }
    void SetMenu(TMenu* menu);

private:
    void Rebuild();
    void Changed();

    std::string caption_;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool radioItem_ = false;
    int groupIndex_ = 0;
    int imageIndex_ = -1;
    std::string hint_;
    TShortCut shortCut_ = 0;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;
    QAction* action_ = nullptr;
    QMenu* subMenu_ = nullptr;
};

class TMenu : public TComponent {
    LUMETRA_CLASS(TMenu, TComponent)
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;
    // The invisible root item whose sub-items are the menu.
    TMenuItem* Items() const { return items_.get(); }
    // Called when an item below changed.
    virtual void MenuChanged() {}

private:
    std::unique_ptr<TMenuItem> items_;
};

class TMainMenu : public TMenu {
    LUMETRA_CLASS(TMainMenu, TMenu)
public:
    explicit TMainMenu(TComponent* owner);
    ~TMainMenu() override;
    // Shows the items in a bar on the form's widget (null: detaches).
    void AttachTo(QWidget* formWidget);
    QMenuBar* MenuBar() const { return bar_; }
    int BarHeight() const;
    void MenuChanged() override;

private:
    QMenuBar* bar_ = nullptr;
};

class TPopupMenu : public TMenu {
    LUMETRA_CLASS(TPopupMenu, TMenu)
public:
    explicit TPopupMenu(TComponent* owner);
    static void RegisterProperties(TClassBuilder<TPopupMenu>& b);
    // Shows the menu at a screen position (returns at once; items click later).
    void Popup(int x, int y);
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool value) { autoPopup_ = value; }
    // The control the menu was last shown for.
    TComponent* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TComponent* component) {
        popupComponent_ = component;
        if (component) component->FreeNotification(this);
    }
    TNotifyEvent OnPopup;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    bool autoPopup_ = true;
    TComponent* popupComponent_ = nullptr;
};
