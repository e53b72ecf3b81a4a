#pragma once
// The report generator's XML tree: elements with raw attribute text, comments skipped, and
// swapping of marked elements' children to a temporary file or back to the loaded stream.
// Templates, prepared reports, string tables, variables and styles all travel through it.
// Text is 8-bit as the caller decides (UTF-8 or legacy bytes); nothing is converted here.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/exception.h"

class TStream;
class Variant;

// Malformed input. The message is always "Invalid file format"; Position() is the stream
// offset at which the reader gave up.
class TpgwInvalidXMLException : public Exception {
public:
    explicit TpgwInvalidXMLException(std::int64_t position)
        : Exception("Invalid file format"), position_(position) {}
    const char* ClassName() const noexcept override { return "TpgwInvalidXMLException"; }
    std::int64_t Position() const noexcept { return position_; }

private:
    std::int64_t position_;
};

// Attribute-value escaping: LF, CR, ", &, <, > become decimal character references; "&quot;"
// becomes "&#34;" as a whole.
std::string EncodeXMLText(std::string_view text);
// Reverse of the escaping. Decimal references up to 255 give that byte, larger ones the UTF-8
// form of the character; a reference without ';' is left as it stands. Non-decimal digits or an
// impossible code point raise EConvertError.
std::string DecodeXMLText(std::string_view text);

// Attribute text of a value: integers in decimal, floats and dates in the locale's forms,
// strings escaped, booleans "1"/"0"; empty, null and arrays give "".
std::string ValueToXMLText(const Variant& value);

class TpgwXMLItem {
public:
    TpgwXMLItem();
    // Frees the subtree and leaves the parent's child list.
    ~TpgwXMLItem();
    TpgwXMLItem(const TpgwXMLItem&) = delete;
    TpgwXMLItem& operator=(const TpgwXMLItem&) = delete;

    // Frees every child; an unloadable item becomes not loaded. Name, Text and Value stay.
    void Clear();

    // Child at index; EListError outside 0..Count-1.
    TpgwXMLItem* Items(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    int IndexOf(const TpgwXMLItem* item) const;

    TpgwXMLItem* Add();
    // Appends item (taking ownership) and removes it from its previous parent's list; re-adding
    // an own child moves it to the end.
    void AddItem(TpgwXMLItem* item);
    void InsertItem(int index, TpgwXMLItem* item);
    // First child of that name, case-insensitive, or -1.
    int Find(std::string_view name) const;
    // Get or create: the child Find locates, else a new child of that name appended.
    TpgwXMLItem* FindItem(std::string_view name);

    // Attribute access on the raw Text: names match case-insensitively; values are decoded
    // on read and encoded on write; an update keeps the attribute's place.
    std::string Prop(std::string_view name) const;
    void SetProp(std::string_view name, std::string_view value);

    // 40-bit position of the element's start tag in the swap stream.
    std::uint64_t Offset() const { return (std::uint64_t(offsetHi_) << 32) | offsetLo_; }
    void SetOffset(std::uint64_t offset);

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    const std::string& Text() const { return text_; }
    void SetText(std::string text) { text_ = std::move(text); }
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }
    TpgwXMLItem* Parent() const { return parent_; }
    bool Loaded() const { return loaded_; }
    void SetLoaded(bool loaded) { loaded_ = loaded; }
    bool Unloadable() const { return unloadable_; }
    void SetUnloadable(bool unloadable) { unloadable_ = unloadable; }
    void* Data() const { return data_; }
    void SetData(void* data) { data_ = data; }

    // Direct access to the raw attribute text for readers that fill it in place.
    std::string& MutableText() { return text_; }

private:
    friend class TpgwXMLReader;
    void detachChild(TpgwXMLItem* item);

    void* data_ = nullptr;
    std::uint8_t offsetHi_ = 0;
    bool loaded_ = true;
    bool unloadable_ = false;
    std::uint32_t offsetLo_ = 0;
    std::vector<TpgwXMLItem*> items_; // owned
    std::string name_;
    TpgwXMLItem* parent_ = nullptr;
    std::string text_;
    std::string value_;
};

// Reads elements from a stream through a 4096-byte buffer, from the stream's current position
// up to the size it had when the reader was made.
class TpgwXMLReader {
public:
    explicit TpgwXMLReader(TStream& stream);
    // Leaves the stream right after the last byte consumed (not at the end of the read-ahead).
    ~TpgwXMLReader();
    TpgwXMLReader(const TpgwXMLReader&) = delete;
    TpgwXMLReader& operator=(const TpgwXMLReader&) = delete;

    void SetPosition(std::int64_t position);
    std::int64_t Position() const { return position_; }
    // The XML declaration; sets LegacyText for version "1.0" without a standalone attribute.
    void ReadHeader();
    // Next tag split at its first blank; an empty name at the end of the input.
    void ReadTag(std::string& name, std::string& text);
    // Reads one element and its subtree into item. Returns false when an end tag (or the end of
    // the input) came instead of an element. Children of elements marked ld="0" are skipped
    // (left on the stream at the item's Offset) unless loadAll.
    bool ReadRootItem(TpgwXMLItem& item, bool loadAll);
    bool LegacyText() const { return legacyText_; }

    // Deepest element nesting accepted; deeper input is treated as malformed.
    static constexpr int kMaxDepth = 1024;

private:
    bool fill();
    [[noreturn]] void fail() const;
    bool readElement(TpgwXMLItem& item, bool loadAll, int depth, std::string& endTag);

    std::unique_ptr<char[]> buffer_;
    std::string tag_; // the tag being collected, reused between tags
    int bufPos_ = 0;
    int bufEnd_ = 0;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
    TStream& stream_;
    bool legacyText_ = false;
};

class TpgwXMLWriter {
public:
    explicit TpgwXMLWriter(TStream& stream);
    ~TpgwXMLWriter();
    TpgwXMLWriter(const TpgwXMLWriter&) = delete;
    TpgwXMLWriter& operator=(const TpgwXMLWriter&) = delete;

    bool IndentOutput() const { return indentOutput_; }
    void SetIndentOutput(bool indent) { indentOutput_ = indent; }
    // Stream that unloaded items are read back from while they are written (none by default).
    void SetTempStream(TStream* stream) { tempStream_ = stream; }

    // Appends one line (CR LF after it when indenting).
    void WriteLine(std::string_view text);
    void WriteHeader();
    // Writes item and its subtree, then flushes.
    void WriteRootItem(TpgwXMLItem& item);
    void FlushBuffer();

private:
    void writeItem(TpgwXMLItem& item, int level);
    void endLine();

    bool indentOutput_ = false;
    std::string buffer_;
    TStream& stream_;
    TStream* tempStream_ = nullptr;
};

class TpgwXMLDocument {
public:
    TpgwXMLDocument();
    ~TpgwXMLDocument();
    TpgwXMLDocument(const TpgwXMLDocument&) = delete;
    TpgwXMLDocument& operator=(const TpgwXMLDocument&) = delete;

    TpgwXMLItem* Root() const { return root_.get(); }
    bool IndentOutput() const { return indentOutput_; }
    void SetIndentOutput(bool indent) { indentOutput_ = indent; }
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(std::string dir) { tempDir_ = std::move(dir); }
    // Set by each load: true for an XML declaration of version "1.0" without standalone.
    bool LegacyText() const { return legacyText_; }

    void Clear();
    // With partialLoad the children of ld="0" elements stay on the stream, which the document
    // then owns until it is cleared, reloaded or destroyed.
    void LoadFromStream(std::unique_ptr<TStream> stream, bool partialLoad);
    // Full load from a stream the caller keeps.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);
    // Partial load; the file stays open (denying writes) until the document lets it go.
    void LoadFromFile(const std::string& fileName);
    // Writes a temporary file beside fileName and renames it over fileName only when complete
    // (a failure leaves the file and the document as they were), then loads it back partially.
    void SaveToFile(const std::string& fileName);

    void CreateTempFile();
    void DeleteTempFile();
    // Brings an unloaded item's children back from the swap stream.
    void LoadItem(TpgwXMLItem* item);
    // Writes a loaded, unloadable item's children to the swap file and frees them.
    void UnloadItem(TpgwXMLItem* item);

private:
    void loadFrom(TStream& stream, bool partialLoad);

    bool indentOutput_ = false;
    std::unique_ptr<TpgwXMLItem> root_;
    std::string tempDir_;
    std::string tempFileName_;
    std::unique_ptr<TStream> tempStream_;
    bool tempFileCreated_ = false;
    bool legacyText_ = false;
};
