// Graphics figures: JPEG thumbnails by scaled decoding, and text measuring throughput.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/graphics/font_measurer.h"
#include "platform/graphics/jpeg_image.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A camera-sized frame with smooth shading and fine noise, so it compresses like a photograph.
TRasterImage syntheticFrame(int frame)
{
    TRasterImage image(1024, 768);
    std::uint32_t state = 2463534242u + frame;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;
            const int noise = static_cast<int>(state & 15);
            const int v = (x * 255 / 1024 + y * 255 / 768) / 2 + noise;
            image.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(v & 0xFF) << 16 |
                             static_cast<std::uint32_t>((v / 2 + frame * 9) & 0xFF) << 8 | ((255 - v) & 0xFF);
        }
    return image;
}

}  // namespace

int main()
{
    std::vector<std::vector<std::uint8_t>> files;
    for (int i = 0; i < 20; ++i) files.push_back(EncodeJpeg(syntheticFrame(i), 85));

    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (const auto& f : files) {
            const TRasterImage thumb = DecodeJpegThumbnail(f, 106, 80);
            if (thumb.Width != 106 || thumb.Height != 80) std::printf("unexpected thumbnail size\n");
        }
        best = std::min(best, msSince(start));
    }
    std::printf("jpeg thumbnails: 20 x 1024x768 -> 106x80 in %.1f ms (best of 5)\n", best);

    const auto fullStart = Clock::now();
    for (const auto& f : files) DecodeJpeg(f, 1);
    std::printf("jpeg full decode: 20 x 1024x768 in %.1f ms\n", msSince(fullStart));

    // About 1 MB of UTF-8: report lines mixing Latin and CJK.
    const std::string line = "Liver 肝脏 normal size, echo 回声均匀 12.5 cm; Kidney 肾 left 10.2 x 4.8 cm. ";
    std::string text;
    while (text.size() < (1u << 20)) text += line;
    const std::u16string units = Utf8ToUtf16Lenient(text);
    auto measurer = TFontMeasurer::Get("Arial", {}, 83);
    std::vector<int> advances(units.size());
    measurer->Advances(units, advances.data());  // warm the per-character caches
    double bestMeasure = 1e9;
    long long total = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        total += measurer->Advances(units, advances.data());
        bestMeasure = std::min(bestMeasure, msSince(start));
    }
    const double mb = text.size() / 1048576.0;
    std::printf("text measuring: %.2f MB (%zu UTF-16 units) in %.2f ms = %.0f MB/s (sum %lld)\n", mb, units.size(),
                bestMeasure, mb / (bestMeasure / 1000.0), total);

    // A size not measured before fills its advance cache as it goes (the faces are loaded).
    auto cold = TFontMeasurer::Get("Arial", {}, 97);
    const auto coldStart = Clock::now();
    cold->Advances(units, advances.data());
    const double coldMs = msSince(coldStart);
    std::printf("text measuring, new size: %.2f ms = %.0f MB/s\n", coldMs, mb / (coldMs / 1000.0));
    return 0;
}
