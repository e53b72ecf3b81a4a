#include "platform/core/numbers.h"

#include <cmath>
#include <limits>

#include "platform/core/exception.h"

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    double floorValue = std::floor(value);
    double diff = value - floorValue;
    if (diff > 0.5) return floorValue + 1.0;
    if (diff < 0.5) return floorValue;
    return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

static std::int64_t checkedInt64(double value) {
    // 2^63 is exactly representable; anything at or above it overflows.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= limit || value < -limit)
        throw EInvalidOp("Invalid floating point operation");
    return static_cast<std::int64_t>(value);
}

std::int64_t Round(double value) { return checkedInt64(RoundHalfEven(value)); }

std::int64_t Trunc(double value) { return checkedInt64(std::trunc(value)); }

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t half = (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
    bool negative = (product < 0) != (c < 0);
    std::int64_t magnitude = (product < 0 ? -product : product) + half;
    std::int64_t result = magnitude / (c < 0 ? -static_cast<std::int64_t>(c) : c);
    if (result > std::numeric_limits<int>::max()) return -1;
    return static_cast<int>(negative ? -result : result);
}
