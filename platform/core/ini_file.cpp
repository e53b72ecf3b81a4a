// INI files: a line-preserving document shared by TIniFile (on disk, written at once) and
// TMemIniFile (in memory).
#include "platform/core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/ini_text.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/system_reason.h"

namespace {

constexpr int kUtf8CodePage = 65001;
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kNewLine = "\r\n";

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

// ---- IniDocument -------------------------------------------------------------------------------

class IniDocument {
public:
    explicit IniDocument(int codePage) : codePage_(codePage) {}

    void Parse(std::string_view bytes);
    std::string Serialize() const;
    void Clear() {
        lines_.clear();
        bom_ = false;
    }

    const std::string* Find(std::string_view section, std::string_view ident) const;
    std::vector<std::string> Keys(std::string_view section) const;
    std::vector<std::string> Sections() const;
    std::vector<std::string> SectionValues(std::string_view section) const;
    // Each returns whether the document changed.
    bool Set(std::string_view section, std::string_view ident, std::string_view value);
    bool AddSection(std::string_view section);
    bool EraseSection(std::string_view section);
    bool DeleteKey(std::string_view section, std::string_view ident);

    std::vector<std::string> Lines() const;
    void SetLines(const std::vector<std::string>& lines);

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        std::string raw;  // bytes as in the file, kept so untouched lines stay byte for byte
        std::string eol;  // "\r\n", "\n" or "" for a last line without one
        std::string text; // UTF-8
        Kind kind = Kind::Other;
        std::string name;   // section or key, trimmed
        std::string folded; // name for comparison
        std::string value;  // trimmed
    };

    int CodePage() const { return bom_ ? kUtf8CodePage : codePage_; }
    std::string Decode(std::string_view bytes) const;
    std::string Encode(std::string_view text) const;
    Line MakeLine(std::string text) const; // raises EIniFileException when not encodable
    static void Classify(Line& line);
    int FindSection(const std::string& folded) const;
    int SectionEnd(int header) const;
    void EnsureLastLineEnded();

    std::vector<Line> lines_;
    int codePage_;
    bool bom_ = false;
};

std::string IniDocument::Decode(std::string_view bytes) const {
    if (CodePage() == kUtf8CodePage || IsAscii(bytes)) return std::string(bytes);
    try {
        return CodePageToUtf8(bytes, CodePage());
    } catch (const EEncodingError&) {
        return CodePageToUtf8Lossy(bytes, CodePage()); // a stray byte must not hide the file
    }
}

std::string IniDocument::Encode(std::string_view text) const {
    if (CodePage() == kUtf8CodePage || IsAscii(text)) return std::string(text);
    try {
        return Utf8ToCodePage(text, CodePage());
    } catch (const EEncodingError& e) {
        throw EIniFileException("Cannot store \"" + std::string(text) + "\" in code page " +
                                std::to_string(CodePage()) + ": " + e.Message());
    }
}

void IniDocument::Classify(Line& line) {
    line.kind = Kind::Other;
    line.name.clear();
    line.folded.clear();
    line.value.clear();
    const std::string_view t = TrimView(line.text);
    if (t.empty() || t.front() == ';') return;
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close == std::string_view::npos) return;
        line.kind = Kind::Section;
        line.name = TrimView(t.substr(1, close - 1));
    } else {
        const auto eq = t.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view name = TrimView(t.substr(0, eq));
        if (name.empty()) return;
        line.kind = Kind::Entry;
        line.name = name;
        line.value = TrimView(t.substr(eq + 1));
    }
    line.folded = AnsiLowerCase(line.name);
}

IniDocument::Line IniDocument::MakeLine(std::string text) const {
    Line line;
    line.raw = Encode(text);
    line.eol = kNewLine;
    line.text = std::move(text);
    Classify(line);
    return line;
}

void IniDocument::Parse(std::string_view bytes) {
    Clear();
    if (bytes.substr(0, kBom.size()) == kBom) {
        bom_ = true;
        bytes.remove_prefix(kBom.size());
    }
    while (!bytes.empty()) {
        Line line;
        const auto nl = bytes.find('\n');
        std::string_view raw = bytes.substr(0, nl);
        if (nl == std::string_view::npos) {
            bytes = {};
        } else {
            bytes.remove_prefix(nl + 1);
            line.eol = "\n";
            if (!raw.empty() && raw.back() == '\r') {
                raw.remove_suffix(1);
                line.eol = kNewLine;
            }
        }
        line.raw = raw;
        line.text = Decode(raw);
        Classify(line);
        lines_.push_back(std::move(line));
    }
}

std::string IniDocument::Serialize() const {
    std::string out;
    if (bom_) out += kBom;
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

int IniDocument::FindSection(const std::string& folded) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && lines_[i].folded == folded)
            return static_cast<int>(i);
    return -1;
}

int IniDocument::SectionEnd(int header) const {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section)
        ++i;
    return static_cast<int>(i);
}

const std::string* IniDocument::Find(std::string_view section, std::string_view ident) const {
    const int h = FindSection(AnsiLowerCase(TrimView(section)));
    if (h < 0) return nullptr;
    const std::string key = AnsiLowerCase(TrimView(ident));
    for (int i = h + 1, end = SectionEnd(h); i < end; ++i)
        if (lines_[i].kind == Kind::Entry && lines_[i].folded == key) return &lines_[i].value;
    return nullptr;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const int h = FindSection(AnsiLowerCase(TrimView(section)));
    if (h < 0) return keys;
    for (int i = h + 1, end = SectionEnd(h); i < end; ++i)
        if (lines_[i].kind == Kind::Entry) keys.push_back(lines_[i].name);
    return keys;
}

std::vector<std::string> IniDocument::SectionValues(std::string_view section) const {
    std::vector<std::string> values;
    const int h = FindSection(AnsiLowerCase(TrimView(section)));
    if (h < 0) return values;
    for (int i = h + 1, end = SectionEnd(h); i < end; ++i)
        if (lines_[i].kind == Kind::Entry) values.push_back(lines_[i].name + "=" + lines_[i].value);
    return values;
}

std::vector<std::string> IniDocument::Sections() const {
    std::vector<std::string> names;
    std::vector<const std::string*> seen;
    for (const Line& line : lines_) {
        if (line.kind != Kind::Section) continue;
        bool duplicate = false;
        for (const std::string* s : seen)
            duplicate = duplicate || *s == line.folded;
        if (duplicate) continue;
        seen.push_back(&line.folded);
        names.push_back(line.name);
    }
    return names;
}

void IniDocument::EnsureLastLineEnded() {
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = kNewLine;
}

namespace {

// Such names could not be read back and would break the lines around them.
void CheckSectionName(std::string_view section) {
    const std::string_view name = TrimView(section);
    if (name.empty() || HasLineBreak(name) || name.find(']') != std::string_view::npos)
        throw EIniFileException("Invalid section name \"" + std::string(section) + "\"");
}

} // namespace

bool IniDocument::AddSection(std::string_view section) {
    CheckSectionName(section);
    const std::string_view name = TrimView(section);
    if (FindSection(AnsiLowerCase(name)) >= 0) return false;
    Line header = MakeLine("[" + std::string(name) + "]");
    EnsureLastLineEnded();
    lines_.push_back(std::move(header));
    return true;
}

bool IniDocument::Set(std::string_view section, std::string_view ident, std::string_view value) {
    const std::string_view sectionName = TrimView(section);
    const std::string_view key = TrimView(ident);
    CheckSectionName(section);
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';')
        throw EIniFileException("Invalid key name \"" + std::string(ident) + "\"");
    if (HasLineBreak(value))
        throw EIniFileException("Invalid value for \"" + std::string(ident) +
                                "\": line breaks cannot be stored");

    const int h = FindSection(AnsiLowerCase(sectionName));
    if (h >= 0) {
        const std::string folded = AnsiLowerCase(key);
        const int end = SectionEnd(h);
        for (int i = h + 1; i < end; ++i) {
            Line& line = lines_[i];
            if (line.kind != Kind::Entry || line.folded != folded) continue;
            if (line.value == TrimView(value)) return false;
            Line replaced = MakeLine(line.name + "=" + std::string(value));
            replaced.eol = line.eol.empty() ? std::string(kNewLine) : line.eol;
            line = std::move(replaced);
            return true;
        }
        // A new key goes after the section's last non-blank line, before any blank separator.
        int at = h;
        for (int i = h + 1; i < end; ++i)
            if (!TrimView(lines_[i].text).empty()) at = i;
        Line entry = MakeLine(std::string(key) + "=" + std::string(value));
        if (lines_[at].eol.empty()) lines_[at].eol = kNewLine;
        lines_.insert(lines_.begin() + at + 1, std::move(entry));
        return true;
    }
    Line header = MakeLine("[" + std::string(sectionName) + "]");
    Line entry = MakeLine(std::string(key) + "=" + std::string(value));
    EnsureLastLineEnded();
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
    return true;
}

bool IniDocument::EraseSection(std::string_view section) {
    const std::string folded = AnsiLowerCase(TrimView(section));
    bool changed = false;
    for (int h = FindSection(folded); h >= 0; h = FindSection(folded)) {
        lines_.erase(lines_.begin() + h, lines_.begin() + SectionEnd(h));
        changed = true;
    }
    return changed;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view ident) {
    const int h = FindSection(AnsiLowerCase(TrimView(section)));
    if (h < 0) return false;
    const std::string folded = AnsiLowerCase(TrimView(ident));
    bool changed = false;
    for (int i = SectionEnd(h) - 1; i > h; --i) {
        if (lines_[i].kind == Kind::Entry && lines_[i].folded == folded) {
            lines_.erase(lines_.begin() + i);
            changed = true;
        }
    }
    return changed;
}

std::vector<std::string> IniDocument::Lines() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const Line& line : lines_)
        out.push_back(line.text);
    return out;
}

void IniDocument::SetLines(const std::vector<std::string>& lines) {
    std::vector<Line> replaced;
    replaced.reserve(lines.size());
    for (const std::string& text : lines)
        replaced.push_back(MakeLine(text));
    lines_ = std::move(replaced);
}

// ---- TCustomIniFile ----------------------------------------------------------------------------

TCustomIniFile::~TCustomIniFile() = default;

int TCustomIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                int defaultValue) {
    int result = 0;
    return TryStrToInt(ReadString(section, ident, ""), result) ? result : defaultValue;
}

void TCustomIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
    WriteString(section, ident, std::to_string(value));
}

bool TCustomIniFile::ReadBool(std::string_view section, std::string_view ident, bool defaultValue) {
    const std::string text = ReadString(section, ident, "");
    const std::string_view t = TrimView(text);
    if (AnsiLowerCase(t) == "true") return true;
    if (AnsiLowerCase(t) == "false") return false;
    int result = 0;
    return TryStrToInt(t, result) ? result != 0 : defaultValue;
}

void TCustomIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(std::string_view section, std::string_view ident,
                                 double defaultValue) {
    const std::string text = ReadString(section, ident, "");
    double result = 0;
    return !text.empty() && TryStrToFloat(text, result) ? result : defaultValue;
}

void TCustomIniFile::WriteFloat(std::string_view section, std::string_view ident, double value) {
    WriteString(section, ident, FloatToStr(value));
}

TDateTime TCustomIniFile::ReadDate(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue) {
    const std::string text = ReadString(section, ident, "");
    TDateTime result = 0;
    return !text.empty() && TryStrToDate(text, result) ? result : defaultValue;
}

TDateTime TCustomIniFile::ReadDateTime(std::string_view section, std::string_view ident,
                                       TDateTime defaultValue) {
    const std::string text = ReadString(section, ident, "");
    TDateTime result = 0;
    return !text.empty() && TryStrToDateTime(text, result) ? result : defaultValue;
}

TDateTime TCustomIniFile::ReadTime(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue) {
    const std::string text = ReadString(section, ident, "");
    TDateTime result = 0;
    return !text.empty() && TryStrToTime(text, result) ? result : defaultValue;
}

void TCustomIniFile::WriteDate(std::string_view section, std::string_view ident, TDateTime value) {
    WriteString(section, ident, DateToStr(value));
}

void TCustomIniFile::WriteDateTime(std::string_view section, std::string_view ident,
                                   TDateTime value) {
    WriteString(section, ident, DateTimeToStr(value));
}

void TCustomIniFile::WriteTime(std::string_view section, std::string_view ident, TDateTime value) {
    WriteString(section, ident, TimeToStr(value));
}

int TCustomIniFile::ReadBinaryStream(std::string_view section, std::string_view ident,
                                     TStream& value) {
    const std::string text = ReadString(section, ident, "");
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = HexDigitValue(text[i]);
        const int lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) break; // the bytes up to the first non-hex pair
        bytes += static_cast<char>(hi * 16 + lo);
    }
    value.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return static_cast<int>(bytes.size());
}

void TCustomIniFile::WriteBinaryStream(std::string_view section, std::string_view ident,
                                       TStream& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::int64_t count = value.Size() - value.Position();
    std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '\0');
    value.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    WriteString(section, ident, text);
}

void TCustomIniFile::ReadSection(std::string_view section, TStrings& strings) {
    AssignLines(strings, ReadSection(section));
}

void TCustomIniFile::ReadSections(TStrings& strings) {
    AssignLines(strings, ReadSections());
}

void TCustomIniFile::ReadSectionValues(std::string_view section, TStrings& strings) {
    AssignLines(strings, ReadSectionValues(section));
}

bool TCustomIniFile::SectionExists(std::string_view section) {
    return !ReadSection(section).empty();
}

bool TCustomIniFile::ValueExists(std::string_view section, std::string_view ident) {
    const std::string folded = AnsiLowerCase(TrimView(ident));
    for (const std::string& key : ReadSection(section))
        if (AnsiLowerCase(key) == folded) return true;
    return false;
}

// ---- reading files -----------------------------------------------------------------------------

namespace {

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileStamp StampOf(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// Reads the whole file. Returns 0 on success, ENOENT for a missing file, or the errno.
int ReadWholeFile(const std::string& fileName, std::string& bytes, FileStamp& stamp) {
    bytes.clear();
    stamp = {};
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    if (error == 0) {
        stamp = StampOf(st);
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0)
                break;
            else if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    ::close(fd);
    return error;
}

} // namespace

// ---- TIniFile ----------------------------------------------------------------------------------

struct TIniFile::Stamp : FileStamp {};

TIniFile::TIniFile(std::string fileName, int codePage)
    : TCustomIniFile(std::move(fileName)), codePage_(codePage) {}

TIniFile::~TIniFile() = default;

IniDocument& TIniFile::Load(bool forWrite) {
    struct stat st {};
    FileStamp now;
    if (::stat(FileName().c_str(), &st) == 0) now = StampOf(st);
    if (doc_ && stamp_ && *stamp_ == now) return *doc_;

    std::string bytes;
    FileStamp read;
    const int error = ReadWholeFile(FileName(), bytes, read);
    // Reading treats an unreadable file as empty; rewriting it would lose its content.
    if (forWrite && error != 0 && error != ENOENT)
        throw EIniFileException("Unable to read " + FileName() + ". " + SystemReason(error));
    if (error != 0) read = {}; // never trust a partial read: look again next time
    auto doc = std::make_unique<IniDocument>(codePage_);
    doc->Parse(bytes);
    doc_ = std::move(doc);
    stamp_ = std::make_unique<Stamp>();
    static_cast<FileStamp&>(*stamp_) = read;
    return *doc_;
}

void TIniFile::Save() {
    try {
        WriteFileAtomically(FileName(), doc_->Serialize());
    } catch (const Exception& e) {
        // The document holds a change the disk does not: read the disk again next time.
        doc_.reset();
        stamp_.reset();
        throw EIniFileException("Unable to write to " + FileName() + ". " + e.Message());
    }
    struct stat st {};
    if (::stat(FileName().c_str(), &st) == 0)
        static_cast<FileStamp&>(*stamp_) = StampOf(st);
    else
        stamp_.reset();
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view defaultValue) {
    const std::string* value = Load(false).Find(section, ident);
    return value ? *value : std::string(defaultValue);
}

void TIniFile::WriteString(std::string_view section, std::string_view ident,
                           std::string_view value) {
    if (Load(true).Set(section, ident, value)) Save();
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) {
    return Load(false).Keys(section);
}

std::vector<std::string> TIniFile::ReadSections() {
    return Load(false).Sections();
}

std::vector<std::string> TIniFile::ReadSectionValues(std::string_view section) {
    return Load(false).SectionValues(section);
}

void TIniFile::EraseSection(std::string_view section) {
    if (Load(true).EraseSection(section)) Save();
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    if (Load(true).DeleteKey(section, ident)) Save();
}

void TIniFile::AddSection(std::string_view section) {
    if (Load(true).AddSection(section)) Save();
}

// ---- TMemIniFile -------------------------------------------------------------------------------

TMemIniFile::TMemIniFile(std::string fileName, int codePage)
    : TCustomIniFile(std::move(fileName)), codePage_(codePage),
      doc_(std::make_unique<IniDocument>(codePage)) {
    std::string bytes;
    FileStamp stamp;
    const int error = ReadWholeFile(FileName(), bytes, stamp);
    if (error != 0 && error != ENOENT)
        throw EIniFileException("Unable to read " + FileName() + ". " + SystemReason(error));
    doc_->Parse(bytes);
}

TMemIniFile::~TMemIniFile() = default;

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) {
    const std::string* value = doc_->Find(section, ident);
    return value ? *value : std::string(defaultValue);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident,
                              std::string_view value) {
    doc_->Set(section, ident, value);
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view section) {
    return doc_->Keys(section);
}

std::vector<std::string> TMemIniFile::ReadSections() {
    return doc_->Sections();
}

std::vector<std::string> TMemIniFile::ReadSectionValues(std::string_view section) {
    return doc_->SectionValues(section);
}

void TMemIniFile::EraseSection(std::string_view section) {
    doc_->EraseSection(section);
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    doc_->DeleteKey(section, ident);
}

void TMemIniFile::UpdateFile() {
    try {
        WriteFileAtomically(FileName(), doc_->Serialize());
    } catch (const Exception& e) {
        throw EIniFileException("Unable to write to " + FileName() + ". " + e.Message());
    }
}

void TMemIniFile::Clear() {
    doc_->Clear();
}

std::vector<std::string> TMemIniFile::GetStrings() const {
    return doc_->Lines();
}

void TMemIniFile::SetStrings(const std::vector<std::string>& lines) {
    doc_->SetLines(lines);
}

void TMemIniFile::GetStrings(TStrings& list) const {
    AssignLines(list, doc_->Lines());
}

void TMemIniFile::SetStrings(const TStrings& list) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        lines.push_back(list.Strings(i));
    doc_->SetLines(lines);
}
