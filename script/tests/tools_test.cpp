// The engine's tools: declarations of host functions, literals, type compatibility, positions,
// formatting arguments and the designer's contents tree.
#include "script/tools.h"

#include <gtest/gtest.h>

#include "script/tests/script_fixture.h"
#include "script/xml_document.h"

namespace {

class ToolsTest : public ScriptFixture {};

TEST_F(ToolsTest, ParseMethodSyntaxReadsKindNameParametersAndDefaults) {
    auto format = ParseMethodSyntax("function Format(const Fmt: String; Args: array): String", &script);
    EXPECT_EQ(format->Name(), "Format");
    EXPECT_EQ(format->VarType, kvtString);
    ASSERT_EQ(format->ParamCount(), 2);
    EXPECT_EQ(format->Param(1)->VarType, kvtArray);

    auto inc = ParseMethodSyntax("procedure Inc(var X: Integer; N: Integer = 1)", &script);
    ASSERT_EQ(inc->ParamCount(), 2);
    EXPECT_TRUE(inc->Param(0)->ByReference);
    EXPECT_FALSE(inc->Param(0)->Optional);
    EXPECT_FALSE(inc->Param(1)->ByReference);
    EXPECT_TRUE(inc->Param(1)->Optional);
    EXPECT_EQ(inc->Param(1)->DefaultValue.AsInteger(), 1);
    EXPECT_EQ(inc->RequiredParamCount(), 1);

    auto iif = ParseMethodSyntax(
        "macrofunction IIF(Expr: Boolean; TrueValue, FalseValue: Variant): Variant", &script);
    EXPECT_TRUE(iif->TakesSourceText);
    EXPECT_EQ(iif->ParamCount(), 3);

    auto neg = ParseMethodSyntax("function F(a, b: Integer = -2; s: String = 'x'): Boolean", &script);
    ASSERT_EQ(neg->ParamCount(), 3);
    EXPECT_FALSE(neg->Param(0)->Optional);  // only the last name of a group takes the default
    EXPECT_EQ(neg->Param(1)->DefaultValue.AsInteger(), -2);
    EXPECT_EQ(neg->Param(2)->DefaultValue.AsString(), "x");
    EXPECT_EQ(neg->VarType, kvtBool);
}

TEST(ScriptTools, ConvertLiteral) {
    EXPECT_EQ(ConvertLiteral("'abc'").AsString(), "abc");
    EXPECT_EQ(ConvertLiteral("$FF").Kind(), VariantKind::Int32);
    EXPECT_EQ(ConvertLiteral("$FF").AsInteger(), 255);
    EXPECT_EQ(ConvertLiteral("2147483647").Kind(), VariantKind::Int32);
    EXPECT_EQ(ConvertLiteral("2147483648").Kind(), VariantKind::Int64);
    EXPECT_EQ(ConvertLiteral("2147483648").AsInt64(), 2147483648LL);
    // Negative defaults of declarations: small ones stay 32-bit, large ones keep every digit.
    EXPECT_EQ(ConvertLiteral("-5").Kind(), VariantKind::Int32);
    EXPECT_EQ(ConvertLiteral("-5").AsInteger(), -5);
    EXPECT_EQ(ConvertLiteral("-5000000000").AsInt64(), -5000000000LL);
    EXPECT_EQ(ConvertLiteral("$FFFFFFFFFFFFFFFF").AsInteger(), -1);
    EXPECT_DOUBLE_EQ(ConvertLiteral("1.5").AsDouble(), 1.5);
    EXPECT_TRUE(ConvertLiteral("").IsNull());
    EXPECT_THROW(ConvertLiteral("1.5x"), EConvertError);
    // A #nn code above 127 (a byte that is no UTF-8) is the Latin-1 character.
    EXPECT_EQ(ConvertLiteral("'caf\xE9'").AsString(), "caf\xC3\xA9");
    EXPECT_EQ(ConvertLiteral("'\xE4\xB8\xAD'").AsString(), "\xE4\xB8\xAD");
}

TEST_F(ToolsTest, TypeCompatibility) {
    TksVariable integer("i", "Integer", kvtInt);
    EXPECT_FALSE(CheckCompatible(integer, kvtFloat, "", &script));
    EXPECT_TRUE(TypeCompatible(kvtInt, "", kvtFloat, "", &script));
    EXPECT_TRUE(TypeCompatible(kvtEnum, "TColorKind", kvtEnum, "tcolorkind", &script));
    EXPECT_FALSE(TypeCompatible(kvtEnum, "TColorKind", kvtEnum, "TOther", &script));
    EXPECT_TRUE(TypeCompatible(kvtInt, "", kvtEnum, "TColorKind", &script));
    EXPECT_FALSE(TypeCompatible(kvtConstructor, "", kvtVariant, "", &script));
    EXPECT_FALSE(TypeCompatible(kvtString, "", kvtInt, "", &script));
    script.AddClass(TPersistent::StaticClass(), "");
    script.AddClass(TComponent::StaticClass(), "TPersistent");
    EXPECT_TRUE(TypeCompatible(kvtClass, "TPersistent", kvtClass, "TComponent", &script));
    EXPECT_FALSE(TypeCompatible(kvtClass, "TComponent", kvtClass, "TPersistent", &script));
}

TEST(ScriptTools, SourcePosToPoint) {
    EXPECT_EQ(SourcePosToPoint("12:7").X, 7);
    EXPECT_EQ(SourcePosToPoint("12:7").Y, 12);
    EXPECT_EQ(SourcePosToPoint("").X, 0);
    EXPECT_THROW(SourcePosToPoint("a:1"), EConvertError);
}

TEST(ScriptTools, VariantsToFormatArguments) {
    const Variant values = VarArrayOf({Variant(3), Variant(2.5), Variant("x"), Variant::Null(),
                                       Variant(std::string(300, 'a')), Variant(5000000000LL)});
    const std::vector<TFormatArg> args = VariantsToVarRecs(values);
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(std::get<std::int64_t>(args[0]), 3);
    EXPECT_EQ(std::get<double>(args[1]), 2.5);
    EXPECT_EQ(std::get<std::string>(args[2]), "x");
    EXPECT_EQ(std::get<std::int64_t>(args[3]), 0);
    EXPECT_EQ(std::get<std::string>(args[4]).size(), 255u);
    EXPECT_EQ(std::get<std::int64_t>(args[5]), 5000000000LL);
    EXPECT_EQ(VarRecToVariant(args[5]).AsInt64(), 5000000000LL);
    EXPECT_EQ(VarRecToVariant(args[2]).AsString(), "x");
}

TEST_F(ToolsTest, ContentsTreeListsFunctionsTypesAndConstants) {
    script.AddMethod("function Twice(i: Integer): Integer", {}, "ctMath", "doubles");
    script.AddEnum("TKind", "kA, kB");
    script.AddConst("Answer", "Integer", Variant(42));
    TksXMLItem root;
    BuildContentsTree(script, root, false);
    TksXMLItem* math = root.FindItem("Functions")->FindItem("ctMath");
    ASSERT_EQ(math->Count(), 1);
    EXPECT_EQ(math->Items(0)->Prop("text"), "function Twice(i: Integer): Integer");
    EXPECT_EQ(math->Items(0)->Prop("description"), "doubles");
    TksXMLItem* types = root.FindItem("Types");
    ASSERT_EQ(types->Count(), 1);
    EXPECT_EQ(types->Items(0)->Prop("text"), "TKind: (kA,kB)");
    bool found = false;
    TksXMLItem* constants = root.FindItem("Constants");
    for (int i = 0; i < constants->Count(); ++i)
        if (constants->Items(i)->Prop("text") == "Answer: Integer = 42") found = true;
    EXPECT_TRUE(found);

    TksXMLItem functionsOnly;
    BuildContentsTree(script, functionsOnly, true);
    EXPECT_EQ(functionsOnly.FindItem("Constants")->Count(), 0);
}

} // namespace
