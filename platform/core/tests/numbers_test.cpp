#include "platform/core/numbers.h"

#include <gtest/gtest.h>

#include "platform/core/exception.h"

TEST(Numbers, RoundsHalfToEven) {
    struct Case { double in; std::int64_t out; };
    for (Case c : {Case{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2},
                   {2.4999, 2}, {2.5001, 3}, {-0.4, 0}, {1e15 + 0.5, 1000000000000000}}) {
        EXPECT_EQ(Round(c.in), c.out) << c.in;
    }
    EXPECT_THROW(Round(1e300), EInvalidOp);
    EXPECT_EQ(Trunc(-7.9), -7);
}

TEST(Numbers, MulDivRoundsAndGuardsZero) {
    EXPECT_EQ(MulDiv(10, 3, 4), 8);     // 7.5 rounds away from zero
    EXPECT_EQ(MulDiv(-10, 3, 4), -8);
    EXPECT_EQ(MulDiv(96, 600, 96), 600);
    EXPECT_EQ(MulDiv(1, 2, 0), -1);
    EXPECT_EQ(MulDiv(1 << 30, 1 << 30, 1 << 30), 1 << 30);  // no 32-bit overflow
}
