#include "platform/ui/db_grid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

namespace {

const TTypeInfo& GridOptionsType() {
    static const TTypeInfo& element = DefineEnumType(
        "TDBGridOption",
        {"dgEditing", "dgAlwaysShowEditor", "dgTitles", "dgIndicator", "dgColumnResize",
         "dgColLines", "dgRowLines", "dgTabs", "dgRowSelect", "dgAlwaysShowSelection",
         "dgConfirmDelete", "dgCancelOnExit", "dgMultiSelect"});
    static const TTypeInfo& t = DefineSetType("TDBGridOptions", element);
    return t;
}

Qt::Alignment QtAlign(TAlignment a) {
    return (a == taRightJustify ? Qt::AlignRight
            : a == taCenter     ? Qt::AlignHCenter
                                : Qt::AlignLeft) |
           Qt::AlignVCenter;
}

} // namespace

struct TDBGrid::Model final : QAbstractTableModel {
    explicit Model(TDBGrid* g) : grid(g) {}
    TDBGrid* grid;
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void RowMarkChanged() { emit headerDataChanged(Qt::Vertical, 0, std::max(0, rowCount() - 1)); }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !grid ? 0 : grid->RowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !grid ? 0 : grid->ColumnCount();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!grid || !index.isValid()) return {};
        if (role == Qt::DisplayRole)
            return QString::fromStdString(grid->CellText(index.row(), index.column()));
        if (role == Qt::TextAlignmentRole)
            return static_cast<int>(QtAlign(grid->ColumnAlignment(index.column())));
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (!grid) return {};
        if (orientation == Qt::Horizontal) {
            if (role == Qt::DisplayRole) return QString::fromStdString(grid->ColumnTitle(section));
            if (role == Qt::TextAlignmentRole) {
                TColumn* c = grid->ShownColumn(section);
                return static_cast<int>(QtAlign(c ? c->Title()->Alignment() : taLeftJustify));
            }
            if (role == Qt::FontRole) return ToQFont(grid->TitleFont()->Data());
            return {};
        }
        // The row indicator marks the current row.
        if (role == Qt::DisplayRole)
            return section == grid->CurrentRow() ? QStringLiteral("\u25B8") : QString();
        return {};
    }
};

// ---- columns
// -------------------------------------------------------------------------------------

void TColumnTitle::RegisterProperties(TClassBuilder<TColumnTitle>& b) {
    b.Add("Alignment", TypeInfoAlignment(), &TColumnTitle::Alignment, &TColumnTitle::SetAlignment)
        .Default(taLeftJustify);
    b.Add("Caption", &TColumnTitle::Caption, &TColumnTitle::SetCaption);
}

void TColumnTitle::SetCaption(const std::string& value) {
    caption_ = value;
    if (OnChange) OnChange();
}

void TColumnTitle::SetAlignment(TAlignment value) {
    alignment_ = value;
    if (OnChange) OnChange();
}

void TColumnTitle::Assign(const TPersistent* source) {
    if (const auto* t = dynamic_cast<const TColumnTitle*>(source)) {
        caption_ = t->caption_;
        alignment_ = t->alignment_;
        if (OnChange) OnChange();
        return;
    }
    TPersistent::Assign(source);
}

void TColumn::RegisterProperties(TClassBuilder<TColumn>& b) {
    b.Add("Alignment", TypeInfoAlignment(), &TColumn::Alignment, &TColumn::SetAlignment)
        .Default(taLeftJustify);
    b.Add("FieldName", &TColumn::FieldName, &TColumn::SetFieldName);
    b.Add("ReadOnly", &TColumn::ReadOnly, &TColumn::SetReadOnly).Default(0);
    b.Add("Title", &TColumn::Title, &TColumn::SetTitle);
    b.Add("Visible", &TColumn::Visible, &TColumn::SetVisible).Default(1);
    b.Add("Width", &TColumn::Width, &TColumn::SetWidth).Default(-1);
}

TColumn::TColumn(TCollection* collection)
    : TCollectionItem(collection), title_(std::make_unique<TColumnTitle>()) {
    title_->OnChange = [this] { Changed(false); };
}

void TColumn::SetFieldName(const std::string& value) {
    fieldName_ = value;
    Changed(false);
}
void TColumn::SetTitle(TColumnTitle* value) {
    if (value) title_->Assign(value);
}
void TColumn::SetWidth(int value) {
    width_ = value;
    Changed(false);
}
void TColumn::SetAlignment(TAlignment value) {
    alignment_ = value;
    Changed(false);
}
void TColumn::SetVisible(bool value) {
    visible_ = value;
    Changed(false);
}

void TColumn::Assign(const TPersistent* source) {
    if (const auto* c = dynamic_cast<const TColumn*>(source)) {
        fieldName_ = c->fieldName_;
        title_->Assign(c->title_.get());
        width_ = c->width_;
        alignment_ = c->alignment_;
        visible_ = c->visible_;
        readOnly_ = c->readOnly_;
        Changed(false);
        return;
    }
    TCollectionItem::Assign(source);
}

std::string TColumn::DisplayName() const {
    return fieldName_.empty() ? TCollectionItem::DisplayName() : fieldName_;
}

TDBGridColumns::TDBGridColumns(TDBGrid* grid)
    : TCollection(TColumn::StaticClass(), grid), grid_(grid) {
    SetPropName("Columns");
}

void TDBGridColumns::Update(TCollectionItem*) {
    if (grid_) grid_->ColumnsChanged();
}

// ---- TDBGrid
// -------------------------------------------------------------------------------------

void TDBGrid::RegisterProperties(TClassBuilder<TDBGrid>& b) {
    b.Add("Columns", &TDBGrid::Columns, &TDBGrid::SetColumns);
    b.Add("DataSource", &TDBGrid::DataSource, &TDBGrid::SetDataSource);
    b.Add("Options", GridOptionsType(), &TDBGrid::Options, &TDBGrid::SetOptions)
        .Default(kDefaultGridOptions);
    b.Add("TitleFont", &TDBGrid::TitleFont, &TDBGrid::SetTitleFont);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
    b.AddMethod("OnCellClick", "TDBGridClickEvent");
    b.AddMethod("OnTitleClick", "TDBGridClickEvent");
}

TDBGrid::TDBGrid(TComponent* owner)
    : TWinControl(owner), columns_(std::make_unique<TDBGridColumns>(this)),
      titleFont_(std::make_unique<TFont>()) {
    auto* view = new QTableView();
    model_ = new Model(this);
    view->setModel(model_);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->horizontalHeader()->setHighlightSections(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SetBounds(0, 0, 320, 120);
    AttachWidget(view);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(view->viewport());
    SetTabStop(true);
    titleFont_->Assign(*Font());
    titleFont_->OnChange = [this](TFont&) { ApplyColumns(); };
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [this](const QModelIndex& current) {
                         if (!syncing_)
                             SafeCall([this, row = current.row()] { RowActivated(row); });
                     });
    QObject::connect(view, &QTableView::clicked, view, [this](const QModelIndex& index) {
        SafeCall([this, c = index.column()] { CellClicked(c); });
    });
    QObject::connect(view->horizontalHeader(), &QHeaderView::sectionClicked, view,
                     [this](int section) {
                         SafeCall([this, section] {
                             if (OnTitleClick) OnTitleClick(this, ShownColumn(section));
                         });
                     });
    ApplyOptions();
}

TDBGrid::~TDBGrid() {
    if (link_) link_->SetClient(nullptr);
    titleFont_->OnChange = nullptr;
    model_->grid = nullptr;
    if (QWidget* w = Widget()) static_cast<QTableView*>(w)->setModel(nullptr);
    delete model_;
}

void TDBGrid::SetDataSource(TComponent* value) {
    if (value == dataSource_) return;
    if (dataSource_) dataSource_->RemoveFreeNotification(this);
    dataSource_ = value;
    if (dataSource_) dataSource_->FreeNotification(this);
    SetDataLink(CreateDataLink(value));
}

void TDBGrid::SetDataLink(std::unique_ptr<TDataSourceLink> link) {
    if (link_) link_->SetClient(nullptr);
    link_ = std::move(link);
    if (link_) link_->SetClient(this);
    DataSetChanged();
}

void TDBGrid::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == dataSource_) {
        dataSource_ = nullptr;
        SetDataLink(nullptr);
    }
    TWinControl::Notification(component, operation);
}

void TDBGrid::SetColumns(TDBGridColumns* value) {
    if (value) columns_->Assign(value);
}

void TDBGrid::SetOptions(TDBGridOptions value) {
    options_ = value;
    ApplyOptions();
}

void TDBGrid::SetTitleFont(TFont* value) {
    if (value) titleFont_->Assign(*value);
}

void TDBGrid::ApplyOptions() {
    auto* view = static_cast<QTableView*>(Widget());
    if (!view) return;
    auto has = [this](TDBGridOption o) { return (options_ & (1u << o)) != 0; };
    view->horizontalHeader()->setVisible(has(dgTitles));
    view->verticalHeader()->setVisible(has(dgIndicator));
    view->setShowGrid(has(dgColLines) || has(dgRowLines));
    view->setSelectionBehavior(has(dgRowSelect) ? QAbstractItemView::SelectRows
                                                : QAbstractItemView::SelectItems);
    view->setSelectionMode(has(dgMultiSelect) ? QAbstractItemView::ExtendedSelection
                                              : QAbstractItemView::SingleSelection);
    view->setTabKeyNavigation(has(dgTabs));
    view->horizontalHeader()->setSectionResizeMode(has(dgColumnResize) ? QHeaderView::Interactive
                                                                       : QHeaderView::Fixed);
    ApplyColumns();
}

TColumn* TDBGrid::ShownColumn(int column) const {
    if (columns_->Count() == 0) return nullptr;
    int shown = -1;
    for (int i = 0; i < columns_->Count(); ++i) {
        TColumn* c = columns_->Items(i);
        if (c && c->Visible() && ++shown == column) return c;
    }
    return nullptr;
}

int TDBGrid::ColumnCount() const {
    if (columns_->Count() == 0) return link_ && link_->Active() ? link_->FieldCount() : 0;
    int n = 0;
    for (int i = 0; i < columns_->Count(); ++i)
        if (TColumn* c = columns_->Items(i); c && c->Visible()) ++n;
    return n;
}

int TDBGrid::ColumnField(int column) const {
    if (!link_ || !link_->Active()) return -1;
    if (columns_->Count() == 0) return column >= 0 && column < link_->FieldCount() ? column : -1;
    TColumn* c = ShownColumn(column);
    return c ? link_->FieldIndex(c->FieldName()) : -1;
}

std::string TDBGrid::ColumnTitle(int column) const {
    if (TColumn* c = ShownColumn(column)) {
        if (!c->Title()->Caption().empty()) return c->Title()->Caption();
        const int field = ColumnField(column);
        return field >= 0 ? link_->DisplayLabel(field) : c->FieldName();
    }
    const int field = ColumnField(column);
    return field >= 0 ? link_->DisplayLabel(field) : std::string();
}

int TDBGrid::ColumnWidth(int column) const {
    if (TColumn* c = ShownColumn(column); c && c->Width() >= 0) return c->Width();
    const int field = ColumnField(column);
    const int chars = field >= 0 ? link_->DisplayWidth(field) : 10;
    const QFontMetrics fm(ToQFont(Font()->Data()));
    return chars * fm.averageCharWidth() + 4;
}

TAlignment TDBGrid::ColumnAlignment(int column) const {
    if (TColumn* c = ShownColumn(column)) return c->Alignment();
    const int field = ColumnField(column);
    return field >= 0 ? link_->FieldAlignment(field) : taLeftJustify;
}

int TDBGrid::RowCount() const {
    return link_ && link_->Active() ? link_->RowCount() : 0;
}

std::string TDBGrid::CellText(int row, int column) const {
    const int field = ColumnField(column);
    if (field < 0 || row < 0 || row >= RowCount()) return {};
    return link_->CellText(row, field);
}

int TDBGrid::CurrentRow() const {
    return link_ && link_->Active() ? link_->CurrentRow() : -1;
}

void TDBGrid::SetCurrentRow(int row) {
    if (link_ && link_->Active() && row >= 0 && row < RowCount()) link_->SetCurrentRow(row);
}

void TDBGrid::RowActivated(int row) {
    if (row >= 0 && link_ && link_->Active() && row != link_->CurrentRow())
        link_->SetCurrentRow(row);
}

void TDBGrid::CellClicked(int column) {
    if (OnCellClick) OnCellClick(this, ShownColumn(column));
}

void TDBGrid::ColumnsChanged() {
    model_->Reset();
    ApplyColumns();
    CurrentRowChanged(CurrentRow());
}

void TDBGrid::ApplyColumns() {
    auto* view = static_cast<QTableView*>(Widget());
    if (!view) return;
    view->horizontalHeader()->setFont(ToQFont(titleFont_->Data()));
    for (int c = 0; c < ColumnCount(); ++c)
        view->setColumnWidth(c, ColumnWidth(c));
    const QFontMetrics fm(view->font());
    view->verticalHeader()->setDefaultSectionSize(fm.height() + 4);
    view->verticalHeader()->setFixedWidth(12);
}

void TDBGrid::DataSetChanged() {
    syncing_ = true;
    model_->Reset();
    ApplyColumns();
    syncing_ = false;
    CurrentRowChanged(CurrentRow());
}

void TDBGrid::CurrentRowChanged(int row) {
    auto* view = static_cast<QTableView*>(Widget());
    if (!view) return;
    syncing_ = true;
    if (row >= 0 && row < RowCount()) {
        const QModelIndex index = model_->index(row, std::max(0, view->currentIndex().column()));
        view->selectionModel()->setCurrentIndex(index, (options_ & (1u << dgRowSelect))
                                                           ? QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows
                                                           : QItemSelectionModel::ClearAndSelect);
        view->scrollTo(index);
    } else {
        view->selectionModel()->clearCurrentIndex();
        view->clearSelection();
    }
    model_->RowMarkChanged();
    syncing_ = false;
}
