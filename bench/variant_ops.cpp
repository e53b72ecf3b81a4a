// Variant arithmetic as the script interpreter uses it: ns per operation.

#include <chrono>
#include <cstdio>

#include "platform/core/variant.h"

namespace {

constexpr int kCount = 10'000'000;

template <class Body>
void Time(const char* name, Body body) {
    auto start = std::chrono::steady_clock::now();
    Variant result = body();
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%-34s %7.2f ns/op   (result %s)\n", name, elapsed.count() / kCount,
                result.AsString().c_str());
}

}  // namespace

int main() {
    Time("Int32 + Int32", [] {
        Variant acc = 0, one = 1;
        for (int i = 0; i < kCount; ++i) acc = VarAdd(acc, one);
        return acc;
    });
    Time("Double + Double", [] {
        Variant acc = 0.0, half = 0.5;
        for (int i = 0; i < kCount; ++i) acc = VarAdd(acc, half);
        return acc;
    });
    Time("Int32 + Double (mixed)", [] {
        Variant acc = 0.0, one = 1;
        for (int i = 0; i < kCount; ++i) acc = VarAdd(one, acc);
        return acc;
    });
    Time("VarBinaryOp(Add) Int32", [] {
        Variant acc = 0, one = 1;
        for (int i = 0; i < kCount; ++i) acc = VarBinaryOp(TVarOp::Add, acc, one);
        return acc;
    });
    Time("Int32 compare", [] {
        Variant limit = kCount, i = 0;
        int below = 0;
        for (int n = 0; n < kCount; ++n) below += VarCompare(i, limit) < 0;
        return Variant(below);
    });
    Time("copy of a string Variant", [] {
        Variant text("shared text that lives on the heap"), copy;
        for (int i = 0; i < kCount; ++i) copy = text;
        return copy;
    });
    return 0;
}
