#pragma once
// Deterministic input mutation for the fuzz tests. A CI run uses the test's own bounded count;
// LUMETRA_FUZZ_ITERATIONS raises it for a long run by hand, LUMETRA_FUZZ_START varies the inputs.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz {

inline long Iterations(long ciDefault) {
    if (const char* text = std::getenv("LUMETRA_FUZZ_ITERATIONS")) {
        long n = std::strtol(text, nullptr, 10);
        if (n > 0) return n;
    }
    return ciDefault;
}

inline std::uint64_t StartValue() {
    if (const char* text = std::getenv("LUMETRA_FUZZ_START")) return std::strtoull(text, nullptr, 10);
    return 0x9E3779B97F4A7C15ull;
}

// xorshift64*: the same sequence on every machine, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t start = StartValue()) : state_(start ? start : 1) {}
    std::uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // A value in [0, bound); bound 0 gives 0.
    std::size_t Below(std::size_t bound) { return bound ? static_cast<std::size_t>(Next() % bound) : 0; }
    bool OneIn(unsigned n) { return Below(n) == 0; }

private:
    std::uint64_t state_;
};

// Values that tend to sit on boundaries of length and size checks.
inline std::uint32_t InterestingValue(Random& random) {
    static const std::uint32_t values[] = {0,      1,          0x7F,       0x80,       0xFF,
                                           0x100,  0x7FFF,     0x8000,     0xFFFF,     0x10000,
                                           0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF0u, 64};
    return values[random.Below(sizeof values / sizeof values[0])];
}

// One to `maxEdits` random edits of `data`: bit flips, byte sets, boundary values written in
// place, inserted and deleted runs, duplicated runs and truncation. Only bytes in
// [from, to) are touched when a range is given (to 0 = the end).
inline std::string Mutate(std::string data, Random& random, int maxEdits = 4, std::size_t from = 0,
                          std::size_t to = 0) {
    int edits = 1 + static_cast<int>(random.Below(static_cast<std::size_t>(maxEdits)));
    for (int e = 0; e < edits; ++e) {
        std::size_t end = (to == 0 || to > data.size()) ? data.size() : to;
        std::size_t begin = from < end ? from : end;
        std::size_t span = end - begin;
        std::size_t at = begin + random.Below(span ? span : 1);
        switch (random.Below(7)) {
            case 0:
                if (span) data[at] = static_cast<char>(data[at] ^ (1u << random.Below(8)));
                break;
            case 1:
                if (span) data[at] = static_cast<char>(random.Next());
                break;
            case 2: {
                std::uint32_t v = InterestingValue(random);
                std::size_t width = std::size_t{1} << random.Below(3);  // 1, 2 or 4 bytes
                for (std::size_t i = 0; i < width && at + i < end; ++i)
                    data[at + i] = static_cast<char>(v >> (8 * i));
                break;
            }
            case 3: {
                std::size_t n = 1 + random.Below(16);
                std::string run;
                for (std::size_t i = 0; i < n; ++i) run += static_cast<char>(random.Next());
                data.insert(at < data.size() ? at : data.size(), run);
                break;
            }
            case 4:
                if (span) data.erase(at, 1 + random.Below(std::min<std::size_t>(span, 64)));
                break;
            case 5:
                if (span) {
                    std::size_t n = 1 + random.Below(std::min<std::size_t>(end - at, 64));
                    data.insert(at, data.substr(at, n));
                }
                break;
            case 6:
                if (random.OneIn(4)) data.resize(at);
                break;
        }
    }
    return data;
}

}  // namespace fuzz
