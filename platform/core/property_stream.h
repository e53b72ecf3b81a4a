#pragma once
// The binary property stream of the class library, as templates written by the earlier
// program hold it (the PropData attribute): a tag byte then the value, little-endian.
//   0 null (end of list)  1 list  2 int8  3 int16  4 int32  5 extended (10-byte x87)
//   6 string (1-byte length)  7 identifier  8 false  9 true  10 binary (4-byte length)
//   11 set (names, ended by an empty name)  12 long string (4-byte length)  13 nil
//   14 collection  15 single  16 currency (int64 / 10000)  17 date (double)
//   18 wide string (4-byte count of UTF-16 units)  19 int64  20 UTF-8 string
// A property is its name (1-byte length, no tag) followed by its value. 8-bit strings are in
// the legacy code page; in memory every string is UTF-8.
//
// TWriter writes published properties and what DefineProperties declares; TReader reads them
// back, collects component references and resolves them in a fix-up phase. Every read is
// checked against the bytes that remain: a truncated stream or an unknown tag raises EReadError
// and nothing is read past the end.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/persistent.h"
#include "platform/core/stream.h"
#include "platform/core/variant.h"

class TPropInfo;
class TReader;
class TWriter;
struct TStreamValue;

enum class TValueType : std::uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
};

// 10-byte x87 extended precision, little-endian: 64-bit significand with explicit integer bit,
// 15-bit exponent (bias 16383), sign. Every double converts to it and back exactly; extended
// values beyond double precision round to nearest (even), beyond its range to infinity.
void DoubleToExtended(double value, std::uint8_t out[10]);
double ExtendedToDouble(const std::uint8_t in[10]);

// Common base of TReader and TWriter: the root that component references are named against,
// and the DefineProperties callbacks.
class TFiler {
public:
    explicit TFiler(TStream& stream) : stream_(stream) {}
    virtual ~TFiler() = default;
    TFiler(const TFiler&) = delete;
    TFiler& operator=(const TFiler&) = delete;

    TStream& Stream() const { return stream_; }
    TComponent* Root() const { return root_; }
    void SetRoot(TComponent* root) { root_ = root; }

    // Declares a property kept outside the published ones. The writer calls writeData after
    // writing the name when hasData; the reader calls readData when the name it is reading
    // matches (case-insensitive).
    virtual void DefineProperty(std::string_view name,
                                const std::function<void(TReader&)>& readData,
                                const std::function<void(TWriter&)>& writeData, bool hasData) = 0;
    // The same for raw bytes, stored as one binary value (tag 10).
    virtual void DefineBinaryProperty(std::string_view name,
                                      const std::function<void(TStream&)>& readData,
                                      const std::function<void(TStream&)>& writeData,
                                      bool hasData) = 0;

private:
    TStream& stream_;
    TComponent* root_ = nullptr;
};

class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream) : TFiler(stream) {}

    void WriteValue(TValueType type);
    void WriteListBegin() { WriteValue(TValueType::vaList); }
    void WriteListEnd() { WriteValue(TValueType::vaNull); }
    // The smallest of int8, int16, int32, int64.
    void WriteInteger(std::int64_t value);
    void WriteBoolean(bool value);
    void WriteFloat(double value); // extended
    void WriteSingle(float value);
    // Currency: the amount times 10000 as an int64.
    void WriteCurrency(std::int64_t scaledValue);
    void WriteDate(double value);
    // In the legacy code page: tag 6 up to 255 bytes, else 12. Text the code page cannot hold
    // is written as a wide string (tag 18) so nothing is lost.
    void WriteString(std::string_view utf8);
    // Always tag 12, in the legacy code page (EEncodingError for text it cannot hold).
    void WriteLongString(std::string_view utf8);
    void WriteUTF8String(std::string_view utf8);
    void WriteWideString(std::u16string_view text);
    // "False", "True", "nil", "Null" become their own tags; other names tag 7.
    void WriteIdent(std::string_view ident);
    void WriteSet(const std::vector<std::string>& elementNames);
    void WriteBinary(const void* data, std::int64_t size);
    // Empty as nil, Null as null, numbers by size, dates as dates, strings as strings.
    // Arrays raise EWriteError.
    void WriteVariant(const Variant& value);
    // A name without tag (1-byte length, at most 255 bytes in the legacy code page).
    void WriteStr(std::string_view utf8);

    // Every stored published property of instance that needs storing (not at its default),
    // then its DefineProperties, names prefixed by the path of enclosing properties.
    void WriteProperties(TPersistent& instance);
    void WriteProperty(TPersistent& instance, const TPropInfo& info);
    // Tag 14, then each item as a list of its properties, then the end of the list.
    void WriteCollection(TCollection& collection);

    // TFiler
    void DefineProperty(std::string_view name, const std::function<void(TReader&)>& readData,
                        const std::function<void(TWriter&)>& writeData, bool hasData) override;
    void DefineBinaryProperty(std::string_view name, const std::function<void(TStream&)>& readData,
                              const std::function<void(TStream&)>& writeData,
                              bool hasData) override;

private:
    friend void WriteStreamValue(TWriter& writer, const TStreamValue& value);
    void WriteRaw(const void* data, std::int64_t size);
    void WritePropName(std::string_view name);
    void WriteBytesWithLength(TValueType type, std::string_view bytes);
    std::string ReferenceName(TComponent* component) const;
    std::string propPath_;
};

class TReader : public TFiler {
public:
    explicit TReader(TStream& stream) : TFiler(stream) {}
    ~TReader() override;

    // Bytes left before the end of the stream.
    std::int64_t Remaining();
    bool AtEnd() { return Remaining() <= 0; }

    TValueType ReadValue();
    // The next tag without consuming it.
    TValueType NextValue();
    void CheckValue(TValueType expected);
    bool EndOfList() { return NextValue() == TValueType::vaNull; }
    void ReadListBegin() { CheckValue(TValueType::vaList); }
    void ReadListEnd() { CheckValue(TValueType::vaNull); }

    // Integers of any size; ReadInteger raises when the value does not fit 32 bits.
    std::int32_t ReadInteger();
    std::int64_t ReadInt64();
    bool ReadBoolean();
    // Extended, double-sized date, single, currency or an integer, as a double.
    double ReadFloat();
    float ReadSingle();
    std::int64_t ReadCurrency(); // times 10000
    double ReadDate();
    // Tags 6, 12 (legacy code page), 18 and 20, as UTF-8.
    std::string ReadString();
    std::u16string ReadWideString();
    // Tag 7, or false/true/nil/null as "False", "True", "nil", "Null".
    std::string ReadIdent();
    // Element names of a set (tag 11).
    std::vector<std::string> ReadSet();
    std::vector<std::uint8_t> ReadBinary();
    Variant ReadVariant();
    // A name without tag.
    std::string ReadStr();
    // Skips one value of any type, lists and collections included.
    void SkipValue();

    // One property (name and value) into instance: a dotted name walks nested persistent
    // properties; a name that is not published goes to the instance's DefineProperties. An
    // unknown name raises EReadError "Property X does not exist" (the value is skipped first,
    // so the stream stays in step).
    void ReadProperty(TPersistent& instance);
    // Reads properties until the end of the stream.
    void ReadPropertiesToEnd(TPersistent& instance);
    // Tag 14: clears the collection and reads its items.
    void ReadCollection(TCollection& collection);

    // Component references read meanwhile wait in a fix-up list until FixupReferences, which
    // looks each name up against Root ("Owner" is Root itself; "A.B" is B owned by A, where A
    // is Root, a component owned by Root, or a global component from FindGlobalComponent).
    // Names that resolve to nothing leave the property unchanged. EndReferences drops what is
    // left. Without BeginReferences, each ReadProperty resolves its own references at once.
    void BeginReferences();
    void FixupReferences();
    void EndReferences();
    bool InReferencePhase() const { return referencePhase_; }
    int PendingFixups() const { return static_cast<int>(fixups_.size()); }

    // TFiler
    void DefineProperty(std::string_view name, const std::function<void(TReader&)>& readData,
                        const std::function<void(TWriter&)>& writeData, bool hasData) override;
    void DefineBinaryProperty(std::string_view name, const std::function<void(TStream&)>& readData,
                              const std::function<void(TStream&)>& writeData,
                              bool hasData) override;

private:
    struct Fixup {
        TObject* instance;
        const TPropInfo* info;
        std::string name;
        TComponent* root;
    };
    void ReadRaw(void* data, std::int64_t size);
    std::string ReadBytes(std::int64_t size);
    std::int64_t ReadLength();
    void ReadPropValue(TObject& instance, const TPropInfo& info);
    TComponent* ResolveReference(TComponent* root, std::string_view name) const;
    [[noreturn]] void Fail(const std::string& what);
    void SkipValueAt(int depth);
    void EnterNesting();

    std::vector<Fixup> fixups_;
    bool referencePhase_ = false;
    std::string pendingName_; // the defined property being looked for
    bool pendingHandled_ = false;
    int depth_ = 0;
};

// Finds a global component (a form or data module) by name for references "Form.Component";
// the application installs it. Null: none.
using TFindGlobalComponent = std::function<TComponent*(std::string_view name)>;
void SetFindGlobalComponent(TFindGlobalComponent finder);

// ---- values as a tree
// ---------------------------------------------------------------------------- The stream decoded
// into values, for tests and diagnostics (and encoded back byte for byte).

struct TStreamValue;
struct TStreamProperty;
using TStreamItem = std::vector<TStreamProperty>;

struct TStreamValue {
    TValueType Type = TValueType::vaNull;
    std::int64_t Integer = 0;              // int8..int64, currency (scaled)
    double Float = 0;                      // extended, single, date
    std::string Text;                      // strings, identifiers (UTF-8)
    std::u16string Wide;                   // wide string
    std::vector<std::uint8_t> Bytes;       // binary
    std::vector<std::string> SetElements;  // set
    std::vector<TStreamValue> List;        // list
    std::vector<TStreamItem> Items;        // collection items
    std::vector<std::int64_t> ItemIndices; // collection: the index before each item, or -1
};

struct TStreamProperty {
    std::string Name;
    TStreamValue Value;
};

// One value at the reader's position.
TStreamValue ReadStreamValue(TReader& reader);
void WriteStreamValue(TWriter& writer, const TStreamValue& value);
// Name and value pairs up to the end of the stream (the form of PropData).
std::vector<TStreamProperty> ObjectBinaryToValues(TStream& stream);
void ValuesToObjectBinary(const std::vector<TStreamProperty>& properties, TStream& stream);

// ---- hexadecimal text of a stream
// ----------------------------------------------------------------

// The whole stream from position 0, two upper-case digits per byte, no separators. The
// position is kept.
std::string StreamToHex(TStream& stream);
// Writes the bytes of hex (either case) at position 0 without truncating the stream. The
// conversion stops at the first character that is not a hexadecimal digit; a last unpaired
// digit is ignored. Returns the number of bytes written.
std::int64_t HexToStream(std::string_view hex, TStream& stream);
