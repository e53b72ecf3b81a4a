// Published-property tables and the generic access by name.
#include "platform/core/properties.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <mutex>
#include <unordered_map>

#include "platform/core/collection.h"
#include "platform/core/component.h"
#include "platform/core/object_handle.h"
#include "platform/core/text.h"

// ---- types -------------------------------------------------------------------------------------

class TTypeRegistry {
public:
    static TTypeInfo& Make(TTypeKind kind, std::string_view name) {
        static std::mutex mutex;
        static std::deque<TTypeInfo> types; // stable addresses
        std::lock_guard lock(mutex);
        TTypeInfo& t = types.emplace_back();
        t.kind_ = kind;
        t.name_ = std::string(name);
        return t;
    }
    static const TTypeInfo& Ordinal(TTypeKind kind, std::string_view name, std::int64_t lo,
                                    std::int64_t hi) {
        TTypeInfo& t = Make(kind, name);
        t.min_ = lo;
        t.max_ = hi;
        return t;
    }
    static const TTypeInfo& Float(std::string_view name, TFloatType ft) {
        TTypeInfo& t = Make(TTypeKind::tkFloat, name);
        t.floatType_ = ft;
        return t;
    }
    static const TTypeInfo& Enum(std::string_view name, std::vector<std::string> names) {
        if (names.empty())
            throw EPropertyError("Enumeration " + std::string(name) + " has no values");
        TTypeInfo& t = Make(TTypeKind::tkEnumeration, name);
        t.min_ = 0;
        t.max_ = static_cast<std::int64_t>(names.size()) - 1;
        t.names_ = std::move(names);
        return t;
    }
    static const TTypeInfo& Set(std::string_view name, const TTypeInfo& element) {
        const bool ordinal = element.Kind() == TTypeKind::tkEnumeration ||
                             element.Kind() == TTypeKind::tkInteger ||
                             element.Kind() == TTypeKind::tkChar;
        if (!ordinal || element.MinValue() < 0 || element.MaxValue() > 31)
            throw EPropertyError("Set type " + std::string(name) +
                                 " needs an element type of at most 32 values from 0");
        TTypeInfo& t = Make(TTypeKind::tkSet, name);
        t.compType_ = &element;
        t.min_ = element.MinValue();
        t.max_ = element.MaxValue();
        return t;
    }
    static const TTypeInfo& Class(const TClassInfo& cls) {
        TTypeInfo& t = Make(TTypeKind::tkClass, cls.ClassName());
        t.class_ = &cls;
        return t;
    }
};

bool TTypeInfo::IsBoolean() const {
    return this == &TypeInfoBoolean();
}

namespace {
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
} // namespace

#define LUMETRA_TYPE(Fn, expr)                                                                     \
    const TTypeInfo& Fn() {                                                                        \
        static const TTypeInfo& t = expr;                                                          \
        return t;                                                                                  \
    }

LUMETRA_TYPE(TypeInfoInteger,
             TTypeRegistry::Ordinal(TTypeKind::tkInteger, "Integer", kInt32Min, kInt32Max))
LUMETRA_TYPE(TypeInfoCardinal,
             TTypeRegistry::Ordinal(TTypeKind::tkInteger, "Cardinal", 0, 4294967295LL))
LUMETRA_TYPE(TypeInfoBoolean, TTypeRegistry::Enum("Boolean", {"False", "True"}))
LUMETRA_TYPE(TypeInfoChar, TTypeRegistry::Ordinal(TTypeKind::tkChar, "Char", 0, 255))
LUMETRA_TYPE(TypeInfoWideChar, TTypeRegistry::Ordinal(TTypeKind::tkWChar, "WideChar", 0, 65535))
LUMETRA_TYPE(TypeInfoInt64, TTypeRegistry::Ordinal(TTypeKind::tkInt64, "Int64",
                                                   std::numeric_limits<std::int64_t>::min(),
                                                   std::numeric_limits<std::int64_t>::max()))
LUMETRA_TYPE(TypeInfoSingle, TTypeRegistry::Float("Single", TFloatType::ftSingle))
LUMETRA_TYPE(TypeInfoDouble, TTypeRegistry::Float("Double", TFloatType::ftDouble))
LUMETRA_TYPE(TypeInfoExtended, TTypeRegistry::Float("Extended", TFloatType::ftExtended))
LUMETRA_TYPE(TypeInfoCurrency, TTypeRegistry::Float("Currency", TFloatType::ftCurr))
LUMETRA_TYPE(TypeInfoDateTime, TTypeRegistry::Float("TDateTime", TFloatType::ftDouble))
LUMETRA_TYPE(TypeInfoDate, TTypeRegistry::Float("TDate", TFloatType::ftDouble))
LUMETRA_TYPE(TypeInfoTime, TTypeRegistry::Float("TTime", TFloatType::ftDouble))
LUMETRA_TYPE(TypeInfoString, TTypeRegistry::Make(TTypeKind::tkLString, "string"))
LUMETRA_TYPE(TypeInfoWideString, TTypeRegistry::Make(TTypeKind::tkWString, "WideString"))
LUMETRA_TYPE(TypeInfoVariant, TTypeRegistry::Make(TTypeKind::tkVariant, "Variant"))
LUMETRA_TYPE(TypeInfoComponentName, TTypeRegistry::Make(TTypeKind::tkLString, "TComponentName"))
LUMETRA_TYPE(TypeInfoColor,
             TTypeRegistry::Ordinal(TTypeKind::tkInteger, "TColor", kInt32Min, kInt32Max))
LUMETRA_TYPE(TypeInfoCursor, TTypeRegistry::Ordinal(TTypeKind::tkInteger, "TCursor", -32768, 32767))
LUMETRA_TYPE(TypeInfoFontCharset,
             TTypeRegistry::Ordinal(TTypeKind::tkInteger, "TFontCharset", 0, 255))
LUMETRA_TYPE(TypeInfoModalResult,
             TTypeRegistry::Ordinal(TTypeKind::tkInteger, "TModalResult", kInt32Min, kInt32Max))
LUMETRA_TYPE(TypeInfoShortCut, TTypeRegistry::Ordinal(TTypeKind::tkInteger, "TShortCut", 0, 65535))

#undef LUMETRA_TYPE

const TTypeInfo& TypeInfoOfClass(const TClassInfo& cls) {
    static std::mutex mutex;
    static std::unordered_map<const TClassInfo*, const TTypeInfo*> types;
    std::lock_guard lock(mutex);
    const TTypeInfo*& t = types[&cls];
    if (!t) t = &TTypeRegistry::Class(cls);
    return *t;
}

const TTypeInfo& DefineEnumType(std::string_view name,
                                std::initializer_list<std::string_view> names) {
    std::vector<std::string> list;
    for (std::string_view n : names)
        list.emplace_back(n);
    return TTypeRegistry::Enum(name, std::move(list));
}

const TTypeInfo& DefineEnumType(std::string_view name, const std::vector<std::string>& names) {
    return TTypeRegistry::Enum(name, names);
}

const TTypeInfo& DefineSetType(std::string_view name, const TTypeInfo& elementType) {
    return TTypeRegistry::Set(name, elementType);
}

const TTypeInfo& DefineIntegerType(std::string_view name, std::int64_t minValue,
                                   std::int64_t maxValue) {
    return TTypeRegistry::Ordinal(TTypeKind::tkInteger, name, minValue, maxValue);
}

const TTypeInfo& DefineFloatType(std::string_view name, TFloatType floatType) {
    return TTypeRegistry::Float(name, floatType);
}

const TTypeInfo& DefineStringType(std::string_view name, bool wide) {
    return TTypeRegistry::Make(wide ? TTypeKind::tkWString : TTypeKind::tkLString, name);
}

const TTypeInfo& DefineMethodType(std::string_view name) {
    // One type per event type name, so that every class's OnClick shares TNotifyEvent.
    static std::mutex mutex;
    static std::unordered_map<std::string, const TTypeInfo*> types;
    std::lock_guard lock(mutex);
    const TTypeInfo*& t = types[std::string(name)];
    if (!t) t = &TTypeRegistry::Make(TTypeKind::tkMethod, name);
    return *t;
}

// ---- enumeration and set text
// --------------------------------------------------------------------

std::string GetEnumName(const TTypeInfo& enumType, std::int64_t value) {
    if (enumType.Kind() == TTypeKind::tkEnumeration && value >= enumType.MinValue() &&
        value <= enumType.MaxValue())
        return enumType.EnumNames()[static_cast<std::size_t>(value - enumType.MinValue())];
    return std::to_string(value);
}

int GetEnumValue(const TTypeInfo& enumType, std::string_view name) {
    const auto& names = enumType.EnumNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], name))
            return static_cast<int>(enumType.MinValue() + static_cast<std::int64_t>(i));
    return -1;
}

namespace {

std::string ElementName(const TTypeInfo& elementType, int ordinal) {
    if (elementType.Kind() == TTypeKind::tkEnumeration) return GetEnumName(elementType, ordinal);
    return std::to_string(ordinal);
}

int ElementOrdinal(const TTypeInfo& elementType, std::string_view name) {
    if (elementType.Kind() == TTypeKind::tkEnumeration) return GetEnumValue(elementType, name);
    int value = -1;
    auto [p, ec] = std::from_chars(name.data(), name.data() + name.size(), value);
    if (ec != std::errc() || p != name.data() + name.size()) return -1;
    return value;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string SetToString(const TTypeInfo& setType, std::uint32_t value, bool brackets) {
    std::string text;
    const TTypeInfo& element = *setType.CompType();
    for (int bit = 0; bit < 32; ++bit) {
        if (!(value & (1u << bit))) continue;
        if (!text.empty()) text += ',';
        text += ElementName(element, bit);
    }
    return brackets ? "[" + text + "]" : text;
}

std::uint32_t StringToSet(const TTypeInfo& setType, std::string_view text) {
    const TTypeInfo& element = *setType.CompType();
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '[') {
        text.remove_prefix(1);
        if (!text.empty() && text.back() == ']') text.remove_suffix(1);
    }
    std::uint32_t result = 0;
    while (!TrimBlanks(text).empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view name = TrimBlanks(text.substr(0, comma));
        const int ordinal = ElementOrdinal(element, name);
        if (ordinal < 0 || ordinal > 31 || ordinal < element.MinValue() ||
            ordinal > element.MaxValue())
            throw EPropertyConvertError("Invalid property element: " + std::string(name));
        result |= 1u << ordinal;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return result;
}

// ---- TPropInfo ---------------------------------------------------------------------------------

TPropInfo::TPropInfo(std::string name, const TTypeInfo& type, const TClassInfo& declaringClass)
    : name_(std::move(name)), type_(&type), class_(&declaringClass) {}

bool TPropInfo::IsReadable() const {
    const Accessors& a = access_;
    return a.getOrd || a.getFloat || a.getStr || a.getWStr || a.getVar || a.getObj || a.getMethod;
}

bool TPropInfo::IsWritable() const {
    const Accessors& a = access_;
    return a.setOrd || a.setFloat || a.setStr || a.setWStr || a.setVar || a.setObj || a.setMethod;
}

bool TPropInfo::IsStored(TObject& instance) const {
    if (Kind() == TTypeKind::tkMethod || !stored_) return false;
    return storedPredicate_ ? storedPredicate_(instance) : true;
}

TPropInfo& TPropInfo::Default(std::int64_t value) {
    default_ = value;
    return *this;
}

TPropInfo& TPropInfo::NoDefault() {
    default_.reset();
    return *this;
}

TPropInfo& TPropInfo::Stored(bool stored) {
    stored_ = stored;
    storedPredicate_ = nullptr;
    return *this;
}

TPropInfo& TPropInfo::Stored(std::function<bool(TObject&)> predicate) {
    stored_ = true;
    storedPredicate_ = std::move(predicate);
    return *this;
}

std::unique_ptr<TPropInfo> TPropInfo::CloneFor(const TClassInfo& declaringClass) const {
    auto copy = std::make_unique<TPropInfo>(*this);
    copy->class_ = &declaringClass;
    return copy;
}

// ---- TPropTable --------------------------------------------------------------------------------

namespace {

inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

inline std::uint32_t HashName(std::string_view name) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : name)
        h = (h ^ FoldAscii(c)) * 16777619u;
    return h;
}

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) !=
            FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

void TPropTable::BuildIndex() {
    std::uint32_t size = 8;
    while (size < list_.size() * 2)
        size <<= 1;
    slots_.assign(size, -1);
    mask_ = size - 1;
    for (std::size_t i = 0; i < list_.size(); ++i) {
        std::uint32_t slot = HashName(list_[i]->Name()) & mask_;
        while (slots_[slot] >= 0)
            slot = (slot + 1) & mask_;
        slots_[slot] = static_cast<std::int32_t>(i);
    }
}

const TPropInfo* TPropTable::Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    std::uint32_t slot = HashName(name) & mask_;
    for (;;) {
        const std::int32_t index = slots_[slot];
        if (index < 0) return nullptr;
        const TPropInfo* info = list_[static_cast<std::size_t>(index)];
        if (SameName(info->Name(), name)) return info;
        slot = (slot + 1) & mask_;
    }
}

// ---- building
// ------------------------------------------------------------------------------------

TPropTableBuilder::TPropTableBuilder(const TClassInfo& cls, TPropTable& table,
                                     const TPropTable* parent)
    : cls_(cls), table_(table) {
    if (parent) table_.list_.assign(parent->list_.begin(), parent->list_.end());
}

TPropInfo& TPropTableBuilder::Append(std::unique_ptr<TPropInfo> info) {
    // A re-declared inherited property leaves its old place and takes this class's.
    for (auto it = table_.list_.begin(); it != table_.list_.end(); ++it) {
        if (!SameName((*it)->Name(), info->Name())) continue;
        if (&(*it)->DeclaringClass() == &cls_)
            throw EPropertyError("Property " + info->Name() + " is declared twice in " +
                                 cls_.ClassName());
        table_.list_.erase(it);
        break;
    }
    TPropInfo& ref = *info;
    table_.list_.push_back(info.get());
    table_.own_.push_back(std::move(info));
    return ref;
}

TPropInfo& TPropTableBuilder::Publish(std::string_view name) {
    for (const TPropInfo* p : table_.list_)
        if (SameName(p->Name(), name)) return Append(p->CloneFor(cls_));
    throw EPropertyError("Property " + std::string(name) + " is not published by an ancestor of " +
                         cls_.ClassName());
}

void TPropTableBuilder::Finish() {
    table_.BuildIndex();
}

const TClassInfo& TClassBuilderBase::Class() const {
    return state_.Class();
}

TPropInfo& TClassBuilderBase::AddMethod(std::string_view name, std::string_view typeName) {
    return Append(
        std::make_unique<TPropInfo>(std::string(name), DefineMethodType(typeName), Class()));
}

TPropInfo& TClassBuilderBase::Publish(std::string_view name) {
    return state_.Publish(name);
}

TPropInfo& TClassBuilderBase::Append(std::unique_ptr<TPropInfo> info) {
    return state_.Append(std::move(info));
}

void lumetra_detail::HandlerMismatch() {
    throw EPropertyError("Event handler of another type");
}

void lumetra_detail::AccessorMismatch(std::string_view className, std::string_view name) {
    throw EPropertyError("Property " + std::string(className) + "." + std::string(name) +
                         ": accessor type does not fit the declared type");
}

// ---- generic access
// ------------------------------------------------------------------------------

const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name) {
    return cls.Properties().Find(name);
}

const TPropInfo* GetPropInfo(const TObject& instance, std::string_view name) {
    const auto* p = dynamic_cast<const TPersistent*>(&instance);
    return p ? p->ClassType().Properties().Find(name) : nullptr;
}

TPropTarget FindPropPath(TObject& instance, std::string_view path) {
    TObject* current = &instance;
    for (;;) {
        const std::size_t dot = path.find('.');
        const TPropInfo* info = GetPropInfo(*current, path.substr(0, dot));
        if (!info) return {};
        if (dot == std::string_view::npos) return {current, info};
        if (info->Kind() != TTypeKind::tkClass || !info->Access().getObj) return {};
        current = info->Access().getObj(*current);
        if (!current) return {};
        path.remove_prefix(dot + 1);
    }
}

namespace {

[[noreturn]] void NoAccess(const TPropInfo& info, bool reading) {
    throw EPropertyError("Property " + info.Name() +
                         (reading ? " is write-only" : " is read-only"));
}

[[noreturn]] void WrongKind(const TPropInfo& info) {
    throw EPropertyError("Property " + info.Name() + " is not of that kind");
}

[[noreturn]] void InvalidValue(const TPropInfo& info) {
    throw EPropertyConvertError("Invalid property value for " + info.Name());
}

bool IsOrdinalKind(TTypeKind k) {
    switch (k) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
        return true;
    default:
        return false;
    }
}

bool IsDateType(const TTypeInfo& t) {
    return &t == &TypeInfoDateTime() || &t == &TypeInfoDate() || &t == &TypeInfoTime();
}

TPropTarget Resolve(TObject& instance, std::string_view path) {
    TPropTarget target = FindPropPath(instance, path);
    if (!target) throw EPropertyError("Property " + std::string(path) + " does not exist");
    return target;
}

std::string FloatText(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    return buffer;
}

} // namespace

std::int64_t GetOrdProp(TObject& instance, const TPropInfo& info) {
    if (!IsOrdinalKind(info.Kind())) WrongKind(info);
    if (!info.Access().getOrd) NoAccess(info, true);
    return info.Access().getOrd(instance);
}

void SetOrdProp(TObject& instance, const TPropInfo& info, std::int64_t value) {
    if (!IsOrdinalKind(info.Kind())) WrongKind(info);
    if (!info.Access().setOrd) NoAccess(info, false);
    const TTypeInfo& t = info.PropType();
    if (t.Kind() == TTypeKind::tkSet) {
        const std::uint64_t allowed =
            t.MaxValue() >= 31 ? 0xFFFFFFFFull : ((1ull << (t.MaxValue() + 1)) - 1);
        if (value < 0 || (static_cast<std::uint64_t>(value) & ~allowed) != 0) InvalidValue(info);
    } else if (value < t.MinValue() || value > t.MaxValue()) {
        InvalidValue(info);
    }
    info.Access().setOrd(instance, value);
}

std::int64_t GetInt64Prop(TObject& instance, const TPropInfo& info) {
    return GetOrdProp(instance, info);
}

void SetInt64Prop(TObject& instance, const TPropInfo& info, std::int64_t value) {
    SetOrdProp(instance, info, value);
}

double GetFloatProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() != TTypeKind::tkFloat) WrongKind(info);
    if (!info.Access().getFloat) NoAccess(info, true);
    return info.Access().getFloat(instance);
}

void SetFloatProp(TObject& instance, const TPropInfo& info, double value) {
    if (info.Kind() != TTypeKind::tkFloat) WrongKind(info);
    if (!info.Access().setFloat) NoAccess(info, false);
    info.Access().setFloat(instance, value);
}

std::string GetStrProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() == TTypeKind::tkWString) return Utf16ToUtf8(GetWideStrProp(instance, info));
    if (info.Kind() != TTypeKind::tkLString) WrongKind(info);
    if (!info.Access().getStr) NoAccess(info, true);
    return info.Access().getStr(instance);
}

void SetStrProp(TObject& instance, const TPropInfo& info, std::string_view value) {
    if (info.Kind() == TTypeKind::tkWString)
        return SetWideStrProp(instance, info, Utf8ToUtf16(value));
    if (info.Kind() != TTypeKind::tkLString) WrongKind(info);
    if (!info.Access().setStr) NoAccess(info, false);
    info.Access().setStr(instance, std::string(value));
}

std::u16string GetWideStrProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() == TTypeKind::tkLString) return Utf8ToUtf16(GetStrProp(instance, info));
    if (info.Kind() != TTypeKind::tkWString) WrongKind(info);
    if (!info.Access().getWStr) NoAccess(info, true);
    return info.Access().getWStr(instance);
}

void SetWideStrProp(TObject& instance, const TPropInfo& info, std::u16string_view value) {
    if (info.Kind() == TTypeKind::tkLString) return SetStrProp(instance, info, Utf16ToUtf8(value));
    if (info.Kind() != TTypeKind::tkWString) WrongKind(info);
    if (!info.Access().setWStr) NoAccess(info, false);
    info.Access().setWStr(instance, std::u16string(value));
}

Variant GetVariantProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() != TTypeKind::tkVariant) WrongKind(info);
    if (!info.Access().getVar) NoAccess(info, true);
    return info.Access().getVar(instance);
}

void SetVariantProp(TObject& instance, const TPropInfo& info, const Variant& value) {
    if (info.Kind() != TTypeKind::tkVariant) WrongKind(info);
    if (!info.Access().setVar) NoAccess(info, false);
    info.Access().setVar(instance, value);
}

TObject* GetObjectProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() != TTypeKind::tkClass) WrongKind(info);
    if (!info.Access().getObj) NoAccess(info, true);
    return info.Access().getObj(instance);
}

void SetObjectProp(TObject& instance, const TPropInfo& info, TObject* value) {
    if (info.Kind() != TTypeKind::tkClass) WrongKind(info);
    if (!info.Access().setObj) NoAccess(info, false);
    if (value) {
        const auto* p = dynamic_cast<const TPersistent*>(value);
        const TClassInfo* declared = info.PropType().ClassType();
        if (!p || (declared && !p->InheritsFrom(*declared)))
            throw EPropertyError("Property " + info.Name() + " needs a " +
                                 (declared ? declared->ClassName() : std::string("persistent")));
    }
    info.Access().setObj(instance, value);
}

std::any GetMethodProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() != TTypeKind::tkMethod) WrongKind(info);
    if (!info.Access().getMethod) NoAccess(info, true);
    return info.Access().getMethod(instance);
}

void SetMethodProp(TObject& instance, const TPropInfo& info, const std::any& handler) {
    if (info.Kind() != TTypeKind::tkMethod) WrongKind(info);
    if (!info.Access().setMethod) NoAccess(info, false);
    info.Access().setMethod(instance, handler);
}

std::string GetEnumProp(TObject& instance, const TPropInfo& info) {
    if (info.Kind() != TTypeKind::tkEnumeration) WrongKind(info);
    return GetEnumName(info.PropType(), GetOrdProp(instance, info));
}

void SetEnumProp(TObject& instance, const TPropInfo& info, std::string_view name) {
    if (info.Kind() != TTypeKind::tkEnumeration) WrongKind(info);
    const int value = GetEnumValue(info.PropType(), TrimBlanks(name));
    if (value < 0)
        throw EPropertyConvertError("Invalid property element: " + std::string(TrimBlanks(name)));
    SetOrdProp(instance, info, value);
}

std::string GetSetProp(TObject& instance, const TPropInfo& info, bool brackets) {
    if (info.Kind() != TTypeKind::tkSet) WrongKind(info);
    return SetToString(info.PropType(), static_cast<std::uint32_t>(GetOrdProp(instance, info)),
                       brackets);
}

void SetSetProp(TObject& instance, const TPropInfo& info, std::string_view text) {
    if (info.Kind() != TTypeKind::tkSet) WrongKind(info);
    SetOrdProp(instance, info, StringToSet(info.PropType(), text));
}

Variant GetPropValue(TObject& instance, std::string_view path) {
    const TPropTarget t = Resolve(instance, path);
    const TPropInfo& info = *t.Info;
    switch (info.Kind()) {
    case TTypeKind::tkEnumeration:
        if (info.PropType().IsBoolean()) return Variant(GetOrdProp(*t.Instance, info) != 0);
        return Variant(static_cast<int>(GetOrdProp(*t.Instance, info)));
    case TTypeKind::tkInteger:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64: {
        const std::int64_t v = GetOrdProp(*t.Instance, info);
        if (v >= kInt32Min && v <= kInt32Max) return Variant(static_cast<int>(v));
        return Variant(static_cast<long long>(v));
    }
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar: {
        const std::int64_t code = GetOrdProp(*t.Instance, info);
        if (info.Kind() == TTypeKind::tkWChar)
            return Variant(Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code))));
        return Variant(CodePageToUtf8Lossy(std::string(1, static_cast<char>(code))));
    }
    case TTypeKind::tkFloat: {
        const double v = GetFloatProp(*t.Instance, info);
        return IsDateType(info.PropType()) ? Variant::FromDate(v) : Variant(v);
    }
    case TTypeKind::tkLString:
        return Variant(GetStrProp(*t.Instance, info));
    case TTypeKind::tkWString:
        return Variant::FromWideString(GetStrProp(*t.Instance, info));
    case TTypeKind::tkVariant:
        return GetVariantProp(*t.Instance, info);
    case TTypeKind::tkClass:
        return ObjectToVariant<TObject>(GetObjectProp(*t.Instance, info));
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        break;
    }
    throw EPropertyError("Property " + info.Name() + " has no value");
}

void SetPropValue(TObject& instance, std::string_view path, const Variant& value) {
    const TPropTarget t = Resolve(instance, path);
    const TPropInfo& info = *t.Info;
    switch (info.Kind()) {
    case TTypeKind::tkEnumeration:
        if (value.IsString()) return SetEnumProp(*t.Instance, info, value.StringValue());
        if (info.PropType().IsBoolean())
            return SetOrdProp(*t.Instance, info, value.AsBool() ? 1 : 0);
        return SetOrdProp(*t.Instance, info, value.AsInt64());
    case TTypeKind::tkSet:
        if (value.IsString()) return SetSetProp(*t.Instance, info, value.StringValue());
        return SetOrdProp(*t.Instance, info, value.AsInt64());
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        return SetOrdProp(*t.Instance, info, value.AsInt64());
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar: {
        if (!value.IsString()) return SetOrdProp(*t.Instance, info, value.AsInt64());
        const std::u16string text = Utf8ToUtf16(value.StringValue());
        if (text.empty()) InvalidValue(info);
        if (info.Kind() == TTypeKind::tkWChar) return SetOrdProp(*t.Instance, info, text[0]);
        const std::string bytes = Utf8ToCodePageLossy(Utf16ToUtf8(text.substr(0, 1)));
        return SetOrdProp(*t.Instance, info, static_cast<unsigned char>(bytes.at(0)));
    }
    case TTypeKind::tkFloat:
        return SetFloatProp(*t.Instance, info, value.AsDouble());
    case TTypeKind::tkLString:
    case TTypeKind::tkWString:
        return SetStrProp(*t.Instance, info, value.AsString());
    case TTypeKind::tkVariant:
        return SetVariantProp(*t.Instance, info, value);
    case TTypeKind::tkClass:
        return SetObjectProp(*t.Instance, info, VariantToObject<TObject>(value));
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        break;
    }
    throw EPropertyError("Property " + info.Name() + " cannot be set by value");
}

std::string GetPropText(TObject& instance, std::string_view path) {
    const TPropTarget t = Resolve(instance, path);
    const TPropInfo& info = *t.Info;
    switch (info.Kind()) {
    case TTypeKind::tkEnumeration:
        return GetEnumProp(*t.Instance, info);
    case TTypeKind::tkSet:
        return GetSetProp(*t.Instance, info, true);
    case TTypeKind::tkFloat:
        return FloatText(GetFloatProp(*t.Instance, info));
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
        return std::to_string(GetOrdProp(*t.Instance, info));
    case TTypeKind::tkClass: {
        TObject* object = GetObjectProp(*t.Instance, info);
        const auto* p = dynamic_cast<const TPersistent*>(object);
        return p ? p->GetNamePath() : std::string();
    }
    case TTypeKind::tkVariant: {
        const Variant v = GetVariantProp(*t.Instance, info);
        return v.IsNull() || v.IsEmpty() ? std::string() : v.AsString();
    }
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        throw EPropertyError("Property " + info.Name() + " has no text");
    default:
        return GetPropValue(*t.Instance, info.Name()).AsString();
    }
}

void SetPropText(TObject& instance, std::string_view path, std::string_view text) {
    const TPropTarget t = Resolve(instance, path);
    const TPropInfo& info = *t.Info;
    switch (info.Kind()) {
    case TTypeKind::tkEnumeration:
        return SetEnumProp(*t.Instance, info, text);
    case TTypeKind::tkSet:
        return SetSetProp(*t.Instance, info, text);
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
    case TTypeKind::tkFloat: {
        const Variant v{std::string(TrimBlanks(text))};
        try {
            if (info.Kind() == TTypeKind::tkFloat)
                return SetFloatProp(*t.Instance, info, v.AsDouble());
            return SetOrdProp(*t.Instance, info, v.AsInt64());
        } catch (const EVariantError&) {
            throw EPropertyConvertError("'" + std::string(text) + "' is not a valid value for " +
                                        info.Name());
        } catch (const EConvertError&) {
            throw EPropertyConvertError("'" + std::string(text) + "' is not a valid value for " +
                                        info.Name());
        }
    }
    case TTypeKind::tkClass:
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        throw EPropertyError("Property " + info.Name() + " cannot be set from text");
    default:
        return SetPropValue(*t.Instance, info.Name(), Variant(std::string(text)));
    }
}

bool IsPublishedProp(const TObject& instance, std::string_view name) {
    return GetPropInfo(instance, name) != nullptr;
}

bool IsStoredProp(TObject& instance, const TPropInfo& info) {
    return info.IsStored(instance);
}

bool IsDefaultPropValue(TObject& instance, const TPropInfo& info) {
    switch (info.Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
        return info.HasDefault() && GetOrdProp(instance, info) == info.DefaultValue();
    case TTypeKind::tkLString:
        return GetStrProp(instance, info).empty();
    case TTypeKind::tkWString:
        return GetWideStrProp(instance, info).empty();
    case TTypeKind::tkVariant:
        return GetVariantProp(instance, info).IsEmpty();
    case TTypeKind::tkClass:
        return GetObjectProp(instance, info) == nullptr;
    case TTypeKind::tkFloat:
    case TTypeKind::tkMethod:
    case TTypeKind::tkUnknown:
        return false;
    }
    return false;
}

TClassPropRole ClassPropRole(const TPropInfo& info) {
    const TClassInfo* cls = info.PropType().ClassType();
    if (!cls) return TClassPropRole::NestedObject;
    if (cls->InheritsFrom(TComponent::StaticClass())) return TClassPropRole::Reference;
    if (cls->InheritsFrom(TCollection::StaticClass())) return TClassPropRole::Collection;
    if (cls->InheritsFrom("TWideStrings")) return TClassPropRole::WideStrings;
    if (cls->InheritsFrom("TStrings")) return TClassPropRole::Strings;
    return TClassPropRole::NestedObject;
}
