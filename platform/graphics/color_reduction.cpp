#include "platform/graphics/color_reduction.h"

#include <algorithm>
#include <unordered_set>

namespace {

// The cut works on a histogram of 6 bits per channel: fine enough for grey ramps of
// anti-aliased text, small enough (2^18 cells) for any picture. Each cell keeps the exact sums
// of its colours, so the chosen colours are true means, not cell centres.
constexpr int kCellBits = 6;
constexpr std::size_t kCells = std::size_t{1} << (3 * kCellBits);

struct Cell {
    std::uint64_t Sum[3];
    std::uint64_t Count;
    std::uint32_t Key;
    double Means[3]; // worked out once: the cuts sort by them many times
    double Mean(int axis) const { return Means[axis]; }
};

struct Box {
    std::size_t Begin, End;
    double Error; // summed squared distance of the cells to the box's mean, weighted by count
    int Axis;     // the channel with the largest spread
};

int channel(std::uint32_t pixel, int axis) {
    return static_cast<int>((pixel >> (16 - 8 * axis)) & 0xFF);
}

Box measure(const std::vector<Cell>& cells, std::size_t begin, std::size_t end) {
    std::uint64_t count = 0, sum[3] = {0, 0, 0};
    for (std::size_t i = begin; i < end; ++i) {
        count += cells[i].Count;
        for (int a = 0; a < 3; ++a)
            sum[a] += cells[i].Sum[a];
    }
    double spread[3] = {0, 0, 0};
    for (std::size_t i = begin; i < end; ++i)
        for (int a = 0; a < 3; ++a) {
            const double d =
                cells[i].Mean(a) - static_cast<double>(sum[a]) / static_cast<double>(count);
            spread[a] += d * d * static_cast<double>(cells[i].Count);
        }
    const int axis = static_cast<int>(std::max_element(spread, spread + 3) - spread);
    return {begin, end, spread[0] + spread[1] + spread[2], axis};
}

std::vector<std::uint32_t> medianCut(std::span<const std::uint32_t> pixels, std::size_t maxColors) {
    std::vector<std::uint64_t> count(kCells), sums(3 * kCells);
    for (std::uint32_t p : pixels) {
        const std::uint32_t key = ((p >> (24 - kCellBits)) & 0x3F) << (2 * kCellBits) |
                                  ((p >> (16 - kCellBits)) & 0x3F) << kCellBits |
                                  ((p >> (8 - kCellBits)) & 0x3F);
        ++count[key];
        for (int a = 0; a < 3; ++a)
            sums[3 * key + a] += static_cast<std::uint64_t>(channel(p, a));
    }
    std::vector<Cell> cells;
    for (std::uint32_t key = 0; key < kCells; ++key)
        if (count[key]) {
            Cell c{{sums[3 * key], sums[3 * key + 1], sums[3 * key + 2]}, count[key], key, {}};
            for (int a = 0; a < 3; ++a)
                c.Means[a] = static_cast<double>(c.Sum[a]) / static_cast<double>(c.Count);
            cells.push_back(c);
        }

    std::vector<Box> boxes{measure(cells, 0, cells.size())};
    while (boxes.size() < maxColors) {
        // The box that costs the most error is cut next; ties go to the earlier box.
        Box* worst = nullptr;
        for (Box& b : boxes)
            if (b.End - b.Begin > 1 && b.Error > 0 && (!worst || b.Error > worst->Error))
                worst = &b;
        if (!worst) break;
        const Box box = *worst;
        const int axis = box.Axis;
        std::sort(cells.begin() + static_cast<std::ptrdiff_t>(box.Begin),
                  cells.begin() + static_cast<std::ptrdiff_t>(box.End),
                  [axis](const Cell& a, const Cell& b) {
                      const double ma = a.Mean(axis), mb = b.Mean(axis);
                      return ma != mb ? ma < mb : a.Key < b.Key;
                  });
        std::uint64_t total = 0;
        for (std::size_t i = box.Begin; i < box.End; ++i)
            total += cells[i].Count;
        std::size_t split = box.Begin + 1;
        std::uint64_t below = 0;
        for (std::size_t i = box.Begin; i < box.End; ++i) {
            below += cells[i].Count;
            if (below * 2 >= total) {
                split = i + 1;
                break;
            }
        }
        split = std::clamp(split, box.Begin + 1, box.End - 1);
        *worst = measure(cells, box.Begin, split);
        boxes.push_back(measure(cells, split, box.End));
    }

    std::vector<std::uint32_t> palette;
    for (const Box& b : boxes) {
        std::uint64_t n = 0, sum[3] = {0, 0, 0};
        for (std::size_t i = b.Begin; i < b.End; ++i) {
            n += cells[i].Count;
            for (int a = 0; a < 3; ++a)
                sum[a] += cells[i].Sum[a];
        }
        std::uint32_t color = 0;
        for (int a = 0; a < 3; ++a)
            color = color << 8 | static_cast<std::uint32_t>((sum[a] + n / 2) / n);
        palette.push_back(color);
    }
    return palette;
}

} // namespace

std::vector<std::uint32_t> ChoosePalette(std::span<const std::uint32_t> pixels,
                                         std::size_t maxColors) {
    std::vector<std::uint32_t> exact;
    if (maxColors == 0) return exact;
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t p : pixels) {
        const std::uint32_t color = p & 0xFFFFFF;
        if (!seen.insert(color).second) continue;
        if (exact.size() == maxColors) return medianCut(pixels, maxColors);
        exact.push_back(color);
    }
    return exact;
}

TNearestColor::TNearestColor(std::vector<std::uint32_t> palette) : palette_(std::move(palette)) {
    const std::size_t n = std::min<std::size_t>(palette_.size(), 256);
    for (std::size_t i = 0; i < n; ++i)
        byRed_.push_back(static_cast<std::uint8_t>(i));
    std::stable_sort(byRed_.begin(), byRed_.end(), [this](std::uint8_t a, std::uint8_t b) {
        return channel(palette_[a], 0) < channel(palette_[b], 0);
    });
}

std::uint8_t TNearestColor::IndexOf(std::uint32_t pixel) {
    const std::uint32_t color = pixel & 0xFFFFFF;
    if (haveLast_ && color == lastColor_) return lastIndex_;
    auto known = known_.find(color);
    std::uint8_t index = 0;
    if (known != known_.end()) {
        index = known->second;
    } else {
        // Entries by red distance, outwards from the colour's red: none further away in red
        // than the best distance found can be nearer.
        const int red = channel(color, 0);
        auto hi =
            std::lower_bound(byRed_.begin(), byRed_.end(), red,
                             [this](std::uint8_t i, int r) { return channel(palette_[i], 0) < r; });
        auto lo = hi;
        long best = -1;
        auto consider = [&](std::uint8_t i) {
            long distance = 0;
            for (int a = 0; a < 3; ++a) {
                const long d = channel(color, a) - channel(palette_[i], a);
                distance += d * d;
            }
            if (best < 0 || distance < best || (distance == best && i < index)) {
                best = distance;
                index = i;
            }
        };
        for (;;) {
            const long below = lo != byRed_.begin() ? red - channel(palette_[*(lo - 1)], 0) : -1;
            const long above = hi != byRed_.end() ? channel(palette_[*hi], 0) - red : -1;
            if (below < 0 && above < 0) break;
            const bool down = above < 0 || (below >= 0 && below <= above);
            const long gap = down ? below : above;
            // A tie may still come from a lower index at exactly the best distance.
            if (best >= 0 && gap * gap > best) break;
            if (down)
                consider(*--lo);
            else
                consider(*hi++);
        }
        known_.emplace(color, index);
    }
    lastColor_ = color;
    lastIndex_ = index;
    haveLast_ = true;
    return index;
}
