// preview-images: draws the preview's button strip and writes it as the packed bitmap the report
// library embeds (report/resources/preview_buttons.gz). Run it again after changing icons.cpp:
//   preview-images report/resources/preview_buttons.gz

#include <zlib.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "tools/preview-images/icons.h"

namespace {

// gzip framing whose time field carries the big-endian Adler-32 of the content, which is what
// the resource unpacker checks.
std::vector<std::uint8_t> packResource(const std::vector<std::uint8_t>& content,
                                       const std::string& name) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflate cannot start");
    std::vector<std::uint8_t> raw(deflateBound(&z, uLong(content.size())));
    z.next_in = const_cast<Bytef*>(content.data());
    z.avail_in = uInt(content.size());
    z.next_out = raw.data();
    z.avail_out = uInt(raw.size());
    const int rc = deflate(&z, Z_FINISH);
    raw.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");

    const uLong adler = adler32(adler32(0, nullptr, 0), content.data(), uInt(content.size()));
    const uLong crc = crc32(crc32(0, nullptr, 0), content.data(), uInt(content.size()));
    std::vector<std::uint8_t> out = {0x1F, 0x8B, 0x08, 0x08};
    for (int shift : {24, 16, 8, 0})
        out.push_back(std::uint8_t(adler >> shift));
    out.push_back(0x02); // maximum compression
    out.push_back(0x03); // Unix
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), raw.begin(), raw.end());
    for (int shift : {0, 8, 16, 24})
        out.push_back(std::uint8_t(crc >> shift));
    for (int shift : {0, 8, 16, 24})
        out.push_back(std::uint8_t(content.size() >> shift));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: preview-images <output file>\n");
        return 2;
    }
    try {
        TBitmap strip;
        strip.AssignImage(DrawPreviewButtonStrip());
        strip.SetPixelFormat(pf24bit);
        const std::vector<std::uint8_t> packed =
            packResource(strip.SaveToBytes(), "PreviewButtons.bmp");
        TMemoryStream file;
        file.WriteBuffer(packed.data(), std::int64_t(packed.size()));
        file.SaveToFile(argv[1]); // replaces the old file only when complete
    } catch (const std::exception& e) {
        std::fprintf(stderr, "preview-images: %s\n", e.what());
        return 1;
    }
    return 0;
}
