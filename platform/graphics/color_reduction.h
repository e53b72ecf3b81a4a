#pragma once
// Palette choice for 4- and 8-bit bitmaps. Colours are 0x00RRGGBB; the alpha byte of a pixel
// is ignored throughout.

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

// At most maxColors colours for the pixels: every colour in order of first appearance when
// there are no more than maxColors, otherwise a median cut weighted by pixel count. The result
// depends on the pixels alone.
std::vector<std::uint32_t> ChoosePalette(std::span<const std::uint32_t> pixels,
                                         std::size_t maxColors);

// The nearest palette entry of a colour (squared RGB distance, the lowest index on a tie),
// remembered per colour since images repeat few colours many times.
class TNearestColor {
public:
    explicit TNearestColor(std::vector<std::uint32_t> palette);
    std::uint8_t IndexOf(std::uint32_t pixel);
    const std::vector<std::uint32_t>& Palette() const { return palette_; }

private:
    std::vector<std::uint32_t> palette_;
    std::vector<std::uint8_t> byRed_; // palette indices by their red component
    std::unordered_map<std::uint32_t, std::uint8_t> known_;
    std::uint32_t lastColor_ = 0;
    std::uint8_t lastIndex_ = 0;
    bool haveLast_ = false;
};
