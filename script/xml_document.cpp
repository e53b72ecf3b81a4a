#include "script/xml_document.h"

#include <cstring>
#include <functional>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"

namespace {

const char kInvalidFormat[] = "Invalid file format";
const char kDeclaration[] = "<?xml version=\"1.0\"?>";

void AppendCode(std::string& out, long long code) {
    // Our text is UTF-8: a reference above ASCII stands for that code point. One that names no
    // character (beyond U+10FFFF, a lone surrogate) would leave text that is not UTF-8.
    if (code < 0 || code > 0x10FFFF)
        throw EEncodingError("Invalid character reference &#" + std::to_string(code) + ";");
    std::u16string units;
    if (code < 0x10000) {
        units += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        units += static_cast<char16_t>(0xD800 + (code >> 10));
        units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
    out += Utf16ToUtf8(units);
}

// Reads tags from a byte source through a 4096-byte buffer, up to a size fixed at creation.
class XMLReader {
public:
    using ReadFn = std::function<std::int64_t(char*, std::int64_t)>;
    XMLReader(ReadFn read, std::int64_t size) : read_(std::move(read)), size_(size) {}

    std::int64_t Consumed() const { return position_; }

    // One tag split into name and attribute text; an empty name at the end of the data.
    void ReadTag(std::string& name, std::string& text) {
        tag_.clear();
        bool inTag = false;
        char c;
        while (Next(c)) {
            if (!inTag) {
                if (c == '<') inTag = true;
                continue;
            }
            if (c == '>') {
                Split(name, text);
                return;
            }
            if (c == '<') throw Exception(kInvalidFormat);
            tag_ += c;
            if (tag_.size() == 3 && tag_ == "!--") {
                SkipComment();
                tag_.clear();
                inTag = false;
            }
        }
        if (inTag) throw Exception(kInvalidFormat);
        name.clear();
        text.clear();
    }

    // Reads one element (and its children) into item; false when the tag was an end mark.
    bool ReadItem(TksXMLItem* item) {
        std::string name, text;
        if (!ReadElementTag(item, name, text)) return false;
        std::vector<TksXMLItem*> open;
        if (hasChildren_) open.push_back(item);
        while (!open.empty()) {
            TksXMLItem* parent = open.back();
            TksXMLItem* child = parent->Add();
            if (!ReadElementTag(child, name, text)) {
                delete child;
                if (!lastName_.empty() && !SameText(lastName_, "/" + parent->Name()))
                    throw Exception(kInvalidFormat);
                open.pop_back();
                continue;
            }
            if (hasChildren_) open.push_back(child);
        }
        return true;
    }

private:
    bool Next(char& c) {
        if (position_ >= size_) return false;
        if (index_ >= fill_) {
            fill_ = read_(buffer_, std::min<std::int64_t>(sizeof buffer_, size_ - position_));
            index_ = 0;
            if (fill_ <= 0) {
                fill_ = 0;
                size_ = position_; // the source ended early
                return false;
            }
        }
        c = buffer_[index_++];
        ++position_;
        return true;
    }

    void SkipComment() {
        int hyphens = 0;
        char c;
        while (Next(c)) {
            if (hyphens == 2) {
                if (c == '>') return;
                hyphens = 0;
            } else if (c == '-') {
                ++hyphens;
            } else {
                hyphens = 0;
            }
        }
    }

    void Split(std::string& name, std::string& text) {
        if (!tag_.empty() && tag_.back() == ' ') tag_.pop_back();
        auto blank = tag_.find(' ');
        if (blank == std::string::npos) {
            name = tag_;
            text.clear();
        } else {
            name = tag_.substr(0, blank);
            text = tag_.substr(blank + 1);
        }
    }

    bool ReadElementTag(TksXMLItem* item, std::string& name, std::string& text) {
        ReadTag(name, text);
        lastName_ = name;
        if (name.empty() || name[0] == '/') return false;
        hasChildren_ = true;
        if (name.back() == '/') {
            name.pop_back();
            hasChildren_ = false;
        } else if (!text.empty() && text.back() == '/') {
            text.pop_back();
            hasChildren_ = false;
        }
        item->SetName(name);
        item->SetText(text);
        return true;
    }

    ReadFn read_;
    std::int64_t size_;
    std::int64_t position_ = 0;
    char buffer_[4096];
    std::int64_t fill_ = 0;
    std::int64_t index_ = 0;
    std::string tag_;
    std::string lastName_;
    bool hasChildren_ = false;
};

void LoadDocument(TksXMLItem* root, XMLReader& reader) {
    root->Clear();
    std::string name, text;
    reader.ReadTag(name, text);
    if (name.compare(0, 4, "?xml") != 0) throw Exception(kInvalidFormat);
    reader.ReadItem(root);
}

// Writes the document through a buffer that is flushed past 4096 characters.
void WriteDocument(const TksXMLItem* root, bool indent,
                   const std::function<void(const std::string&)>& flush) {
    std::string out;
    const char* eol = indent ? "\r\n" : "";
    auto piece = [&] {
        out += eol;
        if (out.size() > 4096) {
            flush(out);
            out.clear();
        }
    };
    out += kDeclaration;
    piece();
    struct Frame {
        const TksXMLItem* item;
        int next;
        int level;
    };
    std::vector<Frame> stack;
    auto open = [&](const TksXMLItem* item, int level) {
        if (indent) out.append(static_cast<std::size_t>(level), ' ');
        out += '<';
        out += item->Name();
        if (!item->Text().empty()) {
            if (item->Text()[0] != ' ') out += ' ';
            out += item->Text();
        }
        if (item->Count() == 0) {
            out += "/>";
            piece();
            return;
        }
        out += '>';
        piece();
        stack.push_back({item, 0, level});
    };
    open(root, 0);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.item->Count()) {
            const TksXMLItem* child = f.item->Items(f.next++);
            open(child, f.level + 2);
            continue;
        }
        if (indent) out.append(static_cast<std::size_t>(f.level), ' ');
        out += "</" + f.item->Name() + ">";
        stack.pop_back();
        piece();
    }
    if (!out.empty()) flush(out);
}

} // namespace

std::string EscapeXMLText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '"':
            out += "&#34;";
            break;
        case '<':
            out += "&#60;";
            break;
        case '>':
            out += "&#62;";
            break;
        case '&':
            // Every ampersand is escaped, so that decoding undoes exactly what was encoded and
            // a value that looks like a reference (a script literal "&#65;") stays as it is.
            out += "&#38;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string UnescapeXMLText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&' && i + 1 < text.size()) {
            if (text[i + 1] == '#' && text.size() - (i + 2) >= 2) {
                auto semi = text.find(';', i + 2);
                if (semi != std::string_view::npos) {
                    AppendCode(out, StrToInt(text.substr(i + 2, semi - i - 2)));
                    i = semi + 1;
                    continue;
                }
            } else if (text.substr(i + 1, 5) == "quot;") {
                out += '"';
                i += 6;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// --- TksXMLItem ---

TksXMLItem::~TksXMLItem() {
    Clear();
    if (parent_) parent_->Detach(this);
}

void TksXMLItem::Detach(TksXMLItem* child) {
    for (auto it = children_.end(); it != children_.begin();) {
        --it;
        if (*it == child) {
            children_.erase(it);
            break;
        }
    }
    child->parent_ = nullptr;
}

void TksXMLItem::Clear() {
    // Iterative, so deep trees cannot exhaust the stack.
    std::vector<TksXMLItem*> pending;
    pending.swap(children_);
    while (!pending.empty()) {
        TksXMLItem* item = pending.back();
        pending.pop_back();
        for (TksXMLItem* c : item->children_)
            pending.push_back(c);
        item->children_.clear();
        item->parent_ = nullptr;
        delete item;
    }
}

TksXMLItem* TksXMLItem::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return children_[static_cast<std::size_t>(index)];
}

TksXMLItem* TksXMLItem::Add() {
    auto* item = new TksXMLItem;
    item->parent_ = this;
    children_.push_back(item);
    return item;
}

void TksXMLItem::AddItem(TksXMLItem* item) {
    if (item->parent_) item->parent_->Detach(item);
    item->parent_ = this;
    children_.push_back(item);
}

void TksXMLItem::InsertItem(int index, TksXMLItem* item) {
    if (index < 0 || index > Count() - (item->parent_ == this ? 1 : 0))
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    AddItem(item);
    children_.pop_back();
    children_.insert(children_.begin() + index, item);
}

int TksXMLItem::Find(std::string_view name) const {
    for (std::size_t i = 0; i < children_.size(); ++i)
        if (SameText(children_[i]->name_, name)) return static_cast<int>(i);
    return -1;
}

TksXMLItem* TksXMLItem::FindItem(std::string_view name) {
    int i = Find(name);
    if (i >= 0) return children_[static_cast<std::size_t>(i)];
    TksXMLItem* item = Add();
    item->name_ = std::string(name);
    return item;
}

TksXMLItem* TksXMLItem::Root() {
    TksXMLItem* item = this;
    while (item->parent_)
        item = item->parent_;
    return item;
}

namespace {

// Start of the attribute's name in text, or npos: a blank or the start of the text must come
// before the name, and =" directly after it.
std::size_t FindAttribute(const std::string& text, std::string_view name) {
    std::string hay = UpperCase(" " + text);
    std::string needle = UpperCase(" " + std::string(name) + "=\"");
    auto p = hay.find(needle);
    return p; // index in hay of the blank == index in text of the name
}

} // namespace

std::string TksXMLItem::Prop(std::string_view name) const {
    auto p = FindAttribute(text_, name);
    if (p == std::string::npos) return {};
    auto start = p + name.size() + 2;
    auto end = text_.find('"', start);
    if (end == std::string::npos) end = text_.size();
    return UnescapeXMLText(std::string_view(text_).substr(start, end - start));
}

void TksXMLItem::SetProp(std::string_view name, std::string_view value) {
    std::string attr = std::string(name) + "=\"" + EscapeXMLText(value) + "\"";
    auto p = FindAttribute(text_, name);
    if (p != std::string::npos) {
        auto end = text_.find('"', p + name.size() + 2);
        end = end == std::string::npos ? text_.size() : end + 1;
        text_.replace(p, end - p, attr);
        return;
    }
    if (!text_.empty() && text_.back() != ' ') text_ += ' ';
    text_ += attr;
}

void TksXMLItem::Assign(const TksXMLItem* source) {
    Clear();
    if (!source) return;
    name_ = source->name_;
    text_ = source->text_;
    data_ = source->data_;
    struct Frame {
        const TksXMLItem* from;
        TksXMLItem* to;
    };
    std::vector<Frame> stack{{source, this}};
    while (!stack.empty()) {
        Frame f = stack.back();
        stack.pop_back();
        for (const TksXMLItem* c : f.from->children_) {
            TksXMLItem* copy = f.to->Add();
            copy->name_ = c->name_;
            copy->text_ = c->text_;
            copy->data_ = c->data_;
            stack.push_back({c, copy});
        }
    }
}

// --- TksXMLDocument ---

TksXMLDocument::TksXMLDocument() : root_(std::make_unique<TksXMLItem>()) {
    root_->documentRoot_ = true;
}

TksXMLDocument::~TksXMLDocument() = default;

void TksXMLDocument::LoadFromStream(TStream& stream) {
    std::int64_t start = stream.Seek(0, TSeekOrigin::soCurrent);
    std::int64_t end = stream.Seek(0, TSeekOrigin::soEnd);
    stream.Seek(start, TSeekOrigin::soBeginning);
    XMLReader reader([&](char* buf, std::int64_t n) { return stream.Read(buf, n); },
                     end > start ? end - start : 0);
    struct Restore {
        TStream& s;
        std::int64_t start;
        XMLReader& r;
        ~Restore() {
            try {
                s.Seek(start + r.Consumed(), TSeekOrigin::soBeginning);
            } catch (...) {
                // A seek fault must not leave a destructor (it may run while unwinding).
            }
        }
    } restore{stream, start, reader};
    LoadDocument(root_.get(), reader);
}

void TksXMLDocument::SaveToStream(TStream& stream) const {
    WriteDocument(root_.get(), indentOutput_, [&](const std::string& s) {
        stream.WriteBuffer(s.data(), static_cast<std::int64_t>(s.size()));
    });
}

void TksXMLDocument::LoadFromText(std::string_view text) {
    std::size_t pos = 0;
    XMLReader reader(
        [&](char* buf, std::int64_t n) {
            auto count = std::min<std::size_t>(static_cast<std::size_t>(n), text.size() - pos);
            std::memcpy(buf, text.data() + pos, count);
            pos += count;
            return static_cast<std::int64_t>(count);
        },
        static_cast<std::int64_t>(text.size()));
    LoadDocument(root_.get(), reader);
}

std::string TksXMLDocument::SaveToText() const {
    std::string result;
    WriteDocument(root_.get(), indentOutput_, [&](const std::string& s) { result += s; });
    return result;
}

void TksXMLDocument::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TksXMLDocument::SaveToFile(const std::string& fileName) const {
    TSafeFileWriter writer(fileName);
    SaveToStream(writer);
    writer.Commit();
}
