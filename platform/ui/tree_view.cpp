#include "platform/ui/tree_view.h"

#include <QTreeWidget>
#include <algorithm>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"

namespace {

QTreeWidget* TreeOf(const TTreeView* tree) {
    return tree ? static_cast<QTreeWidget*>(tree->Widget()) : nullptr;
}
constexpr int kNodeRole = Qt::UserRole + 1;

} // namespace

// ---- TTreeNode
// -----------------------------------------------------------------------------------

void TTreeNode::SetText(const std::string& value) {
    text_ = value;
    if (item_) item_->setText(0, QString::fromStdString(value));
}

TTreeNode* TTreeNode::Item(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return children_[static_cast<std::size_t>(index)];
}

int TTreeNode::Index() const {
    const auto& list = parent_ ? parent_->children_ : tree_->Items().top_;
    return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = parent_; p; p = p->parent_)
        ++level;
    return level;
}

TTreeNode* TTreeNode::GetNextSibling() const {
    const auto& list = parent_ ? parent_->children_ : tree_->Items().top_;
    const auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() || it + 1 == list.end() ? nullptr : *(it + 1);
}

TTreeNode* TTreeNode::GetNext() const {
    if (!children_.empty()) return children_.front();
    for (const TTreeNode* n = this; n; n = n->parent_)
        if (TTreeNode* s = n->GetNextSibling()) return s;
    return nullptr;
}

bool TTreeNode::Expanded() const {
    return item_ && item_->isExpanded();
}
void TTreeNode::SetExpanded(bool value) {
    if (item_) item_->setExpanded(value);
}

void TTreeNode::Expand(bool recurse) {
    SetExpanded(true);
    if (recurse)
        for (TTreeNode* c : children_)
            c->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
    SetExpanded(false);
    if (recurse)
        for (TTreeNode* c : children_)
            c->Collapse(true);
}

bool TTreeNode::Selected() const {
    return tree_ && tree_->Selected() == this;
}

void TTreeNode::SetSelected(bool value) {
    if (!tree_) return;
    if (value)
        tree_->SetSelected(this);
    else if (Selected())
        tree_->SetSelected(nullptr);
}

void TTreeNode::MakeVisible() {
    for (TTreeNode* p = parent_; p; p = p->parent_)
        p->SetExpanded(true);
    if (QTreeWidget* w = TreeOf(tree_)) w->scrollToItem(item_);
}

// ---- TTreeNodes
// ----------------------------------------------------------------------------------

TTreeNodes::~TTreeNodes() = default;

int TTreeNodes::Count() const {
    return static_cast<int>(all_.size());
}

TTreeNode* TTreeNodes::Item(int index) const {
    TTreeNode* n = GetFirstNode();
    for (int i = 0; n && i < index; ++i)
        n = n->GetNext();
    if (!n || index < 0)
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return n;
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) {
    return AddObject(sibling, text, nullptr);
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const std::string& text, void* data) {
    return AddChildObject(sibling ? sibling->parent_ : nullptr, text, data);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
    return AddChildObject(parent, text, nullptr);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
    auto node = std::unique_ptr<TTreeNode>(new TTreeNode());
    TTreeNode* n = node.get();
    n->tree_ = tree_;
    n->parent_ = parent;
    n->text_ = text;
    n->data_ = data;
    n->item_ = new QTreeWidgetItem(QStringList(QString::fromStdString(text)));
    n->item_->setData(0, kNodeRole, QVariant::fromValue(static_cast<void*>(n)));
    if (parent) {
        parent->children_.push_back(n);
        parent->item_->addChild(n->item_);
    } else {
        top_.push_back(n);
        TreeOf(tree_)->addTopLevelItem(n->item_);
    }
    all_.push_back(std::move(node));
    return n;
}

void TTreeNodes::Forget(TTreeNode* node) {
    for (TTreeNode* c : node->children_)
        Forget(c);
    std::erase_if(all_, [node](const std::unique_ptr<TTreeNode>& p) { return p.get() == node; });
}

void TTreeNodes::Delete(TTreeNode* node) {
    if (!node) return;
    const bool wasSelected = node->Selected();
    auto& list = node->parent_ ? node->parent_->children_ : top_;
    std::erase(list, node);
    QTreeWidgetItem* item = node->item_;
    for (TTreeNode* c : node->children_)
        c->item_ = nullptr;
    Forget(node);
    delete item; // with its child items
    if (wasSelected) tree_->SelectionMoved();
}

void TTreeNodes::Clear() {
    tree_->clearing_ = true;
    if (QTreeWidget* w = TreeOf(tree_)) w->clear();
    top_.clear();
    all_.clear();
    tree_->clearing_ = false;
}

void TTreeNodes::BeginUpdate() {
    if (updateCount_++ == 0)
        if (QTreeWidget* w = TreeOf(tree_)) w->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0)
        if (QTreeWidget* w = TreeOf(tree_)) w->setUpdatesEnabled(true);
}

TTreeNode* TTreeNodes::FromItem(const QTreeWidgetItem* item) const {
    return item ? static_cast<TTreeNode*>(item->data(0, kNodeRole).value<void*>()) : nullptr;
}

// ---- TTreeView
// -----------------------------------------------------------------------------------

void TTreeView::RegisterProperties(TClassBuilder<TTreeView>& b) {
    b.Add("HideSelection", &TTreeView::HideSelection, &TTreeView::SetHideSelection).Default(1);
    b.Add("ReadOnly", &TTreeView::ReadOnly, &TTreeView::SetReadOnly).Default(0);
    b.Add("ShowLines", &TTreeView::ShowLines, &TTreeView::SetShowLines).Default(1);
    b.Add("ShowRoot", &TTreeView::ShowRoot, &TTreeView::SetShowRoot).Default(1);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
    b.AddMethod("OnChange", "TTVChangedEvent");
}

TTreeView::TTreeView(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TTreeNodes>(this)) {
    auto* w = new QTreeWidget();
    w->setHeaderHidden(true);
    w->setColumnCount(1);
    SetBounds(0, 0, 121, 97);
    AttachWidget(w);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->viewport());
    SetTabStop(true);
    QObject::connect(w, &QTreeWidget::currentItemChanged, w, [this] {
        if (!clearing_) SafeCall([this] { SelectionMoved(); });
    });
}

TTreeView::~TTreeView() {
    clearing_ = true;
    items_->Clear();
}

TTreeNode* TTreeView::Selected() const {
    const QTreeWidget* w = TreeOf(this);
    return w ? items_->FromItem(w->currentItem()) : nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) {
    if (QTreeWidget* w = TreeOf(this)) w->setCurrentItem(node ? node->item_ : nullptr);
}

TTreeNode* TTreeView::TopItem() const {
    const QTreeWidget* w = TreeOf(this);
    return w ? items_->FromItem(w->itemAt(0, 0)) : nullptr;
}

void TTreeView::SetTopItem(TTreeNode* node) {
    if (QTreeWidget* w = TreeOf(this); w && node)
        w->scrollToItem(node->item_, QAbstractItemView::PositionAtTop);
}

void TTreeView::FullExpand() {
    if (QTreeWidget* w = TreeOf(this)) w->expandAll();
}

void TTreeView::FullCollapse() {
    if (QTreeWidget* w = TreeOf(this)) w->collapseAll();
}

void TTreeView::SetShowLines(bool value) {
    showLines_ = value;
}

void TTreeView::SetShowRoot(bool value) {
    showRoot_ = value;
    if (QTreeWidget* w = TreeOf(this)) w->setRootIsDecorated(value);
}

void TTreeView::SelectionMoved() {
    if (OnChange) OnChange(this, Selected());
}
