// The binary property stream: TWriter, TReader, fix-ups, the value tree and hex text.
#include "platform/core/property_stream.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/core/collection.h"
#include "platform/core/component.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"

namespace {

constexpr int kMaxNesting = 100; // lists within lists, collections within items
constexpr std::uint8_t kLastTag = static_cast<std::uint8_t>(TValueType::vaUTF8String);

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string LegacyToUtf8(std::string_view bytes) {
    return IsAscii(bytes) ? std::string(bytes) : CodePageToUtf8Lossy(bytes);
}

bool IsIntTag(TValueType t) {
    return t == TValueType::vaInt8 || t == TValueType::vaInt16 || t == TValueType::vaInt32 ||
           t == TValueType::vaInt64;
}

std::mutex& FinderMutex() {
    static std::mutex m;
    return m;
}

TFindGlobalComponent& Finder() {
    static TFindGlobalComponent finder;
    return finder;
}

} // namespace

void SetFindGlobalComponent(TFindGlobalComponent finder) {
    std::lock_guard lock(FinderMutex());
    Finder() = std::move(finder);
}

// ---- extended precision
// --------------------------------------------------------------------------

void DoubleToExtended(double value, std::uint8_t out[10]) {
    std::uint64_t mantissa = 0;
    std::uint16_t exponent = 0;
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        exponent = 0x7FFF;
        mantissa = 0xC000000000000000ull; // quiet NaN
    } else if (std::isinf(value)) {
        exponent = 0x7FFF;
        mantissa = 0x8000000000000000ull;
    } else if (value != 0) {
        int e = 0;
        const double fraction = std::frexp(std::fabs(value), &e); // [0.5, 1), exact
        // 53 significant bits at most, so the scaling to 64 bits is exact.
        mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
        exponent = static_cast<std::uint16_t>(e - 1 + 16383);
    }
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    const std::uint16_t se = static_cast<std::uint16_t>(exponent | (negative ? 0x8000 : 0));
    out[8] = static_cast<std::uint8_t>(se & 0xFF);
    out[9] = static_cast<std::uint8_t>(se >> 8);
}

double ExtendedToDouble(const std::uint8_t in[10]) {
    std::uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i)
        mantissa |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    const int se = in[8] | (in[9] << 8);
    const bool negative = (se & 0x8000) != 0;
    const int exponent = se & 0x7FFF;
    double result;
    if (exponent == 0x7FFF) {
        const bool infinity = (mantissa << 1) == 0;
        result = infinity ? std::numeric_limits<double>::infinity()
                          : std::numeric_limits<double>::quiet_NaN();
    } else if (mantissa == 0) {
        result = 0;
    } else {
        // value = mantissa * 2^(exponent - 16383 - 63); denormals use exponent 1. The
        // conversion of the 64-bit integer rounds to nearest even; ldexp is then exact unless
        // the result leaves the double range.
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        result = std::ldexp(static_cast<double>(mantissa), e);
    }
    return negative ? -result : result;
}

// ---- TWriter
// -------------------------------------------------------------------------------------

void TWriter::WriteRaw(const void* data, std::int64_t size) {
    Stream().WriteBuffer(data, size);
}

void TWriter::WriteValue(TValueType type) {
    const auto tag = static_cast<std::uint8_t>(type);
    WriteRaw(&tag, 1);
}

void TWriter::WriteInteger(std::int64_t value) {
    if (value >= -128 && value <= 127) {
        WriteValue(TValueType::vaInt8);
        const auto v = static_cast<std::int8_t>(value);
        WriteRaw(&v, 1);
    } else if (value >= -32768 && value <= 32767) {
        WriteValue(TValueType::vaInt16);
        const auto v = static_cast<std::uint16_t>(value);
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        WriteRaw(b, 2);
    } else if (value >= std::numeric_limits<std::int32_t>::min() &&
               value <= std::numeric_limits<std::int32_t>::max()) {
        WriteValue(TValueType::vaInt32);
        const auto v = static_cast<std::uint32_t>(value);
        std::uint8_t b[4];
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        WriteRaw(b, 4);
    } else {
        WriteValue(TValueType::vaInt64);
        const auto v = static_cast<std::uint64_t>(value);
        std::uint8_t b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        WriteRaw(b, 8);
    }
}

namespace {

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

void TWriter::WriteBoolean(bool value) {
    WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TWriter::WriteFloat(double value) {
    WriteValue(TValueType::vaExtended);
    std::uint8_t b[10];
    DoubleToExtended(value, b);
    WriteRaw(b, 10);
}

void TWriter::WriteSingle(float value) {
    WriteValue(TValueType::vaSingle);
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    std::uint8_t b[4];
    PutU32(b, bits);
    WriteRaw(b, 4);
}

void TWriter::WriteCurrency(std::int64_t scaledValue) {
    WriteValue(TValueType::vaCurrency);
    std::uint8_t b[8];
    PutU64(b, static_cast<std::uint64_t>(scaledValue));
    WriteRaw(b, 8);
}

void TWriter::WriteDate(double value) {
    WriteValue(TValueType::vaDate);
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    std::uint8_t b[8];
    PutU64(b, bits);
    WriteRaw(b, 8);
}

// Sizes are checked before the tag goes out, so a refused value leaves no stray bytes.
void TWriter::WriteBytesWithLength(TValueType type, std::string_view bytes) {
    if (type == TValueType::vaString || type == TValueType::vaIdent) {
        if (bytes.size() > 255) throw EWriteError("Name or short string longer than 255 bytes");
        WriteValue(type);
        const auto n = static_cast<std::uint8_t>(bytes.size());
        WriteRaw(&n, 1);
    } else {
        if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw EWriteError("String too long for a property stream");
        WriteValue(type);
        std::uint8_t b[4];
        PutU32(b, static_cast<std::uint32_t>(bytes.size()));
        WriteRaw(b, 4);
    }
    WriteRaw(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TWriter::WriteString(std::string_view utf8) {
    std::string bytes;
    if (IsAscii(utf8)) {
        bytes = utf8;
    } else {
        try {
            bytes = Utf8ToCodePage(utf8);
        } catch (const EEncodingError&) {
            // Beyond the legacy code page: keep every character.
            WriteWideString(Utf8ToUtf16(utf8));
            return;
        }
    }
    WriteBytesWithLength(bytes.size() <= 255 ? TValueType::vaString : TValueType::vaLString, bytes);
}

void TWriter::WriteLongString(std::string_view utf8) {
    WriteBytesWithLength(TValueType::vaLString,
                         IsAscii(utf8) ? std::string(utf8) : Utf8ToCodePage(utf8));
}

void TWriter::WriteUTF8String(std::string_view utf8) {
    WriteBytesWithLength(TValueType::vaUTF8String, utf8);
}

void TWriter::WriteWideString(std::u16string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2))
        throw EWriteError("String too long for a property stream");
    WriteValue(TValueType::vaWString);
    std::string bytes(text.size() * 2 + 4, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(bytes.data());
    PutU32(p, static_cast<std::uint32_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        p[4 + 2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        p[5 + 2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    WriteRaw(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TWriter::WriteIdent(std::string_view ident) {
    if (SameText(ident, "False")) return WriteValue(TValueType::vaFalse);
    if (SameText(ident, "True")) return WriteValue(TValueType::vaTrue);
    if (SameText(ident, "nil")) return WriteValue(TValueType::vaNil);
    if (SameText(ident, "Null")) return WriteValue(TValueType::vaNull);
    WriteBytesWithLength(TValueType::vaIdent, Utf8ToCodePage(ident));
}

void TWriter::WriteStr(std::string_view utf8) {
    const std::string bytes = IsAscii(utf8) ? std::string(utf8) : Utf8ToCodePage(utf8);
    if (bytes.size() > 255) throw EWriteError("Name longer than 255 bytes: " + std::string(utf8));
    const auto n = static_cast<std::uint8_t>(bytes.size());
    WriteRaw(&n, 1);
    WriteRaw(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TWriter::WriteSet(const std::vector<std::string>& elementNames) {
    WriteValue(TValueType::vaSet);
    for (const std::string& name : elementNames) {
        if (name.empty()) throw EWriteError("Empty set element name");
        WriteStr(name);
    }
    WriteStr("");
}

void TWriter::WriteBinary(const void* data, std::int64_t size) {
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
        throw EWriteError("Binary value too large for a property stream");
    WriteValue(TValueType::vaBinary);
    std::uint8_t b[4];
    PutU32(b, static_cast<std::uint32_t>(size));
    WriteRaw(b, 4);
    WriteRaw(data, size);
}

void TWriter::WriteVariant(const Variant& value) {
    switch (value.Kind()) {
    case VariantKind::Empty:
        return WriteValue(TValueType::vaNil);
    case VariantKind::Null:
        return WriteValue(TValueType::vaNull);
    case VariantKind::Int32:
        return WriteInteger(value.Int32Value());
    case VariantKind::Int64: {
        WriteValue(TValueType::vaInt64);
        std::uint8_t b[8];
        PutU64(b, static_cast<std::uint64_t>(value.Int64Value()));
        return WriteRaw(b, 8);
    }
    case VariantKind::Double:
        return WriteFloat(value.DoubleValue());
    case VariantKind::Date:
        return WriteDate(value.DoubleValue());
    case VariantKind::Bool:
        return WriteBoolean(value.BoolValue());
    case VariantKind::String:
        if (value.IsWideString()) return WriteWideString(Utf8ToUtf16(value.StringValue()));
        return WriteString(value.StringValue());
    case VariantKind::Array:
        break;
    }
    throw EWriteError("A variant array cannot be written to a property stream");
}

void TWriter::WritePropName(std::string_view name) {
    WriteStr(propPath_ + std::string(name));
}

std::string TWriter::ReferenceName(TComponent* component) const {
    if (!component) return {};
    TComponent* root = Root();
    if (component->Owner() == root) return component->Name();
    if (component == root) return "Owner";
    TComponent* owner = component->Owner();
    if (owner && !owner->Name().empty() && !component->Name().empty())
        return owner->Name() + "." + component->Name();
    return component->Name();
}

void TWriter::WriteProperties(TPersistent& instance) {
    for (const TPropInfo* info : instance.ClassType().Properties())
        if (info->IsStored(instance)) WriteProperty(instance, *info);
    instance.DefineProperties(*this);
}

void TWriter::WriteProperty(TPersistent& instance, const TPropInfo& info) {
    const TTypeKind kind = info.Kind();
    if (kind == TTypeKind::tkMethod || kind == TTypeKind::tkUnknown || !info.IsReadable()) return;
    // Only what can be read back is written; objects are filled in place.
    if (kind != TTypeKind::tkClass && !info.IsWritable()) return;
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64: {
        if (IsDefaultPropValue(instance, info)) return;
        WritePropName(info.Name());
        return WriteInteger(GetOrdProp(instance, info));
    }
    case TTypeKind::tkChar: {
        if (IsDefaultPropValue(instance, info)) return;
        WritePropName(info.Name());
        return WriteBytesWithLength(TValueType::vaString,
                                    std::string(1, static_cast<char>(GetOrdProp(instance, info))));
    }
    case TTypeKind::tkWChar: {
        if (IsDefaultPropValue(instance, info)) return;
        WritePropName(info.Name());
        return WriteWideString(
            std::u16string(1, static_cast<char16_t>(GetOrdProp(instance, info))));
    }
    case TTypeKind::tkEnumeration:
        if (IsDefaultPropValue(instance, info)) return;
        WritePropName(info.Name());
        return WriteIdent(GetEnumProp(instance, info));
    case TTypeKind::tkSet: {
        if (IsDefaultPropValue(instance, info)) return;
        const auto value = static_cast<std::uint32_t>(GetOrdProp(instance, info));
        std::vector<std::string> names;
        for (int bit = 0; bit < 32; ++bit)
            if (value & (1u << bit)) names.push_back(SetToString(info.PropType(), 1u << bit));
        WritePropName(info.Name());
        return WriteSet(names);
    }
    case TTypeKind::tkFloat: {
        const double value = GetFloatProp(instance, info);
        const TTypeInfo& type = info.PropType();
        WritePropName(info.Name());
        if (&type == &TypeInfoDateTime() || &type == &TypeInfoDate() || &type == &TypeInfoTime())
            return WriteDate(value);
        if (type.FloatType() == TFloatType::ftSingle) return WriteSingle(static_cast<float>(value));
        if (type.FloatType() == TFloatType::ftCurr) return WriteCurrency(Round(value * 10000.0));
        return WriteFloat(value);
    }
    case TTypeKind::tkLString: {
        const std::string value = GetStrProp(instance, info);
        if (value.empty()) return;
        WritePropName(info.Name());
        return WriteString(value);
    }
    case TTypeKind::tkWString: {
        const std::u16string value = GetWideStrProp(instance, info);
        if (value.empty()) return;
        WritePropName(info.Name());
        return WriteWideString(value);
    }
    case TTypeKind::tkVariant: {
        const Variant value = GetVariantProp(instance, info);
        if (value.IsEmpty()) return;
        WritePropName(info.Name());
        return WriteVariant(value);
    }
    case TTypeKind::tkClass: {
        TObject* object = GetObjectProp(instance, info);
        if (!object) return;
        switch (ClassPropRole(info)) {
        case TClassPropRole::Reference: {
            const std::string name = ReferenceName(dynamic_cast<TComponent*>(object));
            if (name.empty()) return;
            WritePropName(info.Name());
            return WriteIdent(name);
        }
        case TClassPropRole::Collection: {
            auto* collection = dynamic_cast<TCollection*>(object);
            if (!collection) return;
            WritePropName(info.Name());
            return WriteCollection(*collection);
        }
        case TClassPropRole::NestedObject:
        case TClassPropRole::Strings:
        case TClassPropRole::WideStrings: {
            auto* nested = dynamic_cast<TPersistent*>(object);
            if (!nested) return;
            const std::string saved = propPath_;
            propPath_ += info.Name() + ".";
            try {
                WriteProperties(*nested);
            } catch (...) {
                propPath_ = saved;
                throw;
            }
            propPath_ = saved;
            return;
        }
        }
        return;
    }
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        return;
    }
}

void TWriter::WriteCollection(TCollection& collection) {
    WriteValue(TValueType::vaCollection);
    const std::string saved = propPath_;
    propPath_.clear();
    try {
        for (int i = 0; i < collection.Count(); ++i) {
            WriteListBegin();
            WriteProperties(*collection.Items(i));
            WriteListEnd();
        }
    } catch (...) {
        propPath_ = saved;
        throw;
    }
    propPath_ = saved;
    WriteListEnd();
}

void TWriter::DefineProperty(std::string_view name, const std::function<void(TReader&)>&,
                             const std::function<void(TWriter&)>& writeData, bool hasData) {
    if (!hasData || !writeData) return;
    WritePropName(name);
    writeData(*this);
}

void TWriter::DefineBinaryProperty(std::string_view name, const std::function<void(TStream&)>&,
                                   const std::function<void(TStream&)>& writeData, bool hasData) {
    if (!hasData || !writeData) return;
    TMemoryStream data;
    writeData(data);
    WritePropName(name);
    WriteBinary(data.Memory(), data.Size());
}

// ---- TReader
// -------------------------------------------------------------------------------------

TReader::~TReader() = default;

std::int64_t TReader::Remaining() {
    return Stream().Size() - Stream().Position();
}

void TReader::Fail(const std::string& what) {
    throw EReadError(what + " at offset " + std::to_string(Stream().Position()) +
                     " of the property stream");
}

void TReader::ReadRaw(void* data, std::int64_t size) {
    if (size < 0 || size > Remaining())
        Fail("Truncated value: " + std::to_string(size) + " bytes needed, " +
             std::to_string(Remaining()) + " left");
    Stream().ReadBuffer(data, size);
}

std::string TReader::ReadBytes(std::int64_t size) {
    if (size < 0 || size > Remaining())
        Fail("Truncated value: " + std::to_string(size) + " bytes needed, " +
             std::to_string(Remaining()) + " left");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    Stream().ReadBuffer(bytes.data(), size);
    return bytes;
}

std::int64_t TReader::ReadLength() {
    std::uint8_t b[4];
    ReadRaw(b, 4);
    const std::int32_t n = static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                                     (static_cast<std::uint32_t>(b[3]) << 24));
    if (n < 0) Fail("Negative length " + std::to_string(n));
    return n;
}

TValueType TReader::ReadValue() {
    std::uint8_t tag;
    ReadRaw(&tag, 1);
    if (tag > kLastTag) {
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        Fail("Unknown value type " + std::to_string(tag));
    }
    return static_cast<TValueType>(tag);
}

TValueType TReader::NextValue() {
    const TValueType t = ReadValue();
    Stream().Seek(-1, TSeekOrigin::soCurrent);
    return t;
}

void TReader::CheckValue(TValueType expected) {
    const TValueType t = ReadValue();
    if (t != expected) {
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        Fail("Value type " + std::to_string(static_cast<int>(expected)) + " expected, found " +
             std::to_string(static_cast<int>(t)));
    }
}

std::int64_t TReader::ReadInt64() {
    const TValueType t = ReadValue();
    std::uint8_t b[8] = {};
    switch (t) {
    case TValueType::vaInt8:
        ReadRaw(b, 1);
        return static_cast<std::int8_t>(b[0]);
    case TValueType::vaInt16:
        ReadRaw(b, 2);
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
    case TValueType::vaInt32: {
        ReadRaw(b, 4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(b[i]) << (8 * i);
        return static_cast<std::int32_t>(v);
    }
    case TValueType::vaInt64: {
        ReadRaw(b, 8);
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
        return static_cast<std::int64_t>(v);
    }
    default:
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        Fail("Integer expected, found value type " + std::to_string(static_cast<int>(t)));
    }
}

std::int32_t TReader::ReadInteger() {
    const std::int64_t v = ReadInt64();
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        Fail("Integer value " + std::to_string(v) + " out of range");
    return static_cast<std::int32_t>(v);
}

bool TReader::ReadBoolean() {
    const TValueType t = ReadValue();
    if (t == TValueType::vaTrue) return true;
    if (t == TValueType::vaFalse) return false;
    Stream().Seek(-1, TSeekOrigin::soCurrent);
    Fail("Boolean expected");
}

double TReader::ReadFloat() {
    const TValueType t = NextValue();
    switch (t) {
    case TValueType::vaExtended: {
        ReadValue();
        std::uint8_t b[10];
        ReadRaw(b, 10);
        return ExtendedToDouble(b);
    }
    case TValueType::vaSingle:
        return ReadSingle();
    case TValueType::vaDate:
        return ReadDate();
    case TValueType::vaCurrency:
        return static_cast<double>(ReadCurrency()) / 10000.0;
    default:
        if (IsIntTag(t)) return static_cast<double>(ReadInt64());
        Fail("Number expected, found value type " + std::to_string(static_cast<int>(t)));
    }
}

float TReader::ReadSingle() {
    CheckValue(TValueType::vaSingle);
    std::uint8_t b[4];
    ReadRaw(b, 4);
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(b[i]) << (8 * i);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

std::int64_t TReader::ReadCurrency() {
    CheckValue(TValueType::vaCurrency);
    std::uint8_t b[8];
    ReadRaw(b, 8);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    return static_cast<std::int64_t>(v);
}

double TReader::ReadDate() {
    CheckValue(TValueType::vaDate);
    std::uint8_t b[8];
    ReadRaw(b, 8);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

std::u16string TReader::ReadWideString() {
    const TValueType t = NextValue();
    if (t != TValueType::vaWString) return Utf8ToUtf16(ReadString());
    ReadValue();
    const std::int64_t count = ReadLength();
    if (count > Remaining() / 2)
        Fail("Truncated value: " + std::to_string(count * 2) + " bytes needed, " +
             std::to_string(Remaining()) + " left");
    const std::string bytes = ReadBytes(count * 2);
    std::u16string text(static_cast<std::size_t>(count), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

std::string TReader::ReadString() {
    const TValueType t = ReadValue();
    switch (t) {
    case TValueType::vaString: {
        std::uint8_t n;
        ReadRaw(&n, 1);
        return LegacyToUtf8(ReadBytes(n));
    }
    case TValueType::vaLString:
        return LegacyToUtf8(ReadBytes(ReadLength()));
    case TValueType::vaUTF8String: {
        std::string bytes = ReadBytes(ReadLength());
        Utf8ToUtf16(bytes); // raises EEncodingError on malformed text
        return bytes;
    }
    case TValueType::vaWString: {
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        const std::u16string wide = ReadWideString();
        try {
            return Utf16ToUtf8(wide);
        } catch (const EEncodingError&) {
            Fail("Invalid UTF-16 text");
        }
    }
    default:
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        Fail("String expected, found value type " + std::to_string(static_cast<int>(t)));
    }
}

std::string TReader::ReadIdent() {
    const TValueType t = ReadValue();
    switch (t) {
    case TValueType::vaIdent: {
        std::uint8_t n;
        ReadRaw(&n, 1);
        return LegacyToUtf8(ReadBytes(n));
    }
    case TValueType::vaFalse:
        return "False";
    case TValueType::vaTrue:
        return "True";
    case TValueType::vaNil:
        return "nil";
    case TValueType::vaNull:
        return "Null";
    default:
        Stream().Seek(-1, TSeekOrigin::soCurrent);
        Fail("Identifier expected, found value type " + std::to_string(static_cast<int>(t)));
    }
}

std::string TReader::ReadStr() {
    std::uint8_t n;
    ReadRaw(&n, 1);
    return LegacyToUtf8(ReadBytes(n));
}

std::vector<std::string> TReader::ReadSet() {
    CheckValue(TValueType::vaSet);
    std::vector<std::string> names;
    for (;;) {
        std::string name = ReadStr();
        if (name.empty()) break;
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::uint8_t> TReader::ReadBinary() {
    CheckValue(TValueType::vaBinary);
    const std::string bytes = ReadBytes(ReadLength());
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

Variant TReader::ReadVariant() {
    const TValueType t = NextValue();
    switch (t) {
    case TValueType::vaNil:
        ReadValue();
        return Variant();
    case TValueType::vaNull:
        ReadValue();
        return Variant::Null();
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
        return Variant(static_cast<int>(ReadInt64()));
    case TValueType::vaInt64:
        return Variant(static_cast<long long>(ReadInt64()));
    case TValueType::vaExtended:
    case TValueType::vaSingle:
        return Variant(ReadFloat());
    case TValueType::vaCurrency:
        return Variant(static_cast<double>(ReadCurrency()) / 10000.0);
    case TValueType::vaDate:
        return Variant::FromDate(ReadDate());
    case TValueType::vaFalse:
    case TValueType::vaTrue:
        return Variant(ReadBoolean());
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
        return Variant(ReadString());
    case TValueType::vaWString:
        return Variant::FromWideString(ReadString());
    default:
        Fail("Value type " + std::to_string(static_cast<int>(t)) + " is not a variant value");
    }
}

void TReader::EnterNesting() {
    if (depth_ >= kMaxNesting)
        Fail("Lists nested more than " + std::to_string(kMaxNesting) + " deep");
}

void TReader::SkipValue() {
    SkipValueAt(0);
}

void TReader::SkipValueAt(int depth) {
    if (depth >= kMaxNesting)
        Fail("Lists nested more than " + std::to_string(kMaxNesting) + " deep");
    const TValueType t = NextValue();
    switch (t) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        ReadValue();
        return;
    case TValueType::vaList:
        ReadValue();
        while (!EndOfList())
            SkipValueAt(depth + 1);
        ReadListEnd();
        return;
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
        ReadInt64();
        return;
    case TValueType::vaExtended:
    case TValueType::vaSingle:
    case TValueType::vaDate:
        ReadFloat();
        return;
    case TValueType::vaCurrency:
        ReadCurrency();
        return;
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaUTF8String: {
        ReadValue();
        const std::int64_t n = [&]() -> std::int64_t {
            if (t != TValueType::vaString) return ReadLength();
            std::uint8_t b;
            ReadRaw(&b, 1);
            return b;
        }();
        ReadBytes(n);
        return;
    }
    case TValueType::vaWString:
        ReadWideString();
        return;
    case TValueType::vaIdent:
        ReadIdent();
        return;
    case TValueType::vaBinary:
        ReadBinary();
        return;
    case TValueType::vaSet:
        ReadSet();
        return;
    case TValueType::vaCollection:
        ReadValue();
        while (!EndOfList()) {
            if (IsIntTag(NextValue())) ReadInt64();
            ReadListBegin();
            while (!EndOfList()) {
                ReadStr();
                SkipValueAt(depth + 1);
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    }
}

void TReader::ReadProperty(TPersistent& instance) {
    const std::string name = ReadStr();
    if (name.empty()) Fail("Empty property name");
    TObject* target = &instance;
    std::string_view rest = name;
    const TPropInfo* info = nullptr;
    for (;;) {
        const std::size_t dot = rest.find('.');
        const std::string_view segment = rest.substr(0, dot);
        if (dot == std::string_view::npos) {
            info = GetPropInfo(*target, segment);
            break;
        }
        const TPropInfo* p = GetPropInfo(*target, segment);
        TObject* next = (p && p->Kind() == TTypeKind::tkClass && p->Access().getObj)
                            ? p->Access().getObj(*target)
                            : nullptr;
        if (!next) {
            target = nullptr;
            break;
        }
        target = next;
        rest.remove_prefix(dot + 1);
    }
    if (target && info && info->Kind() != TTypeKind::tkMethod) {
        ReadPropValue(*target, *info);
    } else {
        auto* persistent = target ? dynamic_cast<TPersistent*>(target) : nullptr;
        bool handled = false;
        if (persistent) {
            const std::string savedName = std::move(pendingName_);
            const bool savedHandled = pendingHandled_;
            pendingName_ = std::string(rest);
            pendingHandled_ = false;
            try {
                persistent->DefineProperties(*this);
            } catch (...) {
                pendingName_ = savedName;
                pendingHandled_ = savedHandled;
                throw;
            }
            handled = pendingHandled_;
            pendingName_ = savedName;
            pendingHandled_ = savedHandled;
        }
        if (!handled) {
            SkipValue();
            throw EReadError("Property " + name + " does not exist");
        }
    }
    if (!referencePhase_) FixupReferences();
}

void TReader::ReadPropertiesToEnd(TPersistent& instance) {
    while (!AtEnd())
        ReadProperty(instance);
}

void TReader::ReadPropValue(TObject& instance, const TPropInfo& info) {
    auto invalid = [&](const std::string& detail) {
        Fail("Invalid value for property " + info.Name() + (detail.empty() ? "" : ": " + detail));
    };
    switch (info.Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        SetOrdProp(instance, info, ReadInt64());
        return;
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar: {
        const TValueType t = NextValue();
        if (IsIntTag(t)) return SetOrdProp(instance, info, ReadInt64());
        if (t == TValueType::vaString && info.Kind() == TTypeKind::tkChar) {
            ReadValue();
            std::uint8_t n;
            ReadRaw(&n, 1);
            const std::string bytes = ReadBytes(n);
            if (bytes.empty()) invalid("empty character");
            return SetOrdProp(instance, info, static_cast<unsigned char>(bytes[0]));
        }
        const std::u16string text = ReadWideString();
        if (text.empty()) invalid("empty character");
        return SetOrdProp(instance, info, text[0]);
    }
    case TTypeKind::tkEnumeration: {
        const TValueType t = NextValue();
        if (IsIntTag(t)) return SetOrdProp(instance, info, ReadInt64());
        const std::string ident = ReadIdent();
        const int value = GetEnumValue(info.PropType(), ident);
        if (value < 0) invalid(ident);
        return SetOrdProp(instance, info, value);
    }
    case TTypeKind::tkSet: {
        std::uint32_t bits = 0;
        for (const std::string& name : ReadSet()) {
            try {
                bits |= StringToSet(info.PropType(), name);
            } catch (const EPropertyConvertError&) {
                invalid(name);
            }
        }
        return SetOrdProp(instance, info, bits);
    }
    case TTypeKind::tkFloat:
        return SetFloatProp(instance, info, ReadFloat());
    case TTypeKind::tkLString:
        return SetStrProp(instance, info, ReadString());
    case TTypeKind::tkWString:
        return SetWideStrProp(instance, info, ReadWideString());
    case TTypeKind::tkVariant:
        return SetVariantProp(instance, info, ReadVariant());
    case TTypeKind::tkClass: {
        const TClassPropRole role = ClassPropRole(info);
        if (NextValue() == TValueType::vaNil) {
            ReadValue();
            if (role == TClassPropRole::Reference) SetObjectProp(instance, info, nullptr);
            return;
        }
        if (role == TClassPropRole::Reference) {
            std::string ident = ReadIdent();
            fixups_.push_back(Fixup{&instance, &info, std::move(ident), Root()});
            return;
        }
        if (role == TClassPropRole::Collection) {
            auto* collection = dynamic_cast<TCollection*>(GetObjectProp(instance, info));
            if (!collection) invalid("no collection");
            return ReadCollection(*collection);
        }
        invalid("an object is read through its own properties");
        return;
    }
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        SkipValue();
        return;
    }
}

void TReader::ReadCollection(TCollection& collection) {
    EnterNesting();
    ++depth_;
    CheckValue(TValueType::vaCollection);
    collection.BeginUpdate();
    try {
        // Pending references of items about to be freed would point at nothing.
        std::erase_if(fixups_, [&](const Fixup& f) {
            for (int i = 0; i < collection.Count(); ++i)
                if (f.instance == static_cast<TObject*>(collection.Items(i))) return true;
            return false;
        });
        collection.Clear();
        while (!EndOfList()) {
            if (IsIntTag(NextValue())) ReadInt64(); // an item index, not needed to rebuild
            TCollectionItem* item = collection.Add();
            ReadListBegin();
            while (!EndOfList())
                ReadProperty(*item);
            ReadListEnd();
        }
        ReadListEnd();
    } catch (...) {
        collection.EndUpdate();
        --depth_;
        throw;
    }
    collection.EndUpdate();
    --depth_;
}

void TReader::BeginReferences() {
    fixups_.clear();
    referencePhase_ = true;
}

TComponent* TReader::ResolveReference(TComponent* root, std::string_view name) const {
    TComponent* current = nullptr;
    bool first = true;
    while (!name.empty()) {
        const std::size_t dot = name.find('.');
        const std::string_view segment = name.substr(0, dot);
        if (first) {
            if (SameText(segment, "Owner")) {
                current = root;
            } else if (root) {
                current = root->FindComponent(segment);
                if (!current && SameText(root->Name(), segment)) current = root;
            }
            if (!current) {
                TFindGlobalComponent finder;
                {
                    std::lock_guard lock(FinderMutex());
                    finder = Finder();
                }
                if (finder) current = finder(segment);
            }
            first = false;
        } else {
            current = current->FindComponent(segment);
        }
        if (!current) return nullptr;
        if (dot == std::string_view::npos) break;
        name.remove_prefix(dot + 1);
    }
    return current;
}

void TReader::FixupReferences() {
    std::vector<Fixup> pending;
    pending.swap(fixups_);
    for (const Fixup& f : pending) {
        TComponent* target = ResolveReference(f.root, f.name);
        if (!target) continue;
        try {
            SetObjectProp(*f.instance, *f.info, target);
        } catch (const EPropertyError&) {
            // A component of another class under that name: the reference stays as it was.
        }
    }
}

void TReader::EndReferences() {
    fixups_.clear();
    referencePhase_ = false;
}

void TReader::DefineProperty(std::string_view name, const std::function<void(TReader&)>& readData,
                             const std::function<void(TWriter&)>&, bool) {
    if (pendingHandled_ || !SameText(name, pendingName_)) return;
    pendingHandled_ = true;
    if (readData)
        readData(*this);
    else
        SkipValue();
}

void TReader::DefineBinaryProperty(std::string_view name,
                                   const std::function<void(TStream&)>& readData,
                                   const std::function<void(TStream&)>&, bool) {
    if (pendingHandled_ || !SameText(name, pendingName_)) return;
    pendingHandled_ = true;
    const std::vector<std::uint8_t> bytes = ReadBinary();
    if (!readData) return;
    TMemoryStream data;
    if (!bytes.empty()) data.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    data.SetPosition(0);
    readData(data);
}

// ---- value tree
// ----------------------------------------------------------------------------------

namespace {

TStreamValue ReadTreeValue(TReader& reader, int depth);

TStreamItem ReadTreeItem(TReader& reader, int depth) {
    TStreamItem item;
    while (!reader.EndOfList()) {
        TStreamProperty p;
        p.Name = reader.ReadStr();
        p.Value = ReadTreeValue(reader, depth + 1);
        item.push_back(std::move(p));
    }
    reader.ReadListEnd();
    return item;
}

TStreamValue ReadTreeValue(TReader& reader, int depth) {
    if (depth >= kMaxNesting)
        throw EReadError("Lists nested more than " + std::to_string(kMaxNesting) +
                         " deep in the property stream");
    TStreamValue v;
    v.Type = reader.NextValue();
    switch (v.Type) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        reader.ReadValue();
        break;
    case TValueType::vaList:
        reader.ReadValue();
        while (!reader.EndOfList())
            v.List.push_back(ReadTreeValue(reader, depth + 1));
        reader.ReadListEnd();
        break;
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
        v.Integer = reader.ReadInt64();
        break;
    case TValueType::vaExtended:
        v.Float = reader.ReadFloat();
        break;
    case TValueType::vaSingle:
        v.Float = reader.ReadSingle();
        break;
    case TValueType::vaDate:
        v.Float = reader.ReadDate();
        break;
    case TValueType::vaCurrency:
        v.Integer = reader.ReadCurrency();
        break;
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
        v.Text = reader.ReadString();
        break;
    case TValueType::vaWString:
        v.Wide = reader.ReadWideString();
        break;
    case TValueType::vaIdent:
        v.Text = reader.ReadIdent();
        break;
    case TValueType::vaBinary:
        v.Bytes = reader.ReadBinary();
        break;
    case TValueType::vaSet:
        v.SetElements = reader.ReadSet();
        break;
    case TValueType::vaCollection:
        reader.ReadValue();
        while (!reader.EndOfList()) {
            std::int64_t index = -1;
            const TValueType t = reader.NextValue();
            if (IsIntTag(t)) index = reader.ReadInt64();
            reader.ReadListBegin();
            v.ItemIndices.push_back(index);
            v.Items.push_back(ReadTreeItem(reader, depth));
        }
        reader.ReadListEnd();
        break;
    }
    return v;
}

} // namespace

TStreamValue ReadStreamValue(TReader& reader) {
    return ReadTreeValue(reader, 0);
}

void WriteStreamValue(TWriter& writer, const TStreamValue& value) {
    switch (value.Type) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil:
        return writer.WriteValue(value.Type);
    case TValueType::vaList:
        writer.WriteListBegin();
        for (const TStreamValue& v : value.List)
            WriteStreamValue(writer, v);
        return writer.WriteListEnd();
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64: {
        // Keep the width the value came with.
        const int size = value.Type == TValueType::vaInt8    ? 1
                         : value.Type == TValueType::vaInt16 ? 2
                         : value.Type == TValueType::vaInt32 ? 4
                                                             : 8;
        writer.WriteValue(value.Type);
        std::uint8_t b[8];
        PutU64(b, static_cast<std::uint64_t>(value.Integer));
        return writer.WriteRaw(b, size);
    }
    case TValueType::vaExtended:
        return writer.WriteFloat(value.Float);
    case TValueType::vaSingle:
        return writer.WriteSingle(static_cast<float>(value.Float));
    case TValueType::vaDate:
        return writer.WriteDate(value.Float);
    case TValueType::vaCurrency:
        return writer.WriteCurrency(value.Integer);
    case TValueType::vaString:
    case TValueType::vaLString: {
        const std::string bytes = IsAscii(value.Text) ? value.Text : Utf8ToCodePage(value.Text);
        return writer.WriteBytesWithLength(value.Type, bytes);
    }
    case TValueType::vaUTF8String:
        return writer.WriteUTF8String(value.Text);
    case TValueType::vaWString:
        return writer.WriteWideString(value.Wide);
    case TValueType::vaIdent:
        return writer.WriteBytesWithLength(TValueType::vaIdent, Utf8ToCodePage(value.Text));
    case TValueType::vaBinary:
        return writer.WriteBinary(value.Bytes.data(),
                                  static_cast<std::int64_t>(value.Bytes.size()));
    case TValueType::vaSet:
        return writer.WriteSet(value.SetElements);
    case TValueType::vaCollection:
        writer.WriteValue(TValueType::vaCollection);
        for (std::size_t i = 0; i < value.Items.size(); ++i) {
            if (i < value.ItemIndices.size() && value.ItemIndices[i] >= 0)
                writer.WriteInteger(value.ItemIndices[i]);
            writer.WriteListBegin();
            for (const TStreamProperty& p : value.Items[i]) {
                writer.WriteStr(p.Name);
                WriteStreamValue(writer, p.Value);
            }
            writer.WriteListEnd();
        }
        return writer.WriteListEnd();
    }
}

std::vector<TStreamProperty> ObjectBinaryToValues(TStream& stream) {
    TReader reader(stream);
    std::vector<TStreamProperty> result;
    while (!reader.AtEnd()) {
        TStreamProperty p;
        p.Name = reader.ReadStr();
        p.Value = ReadStreamValue(reader);
        result.push_back(std::move(p));
    }
    return result;
}

void ValuesToObjectBinary(const std::vector<TStreamProperty>& properties, TStream& stream) {
    TWriter writer(stream);
    for (const TStreamProperty& p : properties) {
        writer.WriteStr(p.Name);
        WriteStreamValue(writer, p.Value);
    }
}

// ---- hex
// -----------------------------------------------------------------------------------------

std::string StreamToHex(TStream& stream) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::int64_t saved = stream.Position();
    const std::int64_t size = stream.Size();
    std::string hex;
    hex.reserve(static_cast<std::size_t>(size) * 2);
    stream.SetPosition(0);
    std::uint8_t buffer[4096];
    std::int64_t left = size;
    try {
        while (left > 0) {
            const std::int64_t n = std::min<std::int64_t>(left, sizeof buffer);
            stream.ReadBuffer(buffer, n);
            for (std::int64_t i = 0; i < n; ++i) {
                hex += kDigits[buffer[i] >> 4];
                hex += kDigits[buffer[i] & 15];
            }
            left -= n;
        }
    } catch (...) {
        stream.SetPosition(saved);
        throw;
    }
    stream.SetPosition(saved);
    return hex;
}

std::int64_t HexToStream(std::string_view hex, TStream& stream) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int hi = digit(hex[i]);
        const int lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) break;
        bytes += static_cast<char>((hi << 4) | lo);
    }
    stream.SetPosition(0);
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return static_cast<std::int64_t>(bytes.size());
}
