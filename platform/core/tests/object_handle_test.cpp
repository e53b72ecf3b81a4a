#include "platform/core/object_handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

struct Shape {
    virtual ~Shape() { ObjectHandles::Release(this); }
};
struct Circle : Shape {};
struct Square : Shape {};
struct Named {
    virtual ~Named() = default;
    int id = 0;
};
// Named is not the first base: its address differs from the object's.
struct Label : Shape, Named {};

TEST(ObjectHandleTest, ResolvesAsTheTypeItWasHandedOutAs) {
    Circle circle;
    std::int32_t h = ObjectHandles::HandleOf<Shape>(&circle);
    EXPECT_GT(h, 0);
    EXPECT_EQ(ObjectHandles::Resolve<Shape>(h), &circle);
    EXPECT_EQ((ObjectHandles::ResolveAs<Circle, Shape>(h)), &circle);
    EXPECT_THROW((ObjectHandles::ResolveAs<Square, Shape>(h)), EInvalidObjectReference);
    EXPECT_THROW(ObjectHandles::Resolve<Named>(h), EInvalidObjectReference);
    EXPECT_THROW(ObjectHandles::Resolve<Circle>(h), EInvalidObjectReference);  // not handed out so
    EXPECT_EQ(ObjectHandles::HandleOf<Shape>(&circle), h);  // one object, one handle

    // The same object under another static type keeps its handle and gains that type.
    EXPECT_EQ(ObjectHandles::HandleOf(&circle), h);
    EXPECT_EQ(ObjectHandles::Resolve<Circle>(h), &circle);
}

TEST(ObjectHandleTest, ReleasedObjectsLeaveStaleHandles) {
    std::int32_t h = 0;
    {
        Circle circle;
        h = ObjectHandles::HandleOf<Shape>(&circle);
        EXPECT_TRUE(ObjectHandles::IsValid(h));
    }  // ~Shape releases it
    EXPECT_FALSE(ObjectHandles::IsValid(h));
    try {
        ObjectHandles::Resolve<Shape>(h);
        FAIL() << "stale handle resolved";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), "EInvalidObjectReference");
        EXPECT_STREQ(e.what(), "Invalid object reference");
    }

    // Many objects come and go; none gets a handle seen before, and the first stays stale.
    std::set<std::int32_t> seen{h};
    for (int i = 0; i < 10000; ++i) {
        auto square = std::make_unique<Square>();
        EXPECT_TRUE(seen.insert(ObjectHandles::HandleOf<Shape>(square.get())).second);
    }
    EXPECT_THROW(ObjectHandles::Resolve<Shape>(h), EInvalidObjectReference);
}

TEST(ObjectHandleTest, NilAndGarbage) {
    EXPECT_EQ(ObjectHandles::HandleOf<Shape>(nullptr), 0);
    EXPECT_EQ(ObjectHandles::Resolve<Shape>(0), nullptr);
    EXPECT_FALSE(ObjectHandles::IsValid(0));
    for (std::int32_t bad : {-1, 1, 0x7FFFFFFF, -2147483647 - 1})
        EXPECT_THROW(ObjectHandles::Resolve<Shape>(bad), EInvalidObjectReference) << bad;
    ObjectHandles::Release(nullptr);
    int neverHandedOut = 0;
    ObjectHandles::Release(&neverHandedOut);
}

TEST(ObjectHandleTest, AnyBasePointerIdentifiesAndReleasesTheObject) {
    auto label = std::make_unique<Label>();
    Named* named = label.get();
    std::int32_t h = ObjectHandles::HandleOf(named);
    EXPECT_EQ(ObjectHandles::HandleOf<Shape>(label.get()), h);
    EXPECT_EQ(ObjectHandles::Resolve<Named>(h), named);
    EXPECT_EQ(ObjectHandles::Resolve<Shape>(h), static_cast<Shape*>(label.get()));
    std::size_t before = ObjectHandles::Count();
    ObjectHandles::Release(named);
    EXPECT_FALSE(ObjectHandles::IsValid(h));
    EXPECT_EQ(ObjectHandles::Count(), before - 1);
}

TEST(ObjectHandleTest, VariantsCarryHandlesAsIntegers) {
    Circle circle;
    Variant v = ObjectToVariant<Shape>(&circle);
    EXPECT_EQ(VarType(v), varInteger);
    EXPECT_EQ(VariantToObject<Shape>(v), &circle);
    EXPECT_EQ(VariantToObject<Shape>(Variant::Null()), nullptr);
    EXPECT_EQ(VariantToObject<Shape>(Variant(0)), nullptr);
    EXPECT_EQ(VarType(ObjectToVariant<Shape>(nullptr)), varInteger);
    EXPECT_THROW(VariantToObject<Shape>(Variant("x")), EInvalidObjectReference);
    EXPECT_THROW(VariantToObject<Shape>(v + 1), EInvalidObjectReference);
}

TEST(ObjectHandleTest, ConcurrentUse) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&failures] {
            for (int i = 0; i < 2000; ++i) {
                auto circle = std::make_unique<Circle>();
                std::int32_t h = ObjectHandles::HandleOf<Shape>(circle.get());
                if (ObjectHandles::Resolve<Shape>(h) != circle.get()) ++failures;
                circle.reset();
                if (ObjectHandles::IsValid(h)) ++failures;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
