#include "platform/core/variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "platform/core/format.h"
#include "platform/core/tests/fixed_formats.h"

// Readable failure output: kind code and text.
void PrintTo(const Variant& v, std::ostream* os) {
    *os << "VarType " << v.VarType();
    if (v.IsArray()) return;
    if (v.IsNull()) return;
    *os << " '" << v.AsString() << "'";
}

namespace {

Variant I64(long long value) { return Variant(value); }
Variant DateV(double value) { return Variant::FromDate(value); }
const Variant kNull = Variant::Null();
const Variant kEmpty;

// Class name of the Exception a call raises, "" when it returns.
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.ClassName();
    }
    return "";
}

// Fixed locale formats for every test, restored afterwards.
class VariantTest : public testing::Test {
protected:
    void SetUp() override { FormatSettings() = TFormatSettings(); }

private:
    FixedFormats restored_;
};

TEST_F(VariantTest, KindsReportTheirTypeCodes) {
    struct Row {
        Variant value;
        TVarType code;
    } rows[] = {
        {kEmpty, varEmpty},         {kNull, varNull},
        {Variant(7), varInteger},   {I64(7), varInt64},
        {Variant(2.5), varDouble},  {DateV(45356), varDate},
        {Variant(true), varBoolean}, {Variant("x"), varString},
        {Variant::FromWideString("x"), varOleStr},
        {VarArrayCreate({0, 1}, varInteger), varArray | varInteger},
        {VarArrayOf({1, "a"}), varArray | varVariant},
        {Variant(3000000000u), varInt64}, {Variant(std::size_t{5}), varInteger},
    };
    for (const Row& row : rows) EXPECT_EQ(VarType(row.value), row.code) << row.code;
    EXPECT_EQ(sizeof(Variant), 16u);
}

struct ConversionRow {
    const char* name;
    Variant input;
    TVarType to;
    Variant expected;  // ignored when error is set
    const char* error;
};

TEST_F(VariantTest, ConversionTable) {
    const ConversionRow rows[] = {
        // to Integer
        {"double half down to even", 2.5, varInteger, 2, ""},
        {"double half up to even", 3.5, varInteger, 4, ""},
        {"negative half to even", -2.5, varInteger, -2, ""},
        {"double below half", 2.4999, varInteger, 2, ""},
        {"date rounds", DateV(3.5), varInteger, 4, ""},
        {"true is -1", true, varInteger, -1, ""},
        {"false is 0", false, varInteger, 0, ""},
        {"decimal text", "42", varInteger, 42, ""},
        {"hex text", "$FF", varInteger, 255, ""},
        {"float text", "1.5", varInteger, {}, "EVariantTypeCastError"},
        {"letters", "abc", varInteger, {}, "EVariantTypeCastError"},
        {"empty is 0", kEmpty, varInteger, 0, ""},
        {"null raises", kNull, varInteger, {}, "EVariantTypeCastError"},
        {"int64 in range", I64(5), varInteger, 5, ""},
        {"int64 beyond", I64(3000000000LL), varInteger, {}, "EVariantOverflowError"},
        {"double beyond", 1e10, varInteger, {}, "EVariantOverflowError"},
        {"array", VarArrayOf({1}), varInteger, {}, "EVariantTypeCastError"},
        // to Int64
        {"big text", "9000000000", varInt64, I64(9000000000LL), ""},
        {"big double", 1e10, varInt64, I64(10000000000LL), ""},
        {"double beyond int64", 1e19, varInt64, {}, "EVariantOverflowError"},
        // to Double
        {"int exactly", 3, varDouble, 3.0, ""},
        {"int64 exactly", I64(9000000000LL), varDouble, 9e9, ""},
        {"true", true, varDouble, -1.0, ""},
        {"float text", "1.5", varDouble, 1.5, ""},
        {"exponent text", "2.5E3", varDouble, 2500.0, ""},
        {"letters", "abc", varDouble, {}, "EVariantTypeCastError"},
        {"empty", kEmpty, varDouble, 0.0, ""},
        {"null", kNull, varDouble, {}, "EVariantTypeCastError"},
        {"date", DateV(2.25), varDouble, 2.25, ""},
        // to Boolean
        {"zero", 0, varBoolean, false, ""},
        {"non-zero", 2, varBoolean, true, ""},
        {"zero double", 0.0, varBoolean, false, ""},
        {"small double", 0.1, varBoolean, true, ""},
        {"TRUE text", "TRUE", varBoolean, true, ""},
        {"false text", "false", varBoolean, false, ""},
        {"numeric text", "1", varBoolean, true, ""},
        {"zero text", "0", varBoolean, false, ""},
        {"other text", "yes", varBoolean, {}, "EVariantTypeCastError"},
        {"empty", kEmpty, varBoolean, false, ""},
        {"null", kNull, varBoolean, {}, "EVariantTypeCastError"},
        // to String
        {"int", 42, varString, "42", ""},
        {"int64", I64(-9000000000LL), varString, "-9000000000", ""},
        {"15 digits", 0.1 + 0.2, varString, "0.3", ""},
        {"large double", 1e20, varString, "1E20", ""},
        {"fraction", 2.5, varString, "2.5", ""},
        {"true", true, varString, "True", ""},
        {"false", false, varString, "False", ""},
        {"date only", DateV(45356), varString, "2024-03-05", ""},
        {"empty", kEmpty, varString, "", ""},
        {"null", kNull, varString, {}, "EVariantTypeCastError"},
        {"wide", 7, varOleStr, Variant::FromWideString("7"), ""},
        // to Date
        {"number", 45356, varDate, DateV(45356), ""},
        {"date text", "2024-03-05", varDate, DateV(45356), ""},
        {"other text", "soon", varDate, {}, "EVariantTypeCastError"},
        // narrow integer and money types
        {"byte in range", 255, varByte, 255, ""},
        {"byte beyond", 300, varByte, {}, "EVariantOverflowError"},
        {"smallint low end", -32768, varSmallint, -32768, ""},
        {"shortint beyond", -129, varShortInt, {}, "EVariantOverflowError"},
        {"longword high end", I64(4294967295LL), varLongWord, I64(4294967295LL), ""},
        {"single precision", 0.1, varSingle, static_cast<double>(0.1f), ""},
        {"currency 4 decimals", 1.23456, varCurrency, 1.2346, ""},
        {"not a value type", 1, varDispatch, {}, "EVariantBadVarTypeError"},
    };
    for (const ConversionRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " -> " + VarTypeAsText(row.to));
        if (*row.error) {
            EXPECT_EQ(ErrorOf([&] { VarAsType(row.input, row.to); }), row.error);
            continue;
        }
        Variant result = VarAsType(row.input, row.to);
        EXPECT_TRUE(VarSameValue(result, row.expected))
            << testing::PrintToString(result) << " expected " << testing::PrintToString(row.expected);
    }
}

TEST_F(VariantTest, ConversionErrorsNameBothTypes) {
    try {
        Variant("abc").AsDouble();
        FAIL() << "no error";
    } catch (const EVariantTypeCastError& e) {
        EXPECT_STREQ(e.what(), "Could not convert variant of type (String) into type (Double)");
    }
    try {
        kNull.AsInteger();
        FAIL() << "no error";
    } catch (const EVariantError& e) {
        EXPECT_STREQ(e.what(), "Could not convert variant of type (Null) into type (Integer)");
    }
    EXPECT_EQ(VarToStr(kNull), "");
    EXPECT_EQ(VarToStrDef(kNull, "n/a"), "n/a");
    EXPECT_EQ(VarToStr(12), "12");
    EXPECT_EQ(VarTypeAsText(varArray | varVariant), "Array Variant");
}

TEST_F(VariantTest, TextFollowsTheDecimalSeparatorInForce) {
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(Variant("1,5").AsDouble(), 1.5);
    EXPECT_EQ(Variant(2.5).AsString(), "2,5");
    EXPECT_TRUE(VarSameValue(Variant("1,5") + 1, 2.5));
}

struct OperatorRow {
    const char* name;
    TVarOp op;
    Variant a, b;
    Variant expected;
    const char* error;
};

TEST_F(VariantTest, OperatorTable) {
    using enum TVarOp;
    const double int64Max = 9223372036854775807.0;
    const OperatorRow rows[] = {
        {"ints", Add, 1, 2, 3, ""},
        {"int32 overflow promotes", Add, 2147483647, 1, I64(2147483648LL), ""},
        {"negative overflow promotes", Add, -2147483647 - 1, -1, I64(-2147483649LL), ""},
        {"int64 stays int64", Add, I64(5), 1, I64(6), ""},
        {"int64 overflow to double", Add, I64(9223372036854775807LL), 1, int64Max + 1, ""},
        {"int and double", Add, 1, 0.5, 1.5, ""},
        {"numeric text with int", Add, "3", 2, 5.0, ""},
        {"letters with int", Add, "a", 2, {}, "EVariantTypeCastError"},
        {"two strings concatenate", Add, "ab", "cd", "abcd", ""},
        {"wide wins", Add, "a", Variant::FromWideString("b"), Variant::FromWideString("ab"), ""},
        {"empty as zero", Add, kEmpty, 1, 1, ""},
        {"empty as empty text", Add, kEmpty, "x", "x", ""},
        {"empty and empty", Add, kEmpty, kEmpty, 0, ""},
        {"null propagates", Add, kNull, 1, kNull, ""},
        {"null with text", Add, "x", kNull, kNull, ""},
        {"bool counts -1", Add, true, 1, 0, ""},
        {"date plus days", Add, DateV(45356), 1, DateV(45357), ""},
        {"days plus date", Add, 0.5, DateV(45356), DateV(45356.5), ""},
        {"double overflow raises", Add, 1e308, 1e308, {}, "EOverflow"},
        {"array operand", Add, VarArrayOf({1}), 1, {}, "EVariantInvalidOpError"},

        {"date minus date", Subtract, DateV(45357), DateV(45356), 1.0, ""},
        {"date minus days", Subtract, DateV(45357.5), 1, DateV(45356.5), ""},
        {"int32 underflow promotes", Subtract, -2147483647 - 1, 1, I64(-2147483649LL), ""},
        {"letters", Subtract, 5, "abc", {}, "EVariantTypeCastError"},

        {"int32 product promotes", Multiply, 100000, 100000, I64(10000000000LL), ""},
        {"int and double", Multiply, 3, 1.5, 4.5, ""},
        {"bool counts -1", Multiply, 2, true, -2, ""},
        {"date times number is a double", Multiply, DateV(2), 2, 4.0, ""},

        {"always double", Divide, 6, 3, 2.0, ""},
        {"fraction", Divide, 7, 2, 3.5, ""},
        {"by zero", Divide, 1, 0, {}, "EZeroDivide"},
        {"by zero double", Divide, 1, 0.0, {}, "EZeroDivide"},
        {"zero by zero", Divide, 0, 0, {}, "EInvalidOp"},
        {"null", Divide, kNull, 0, kNull, ""},

        {"truncates", IntDivide, 7, 2, 3, ""},
        {"truncates toward zero", IntDivide, -7, 2, -3, ""},
        {"rounds operands", IntDivide, 7.9, 2, 4, ""},
        {"rounds half to even", IntDivide, 6.5, 2, 3, ""},
        {"by zero", IntDivide, 7, 0, {}, "EDivByZero"},
        {"by divisor rounding to zero", IntDivide, 7, 0.4, {}, "EDivByZero"},
        {"int64", IntDivide, I64(10000000000LL), 2, I64(5000000000LL), ""},
        {"numeric text", IntDivide, "7", 2, 3, ""},
        {"min int32 by -1 promotes", IntDivide, -2147483647 - 1, -1, I64(2147483648LL), ""},
        {"null", IntDivide, 7, kNull, kNull, ""},

        {"sign of dividend", Modulus, -7, 3, -1, ""},
        {"positive dividend", Modulus, 7, -3, 1, ""},
        {"by zero", Modulus, 7, 0, {}, "EDivByZero"},
        {"min int64 by -1", Modulus, I64(-9223372036854775807LL - 1), -1, I64(0), ""},

        {"bitwise and", And, 6, 3, 2, ""},
        {"bitwise or", Or, 6, 3, 7, ""},
        {"bitwise xor", Xor, 6, 3, 5, ""},
        {"logical and", And, true, false, false, ""},
        {"logical or", Or, true, false, true, ""},
        {"logical xor", Xor, true, true, false, ""},
        {"bool with int is bitwise", And, true, 1, 1, ""},
        {"double rounds", And, 2.6, 7, 3, ""},
        {"null", And, kNull, true, kNull, ""},

        {"shl", ShiftLeft, 1, 4, 16, ""},
        {"shr", ShiftRight, 256, 4, 16, ""},
        {"shr is logical", ShiftRight, -1, 28, 15, ""},
        {"shl into the sign bit", ShiftLeft, 1, 31, -2147483647 - 1, ""},
        {"int64 shl", ShiftLeft, I64(1), 40, I64(1099511627776LL), ""},

        {"eq numeric text", CmpEq, "10", 10, true, ""},
        {"gt numeric text", CmpGt, "10", 9, true, ""},
        {"gt two texts", CmpGt, "10", "9", false, ""},
        {"ordinal", CmpLt, "B", "a", true, ""},
        {"null = null", CmpEq, kNull, kNull, true, ""},
        {"null = 1", CmpEq, kNull, 1, false, ""},
        {"null < 1", CmpLt, kNull, 1, true, ""},
        {"ne", CmpNe, 1, 2, true, ""},
        {"le", CmpLe, 2, 2.0, true, ""},
        {"ge", CmpGe, 1, 2, false, ""},
    };
    for (const OperatorRow& row : rows) {
        SCOPED_TRACE(row.name);
        if (*row.error) {
            EXPECT_EQ(ErrorOf([&] { VarBinaryOp(row.op, row.a, row.b); }), row.error);
            continue;
        }
        Variant result = VarBinaryOp(row.op, row.a, row.b);
        EXPECT_TRUE(VarSameValue(result, row.expected))
            << testing::PrintToString(result) << " expected " << testing::PrintToString(row.expected);
    }
}

TEST_F(VariantTest, UnaryOperators) {
    struct Row {
        const char* name;
        TVarOp op;
        Variant a;
        Variant expected;
        const char* error;
    } rows[] = {
        {"int", TVarOp::Negate, 5, -5, ""},
        {"min int32 promotes", TVarOp::Negate, -2147483647 - 1, I64(2147483648LL), ""},
        {"numeric text", TVarOp::Negate, "3", -3.0, ""},
        {"letters", TVarOp::Negate, "abc", {}, "EVariantTypeCastError"},
        {"null", TVarOp::Negate, kNull, kNull, ""},
        {"true", TVarOp::Negate, true, 1, ""},
        {"empty", TVarOp::Negate, kEmpty, 0, ""},
        {"date", TVarOp::Negate, DateV(2), DateV(-2), ""},
        {"not bool", TVarOp::Not, true, false, ""},
        {"not int is bitwise", TVarOp::Not, 5, -6, ""},
        {"not null", TVarOp::Not, kNull, kNull, ""},
        {"not empty", TVarOp::Not, kEmpty, -1, ""},
        {"not array", TVarOp::Not, VarArrayOf({}), {}, "EVariantInvalidOpError"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (*row.error) {
            EXPECT_EQ(ErrorOf([&] { VarUnaryOp(row.op, row.a); }), row.error);
            continue;
        }
        EXPECT_TRUE(VarSameValue(VarUnaryOp(row.op, row.a), row.expected));
    }
}

TEST_F(VariantTest, ComparisonTable) {
    struct Row {
        const char* name;
        Variant a, b;
        int sign;
    } rows[] = {
        {"ints", 1, 2, -1},
        {"int and double", 2, 2.0, 0},
        {"numeric text and number", "10", 9, 1},
        {"number and numeric text", 9, "10", -1},
        {"two texts ordinally", "10", "9", -1},
        {"upper before lower", "B", "a", -1},
        {"equal texts", "abc", "abc", 0},
        {"text that is no number", "abc", 5, 1},
        {"null and null", kNull, kNull, 0},
        {"null below numbers", kNull, 1, -1},
        {"numbers above null", 1, kNull, 1},
        {"null below empty", kNull, kEmpty, -1},
        {"empty as zero", kEmpty, 0, 0},
        {"empty as empty text", kEmpty, "", 0},
        {"empty below text", kEmpty, "a", -1},
        {"empty above negatives", kEmpty, -1, 1},
        {"true is -1", true, -1, 0},
        {"true below false", true, false, -1},
        {"bool word", "true", true, 0},
        {"date and number", DateV(45356), 45356, 0},
        {"date and date text", "2024-03-05", DateV(45356), 0},
        {"int64 against double exactly", I64(9007199254740993LL), 9007199254740992.0, 1},
        {"int64 against int32", I64(-3000000000LL), 0, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int c = VarCompare(row.a, row.b);
        EXPECT_EQ((c > 0) - (c < 0), row.sign);
    }
    EXPECT_EQ(ErrorOf([] { VarCompare(VarArrayOf({1}), 1); }), "EVariantInvalidOpError");
    EXPECT_TRUE(Variant("10") > 9);
    EXPECT_FALSE(Variant("10") > Variant("9"));
}

TEST_F(VariantTest, CopiesAndMovesKeepValues) {
    Variant text("a longer text that does not fit a small buffer");
    Variant copy = text;
    Variant moved = std::move(text);
    EXPECT_TRUE(text.IsEmpty());  // NOLINT: moved-from is Empty and usable
    text = 5;
    EXPECT_EQ(copy.AsString(), moved.AsString());
    EXPECT_EQ(text.AsInteger(), 5);
    copy = copy;  // self-assignment keeps the value
    EXPECT_EQ(copy.AsString(), moved.AsString());
}


// Only a String nobody else holds grows in place; shared text and other kinds refuse unchanged.
TEST_F(VariantTest, AppendInPlaceOnlyOnUnsharedStrings) {
    Variant s(std::string("ab"));
    EXPECT_TRUE(s.AppendInPlace("cd"));
    EXPECT_TRUE(s.AppendInPlace(s.StringValue()));  // its own text
    EXPECT_EQ(s.StringValue(), "abcdabcd");

    Variant copy = s;
    EXPECT_FALSE(s.AppendInPlace("x"));
    EXPECT_FALSE(copy.AppendInPlace("x"));
    EXPECT_EQ(copy.StringValue(), "abcdabcd");
    copy = Variant();
    EXPECT_TRUE(s.AppendInPlace("x"));
    EXPECT_EQ(s.StringValue(), "abcdabcdx");

    Variant wide = Variant::FromWideString("w");
    EXPECT_TRUE(wide.AppendInPlace("v"));
    EXPECT_TRUE(wide.IsWideString());
    for (Variant other : {Variant(), Variant::Null(), Variant(5), Variant(1.5)}) {
        EXPECT_FALSE(other.AppendInPlace("x"));
        EXPECT_FALSE(other.IsString());
    }
}
TEST_F(VariantTest, ArraysHaveBoundsAndDefaultElements) {
    Variant a = VarArrayCreate({1, 2, 0, 2}, varInteger);
    EXPECT_EQ(VarArrayDimCount(a), 2);
    EXPECT_EQ(VarArrayLowBound(a, 1), 1);
    EXPECT_EQ(VarArrayHighBound(a, 1), 2);
    EXPECT_EQ(VarArrayLowBound(a, 2), 0);
    EXPECT_EQ(VarArrayHighBound(a, 2), 2);
    EXPECT_TRUE(VarSameValue(VarArrayGet(a, {2, 2}), 0));
    for (int i = 1; i <= 2; ++i)
        for (int j = 0; j <= 2; ++j) VarArrayPut(a, i * 10 + j, {i, j});
    for (int i = 1; i <= 2; ++i)
        for (int j = 0; j <= 2; ++j) EXPECT_EQ(VarArrayGet(a, {i, j}).AsInteger(), i * 10 + j);

    EXPECT_TRUE(VarSameValue(VarArrayGet(VarArrayCreate({0, 0}, varOleStr), {0}),
                             Variant::FromWideString("")));
    EXPECT_TRUE(VarArrayGet(VarArrayCreate({0, 0}, varVariant), {0}).IsEmpty());
    EXPECT_EQ(VarArrayHighBound(VarArrayCreate({5, 4}, varVariant), 1), 4);  // no elements
}

TEST_F(VariantTest, ArrayPutConvertsToTheElementType) {
    Variant ints = VarArrayCreate({0, 1}, varInteger);
    VarArrayPut(ints, "42", {0});
    VarArrayPut(ints, 2.5, {1});
    EXPECT_TRUE(VarSameValue(VarArrayGet(ints, {0}), 42));
    EXPECT_TRUE(VarSameValue(VarArrayGet(ints, {1}), 2));
    EXPECT_EQ(ErrorOf([&] { VarArrayPut(ints, "abc", {0}); }), "EVariantTypeCastError");
    EXPECT_TRUE(VarSameValue(VarArrayGet(ints, {0}), 42));  // a failed put changes nothing

    Variant any = VarArrayCreate({0, 1}, varVariant);
    VarArrayPut(any, "42", {0});
    EXPECT_TRUE(VarSameValue(VarArrayGet(any, {0}), "42"));
    Variant bytes = VarArrayCreate({0, 0}, varByte);
    EXPECT_EQ(ErrorOf([&] { VarArrayPut(bytes, 256, {0}); }), "EVariantOverflowError");
}

TEST_F(VariantTest, CopyingAnArrayCopiesTheValue) {
    Variant original = VarArrayOf({1, "two", 3.0});
    Variant copy = original;
    VarArrayPut(copy, "changed", {1});
    VarArrayRedim(copy, 5);
    EXPECT_TRUE(VarSameValue(VarArrayGet(original, {1}), "two"));
    EXPECT_EQ(VarArrayHighBound(original, 1), 2);
    EXPECT_TRUE(VarSameValue(VarArrayGet(copy, {1}), "changed"));

    // An array put into itself holds the old value, not a cycle (LeakSanitizer would see one).
    Variant nest = VarArrayOf({1, 2});
    VarArrayPut(nest, nest, {0});
    Variant inner = VarArrayGet(nest, {0});
    EXPECT_TRUE(VarSameValue(VarArrayGet(inner, {0}), 1));
    EXPECT_TRUE(VarArrayGet(nest, {0}).IsArray());
}

TEST_F(VariantTest, ArrayIndexAndBoundsErrors) {
    Variant a = VarArrayCreate({1, 3}, varDouble);
    struct Row {
        const char* name;
        std::function<void()> call;
        const char* error;
    } rows[] = {
        {"below low", [&] { VarArrayGet(a, {0}); }, "EVariantBadIndexError"},
        {"above high", [&] { VarArrayPut(a, 1, {4}); }, "EVariantBadIndexError"},
        {"index count", [&] { VarArrayGet(a, {1, 1}); }, "EVariantBadIndexError"},
        {"dimension", [&] { VarArrayLowBound(a, 2); }, "EVariantBadIndexError"},
        {"not an array", [] { VarArrayHighBound(Variant(1), 1); }, "EVariantNotAnArrayError"},
        {"element type", [] { VarArrayCreate({0, 1}, varNull); }, "EVariantBadVarTypeError"},
        {"odd bounds", [] { VarArrayCreate({0, 1, 2}, varInteger); }, "EVariantArrayCreateError"},
        {"inverted bounds", [] { VarArrayCreate({3, 1}, varInteger); }, "EVariantArrayCreateError"},
        {"too large", [] { VarArrayCreate({0, 99999, 0, 99999}, varByte); }, "EVariantArrayCreateError"},
        {"redim inverted", [&] { VarArrayRedim(a, -1); }, "EVariantArrayCreateError"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ErrorOf(row.call), row.error);
    }
    EXPECT_EQ(VarArrayDimCount(Variant(1)), 0);
}

TEST_F(VariantTest, RedimChangesTheLastDimensionKeepingContents) {
    Variant a = VarArrayCreate({0, 1, 0, 1}, varInteger);
    for (int i = 0; i <= 1; ++i)
        for (int j = 0; j <= 1; ++j) VarArrayPut(a, i * 10 + j + 1, {i, j});
    VarArrayRedim(a, 3);
    EXPECT_EQ(VarArrayHighBound(a, 2), 3);
    EXPECT_EQ(VarArrayHighBound(a, 1), 1);
    for (int i = 0; i <= 1; ++i) {
        for (int j = 0; j <= 1; ++j) EXPECT_EQ(VarArrayGet(a, {i, j}).AsInteger(), i * 10 + j + 1);
        EXPECT_EQ(VarArrayGet(a, {i, 3}).AsInteger(), 0);
    }
    VarArrayRedim(a, 0);
    EXPECT_EQ(VarArrayGet(a, {1, 0}).AsInteger(), 11);
    EXPECT_EQ(ErrorOf([&] { VarArrayGet(a, {1, 1}); }), "EVariantBadIndexError");
}

}  // namespace
