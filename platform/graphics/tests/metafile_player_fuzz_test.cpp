// Mutated Windows metafiles: each plays or is refused without fault, and what plays replays,
// gives its text and stores as a recording. LUMETRA_FUZZ_ITERATIONS runs it longer.

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "metafile_records.h"
#include "platform/core/tests/mutator.h"
#include "platform/graphics/metafile_player.h"
#include "platform/graphics/raster_canvas.h"

namespace {

using records::Bytes;

// Every record family the player reads, with its objects, mapping and state.
Bytes sampleWmf(bool placeable) {
    const Bytes dib8 = records::Dib(3, 2, 8, {0xFF, 0xFF00, 0xFF0000, 0, 0xFFFFFF, 0x808080});
    const Bytes dib1 = records::Dib(9, 3, 1, std::vector<std::uint32_t>(27, 0xFFFFFF));
    records::Wmf w;
    // Without the header nor a window, the frame is what the records draw.
    if (placeable)
        w.MapMode(8).WindowOrg(0, 0).WindowExt(400, 300).ViewportOrg(0, 0).ViewportExt(400, 300);
    w.Pen(1, 3, 0xFF)
        .Brush(2, 0xFF00, 3)
        .Font(-40, 134, "SimSun")
        .Rec(0x0142, {5, 0}, dib8) // pattern brush
        .Select(0)
        .Select(1)
        .Select(2)
        .SaveDc()
        .TextAlign(24)
        .BkMode(2)
        .TextColor(0x800000)
        .ExtTextOut(20, 60, "Ab\xD6\xD0", {10, 12, 30, 0})
        .Rec(0x0521, {3, 'x' | 'y' << 8, 'z', 100, 20}) // TextOut
        .RestoreDc(-1)
        .Rec(0x0A32, {120, 40, 3, 6, 30, 100, 200, 140}, Bytes{'O', 'K', '!', 0, 9, 0, 9, 0, 9, 0})
        .MoveTo(5, 5)
        .LineTo(395, 295)
        .Rec(0x0325, {4, 0, 0, 100, 20, 30, 200, 300, 10}) // Polyline
        .Rec(0x0324, {3, 50, 50, 150, 60, 90, 160})        // Polygon
        .PolyPolygon({{{0, 0}, {200, 0}, {200, 200}}, {{20, 20}, {60, 20}, {60, 60}, {20, 60}}})
        .Rectangle(10, 10, 90, 70)
        .Ellipse(100, 100, 180, 160)
        .Rec(0x061C, {20, 30, 250, 390, 200, 300})           // RoundRect
        .Rec(0x0817, {0, 300, 150, 200, 290, 390, 210, 210}) // Arc
        .Select(3)
        .Rec(0x081A, {10, 10, 90, 100, 100, 100, 0, 0})        // Pie
        .Rec(0x0830, {250, 250, 200, 300, 280, 380, 220, 220}) // Chord
        .IntersectClip(0, 0, 350, 280)
        .Rec(0x0415, {40, 40, 10, 10}) // ExcludeClipRect
        .StretchDib(10, 200, 60, -40, 0, 0, 3, 2, dib8)
        .Rec(0x0B41, {0x20, 0xCC, 3, 9, 0, 0, 30, 90, 240, 300}, dib1) // DIBStretchBlt
        .Rec(0x0940, {0x86, 0xEE, 0, 0, 3, 9, 150, 150}, dib1)         // DIBBitBlt, OR
        .PatBlt(300, 10, 50, 40)
        .Rec(0x041F, {0xFF, 0, 7, 7}) // SetPixel
        .Delete(1)
        .Brush(6, 0xFF)
        .Select(1) // takes the freed slot
        .Rectangle(300, 200, 380, 280);
    return placeable ? w.Placeable(0, 0, 400, 300, 1440) : w.Standard();
}

Bytes sampleEmf() {
    const Bytes dib = records::Dib(2, 3, 24, {1, 2, 3, 0xFF, 0xFF00, 0xFF0000});
    const std::int32_t header = static_cast<std::int32_t>(records::DibHeaderSize(dib));
    const std::int32_t bits = static_cast<std::int32_t>(dib.size()) - header;
    records::Emf e;
    e.MapMode(8)
        .WindowExt(1000, 1000)
        .ViewportExt(96, 96)
        .WindowOrg(0, 0)
        .ViewportOrg(0, 0)
        .Pen(1, 0x2201, 5, 0xFF)
        .Rec(95, {2, 0, 0, 0, 0, 0x10007, 8, 0, 0xFF00, 0, 3, 4, 2, 6}) // ExtCreatePen, user style
        .Brush(3, 2, 0xFF, 4)
        .Font(4, -120, u"Arial")
        .Select(1)
        .Select(3)
        .Select(4)
        .Select(0x80000007)
        .Select(0x80000005)
        .Select(1)
        .SaveDc()
        .WorldTransform(0.8f, 0.6f, -0.6f, 0.8f, 100, 50)
        .Rectangle(10, 10, 400, 300)
        .Ellipse(500, 100, 900, 400)
        .Rec(44, {100, 500, 400, 700, 50, 40})             // RoundRect
        .Rec(45, {0, 0, 300, 300, 300, 150, 150, 0})       // Arc
        .Rec(47, {600, 600, 900, 900, 900, 750, 750, 600}) // Pie
        .RestoreDc(1)
        .WorldTransform(2, 0, 0, 2, 10, 10, 3)
        .Rec(46, {600, 600, 900, 900, 600, 750, 900, 700}) // Chord
        .TextAlign(6 | 24)
        .BkMode(2)
        .TextColor(0x00FF00)
        .ExtTextOutW(500, 500, u"Mixed 中文", {60, 60, 60, 60, 60, 60, 120, 120})
        .Rec(83, {0, 0, 0, 0, 1, 0, 0, 100, 900, 3, 76, 4, 0, 0, 999, 999, 80},
             Bytes{'a', 'b', 'c', 0, 5, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0})
        .Polyline16({{0, 0}, {100, 900}, {900, 100}})
        .PolyBezier16({{0, 500}, {300, 0}, {600, 1000}, {900, 500}})
        .Rec(91, {0, 0, 0, 0, 2, 7},
             Bytes{3,   0, 0,  0, 4,  0, 0,  0, 0,  0, 0,  0, 100, 0, 0,  0, 0,  0,
                   100, 0, 10, 0, 10, 0, 50, 0, 10, 0, 50, 0, 50,  0, 10, 0, 50, 0})
        .Rec(8, {0, 0, 0, 0, 1, 3, 3, 700, 700, 800, 700, 750, 800}) // PolyPolygon
        .MoveTo(10, 10)
        .Rec(89, {0, 0, 0, 0, 2}, Bytes{50, 0, 0, 0, 90, 0, 40, 0})                // PolylineTo16
        .Rec(88, {0, 0, 0, 0, 3}, Bytes{0, 1, 0, 1, 200, 1, 0, 0, 100, 0, 200, 0}) // PolyBezierTo16
        .BeginPath()
        .MoveTo(100, 100)
        .LineTo(300, 100)
        .LineTo(200, 300)
        .CloseFigure()
        .Rectangle(400, 400, 600, 600)
        .EndPath()
        .Rec(63, {0, 0, 0, 0}) // StrokeAndFillPath
        .BeginPath()
        .Ellipse(0, 0, 500, 500)
        .EndPath()
        .Rec(67, {1}) // SelectClipPath
        .Rec(75, {64, 5},
             [] { // ExtSelectClipRgn
                 Bytes r;
                 for (std::uint32_t v :
                      {32u, 1u, 2u, 32u, 0u, 0u, 90u, 90u, 0u, 0u, 40u, 40u, 50u, 50u, 90u, 90u})
                     records::put32(r, v);
                 return r;
             }())
        .IntersectClip(0, 0, 900, 900)
        .Rec(29, {100, 100, 200, 200})
        .StretchDibits(100, 100, 300, -200, 0, 0, 2, 3, dib)
        .Rec(76, {0, 0,          0, 0, 500, 500, 2,   3,      0xCC0020,     0,   0, 0x3F800000, 0,
                  0, 0x3F800000, 0, 0, 0,   0,   100, header, 100 + header, bits},
             dib) // BitBlt
        .Rec(76, {0, 0, 0, 0, 700, 700, 50, 50, 0xF00021, 0, 0, 0,
                  0, 0, 0, 0, 0,   0,   0,  0,  0,        0, 0}) // PatBlt form
        .Rec(15, {20, 20, 0xFF})                                 // SetPixelV
        .Rec(40, {3})
        .Select(3) // a deleted brush is not selected
        .Rectangle(800, 800, 990, 990);
    return e.File(2540, 2540);
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Everything pictures, previews and exports put a played recording through.
void exercise(const TRecording& recording) {
    TRasterCanvas target(24, 24);
    recording.Play(target, {-3, 2, 21, 30});
    (void)recording.TextRecords();
    // What plays stays within what a stored recording holds.
    const auto stored = recording.Serialize();
    EXPECT_EQ(TRecording::Deserialize(stored).Serialize(), stored);
}

} // namespace

TEST(MetafilePlayerFuzz, SamplesPlayEveryRecordFamily) {
    for (const Bytes& file : {sampleWmf(true), sampleWmf(false), sampleEmf()}) {
        const auto recording = PlayWindowsMetafile(file);
        ASSERT_TRUE(recording);
        EXPECT_GT(recording->RecordCount(), 30u);
        EXPECT_GE(recording->TextRecords().size(), 2u);
        exercise(*recording);
    }
}

TEST(MetafilePlayerFuzz, MutatedMetafilesPlayOrAreRefused) {
    std::vector<std::string> pool;
    for (const Bytes& b : {sampleWmf(true), sampleWmf(false), sampleEmf()})
        pool.emplace_back(b.begin(), b.end());
    fuzz::Random random;
    const long iterations = fuzz::Iterations(600);
    long played = 0;
    for (long i = 0; i < iterations; ++i) {
        std::string input = pool[random.Below(pool.size())];
        // The headers are mutated less often than the records, so most mutants reach them.
        const std::size_t header = input.size() > 88 ? 88 : 0;
        switch (random.Below(4)) {
        case 0:
            input = fuzz::Mutate(input, random, 3);
            break;
        case 1:
            input = fuzz::Mutate(input, random, 6, header);
            break;
        default: {
            // A field overwritten in place keeps the layout: counts, sizes and offsets go wild.
            const std::size_t at = header + random.Below(input.size() - header);
            const std::uint32_t value = random.OneIn(2) ? fuzz::InterestingValue(random)
                                                        : static_cast<std::uint32_t>(random.Next());
            const std::size_t width = random.OneIn(2) ? 2 : 4;
            for (std::size_t k = 0; k < width && at + k < input.size(); ++k)
                input[at + k] = static_cast<char>(value >> (8 * k));
        }
        }
        const auto recording = PlayWindowsMetafile(bytesOf(input));
        if (!recording) continue;
        ++played;
        SCOPED_TRACE("iteration " + std::to_string(i));
        exercise(*recording);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
        if (pool.size() < 48)
            pool.push_back(std::move(input));
        else
            pool[3 + random.Below(pool.size() - 3)] = std::move(input);
    }
    EXPECT_GT(played, iterations / 2);
}
