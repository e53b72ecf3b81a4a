// Combo boxes and list boxes.

#include <QAbstractItemView>
#include <QComboBox>
#include <optional>
#include <QLineEdit>
#include <QListWidget>
#include <QEnterEvent>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "platform/core/properties.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/widget_canvas_p.h"

namespace {

const TTypeInfo& ComboBoxStyleType() {
    static const TTypeInfo& t =
        DefineEnumType("TComboBoxStyle", {"csDropDown", "csSimple", "csDropDownList",
                                          "csOwnerDrawFixed", "csOwnerDrawVariable"});
    return t;
}

// Runs fn with a canvas bound to the painter, leaving the painter as it was found even when
// a handler fails.
template <class Fn> void OnWidgetCanvas(QPainter* p, const TRect& clip, Fn fn) {
    const QRect window = p->window();
    TWidgetCanvas canvas;
    p->save();
    struct Reset {
        TWidgetCanvas& canvas;
        QPainter* p;
        ~Reset() {
            canvas.End();
            p->restore();
        }
    } reset{canvas, p};
    canvas.Begin(p, window.width(), window.height());
    canvas.IntersectClipRect(clip);
    fn(canvas);
}

class ComboWidget final : public QComboBox {
public:
    explicit ComboWidget(TCustomComboBox* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }
    void showPopup() override {
        if (owner_ && owner_->OnDropDown) SafeCall([this] { owner_->OnDropDown(owner_); });
        QComboBox::showPopup();
        update();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        update();
        if (owner_ && owner_->OnCloseUp) SafeCall([this] { owner_->OnCloseUp(owner_); });
    }
    // The toolkit places the edit again on several occasions; a painted face keeps its own.
    void PlaceEdit() {
        if (!owner_ || !lineEdit()) return;
        std::optional<TRect> r;
        SafeCall([&] { r = owner_->FaceEditRect(); });
        if (r) lineEdit()->setGeometry(r->Left, r->Top, r->Width(), r->Height());
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QComboBox::resizeEvent(e);
        PlaceEdit();
    }
    void showEvent(QShowEvent* e) override {
        QComboBox::showEvent(e);
        PlaceEdit();
    }
    void changeEvent(QEvent* e) override {
        QComboBox::changeEvent(e);
        PlaceEdit();
    }
    void enterEvent(QEnterEvent* e) override {
        QComboBox::enterEvent(e);
        if (owner_) owner_->SetMouseOverFace(true);
    }
    void leaveEvent(QEvent* e) override {
        QComboBox::leaveEvent(e);
        if (owner_) owner_->SetMouseOverFace(false);
    }
    void focusInEvent(QFocusEvent* e) override {
        QComboBox::focusInEvent(e);
        update();
    }
    void focusOutEvent(QFocusEvent* e) override {
        QComboBox::focusOutEvent(e);
        update();
    }
    // A control with a face of its own paints all of it; an owner-drawn box paints its frame
    // and button, then has the chosen item drawn.
    void paintEvent(QPaintEvent* e) override {
        if (owner_) {
            bool painted = false;
            {
                QPainter painter(this);
                TCustomComboBox* owner = owner_;
                const TRect all{0, 0, width(), height()};
                SafeCall([&] {
                    OnWidgetCanvas(&painter, all, [&](TCanvas& c) { painted = owner->PaintFace(c); });
                });
            }
            if (painted) return;
        }
        if (!owner_ || !owner_->OwnerDrawn()) {
            QComboBox::paintEvent(e);
            return;
        }
        QStylePainter painter(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.currentText.clear();
        opt.currentIcon = QIcon();
        painter.drawComplexControl(QStyle::CC_ComboBox, opt);
        const QRect r =
            style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
        TOwnerDrawState state = odComboBoxEdit;
        if (hasFocus()) state |= odSelected | odFocused;
        if (!isEnabled()) state |= odDisabled;
        TCustomComboBox* owner = owner_;
        const int row = currentIndex();
        const TRect rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
        SafeCall([&] {
            OnWidgetCanvas(&painter, rect,
                           [&](TCanvas& c) { owner->PaintItem(c, row, rect, state); });
        });
    }

private:
    TCustomComboBox* owner_;
};

// Hands the items of an owner-drawn list to its control.
class OwnerDrawDelegate final : public QStyledItemDelegate {
public:
    using PaintFn = std::function<void(TCanvas&, int row, const TRect&, TOwnerDrawState)>;
    OwnerDrawDelegate(QObject* parent, PaintFn paint, std::function<int(int row)> measure)
        : QStyledItemDelegate(parent), paint_(std::move(paint)), measure_(std::move(measure)) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        TOwnerDrawState state = 0;
        if (option.state & QStyle::State_Selected) state |= odSelected;
        if (option.state & QStyle::State_HasFocus) state |= odFocused;
        if (!(option.state & QStyle::State_Enabled)) state |= odDisabled;
        const QRect q = option.rect;
        const TRect r{q.left(), q.top(), q.right() + 1, q.bottom() + 1};
        SafeCall(
            [&] { OnWidgetCanvas(p, r, [&](TCanvas& c) { paint_(c, index.row(), r, state); }); });
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        int h = 0;
        SafeCall([&] { h = measure_(index.row()); });
        return {std::max(option.rect.width(), 1), std::max(h, 1)};
    }

private:
    PaintFn paint_;
    std::function<int(int row)> measure_;
};

// The shared part of both controls' PaintItem: the canvas is the control's for the call.
template <class Control, class Draw>
void PaintOwnerItem(Control& control, TCanvas*& slot, TCanvas& canvas, TOwnerDrawState state,
                    Draw draw) {
    canvas.SetFont(*control.Font());
    // As the class library prepares it: the highlight for a chosen item, else the colour.
    if (state & odSelected) {
        canvas.Brush().SetColor(clHighlight);
        canvas.Font().SetColor(clHighlightText);
    } else {
        canvas.Brush().SetColor(control.Color());
    }
    TCanvas* const previous = slot;
    slot = &canvas;
    struct Reset {
        TCanvas*& c;
        TCanvas* previous;
        ~Reset() { c = previous; }
    } reset{slot, previous};
    draw();
}

void DefaultDrawItem(TCanvas& c, const TStrings& items, int index, const TRect& rect) {
    c.FillRect(rect);
    if (index >= 0 && index < items.Count()) {
        c.SetBackgroundMode(bmTransparent);
        c.TextOut(rect.Left + 2, rect.Top, items.Strings(index));
    }
}

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
    b.AddMethod("OnDrawItem", "TDrawItemEvent");
    b.AddMethod("OnMeasureItem", "TMeasureItemEvent");
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

bool TCustomComboBox::PaintFace(TCanvas&) {
    return false;
}

std::optional<TRect> TCustomComboBox::FaceEditRect() const {
    return std::nullopt;
}

void TCustomComboBox::SetMouseOverFace(bool value) {
    if (mouseOverFace_ == value) return;
    mouseOverFace_ = value;
    if (Widget()) Widget()->update();
}

void TCustomComboBox::FaceChanged() {
    if (auto* w = dynamic_cast<ComboWidget*>(Widget())) {
        w->PlaceEdit();
        w->update();
    }
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
    w->setEditable(value == csDropDown || value == csSimple);
    if (OwnerDrawn()) {
        w->view()->setItemDelegate(new OwnerDrawDelegate(
            w->view(),
            [this](TCanvas& c, int row, const TRect& r, TOwnerDrawState state) {
                PaintItem(c, row, r, state);
            },
            [this](int row) { return MeasureItem(row); }));
    } else {
        w->view()->setItemDelegate(new QStyledItemDelegate(w->view()));
    }
    w->update();
    if (w->lineEdit()) {
        static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->lineEdit());
        // A lambda cannot be a unique connection; an edit kept across styles is reconnected.
        QObject::disconnect(w->lineEdit(), &QLineEdit::textEdited, w, nullptr);
        QObject::connect(w->lineEdit(), &QLineEdit::textEdited, w,
                         [this] { SafeCall([this] { Change(); }); });
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

void TCustomComboBox::SetItemHeight(int value) {
    itemHeight_ = std::max(1, value);
    if (auto* w = static_cast<QComboBox*>(Widget()))
        if (w->view()) w->view()->doItemsLayout();
}

TCanvas* TCustomComboBox::Canvas() const {
    if (drawCanvas_) return drawCanvas_;
    if (!measureCanvas_) measureCanvas_ = MakeMeasuringCanvas(96);
    measureCanvas_->SetFont(*Font());
    return measureCanvas_.get();
}

void TCustomComboBox::PaintItem(TCanvas& canvas, int row, const TRect& rect,
                                TOwnerDrawState state) {
    PaintOwnerItem(*this, drawCanvas_, canvas, state, [&] {
        if (row < 0)
            canvas.FillRect(rect);
        else
            DrawItem(row, rect, state);
    });
}

int TCustomComboBox::MeasureItem(int row) {
    int h = itemHeight_;
    if (style_ == csOwnerDrawVariable && OnMeasureItem) OnMeasureItem(this, row, h);
    return h;
}

void TCustomComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
    if (OnDrawItem)
        OnDrawItem(this, index, rect, state);
    else
        DefaultDrawItem(*Canvas(), items_, index, rect);
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
    b.AddMethod("OnDrawItem", "TDrawItemEvent");
    b.AddMethod("OnMeasureItem", "TMeasureItemEvent");
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
    if (auto* w = static_cast<QListWidget*>(Widget())) w->doItemsLayout();
}

void TCustomListBox::SetStyle(TListBoxStyle value) {
    style_ = value;
    auto* w = static_cast<QListWidget*>(Widget());
    if (!w) return;
    if (value == lbStandard) {
        w->setItemDelegate(new QStyledItemDelegate(w));
    } else {
        w->setItemDelegate(new OwnerDrawDelegate(
            w,
            [this](TCanvas& c, int row, const TRect& r, TOwnerDrawState state) {
                PaintItem(c, row, r, state);
            },
            [this](int row) { return MeasureItem(row); }));
    }
    w->setUniformItemSizes(value == lbOwnerDrawFixed);
    w->doItemsLayout();
}

TCanvas* TCustomListBox::Canvas() const {
    if (drawCanvas_) return drawCanvas_;
    if (!measureCanvas_) measureCanvas_ = MakeMeasuringCanvas(96);
    measureCanvas_->SetFont(*Font());
    return measureCanvas_.get();
}

TRect TCustomListBox::ItemRect(int index) const {
    const auto* w = static_cast<const QListWidget*>(Widget());
    if (!w || index < 0 || index >= w->count()) return {};
    const QRect r = w->visualItemRect(w->item(index));
    return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

void TCustomListBox::PaintItem(TCanvas& canvas, int row, const TRect& rect, TOwnerDrawState state) {
    PaintOwnerItem(*this, drawCanvas_, canvas, state, [&] { DrawItem(row, rect, state); });
}

int TCustomListBox::MeasureItem(int row) {
    int h = itemHeight_;
    if (style_ == lbOwnerDrawVariable && OnMeasureItem) OnMeasureItem(this, row, h);
    return h;
}

void TCustomListBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
    if (OnDrawItem)
        OnDrawItem(this, index, rect, state);
    else
        DefaultDrawItem(*Canvas(), items_, index, rect);
}
