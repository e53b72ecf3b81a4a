#pragma once
// Published properties: declared type information (TTypeInfo), one property (TPropInfo), the
// per-class table (TPropTable, ancestor first, hashed case-insensitive lookup) and the generic
// access by name that the serializer, the inspector and the script bindings use.
//
// A class declares its table once:
//
//   void TMyView::RegisterProperties(TClassBuilder<TMyView>& b) {
//       b.Add("Color", TypeInfoColor(), &TMyView::Color, &TMyView::SetColor).Default(clWhite);
//       b.Add("Font", &TMyView::Font, &TMyView::SetFont).Stored(&TMyView::IsFontStored);
//       b.Add("HAlign", HAlignType(), &TMyView::HAlign, &TMyView::SetHAlign).Default(0);
//       b.Add("Left", TypeInfoExtended(), &TMyView::Left, &TMyView::SetLeft);
//   }

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/core/persistent.h"
#include "platform/core/variant.h"

// ---- declared types ----------------------------------------------------------------------------

enum class TTypeKind : std::uint8_t {
    tkUnknown,
    tkInteger,     // 32-bit and smaller integers
    tkChar,        // one 8-bit character, held as its code
    tkEnumeration, // named values; Boolean is one
    tkFloat,       // Single, Double, Extended, Currency, TDateTime...
    tkLString,     // 8-bit string (UTF-8 in memory, the legacy code page in streams)
    tkSet,         // set of an enumeration or small range, at most 32 elements, as a bit mask
    tkClass,       // a persistent object: nested, a component reference, a string list
    tkMethod,      // event handler: enumerated, never stored
    tkWChar,       // one UTF-16 code unit
    tkWString,     // UTF-16 string
    tkVariant,
    tkInt64,
};

enum class TFloatType : std::uint8_t { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

// The declared type of a property. Type identity matters: TDateTime and Double are both floats,
// TColor and Integer both integers, but each has its own TTypeInfo, compared by address.
// Instances live for the whole program (the predefined ones below, or Define... results).
class TTypeInfo {
public:
    TTypeKind Kind() const { return kind_; }
    const std::string& Name() const { return name_; }
    // Ordinal range (integer, char, enumeration, set elements).
    std::int64_t MinValue() const { return min_; }
    std::int64_t MaxValue() const { return max_; }
    TFloatType FloatType() const { return floatType_; }
    // Element type of a set.
    const TTypeInfo* CompType() const { return compType_; }
    // Class of a class-kind type.
    const TClassInfo* ClassType() const { return class_; }
    // Names of an enumeration, MinValue first.
    const std::vector<std::string>& EnumNames() const { return names_; }
    bool IsBoolean() const;

private:
    friend class TTypeRegistry;
    TTypeKind kind_ = TTypeKind::tkUnknown;
    std::string name_;
    std::int64_t min_ = 0;
    std::int64_t max_ = 0;
    TFloatType floatType_ = TFloatType::ftDouble;
    const TTypeInfo* compType_ = nullptr;
    const TClassInfo* class_ = nullptr;
    std::vector<std::string> names_;
};

const TTypeInfo& TypeInfoInteger();
const TTypeInfo& TypeInfoCardinal(); // 0..4294967295, kept as an integer
const TTypeInfo& TypeInfoBoolean();  // enumeration False, True
const TTypeInfo& TypeInfoChar();
const TTypeInfo& TypeInfoWideChar();
const TTypeInfo& TypeInfoInt64();
const TTypeInfo& TypeInfoSingle();
const TTypeInfo& TypeInfoDouble();
const TTypeInfo& TypeInfoExtended();
const TTypeInfo& TypeInfoCurrency();
const TTypeInfo& TypeInfoDateTime();
const TTypeInfo& TypeInfoDate();
const TTypeInfo& TypeInfoTime();
const TTypeInfo& TypeInfoString();
const TTypeInfo& TypeInfoWideString();
const TTypeInfo& TypeInfoVariant();
const TTypeInfo& TypeInfoComponentName(); // the string type of TComponent.Name
// Named integer types of the class library, kept apart from Integer for editors and streams.
const TTypeInfo& TypeInfoColor();       // TColor
const TTypeInfo& TypeInfoCursor();      // TCursor (-32768..32767)
const TTypeInfo& TypeInfoFontCharset(); // TFontCharset (0..255)
const TTypeInfo& TypeInfoModalResult(); // TModalResult
const TTypeInfo& TypeInfoShortCut();    // TShortCut (0..65535)
// The class-kind type of a class (one per class).
const TTypeInfo& TypeInfoOfClass(const TClassInfo& cls);

// New named types, made once (keep the result in a function-local static). Defining the same
// name twice gives two distinct types.
const TTypeInfo& DefineEnumType(std::string_view name,
                                std::initializer_list<std::string_view> names);
const TTypeInfo& DefineEnumType(std::string_view name, const std::vector<std::string>& names);
// A set of an enumeration (or of a small integer range type); at most 32 elements, ordinals
// 0..31. Raises EPropertyError otherwise.
const TTypeInfo& DefineSetType(std::string_view name, const TTypeInfo& elementType);
const TTypeInfo& DefineIntegerType(std::string_view name, std::int64_t minValue,
                                   std::int64_t maxValue);
const TTypeInfo& DefineFloatType(std::string_view name, TFloatType floatType);
// A string type of its own name, such as the event-name types of report objects (strings that
// hold script procedure names). wide: UTF-16 string kind.
const TTypeInfo& DefineStringType(std::string_view name, bool wide = false);
// An event type ("TNotifyEvent"); unlike the others, one type per name.
const TTypeInfo& DefineMethodType(std::string_view name);

// Enumeration and set text. GetEnumName of a value outside the range gives its number;
// GetEnumValue gives -1 for an unknown name (case-insensitive).
std::string GetEnumName(const TTypeInfo& enumType, std::int64_t value);
int GetEnumValue(const TTypeInfo& enumType, std::string_view name);
// "fsBold,fsItalic" (with brackets: "[fsBold,fsItalic]"), elements in ordinal order.
std::string SetToString(const TTypeInfo& setType, std::uint32_t value, bool brackets = false);
// Accepts the text with or without brackets and blanks around names; an unknown name raises
// EPropertyConvertError "Invalid property element: X".
std::uint32_t StringToSet(const TTypeInfo& setType, std::string_view text);

// ---- one property ------------------------------------------------------------------------------

class TPropInfo {
public:
    TPropInfo(std::string name, const TTypeInfo& type, const TClassInfo& declaringClass);

    const std::string& Name() const { return name_; }
    TTypeKind Kind() const { return type_->Kind(); }
    const TTypeInfo& PropType() const { return *type_; }
    // The class whose table declared (or re-declared) the property.
    const TClassInfo& DeclaringClass() const { return *class_; }
    bool IsReadable() const;
    bool IsWritable() const;

    // Ordinal default (integer, char, enumeration, set, int64). Without one ("no default")
    // the value is always written. Floats, strings, variants and classes carry none.
    bool HasDefault() const { return default_.has_value(); }
    std::int64_t DefaultValue() const { return default_.value_or(0); }
    // Whether the property is stored for this instance (flag or predicate; methods never).
    bool IsStored(TObject& instance) const;

    // Declaring, fluent. Stored predicates: a const member function of the class or a
    // callable taking the instance.
    TPropInfo& Default(std::int64_t value);
    TPropInfo& NoDefault();
    TPropInfo& Stored(bool stored);
    TPropInfo& Stored(std::function<bool(TObject&)> predicate);
    template <class C> TPropInfo& Stored(bool (C::*predicate)() const) {
        return Stored(std::function<bool(TObject&)>([predicate](TObject& o) {
            return (static_cast<C&>(static_cast<TPersistent&>(o)).*predicate)();
        }));
    }
    // A lambda taking TObject& (an exact match, so it is not taken for a bool).
    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, bool> &&
             !std::is_same_v<std::decay_t<F>, std::function<bool(TObject&)>> &&
             std::is_invocable_r_v<bool, F&, TObject&>) TPropInfo& Stored(F predicate) {
        return Stored(std::function<bool(TObject&)>(std::move(predicate)));
    }

    // Type-erased accessors; the value class follows the kind (ordinals, float, string, wide
    // string, variant, object). Set by TClassBuilder::Add.
    struct Accessors {
        std::function<std::int64_t(TObject&)> getOrd;
        std::function<void(TObject&, std::int64_t)> setOrd;
        std::function<double(TObject&)> getFloat;
        std::function<void(TObject&, double)> setFloat;
        std::function<std::string(TObject&)> getStr;
        std::function<void(TObject&, const std::string&)> setStr;
        std::function<std::u16string(TObject&)> getWStr;
        std::function<void(TObject&, const std::u16string&)> setWStr;
        std::function<Variant(TObject&)> getVar;
        std::function<void(TObject&, const Variant&)> setVar;
        std::function<TObject*(TObject&)> getObj;
        std::function<void(TObject&, TObject*)> setObj;
        std::function<std::any(TObject&)> getMethod;
        std::function<void(TObject&, const std::any&)> setMethod;
    };
    const Accessors& Access() const { return access_; }
    Accessors& MutableAccess() { return access_; }
    // A copy declared in another class (re-publishing).
    std::unique_ptr<TPropInfo> CloneFor(const TClassInfo& declaringClass) const;

private:
    std::string name_;
    const TTypeInfo* type_;
    const TClassInfo* class_;
    std::optional<std::int64_t> default_;
    bool stored_ = true;
    std::function<bool(TObject&)> storedPredicate_;
    Accessors access_;
};

// ---- the table of a class ----------------------------------------------------------------------

class TPropTable {
public:
    TPropTable() = default;
    TPropTable(const TPropTable&) = delete;
    TPropTable& operator=(const TPropTable&) = delete;

    int Count() const { return static_cast<int>(list_.size()); }
    const TPropInfo& Items(int index) const { return *list_.at(static_cast<std::size_t>(index)); }
    auto begin() const { return list_.begin(); } // iterates const TPropInfo*
    auto end() const { return list_.end(); }
    // Case-insensitive (ASCII) lookup through a hashed index; null when absent.
    const TPropInfo* Find(std::string_view name) const;

private:
    friend class TPropTableBuilder;
    void BuildIndex();
    std::vector<const TPropInfo*> list_;
    std::vector<std::unique_ptr<TPropInfo>> own_;
    std::vector<std::int32_t> slots_; // open addressing: index into list_, -1 empty
    std::uint32_t mask_ = 0;
};

// ---- generic access ----------------------------------------------------------------------------

const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name);
// By the object's actual class; null for a non-persistent object or an unknown name.
const TPropInfo* GetPropInfo(const TObject& instance, std::string_view name);

// A property reached by a dotted path ("Font.Style"): the object that holds it and its info.
// Every segment but the last names a class-kind property whose value is a persistent.
struct TPropTarget {
    TObject* Instance = nullptr;
    const TPropInfo* Info = nullptr;
    explicit operator bool() const { return Info != nullptr; }
};
// Empty target when a segment is missing or a nested object is nil.
TPropTarget FindPropPath(TObject& instance, std::string_view path);

// Per kind. Reading a property without a getter, or writing one without a setter, raises
// EPropertyError "Property X is read-only" / "... is write-only"; a value of the wrong kind
// raises EPropertyError. Ordinal setters check the declared range ("Invalid property value").
std::int64_t GetOrdProp(TObject& instance, const TPropInfo& info);
void SetOrdProp(TObject& instance, const TPropInfo& info, std::int64_t value);
double GetFloatProp(TObject& instance, const TPropInfo& info);
void SetFloatProp(TObject& instance, const TPropInfo& info, double value);
// 8-bit and UTF-16 strings alike, as UTF-8.
std::string GetStrProp(TObject& instance, const TPropInfo& info);
void SetStrProp(TObject& instance, const TPropInfo& info, std::string_view value);
std::u16string GetWideStrProp(TObject& instance, const TPropInfo& info);
void SetWideStrProp(TObject& instance, const TPropInfo& info, std::u16string_view value);
Variant GetVariantProp(TObject& instance, const TPropInfo& info);
void SetVariantProp(TObject& instance, const TPropInfo& info, const Variant& value);
TObject* GetObjectProp(TObject& instance, const TPropInfo& info);
// Event handlers of method properties declared with accessors: the handler as its own
// std::function type in a std::any (empty any: none). Setting a handler of another type
// raises EPropertyError; an empty any clears the event.
std::any GetMethodProp(TObject& instance, const TPropInfo& info);
void SetMethodProp(TObject& instance, const TPropInfo& info, const std::any& handler);
// The object must be of the declared class (or nil): else EPropertyError.
void SetObjectProp(TObject& instance, const TPropInfo& info, TObject* value);
std::int64_t GetInt64Prop(TObject& instance, const TPropInfo& info);
void SetInt64Prop(TObject& instance, const TPropInfo& info, std::int64_t value);
std::string GetEnumProp(TObject& instance, const TPropInfo& info);
void SetEnumProp(TObject& instance, const TPropInfo& info, std::string_view name);
std::string GetSetProp(TObject& instance, const TPropInfo& info, bool brackets = false);
void SetSetProp(TObject& instance, const TPropInfo& info, std::string_view text);

// By name or dotted path, as a Variant: ordinals as Int32 (Int64 when out of range), Boolean
// as Bool, enumerations and sets as their ordinal, chars as one-character strings, floats as
// Double (TDateTime, TDate, TTime as Date), strings as strings, objects as script handles.
// An unknown name raises EPropertyError "Property X does not exist".
Variant GetPropValue(TObject& instance, std::string_view path);
// Strings given for an enumeration or set property are read as names.
void SetPropValue(TObject& instance, std::string_view path, const Variant& value);
// As text: enumeration names, set names in brackets, numbers, floats with 15 significant
// digits (point), strings as they are, variants as text (Null and Empty as ""), objects by
// their name path. Methods raise EPropertyError.
std::string GetPropText(TObject& instance, std::string_view path);
void SetPropText(TObject& instance, std::string_view path, std::string_view text);

bool IsPublishedProp(const TObject& instance, std::string_view name);
bool IsStoredProp(TObject& instance, const TPropInfo& info);
// Whether the value equals what needs no storing: the ordinal default, an empty string or
// variant, a nil object. Floats and properties without a default are never default.
bool IsDefaultPropValue(TObject& instance, const TPropInfo& info);

// What a class-kind property holds, by the declared class's ancestry.
enum class TClassPropRole : std::uint8_t {
    NestedObject, // a persistent owned by the instance (Font, Frame): walked with a prefix
    Reference,    // a TComponent: a reference by name, resolved in a fix-up phase
    Strings,      // a TStrings descendant (written as its text)
    WideStrings,  // a TWideStrings descendant
    Collection,   // a TCollection descendant
};
TClassPropRole ClassPropRole(const TPropInfo& info);

// ---- building tables
// -----------------------------------------------------------------------------

// The state behind TClassBuilder while one class's table is built.
class TPropTableBuilder {
public:
    TPropTableBuilder(const TClassInfo& cls, TPropTable& table, const TPropTable* parent);
    const TClassInfo& Class() const { return cls_; }
    TPropInfo& Append(std::unique_ptr<TPropInfo> info);
    TPropInfo& Publish(std::string_view name);
    void Finish();

private:
    const TClassInfo& cls_;
    TPropTable& table_;
};

namespace lumetra_detail {

template <class T> struct SetterArg;
template <class R, class C, class A> struct SetterArg<R (C::*)(A)> {
    using type = std::remove_cvref_t<A>;
};
template <class R, class C, class A> struct SetterArg<R (C::*)(A) noexcept> {
    using type = std::remove_cvref_t<A>;
};
template <class R, class F, class C, class A> struct SetterArg<R (F::*)(C, A) const> {
    using type = std::remove_cvref_t<A>;
};
template <class R, class F, class C, class A> struct SetterArg<R (F::*)(C, A)> {
    using type = std::remove_cvref_t<A>;
};
template <class F>
requires requires {
    &F::operator();
}
struct SetterArg<F> : SetterArg<decltype(&F::operator())> {};

// Through TPersistent, so a class that also derives from another TObject descendant still
// casts unambiguously.
template <class C> C& Self(TObject& o) {
    return static_cast<C&>(static_cast<TPersistent&>(o));
}

template <class C, class G> decltype(auto) CallGetter(const G& getter, TObject& o) {
    return std::invoke(getter, Self<C>(o));
}

template <class C, class S, class V> void CallSetter(const S& setter, TObject& o, V&& value) {
    if constexpr (std::is_member_object_pointer_v<S>)
        Self<C>(o).*setter = std::forward<V>(value);
    else
        std::invoke(setter, Self<C>(o), std::forward<V>(value));
}

template <class T> inline constexpr bool kIsOrdinal = (std::is_integral_v<T> || std::is_enum_v<T>);

template <class T> const TTypeInfo& DeducedType() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>)
        return TypeInfoBoolean();
    else if constexpr (std::is_same_v<U, char>)
        return TypeInfoChar();
    else if constexpr (std::is_same_v<U, char16_t>)
        return TypeInfoWideChar();
    else if constexpr (std::is_same_v<U, std::int64_t> || std::is_same_v<U, long long>)
        return TypeInfoInt64();
    else if constexpr (std::is_integral_v<U>)
        return TypeInfoInteger();
    else if constexpr (std::is_same_v<U, float>)
        return TypeInfoSingle();
    else if constexpr (std::is_floating_point_v<U>)
        return TypeInfoDouble();
    else if constexpr (std::is_convertible_v<U, std::string_view>)
        return TypeInfoString();
    else if constexpr (std::is_same_v<U, std::u16string>)
        return TypeInfoWideString();
    else if constexpr (std::is_same_v<U, Variant>)
        return TypeInfoVariant();
    else if constexpr (std::is_pointer_v<U> &&
                       std::is_base_of_v<TPersistent, std::remove_cv_t<std::remove_pointer_t<U>>>)
        return TypeInfoOfClass(std::remove_cv_t<std::remove_pointer_t<U>>::StaticClass());
    else
        static_assert(sizeof(U) == 0, "declare the property's type explicitly");
}

// Raises EPropertyError: a getter's C++ type does not fit the declared kind.
[[noreturn]] void AccessorMismatch(std::string_view className, std::string_view name);
// Raises EPropertyError: a handler of another event type.
[[noreturn]] void HandlerMismatch();

} // namespace lumetra_detail

template <class C>
template <class G, class S>
TPropInfo& TClassBuilder<C>::Add(std::string_view name, const TTypeInfo& type, G getter, S setter) {
    using namespace lumetra_detail;
    using R = std::remove_cvref_t<std::invoke_result_t<const G&, C&>>;
    constexpr bool kReadOnly = std::is_same_v<S, std::nullptr_t>;
    auto info = std::make_unique<TPropInfo>(std::string(name), type, Class());
    TPropInfo::Accessors& a = info->MutableAccess();
    const TTypeKind kind = type.Kind();
    bool fits = false;
    switch (kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
    case TTypeKind::tkInt64:
        if constexpr (kIsOrdinal<R>) {
            fits = true;
            a.getOrd = [getter](TObject& o) {
                if constexpr (std::is_same_v<R, char>) // a byte code, never negative
                    return static_cast<std::int64_t>(
                        static_cast<unsigned char>(CallGetter<C>(getter, o)));
                else
                    return static_cast<std::int64_t>(CallGetter<C>(getter, o));
            };
            if constexpr (!kReadOnly) {
                using A = std::conditional_t<std::is_member_object_pointer_v<S>, R,
                                             typename SetterArg<S>::type>;
                a.setOrd = [setter](TObject& o, std::int64_t v) {
                    CallSetter<C>(setter, o, static_cast<A>(v));
                };
            }
        }
        break;
    case TTypeKind::tkFloat:
        if constexpr (std::is_arithmetic_v<R>) {
            fits = true;
            a.getFloat = [getter](TObject& o) {
                return static_cast<double>(CallGetter<C>(getter, o));
            };
            if constexpr (!kReadOnly) {
                using A = std::conditional_t<std::is_member_object_pointer_v<S>, R,
                                             typename SetterArg<S>::type>;
                a.setFloat = [setter](TObject& o, double v) {
                    CallSetter<C>(setter, o, static_cast<A>(v));
                };
            }
        }
        break;
    case TTypeKind::tkLString:
        if constexpr (std::is_convertible_v<R, std::string_view>) {
            fits = true;
            a.getStr = [getter](TObject& o) { return std::string(CallGetter<C>(getter, o)); };
            if constexpr (!kReadOnly)
                a.setStr = [setter](TObject& o, const std::string& v) {
                    CallSetter<C>(setter, o, v);
                };
        }
        break;
    case TTypeKind::tkWString:
        if constexpr (std::is_convertible_v<R, std::u16string_view>) {
            fits = true;
            a.getWStr = [getter](TObject& o) { return std::u16string(CallGetter<C>(getter, o)); };
            if constexpr (!kReadOnly)
                a.setWStr = [setter](TObject& o, const std::u16string& v) {
                    CallSetter<C>(setter, o, v);
                };
        }
        break;
    case TTypeKind::tkVariant:
        if constexpr (std::is_same_v<R, Variant>) {
            fits = true;
            a.getVar = [getter](TObject& o) { return Variant(CallGetter<C>(getter, o)); };
            if constexpr (!kReadOnly)
                a.setVar = [setter](TObject& o, const Variant& v) { CallSetter<C>(setter, o, v); };
        }
        break;
    case TTypeKind::tkClass:
        if constexpr (std::is_pointer_v<R> &&
                      std::is_base_of_v<TObject, std::remove_cv_t<std::remove_pointer_t<R>>>) {
            using P = std::remove_cv_t<std::remove_pointer_t<R>>;
            fits = true;
            a.getObj = [getter](TObject& o) -> TObject* {
                P* object = const_cast<P*>(CallGetter<C>(getter, o));
                if constexpr (std::is_base_of_v<TPersistent, P>)
                    return static_cast<TPersistent*>(object);
                else
                    return object;
            };
            if constexpr (!kReadOnly) {
                using A = std::conditional_t<std::is_member_object_pointer_v<S>, R,
                                             typename SetterArg<S>::type>;
                using Target = std::remove_cv_t<std::remove_pointer_t<A>>;
                a.setObj = [setter](TObject& o, TObject* v) {
                    CallSetter<C>(setter, o, dynamic_cast<Target*>(v));
                };
            }
        }
        break;
    case TTypeKind::tkMethod:
        // An event handler (a std::function member), handed over type-erased.
        if constexpr (std::is_copy_constructible_v<R> && std::is_default_constructible_v<R>) {
            fits = true;
            a.getMethod = [getter](TObject& o) { return std::any(R(CallGetter<C>(getter, o))); };
            if constexpr (!kReadOnly) {
                a.setMethod = [setter](TObject& o, const std::any& v) {
                    if (!v.has_value()) return CallSetter<C>(setter, o, R{});
                    const R* handler = std::any_cast<R>(&v);
                    if (!handler) HandlerMismatch();
                    CallSetter<C>(setter, o, *handler);
                };
            }
        }
        break;
    case TTypeKind::tkUnknown:
        break;
    }
    if (!fits) AccessorMismatch(Class().ClassName(), name);
    return Append(std::move(info));
}

template <class C>
template <class G, class S>
TPropInfo& TClassBuilder<C>::Add(std::string_view name, G getter, S setter) {
    using R = std::remove_cvref_t<std::invoke_result_t<const G&, C&>>;
    return Add(name, lumetra_detail::DeducedType<R>(), std::move(getter), std::move(setter));
}
