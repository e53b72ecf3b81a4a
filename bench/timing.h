#pragma once
// The clock and the figures the benchmark programs share.

#include <algorithm>
#include <chrono>
#include <vector>

using Clock = std::chrono::steady_clock;

// Milliseconds since from.
inline double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// The middle value (the upper middle of an even count); v must not be empty.
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
