#include "platform/graphics/graphic.h"

#include <mutex>

#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/icon.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/windows_metafile.h"

TGraphic::~TGraphic() = default;

void TGraphic::Changed()
{
    if (OnChange) OnChange(*this);
}

void TGraphic::SetTransparent(bool value)
{
    if (value == transparent_) return;
    transparent_ = value;
    Changed();
}

void TGraphic::Assign(const TGraphic& source)
{
    throw EInvalidGraphicOperation(std::string("Cannot assign a ") + source.ClassName() + " to a " + ClassName());
}

void TGraphic::LoadFromStream(TStream& stream) { LoadFromBytes(ReadStreamToEnd(stream)); }

void TGraphic::SaveToStream(TStream& stream) const { WriteStreamAll(stream, SaveToBytes()); }

void TGraphic::LoadFromFile(const std::string& path) { LoadFromBytes(ReadFileBytes(path)); }

void TGraphic::SaveToFile(const std::string& path) const { WriteFileAtomically(path, SaveToBytes()); }

std::vector<std::uint8_t> ReadStreamToEnd(TStream& stream)
{
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[65536];
    for (;;) {
        const std::int64_t n = stream.Read(buffer, sizeof buffer);
        if (n <= 0) break;
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

void WriteStreamAll(TStream& stream, std::span<const std::uint8_t> data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const std::int64_t n = stream.Write(data.data() + done, static_cast<std::int64_t>(data.size() - done));
        if (n <= 0) throw EWriteError("Stream write error");
        done += static_cast<std::size_t>(n);
    }
}

// The core helpers read stored Windows paths and write through a temporary file that keeps
// links, the file's mode and the data on the disk; these only adapt the byte type.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    const std::string bytes = ReadFileBytes(std::string_view(path));
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data)
{
    WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<TGraphicFormat> formats;
};

Registry& registry()
{
    static Registry* r = [] {
        auto* reg = new Registry;
        reg->formats.push_back({"TBitmap", "bmp", "Bitmaps", [] { return std::make_unique<TBitmap>(); },
                                [](std::span<const std::uint8_t> d) { return d.size() >= 2 && d[0] == 'B' && d[1] == 'M'; }});
        reg->formats.push_back({"TJPEGImage", "jpg", "JPEG Image File",
                                [] { return std::make_unique<TJPEGImage>(); },
                                [](std::span<const std::uint8_t> d) {
                                    return d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF;
                                }});
        reg->formats.push_back({"TJPEGImage", "jpeg", "JPEG Image File",
                                [] { return std::make_unique<TJPEGImage>(); }, nullptr});
        reg->formats.push_back({"TMetafile", "lmf", "Lumetra Metafile", [] { return std::make_unique<TMetafile>(); },
                                [](std::span<const std::uint8_t> d) { return TRecording::IsRecording(d); }});
        reg->formats.push_back({"TWindowsMetafile", "wmf", "Windows Metafile",
                                [] { return std::make_unique<TWindowsMetafile>(); },
                                [](std::span<const std::uint8_t> d) { return TWindowsMetafile::IsPlaceableWmf(d); }});
        reg->formats.push_back({"TWindowsMetafile", "emf", "Enhanced Metafile",
                                [] { return std::make_unique<TWindowsMetafile>(); },
                                [](std::span<const std::uint8_t> d) { return TWindowsMetafile::IsEmf(d); }});
        reg->formats.push_back({"TIcon", "ico", "Icon", [] { return std::make_unique<TIcon>(); },
                                [](std::span<const std::uint8_t> d) { return TIcon::IsIcon(d); }});
        return reg;
    }();
    return *r;
}

}  // namespace

void RegisterGraphicFormat(TGraphicFormat format)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto& f : r.formats) {
        if (f.ClassName == format.ClassName && SameText(f.Extension, format.Extension)) {
            f = std::move(format);
            return;
        }
    }
    r.formats.push_back(std::move(format));
}

void UnregisterGraphicClass(std::string_view className)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.formats, [&](const TGraphicFormat& f) { return f.ClassName == className; });
}

std::vector<TGraphicFormat> GraphicFormats()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.formats;
}

std::unique_ptr<TGraphic> CreateGraphicForContent(std::span<const std::uint8_t> data)
{
    for (const auto& f : GraphicFormats())
        if (f.Matches && f.Matches(data)) return f.Create();
    return nullptr;
}

std::unique_ptr<TGraphic> CreateGraphicForExtension(std::string_view extension)
{
    if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
    for (const auto& f : GraphicFormats())
        if (SameText(f.Extension, extension)) return f.Create();
    return nullptr;
}

std::unique_ptr<TGraphic> CreateGraphicByClassName(std::string_view className)
{
    for (const auto& f : GraphicFormats())
        if (SameText(f.ClassName, className)) return f.Create();
    return nullptr;
}
