#pragma once
// TCollection: an owned, ordered list of items of one item class, each item a persistent with
// its own published properties (stored in the binary property stream as a collection value).

#include <string>
#include <vector>

#include "platform/core/persistent.h"

class TCollectionItem : public TPersistent {
    LUMETRA_CLASS(TCollectionItem, TPersistent)
public:
    // Joins collection (at its end) when one is given.
    explicit TCollectionItem(TCollection* collection);
    // Leaves its collection.
    ~TCollectionItem() override;

    TCollection* Collection() const { return collection_; }
    // Moves the item into another collection (or out of any, with null).
    void SetCollection(TCollection* collection);
    // Position in the collection; -1 when in none.
    int Index() const;
    virtual void SetIndex(int index);
    // Identity number unique within its collection (survives moves and deletions).
    int ID() const { return id_; }
    // The name shown by editors; the base returns the class name.
    virtual std::string DisplayName() const;

    TPersistent* GetOwner() const override;
    std::string GetNamePath() const override;

protected:
    // Tells the collection that this item (or, with allItems, every item) changed.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    int id_ = 0;
};

class TCollection : public TPersistent {
    LUMETRA_CLASS(TCollection, TPersistent)
public:
    // Items are created as itemClass, which must derive from TCollectionItem and have a
    // constructor taking the collection; owner names the collection in paths.
    explicit TCollection(const TClassInfo& itemClass, TPersistent* owner = nullptr);
    ~TCollection() override;

    const TClassInfo& ItemClass() const { return *itemClass_; }
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError "List index out of bounds (N)".
    TCollectionItem* Items(int index) const;
    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    TCollectionItem* FindItemID(int id) const;

    // Updates are batched between BeginUpdate and EndUpdate: Update runs once at the end.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // Replaces the items with copies of another collection's items (item by item Assign).
    void Assign(const TPersistent* source) override;
    TPersistent* GetOwner() const override { return owner_; }
    std::string GetNamePath() const override;
    // The name of the collection property in its owner, for GetNamePath. Unset: the owner's
    // published property that holds the collection, else "Items".
    void SetPropName(std::string name) { propName_ = std::move(name); }

protected:
    // Called after an item (or, for null, the whole collection) changed. Empty in the base.
    virtual void Update(TCollectionItem* item);
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item);
    void RemoveItem(TCollectionItem* item);

    const TClassInfo* itemClass_;
    TPersistent* owner_;
    std::vector<TCollectionItem*> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
    std::string propName_;
};
