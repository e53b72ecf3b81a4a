// Combo boxes and list boxes.

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/std_controls.h"

namespace {

const TTypeInfo& ComboBoxStyleType() {
    static const TTypeInfo& t =
        DefineEnumType("TComboBoxStyle", {"csDropDown", "csSimple", "csDropDownList",
                                          "csOwnerDrawFixed", "csOwnerDrawVariable"});
    return t;
}

class ComboWidget final : public QComboBox {
public:
    explicit ComboWidget(TCustomComboBox* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }
    void showPopup() override {
        if (owner_ && owner_->OnDropDown) SafeCall([this] { owner_->OnDropDown(owner_); });
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (owner_ && owner_->OnCloseUp) SafeCall([this] { owner_->OnCloseUp(owner_); });
    }

private:
    TCustomComboBox* owner_;
};

} // namespace

// ---- TCustomComboBox
// -----------------------------------------------------------------------------------

void TCustomComboBox::RegisterProperties(TClassBuilder<TCustomComboBox>& b) {
    b.Add("DropDownCount", &TCustomComboBox::DropDownCount, &TCustomComboBox::SetDropDownCount)
        .Default(8);
    b.Add("ItemHeight", &TCustomComboBox::ItemHeight, &TCustomComboBox::SetItemHeight).Default(16);
    b.Add("ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex).Default(-1);
    b.Add("Items", &TCustomComboBox::ItemsProp, &TCustomComboBox::SetItems);
    b.Add("MaxLength", &TCustomComboBox::MaxLength, &TCustomComboBox::SetMaxLength).Default(0);
    b.Add("Sorted", &TCustomComboBox::Sorted, &TCustomComboBox::SetSorted).Default(0);
    b.Add("Style", ComboBoxStyleType(), &TCustomComboBox::Style, &TCustomComboBox::SetStyle)
        .Default(csDropDown);
    b.Add("Text", &TCustomComboBox::Text, &TCustomComboBox::SetText);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
    b.AddMethod("OnChange", "TNotifyEvent");
    b.AddMethod("OnCloseUp", "TNotifyEvent");
    b.AddMethod("OnDropDown", "TNotifyEvent");
    b.AddMethod("OnSelect", "TNotifyEvent");
}

TCustomComboBox::TCustomComboBox(TComponent* owner) : TWinControl(owner) {
    auto* w = new ComboWidget(this);
    w->setEditable(true);
    w->setInsertPolicy(QComboBox::NoInsert);
    SetBounds(0, 0, 145, 21);
    AttachWidget(w);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->lineEdit());
    SetTabStop(true);
    SetOwnClick(true);
    items_.OnChange = [this](TObject*) { SyncItems(); };
    QObject::connect(w, &QComboBox::activated, w, [this] { SafeCall([this] { Selected(); }); });
    QObject::connect(w->lineEdit(), &QLineEdit::textEdited, w,
                     [this] { SafeCall([this] { Change(); }); });
}

TCustomComboBox::~TCustomComboBox() {
    items_.OnChange = nullptr;
    if (auto* w = dynamic_cast<ComboWidget*>(Widget())) w->Detach();
}

void TCustomComboBox::SyncItems() {
    auto* w = static_cast<QComboBox*>(Widget());
    if (!w) return;
    syncing_ = true;
    const QString text = w->currentText();
    w->blockSignals(true);
    w->clear();
    for (int i = 0; i < items_.Count(); ++i)
        w->addItem(QString::fromStdString(items_.Strings(i)));
    w->setCurrentIndex(-1);
    if (style_ != csDropDownList) w->setEditText(text);
    w->blockSignals(false);
    syncing_ = false;
}

int TCustomComboBox::ItemIndex() const {
    const auto* w = static_cast<const QComboBox*>(Widget());
    return w ? w->currentIndex() : -1;
}

void TCustomComboBox::SetItemIndex(int index) {
    auto* w = static_cast<QComboBox*>(Widget());
    if (!w) return;
    if (index < -1 || index >= items_.Count()) index = -1;
    w->blockSignals(true);
    w->setCurrentIndex(index);
    if (index < 0 && w->isEditable()) w->setEditText(QString());
    w->blockSignals(false);
}

std::string TCustomComboBox::GetControlText() const {
    const auto* w = static_cast<const QComboBox*>(Widget());
    return w ? w->currentText().toStdString() : std::string();
}

void TCustomComboBox::SetControlText(const std::string& text) {
    auto* w = static_cast<QComboBox*>(Widget());
    if (!w) return;
    const int index = items_.IndexOf(text);
    w->blockSignals(true);
    if (w->isEditable()) {
        w->setCurrentIndex(index);
        w->setEditText(QString::fromStdString(text));
    } else {
        // A list-only box shows only its items.
        w->setCurrentIndex(index);
    }
    w->blockSignals(false);
}

void TCustomComboBox::SetStyle(TComboBoxStyle value) {
    style_ = value;
    auto* w = static_cast<QComboBox*>(Widget());
    if (!w) return;
    w->setEditable(value != csDropDownList);
    if (w->lineEdit()) {
        static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->lineEdit());
        QObject::connect(
            w->lineEdit(), &QLineEdit::textEdited, w, [this] { SafeCall([this] { Change(); }); },
            Qt::UniqueConnection);
    }
}

void TCustomComboBox::SetDropDownCount(int value) {
    dropDownCount_ = std::max(1, value);
    if (auto* w = static_cast<QComboBox*>(Widget())) w->setMaxVisibleItems(dropDownCount_);
}

void TCustomComboBox::SetMaxLength(int value) {
    maxLength_ = std::max(0, value);
    auto* w = static_cast<QComboBox*>(Widget());
    if (w && w->lineEdit()) w->lineEdit()->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
}

bool TCustomComboBox::DroppedDown() const {
    const auto* w = static_cast<const QComboBox*>(Widget());
    return w && w->view() && w->view()->isVisible();
}

void TCustomComboBox::SetDroppedDown(bool value) {
    auto* w = static_cast<QComboBox*>(Widget());
    if (!w || value == DroppedDown()) return;
    if (value)
        w->showPopup();
    else
        w->hidePopup();
}

void TCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TCustomComboBox::Selected() {
    Click();
    if (OnSelect)
        OnSelect(this);
    else
        Change();
}

// ---- TCustomListBox
// ------------------------------------------------------------------------------------

void TCustomListBox::RegisterProperties(TClassBuilder<TCustomListBox>& b) {
    b.Add("Columns", &TCustomListBox::Columns, &TCustomListBox::SetColumns).Default(0);
    b.Add("ItemHeight", &TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight).Default(13);
    b.Add("ItemIndex", &TCustomListBox::ItemIndex, &TCustomListBox::SetItemIndex).Default(-1);
    b.Add("Items", &TCustomListBox::ItemsProp, &TCustomListBox::SetItems);
    b.Add("MultiSelect", &TCustomListBox::MultiSelect, &TCustomListBox::SetMultiSelect).Default(0);
    b.Add("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted).Default(0);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
}

TCustomListBox::TCustomListBox(TComponent* owner) : TWinControl(owner) {
    auto* w = new QListWidget();
    SetBounds(0, 0, 121, 97);
    AttachWidget(w);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->viewport());
    SetTabStop(true);
    SetOwnClick(true);
    items_.OnChange = [this](TObject*) { SyncItems(); };
    // A selection made by the user is the list box's click.
    QObject::connect(w, &QListWidget::itemSelectionChanged, w, [this] {
        if (!syncing_) SafeCall([this] { Click(); });
    });
}

void TCustomListBox::SyncItems() {
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    syncing_ = true;
    w->clear();
    for (int i = 0; i < items_.Count(); ++i)
        w->addItem(QString::fromStdString(items_.Strings(i)));
    syncing_ = false;
}

int TCustomListBox::ItemIndex() const {
    const auto* w = static_cast<const QListWidget*>(Widget());
    if (!w) return -1;
    if (!multiSelect_) {
        const auto sel = w->selectedItems();
        return sel.isEmpty() ? -1 : w->row(sel.front());
    }
    return w->currentRow();
}

void TCustomListBox::SetItemIndex(int index) {
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    if (index < -1 || index >= items_.Count()) index = -1;
    syncing_ = true;
    if (index < 0) {
        w->clearSelection();
        w->setCurrentRow(-1);
    } else {
        w->setCurrentRow(index, multiSelect_ ? QItemSelectionModel::Current
                                             : QItemSelectionModel::ClearAndSelect);
    }
    syncing_ = false;
}

void TCustomListBox::SetMultiSelect(bool value) {
    multiSelect_ = value;
    if (auto* w = static_cast<QListWidget*>(Widget()))
        w->setSelectionMode(value ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection);
}

bool TCustomListBox::Selected(int index) const {
    if (index < 0 || index >= items_.Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    const auto* w = static_cast<const QListWidget*>(Widget());
    return w && w->item(index)->isSelected();
}

void TCustomListBox::SetSelected(int index, bool value) {
    if (index < 0 || index >= items_.Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    syncing_ = true;
    if (!multiSelect_ && value) w->clearSelection();
    w->item(index)->setSelected(value);
    syncing_ = false;
}

int TCustomListBox::SelCount() const {
    // The class library answers -1 for a single-selection list.
    if (!multiSelect_) return -1;
    const auto* w = static_cast<const QListWidget*>(Widget());
    return w ? static_cast<int>(w->selectedItems().size()) : 0;
}

void TCustomListBox::SetColumns(int value) {
    columns_ = std::max(0, value);
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    if (columns_ > 0) {
        w->setFlow(QListView::TopToBottom);
        w->setWrapping(true);
        w->setResizeMode(QListView::Adjust);
        w->setGridSize(QSize(std::max(1, Width() / columns_), itemHeight_));
    } else {
        w->setWrapping(false);
        w->setGridSize(QSize());
    }
}

void TCustomListBox::SetItemHeight(int value) {
    itemHeight_ = std::max(1, value);
    SetColumns(columns_);
}
