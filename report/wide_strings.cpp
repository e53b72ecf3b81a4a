#include "report/wide_strings.h"

#include "platform/core/exception.h"
#include "platform/core/property_stream.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"

namespace {

// The platform's OEM and Macintosh code page constants.
constexpr int kOemCodePage = 1;
constexpr int kMacCodePage = 2;
// The locale of the program's users (Chinese, PRC).
constexpr int kDefaultLocale = 2052;

// What a code page number means on this system: OEM and ANSI are both the legacy code page.
int effectiveCodePage(int codePage) {
    if (codePage == 0 || codePage == kOemCodePage) return kAnsiCodePage;
    return codePage;
}

} // namespace

int TWideStrings::Add(std::u16string_view s) {
    return AddObject(s, nullptr);
}

int TWideStrings::AddObject(std::u16string_view s, TObject* object) {
    lines_.push_back(Line{std::u16string(s), object});
    return Count() - 1;
}

void TWideStrings::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    lines_.erase(lines_.begin() + index);
}

int TWideStrings::IndexOf(std::u16string_view s) const {
    for (int i = 0; i < Count(); ++i)
        if (lines_[static_cast<size_t>(i)].text == s) return i;
    return -1;
}

void TWideStrings::Insert(int index, std::u16string_view s) {
    if (index >= 0 && index < Count())
        lines_[static_cast<size_t>(index)].text = std::u16string(s);
    else if (index == Count())
        Add(s);
    else
        throw Exception("Wide String Out of Bounds");
}

std::u16string TWideStrings::Strings(int index) const {
    if (index < 0 || index >= Count()) return {};
    return lines_[static_cast<size_t>(index)].text;
}

const std::u16string& TWideStrings::StringRef(int index) const {
    static const std::u16string empty;
    if (index < 0 || index >= Count()) return empty;
    return lines_[static_cast<size_t>(index)].text;
}

TObject* TWideStrings::Objects(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return lines_[static_cast<size_t>(index)].object;
}

void TWideStrings::SetObjects(int index, TObject* object) {
    if (index >= 0 && index < Count()) lines_[static_cast<size_t>(index)].object = object;
}

std::u16string TWideStrings::Text() const {
    size_t length = 0;
    for (const Line& line : lines_)
        length += line.text.size() + 2;
    std::u16string out;
    out.reserve(length);
    for (const Line& line : lines_) {
        out += line.text;
        out += u"\r\n";
    }
    return out;
}

void TWideStrings::SetText(std::u16string_view text) {
    lines_.clear();
    size_t n = text.find(u'\0');
    if (n == std::u16string_view::npos) n = text.size();
    size_t i = 0;
    while (i < n) {
        size_t start = i;
        while (i < n && text[i] != u'\r' && text[i] != u'\n' && text[i] != u'\u2028')
            ++i;
        lines_.push_back(Line{std::u16string(text.substr(start, i - start)), nullptr});
        if (i < n && text[i] == u'\r') ++i;
        if (i < n && text[i] == u'\n') ++i;
        if (i < n && text[i] == u'\u2028') ++i;
    }
}

void TWideStrings::Assign(const TWideStrings& source) {
    if (&source == this) return;
    lines_ = source.lines_;
}

void TWideStrings::Assign(const TStrings& source) {
    std::vector<Line> lines;
    lines.reserve(static_cast<size_t>(source.Count()));
    for (int i = 0; i < source.Count(); ++i)
        lines.push_back(Line{Utf8ToUtf16(source.Strings(i)), source.Objects(i)});
    lines_ = std::move(lines);
}

void TWideStrings::Assign(const TPersistent* source) {
    if (source && source->Is<TWideStrings>()) {
        Assign(*static_cast<const TWideStrings*>(source));
        return;
    }
    TPersistent::Assign(source);
}

namespace {

// One line of the "UTF8" list. Lines written as 8-bit strings hold UTF-8 bytes, not text in the
// legacy code page, so they are read raw; bytes that are not UTF-8 are taken as legacy text.
std::u16string readUtf8Line(TReader& reader) {
    const TValueType type = reader.NextValue();
    if (type != TValueType::vaString && type != TValueType::vaLString)
        return Utf8ToUtf16(reader.ReadString());
    reader.ReadValue();
    TStream& s = reader.Stream();
    std::int64_t length = 0;
    if (type == TValueType::vaString) {
        std::uint8_t n = 0;
        if (reader.Remaining() < 1) throw EReadError("Truncated UTF8 line in the property stream");
        s.ReadBuffer(&n, 1);
        length = n;
    } else {
        std::uint8_t b[4];
        if (reader.Remaining() < 4) throw EReadError("Truncated UTF8 line in the property stream");
        s.ReadBuffer(b, 4);
        length = std::int64_t(b[0]) | std::int64_t(b[1]) << 8 | std::int64_t(b[2]) << 16 |
                 std::int64_t(b[3]) << 24;
    }
    if (length > reader.Remaining()) throw EReadError("Truncated UTF8 line in the property stream");
    std::string bytes(static_cast<size_t>(length), '\0');
    s.ReadBuffer(bytes.data(), length);
    try {
        return Utf8ToUtf16(bytes);
    } catch (const EEncodingError&) {
        return Utf8ToUtf16(CodePageToUtf8Lossy(bytes, kAnsiCodePage));
    }
}

} // namespace

void TWideStrings::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    const bool hasData = !lines_.empty();
    filer.DefineProperty(
        "Strings",
        [this](TReader& reader) {
            std::vector<Line> lines;
            reader.ReadListBegin();
            while (!reader.EndOfList())
                lines.push_back(Line{Utf8ToUtf16(reader.ReadString()), nullptr});
            reader.ReadListEnd();
            lines_ = std::move(lines);
        },
        nullptr, /*hasData=*/false); // read only: writers use "UTF8"
    filer.DefineProperty(
        "UTF8",
        [this](TReader& reader) {
            std::vector<Line> lines;
            reader.ReadListBegin();
            while (!reader.EndOfList())
                lines.push_back(Line{readUtf8Line(reader), nullptr});
            reader.ReadListEnd();
            lines_ = std::move(lines);
        },
        [this](TWriter& writer) {
            writer.WriteListBegin();
            for (const Line& line : lines_)
                writer.WriteUTF8String(Utf16ToUtf8(line.text));
            writer.WriteListEnd();
        },
        hasData);
}

void TWideStrings::AssignTo(TStrings& dest) const {
    dest.BeginUpdate();
    try {
        dest.Clear();
        for (const Line& line : lines_)
            dest.AddObject(Utf16ToUtf8(line.text), line.object);
    } catch (...) {
        dest.EndUpdate();
        throw;
    }
    dest.EndUpdate();
}

void TWideStrings::LoadFromStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    const std::int64_t size = stream.Size() - start;
    if (size <= 0) {
        lines_.clear();
        return;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    stream.ReadBuffer(bytes.data(), size);
    // A file holding only the byte-order mark is an empty list, not two stray characters.
    if (size >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = char16_t(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                               (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        SetText(text);
        return;
    }
    SetText(Utf8ToUtf16(CodePageToUtf8Lossy(bytes, kAnsiCodePage)));
}

void TWideStrings::SaveToStream(TStream& stream) const {
    std::u16string text = Text();
    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += char(0xFF);
    bytes += char(0xFE);
    for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TWideStrings::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TWideStrings::SaveToFile(const std::string& fileName) const {
    TSafeFileWriter file(fileName);
    SaveToStream(file);
    file.Commit();
}

int CharsetToCodePage(int charset) {
    switch (charset) {
    case 1:
        return kAnsiCodePage;
    case 77:
        return kMacCodePage;
    case 255:
        return kOemCodePage;
    case 0:
        return 1252;
    case 2:
        return 42;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        throw EOSError("The parameter is incorrect (character set " + std::to_string(charset) +
                       ")");
    }
}

std::u16string AnsiToWide(std::string_view text, int charset, int codePage) {
    if (codePage == 0) codePage = CharsetToCodePage(charset);
    try {
        return Utf8ToUtf16(CodePageToUtf8(text, effectiveCodePage(codePage)));
    } catch (const EConvertError&) {
        return {};
    }
}

std::string WideToAnsi(std::u16string_view text, int charset, int codePage) {
    if (codePage == 0) codePage = CharsetToCodePage(charset);
    try {
        return Utf8ToCodePage(Utf16ToUtf8(text), effectiveCodePage(codePage));
    } catch (const EConvertError&) {
        return {};
    }
}

int CharsetToLocale(int charset) {
    switch (charset) {
    case 128:
        return 1041;
    case 129:
        return 1042;
    case 130:
        return 2066;
    case 134:
        return 2052;
    case 136:
        return 3076;
    case 161:
        return 1032;
    case 162:
        return 1055;
    case 163:
        return 1066;
    case 177:
        return 1037;
    case 178:
        return 13313;
    case 186:
        return 1061;
    case 204:
        return 1049;
    case 222:
        return 1054;
    case 238:
        return 1029;
    default:
        return kDefaultLocale;
    }
}

std::string OemToAnsi(std::string_view text) {
    return std::string(text);
}
