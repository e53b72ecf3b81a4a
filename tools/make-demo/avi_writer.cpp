#include "tools/make-demo/avi_writer.h"

#include <algorithm>
#include <utility>

namespace {

void U32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void U16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void Tag(std::string& out, const char* fourcc) {
    out.append(fourcc, 4);
}
void PutU32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Opens a chunk or list; returns where its size goes, filled by Close.
std::size_t Open(std::string& out, const char* id, const char* listType = nullptr) {
    Tag(out, id);
    const std::size_t at = out.size();
    U32(out, 0);
    if (listType) Tag(out, listType);
    return at;
}
void Close(std::string& out, std::size_t sizeAt) {
    PutU32(out, sizeAt, static_cast<std::uint32_t>(out.size() - sizeAt - 4));
    if (out.size() % 2) out += '\0'; // chunks are padded to even length
}

} // namespace

std::string MakeMjpegAvi(const std::vector<std::vector<std::uint8_t>>& frames, int width,
                         int height, int framesPerSecond) {
    std::uint32_t largest = 0;
    for (const auto& f : frames)
        largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(f.size()));
    const auto n = static_cast<std::uint32_t>(frames.size());
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    const auto fps = static_cast<std::uint32_t>(framesPerSecond);

    std::string out;
    const std::size_t riff = Open(out, "RIFF", "AVI ");
    const std::size_t hdrl = Open(out, "LIST", "hdrl");
    const std::size_t avih = Open(out, "avih");
    U32(out, 1000000 / fps); // microseconds per frame
    U32(out, largest * fps); // max bytes per second
    U32(out, 0);             // padding granularity
    U32(out, 0x10);          // AVIF_HASINDEX
    U32(out, n);             // total frames
    U32(out, 0);             // initial frames
    U32(out, 1);             // streams
    U32(out, largest);       // suggested buffer size
    U32(out, w);
    U32(out, h);
    for (int i = 0; i < 4; ++i)
        U32(out, 0);
    Close(out, avih);
    const std::size_t strl = Open(out, "LIST", "strl");
    const std::size_t strh = Open(out, "strh");
    Tag(out, "vids");
    Tag(out, "MJPG");
    U32(out, 0);   // flags
    U16(out, 0);   // priority
    U16(out, 0);   // language
    U32(out, 0);   // initial frames
    U32(out, 1);   // scale
    U32(out, fps); // rate: fps / scale frames per second
    U32(out, 0);   // start
    U32(out, n);   // length in frames
    U32(out, largest);
    U32(out, 0xFFFFFFFFu); // quality: default
    U32(out, 0);           // sample size: varies
    U16(out, 0);
    U16(out, 0);
    U16(out, static_cast<std::uint16_t>(w));
    U16(out, static_cast<std::uint16_t>(h));
    Close(out, strh);
    const std::size_t strf = Open(out, "strf");
    U32(out, 40); // BITMAPINFOHEADER
    U32(out, w);
    U32(out, h);
    U16(out, 1);
    U16(out, 24);
    Tag(out, "MJPG");
    U32(out, w * h * 3);
    U32(out, 0);
    U32(out, 0);
    U32(out, 0);
    U32(out, 0);
    Close(out, strf);
    Close(out, strl);
    Close(out, hdrl);

    const std::size_t movi = Open(out, "LIST", "movi");
    const std::size_t moviData = movi + 4; // index offsets count from the "movi" tag
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    for (const auto& f : frames) {
        index.emplace_back(static_cast<std::uint32_t>(out.size() - moviData),
                           static_cast<std::uint32_t>(f.size()));
        const std::size_t chunk = Open(out, "00dc");
        out.append(reinterpret_cast<const char*>(f.data()), f.size());
        Close(out, chunk);
    }
    Close(out, movi);
    const std::size_t idx1 = Open(out, "idx1");
    for (const auto& [offset, size] : index) {
        Tag(out, "00dc");
        U32(out, 0x10); // AVIIF_KEYFRAME
        U32(out, offset);
        U32(out, size);
    }
    Close(out, idx1);
    Close(out, riff);
    return out;
}
