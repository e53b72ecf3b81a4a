#include "platform/ui/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QWidget>
#include <algorithm>

#include "platform/core/properties.h"
#include "platform/ui/application.h"

TShortCut ShortCut(std::uint16_t key, TShiftState shift) {
    TShortCut s = key & 0xFF;
    if (shift & ShiftBit(ssShift)) s |= scShift;
    if (shift & ShiftBit(ssCtrl)) s |= scCtrl;
    if (shift & ShiftBit(ssAlt)) s |= scAlt;
    return s;
}

namespace {

QKeySequence ToKeySequence(TShortCut s) {
    const int vk = s & 0xFF;
    int key = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        key = vk;
    else if (vk >= VK_F1 && vk <= VK_F12)
        key = Qt::Key_F1 + (vk - VK_F1);
    else {
        switch (vk) {
        case VK_RETURN:
            key = Qt::Key_Return;
            break;
        case VK_ESCAPE:
            key = Qt::Key_Escape;
            break;
        case VK_DELETE:
            key = Qt::Key_Delete;
            break;
        case VK_INSERT:
            key = Qt::Key_Insert;
            break;
        case VK_PRIOR:
            key = Qt::Key_PageUp;
            break;
        case VK_NEXT:
            key = Qt::Key_PageDown;
            break;
        case VK_HOME:
            key = Qt::Key_Home;
            break;
        case VK_END:
            key = Qt::Key_End;
            break;
        default:
            return {};
        }
    }
    int mods = 0;
    if (s & scShift) mods |= Qt::SHIFT;
    if (s & scCtrl) mods |= Qt::CTRL;
    if (s & scAlt) mods |= Qt::ALT;
    return QKeySequence(key | mods);
}

} // namespace

// ---- TMenuItem
// -----------------------------------------------------------------------------------

void TMenuItem::RegisterProperties(TClassBuilder<TMenuItem>& b) {
    b.Add("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
    b.Add("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(0);
    b.Add("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).Default(1);
    b.Add("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex).Default(0);
    b.Add("Hint", &TMenuItem::Hint, &TMenuItem::SetHint);
    b.Add("ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex).Default(-1);
    b.Add("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem).Default(0);
    b.Add("ShortCut", TypeInfoShortCut(), &TMenuItem::ShortCut, &TMenuItem::SetShortCut).Default(0);
    b.Add("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).Default(1);
    b.AddMethod("OnClick", "TNotifyEvent");
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
    Application();
    action_ = new QAction();
    QObject::connect(action_, &QAction::triggered, [this] { SafeCall([this] { Click(); }); });
}

TMenuItem::~TMenuItem() {
    while (!items_.empty())
        delete items_.back();
    if (parent_) parent_->Remove(this);
    delete subMenu_;
    delete action_;
}

void TMenuItem::SetCaption(const std::string& caption) {
    caption_ = caption;
    action_->setSeparator(IsLine());
    action_->setText(QString::fromStdString(caption));
    Changed();
}

void TMenuItem::SetChecked(bool value) {
    checked_ = value;
    action_->setCheckable(value || radioItem_);
    action_->setChecked(value);
    // Radio items of one group exclude each other.
    if (value && radioItem_ && parent_)
        for (TMenuItem* sib : parent_->items_)
            if (sib != this && sib->radioItem_ && sib->groupIndex_ == groupIndex_ &&
                sib->checked_) {
                sib->checked_ = false;
                sib->action_->setChecked(false);
            }
}

void TMenuItem::SetEnabled(bool value) {
    enabled_ = value;
    action_->setEnabled(value);
}

void TMenuItem::SetVisible(bool value) {
    visible_ = value;
    action_->setVisible(value);
}

void TMenuItem::SetRadioItem(bool value) {
    radioItem_ = value;
    action_->setCheckable(value || checked_);
}

void TMenuItem::SetShortCut(TShortCut value) {
    shortCut_ = value;
    action_->setShortcut(ToKeySequence(value));
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

int TMenuItem::MenuIndex() const {
    if (!parent_) return -1;
    const auto& list = parent_->items_;
    return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TMenuItem::Add(TMenuItem* item) {
    Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item) return;
    if (item->parent_) throw EInvalidOperation("Menu inserted twice");
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    item->SetMenu(menu_);
    Rebuild();
}

void TMenuItem::Remove(TMenuItem* item) {
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
    item->SetMenu(nullptr);
    Rebuild();
}

void TMenuItem::Clear() {
    while (!items_.empty())
        delete items_.back();
}

TMenuItem* TMenuItem::Find(const std::string& caption) const {
    for (TMenuItem* i : items_) {
        std::string plain;
        for (char ch : i->caption_)
            if (ch != '&') plain += ch;
        if (i->caption_ == caption || plain == caption) return i;
    }
    return nullptr;
}

void TMenuItem::Click() {
    if (radioItem_) SetChecked(true);
    if (OnClick) OnClick(this);
}

void TMenuItem::SetMenu(TMenu* menu) {
    menu_ = menu;
    for (TMenuItem* i : items_)
        i->SetMenu(menu);
}

void TMenuItem::Rebuild() {
    if (items_.empty()) {
        action_->setMenu(nullptr);
    } else {
        if (!subMenu_) subMenu_ = new QMenu();
        subMenu_->clear();
        for (TMenuItem* i : items_)
            subMenu_->addAction(i->action_);
        if (parent_ || !menu_) action_->setMenu(subMenu_);
    }
    Changed();
}

void TMenuItem::Changed() {
    if (menu_) menu_->MenuChanged();
}

// ---- menus
// ---------------------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {
    items_->SetMenu(this);
}

TMenu::~TMenu() = default;

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}

TMainMenu::~TMainMenu() {
    if (bar_) {
        bar_->clear();
        delete bar_;
    }
}

void TMainMenu::AttachTo(QWidget* formWidget) {
    if (bar_) {
        bar_->clear();
        delete bar_;
        bar_ = nullptr;
    }
    if (!formWidget) return;
    bar_ = new QMenuBar(formWidget);
    bar_->setNativeMenuBar(false);
    MenuChanged();
    bar_->show();
}

int TMainMenu::BarHeight() const {
    return bar_ ? bar_->sizeHint().height() : 0;
}

void TMainMenu::MenuChanged() {
    if (!bar_) return;
    bar_->clear();
    for (int i = 0; i < Items()->Count(); ++i)
        bar_->addAction(Items()->Items(i)->Action());
}

void TPopupMenu::RegisterProperties(TClassBuilder<TPopupMenu>& b) {
    b.Add("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup).Default(1);
    b.AddMethod("OnPopup", "TNotifyEvent");
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup) OnPopup(this);
    if (QMenu* m = Items()->SubMenu()) m->popup(QPoint(x, y));
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == popupComponent_)
        popupComponent_ = nullptr;
    TMenu::Notification(component, operation);
}
