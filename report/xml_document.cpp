#include "report/xml_document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/variant.h"
#include "report/utils.h"

namespace {

constexpr int kBufferSize = 4096;
constexpr std::string_view kUnloadMarker = " ld=\"0\"";

inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

bool sameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

size_t findTextAscii(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (size_t p = 0; p + needle.size() <= hay.size(); ++p)
        if (sameTextAscii(hay.substr(p, needle.size()), needle)) return p;
    return std::string_view::npos;
}

// Start of the attribute `name="` in text (at the start or after a blank), or npos.
size_t findAttribute(std::string_view text, std::string_view name) {
    const size_t n = name.size();
    size_t p = 0;
    while (p + n + 2 <= text.size()) {
        if (sameTextAscii(text.substr(p, n), name) && text[p + n] == '=' && text[p + n + 1] == '"')
            return p;
        size_t blank = text.find(' ', p);
        if (blank == std::string_view::npos) break;
        p = blank + 1;
    }
    return std::string_view::npos;
}

inline bool needsEscape(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == '&' || c == '<' || c == '>';
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Reads an unloaded item's subtree back from the swap stream at its offset; the item keeps the
// attribute text it has now.
void readBack(TStream& swap, TpgwXMLItem& item) {
    std::string text = item.Text();
    {
        TpgwXMLReader reader(swap);
        reader.SetPosition(static_cast<std::int64_t>(item.Offset()));
        if (!reader.ReadRootItem(item, true)) throw TpgwInvalidXMLException(reader.Position());
    }
    item.SetText(std::move(text));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Escaping

std::string EncodeXMLText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && !needsEscape(text[i]))
        ++i;
    if (i == text.size()) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    out.append(text.substr(0, i));
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (!needsEscape(c)) {
            out += c;
        } else if (c == '&' && text.substr(i, 6) == "&quot;") {
            out += "&#34;";
            i += 5;
        } else {
            out += "&#";
            out += std::to_string(static_cast<unsigned char>(c));
            out += ';';
        }
    }
    return out;
}

std::string DecodeXMLText(std::string_view text) {
    size_t amp = text.find('&');
    if (amp == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    out.append(text.substr(0, amp));
    size_t i = amp;
    // A final "&" can start nothing, so the last character is copied as it stands.
    while (i < text.size()) {
        char c = text[i];
        if (c != '&' || i + 1 >= text.size()) {
            out += c;
            ++i;
            continue;
        }
        std::string_view rest = text.substr(i);
        if (rest.size() >= 3 && rest[1] == '#') {
            size_t semi = rest.find(';', 2);
            if (semi == std::string_view::npos) {
                // No terminator anywhere: not a reference, keep the text.
                out += c;
                ++i;
                continue;
            }
            std::string_view digits = rest.substr(2, semi - 2);
            std::uint32_t value = 0;
            bool ok = !digits.empty() && digits.size() <= 7;
            for (char d : digits) {
                if (d < '0' || d > '9') {
                    ok = false;
                    break;
                }
                value = value * 10 + std::uint32_t(d - '0');
            }
            if (!ok || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                throw EConvertError("'" + std::string(digits) + "' is not a valid integer value");
            if (value <= 255)
                out += char(value);
            else
                appendUtf8(out, value);
            i += semi + 1;
            continue;
        }
        if (rest.substr(0, 6) == "&quot;") {
            out += '"';
            i += 6;
            continue;
        }
        if (rest.substr(0, 5) == "&amp;") {
            out += '&';
            i += 5;
            continue;
        }
        if (rest.substr(0, 4) == "&lt;") {
            out += '<';
            i += 4;
            continue;
        }
        if (rest.substr(0, 4) == "&gt;") {
            out += '>';
            i += 4;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string ValueToXMLText(const Variant& value) {
    switch (value.Kind()) {
    case VariantKind::Int32:
        return std::to_string(value.Int32Value());
    case VariantKind::Int64:
        return std::to_string(value.Int64Value());
    case VariantKind::Double:
        return FloatToStr(value.DoubleValue());
    case VariantKind::Date:
        return DateToStr(value.DoubleValue());
    case VariantKind::String:
        return EncodeXMLText(value.StringValue());
    case VariantKind::Bool:
        return value.BoolValue() ? "1" : "0";
    case VariantKind::Empty:
    case VariantKind::Null:
    case VariantKind::Array:
        return {};
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// TpgwXMLItem

TpgwXMLItem::TpgwXMLItem() = default;

TpgwXMLItem::~TpgwXMLItem() {
    Clear();
    if (parent_) parent_->detachChild(this);
}

void TpgwXMLItem::Clear() {
    // Children are detached first so their destructors do not search this list.
    std::vector<TpgwXMLItem*> children;
    children.swap(items_);
    for (TpgwXMLItem* child : children) {
        child->parent_ = nullptr;
        delete child;
    }
    if (unloadable_) loaded_ = false;
}

void TpgwXMLItem::detachChild(TpgwXMLItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) items_.erase(it);
}

TpgwXMLItem* TpgwXMLItem::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

int TpgwXMLItem::IndexOf(const TpgwXMLItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TpgwXMLItem* TpgwXMLItem::Add() {
    auto* item = new TpgwXMLItem;
    AddItem(item);
    return item;
}

void TpgwXMLItem::AddItem(TpgwXMLItem* item) {
    items_.push_back(item);
    if (TpgwXMLItem* old = item->parent_) {
        // The first occurrence: when re-added here, that is the earlier place.
        auto it = std::find(old->items_.begin(), old->items_.end(), item);
        if (it != old->items_.end()) old->items_.erase(it);
    }
    item->parent_ = this;
}

void TpgwXMLItem::InsertItem(int index, TpgwXMLItem* item) {
    AddItem(item);
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    items_.pop_back();
    items_.insert(items_.begin() + index, item);
}

int TpgwXMLItem::Find(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (sameTextAscii(items_[i]->name_, name)) return static_cast<int>(i);
    return -1;
}

TpgwXMLItem* TpgwXMLItem::FindItem(std::string_view name) {
    int i = Find(name);
    if (i >= 0) return items_[static_cast<size_t>(i)];
    TpgwXMLItem* item = Add();
    item->name_ = std::string(name);
    return item;
}

std::string TpgwXMLItem::Prop(std::string_view name) const {
    size_t p = findAttribute(text_, name);
    if (p == std::string::npos) return {};
    size_t start = p + name.size() + 2;
    size_t end = text_.find('"', start);
    if (end == std::string::npos) return {};
    return DecodeXMLText(std::string_view(text_).substr(start, end - start));
}

void TpgwXMLItem::SetProp(std::string_view name, std::string_view value) {
    std::string piece;
    piece.reserve(name.size() + value.size() + 4);
    piece.append(name);
    piece += "=\"";
    piece += EncodeXMLText(value);
    piece += '"';
    size_t p = findAttribute(text_, name);
    if (p != std::string::npos) {
        size_t end = text_.find('"', p + name.size() + 2);
        end = end == std::string::npos ? text_.size() : end + 1;
        text_.erase(p, end - p);
    } else {
        p = text_.size();
    }
    if (p != 0 && text_[p - 1] != ' ') piece.insert(piece.begin(), ' ');
    text_.insert(p, piece);
}

void TpgwXMLItem::SetOffset(std::uint64_t offset) {
    offsetHi_ = static_cast<std::uint8_t>(offset >> 32);
    offsetLo_ = static_cast<std::uint32_t>(offset);
}

// ---------------------------------------------------------------------------------------------
// TpgwXMLReader

TpgwXMLReader::TpgwXMLReader(TStream& stream) : buffer_(new char[kBufferSize]), stream_(stream) {
    position_ = stream_.Seek(0, TSeekOrigin::soCurrent);
    size_ = stream_.Size();
}

TpgwXMLReader::~TpgwXMLReader() {
    try {
        stream_.Seek(Position(), TSeekOrigin::soBeginning);
    } catch (...) {
        // A destructor must not throw; the caller's next read reports the stream's state.
    }
}

// position_ is the logical position; the stream itself stands at position_ + unread bytes.
bool TpgwXMLReader::fill() {
    std::int64_t streamPos = position_;
    if (streamPos >= size_) return false;
    std::int64_t want = std::min<std::int64_t>(kBufferSize, size_ - streamPos);
    std::int64_t got = stream_.Read(buffer_.get(), want);
    if (got <= 0) return false;
    bufPos_ = 0;
    bufEnd_ = static_cast<int>(got);
    return true;
}

void TpgwXMLReader::SetPosition(std::int64_t position) {
    stream_.Seek(position, TSeekOrigin::soBeginning);
    position_ = position;
    bufPos_ = bufEnd_ = 0;
}

void TpgwXMLReader::fail() const {
    throw TpgwInvalidXMLException(position_);
}

void TpgwXMLReader::ReadTag(std::string& name, std::string& text) {
    name.clear();
    text.clear();
    std::string& tag = tag_;
    for (;;) {
        // Outside a tag: text content is dropped.
        for (;;) {
            if (bufPos_ == bufEnd_ && !fill()) return;
            const char* start = buffer_.get() + bufPos_;
            const auto* lt =
                static_cast<const char*>(std::memchr(start, '<', size_t(bufEnd_ - bufPos_)));
            if (lt) {
                int used = static_cast<int>(lt - start) + 1;
                bufPos_ += used;
                position_ += used;
                break;
            }
            position_ += bufEnd_ - bufPos_;
            bufPos_ = bufEnd_;
        }
        // The first three characters decide whether this is a comment, which may hold "<".
        tag.clear();
        bool isComment = false;
        for (;;) {
            if (bufPos_ == bufEnd_ && !fill()) fail();
            if (tag.size() == 3) {
                isComment = tag == "!--";
                break;
            }
            char c = buffer_[bufPos_];
            if (c == '>' || c == '<') break;
            tag += c;
            ++bufPos_;
            ++position_;
        }
        if (isComment) {
            int dashes = 0;
            for (;;) {
                if (bufPos_ == bufEnd_ && !fill()) fail();
                char c = buffer_[bufPos_++];
                ++position_;
                if (c == '>' && dashes >= 2) break;
                dashes = c == '-' ? dashes + 1 : 0;
            }
            continue;
        }
        for (;;) {
            if (bufPos_ == bufEnd_ && !fill()) fail();
            const char* start = buffer_.get() + bufPos_;
            const char* end = buffer_.get() + bufEnd_;
            const char* p = start;
            while (p < end && *p != '>' && *p != '<')
                ++p;
            tag.append(start, p);
            position_ += p - start;
            bufPos_ += static_cast<int>(p - start);
            if (p == end) continue;
            if (*p == '<') fail();
            ++bufPos_;
            ++position_;
            break;
        }
        break;
    }
    if (!tag.empty() && tag.back() == ' ') tag.pop_back();
    size_t blank = tag.find(' ');
    if (blank == std::string::npos) {
        name = tag;
    } else {
        name.assign(tag, 0, blank);
        text.assign(tag, blank + 1, std::string::npos);
    }
}

void TpgwXMLReader::ReadHeader() {
    std::string name, text;
    ReadTag(name, text);
    if (name.compare(0, 4, "?xml") != 0) fail();
    legacyText_ = false;
    std::string all = name + ' ' + text;
    size_t v = all.find("version=\"");
    if (v != std::string::npos && all.compare(v + 9, 3, "1.0") == 0 &&
        all.find("standalone=") == std::string::npos)
        legacyText_ = true;
}

bool TpgwXMLReader::ReadRootItem(TpgwXMLItem& item, bool loadAll) {
    std::string endTag;
    return readElement(item, loadAll, 0, endTag);
}

bool TpgwXMLReader::readElement(TpgwXMLItem& item, bool loadAll, int depth, std::string& endTag) {
    const std::int64_t start = Position();
    ReadTag(item.name_, item.text_);
    if (item.name_.empty() || item.name_[0] == '/') {
        endTag = item.name_;
        return false;
    }
    bool hasChildren = true;
    if (item.name_.back() == '/') {
        item.name_.pop_back();
        hasChildren = false;
    } else if (!item.text_.empty() && item.text_.back() == '/') {
        item.text_.pop_back();
        hasChildren = false;
    }
    if (hasChildren) {
        if (depth >= kMaxDepth) fail();
        std::string childEnd;
        for (;;) {
            auto child = std::make_unique<TpgwXMLItem>();
            if (!readElement(*child, loadAll, depth + 1, childEnd)) break;
            child->parent_ = &item;
            item.items_.push_back(child.release());
        }
        // The input ending before the end tag is a truncated file, not a complete element.
        if (childEnd.empty()) fail();
        if (!sameTextAscii(std::string_view(childEnd).substr(1), item.name_)) fail();
    }
    size_t marker = findTextAscii(item.text_, kUnloadMarker);
    if (marker != std::string::npos) {
        item.text_.erase(marker, kUnloadMarker.size());
        // Kept on a full load too, so that saving the document again keeps the marker.
        item.unloadable_ = true;
        if (!loadAll) {
            item.Clear();
            item.SetOffset(static_cast<std::uint64_t>(start));
            item.loaded_ = false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TpgwXMLWriter

TpgwXMLWriter::TpgwXMLWriter(TStream& stream) : stream_(stream) {
    buffer_.reserve(2 * kBufferSize);
}

TpgwXMLWriter::~TpgwXMLWriter() = default;

void TpgwXMLWriter::FlushBuffer() {
    if (buffer_.empty()) return;
    // Reading unloaded items back from the stream being written moves its position.
    if (tempStream_ == &stream_) stream_.Seek(0, TSeekOrigin::soEnd);
    stream_.WriteBuffer(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
    buffer_.clear();
}

void TpgwXMLWriter::endLine() {
    if (indentOutput_) buffer_ += "\r\n";
    if (buffer_.size() > kBufferSize) FlushBuffer();
}

void TpgwXMLWriter::WriteLine(std::string_view text) {
    buffer_.append(text);
    endLine();
}

void TpgwXMLWriter::WriteHeader() {
    WriteLine("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
}

void TpgwXMLWriter::WriteRootItem(TpgwXMLItem& item) {
    writeItem(item, 0);
    FlushBuffer();
}

void TpgwXMLWriter::writeItem(TpgwXMLItem& item, int level) {
    const bool reload = item.Unloadable() && !item.Loaded() && tempStream_;
    if (reload) readBack(*tempStream_, item);
    if (indentOutput_) buffer_.append(static_cast<size_t>(level) * 2, ' ');
    buffer_ += '<';
    buffer_ += item.Name();
    const std::string& text = item.Text();
    if (!text.empty() || item.Unloadable()) {
        if (text.empty() || text[0] != ' ') buffer_ += ' ';
        buffer_ += text;
        if (item.Unloadable()) buffer_ += kUnloadMarker;
    }
    const int count = item.Count();
    if (count > 0) {
        buffer_ += '>';
    } else if (!item.Value().empty()) {
        buffer_ += '>';
        buffer_ += item.Value();
        buffer_ += "</";
        buffer_ += item.Name();
        buffer_ += '>';
    } else {
        buffer_ += "/>";
    }
    endLine();
    if (count > 0) {
        for (int i = 0; i < count; ++i)
            writeItem(*item.Items(i), level + 1);
        if (indentOutput_) buffer_.append(static_cast<size_t>(level) * 2, ' ');
        buffer_ += "</";
        buffer_ += item.Name();
        buffer_ += '>';
        endLine();
    }
    if (reload) item.Clear();
}

// ---------------------------------------------------------------------------------------------
// TpgwXMLDocument

TpgwXMLDocument::TpgwXMLDocument() : root_(std::make_unique<TpgwXMLItem>()) {}

TpgwXMLDocument::~TpgwXMLDocument() {
    DeleteTempFile();
}

void TpgwXMLDocument::Clear() {
    root_->Clear();
    DeleteTempFile();
}

void TpgwXMLDocument::loadFrom(TStream& stream, bool partialLoad) {
    root_->Clear();
    root_->SetOffset(0);
    TpgwXMLReader reader(stream);
    reader.ReadHeader();
    legacyText_ = reader.LegacyText();
    // A document without its root element is a truncated file.
    if (!reader.ReadRootItem(*root_, !partialLoad))
        throw TpgwInvalidXMLException(reader.Position());
}

void TpgwXMLDocument::LoadFromStream(std::unique_ptr<TStream> stream, bool partialLoad) {
    DeleteTempFile();
    if (!partialLoad) {
        loadFrom(*stream, false);
        return;
    }
    // Owned from here on, so items left unloaded by a failed load still refer to a live stream.
    tempStream_ = std::move(stream);
    loadFrom(*tempStream_, true);
}

void TpgwXMLDocument::LoadFromStream(TStream& stream) {
    DeleteTempFile();
    loadFrom(stream, false);
}

void TpgwXMLDocument::SaveToStream(TStream& stream) {
    TpgwXMLWriter writer(stream);
    writer.SetIndentOutput(indentOutput_);
    writer.SetTempStream(tempStream_.get());
    writer.WriteHeader();
    writer.WriteRootItem(*root_);
}

void TpgwXMLDocument::LoadFromFile(const std::string& fileName) {
    LoadFromStream(std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite), true);
}

void TpgwXMLDocument::SaveToFile(const std::string& fileName) {
    {
        // The swap stream stays until the new file is in place: a failed save must leave the
        // unloaded items readable.
        TSafeFileWriter file(fileName);
        SaveToStream(file);
        file.Commit();
    }
    DeleteTempFile();
    LoadFromFile(fileName);
}

void TpgwXMLDocument::CreateTempFile() {
    if (tempFileCreated_) return;
    std::string folder;
    struct stat st {};
    if (!tempDir_.empty() && ::stat(tempDir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        folder = tempDir_;
    std::string name = MakeTempFileNameIn(folder);
    auto file = std::make_unique<TFileStream>(name, fmOpenReadWrite);
    if (tempStream_) {
        // After a partial load the loaded stream still holds unloaded items at their offsets and
        // is read-only: copy it whole, so those offsets stay valid in the swap file.
        try {
            tempStream_->Seek(0, TSeekOrigin::soBeginning);
            std::unique_ptr<char[]> buf(new char[65536]);
            for (;;) {
                std::int64_t n = tempStream_->Read(buf.get(), 65536);
                if (n <= 0) break;
                file->WriteBuffer(buf.get(), n);
            }
        } catch (...) {
            file.reset();
            std::remove(name.c_str());
            throw;
        }
    }
    tempStream_ = std::move(file);
    tempFileName_ = name;
    tempFileCreated_ = true;
}

void TpgwXMLDocument::DeleteTempFile() {
    if (tempFileCreated_) {
        tempStream_.reset();
        std::remove(tempFileName_.c_str());
        tempFileName_.clear();
        tempFileCreated_ = false;
    }
    tempStream_.reset();
}

void TpgwXMLDocument::LoadItem(TpgwXMLItem* item) {
    if (!tempStream_ || !item->Unloadable() || item->Loaded()) return;
    readBack(*tempStream_, *item);
    item->SetLoaded(true);
}

void TpgwXMLDocument::UnloadItem(TpgwXMLItem* item) {
    if (!item->Loaded() || !item->Unloadable()) return;
    CreateTempFile();
    item->SetOffset(static_cast<std::uint64_t>(tempStream_->Seek(0, TSeekOrigin::soEnd)));
    TpgwXMLWriter writer(*tempStream_);
    // Nested items that are themselves unloaded are read back from the same file.
    writer.SetTempStream(tempStream_.get());
    writer.WriteRootItem(*item);
    item->Clear();
}
