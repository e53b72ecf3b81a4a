// Mutated stored recordings: each one loads or raises EInvalidGraphic, and whatever loads
// replays, rasterises and stores again without fault. LUMETRA_FUZZ_ITERATIONS runs it longer.

#include <gtest/gtest.h>

#include <climits>
#include <span>

#include "platform/core/tests/mutator.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"

namespace {

// Every record kind, shape, clip operation and state field the stored form carries.
TRecording sampleRecording() {
    TRecordingCanvas c(48, 40);
    c.Pen().SetColor(clNavy);
    c.Pen().SetWidth(3);
    c.Pen().SetStyle(psInsideFrame);
    c.Pen().SetJoinStyle(pjsBevel);
    c.Brush().SetStyle(bsDiagCross);
    c.Rectangle(2, 2, 20, 16);
    c.Pen().SetWidth(1);
    c.Pen().SetUserDashes({4, 0, 2});
    c.RoundRect(4, 4, 30, 24, 6, 8);
    c.Ellipse(10, 6, 40, 30);
    c.Pen().SetStyle(psDot);
    c.Pen().SetMode(pmXor);
    c.Arc(0, 0, 40, 40, 40, 20, 20, 0);
    c.Pie(5, 5, 35, 35, 35, 20, 20, 5);
    c.Chord(8, 8, 44, 38, 8, 20, 40, 30);
    c.Polyline({{0, 39}, {12, 30}, {24, 39}, {47, 0}});
    c.Polygon({{30, 2}, {46, 10}, {36, 20}});
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clYellow);
    c.FillRect({20, 20, 30, 26});
    c.SaveClip();
    c.IntersectClipRect({0, 0, 40, 36});
    c.ExcludeClipRect({14, 14, 18, 18});
    c.Font().SetName("Arial");
    c.Font().SetHeight(-11);
    c.Font().SetStyle({fsItalic, fsUnderline, fsStrikeOut});
    c.SetBackgroundMode(bmOpaque);
    c.TextOut(2, 26, "Ab 中");
    const TRect box{1, 1, 30, 12};
    const int advances[] = {5, 7, 4};
    c.ExtTextOut(3, 2, ETO_OPAQUE | ETO_CLIPPED, &box, u"x\xD83D\xDE00", advances);
    c.Font().SetOrientation(900);
    c.TextOut(40, 38, "Up");
    c.RestoreClip();
    TRasterImage image(3, 2, 0x80FF0000u);
    image.HasAlpha = true;
    c.DrawImage({40, 30, 46, 34}, image);
    return c.TakeRecording();
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Everything a loaded recording is put through by pictures, previews and exports.
void exercise(const TMetafile& meta) {
    const TRecording& rec = meta.Recording();
    // A frame within the cap may still take seconds to rasterise under ASan; small ones only.
    if (static_cast<long long>(rec.Width()) * rec.Height() <= 96 * 96) {
        const TRasterImage image = meta.ToImage();
        EXPECT_EQ(image.Width, meta.Empty() ? 0 : rec.Width());
    }
    TRasterCanvas target(24, 24);
    meta.Draw(target, {-7, 5, 29, 61});
    meta.Draw(target, {3, 3, 9, 8});
    TRecordingCanvas copy(rec.Width(), rec.Height());
    rec.Play(copy);
    (void)rec.TextRecords();
    // What loaded stores and loads back unchanged, clamped values included.
    const auto stored = rec.Serialize();
    EXPECT_EQ(TRecording::Deserialize(stored).Serialize(), stored);
}

} // namespace

TEST(MetafileFuzz, MutatedRecordingsLoadOrRaise) {
    const TMetafile previous(sampleRecording());
    const auto sampleBytes = previous.SaveToBytes();
    constexpr std::size_t kHeader = 20; // signature, frame and resolution

    // Mutants that load join the pool, so edits pile up on inputs that still parse.
    std::vector<std::string> pool{std::string(sampleBytes.begin(), sampleBytes.end())};
    fuzz::Random random;
    const long iterations = fuzz::Iterations(1000);
    long loaded = 0;
    for (long i = 0; i < iterations; ++i) {
        std::string input = pool[random.Below(pool.size())];
        switch (random.Below(4)) {
        case 0:
            input = fuzz::Mutate(input, random, 3, 0, kHeader);
            break;
        case 1:
            input = fuzz::Mutate(input, random, 6, kHeader);
            break;
        default: {
            // A field overwritten in place keeps the layout, so values reach replay.
            const std::size_t at = kHeader + random.Below(input.size() - kHeader);
            const std::uint32_t value = random.OneIn(2) ? fuzz::InterestingValue(random)
                                                        : static_cast<std::uint32_t>(random.Next());
            for (std::size_t k = 0; k < 4 && at + k < input.size(); ++k)
                input[at + k] = static_cast<char>(value >> (8 * k));
        }
        }
        TMetafile meta = previous;
        try {
            meta.LoadFromBytes(bytesOf(input));
        } catch (const EInvalidGraphic&) {
            ASSERT_EQ(&meta.Recording(), &previous.Recording()) << "iteration " << i;
            continue;
        }
        ++loaded;
        SCOPED_TRACE("iteration " + std::to_string(i));
        exercise(meta);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
        if (pool.size() < 64)
            pool.push_back(std::move(input));
        else
            pool[random.Below(pool.size())] = std::move(input);
    }
    // Replay is only exercised by what loads.
    EXPECT_GT(loaded, iterations / 4);
}
