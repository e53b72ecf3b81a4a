// The built-in library: registrations, the value tables of the functions, and their errors.
#include "script/sys_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/core/date_time.h"
#include "script/automation.h"
#include "script/tests/binding_fixture.h"

namespace {

class SysFunctionsTest : public BindingFixture {};

struct ValueCase {
    const char* expression;
    Variant expected;
};

TEST_F(SysFunctionsTest, RegistersTypesConstantsHelpersAndCategories) {
    const std::pair<const char*, TksVarType> types[] = {
        {"Byte", kvtInt},
        {"Cardinal", kvtInt},
        {"TColor", kvtInt},
        {"Boolean", kvtBool},
        {"Currency", kvtFloat},
        {"TDateTime", kvtFloat},
        {"Char", kvtChar},
        {"String", kvtString},
        {"Pointer", kvtVariant},
        {"Array", kvtArray},
        {"Constructor", kvtConstructor},
    };
    for (const auto& [name, type] : types) {
        auto* item = dynamic_cast<TksTypeVariable*>(script.Find(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(item->VarType, type) << name;
    }
    const std::pair<const char*, int> codes[] = {
        {"varEmpty", 0},   {"varDispatch", 9}, {"varShortInt", 16},   {"varInt64", 20},
        {"varStrArg", 72}, {"varString", 256}, {"varTypeMask", 4095}, {"varByRef", 16384},
    };
    for (const auto& [name, value] : codes) {
        TksCustomVariable* item = script.Find(name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->ReadOnly) << name;
        EXPECT_EQ(item->Value.AsInteger(), value) << name;
    }
    EXPECT_TRUE(script.Find("Null")->Value.IsNull());
    EXPECT_EQ(script.Find("nil")->Value.Kind(), VariantKind::Int32);
    EXPECT_NE(dynamic_cast<TksStringHelper*>(script.Find("__StringHelper")), nullptr);
    EXPECT_NE(dynamic_cast<TksArrayHelper*>(script.Find("__ArrayHelper")), nullptr);
    EXPECT_FALSE(script.Find("ExceptionMessage")->ReadOnly);

    std::map<std::string, int> perCategory;
    for (int i = 0; i < script.ItemCount(); ++i)
        if (auto* m = dynamic_cast<TksMethodHelper*>(script.ItemAt(i)))
            if (m->Name() != "WriteLn") ++perCategory[m->Category];
    const std::map<std::string, int> expected = {{"ctConv", 12}, {"ctFormat", 4},
                                                 {"ctDate", 10}, {"ctString", 14},
                                                 {"ctMath", 13}, {"ctOther", 12}};
    EXPECT_EQ(perCategory, expected);
    EXPECT_EQ(static_cast<TksMethodHelper*>(script.Find("VarToStr"))->Category, "ctConv");
    EXPECT_EQ(static_cast<TksMethodHelper*>(script.Find("Round"))->Description, "Round");
}

TEST_F(SysFunctionsTest, ValueTable) {
    script.SetVariable("D", Variant::FromDate(EncodeDate(2024, 1, 1)));
    const ValueCase cases[] = {
        // conversions
        {"IntToStr(1099511627776)", Variant("1099511627776")},
        {"IntToStr(-7)", Variant("-7")},
        {"FloatToStr(0.1 + 0.2)", Variant("0.3")},
        {"StrToInt('$1F')", Variant(31)},
        {"StrToInt64('9999999999')", Variant(9999999999LL)},
        {"StrToFloat('1.5')", Variant(1.5)},
        {"StrToDate('2024-02-29')", Variant::FromDate(EncodeDate(2024, 2, 29))},
        {"DateToStr(EncodeDate(2024, 2, 29))", Variant("2024-02-29")},
        {"TimeToStr(EncodeTime(13, 5, 9, 0))", Variant("13:05:09")},
        {"VarToStr(Null)", Variant("")},
        // formats
        {"Format('%d-%s', [3, 'x'])", Variant("3-x")},
        {"Format('%d', [Null])", Variant("0")},
        {"Format('%5s|%-3d|', ['ab', 7])", Variant("   ab|7  |")},
        {"Format('%.2f', [2.5])", Variant("2.50")},
        {"FormatFloat('0.00', 3.14159)", Variant("3.14")},
        {"FormatDateTime('yyyymmdd hh:nn', EncodeDate(2024, 1, 5) + EncodeTime(8, 30, 0, 0))",
         Variant("20240105 08:30")},
        {"FormatMaskText('!(999)000-0000;0;_', '5551234567')", Variant("(555)123-4567")},
        {"FormatMaskText('(999)000-0000;1;_', '(555)1234567')", Variant("(555)123-4567")},
        {"FormatMaskText('000-000;0;_', '12')", Variant("12 -   ")},
        // dates
        {"DaysInMonth(2024, 2)", Variant(29)},
        {"DaysInMonth(2023, 2)", Variant(28)},
        {"DayOfWeek(EncodeDate(2024, 1, 7))", Variant(1)},
        {"DayOfWeek(EncodeDate(2024, 1, 13))", Variant(7)},
        {"IsLeapYear(1900)", Variant(false)},
        {"IsLeapYear(2000)", Variant(true)},
        {"EncodeDate(1899, 12, 30)", Variant::FromDate(0.0)},
        {"EncodeTime(12, 0, 0, 0)", Variant::FromDate(0.5)},
        // strings (characters, not bytes)
        {"Length('h\xC3\xA9llo')", Variant(5)},
        {"Length(12345)", Variant(5)},
        {"Length(VarArrayCreate([0, 4], varVariant))", Variant(5)},
        {"Copy('h\xC3\xA9llo', 2, 3)", Variant("\xC3\xA9ll")},
        {"Copy('abc', 0, 2)", Variant("ab")},
        {"Copy('abc', 5, 1)", Variant("")},
        {"Copy('abc', 2, 100)", Variant("bc")},
        {"Copy('abc', 2, StrToInt64('9223372036854775807'))", Variant("bc")},
        {"Pos('l', 'h\xC3\xA9llo')", Variant(3)},
        {"Pos('z', 'abc')", Variant(0)},
        {"Trim(' \t a b  ')", Variant("a b")},
        {"Uppercase('\xC3\xA4"
         "bc')",
         Variant("\xC3\x84"
                 "BC")},
        {"Lowercase('ABC')", Variant("abc")},
        {"NameCase('jOHN smITH')", Variant("John Smith")},
        {"NameCase(' john smith')", Variant(" john Smith")},
        {"CompareText('abc', 'ABC')", Variant(0)},
        {"CompareText('abc', 'ABD') < 0", Variant(true)},
        {"Chr(65)", Variant("A")},
        {"Chr(321)", Variant("A")},
        {"Chr(233)", Variant("\xC3\xA9")},
        {"Ord('A')", Variant(65)},
        {"Ord('\xC3\xA9')", Variant(233)},
        // math
        {"Round(2.5)", Variant(2)},
        {"Round(3.5)", Variant(4)},
        {"Round(-2.5)", Variant(-2)},
        {"Round(1099511627776)", Variant(1099511627776LL)},
        {"Round(1099511627777.4)", Variant(1099511627777LL)},
        {"Trunc(-2.7)", Variant(-2)},
        {"Int(2.7)", Variant(2.0)},
        {"Frac(2.75)", Variant(0.75)},
        {"Abs(-3)", Variant(3.0)},
        {"Sqrt(16)", Variant(4.0)},
        {"Tan(0)", Variant(0.0)},
        {"Ln(1)", Variant(0.0)},
        {"Exp(0)", Variant(1.0)},
        {"Pi", Variant(3.1415926535897932385)},
        // other
        {"ValidInt('12')", Variant(true)},
        {"ValidInt('12a')", Variant(false)},
        {"ValidFloat('1.5')", Variant(true)},
        {"ValidFloat('x')", Variant(false)},
        {"ValidDate(D)", Variant(true)},
        {"ValidDate('2024-13-01')", Variant(false)},
        {"VarType(1)", Variant(varInteger)},
        {"VarType('a')", Variant(varString)},
        {"VarType(Null)", Variant(varNull)},
        {"VarType(EncodeDate(2024, 1, 1))", Variant(varDate)},
        {"VarType(VarArrayCreate([0, 1], varInteger))", Variant(varArray + varInteger)},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.expression);
        Variant got;
        try {
            got = script.Evaluate(c.expression);
        } catch (const Exception& e) {
            ADD_FAILURE() << e.ClassName() << ": " << e.Message();
            continue;
        }
        EXPECT_TRUE(VarSameValue(got, c.expected))
            << "got " << VarToStr(got) << " (" << VarTypeAsText(got.VarType()) << "), expected "
            << VarToStr(c.expected) << " (" << VarTypeAsText(c.expected.VarType()) << ")";
    }
}

TEST_F(SysFunctionsTest, ErrorsAreTheConversionAndMathErrors) {
    EXPECT_THROW(script.Evaluate("StrToInt('12a')"), EConvertError);
    EXPECT_THROW(script.Evaluate("StrToFloat('x')"), EConvertError);
    EXPECT_THROW(script.Evaluate("StrToDate('2024-02-30')"), EConvertError);
    EXPECT_THROW(script.Evaluate("EncodeDate(2023, 2, 29)"), EConvertError);
    EXPECT_THROW(script.Evaluate("EncodeTime(24, 0, 0, 0)"), EConvertError);
    EXPECT_THROW(script.Evaluate("DaysInMonth(2023, 13)"), EConvertError);
    EXPECT_THROW(script.Evaluate("Ord('')"), EConvertError);
    EXPECT_THROW(script.Evaluate("Sqrt(-1)"), EInvalidOp);
    EXPECT_THROW(script.Evaluate("Ln(0)"), EZeroDivide);
    EXPECT_THROW(script.Evaluate("Ln(-1)"), EInvalidOp);
    EXPECT_THROW(script.Evaluate("Exp(1000)"), EOverflow);
    EXPECT_THROW(script.Evaluate("Round(1e300)"), EInvalidOp);
    EXPECT_THROW(script.Evaluate("Format('%d', ['x'])"), EConvertError);
    EXPECT_THROW(script.Evaluate("VarArrayCreate([0], varInteger)"), EVariantArrayCreateError);
    try {
        script.Evaluate("CreateOleObject('Excel.Application')");
        ADD_FAILURE() << "CreateOleObject did not raise";
    } catch (const EOleSysError& e) {
        EXPECT_NE(e.Message().find("Excel.Application"), std::string::npos);
        EXPECT_NE(e.Message().find("automation is not available on this system"),
                  std::string::npos);
    }
}

TEST_F(SysFunctionsTest, VarParametersAreWrittenBack) {
    EXPECT_EQ(Run(R"(
var i: Integer; s, t: String; y, m, d, h, n, sec, ms: Word; v: Variant; a: Variant;
begin
  i := 10; Inc(i); WriteLn(i); Inc(i, 5); WriteLn(i); Dec(i, 2); WriteLn(i); Dec(i); WriteLn(i);
  s := 'abcdef'; Delete(s, 2, 3); WriteLn(s);
  s := 'abcdef'; DeleteStr(s, 5, 100); WriteLn(s);
  s := 'abcdef'; Delete(s, 0, 2); WriteLn(s);
  s := 'abcdef'; Delete(s, 3, StrToInt64('9223372036854775807')); WriteLn(s);
  t := 'ad'; Insert('bc', t, 2); WriteLn(t);
  t := 'ab'; Insert('Z', t, 99); WriteLn(t);
  v := 'abcdef'; SetLength(v, 3); WriteLn(v);
  a := VarArrayCreate([0, 4], varVariant); SetLength(a, 10);
  WriteLn(Length(a)); a[9] := 9; WriteLn(a[9]);
  DecodeDate(EncodeDate(2024, 2, 29), y, m, d); WriteLn(IntToStr(y) + '/' + IntToStr(m) + '/' + IntToStr(d));
  DecodeTime(EncodeTime(13, 5, 9, 250), h, n, sec, ms); WriteLn(IntToStr(h) + ':' + IntToStr(n) + ':' + IntToStr(sec) + '.' + IntToStr(ms));
end.)"),
              "11\n16\n14\n13\naef\nabcd\nabcdef\nab\nabcd\nabZ\nabc\n10\n9\n2024/2/29\n"
              "13:5:9.250\n");
}

TEST_F(SysFunctionsTest, RaiseExceptionIsCaughtByTheScript) {
    EXPECT_EQ(Run(R"(
begin
  try
    RaiseException('bad thing');
  except
    WriteLn(ExceptionClassName + ': ' + ExceptionMessage);
  end;
  try
    StrToInt('x');
  except
    WriteLn(ExceptionClassName);
  end;
end.)"),
              "Exception: bad thing\nEConvertError\n");
}

TEST_F(SysFunctionsTest, EveryLanguageSeesTheLibrary) {
    EXPECT_EQ(Run("{ WriteLn(Copy(\"abc\", 2, 1) + IntToStr(Round(2.5))); }", "C++Script"), "b2\n");
    EXPECT_EQ(Run("WriteLn(Uppercase(\"ab\") & Format(\"%d\", [4]))", "BasicScript"), "AB4\n");
    EXPECT_EQ(Run("WriteLn(NameCase(\"ab cd\"));", "JScript"), "Ab Cd\n");
}

TEST_F(SysFunctionsTest, ShowMessageGoesToTheInstalledHandler) {
    std::vector<std::string> shown;
    TksShowMessageHandler previous =
        ksSetShowMessageHandler([&](const std::string& text) { shown.push_back(text); });
    Run("begin ShowMessage('hello'); ShowMessage(42) end.");
    ksSetShowMessageHandler(std::move(previous));
    EXPECT_EQ(shown, (std::vector<std::string>{"hello", "42"}));
}

TEST_F(SysFunctionsTest, RandomStaysInTheUnitInterval) {
    script.Evaluate("Randomize");
    for (int i = 0; i < 200; ++i) {
        const double r = script.Evaluate("Random").AsDouble();
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
    }
}

TEST_F(SysFunctionsTest, FormatTakesArgumentListsOfAnyLength) {
    std::string list;
    for (int i = 0; i < 100; ++i)
        list += (i ? ", " : "") + std::to_string(i);
    EXPECT_EQ(script.Evaluate("Format('%d %d %99:d', [" + list + "])").AsString(), "0 1 99");
    EXPECT_THROW(script.Evaluate("Format('%100:d', [" + list + "])"), EConvertError);
}

// Every built-in with arguments drawn from awkward values: each call answers or raises an
// Exception, never crashes (the sanitizer build watches memory and undefined behaviour).
TEST_F(SysFunctionsTest, RandomArgumentsGiveAnAnswerOrAnError) {
    // clang-format off
    const char* const values[] = {
        "0", "1", "-1", "3", "2147483647", "-2147483648", "StrToInt64('9223372036854775807')",
        "StrToInt64('-9223372036854775808')", "1e300", "-1e300", "0.5", "2.5", "''", "'abc'",
        "'h\xC3\xA9llo w\xC3\xB6rld'", "'%s%d%'", "'  x  '", "Null", "True",
        "VarArrayCreate([0, 2], varVariant)", "EncodeDate(2024, 2, 29)"};
    // A negative arity marks a procedure whose var parameters are variables.
    const std::pair<const char*, int> functions[] = {
        {"IntToStr", 1}, {"FloatToStr", 1}, {"DateToStr", 1}, {"TimeToStr", 1},
        {"DateTimeToStr", 1}, {"VarToStr", 1}, {"StrToInt", 1}, {"StrToInt64", 1},
        {"StrToFloat", 1}, {"StrToDate", 1}, {"StrToTime", 1}, {"StrToDateTime", 1},
        {"Format", 2}, {"FormatFloat", 2}, {"FormatDateTime", 2}, {"FormatMaskText", 2},
        {"EncodeDate", 3}, {"EncodeTime", 4}, {"DayOfWeek", 1}, {"IsLeapYear", 1},
        {"DaysInMonth", 2}, {"Length", 1}, {"Copy", 3}, {"Pos", 2}, {"Trim", 1},
        {"Uppercase", 1}, {"Lowercase", 1}, {"NameCase", 1}, {"CompareText", 2}, {"Chr", 1},
        {"Ord", 1}, {"Round", 1}, {"Trunc", 1}, {"Int", 1}, {"Frac", 1}, {"Sqrt", 1},
        {"Abs", 1}, {"Sin", 1}, {"Cos", 1}, {"ArcTan", 1}, {"Exp", 1}, {"Ln", 1}, {"Tan", 1},
        {"ValidInt", 1}, {"ValidFloat", 1}, {"ValidDate", 1}, {"VarArrayCreate", 2},
        {"VarType", 1}, {"Delete", -3}, {"DeleteStr", -3}, {"SetLength", -2}, {"Inc", -2},
        {"Dec", -2}, {"DecodeDate", -4}, {"DecodeTime", -5}, {"Insert", -3}};
    // clang-format on
    std::mt19937 random(20261210);
    const auto pick = [&] { return std::string(values[random() % std::size(values)]); };
    int answered = 0;
    for (const auto& [name, arity] : functions) {
        const std::string_view fn = name;
        for (int round = 0; round < 8; ++round) {
            std::string call = std::string(name) + "(";
            const int count = arity < 0 ? -arity : arity;
            for (int i = 0; i < count; ++i) {
                // The var parameters: Insert's second, all but the first of the Decode
                // procedures, the first of the others.
                const bool byDecode = fn.starts_with("Decode");
                const bool isVar = arity < 0 && (fn == "Insert" ? i == 1
                                                 : byDecode     ? i > 0
                                                                : i == 0);
                std::string arg = pick();
                if (isVar) {
                    const std::string var = "V" + std::to_string(i);
                    script.SetVariable(var, script.Evaluate(arg));
                    arg = var;
                }
                call += (i ? ", " : "") + arg;
            }
            call += ")";
            SCOPED_TRACE(call);
            try {
                script.Evaluate(call);
                ++answered;
            } catch (const Exception&) {
            }
        }
    }
    EXPECT_GT(answered, 100);
}

TEST(SysFunctionsModuleList, BuiltInsComeFirst) {
    std::vector<TksHostModuleEntry>* list = HostModuleList();
    ASSERT_NE(list, nullptr);
    ksRegisterHostModule("some.binding",
                         [](TksScript* s) { return std::make_unique<TksRTTIModule>(s); });
    ksRegisterSysFunctions();
    ksRegisterSysFunctions();
    ASSERT_FALSE(list->empty());
    EXPECT_EQ(list->front().Name, "ks_isysrtti");
    int count = 0;
    for (const auto& e : *list)
        count += e.Name == "ks_isysrtti";
    EXPECT_EQ(count, 1);
    {
        TksScript s(nullptr);
        s.AddHostModules();
        EXPECT_NE(s.Find("IntToStr"), nullptr);
        EXPECT_NE(s.Find("varByRef"), nullptr);
    }
    ksUnregisterSysFunctions();
    ksUnregisterHostModule("some.binding");
    for (const auto& e : *list)
        EXPECT_NE(e.Name, "ks_isysrtti");
}

} // namespace
