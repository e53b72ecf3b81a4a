#pragma once
// The pictures of prepared pages. A picture object keeps only its 1-based number in the cache
// (ImageIndex); the cache appends each picture's bytes, in its graphic class's own format, to a
// few large streams in memory or in temporary files, and finds a picture again by number. Its
// length is not stored: a picture runs to the next one in the same stream, or to the stream's
// end. The designer's undo keeps a cache of its own.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/picture.h"

class TStream;
class TpgwPictureView;
class TpgwXMLItem;

// Where one picture starts.
struct TpgwCacheItem {
    std::int32_t Stream = 0; // index into the cache's streams
    std::int32_t Offset = 0; // position of the picture's first byte in that stream
};

class TpgwCacheList {
public:
    // Appends a record and returns it.
    TpgwCacheItem& Add();
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TpgwCacheItem& GetItems(int index) { return items_.at(static_cast<std::size_t>(index)); }
    const TpgwCacheItem& GetItems(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    void RemoveLast() { items_.pop_back(); }

private:
    std::vector<TpgwCacheItem> items_;
};

class TpgwPictureCache {
public:
    TpgwPictureCache();
    // Clears, deleting the temporary files.
    ~TpgwPictureCache();
    TpgwPictureCache(const TpgwPictureCache&) = delete;
    TpgwPictureCache& operator=(const TpgwPictureCache&) = delete;

    // Both take effect only while the cache has no stream. An empty folder means the system's
    // temporary folder.
    void SetTempDir(const std::string& folder);
    void SetUseFileCache(bool value);
    bool UseFileCache() const { return useFileCache_; }

    // Stores the view's picture and gives the view its number (0 and nothing stored when the
    // picture is empty). A temporary file that cannot be made or written raises the file
    // error; the cache and the view keep what they had.
    void AddPicture(TpgwPictureView* view);
    // Loads the picture the view's ImageIndex numbers; an index of 0 or out of range empties
    // the view's picture. The last pictures loaded are kept decoded: a preview draws the same
    // page again and again.
    void GetPicture(TpgwPictureView* view);
    // Frees the streams and deletes the temporary files.
    void Clear();

    // One child "item" per picture, its bytes as the hexadecimal attribute "stream".
    void SaveToXML(TpgwXMLItem* item);
    // Replaces the content with the pictures of the children of item, numbered in order.
    // Fails as a whole: on an error the cache keeps what it had.
    void LoadFromXML(TpgwXMLItem* item);

    int Count() const { return content_.index.Count(); }
    // The bytes of picture n (1-based); empty when n is out of range.
    std::vector<std::uint8_t> PictureBytes(int n);
    // The full paths of the temporary files, one per file stream.
    const std::vector<std::string>& TempFiles() const { return content_.tempFiles; }
    int StreamCount() const { return static_cast<int>(content_.streams.size()); }

    // A stream is not extended once it holds this many bytes: the next picture starts a new one.
    static constexpr std::int64_t kStreamLimit = 0x6AAAAAAA;
    // For tests: a smaller limit.
    void SetStreamLimitForTesting(std::int64_t limit) { streamLimit_ = limit; }

private:
    struct Content {
        TpgwCacheList index;
        std::vector<std::unique_ptr<TStream>> streams;
        std::vector<std::string> tempFiles;
    };

    // Stream, start and length of picture n (1-based, in range).
    void Range(int n, int& stream, std::int64_t& start, std::int64_t& length);
    // Adds a record at the end of the last stream (a new stream when there is none or the last
    // is full) and positions that stream there.
    TpgwCacheItem& NewItem(Content& content);
    void NewStream(Content& content);
    // Frees the streams, deletes the temporary files and empties the index.
    static void Release(Content& content);

    static constexpr std::size_t kDecodedKept = 16;

    Content content_;
    // The pictures GetPicture decoded last, the latest first, by number.
    std::list<std::pair<int, TPicture>> decoded_;
    std::string tempDir_;
    std::int64_t streamLimit_ = kStreamLimit;
    bool useFileCache_ = false;
};
