#pragma once
// A script with the basic type names, constants and a few functions, for the interpreter tests.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "script/script.h"

class ScriptFixture : public ::testing::Test {
protected:
    ScriptFixture() { RegisterBasics(script); }

    void RegisterBasics(TksScript& s) {
        const void* saved = s.OwnerTag;
        s.OwnerTag = ksHostTag;
        const std::pair<const char*, TksVarType> types[] = {
            {"Integer", kvtInt}, {"Boolean", kvtBool},   {"Double", kvtFloat},
            {"Extended", kvtFloat}, {"Char", kvtChar},   {"String", kvtString},
            {"Variant", kvtVariant}, {"Array", kvtArray}, {"Constructor", kvtConstructor},
        };
        for (const auto& [name, type] : types) s.AddType(name, type);
        s.AddConst("True", "Boolean", Variant(true));
        s.AddConst("False", "Boolean", Variant(false));
        s.AddConst("nil", "Variant", Variant(0));
        s.AddVariable("ExceptionClassName", "String", Variant(std::string()));
        s.AddVariable("ExceptionMessage", "String", Variant(std::string()));
        auto call = [this](TObject*, const TClassInfo*, const std::string& name,
                           TksMethodHelper& caller) -> Variant {
            if (name == "WRITELN") out += VarToStr(caller.Params(0)) + "\n";
            if (name == "INTTOSTR") return Variant(std::to_string(caller.Params(0).AsInt64()));
            if (name == "RAISEEXCEPTION") throw Exception(VarToStr(caller.Params(0)));
            return Variant(0);
        };
        s.AddMethod("procedure WriteLn(V: Variant)", call);
        s.AddMethod("function IntToStr(i: Integer): String", call);
        s.AddMethod("procedure RaiseException(Param: String)", call);
        s.OwnerTag = saved;
    }

    // Compiles; on failure the test fails with the error and position.
    bool Compile(std::string_view language, std::string_view text) {
        script.SetSyntaxType(std::string(language));
        script.Lines().SetText(text);
        const bool ok = script.Compile();
        EXPECT_TRUE(ok) << script.ErrorPosition << ": " << script.ErrorText;
        return ok;
    }

    std::string Run(std::string_view language, std::string_view text) {
        out.clear();
        if (Compile(language, text)) script.Execute();
        return out;
    }

    TksScript script{nullptr};
    std::string out;
};
