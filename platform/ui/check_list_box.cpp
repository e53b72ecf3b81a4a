#include "platform/ui/check_list_box.h"

#include <QListWidget>
#include <string>

#include "platform/core/properties.h"
#include "platform/ui/application.h"

void TCheckListBox::RegisterProperties(TClassBuilder<TCheckListBox>& b) {
    b.AddMethod("OnClickCheck", "TNotifyEvent");
}

TCheckListBox::TCheckListBox(TComponent* owner) : TCustomListBox(owner) {
    // The list rebuilds its rows on every change of the items; the boxes go back on afterwards.
    auto* items = static_cast<TStringList*>(ItemsProp());
    itemsSync_ = items->OnChange;
    items->OnChange = [this](TObject* sender) {
        if (itemsSync_) itemsSync_(sender);
        ItemsChanged();
    };
    auto* w = static_cast<QListWidget*>(Widget());
    QObject::connect(w, &QListWidget::itemChanged, w, [this, w](QListWidgetItem* item) {
        if (applying_) return;
        const int row = w->row(item);
        const bool value = item->checkState() == Qt::Checked;
        SafeCall([this, row, value] { UserToggled(row, value); });
    });
}

TCheckListBox::~TCheckListBox() {
    static_cast<TStringList*>(ItemsProp())->OnChange = itemsSync_;
}

void TCheckListBox::ItemsChanged() {
    checked_.resize(static_cast<std::size_t>(Items().Count()), false);
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    applying_ = true;
    for (int i = 0; i < w->count(); ++i) {
        QListWidgetItem* item = w->item(i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool on = i < static_cast<int>(checked_.size()) && checked_[i];
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    applying_ = false;
}

void TCheckListBox::UserToggled(int index, bool value) {
    if (index < 0 || index >= static_cast<int>(checked_.size())) return;
    if (checked_[index] == value) return;
    checked_[index] = value;
    ClickCheck();
}

void TCheckListBox::ClickCheck() {
    if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::CheckIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(checked_.size()))
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

bool TCheckListBox::Checked(int index) const {
    CheckIndex(index);
    return checked_[index];
}

void TCheckListBox::SetChecked(int index, bool value) {
    CheckIndex(index);
    checked_[index] = value;
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w || index >= w->count()) return;
    applying_ = true;
    w->item(index)->setCheckState(value ? Qt::Checked : Qt::Unchecked);
    applying_ = false;
}
