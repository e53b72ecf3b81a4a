// PNG decoding: our codec against Qt's reader on the same 2000 x 2000 RGB file.
// Usage: bench_png_decode [file.png]  (without a file, a photo-like image is made and written
// by Qt's own PNG writer).

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/png_object.h"

namespace {

std::vector<std::uint8_t> MakeFile() {
    QImage image(2000, 2000, QImage::Format_RGB32);
    std::uint32_t noiseState = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            noiseState = noiseState * 1664525u + 1013904223u;
            const int noise = static_cast<int>(noiseState >> 28) - 8;
            const double r = 128 + 100 * std::sin(x * 0.004) * std::cos(y * 0.003);
            const double g = 128 + 90 * std::sin((x + y) * 0.002);
            const double b = 128 + 110 * std::cos(x * 0.0015 - y * 0.0025);
            row[x] = qRgb(std::clamp(static_cast<int>(r) + noise, 0, 255),
                          std::clamp(static_cast<int>(g) + noise, 0, 255),
                          std::clamp(static_cast<int>(b) + noise, 0, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

template <class F> double MedianMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::uint8_t> file;
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), {});
    } else {
        file = MakeFile();
    }
    const int runs = 7;
    int sink = 0;
    const double qt = MedianMs(runs, [&] {
        QImage image;
        image.loadFromData(file.data(), static_cast<int>(file.size()), "PNG");
        sink += image.width();
    });
    const double ours = MedianMs(runs, [&] {
        TPNGObject png;
        png.LoadFromBytes(file);
        sink += png.Width();
    });
    std::printf("file: %zu bytes, median of %d runs\n", file.size(), runs);
    std::printf("Qt reader (QImage):   %8.2f ms\n", qt);
    std::printf("TPNGObject:           %8.2f ms\n", ours);
    std::printf("ratio ours / Qt:      %8.2f\n", ours / qt);
    return sink == 0;
}
