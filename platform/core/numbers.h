#pragma once
// Number helpers. "Round" anywhere in Lumetra means halves to the even neighbour, through
// these functions only; never std::round.

#include <cstdint>

// Nearest integer value with halves to even, as a double (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);
// RoundHalfEven as a 64-bit integer; raises EInvalidOp when the value is not finite or out of
// the int64 range.
std::int64_t Round(double value);
// Truncation toward zero, range-checked like Round.
std::int64_t Trunc(double value);
// (a * b) / c with a 64-bit intermediate, rounded half away from zero like the platform's
// MulDiv; returns -1 when c is 0.
int MulDiv(int a, int b, int c);
