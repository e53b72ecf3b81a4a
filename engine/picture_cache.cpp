#include "engine/picture_cache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/graphics/graphic.h"
#include "platform/graphics/picture.h"
#include "report/picture_view.h"
#include "report/xml_document.h"

namespace {

// A read-only window of another stream: a graphic that reads to the end of its stream reads
// exactly one picture, and the size it sees is the picture's length.
class TBoundedStream : public TStream {
public:
    TBoundedStream(TStream& base, std::int64_t start, std::int64_t length)
        : base_(base), start_(start), length_(length) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        count = std::min(count, length_ - position_);
        if (count <= 0) return 0;
        base_.SetPosition(start_ + position_);
        const std::int64_t n = base_.Read(buffer, count);
        if (n > 0) position_ += n;
        return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const std::int64_t from = origin == TSeekOrigin::soBeginning ? 0
                                  : origin == TSeekOrigin::soCurrent ? position_
                                                                     : length_;
        if (from + offset < 0) throw EStreamError("Seek before the start of a picture");
        position_ = from + offset;
        return position_;
    }
    std::int64_t Size() override { return length_; }
    void SetSize(std::int64_t) override { throw EStreamError("A cached picture is read-only"); }

private:
    TStream& base_;
    std::int64_t start_, length_;
    std::int64_t position_ = 0;
};

} // namespace

TpgwCacheItem& TpgwCacheList::Add() {
    return items_.emplace_back();
}

TpgwPictureCache::TpgwPictureCache() = default;

TpgwPictureCache::~TpgwPictureCache() {
    Clear();
}

void TpgwPictureCache::SetTempDir(const std::string& folder) {
    if (content_.streams.empty()) tempDir_ = folder;
}

void TpgwPictureCache::SetUseFileCache(bool value) {
    if (content_.streams.empty()) useFileCache_ = value;
}

void TpgwPictureCache::Release(Content& content) {
    // Closed before they are deleted.
    content.streams.clear();
    for (const std::string& name : content.tempFiles)
        DeleteFile(name);
    content.tempFiles.clear();
    content.index.Clear();
}

void TpgwPictureCache::Clear() {
    Release(content_);
    decoded_.clear();
}

void TpgwPictureCache::NewStream(Content& content) {
    if (!useFileCache_) {
        content.streams.push_back(std::make_unique<TMemoryStream>());
        return;
    }
    // A folder stored on Windows (a drive letter) names nothing here: the system's folder
    // serves. The full path is kept, however long.
    std::string folder = tempDir_.empty() ? std::string() : ToNativePath(tempDir_);
    if (folder.empty()) folder = GetTempDir();
    std::string name = IncludeTrailingPathDelimiter(folder) + "pgPicXXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw EFCreateError("Cannot create file \"" + name + "\". " + std::strerror(errno));
    ::close(fd);
    try {
        content.streams.reserve(content.streams.size() + 1);
        content.tempFiles.reserve(content.tempFiles.size() + 1);
        content.streams.push_back(std::make_unique<TFileStream>(name, fmOpenReadWrite));
        content.tempFiles.push_back(name);
    } catch (...) {
        DeleteFile(name);
        throw;
    }
}

TpgwCacheItem& TpgwPictureCache::NewItem(Content& content) {
    if (content.streams.empty() || content.streams.back()->Size() >= streamLimit_)
        NewStream(content);
    TStream& stream = *content.streams.back();
    const std::int64_t offset = stream.Size();
    TpgwCacheItem& item = content.index.Add();
    item.Stream = static_cast<std::int32_t>(content.streams.size() - 1);
    item.Offset = static_cast<std::int32_t>(offset);
    stream.SetPosition(offset);
    return item;
}

void TpgwPictureCache::AddPicture(TpgwPictureView* view) {
    if (!view) return;
    const TPicture& picture = *view->Picture();
    if (picture.Empty()) {
        view->SetImageIndex(0);
        return;
    }
    const std::vector<std::uint8_t> bytes = picture.Graphic()->SaveToBytes();
    const std::size_t streamCount = content_.streams.size();
    const TpgwCacheItem item = NewItem(content_);
    try {
        WriteStreamAll(*content_.streams[static_cast<std::size_t>(item.Stream)], bytes);
    } catch (...) {
        // Back to what the cache held: the record, the partial bytes and a new stream go.
        content_.index.RemoveLast();
        content_.streams[static_cast<std::size_t>(item.Stream)]->SetSize(item.Offset);
        if (content_.streams.size() > streamCount) {
            content_.streams.pop_back();
            if (useFileCache_) {
                DeleteFile(content_.tempFiles.back());
                content_.tempFiles.pop_back();
            }
        }
        throw;
    }
    view->SetImageIndex(Count());
}

void TpgwPictureCache::Range(int n, int& stream, std::int64_t& start, std::int64_t& length) {
    const TpgwCacheItem& item = content_.index.GetItems(n - 1);
    stream = item.Stream;
    start = item.Offset;
    if (n < Count() && content_.index.GetItems(n).Stream == item.Stream)
        length = content_.index.GetItems(n).Offset - start;
    else
        length = content_.streams[static_cast<std::size_t>(stream)]->Size() - start;
}

void TpgwPictureCache::GetPicture(TpgwPictureView* view) {
    if (!view) return;
    const int n = view->ImageIndex();
    if (n <= 0 || n > Count()) {
        view->Picture()->Clear();
        return;
    }
    auto kept = std::find_if(decoded_.begin(), decoded_.end(),
                             [n](const auto& entry) { return entry.first == n; });
    if (kept != decoded_.end()) {
        decoded_.splice(decoded_.begin(), decoded_, kept);
        view->Picture()->Assign(kept->second);
        return;
    }
    int stream;
    std::int64_t start, length;
    Range(n, stream, start, length);
    TBoundedStream picture(*content_.streams[static_cast<std::size_t>(stream)], start, length);
    view->LoadPictureData(picture, false);
    decoded_.emplace_front(n, *view->Picture());
    if (decoded_.size() > kDecodedKept) decoded_.pop_back();
}

std::vector<std::uint8_t> TpgwPictureCache::PictureBytes(int n) {
    if (n <= 0 || n > Count()) return {};
    int stream;
    std::int64_t start, length;
    Range(n, stream, start, length);
    TBoundedStream picture(*content_.streams[static_cast<std::size_t>(stream)], start, length);
    return ReadStreamToEnd(picture);
}

void TpgwPictureCache::SaveToXML(TpgwXMLItem* item) {
    if (!item) return;
    item->Clear();
    for (int n = 1; n <= Count(); ++n) {
        int stream;
        std::int64_t start, length;
        Range(n, stream, start, length);
        TBoundedStream picture(*content_.streams[static_cast<std::size_t>(stream)], start, length);
        TpgwXMLItem* child = item->Add();
        child->SetName("item");
        child->SetProp("stream", StreamToHex(picture));
    }
}

void TpgwPictureCache::LoadFromXML(TpgwXMLItem* item) {
    if (!item) return;
    Content loaded;
    try {
        for (int i = 0; i < item->Count(); ++i) {
            TMemoryStream bytes;
            HexToStream(item->Items(i)->Prop("stream"), bytes);
            NewItem(loaded);
            if (bytes.Size() > 0) loaded.streams.back()->WriteBuffer(bytes.Memory(), bytes.Size());
        }
    } catch (...) {
        Release(loaded);
        throw;
    }
    Release(content_);
    content_ = std::move(loaded);
    decoded_.clear();
}
