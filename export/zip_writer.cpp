#include "export/zip_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/stream.h"
#include "report/compression.h"
#include "report/utils.h"

namespace {

// Up to this size an entry is stored: deflate's own framing would outweigh what it saves.
constexpr std::int64_t kStoredLimit = 128;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
// The name's bytes are UTF-8, which is what this system's names are.
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

class LittleEndian {
public:
    void U16(std::uint16_t v) {
        bytes_ += static_cast<char>(v & 0xFF);
        bytes_ += static_cast<char>(v >> 8);
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void Text(const std::string& s) { bytes_ += s; }
    void WriteTo(TStream& stream) const {
        stream.WriteBuffer(bytes_.data(), static_cast<std::int64_t>(bytes_.size()));
    }

private:
    std::string bytes_;
};

std::uint16_t nameLength(const std::string& name) {
    if (name.size() > std::numeric_limits<std::uint16_t>::max())
        throw EWriteError("The ZIP entry name is too long: " + name.substr(0, 64) + "...");
    return static_cast<std::uint16_t>(name.size());
}

std::uint32_t fieldValue(std::int64_t value, const char* what) {
    if (value < 0 || value > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max()))
        throw EWriteError(std::string("The ZIP archive is too large: ") + what + " beyond 4 GiB");
    return static_cast<std::uint32_t>(value);
}

bool isAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The whole file, read at the size it has (reading until a doubled buffer comes back short
// would touch twice the memory for the large content part).
std::string readWholeFile(const std::string& path) {
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, file.Size())), '\0');
    std::size_t used = 0;
    while (used < bytes.size()) {
        const std::int64_t n =
            file.Read(bytes.data() + used, static_cast<std::int64_t>(bytes.size() - used));
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    char more[4096];
    for (std::int64_t n; (n = file.Read(more, sizeof more)) > 0;)
        bytes.append(more, static_cast<std::size_t>(n));
    return bytes;
}

bool isSymbolicLink(const std::string& path) {
    struct stat st;
    return ::lstat(ToNativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

// ---- records -----------------------------------------------------------------------------------

void TpgwZipLocalFileHeader::WriteTo(TStream& stream) const {
    LittleEndian out;
    out.U32(Signature);
    out.U16(VersionNeeded);
    out.U16(Flags);
    out.U16(Method);
    out.U16(ModifiedTime);
    out.U16(ModifiedDate);
    out.U32(CRC32);
    out.U32(CompressedSize);
    out.U32(UncompressedSize);
    out.U16(nameLength(FileName));
    out.U16(ExtraLength);
    out.Text(FileName);
    out.WriteTo(stream);
}

TpgwZipFileHeader::TpgwZipFileHeader(const TpgwZipLocalFileHeader& local, std::uint32_t offset)
    : VersionNeeded(local.VersionNeeded), Flags(local.Flags), Method(local.Method),
      ModifiedTime(local.ModifiedTime), ModifiedDate(local.ModifiedDate), CRC32(local.CRC32),
      CompressedSize(local.CompressedSize), UncompressedSize(local.UncompressedSize),
      LocalHeaderOffset(offset), FileName(local.FileName) {}

void TpgwZipFileHeader::WriteTo(TStream& stream) const {
    LittleEndian out;
    out.U32(Signature);
    out.U16(VersionMadeBy);
    out.U16(VersionNeeded);
    out.U16(Flags);
    out.U16(Method);
    out.U16(ModifiedTime);
    out.U16(ModifiedDate);
    out.U32(CRC32);
    out.U32(CompressedSize);
    out.U32(UncompressedSize);
    out.U16(nameLength(FileName));
    out.U16(ExtraLength);
    out.U16(CommentLength);
    out.U16(DiskNumberStart);
    out.U16(InternalAttributes);
    out.U32(ExternalAttributes);
    out.U32(LocalHeaderOffset);
    out.Text(FileName);
    out.WriteTo(stream);
}

void TpgwZipCentralDirectory::WriteTo(TStream& stream) const {
    LittleEndian out;
    out.U32(Signature);
    out.U16(DiskNumber);
    out.U16(DirectoryDisk);
    out.U16(EntriesOnDisk);
    out.U16(TotalEntries);
    out.U32(DirectorySize);
    out.U32(DirectoryOffset);
    out.U16(CommentLength);
    out.WriteTo(stream);
}

TpgwZipLocalFile::TpgwZipLocalFile() = default;
TpgwZipLocalFile::~TpgwZipLocalFile() = default;

// ---- the archive -------------------------------------------------------------------------------

TpgwZipArchive::TpgwZipArchive() = default;
TpgwZipArchive::~TpgwZipArchive() = default;

void TpgwZipArchive::Clear() {
    errors_.Clear();
    fileList_.Clear();
    rootFolder_.clear();
}

void TpgwZipArchive::AddDir(const std::string& folder) {
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    // FindFirst gives the entries in name order, which makes the archive reproducible.
    TSearchRec rec;
    for (int r = FindFirst(dir + "*.*", faDirectory, rec); r == 0; r = FindNext(rec)) {
        const std::string path = dir + rec.Name;
        if ((rec.Attr & faDirectory) != 0) {
            if (!isSymbolicLink(path)) AddDir(path);
        } else {
            AddFile(path);
        }
    }
    FindClose(rec);
}

void TpgwZipArchive::AddFile(const std::string& name) {
    if (!FileExists(name)) {
        errors_.Add("File " + name + " not found!");
        return;
    }
    fileList_.Add(name);
    if (rootFolder_.empty()) rootFolder_ = ExtractFilePath(name);
}

std::string TpgwZipArchive::EntryName(std::string_view path) const {
    std::string name(path);
    if (!rootFolder_.empty()) {
        const std::size_t at = name.find(rootFolder_);
        if (at != std::string::npos) name.erase(at, rootFolder_.size());
    }
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::uint32_t TpgwZipArchive::DosDateTime(TDateTime local) {
    int year, month, day, hour, minute, second, ms;
    DecodeDate(local, year, month, day);
    DecodeTime(local, hour, minute, second, ms);
    if (year < 1980) return (1u << 5 | 1u) << 16;
    if (year > 2107) {
        year = 2107, month = 12, day = 31;
        hour = 23, minute = 59, second = 58;
    }
    const auto date = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
    const auto time = static_cast<std::uint32_t>(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

void TpgwZipArchive::SaveToStream(TStream& stream) {
    struct Entry {
        std::string Path;
        std::string Name;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(fileList_.Count()));
    for (int i = 0; i < fileList_.Count(); ++i)
        entries.push_back({fileList_.Strings(i), EntryName(fileList_.Strings(i))});
    std::stable_partition(entries.begin(), entries.end(),
                          [](const Entry& e) { return e.Name == "mimetype"; });
    if (entries.size() > std::numeric_limits<std::uint16_t>::max())
        throw EWriteError("The ZIP archive has too many files: " + std::to_string(entries.size()));

    std::vector<std::unique_ptr<TpgwZipLocalFile>> written;
    written.reserve(entries.size());
    for (const Entry& entry : entries) {
        auto file = std::make_unique<TpgwZipLocalFile>();
        TpgwZipLocalFileHeader& h = file->Header;
        h.FileName = entry.Name;
        if (!isAscii(h.FileName)) h.Flags |= kFlagUtf8Name;

        TStringStream content(readWholeFile(entry.Path));
        const std::int64_t size = content.Size();
        file->Data = std::make_unique<TMemoryStream>();
        if (size <= kStoredLimit || entry.Name == "mimetype") {
            h.Method = kMethodStored;
            file->Data->WriteBuffer(content.DataString().data(), size);
        } else {
            h.Method = kMethodDeflated;
            // A zlib stream is raw deflate between a 2-byte header and the Adler-32 checksum.
            TMemoryStream packed;
            CompressStream(content, packed, TZCompressionLevel::zcDefault);
            file->Data->WriteBuffer(packed.Memory() + 2, packed.Size() - 6);
        }
        h.CompressedSize = fieldValue(file->Data->Size(), "an entry");
        h.UncompressedSize = fieldValue(size, "a file");
        h.CRC32 = StreamCRC32(content);
        file->Offset = fieldValue(stream.Position(), "the entries");

        TDateTime created = 0;
        const std::uint32_t stamp =
            FileCreationTime(entry.Path, created) ? DosDateTime(created) : DosDateTime(0);
        h.ModifiedDate = static_cast<std::uint16_t>(stamp >> 16);
        h.ModifiedTime = static_cast<std::uint16_t>(stamp & 0xFFFF);

        h.WriteTo(stream);
        file->Data->SaveToStream(stream);
        file->Data.reset();
        written.push_back(std::move(file));
        if (OnProgress) OnProgress(this);
    }

    TpgwZipCentralDirectory end;
    const std::int64_t start = stream.Position();
    for (auto& file : written) {
        TpgwZipFileHeader(file->Header, file->Offset).WriteTo(stream);
        file.reset();
    }
    end.EntriesOnDisk = end.TotalEntries = static_cast<std::uint16_t>(entries.size());
    end.DirectorySize = fieldValue(stream.Position() - start, "the central directory");
    end.DirectoryOffset = fieldValue(start, "the entries");
    end.WriteTo(stream);
}
