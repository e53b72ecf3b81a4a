#include "platform/core/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/collection.h"
#include "platform/core/object_handle.h"
#include "platform/core/tests/property_fixtures.h"

namespace {

// Records its own destruction in a shared log.
class TLogged : public TComponent {
public:
    TLogged(TComponent* owner, std::string name, std::vector<std::string>& log)
        : TComponent(owner), log_(log) {
        SetName(name);
    }
    ~TLogged() override { log_.push_back(Name()); }

private:
    std::vector<std::string>& log_;
};

TEST(Component, OwnerFreesItsComponentsLastFirstAndLeavesItsOwner) {
    std::vector<std::string> log;
    auto* root = new TLogged(nullptr, "Root", log);
    auto* a = new TLogged(root, "A", log);
    new TLogged(a, "A1", log);
    new TLogged(root, "B", log);
    ASSERT_EQ(root->ComponentCount(), 2);
    EXPECT_EQ(a->Owner(), root);
    EXPECT_EQ(root->Components(1)->ComponentIndex(), 1);
    EXPECT_THROW(root->Components(2), EListError);

    delete a; // leaves root's list
    EXPECT_EQ(root->ComponentCount(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"A", "A1"}));
    log.clear();
    delete root;
    EXPECT_EQ(log, (std::vector<std::string>{"Root", "B"}));
}

TEST(Component, NamesAreIdentifiersUniqueAmongSiblings) {
    TComponent owner(nullptr);
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName("Memo1");
    struct Case {
        const char* name;
        const char* error; // null: accepted
    };
    const Case cases[] = {
        {"1Memo", "Component name \"1Memo\" is not valid"},
        {"Memo 2", "Component name \"Memo 2\" is not valid"},
        {"备注", "Component name \"备注\" is not valid"},
        {"memo1", "A component named memo1 already exists"},
        {"MEMO1", "A component named MEMO1 already exists"},
        {"_memo_2", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = b->Name();
        try {
            b->SetName(c.name);
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(b->Name(), c.name);
        } catch (const EComponentError& e) {
            ASSERT_NE(c.error, nullptr);
            EXPECT_STREQ(e.what(), c.error);
            EXPECT_EQ(b->Name(), before);
        }
    }
    // A change of case of one's own name is a rename, not a clash.
    a->SetName("MEMO1");
    EXPECT_EQ(a->Name(), "MEMO1");
    EXPECT_EQ(owner.FindComponent("memo1"), a);
    EXPECT_EQ(owner.FindComponent(""), nullptr);
    // Several unnamed components may live side by side; a named one may not move in beside
    // its namesake.
    new TComponent(&owner);
    TComponent stray(nullptr);
    stray.SetName("Memo1");
    EXPECT_THROW(owner.InsertComponent(&stray), EComponentError);
    EXPECT_EQ(stray.Owner(), nullptr);
}

TEST(Component, DestroyedTargetClearsEveryRegisteredReference) {
    auto form = std::make_unique<TComponent>(nullptr);
    auto report = std::make_unique<TComponent>(nullptr);
    auto* target = new TTestView(form.get());
    auto* sibling = new TTestView(form.get());
    auto* far1 = new TTestView(report.get());
    auto* far2 = new TTestView(report.get());
    sibling->SetLink(target);
    far1->SetLink(target);
    far2->SetLink(target);
    far2->SetLink(far1); // re-pointed: no longer registered with target

    delete target;
    EXPECT_EQ(sibling->Link(), nullptr);
    EXPECT_EQ(far1->Link(), nullptr);
    EXPECT_EQ(far2->Link(), far1);

    // A holder that dies first unregisters itself, so the target never calls it back.
    auto* target2 = new TTestView(form.get());
    auto* holder = new TTestView(report.get());
    holder->SetLink(target2);
    delete holder;
    delete target2; // ASan: no use of the freed holder

    // A whole owner tree going away clears references from outside into it.
    far1->SetLink(sibling);
    form.reset();
    EXPECT_EQ(far1->Link(), nullptr);
}

TEST(Component, StateFlagsReachOwnedComponents) {
    TComponent owner(nullptr);
    auto* child = new TComponent(&owner);
    owner.SetDesigning(true);
    EXPECT_TRUE(child->HasState(csDesigning));
    auto* late = new TComponent(&owner); // inserted into a designing owner
    EXPECT_TRUE(late->HasState(csDesigning));
    owner.SetAncestor(true);
    EXPECT_TRUE(child->HasState(csAncestor));
    child->BeginLoading();
    EXPECT_TRUE(child->HasState(csLoading));
    child->Loaded();
    EXPECT_FALSE(child->HasState(csLoading));
}

TEST(Component, ReleasedObjectHandleNoLongerResolves) {
    auto* c = new TComponent(nullptr);
    const Variant handle = ObjectToVariant<TObject>(c);
    EXPECT_EQ(VariantToObject<TObject>(handle), c);
    delete c;
    EXPECT_THROW(VariantToObject<TObject>(handle), EInvalidObjectReference);
}

class TCountingCollection : public TCollection {
public:
    TCountingCollection() : TCollection(TTestItem::StaticClass()) {}
    int updates = 0;

protected:
    void Update(TCollectionItem*) override { ++updates; }
};

TEST(Collection, ItemsKeepOrderIdsAndBatchUpdates) {
    TCountingCollection items;
    auto* first = static_cast<TTestItem*>(items.Add());
    auto* second = static_cast<TTestItem*>(items.Add());
    auto* third = static_cast<TTestItem*>(items.Insert(0));
    EXPECT_EQ(third->Index(), 0);
    EXPECT_EQ(first->Index(), 1);
    EXPECT_EQ(third->ID(), 2);
    EXPECT_EQ(items.FindItemID(1), second);

    items.updates = 0;
    items.BeginUpdate();
    items.Delete(1);
    second->SetCaption("kept");
    items.Add();
    EXPECT_EQ(items.updates, 0);
    items.EndUpdate();
    EXPECT_EQ(items.updates, 1);
    EXPECT_EQ(items.Count(), 3);
    EXPECT_THROW(items.Items(3), EListError);

    delete second; // an item freed directly leaves its collection
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(items.FindItemID(1), nullptr);
}

TEST(Collection, ItemsNameThemselvesThroughTheOwnersProperty) {
    TComponent root(nullptr);
    auto* memo = new TTestMemo(&root);
    memo->SetName("Memo1");
    memo->Items()->Add();
    memo->Items()->Add();
    EXPECT_EQ(memo->Items()->Items(1)->GetNamePath(), "Memo1.Items[1]");
}

TEST(Collection, AssignCopiesItemsAndRefusesOtherClasses) {
    TCollection source(TTestItem::StaticClass());
    for (const char* caption : {"a", "b"})
        static_cast<TTestItem*>(source.Add())->SetCaption(caption);
    TCollection copy(TTestItem::StaticClass());
    copy.Add();
    // TTestItem has no Assign of its own, so copying items raises; the target is not left
    // half-updated.
    EXPECT_THROW(copy.Assign(&source), EConvertError);
    EXPECT_EQ(copy.UpdateCount(), 0);

    TTestFont font;
    try {
        copy.Assign(&font);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TTestFont to a TCollection");
    }
    EXPECT_THROW(font.Assign(nullptr), EConvertError);
    EXPECT_THROW({ TCollection bad(TTestFont::StaticClass()); }, EInvalidArgument);
}

} // namespace
