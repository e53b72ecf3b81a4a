// Published properties by name on an object five classes below TComponent: ns per look-up
// and set, as the serializer and the script bindings use them.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/core/component.h"
#include "platform/core/properties.h"

namespace {

constexpr int kCount = 5'000'000;

const TTypeInfo& AlignType() {
    static const TTypeInfo& t =
        DefineEnumType("TBenchAlign", {"baNone", "baLeft", "baRight", "baClient"});
    return t;
}

// Each level publishes a handful of properties, as report objects do.
#define BENCH_LEVEL(Class, Parent, P1, P2, P3, P4)                                                 \
    class Class : public Parent {                                                                  \
        LUMETRA_CLASS(Class, Parent)                                                               \
    public:                                                                                        \
        explicit Class(TComponent* owner) : Parent(owner) {}                                       \
        static void RegisterProperties(TClassBuilder<Class>& b) {                                  \
            b.Add(#P1, &Class::P1, &Class::Set##P1).Default(0);                                    \
            b.Add(#P2, TypeInfoExtended(), &Class::P2, &Class::Set##P2);                           \
            b.Add(#P3, &Class::P3, &Class::Set##P3);                                               \
            b.Add(#P4, AlignType(), &Class::P4, &Class::Set##P4).Default(0);                       \
        }                                                                                          \
        int P1() const { return p1_; }                                                             \
        void Set##P1(int v) { p1_ = v; }                                                           \
        double P2() const { return p2_; }                                                          \
        void Set##P2(double v) { p2_ = v; }                                                        \
        const std::string& P3() const { return p3_; }                                              \
        void Set##P3(const std::string& v) { p3_ = v; }                                            \
        int P4() const { return p4_; }                                                             \
        void Set##P4(int v) { p4_ = v; }                                                           \
                                                                                                   \
    private:                                                                                       \
        int p1_ = 0;                                                                               \
        double p2_ = 0;                                                                            \
        std::string p3_;                                                                           \
        int p4_ = 0;                                                                               \
    };

BENCH_LEVEL(TBench1, TComponent, GroupIndex, Left, Description, Align)
BENCH_LEVEL(TBench2, TBench1, FrameWidth, Top, DataField, HAlign)
BENCH_LEVEL(TBench3, TBench2, Rotation, Width, DataSetName, VAlign)
BENCH_LEVEL(TBench4, TBench3, LineSpacing, Height, DisplayFormat, Wrap)
BENCH_LEVEL(TBench5, TBench4, CharSpacing, GapX, Memo, Kind)

template <class Body> void Time(const char* name, Body body) {
    const auto start = std::chrono::steady_clock::now();
    const std::int64_t check = body();
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf("%-48s %7.2f ns/op   (check %lld)\n", name, elapsed.count() / kCount,
                static_cast<long long>(check));
}

} // namespace

int main() {
    TBench5 object(nullptr);
    // Names from every level, in mixed case, as templates and scripts spell them.
    const char* intNames[] = {"groupindex",  "FrameWidth",  "ROTATION",
                              "LineSpacing", "charSpacing", "Tag"};
    const char* floatNames[] = {"Left", "top", "Width", "HEIGHT", "GapX"};
    constexpr int kInts = 6, kFloats = 5;
    std::printf("%d published properties on TBench5 (depth %d)\n",
                TBench5::StaticClass().Properties().Count(), TBench5::StaticClass().Depth());

    Time("GetPropInfo + SetOrdProp (integer)", [&] {
        for (int i = 0; i < kCount; ++i) {
            const TPropInfo* info = GetPropInfo(object, intNames[i % kInts]);
            SetOrdProp(object, *info, i & 0xFFFF);
        }
        return static_cast<std::int64_t>(object.CharSpacing());
    });
    Time("GetPropInfo + SetFloatProp", [&] {
        for (int i = 0; i < kCount; ++i) {
            const TPropInfo* info = GetPropInfo(object, floatNames[i % kFloats]);
            SetFloatProp(object, *info, i * 0.5);
        }
        return static_cast<std::int64_t>(object.GapX());
    });
    Time("SetPropValue(name, Variant int)", [&] {
        for (int i = 0; i < kCount; ++i)
            SetPropValue(object, intNames[i % kInts], Variant(i & 0xFFFF));
        return static_cast<std::int64_t>(object.Rotation());
    });
    Time("GetPropValue(name) (integer)", [&] {
        std::int64_t sum = 0;
        for (int i = 0; i < kCount; ++i)
            sum += GetPropValue(object, intNames[i % kInts]).Int32Value();
        return sum;
    });
    Time("SetPropText(name, enum name)", [&] {
        const char* values[] = {"baLeft", "baRight", "baClient"};
        for (int i = 0; i < kCount; ++i)
            SetPropText(object, "Kind", values[i % 3]);
        return static_cast<std::int64_t>(object.Kind());
    });
    return 0;
}
