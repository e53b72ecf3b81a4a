#pragma once
// Private to platform/graphics: the faces behind TFontMeasurer, for the painter backends that
// draw glyphs exactly where the measurer put them.

#include <QRawFont>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics/font_measurer.h"

struct FontFace {
    std::string family;
    QRawFont raw;  // reference instance; drawing copies it at the wanted pixel size
    int unitsPerEm = 2048;
    std::vector<std::uint16_t> advances;  // design advance per glyph
    int winAscent = 0, winDescent = 0;
    int hheaAscender = 0, hheaDescender = 0, lineGap = 0;
    int avgCharWidth = 0, maxAdvance = 0;
    int underlinePosition = 0, underlineThickness = 0;
    int strikeoutPosition = 0, strikeoutSize = 0;
    bool synthesizeBold = false;

    // Glyph of a code point, 0 when the face lacks it.
    std::uint32_t Glyph(char32_t c) const;
    int DesignAdvance(std::uint32_t glyph) const;
    int Scale(int designUnits, int em) const;

    mutable std::mutex mutex;  // QRawFont is not safe to query from two threads at once
    mutable std::unique_ptr<std::atomic<std::uint32_t>[]> bmpGlyphs;  // glyph + 1, 0 = unknown
};

struct TFontMeasurer::Impl {
    std::shared_ptr<FontFace> primary;
    std::shared_ptr<FontFace> fallback;  // may be null
    int em = 16;
    TTextMetric metrics;
    // Advance cache per BMP unit in pages of 256, made on first use so a size used for a few
    // Latin lines costs a kilobyte or two: advance, bit 30 set when drawn from the fallback
    // face; -1 = not yet known.
    static constexpr int kPageBits = 8;
    std::atomic<std::atomic<std::int32_t>*> advancePages[0x10000 >> kPageBits] = {};
    std::mutex pageMutex;

    ~Impl();
    std::int32_t CachedAdvance(char16_t u) const
    {
        const auto* page = advancePages[u >> kPageBits].load(std::memory_order_acquire);
        return page ? page[u & ((1 << kPageBits) - 1)].load(std::memory_order_relaxed) : -1;
    }
    void StoreAdvance(char16_t u, std::int32_t value);

    struct Glyph {
        const FontFace* face;
        std::uint32_t index;
        int advance;
    };
    Glyph Resolve(char32_t c) const;
};
