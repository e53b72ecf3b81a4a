#pragma once
// Variant: the dynamically typed value of scripts, data sets, report variables and aggregates,
// with the class library's conversions and operators.
//
// A Variant is 16 bytes: a kind tag and an 8-byte payload. Numbers, dates and booleans live in
// the payload (no allocation, copies are a few moves); strings and arrays point to a reference-
// counted block. Strings are immutable once shared (only a Variant holding the sole reference
// may append in place); arrays copy on write, so copying a Variant always behaves as copying the
// value.
//
// Host objects travel as Int32 handles from object_handle.h, never as raw pointers.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"

// Type codes as scripts see them (VarType, VarArrayCreate).
using TVarType = int;
inline constexpr TVarType varEmpty = 0;
inline constexpr TVarType varNull = 1;
inline constexpr TVarType varSmallint = 2;
inline constexpr TVarType varInteger = 3;
inline constexpr TVarType varSingle = 4;
inline constexpr TVarType varDouble = 5;
inline constexpr TVarType varCurrency = 6;
inline constexpr TVarType varDate = 7;
inline constexpr TVarType varOleStr = 8;
inline constexpr TVarType varDispatch = 9;  // a code only: never created here
inline constexpr TVarType varError = 10;
inline constexpr TVarType varBoolean = 11;
inline constexpr TVarType varVariant = 12;
inline constexpr TVarType varUnknown = 13;
inline constexpr TVarType varShortInt = 16;
inline constexpr TVarType varByte = 17;
inline constexpr TVarType varWord = 18;
inline constexpr TVarType varLongWord = 19;
inline constexpr TVarType varInt64 = 20;
inline constexpr TVarType varStrArg = 72;
inline constexpr TVarType varString = 256;
inline constexpr TVarType varAny = 257;
inline constexpr TVarType varTypeMask = 4095;
inline constexpr TVarType varArray = 8192;
inline constexpr TVarType varByRef = 16384;

// The error family. Messages are the class library's wording.
LUMETRA_EXCEPTION(EVariantError, Exception);
// "Could not convert variant of type (String) into type (Double)"
LUMETRA_EXCEPTION(EVariantTypeCastError, EVariantError);
// "Invalid variant operation": an operator that does not apply to the operands (arrays).
LUMETRA_EXCEPTION(EVariantInvalidOpError, EVariantError);
// "Variant overflow": a value that does not fit the integer type it is converted to.
LUMETRA_EXCEPTION(EVariantOverflowError, EVariantError);
// "Variant or safe array index out of bounds"
LUMETRA_EXCEPTION(EVariantBadIndexError, EVariantError);
// "Invalid variant type": a type code that cannot be created or converted to.
LUMETRA_EXCEPTION(EVariantBadVarTypeError, EVariantError);
// "Error creating variant or safe array": bad or too large bounds.
LUMETRA_EXCEPTION(EVariantArrayCreateError, EVariantError);
// "Variant is not an array"
LUMETRA_EXCEPTION(EVariantNotAnArrayError, EVariantError);
// Division by zero raises the math classes of exception.h: EDivByZero "Division by zero" for
// div and mod, EZeroDivide "Floating point division by zero" for /.

enum class VariantKind : std::uint8_t {
    Empty,   // varEmpty
    Null,    // varNull
    Int32,   // varInteger; also host-object handles
    Int64,   // varInt64
    Double,  // varDouble (Single and Currency values too)
    Date,    // varDate
    Bool,    // varBoolean
    String,  // varString, or varOleStr when made wide
    Array,   // varArray | element type
};

// Bounds of one array dimension (inclusive).
struct TVarArrayBound {
    int Low = 0;
    int High = -1;
};

class Variant;
Variant VarAdd(const Variant& a, const Variant& b);
Variant VarSub(const Variant& a, const Variant& b);
Variant VarMul(const Variant& a, const Variant& b);
Variant VarDiv(const Variant& a, const Variant& b);
Variant VarMod(const Variant& a, const Variant& b);
Variant VarNeg(const Variant& a);
int VarCompare(const Variant& a, const Variant& b);

class Variant {
public:
    Variant() noexcept : kind_(VariantKind::Empty) { u_.i64 = 0; }
    Variant(int value) noexcept : kind_(VariantKind::Int32) { u_.i64 = value; }
    // 64-bit integers are Int64 whatever their value.
    Variant(long value) noexcept : kind_(VariantKind::Int64) { u_.i64 = value; }
    Variant(long long value) noexcept : kind_(VariantKind::Int64) { u_.i64 = value; }
    // Unsigned values are Int32 when they fit, else Int64; EVariantOverflowError above int64.
    Variant(unsigned value) noexcept;
    Variant(unsigned long value);
    Variant(unsigned long long value);
    Variant(double value) noexcept : kind_(VariantKind::Double) { u_.d = value; }
    Variant(float value) noexcept : kind_(VariantKind::Double) { u_.d = value; }
    Variant(bool value) noexcept : kind_(VariantKind::Bool) { u_.i64 = value; }
    // 8-bit strings (VarType 256); the text is UTF-8.
    Variant(const char* text);
    Variant(char* text) : Variant(static_cast<const char*>(text)) {}
    Variant(std::string text);
    Variant(std::string_view text);
    // A char would silently become its code; pointers would become booleans.
    Variant(char) = delete;
    Variant(std::nullptr_t) = delete;
    template <class T>
    Variant(T*) = delete;

    Variant(const Variant& other) noexcept : kind_(other.kind_), flags_(other.flags_), u_(other.u_) {
        if (IsShared()) Retain();
    }
    Variant(Variant&& other) noexcept : kind_(other.kind_), flags_(other.flags_), u_(other.u_) {
        other.kind_ = VariantKind::Empty;
        other.flags_ = 0;
    }
    Variant& operator=(const Variant& other) noexcept {
        Variant copy(other);
        Swap(copy);
        return *this;
    }
    Variant& operator=(Variant&& other) noexcept {
        Variant moved(std::move(other));
        Swap(moved);
        return *this;
    }
    ~Variant() {
        if (IsShared()) ReleaseShared();
    }
    void Swap(Variant& other) noexcept {
        std::swap(kind_, other.kind_);
        std::swap(flags_, other.flags_);
        std::swap(u_, other.u_);
    }

    static Variant Null() noexcept {
        Variant v;
        v.kind_ = VariantKind::Null;
        return v;
    }
    static Variant Empty() noexcept { return Variant(); }
    static Variant FromDate(TDateTime value) noexcept {
        Variant v(value);
        v.kind_ = VariantKind::Date;
        return v;
    }
    // A wide string (VarType 8); the text is UTF-8 like every other string.
    static Variant FromWideString(std::string text);
    // A host-object handle: an Int32, as scripts expect (0 is nil).
    static Variant FromHandle(std::int32_t handle) noexcept { return Variant(static_cast<int>(handle)); }

    VariantKind Kind() const noexcept { return kind_; }
    // The type code: 0, 1, 3, 20, 5, 7, 11, 256 or 8, or 8192 + the element type code.
    TVarType VarType() const noexcept;
    bool IsEmpty() const noexcept { return kind_ == VariantKind::Empty; }
    bool IsNull() const noexcept { return kind_ == VariantKind::Null; }
    bool IsArray() const noexcept { return kind_ == VariantKind::Array; }
    bool IsString() const noexcept { return kind_ == VariantKind::String; }
    bool IsWideString() const noexcept { return kind_ == VariantKind::String && (flags_ & kWideFlag); }
    // Int32, Int64, Double or Date.
    bool IsNumeric() const noexcept {
        return kind_ >= VariantKind::Int32 && kind_ <= VariantKind::Date;
    }

    // Conversions by the class library's rules. Failures raise EVariantTypeCastError (wrong
    // kind, text that does not convert, Null) or EVariantOverflowError (out of range).
    std::int32_t AsInteger() const;  // Double/Date rounded half to even; True = -1
    std::int64_t AsInt64() const;
    double AsDouble() const;
    TDateTime AsDate() const;
    bool AsBool() const;          // non-zero numbers, "True"/"False" in any case, numeric text
    std::string AsString() const;  // Double with 15 significant digits; Null raises

    // Direct payload access for callers that checked Kind(); no conversion.
    std::int32_t Int32Value() const noexcept { return static_cast<std::int32_t>(u_.i64); }
    std::int64_t Int64Value() const noexcept { return u_.i64; }
    double DoubleValue() const noexcept { return u_.d; }  // Double and Date
    bool BoolValue() const noexcept { return u_.i64 != 0; }
    const std::string& StringValue() const noexcept;  // String only
    // Appends to a String whose text no other Variant shares, in place (amortised constant
    // time); false, leaving everything unchanged, for any other value. The text may be this
    // String's own.
    bool AppendInPlace(std::string_view text);

    // C++ operators with the Variant rules (hidden friends, so they apply only to Variants).
    friend Variant operator+(const Variant& a, const Variant& b) { return VarAdd(a, b); }
    friend Variant operator-(const Variant& a, const Variant& b) { return VarSub(a, b); }
    friend Variant operator*(const Variant& a, const Variant& b) { return VarMul(a, b); }
    friend Variant operator/(const Variant& a, const Variant& b) { return VarDiv(a, b); }
    friend Variant operator%(const Variant& a, const Variant& b) { return VarMod(a, b); }
    friend Variant operator-(const Variant& a) { return VarNeg(a); }
    friend bool operator==(const Variant& a, const Variant& b) { return VarCompare(a, b) == 0; }
    friend bool operator<(const Variant& a, const Variant& b) { return VarCompare(a, b) < 0; }
    friend bool operator<=(const Variant& a, const Variant& b) { return VarCompare(a, b) <= 0; }
    friend bool operator>(const Variant& a, const Variant& b) { return VarCompare(a, b) > 0; }
    friend bool operator>=(const Variant& a, const Variant& b) { return VarCompare(a, b) >= 0; }

private:
    friend struct VariantAccess;
    static constexpr std::uint8_t kWideFlag = 1;

    bool IsShared() const noexcept { return kind_ >= VariantKind::String; }
    void Retain() const noexcept;
    void ReleaseShared() noexcept;

    VariantKind kind_;
    std::uint8_t flags_ = 0;
    // Int32 and Bool are held widened in i64: one 8-byte store, no partial writes.
    union Payload {
        std::int64_t i64;
        double d;
        void* block;  // VariantString or VariantArray, reference counted
    } u_;
};

static_assert(sizeof(Variant) == 16, "Variant must stay two words");

// ---- Type codes and tests ---------------------------------------------------------------------

inline TVarType VarType(const Variant& v) noexcept { return v.VarType(); }
inline bool VarIsNull(const Variant& v) noexcept { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) noexcept { return v.IsEmpty(); }
inline bool VarIsArray(const Variant& v) noexcept { return v.IsArray(); }
inline bool VarIsStr(const Variant& v) noexcept { return v.IsString(); }
// "Integer", "String", "Array Variant", ... as in conversion messages.
std::string VarTypeAsText(TVarType type);

// ---- Conversions ------------------------------------------------------------------------------

// Text of a value; Null gives "" (AsString raises for Null).
std::string VarToStr(const Variant& v);
// Text of a value; Null gives defaultText.
std::string VarToStrDef(const Variant& v, std::string_view defaultText);
// The value converted to a type code: varInteger, varInt64, varSmallint, varShortInt, varByte,
// varWord, varLongWord (range-checked integers), varSingle, varDouble, varCurrency, varDate,
// varBoolean, varString, varOleStr, varVariant (unchanged), varNull, varEmpty. Other codes
// raise EVariantBadVarTypeError.
Variant VarAsType(const Variant& v, TVarType type);

// ---- Operators --------------------------------------------------------------------------------

enum class TVarOp : std::uint8_t {
    Add, Subtract, Multiply, Divide, IntDivide, Modulus, ShiftLeft, ShiftRight,
    And, Or, Xor,
    CmpEq, CmpNe, CmpLt, CmpLe, CmpGt, CmpGe,
    Negate, Not,  // unary
};

Variant VarAdd(const Variant& a, const Variant& b);
Variant VarSub(const Variant& a, const Variant& b);
Variant VarMul(const Variant& a, const Variant& b);
Variant VarDiv(const Variant& a, const Variant& b);     // "/": always Double
Variant VarIntDiv(const Variant& a, const Variant& b);  // "div"
Variant VarMod(const Variant& a, const Variant& b);     // "mod"
Variant VarShl(const Variant& a, const Variant& b);
Variant VarShr(const Variant& a, const Variant& b);
Variant VarAnd(const Variant& a, const Variant& b);  // logical on two booleans, else bitwise
Variant VarOr(const Variant& a, const Variant& b);
Variant VarXor(const Variant& a, const Variant& b);
Variant VarNeg(const Variant& a);
Variant VarNot(const Variant& a);
// Ordering of two values: negative, 0 or positive. Null equals Null and is below everything
// else; Empty acts as 0 or ""; a string and a number compare numerically when the string
// converts, else as text; two strings compare ordinally. Arrays raise EVariantInvalidOpError.
int VarCompare(const Variant& a, const Variant& b);
inline bool VarEqual(const Variant& a, const Variant& b) { return VarCompare(a, b) == 0; }

// Dispatch by operation code for the interpreter. Comparisons give a Bool Variant.
Variant VarBinaryOp(TVarOp op, const Variant& a, const Variant& b);
Variant VarUnaryOp(TVarOp op, const Variant& a);

// Same kind and same payload (arrays element by element); no conversion. For tests and caches.
bool VarSameValue(const Variant& a, const Variant& b);

// ---- Arrays -----------------------------------------------------------------------------------
// Dimensions are numbered from 1. Elements start as 0, "", False or Empty (varVariant). A put
// converts the value to the element type (varVariant keeps it as is).

// Bounds in pairs (low, high) per dimension; high may be low - 1 for no elements.
// EVariantBadVarTypeError for an element type that cannot be held, EVariantArrayCreateError for
// an odd count, inverted bounds or a size beyond the limit.
Variant VarArrayCreate(std::span<const int> bounds, TVarType elementType);
Variant VarArrayCreate(std::initializer_list<int> bounds, TVarType elementType);
// One dimension 0..n-1 of varVariant.
Variant VarArrayOf(std::span<const Variant> values);
Variant VarArrayOf(std::initializer_list<Variant> values);

// These raise EVariantNotAnArrayError for a value that is not an array (DimCount answers 0) and
// EVariantBadIndexError for a dimension or an index outside the bounds.
int VarArrayDimCount(const Variant& a) noexcept;
int VarArrayLowBound(const Variant& a, int dim);
int VarArrayHighBound(const Variant& a, int dim);
TVarType VarArrayElementType(const Variant& a);
Variant VarArrayGet(const Variant& a, std::span<const int> indices);
Variant VarArrayGet(const Variant& a, std::initializer_list<int> indices);
void VarArrayPut(Variant& a, const Variant& value, std::span<const int> indices);
void VarArrayPut(Variant& a, const Variant& value, std::initializer_list<int> indices);
// New high bound of the last dimension; elements that stay keep their values.
void VarArrayRedim(Variant& a, int highBound);
