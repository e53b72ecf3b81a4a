#pragma once
// The ZIP writer of the OpenDocument packages: every file of a folder tree packed into one
// single-disk archive written to a stream (local header and data of each file, the central
// directory, the end record). Files of up to 128 bytes are stored, larger ones deflated.
//
// The archive is the same for the same folder on every run: a folder's entries are taken in
// name order (the system lists them in no fixed order), and an entry "mimetype" at the root goes
// first and is never deflated, where packages that carry their type there need it. Names are
// written as the system gives them (UTF-8); one outside ASCII carries the flag that says so.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/date_time.h"
#include "platform/core/object.h"
#include "platform/core/string_list.h"

class TMemoryStream;
class TStream;

// The local header that goes before each entry's data.
class TpgwZipLocalFileHeader {
public:
    static constexpr std::uint32_t kSignature = 0x04034B50;
    static constexpr std::uint32_t kFixedSize = 30;

    std::uint32_t Signature = kSignature;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flags = 0;
    // 0 stored, 8 deflated.
    std::uint16_t Method = 0;
    // DOS time and date, local time, 2-second resolution.
    std::uint16_t ModifiedTime = 0;
    std::uint16_t ModifiedDate = 0;
    std::uint32_t CRC32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t ExtraLength = 0;
    std::string FileName;

    void WriteTo(TStream& stream) const;
};

// A central directory entry.
class TpgwZipFileHeader {
public:
    static constexpr std::uint32_t kSignature = 0x02014B50;

    // From the entry's local header.
    TpgwZipFileHeader(const TpgwZipLocalFileHeader& local, std::uint32_t offset);

    std::uint32_t Signature = kSignature;
    std::uint16_t VersionMadeBy = 20;
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t ModifiedTime = 0;
    std::uint16_t ModifiedDate = 0;
    std::uint32_t CRC32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t ExtraLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    // Where the entry's local header starts.
    std::uint32_t LocalHeaderOffset = 0;
    std::string FileName;

    void WriteTo(TStream& stream) const;
};

// The end-of-central-directory record.
class TpgwZipCentralDirectory {
public:
    static constexpr std::uint32_t kSignature = 0x06054B50;
    static constexpr std::uint32_t kSize = 22;

    std::uint32_t Signature = kSignature;
    std::uint16_t DiskNumber = 0;
    std::uint16_t DirectoryDisk = 0;
    std::uint16_t EntriesOnDisk = 0;
    std::uint16_t TotalEntries = 0;
    std::uint32_t DirectorySize = 0;
    std::uint32_t DirectoryOffset = 0;
    std::uint16_t CommentLength = 0;

    void WriteTo(TStream& stream) const;
};

// One entry while the archive is written: its header, its stored or compressed bytes until
// they are written, and where its header went.
struct TpgwZipLocalFile {
    TpgwZipLocalFileHeader Header;
    std::unique_ptr<TMemoryStream> Data;
    std::uint32_t Offset = 0;

    TpgwZipLocalFile();
    ~TpgwZipLocalFile();
};

class TpgwZipArchive : public TObject {
public:
    TpgwZipArchive();
    ~TpgwZipArchive() override;
    TpgwZipArchive(const TpgwZipArchive&) = delete;
    TpgwZipArchive& operator=(const TpgwZipArchive&) = delete;

    // Removed from the front of every file's path to give its entry name; ends with a
    // separator.
    const std::string& RootFolder() const { return rootFolder_; }
    void SetRootFolder(const std::string& folder) { rootFolder_ = folder; }
    // "File <name> not found!" for every file added that did not exist.
    TStringList& Errors() { return errors_; }
    // The full path of every file to pack, in adding order.
    TStringList& FileList() { return fileList_; }
    // Called after each file has been written.
    TNotifyEvent OnProgress;

    // Every file below folder, depth first, each folder's entries in name order (folders
    // walked where they come). Hidden entries are left out, and so are folders reached
    // through a symbolic link, which could lead back up the tree. Nothing for a missing folder.
    void AddDir(const std::string& folder);
    // A missing file goes to Errors instead. The first file added sets an empty RootFolder to
    // its own folder.
    void AddFile(const std::string& name);
    int FileCount() const { return fileList_.Count(); }
    void Clear();

    // Writes the archive at the stream's position. A file that cannot be read raises the
    // platform's file error; so does an archive beyond the format's limits (65535 entries,
    // 4 GiB).
    void SaveToStream(TStream& stream);

    // The entry name of a path: RootFolder's first occurrence removed, "\" turned into "/".
    std::string EntryName(std::string_view path) const;
    // A local time as a DOS date (high word) and time (low word); the second is rounded down
    // to an even one. Times before 1980 give 1980-01-01 00:00:00, after 2107 the last one.
    static std::uint32_t DosDateTime(TDateTime local);

private:
    std::string rootFolder_;
    TStringList errors_;
    TStringList fileList_;
};
