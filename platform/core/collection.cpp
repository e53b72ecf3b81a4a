// TCollection and TCollectionItem.
#include "platform/core/collection.h"

#include <algorithm>

#include "platform/core/properties.h"

// ---- TCollectionItem
// -----------------------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* collection) {
    SetCollection(collection);
}

TCollectionItem::~TCollectionItem() {
    if (collection_) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* collection) {
    if (collection_ == collection) return;
    if (collection_) collection_->RemoveItem(this);
    if (collection) collection->InsertItem(this);
}

int TCollectionItem::Index() const {
    if (!collection_) return -1;
    const auto& items = collection_->items_;
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int index) {
    const int current = Index();
    if (current < 0 || index < 0 || index == current) return;
    auto& items = collection_->items_;
    index = std::min(index, static_cast<int>(items.size()) - 1);
    items.erase(items.begin() + current);
    items.insert(items.begin() + index, this);
    Changed(true);
}

std::string TCollectionItem::DisplayName() const {
    return ClassName();
}

TPersistent* TCollectionItem::GetOwner() const {
    return collection_;
}

std::string TCollectionItem::GetNamePath() const {
    if (!collection_) return ClassName();
    return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

void TCollectionItem::Changed(bool allItems) {
    if (collection_ && collection_->updateCount_ == 0)
        collection_->Update(allItems ? nullptr : this);
}

// ---- TCollection
// ---------------------------------------------------------------------------------

TCollection::TCollection(const TClassInfo& itemClass, TPersistent* owner)
    : itemClass_(&itemClass), owner_(owner) {
    if (!itemClass.InheritsFrom(TCollectionItem::StaticClass()))
        throw EInvalidArgument("Collection item class " + itemClass.ClassName() +
                               " is not a TCollectionItem");
}

TCollection::~TCollection() {
    updateCount_ = 1; // no Update calls from a collection being torn down
    Clear();
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = itemClass_->CreateItem(this);
    if (item->collection_ != this) item->SetCollection(this);
    return item;
}

TCollectionItem* TCollection::Insert(int index) {
    TCollectionItem* item = Add();
    item->SetIndex(index);
    return item;
}

void TCollection::Delete(int index) {
    delete Items(index);
}

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty())
        delete items_.back();
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int id) const {
    for (TCollectionItem* item : items_)
        if (item->id_ == id) return item;
    return nullptr;
}

void TCollection::BeginUpdate() {
    ++updateCount_;
}

void TCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TCollection::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCollection*>(source);
    if (!other) return TPersistent::Assign(source);
    if (other == this) return;
    BeginUpdate();
    try {
        Clear();
        for (const TCollectionItem* item : other->items_)
            Add()->Assign(item);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TCollection::GetNamePath() const {
    if (!owner_) return ClassName();
    std::string prop = propName_;
    if (prop.empty()) {
        // The owner's published property that holds this collection.
        for (const TPropInfo* info : owner_->ClassType().Properties()) {
            if (info->Kind() != TTypeKind::tkClass || !info->Access().getObj) continue;
            if (info->Access().getObj(*owner_) == static_cast<const TObject*>(this)) {
                prop = info->Name();
                break;
            }
        }
    }
    if (prop.empty()) prop = "Items";
    const std::string ownerPath = owner_->GetNamePath();
    return ownerPath.empty() ? prop : ownerPath + "." + prop;
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed() {
    if (updateCount_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
    items_.push_back(item);
    item->collection_ = this;
    item->id_ = nextId_++;
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) items_.erase(it);
    item->collection_ = nullptr;
    Changed();
}
