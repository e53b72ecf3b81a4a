// The built-in library: types, constants, helpers and the 65 functions every script sees.
#include "script/sys_functions.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/core/variant.h"
#include "script/automation.h"
#include "script/script.h"
#include "script/tools.h"

namespace {

constexpr const char* kModuleName = "ks_isysrtti";

// ---- UTF-8 characters -------------------------------------------------------------------------
// Script string functions count characters, so positions are code-point indices.

std::size_t NextChar(std::string_view s, std::size_t pos) {
    ++pos;
    while (pos < s.size() && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

// Byte offset of every character start, plus the end.
std::vector<std::size_t> CharOffsets(std::string_view s) {
    std::vector<std::size_t> offsets;
    offsets.reserve(s.size() + 1);
    for (std::size_t pos = 0; pos < s.size(); pos = NextChar(s, pos))
        offsets.push_back(pos);
    offsets.push_back(s.size());
    return offsets;
}

char32_t DecodeFirst(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
    char32_t c = extra == 0 ? b0 : b0 & (0x3F >> extra);
    for (int i = 1; i <= extra && static_cast<std::size_t>(i) < s.size(); ++i)
        c = (c << 6) | (static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) & 0x3F);
    return c;
}

// The end of count characters from position from (1..length), stopping at the end; a count near
// the 64-bit limit must not overflow.
std::int64_t LastChar(std::int64_t length, std::int64_t from, std::int64_t count) {
    return count >= length - (from - 1) ? length : from - 1 + count;
}

// Copy(s, from, count) on characters: from below 1 counts from 1, counts past the end stop there.
std::string CopyChars(std::string_view s, std::int64_t from, std::int64_t count) {
    const std::vector<std::size_t> offsets = CharOffsets(s);
    const auto length = static_cast<std::int64_t>(offsets.size()) - 1;
    if (from < 1) from = 1;
    if (from > length || count <= 0) return {};
    const std::int64_t last = LastChar(length, from, count);
    const std::size_t begin = offsets[static_cast<std::size_t>(from - 1)];
    return std::string(s.substr(begin, offsets[static_cast<std::size_t>(last)] - begin));
}

// Delete(s, from, count): nothing outside 1..length or for a count below 1.
std::string DeleteChars(std::string s, std::int64_t from, std::int64_t count) {
    const std::vector<std::size_t> offsets = CharOffsets(s);
    const auto length = static_cast<std::int64_t>(offsets.size()) - 1;
    if (from < 1 || from > length || count <= 0) return s;
    const std::int64_t last = LastChar(length, from, count);
    const std::size_t begin = offsets[static_cast<std::size_t>(from - 1)];
    s.erase(begin, offsets[static_cast<std::size_t>(last)] - begin);
    return s;
}

// Insert(sub, s, pos): a position below 1 inserts at the start, past the end appends.
std::string InsertChars(std::string_view sub, std::string s, std::int64_t pos) {
    const std::vector<std::size_t> offsets = CharOffsets(s);
    const auto length = static_cast<std::int64_t>(offsets.size()) - 1;
    pos = std::clamp<std::int64_t>(pos, 1, length + 1);
    s.insert(offsets[static_cast<std::size_t>(pos - 1)], sub);
    return s;
}

std::int64_t PosChars(std::string_view sub, std::string_view s) {
    if (sub.empty()) return 0;
    const std::size_t at = s.find(sub);
    if (at == std::string_view::npos) return 0;
    return static_cast<std::int64_t>(Utf8Length(s.substr(0, at))) + 1;
}

std::string NameCase(std::string_view text) {
    const std::string lower = AnsiLowerCase(text);
    std::string out;
    out.reserve(lower.size());
    std::size_t index = 0; // 0-based character index
    bool upperNext = true;
    for (std::size_t pos = 0; pos < lower.size(); ++index) {
        const std::size_t next = NextChar(lower, pos);
        const std::string_view ch = std::string_view(lower).substr(pos, next - pos);
        out += upperNext ? AnsiUpperCase(ch) : std::string(ch);
        // Only a blank from the second character on starts a new word.
        upperNext = ch == " " && index >= 1;
        pos = next;
    }
    return out;
}

// SetLength on text: cut, or extend with blanks.
std::string SetLengthChars(std::string s, std::int64_t length) {
    if (length <= 0) return {};
    const std::vector<std::size_t> offsets = CharOffsets(s);
    const auto have = static_cast<std::int64_t>(offsets.size()) - 1;
    if (length <= have) {
        s.resize(offsets[static_cast<std::size_t>(length)]);
    } else {
        // The limit keeps a mistaken length from eating the memory.
        constexpr std::int64_t kMaxText = 256 * 1024 * 1024;
        if (length - have > kMaxText) throw EOutOfMemory("Out of memory");
        s.append(static_cast<std::size_t>(length - have), ' ');
    }
    return s;
}

// ---- formatting with a Variant array ------------------------------------------------------------

// ---- edit masks ---------------------------------------------------------------------------------

struct MaskElement {
    bool literal = false;
    std::string text; // the literal's text
};

struct ParsedMask {
    std::vector<MaskElement> elements;
    bool saveLiterals = true;
    bool reverse = false;
};

ParsedMask ParseEditMask(std::string_view editMask) {
    // The fields after the mask: ";save;blank", separated by unescaped semicolons.
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < editMask.size(); ++i) {
        if (editMask[i] == '\\') {
            ++i;
        } else if (editMask[i] == ';') {
            fields.push_back(editMask.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(editMask.substr(start));

    ParsedMask parsed;
    if (fields.size() > 1 && !fields[1].empty()) parsed.saveLiterals = fields[1][0] != '0';
    const std::string_view mask = fields[0];
    const TFormatSettings& fs = FormatSettings();
    for (std::size_t pos = 0; pos < mask.size();) {
        const std::size_t next = NextChar(mask, pos);
        const char c = mask[pos];
        if (next - pos == 1) {
            switch (c) {
            case '!':
                parsed.reverse = true;
                pos = next;
                continue;
            case '>':
            case '<':
                pos = next;
                continue;
            case '\\':
                if (next < mask.size()) {
                    const std::size_t after = NextChar(mask, next);
                    parsed.elements.push_back({true, std::string(mask.substr(next, after - next))});
                    pos = after;
                } else {
                    pos = next;
                }
                continue;
            case 'L':
            case 'l':
            case 'A':
            case 'a':
            case 'C':
            case 'c':
            case '0':
            case '9':
            case '#':
                parsed.elements.push_back({false, {}});
                pos = next;
                continue;
            case ':':
                parsed.elements.push_back({true, std::string(1, fs.TimeSeparator)});
                pos = next;
                continue;
            case '/':
                parsed.elements.push_back({true, std::string(1, fs.DateSeparator)});
                pos = next;
                continue;
            case '_':
                parsed.elements.push_back({true, " "});
                pos = next;
                continue;
            default:
                break;
            }
        }
        parsed.elements.push_back({true, std::string(mask.substr(pos, next - pos))});
        pos = next;
    }
    return parsed;
}

std::vector<std::string> SplitChars(std::string_view s) {
    std::vector<std::string> chars;
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t next = NextChar(s, pos);
        chars.emplace_back(s.substr(pos, next - pos));
        pos = next;
    }
    return chars;
}

// ---- the random generator
// -------------------------------------------------------------------------

std::mt19937_64& Generator() {
    static std::mt19937_64 generator(0);
    return generator;
}

TksShowMessageHandler& ShowMessageHandler() {
    static TksShowMessageHandler handler;
    return handler;
}

void CheckFinite(double value) {
    if (std::isnan(value)) throw EInvalidOp("Invalid floating point operation");
    if (std::isinf(value)) throw EOverflow("Floating point overflow");
}

// Round and Trunc answer a 32-bit integer: the low half of the 64-bit value.
// Round and Trunc keep all 64 bits: a value beyond 32 bits is not cut to its low half.
Variant WholeNumber(std::int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int>(value));
    return Variant(static_cast<long long>(value));
}

} // namespace

// ---- public helpers
// -------------------------------------------------------------------------------

std::string ksFormatVariants(std::string_view format, const Variant& args) {
    const std::vector<TFormatArg> converted = VariantsToVarRecs(args);
    return Format(format, std::span<const TFormatArg>(converted));
}

std::string FormatMaskText(std::string_view editMask, std::string_view value) {
    const ParsedMask mask = ParseEditMask(editMask);
    const std::vector<std::string> chars = SplitChars(value);
    std::string out;
    if (mask.saveLiterals) {
        // The value holds the literals: take them where they stand, insert them where not.
        std::size_t vi = 0;
        for (const MaskElement& e : mask.elements) {
            if (e.literal) {
                out += e.text;
                if (vi < chars.size() && chars[vi] == e.text) ++vi;
            } else {
                out += vi < chars.size() ? chars[vi++] : std::string(" ");
            }
        }
        for (; vi < chars.size(); ++vi)
            out += chars[vi];
        return out;
    }
    if (!mask.reverse) {
        std::size_t vi = 0;
        for (const MaskElement& e : mask.elements) {
            if (e.literal)
                out += e.text;
            else
                out += vi < chars.size() ? chars[vi++] : std::string(" ");
        }
        for (; vi < chars.size(); ++vi)
            out += chars[vi];
        return out;
    }
    // Right-aligned: the value fills the last positions; blanks come first.
    std::vector<std::string> parts;
    std::size_t vi = chars.size();
    for (auto it = mask.elements.rbegin(); it != mask.elements.rend(); ++it) {
        if (it->literal)
            parts.push_back(it->text);
        else
            parts.push_back(vi > 0 ? chars[--vi] : std::string(" "));
    }
    for (std::size_t i = 0; i < vi; ++i)
        out += chars[i];
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        out += *it;
    return out;
}

TksShowMessageHandler ksSetShowMessageHandler(TksShowMessageHandler handler) {
    return std::exchange(ShowMessageHandler(), std::move(handler));
}

void ksRegisterSysFunctions() {
    ksRegisterHostModule(
        kModuleName,
        [](TksScript* script) { return std::unique_ptr<TksRTTIModule>(new TksSysFunctions(script)); },
        true);
}

void ksUnregisterSysFunctions() {
    ksUnregisterHostModule(kModuleName);
}

// ---- the module
// -----------------------------------------------------------------------------------

TksSysFunctions::TksSysFunctions(TksScript* script) : TksRTTIModule(script) {
    TksScript& s = *script;
    const std::pair<const char*, TksVarType> types[] = {
        {"Byte", kvtInt},        {"Word", kvtInt},       {"Integer", kvtInt},
        {"Longint", kvtInt},     {"Cardinal", kvtInt},   {"TColor", kvtInt},
        {"Boolean", kvtBool},    {"Real", kvtFloat},     {"Single", kvtFloat},
        {"Double", kvtFloat},    {"Extended", kvtFloat}, {"Currency", kvtFloat},
        {"TDate", kvtFloat},     {"TTime", kvtFloat},    {"TDateTime", kvtFloat},
        {"Char", kvtChar},       {"String", kvtString},  {"Variant", kvtVariant},
        {"Pointer", kvtVariant}, {"Array", kvtArray},    {"Constructor", kvtConstructor},
    };
    for (const auto& [name, type] : types)
        s.AddType(name, type);

    s.AddConst("True", "Boolean", Variant(true));
    s.AddConst("False", "Boolean", Variant(false));
    s.AddConst("nil", "Variant", Variant(0));
    s.AddConst("Null", "Variant", Variant::Null());

    s.AddItem("__StringHelper", std::make_unique<TksStringHelper>());
    s.AddItem("__ArrayHelper",
              std::make_unique<TksArrayHelper>("__ArrayHelper", "", kvtVariant, -1));

    s.AddVariable("ExceptionClassName", "String", Variant(std::string()));
    s.AddVariable("ExceptionMessage", "String", Variant(std::string()));

    auto bind = [this](Variant (TksSysFunctions::*fn)(const std::string&, TksMethodHelper&)) {
        return [this, fn](TObject*, const TClassInfo*, const std::string& name,
                          TksMethodHelper& caller) { return (this->*fn)(name, caller); };
    };
    const TksMethodCallback conv = bind(&TksSysFunctions::CallConv);
    const TksMethodCallback format = bind(&TksSysFunctions::CallFormat);
    const TksMethodCallback date = bind(&TksSysFunctions::CallDate);
    const TksMethodCallback str = bind(&TksSysFunctions::CallString);
    const TksMethodCallback math = bind(&TksSysFunctions::CallMath);
    const TksMethodCallback other = bind(&TksSysFunctions::CallOther);

    s.AddMethod("function IntToStr(i: Integer): String", conv, ctConv);
    s.AddMethod("function FloatToStr(e: Extended): String", conv, ctConv);
    s.AddMethod("function DateToStr(e: Extended): String", conv, ctConv);
    s.AddMethod("function TimeToStr(e: Extended): String", conv, ctConv);
    s.AddMethod("function DateTimeToStr(e: Extended): String", conv, ctConv);
    s.AddMethod("function VarToStr(v: Variant): String", other, ctConv);
    s.AddMethod("function StrToInt(s: String): Integer", conv, ctConv);
    s.AddMethod("function StrToInt64(s: String): Integer", conv, ctConv);
    s.AddMethod("function StrToFloat(s: String): Extended", conv, ctConv);
    s.AddMethod("function StrToDate(s: String): Extended", conv, ctConv);
    s.AddMethod("function StrToTime(s: String): Extended", conv, ctConv);
    s.AddMethod("function StrToDateTime(s: String): Extended", conv, ctConv);

    s.AddMethod("function Format(Fmt: String; Args: array): String", format, ctFormat);
    s.AddMethod("function FormatFloat(Fmt: String; Value: Extended): String", format, ctFormat);
    s.AddMethod("function FormatDateTime(Fmt: String; DateTime: TDateTime): String", format,
                ctFormat);
    s.AddMethod("function FormatMaskText(EditMask: string; Value: string): string", format,
                ctFormat);

    s.AddMethod("function EncodeDate(Year, Month, Day: Word): TDateTime", date, ctDate);
    s.AddMethod("function EncodeTime(Hour, Min, Sec, MSec: Word): TDateTime", date, ctDate);
    s.AddMethod("procedure DecodeDate(Date: TDateTime; var Year, Month, Day: Word)", date, ctDate);
    s.AddMethod("procedure DecodeTime(Time: TDateTime; var Hour, Min, Sec, MSec: Word)", date,
                ctDate);
    s.AddMethod("function Date: TDateTime", date, ctDate);
    s.AddMethod("function Time: TDateTime", date, ctDate);
    s.AddMethod("function Now: TDateTime", date, ctDate);
    s.AddMethod("function DayOfWeek(aDate: TDateTime): Integer", date, ctDate);
    s.AddMethod("function IsLeapYear(Year: Word): Boolean", date, ctDate);
    s.AddMethod("function DaysInMonth(nYear, nMonth: Integer): Integer", date, ctDate);

    s.AddMethod("function Length(s: Variant): Integer", str, ctString);
    s.AddMethod("function Copy(s: String; from, count: Integer): String", str, ctString);
    s.AddMethod("function Pos(substr, s: String): Integer", str, ctString);
    s.AddMethod("function Trim(s: String): String", str, ctString);
    s.AddMethod("procedure Delete(var s: String; from, count: Integer)", str, ctString);
    s.AddMethod("procedure DeleteStr(var s: String; from, count: Integer)", str, ctString);
    s.AddMethod("procedure Insert(s: String; var s2: String; pos: Integer)", str, ctString);
    s.AddMethod("function Uppercase(s: String): String", str, ctString);
    s.AddMethod("function Lowercase(s: String): String", str, ctString);
    s.AddMethod("function NameCase(s: String): String", str, ctString);
    s.AddMethod("function CompareText(s, s1: String): Integer", str, ctString);
    s.AddMethod("function Chr(i: Integer): Char", str, ctString);
    s.AddMethod("function Ord(ch: Char): Integer", str, ctString);
    s.AddMethod("procedure SetLength(var S: Variant; L: Integer)", str, ctString);

    s.AddMethod("function Round(e: Extended): Integer", math, ctMath);
    s.AddMethod("function Trunc(e: Extended): Integer", math, ctMath);
    s.AddMethod("function Int(e: Extended): Integer", math, ctMath);
    s.AddMethod("function Frac(X: Extended): Extended", math, ctMath);
    s.AddMethod("function Sqrt(e: Extended): Extended", math, ctMath);
    s.AddMethod("function Abs(e: Extended): Extended", math, ctMath);
    s.AddMethod("function Sin(e: Extended): Extended", math, ctMath);
    s.AddMethod("function Cos(e: Extended): Extended", math, ctMath);
    s.AddMethod("function ArcTan(X: Extended): Extended", math, ctMath);
    s.AddMethod("function Exp(X: Extended): Extended", math, ctMath);
    s.AddMethod("function Ln(X: Extended): Extended", math, ctMath);
    s.AddMethod("function Tan(X: Extended): Extended", math, ctMath);
    s.AddMethod("function Pi: Extended", math, ctMath);

    s.AddMethod("procedure Inc(var i: Integer; incr: Integer = 1)", other, ctOther);
    s.AddMethod("procedure Dec(var i: Integer; decr: Integer = 1)", other, ctOther);
    s.AddMethod("procedure RaiseException(Param: String)", other, ctOther);
    s.AddMethod("procedure ShowMessage(Msg: Variant)", other, ctOther);
    s.AddMethod("procedure Randomize", other, ctOther);
    s.AddMethod("function Random: Extended", other, ctOther);
    s.AddMethod("function ValidInt(cInt: String): Boolean", other, ctOther);
    s.AddMethod("function ValidFloat(cFlt: String): Boolean", other, ctOther);
    s.AddMethod("function ValidDate(cDate: String): Boolean", other, ctOther);
    s.AddMethod("function CreateOleObject(ClassName: String): Variant", other, ctOther);
    s.AddMethod("function VarArrayCreate(Bounds: Array; Typ: Integer): Variant", other, ctOther);
    s.AddMethod("function VarType(V: Variant): Integer", other, ctOther);

    const std::pair<const char*, int> codes[] = {
        {"varEmpty", varEmpty},       {"varNull", varNull},         {"varSmallint", varSmallint},
        {"varInteger", varInteger},   {"varSingle", varSingle},     {"varDouble", varDouble},
        {"varCurrency", varCurrency}, {"varDate", varDate},         {"varOleStr", varOleStr},
        {"varDispatch", varDispatch}, {"varError", varError},       {"varBoolean", varBoolean},
        {"varVariant", varVariant},   {"varUnknown", varUnknown},   {"varShortInt", varShortInt},
        {"varByte", varByte},         {"varWord", varWord},         {"varLongWord", varLongWord},
        {"varInt64", varInt64},       {"varStrArg", varStrArg},     {"varString", varString},
        {"varAny", varAny},           {"varTypeMask", varTypeMask}, {"varArray", varArray},
        {"varByRef", varByRef},
    };
    for (const auto& [name, value] : codes)
        s.AddConst(name, "Integer", Variant(value));
}

Variant TksSysFunctions::CallConv(const std::string& name, TksMethodHelper& caller) {
    const Variant arg = caller.Params(0);
    if (name == "INTTOSTR") return Variant(IntToStr(arg.AsInt64()));
    if (name == "FLOATTOSTR") return Variant(FloatToStr(arg.AsDouble()));
    if (name == "DATETOSTR") return Variant(DateToStr(arg.AsDouble()));
    if (name == "TIMETOSTR") return Variant(TimeToStr(arg.AsDouble()));
    if (name == "DATETIMETOSTR") return Variant(DateTimeToStr(arg.AsDouble()));
    if (name == "STRTOINT") return Variant(StrToInt(VarToStr(arg)));
    if (name == "STRTOINT64") return Variant(static_cast<long long>(StrToInt64(VarToStr(arg))));
    if (name == "STRTOFLOAT") return Variant(StrToFloat(VarToStr(arg)));
    if (name == "STRTODATE") return Variant::FromDate(StrToDate(VarToStr(arg)));
    if (name == "STRTOTIME") return Variant::FromDate(StrToTime(VarToStr(arg)));
    if (name == "STRTODATETIME") return Variant::FromDate(StrToDateTime(VarToStr(arg)));
    return Variant(0);
}

Variant TksSysFunctions::CallFormat(const std::string& name, TksMethodHelper& caller) {
    const std::string fmt = VarToStr(caller.Params(0));
    if (name == "FORMAT") return Variant(ksFormatVariants(fmt, caller.Params(1)));
    if (name == "FORMATFLOAT") return Variant(FormatFloat(fmt, caller.Params(1).AsDouble()));
    if (name == "FORMATDATETIME") return Variant(FormatDateTime(fmt, caller.Params(1).AsDate()));
    if (name == "FORMATMASKTEXT") return Variant(FormatMaskText(fmt, VarToStr(caller.Params(1))));
    return Variant(0);
}

Variant TksSysFunctions::CallDate(const std::string& name, TksMethodHelper& caller) {
    if (name == "ENCODEDATE")
        return Variant::FromDate(EncodeDate(caller.Params(0).AsInteger(),
                                            caller.Params(1).AsInteger(),
                                            caller.Params(2).AsInteger()));
    if (name == "ENCODETIME")
        return Variant::FromDate(
            EncodeTime(caller.Params(0).AsInteger(), caller.Params(1).AsInteger(),
                       caller.Params(2).AsInteger(), caller.Params(3).AsInteger()));
    if (name == "DECODEDATE") {
        int y = 0, m = 0, d = 0;
        DecodeDate(caller.Params(0).AsDate(), y, m, d);
        caller.SetParams(1, Variant(y));
        caller.SetParams(2, Variant(m));
        caller.SetParams(3, Variant(d));
        return Variant(0);
    }
    if (name == "DECODETIME") {
        int h = 0, n = 0, s = 0, ms = 0;
        DecodeTime(caller.Params(0).AsDate(), h, n, s, ms);
        caller.SetParams(1, Variant(h));
        caller.SetParams(2, Variant(n));
        caller.SetParams(3, Variant(s));
        caller.SetParams(4, Variant(ms));
        return Variant(0);
    }
    if (name == "DATE") return Variant::FromDate(Date());
    if (name == "TIME") return Variant::FromDate(Time());
    if (name == "NOW") return Variant::FromDate(Now());
    if (name == "DAYOFWEEK") return Variant(DayOfWeek(caller.Params(0).AsDate()));
    if (name == "ISLEAPYEAR") return Variant(IsLeapYear(caller.Params(0).AsInteger()));
    if (name == "DAYSINMONTH") {
        const int month = caller.Params(1).AsInteger();
        if (month < 1 || month > 12) throw EConvertError("Invalid month: " + std::to_string(month));
        return Variant(DaysInMonth(caller.Params(0).AsInteger(), month));
    }
    return Variant(0);
}

Variant TksSysFunctions::CallString(const std::string& name, TksMethodHelper& caller) {
    if (name == "LENGTH") {
        const Variant v = caller.Params(0);
        if (v.IsArray()) return Variant(VarArrayHighBound(v, 1) - VarArrayLowBound(v, 1) + 1);
        return Variant(static_cast<int>(Utf8Length(VarToStr(v))));
    }
    if (name == "COPY")
        return Variant(CopyChars(VarToStr(caller.Params(0)), caller.Params(1).AsInt64(),
                                 caller.Params(2).AsInt64()));
    if (name == "POS")
        return Variant(
            static_cast<int>(PosChars(VarToStr(caller.Params(0)), VarToStr(caller.Params(1)))));
    if (name == "DELETE" || name == "DELETESTR") {
        caller.SetParams(0,
                         Variant(DeleteChars(VarToStr(caller.Params(0)), caller.Params(1).AsInt64(),
                                             caller.Params(2).AsInt64())));
        return Variant(0);
    }
    if (name == "INSERT") {
        caller.SetParams(1,
                         Variant(InsertChars(VarToStr(caller.Params(0)), VarToStr(caller.Params(1)),
                                             caller.Params(2).AsInt64())));
        return Variant(0);
    }
    if (name == "UPPERCASE") return Variant(AnsiUpperCase(VarToStr(caller.Params(0))));
    if (name == "LOWERCASE") return Variant(AnsiLowerCase(VarToStr(caller.Params(0))));
    if (name == "TRIM") return Variant(Trim(VarToStr(caller.Params(0))));
    if (name == "NAMECASE") return Variant(NameCase(VarToStr(caller.Params(0))));
    if (name == "COMPARETEXT")
        return Variant(AnsiCompareText(VarToStr(caller.Params(0)), VarToStr(caller.Params(1))));
    if (name == "CHR")
        return Variant(Utf16ToUtf8(
            std::u16string(1, static_cast<char16_t>(caller.Params(0).AsInt64() & 0xFF))));
    if (name == "ORD") {
        const std::string text = VarToStr(caller.Params(0));
        if (text.empty()) throw EConvertError("Ord of an empty text");
        return Variant(static_cast<int>(DecodeFirst(text)));
    }
    if (name == "SETLENGTH") {
        Variant v = caller.Params(0);
        const std::int64_t length = caller.Params(1).AsInt64();
        if (v.IsString()) {
            caller.SetParams(0, Variant(SetLengthChars(v.StringValue(), length)));
        } else {
            VarArrayRedim(v, static_cast<int>(std::clamp<std::int64_t>(length, 0, INT32_MAX) - 1));
            caller.SetParams(0, v);
        }
        return Variant(0);
    }
    return Variant(0);
}

Variant TksSysFunctions::CallMath(const std::string& name, TksMethodHelper& caller) {
    if (name == "PI") return Variant(3.1415926535897932385);
    const double x = caller.Params(0).AsDouble();
    if (name == "ROUND") return WholeNumber(Round(x));
    if (name == "TRUNC") return WholeNumber(Trunc(x));
    if (name == "INT") return Variant(std::trunc(x));
    if (name == "FRAC") return Variant(x - std::trunc(x));
    if (name == "ABS") return Variant(std::fabs(x));
    if (name == "SIN") return Variant(std::sin(x));
    if (name == "COS") return Variant(std::cos(x));
    if (name == "ARCTAN") return Variant(std::atan(x));
    if (name == "TAN") return Variant(std::sin(x) / std::cos(x));
    if (name == "SQRT") {
        if (x < 0) throw EInvalidOp("Invalid floating point operation");
        return Variant(std::sqrt(x));
    }
    if (name == "EXP") {
        const double r = std::exp(x);
        CheckFinite(r);
        return Variant(r);
    }
    if (name == "LN") {
        if (x == 0) throw EZeroDivide("Floating point division by zero");
        if (x < 0) throw EInvalidOp("Invalid floating point operation");
        return Variant(std::log(x));
    }
    return Variant(0);
}

Variant TksSysFunctions::CallOther(const std::string& name, TksMethodHelper& caller) {
    if (name == "INC" || name == "DEC") {
        Variant step = caller.Params(1);
        if (step.IsNull() || step.IsEmpty()) step = Variant(1);
        const Variant value = caller.Params(0);
        caller.SetParams(0, name == "INC" ? VarAdd(value, step) : VarSub(value, step));
        return Variant(0);
    }
    if (name == "VARTOSTR") return Variant(VarToStr(caller.Params(0)));
    if (name == "RAISEEXCEPTION") throw Exception(VarToStr(caller.Params(0)));
    if (name == "SHOWMESSAGE") {
        const std::string text = VarToStr(caller.Params(0));
        if (const TksShowMessageHandler& handler = ShowMessageHandler()) {
            handler(text);
        } else {
            std::fputs(text.c_str(), stderr);
            std::fputc('\n', stderr);
        }
        return Variant(0);
    }
    if (name == "RANDOMIZE") {
        Generator() = std::mt19937_64(static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        return Variant(0);
    }
    if (name == "RANDOM")
        return Variant(std::uniform_real_distribution<double>(0.0, 1.0)(Generator()));
    if (name == "VALIDINT") {
        int unused = 0;
        return Variant(TryStrToInt(VarToStr(caller.Params(0)), unused));
    }
    if (name == "VALIDFLOAT") {
        double unused = 0;
        return Variant(TryStrToFloat(VarToStr(caller.Params(0)), unused));
    }
    if (name == "VALIDDATE") {
        const Variant v = caller.Params(0);
        const std::string text =
            v.Kind() == VariantKind::Date ? DateToStr(v.DoubleValue()) : VarToStr(v);
        TDateTime unused = 0;
        return Variant(TryStrToDate(text, unused));
    }
    if (name == "CREATEOLEOBJECT") return CreateOleObject(VarToStr(caller.Params(0)));
    if (name == "VARARRAYCREATE") {
        const Variant bounds = caller.Params(0);
        if (!bounds.IsArray())
            throw EVariantArrayCreateError("Error creating variant or safe array");
        std::vector<int> b;
        for (int i = VarArrayLowBound(bounds, 1); i <= VarArrayHighBound(bounds, 1); ++i)
            b.push_back(VarArrayGet(bounds, {i}).AsInteger());
        return VarArrayCreate(std::span<const int>(b), caller.Params(1).AsInteger());
    }
    if (name == "VARTYPE") return Variant(caller.Params(0).VarType());
    return Variant(0);
}
