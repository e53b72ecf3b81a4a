#include "platform/core/variant.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"

// ---- Shared blocks ----------------------------------------------------------------------------

namespace {

struct SharedBlock {
    std::atomic<std::int32_t> refs{1};
};

struct VariantString : SharedBlock {
    explicit VariantString(std::string s) : text(std::move(s)) {}
    std::string text;
};

struct VariantArray : SharedBlock {
    TVarType elementType = varVariant;
    std::vector<TVarArrayBound> bounds;
    std::vector<Variant> items;  // the first index varies fastest, so a redim of the last
                                 // dimension only grows or cuts the tail
};

// Cap on the element count of one array (16 bytes each), so a script cannot ask for gigabytes.
constexpr std::int64_t kMaxArrayElements = std::int64_t{1} << 24;
constexpr int kMaxArrayDims = 64;

}  // namespace

struct VariantAccess {
    static VariantString* Str(const Variant& v) { return static_cast<VariantString*>(v.u_.block); }
    static VariantArray* Arr(const Variant& v) { return static_cast<VariantArray*>(v.u_.block); }
    static Variant MakeString(std::string text, bool wide) {
        Variant v;
        v.u_.block = new VariantString(std::move(text));
        v.kind_ = VariantKind::String;
        v.flags_ = wide ? Variant::kWideFlag : 0;
        return v;
    }
    static Variant MakeArray(VariantArray* block) {
        Variant v;
        v.u_.block = block;
        v.kind_ = VariantKind::Array;
        return v;
    }
    // The array of a variant, unshared first so it can be changed without touching copies.
    static VariantArray* MutableArr(Variant& v) {
        VariantArray* block = Arr(v);
        if (block->refs.load(std::memory_order_acquire) == 1) return block;
        auto* copy = new VariantArray;
        copy->elementType = block->elementType;
        copy->bounds = block->bounds;
        copy->items = block->items;
        Variant fresh = MakeArray(copy);
        v.Swap(fresh);
        return copy;
    }
};

void Variant::Retain() const noexcept {
    static_cast<SharedBlock*>(u_.block)->refs.fetch_add(1, std::memory_order_relaxed);
}

void Variant::ReleaseShared() noexcept {
    auto* block = static_cast<SharedBlock*>(u_.block);
    if (block->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (kind_ == VariantKind::String)
        delete static_cast<VariantString*>(block);
    else
        delete static_cast<VariantArray*>(block);
}

// ---- Construction -----------------------------------------------------------------------------

namespace {

[[noreturn]] void ThrowOverflow() { throw EVariantOverflowError("Variant overflow"); }

[[noreturn]] void ThrowCast(TVarType from, TVarType to) {
    throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(from) +
                                ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void ThrowInvalidOp() { throw EVariantInvalidOpError("Invalid variant operation"); }

Variant MakeInt(std::int64_t value) {
    if (value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())
        return Variant(static_cast<int>(value));
    return Variant(static_cast<long long>(value));
}

}  // namespace

Variant::Variant(unsigned value) noexcept : kind_(VariantKind::Int32) {
    if (value > static_cast<unsigned>(std::numeric_limits<std::int32_t>::max())) kind_ = VariantKind::Int64;
    u_.i64 = value;
}

Variant::Variant(unsigned long value) : Variant(static_cast<unsigned long long>(value)) {}

Variant::Variant(unsigned long long value) : kind_(VariantKind::Int64) {
    if (value > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        ThrowOverflow();
    if (value > static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max())) {
        u_.i64 = static_cast<std::int64_t>(value);
    } else {
        kind_ = VariantKind::Int32;
        u_.i64 = static_cast<std::int64_t>(value);
    }
}

Variant::Variant(const char* text) : Variant(std::string(text ? text : "")) {}

Variant::Variant(std::string_view text) : Variant(std::string(text)) {}

Variant::Variant(std::string text) : kind_(VariantKind::Empty) {
    Variant made = VariantAccess::MakeString(std::move(text), false);
    Swap(made);
}

Variant Variant::FromWideString(std::string text) {
    return VariantAccess::MakeString(std::move(text), true);
}

const std::string& Variant::StringValue() const noexcept { return VariantAccess::Str(*this)->text; }

bool Variant::AppendInPlace(std::string_view text) {
    if (kind_ != VariantKind::String) return false;
    VariantString* block = VariantAccess::Str(*this);
    // acquire: a copy released on another thread must have finished reading the text.
    if (block->refs.load(std::memory_order_acquire) != 1) return false;
    block->text.append(text);
    return true;
}

TVarType Variant::VarType() const noexcept {
    switch (kind_) {
        case VariantKind::Empty: return varEmpty;
        case VariantKind::Null: return varNull;
        case VariantKind::Int32: return varInteger;
        case VariantKind::Int64: return varInt64;
        case VariantKind::Double: return varDouble;
        case VariantKind::Date: return varDate;
        case VariantKind::Bool: return varBoolean;
        case VariantKind::String: return (flags_ & kWideFlag) ? varOleStr : varString;
        case VariantKind::Array: return varArray | VariantAccess::Arr(*this)->elementType;
    }
    return varEmpty;
}

std::string VarTypeAsText(TVarType type) {
    if (type & varArray) return "Array " + VarTypeAsText(type & varTypeMask);
    switch (type) {
        case varEmpty: return "Empty";
        case varNull: return "Null";
        case varSmallint: return "Smallint";
        case varInteger: return "Integer";
        case varSingle: return "Single";
        case varDouble: return "Double";
        case varCurrency: return "Currency";
        case varDate: return "Date";
        case varOleStr: return "OleStr";
        case varDispatch: return "Dispatch";
        case varError: return "Error";
        case varBoolean: return "Boolean";
        case varVariant: return "Variant";
        case varUnknown: return "Unknown";
        case varShortInt: return "ShortInt";
        case varByte: return "Byte";
        case varWord: return "Word";
        case varLongWord: return "LongWord";
        case varInt64: return "Int64";
        case varString: return "String";
        case varAny: return "Any";
        default: return "Unknown";
    }
}

// ---- Conversions ------------------------------------------------------------------------------

namespace {

// "True"/"False" in any case.
bool TryBoolWord(std::string_view text, bool& result) {
    if (SameText(text, "true")) {
        result = true;
        return true;
    }
    if (SameText(text, "false")) {
        result = false;
        return true;
    }
    return false;
}

std::int64_t DoubleToInt64(double value) {
    constexpr double limit = 9223372036854775808.0;  // 2^63
    double rounded = RoundHalfEven(value);
    if (!(rounded >= -limit && rounded < limit)) ThrowOverflow();
    return static_cast<std::int64_t>(rounded);
}

// The value as a 64-bit integer; `target` names the type in a conversion error.
std::int64_t ToInt64(const Variant& v, TVarType target) {
    switch (v.Kind()) {
        case VariantKind::Empty: return 0;
        case VariantKind::Int32: return v.Int32Value();
        case VariantKind::Int64: return v.Int64Value();
        case VariantKind::Double:
        case VariantKind::Date: return DoubleToInt64(v.DoubleValue());
        case VariantKind::Bool: return v.BoolValue() ? -1 : 0;
        case VariantKind::String: {
            std::int64_t result = 0;
            if (TryStrToInt64(v.StringValue(), result)) return result;
            break;
        }
        case VariantKind::Null:
        case VariantKind::Array: break;
    }
    ThrowCast(v.VarType(), target);
}

std::int64_t ToRanged(const Variant& v, TVarType target, std::int64_t low, std::int64_t high) {
    std::int64_t value = ToInt64(v, target);
    if (value < low || value > high) ThrowOverflow();
    return value;
}

double ToDouble(const Variant& v, TVarType target) {
    switch (v.Kind()) {
        case VariantKind::Empty: return 0;
        case VariantKind::Int32: return v.Int32Value();
        case VariantKind::Int64: return static_cast<double>(v.Int64Value());
        case VariantKind::Double:
        case VariantKind::Date: return v.DoubleValue();
        case VariantKind::Bool: return v.BoolValue() ? -1 : 0;
        case VariantKind::String: {
            double result = 0;
            if (TryStrToFloat(v.StringValue(), result)) return result;
            break;
        }
        case VariantKind::Null:
        case VariantKind::Array: break;
    }
    ThrowCast(v.VarType(), target);
}

std::string IntText(std::int64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

}  // namespace

std::int64_t Variant::AsInt64() const { return ToInt64(*this, varInt64); }

std::int32_t Variant::AsInteger() const {
    if (kind_ == VariantKind::Int32) return Int32Value();
    return static_cast<std::int32_t>(ToRanged(*this, varInteger, std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::int32_t>::max()));
}

double Variant::AsDouble() const { return ToDouble(*this, varDouble); }

TDateTime Variant::AsDate() const {
    if (kind_ == VariantKind::String) {
        TDateTime result = 0;
        if (TryStrToDateTime(StringValue(), result)) return result;
        ThrowCast(VarType(), varDate);
    }
    return ToDouble(*this, varDate);
}

bool Variant::AsBool() const {
    switch (kind_) {
        case VariantKind::Empty: return false;
        case VariantKind::Int32: return u_.i64 != 0;
        case VariantKind::Int64: return u_.i64 != 0;
        case VariantKind::Double:
        case VariantKind::Date: return u_.d != 0;
        case VariantKind::Bool: return u_.i64 != 0;
        case VariantKind::String: {
            bool word = false;
            if (TryBoolWord(StringValue(), word)) return word;
            double number = 0;
            if (TryStrToFloat(StringValue(), number)) return number != 0;
            break;
        }
        case VariantKind::Null:
        case VariantKind::Array: break;
    }
    ThrowCast(VarType(), varBoolean);
}

std::string Variant::AsString() const {
    switch (kind_) {
        case VariantKind::Empty: return std::string();
        case VariantKind::Int32: return IntText(u_.i64);
        case VariantKind::Int64: return IntText(u_.i64);
        case VariantKind::Double: return FloatToStr(u_.d);
        case VariantKind::Date: return DateTimeToStr(u_.d);
        case VariantKind::Bool: return u_.i64 ? "True" : "False";
        case VariantKind::String: return StringValue();
        case VariantKind::Null:
        case VariantKind::Array: break;
    }
    ThrowCast(VarType(), varString);
}

std::string VarToStr(const Variant& v) { return v.IsNull() ? std::string() : v.AsString(); }

std::string VarToStrDef(const Variant& v, std::string_view defaultText) {
    return v.IsNull() ? std::string(defaultText) : v.AsString();
}

Variant VarAsType(const Variant& v, TVarType type) {
    if (v.IsArray()) {
        if (type == varVariant || type == v.VarType()) return v;
        ThrowCast(v.VarType(), type);
    }
    switch (type) {
        case varEmpty: return Variant();
        case varNull: return Variant::Null();
        case varVariant: return v;
        case varSmallint: return Variant(static_cast<int>(ToRanged(v, type, -32768, 32767)));
        case varShortInt: return Variant(static_cast<int>(ToRanged(v, type, -128, 127)));
        case varByte: return Variant(static_cast<int>(ToRanged(v, type, 0, 255)));
        case varWord: return Variant(static_cast<int>(ToRanged(v, type, 0, 65535)));
        case varLongWord: return MakeInt(ToRanged(v, type, 0, 4294967295LL));
        case varInteger:
            if (v.Kind() == VariantKind::Int32) return v;
            return Variant(v.AsInteger());
        case varInt64: return Variant(static_cast<long long>(ToInt64(v, type)));
        case varSingle: {
            double d = ToDouble(v, type);
            if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) ThrowOverflow();
            return Variant(static_cast<double>(static_cast<float>(d)));
        }
        case varDouble:
            if (v.Kind() == VariantKind::Double) return v;
            return Variant(ToDouble(v, type));
        case varCurrency: {
            // Currency is a count of 1/10000 in an int64.
            double d = ToDouble(v, type);
            double units = RoundHalfEven(d * 10000.0);
            if (!(std::fabs(units) < 9223372036854775808.0)) ThrowOverflow();
            return Variant(units / 10000.0);
        }
        case varDate:
            if (v.Kind() == VariantKind::Date) return v;
            return Variant::FromDate(v.AsDate());
        case varBoolean:
            if (v.Kind() == VariantKind::Bool) return v;
            return Variant(v.AsBool());
        case varString:
            if (v.IsString() && !v.IsWideString()) return v;
            return Variant(v.AsString());
        case varOleStr:
            if (v.IsWideString()) return v;
            return Variant::FromWideString(v.AsString());
        default: throw EVariantBadVarTypeError("Invalid variant type");
    }
}

// ---- Arithmetic -------------------------------------------------------------------------------

namespace {

enum class NumClass { Int32, Int64, Double, Date };

struct Num {
    NumClass cls;
    std::int64_t i;  // Int32, Int64
    double d;        // Double, Date
    double AsDouble() const { return (cls == NumClass::Double || cls == NumClass::Date) ? d : static_cast<double>(i); }
};

// An operand of arithmetic: Empty is 0, True -1, text is parsed as a float.
Num ToNum(const Variant& v) {
    switch (v.Kind()) {
        case VariantKind::Empty: return {NumClass::Int32, 0, 0};
        case VariantKind::Bool: return {NumClass::Int32, v.BoolValue() ? -1 : 0, 0};
        case VariantKind::Int32: return {NumClass::Int32, v.Int32Value(), 0};
        case VariantKind::Int64: return {NumClass::Int64, v.Int64Value(), 0};
        case VariantKind::Double: return {NumClass::Double, 0, v.DoubleValue()};
        case VariantKind::Date: return {NumClass::Date, 0, v.DoubleValue()};
        case VariantKind::String: return {NumClass::Double, 0, ToDouble(v, varDouble)};
        case VariantKind::Null:
        case VariantKind::Array: break;
    }
    ThrowInvalidOp();
}

// An operand of div, mod, shifts and bitwise logic: numbers rounded half to even.
struct IntOperand {
    std::int64_t value;
    bool wide;  // Int64 or beyond the Int32 range: the result is Int64
};

IntOperand ToIntOperand(const Variant& v) {
    std::int64_t value = 0;
    switch (v.Kind()) {
        case VariantKind::Int32: return {v.Int32Value(), false};
        case VariantKind::Int64: return {v.Int64Value(), true};
        case VariantKind::String:
            if (!TryStrToInt64(v.StringValue(), value)) value = DoubleToInt64(ToDouble(v, varInt64));
            break;
        case VariantKind::Array: ThrowInvalidOp();
        default: value = ToInt64(v, varInt64); break;
    }
    return {value, value < std::numeric_limits<std::int32_t>::min() ||
                       value > std::numeric_limits<std::int32_t>::max()};
}

Variant IntResult(std::int64_t value, bool wide) {
    return wide ? Variant(static_cast<long long>(value)) : MakeInt(value);
}

// A float result of finite operands must be finite: the class library raises on overflow.
double CheckedFloat(double result, double x, double y) {
    if (!std::isfinite(result) && std::isfinite(x) && std::isfinite(y)) {
        if (std::isnan(result)) throw EInvalidOp("Invalid floating point operation");
        throw EOverflow("Floating point overflow");
    }
    return result;
}

enum class Arith { Add, Sub, Mul };

Variant ArithSlow(Arith op, const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    if (op == Arith::Add) {
        bool aText = a.IsString() || a.IsEmpty();
        bool bText = b.IsString() || b.IsEmpty();
        if (aText && bText && (a.IsString() || b.IsString())) {
            std::string text = a.IsString() ? a.StringValue() : std::string();
            if (b.IsString()) text += b.StringValue();
            if (a.IsWideString() || b.IsWideString()) return Variant::FromWideString(std::move(text));
            return Variant(std::move(text));
        }
    }
    Num x = ToNum(a);
    Num y = ToNum(b);
    bool xDate = x.cls == NumClass::Date, yDate = y.cls == NumClass::Date;
    if (xDate || yDate || x.cls == NumClass::Double || y.cls == NumClass::Double) {
        double p = x.AsDouble(), q = y.AsDouble();
        double r = op == Arith::Add ? p + q : op == Arith::Sub ? p - q : p * q;
        r = CheckedFloat(r, p, q);
        // Date + number and Date - number stay dates; Date - Date is a span of days.
        if ((xDate || yDate) && op != Arith::Mul && !(op == Arith::Sub && xDate && yDate))
            return Variant::FromDate(r);
        return Variant(r);
    }
    bool wide = x.cls == NumClass::Int64 || y.cls == NumClass::Int64;
    std::int64_t r = 0;
    bool overflow = op == Arith::Add   ? __builtin_add_overflow(x.i, y.i, &r)
                    : op == Arith::Sub ? __builtin_sub_overflow(x.i, y.i, &r)
                                       : __builtin_mul_overflow(x.i, y.i, &r);
    if (overflow) {
        double p = static_cast<double>(x.i), q = static_cast<double>(y.i);
        return Variant(op == Arith::Add ? p + q : op == Arith::Sub ? p - q : p * q);
    }
    return IntResult(r, wide);
}

}  // namespace

namespace {

// Fast path for the common float case: Double with Double or Int32, no dates, text or Null.
bool PlainFloats(const Variant& a, const Variant& b, double& p, double& q) {
    VariantKind x = a.Kind(), y = b.Kind();
    if (x == VariantKind::Double) {
        p = a.DoubleValue();
        if (y == VariantKind::Double) q = b.DoubleValue();
        else if (y == VariantKind::Int32) q = b.Int32Value();
        else return false;
        return true;
    }
    if (y == VariantKind::Double && x == VariantKind::Int32) {
        p = a.Int32Value();
        q = b.DoubleValue();
        return true;
    }
    return false;
}

}  // namespace

Variant VarAdd(const Variant& a, const Variant& b) {
    if (a.Kind() == VariantKind::Int32 && b.Kind() == VariantKind::Int32)
        return MakeInt(std::int64_t{a.Int32Value()} + b.Int32Value());
    if (double p, q; PlainFloats(a, b, p, q) && std::isfinite(p + q)) return Variant(p + q);
    return ArithSlow(Arith::Add, a, b);
}

Variant VarSub(const Variant& a, const Variant& b) {
    if (a.Kind() == VariantKind::Int32 && b.Kind() == VariantKind::Int32)
        return MakeInt(std::int64_t{a.Int32Value()} - b.Int32Value());
    if (double p, q; PlainFloats(a, b, p, q) && std::isfinite(p - q)) return Variant(p - q);
    return ArithSlow(Arith::Sub, a, b);
}

Variant VarMul(const Variant& a, const Variant& b) {
    if (a.Kind() == VariantKind::Int32 && b.Kind() == VariantKind::Int32)
        return MakeInt(std::int64_t{a.Int32Value()} * b.Int32Value());
    if (double p, q; PlainFloats(a, b, p, q) && std::isfinite(p * q)) return Variant(p * q);
    return ArithSlow(Arith::Mul, a, b);
}

Variant VarDiv(const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    double p = ToNum(a).AsDouble();
    double q = ToNum(b).AsDouble();
    if (q == 0) {
        if (p == 0 || std::isnan(p)) throw EInvalidOp("Invalid floating point operation");
        throw EZeroDivide("Floating point division by zero");
    }
    return Variant(CheckedFloat(p / q, p, q));
}

Variant VarIntDiv(const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    IntOperand x = ToIntOperand(a);
    IntOperand y = ToIntOperand(b);
    if (y.value == 0) throw EDivByZero("Division by zero");
    if (x.value == std::numeric_limits<std::int64_t>::min() && y.value == -1)
        return Variant(-static_cast<double>(x.value));
    return IntResult(x.value / y.value, x.wide || y.wide);
}

Variant VarMod(const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    IntOperand x = ToIntOperand(a);
    IntOperand y = ToIntOperand(b);
    if (y.value == 0) throw EDivByZero("Division by zero");
    if (y.value == -1) return IntResult(0, x.wide || y.wide);
    return IntResult(x.value % y.value, x.wide || y.wide);
}

namespace {

enum class Shift { Left, Right };

Variant DoShift(Shift op, const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    IntOperand x = ToIntOperand(a);
    IntOperand y = ToIntOperand(b);
    // Counts wrap at the operand width, as the processor's shift instructions do.
    if (x.wide) {
        auto bits = static_cast<std::uint64_t>(x.value);
        unsigned count = static_cast<unsigned>(y.value) & 63u;
        bits = op == Shift::Left ? bits << count : bits >> count;
        return Variant(static_cast<long long>(bits));
    }
    auto bits = static_cast<std::uint32_t>(x.value);
    unsigned count = static_cast<unsigned>(y.value) & 31u;
    bits = op == Shift::Left ? bits << count : bits >> count;
    return Variant(static_cast<int>(bits));
}

enum class Logic { And, Or, Xor };

// Booleans, or text that reads "True"/"False", combine logically.
bool TryLogical(const Variant& v, bool& result) {
    if (v.Kind() == VariantKind::Bool) {
        result = v.BoolValue();
        return true;
    }
    return v.IsString() && TryBoolWord(v.StringValue(), result);
}

Variant DoLogic(Logic op, const Variant& a, const Variant& b) {
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return Variant::Null();
    bool p = false, q = false;
    if ((a.Kind() == VariantKind::Bool || b.Kind() == VariantKind::Bool) && TryLogical(a, p) &&
        TryLogical(b, q))
        return Variant(op == Logic::And ? (p && q) : op == Logic::Or ? (p || q) : (p != q));
    IntOperand x = ToIntOperand(a);
    IntOperand y = ToIntOperand(b);
    std::int64_t r = op == Logic::And ? (x.value & y.value)
                     : op == Logic::Or ? (x.value | y.value)
                                       : (x.value ^ y.value);
    return IntResult(r, x.wide || y.wide);
}

}  // namespace

Variant VarShl(const Variant& a, const Variant& b) { return DoShift(Shift::Left, a, b); }
Variant VarShr(const Variant& a, const Variant& b) { return DoShift(Shift::Right, a, b); }
Variant VarAnd(const Variant& a, const Variant& b) { return DoLogic(Logic::And, a, b); }
Variant VarOr(const Variant& a, const Variant& b) { return DoLogic(Logic::Or, a, b); }
Variant VarXor(const Variant& a, const Variant& b) { return DoLogic(Logic::Xor, a, b); }

Variant VarNeg(const Variant& a) {
    switch (a.Kind()) {
        case VariantKind::Null: return Variant::Null();
        case VariantKind::Empty: return Variant(0);
        case VariantKind::Bool: return Variant(a.BoolValue() ? 1 : 0);
        case VariantKind::Int32: return MakeInt(-std::int64_t{a.Int32Value()});
        case VariantKind::Int64:
            if (a.Int64Value() == std::numeric_limits<std::int64_t>::min())
                return Variant(-static_cast<double>(a.Int64Value()));
            return Variant(static_cast<long long>(-a.Int64Value()));
        case VariantKind::Double: return Variant(-a.DoubleValue());
        case VariantKind::Date: return Variant::FromDate(-a.DoubleValue());
        case VariantKind::String: return Variant(-ToDouble(a, varDouble));
        case VariantKind::Array: break;
    }
    ThrowInvalidOp();
}

Variant VarNot(const Variant& a) {
    if (a.IsArray()) ThrowInvalidOp();
    if (a.IsNull()) return Variant::Null();
    bool p = false;
    if (TryLogical(a, p)) return Variant(!p);
    IntOperand x = ToIntOperand(a);
    return IntResult(~x.value, x.wide);
}

// ---- Comparison -------------------------------------------------------------------------------

namespace {

int Sign(long double x, long double y) { return x < y ? -1 : (x > y ? 1 : 0); }

// Non-string, non-null operands: numerically, exactly for 64-bit integers.
int CompareNumbers(const Variant& a, const Variant& b) {
    Num x = ToNum(a);
    Num y = ToNum(b);
    bool xInt = x.cls == NumClass::Int32 || x.cls == NumClass::Int64;
    bool yInt = y.cls == NumClass::Int32 || y.cls == NumClass::Int64;
    if (xInt && yInt) return x.i < y.i ? -1 : (x.i > y.i ? 1 : 0);
    long double p = xInt ? static_cast<long double>(x.i) : x.d;
    long double q = yInt ? static_cast<long double>(y.i) : y.d;
    return Sign(p, q);
}

// A string against a value that is not a string, Null or an array.
int CompareTextWith(const std::string& text, const Variant& other) {
    if (other.IsEmpty()) return text.empty() ? 0 : 1;
    if (other.Kind() == VariantKind::Bool) {
        bool p = false;
        if (TryBoolWord(text, p)) return Sign(p ? -1 : 0, other.BoolValue() ? -1 : 0);
    }
    if (other.Kind() == VariantKind::Date) {
        TDateTime d = 0;
        if (TryStrToDateTime(text, d)) return Sign(d, other.DoubleValue());
    }
    double number = 0;
    if (TryStrToFloat(text, number)) return CompareNumbers(Variant(number), other);
    return CompareStr(text, other.AsString());
}

}  // namespace

int VarCompare(const Variant& a, const Variant& b) {
    if (a.Kind() == VariantKind::Int32 && b.Kind() == VariantKind::Int32)
        return a.Int32Value() < b.Int32Value() ? -1 : (a.Int32Value() > b.Int32Value() ? 1 : 0);
    if (a.IsArray() || b.IsArray()) ThrowInvalidOp();
    if (a.IsNull() || b.IsNull()) return a.IsNull() ? (b.IsNull() ? 0 : -1) : 1;
    if (a.IsString() && b.IsString()) return CompareStr(a.StringValue(), b.StringValue());
    if (a.IsString()) return CompareTextWith(a.StringValue(), b);
    if (b.IsString()) return -CompareTextWith(b.StringValue(), a);
    return CompareNumbers(a, b);
}

bool VarSameValue(const Variant& a, const Variant& b) {
    if (a.Kind() != b.Kind()) return false;
    switch (a.Kind()) {
        case VariantKind::Empty:
        case VariantKind::Null: return true;
        case VariantKind::Int32: return a.Int32Value() == b.Int32Value();
        case VariantKind::Int64: return a.Int64Value() == b.Int64Value();
        case VariantKind::Double:
        case VariantKind::Date: return a.DoubleValue() == b.DoubleValue();
        case VariantKind::Bool: return a.BoolValue() == b.BoolValue();
        case VariantKind::String:
            return a.IsWideString() == b.IsWideString() && a.StringValue() == b.StringValue();
        case VariantKind::Array: {
            const VariantArray* x = VariantAccess::Arr(a);
            const VariantArray* y = VariantAccess::Arr(b);
            if (x == y) return true;
            if (x->elementType != y->elementType || x->bounds.size() != y->bounds.size() ||
                x->items.size() != y->items.size())
                return false;
            for (std::size_t i = 0; i < x->bounds.size(); ++i)
                if (x->bounds[i].Low != y->bounds[i].Low || x->bounds[i].High != y->bounds[i].High)
                    return false;
            for (std::size_t i = 0; i < x->items.size(); ++i)
                if (!VarSameValue(x->items[i], y->items[i])) return false;
            return true;
        }
    }
    return false;
}

Variant VarBinaryOp(TVarOp op, const Variant& a, const Variant& b) {
    switch (op) {
        case TVarOp::Add: return VarAdd(a, b);
        case TVarOp::Subtract: return VarSub(a, b);
        case TVarOp::Multiply: return VarMul(a, b);
        case TVarOp::Divide: return VarDiv(a, b);
        case TVarOp::IntDivide: return VarIntDiv(a, b);
        case TVarOp::Modulus: return VarMod(a, b);
        case TVarOp::ShiftLeft: return VarShl(a, b);
        case TVarOp::ShiftRight: return VarShr(a, b);
        case TVarOp::And: return VarAnd(a, b);
        case TVarOp::Or: return VarOr(a, b);
        case TVarOp::Xor: return VarXor(a, b);
        case TVarOp::CmpEq: return Variant(VarCompare(a, b) == 0);
        case TVarOp::CmpNe: return Variant(VarCompare(a, b) != 0);
        case TVarOp::CmpLt: return Variant(VarCompare(a, b) < 0);
        case TVarOp::CmpLe: return Variant(VarCompare(a, b) <= 0);
        case TVarOp::CmpGt: return Variant(VarCompare(a, b) > 0);
        case TVarOp::CmpGe: return Variant(VarCompare(a, b) >= 0);
        case TVarOp::Negate:
        case TVarOp::Not: break;
    }
    ThrowInvalidOp();
}

Variant VarUnaryOp(TVarOp op, const Variant& a) {
    if (op == TVarOp::Negate) return VarNeg(a);
    if (op == TVarOp::Not) return VarNot(a);
    ThrowInvalidOp();
}

// ---- Arrays -----------------------------------------------------------------------------------

namespace {

bool IsArrayElementType(TVarType type) {
    switch (type) {
        case varSmallint: case varInteger: case varSingle: case varDouble: case varCurrency:
        case varDate: case varOleStr: case varBoolean: case varVariant: case varShortInt:
        case varByte: case varWord: case varLongWord: case varInt64: case varString:
            return true;
        default:
            return false;
    }
}

Variant DefaultElement(TVarType type) {
    switch (type) {
        case varVariant: return Variant();
        case varInt64: return Variant(0LL);
        case varSingle: case varDouble: case varCurrency: return Variant(0.0);
        case varDate: return Variant::FromDate(0);
        case varBoolean: return Variant(false);
        case varString: return Variant(std::string());
        case varOleStr: return Variant::FromWideString(std::string());
        default: return Variant(0);
    }
}

[[noreturn]] void ThrowCreate() {
    throw EVariantArrayCreateError("Error creating variant or safe array");
}

[[noreturn]] void ThrowBadIndex() {
    throw EVariantBadIndexError("Variant or safe array index out of bounds");
}

const VariantArray& ArrayOf(const Variant& a) {
    if (!a.IsArray()) throw EVariantNotAnArrayError("Variant is not an array");
    return *VariantAccess::Arr(a);
}

std::int64_t ElementCount(const std::vector<TVarArrayBound>& bounds) {
    std::int64_t count = 1;
    for (const TVarArrayBound& b : bounds) {
        std::int64_t length = std::int64_t{b.High} - b.Low + 1;
        if (length < 0) ThrowCreate();
        count *= length;
        if (count > kMaxArrayElements) ThrowCreate();
    }
    return count;
}

std::size_t Offset(const VariantArray& arr, std::span<const int> indices) {
    if (indices.size() != arr.bounds.size()) ThrowBadIndex();
    std::size_t offset = 0, stride = 1;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const TVarArrayBound& b = arr.bounds[i];
        if (indices[i] < b.Low || indices[i] > b.High) ThrowBadIndex();
        offset += static_cast<std::size_t>(std::int64_t{indices[i]} - b.Low) * stride;
        stride *= static_cast<std::size_t>(std::int64_t{b.High} - b.Low + 1);
    }
    return offset;
}

const TVarArrayBound& BoundOf(const Variant& a, int dim) {
    const VariantArray& arr = ArrayOf(a);
    if (dim < 1 || dim > static_cast<int>(arr.bounds.size())) ThrowBadIndex();
    return arr.bounds[static_cast<std::size_t>(dim - 1)];
}

}  // namespace

Variant VarArrayCreate(std::span<const int> bounds, TVarType elementType) {
    if (!IsArrayElementType(elementType)) throw EVariantBadVarTypeError("Invalid variant type");
    if (bounds.empty() || bounds.size() % 2 != 0 || bounds.size() / 2 > kMaxArrayDims) ThrowCreate();
    auto block = std::make_unique<VariantArray>();
    block->elementType = elementType;
    for (std::size_t i = 0; i < bounds.size(); i += 2) block->bounds.push_back({bounds[i], bounds[i + 1]});
    std::int64_t count = ElementCount(block->bounds);
    block->items.assign(static_cast<std::size_t>(count), DefaultElement(elementType));
    return VariantAccess::MakeArray(block.release());
}

Variant VarArrayCreate(std::initializer_list<int> bounds, TVarType elementType) {
    return VarArrayCreate(std::span<const int>(bounds.begin(), bounds.size()), elementType);
}

Variant VarArrayOf(std::span<const Variant> values) {
    if (static_cast<std::int64_t>(values.size()) > kMaxArrayElements) ThrowCreate();
    auto block = std::make_unique<VariantArray>();
    block->elementType = varVariant;
    block->bounds.push_back({0, static_cast<int>(values.size()) - 1});
    block->items.assign(values.begin(), values.end());
    return VariantAccess::MakeArray(block.release());
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
    return VarArrayOf(std::span<const Variant>(values.begin(), values.size()));
}

int VarArrayDimCount(const Variant& a) noexcept {
    return a.IsArray() ? static_cast<int>(VariantAccess::Arr(a)->bounds.size()) : 0;
}

int VarArrayLowBound(const Variant& a, int dim) { return BoundOf(a, dim).Low; }
int VarArrayHighBound(const Variant& a, int dim) { return BoundOf(a, dim).High; }
TVarType VarArrayElementType(const Variant& a) { return ArrayOf(a).elementType; }

Variant VarArrayGet(const Variant& a, std::span<const int> indices) {
    const VariantArray& arr = ArrayOf(a);
    return arr.items[Offset(arr, indices)];
}

Variant VarArrayGet(const Variant& a, std::initializer_list<int> indices) {
    return VarArrayGet(a, std::span<const int>(indices.begin(), indices.size()));
}

void VarArrayPut(Variant& a, const Variant& value, std::span<const int> indices) {
    const VariantArray& arr = ArrayOf(a);
    std::size_t offset = Offset(arr, indices);
    // Convert (and so copy) the value before unsharing: it may be this very array.
    Variant converted = arr.elementType == varVariant ? value : VarAsType(value, arr.elementType);
    VariantAccess::MutableArr(a)->items[offset] = std::move(converted);
}

void VarArrayPut(Variant& a, const Variant& value, std::initializer_list<int> indices) {
    VarArrayPut(a, value, std::span<const int>(indices.begin(), indices.size()));
}

void VarArrayRedim(Variant& a, int highBound) {
    const VariantArray& arr = ArrayOf(a);
    std::vector<TVarArrayBound> bounds = arr.bounds;
    bounds.back().High = highBound;
    if (std::int64_t{highBound} < std::int64_t{bounds.back().Low} - 1) ThrowCreate();
    auto count = static_cast<std::size_t>(ElementCount(bounds));
    VariantArray* block = VariantAccess::MutableArr(a);
    block->bounds = std::move(bounds);
    block->items.resize(count, DefaultElement(block->elementType));
}
