#pragma once
// A script with binding modules created directly (not through the process-wide module list, which
// other tests fill too), a WriteLn that collects output, and fixed format settings.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>
#include <string>
#include <string_view>

#include "platform/core/format.h"
#include "platform/core/variant.h"
#include "script/script.h"
#include "script/sys_functions.h"

class BindingFixture : public ::testing::Test {
protected:
    BindingFixture() {
        savedSettings_ = FormatSettings();
        TFormatSettings& fs = FormatSettings();
        fs = TFormatSettings();
        AddModule<TksSysFunctions>();
        const void* saved = script.OwnerTag;
        script.OwnerTag = ksHostTag;
        script.AddMethod(
            "procedure WriteLn(V: Variant)",
            [this](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& caller) {
                out += VarToStr(caller.Params(0)) + "\n";
                return Variant(0);
            });
        script.OwnerTag = saved;
        // Evaluate's child scripts must not add the global modules on top of these.
        script.HostModulesAdded = true;
    }
    ~BindingFixture() override {
        script.Clear();
        FormatSettings() = savedSettings_;
    }

    template <class Module> void AddModule() {
        const void* saved = script.OwnerTag;
        script.OwnerTag = ksHostTag;
        script.AddItem("", std::make_unique<Module>(&script));
        script.OwnerTag = saved;
    }

    // A variable that survives the Clear before each compile.
    void AddHostVariable(std::string_view name, const Variant& value) {
        const void* saved = script.OwnerTag;
        script.OwnerTag = ksHostTag;
        script.AddVariable(name, "Variant", value);
        script.OwnerTag = saved;
    }
    void AddHostObject(std::string_view name, TObject* object) {
        const void* saved = script.OwnerTag;
        script.OwnerTag = ksHostTag;
        script.AddObject(name, object);
        script.OwnerTag = saved;
    }

    bool Compile(std::string_view text, std::string_view language = "PascalScript") {
        script.Clear();
        script.SetSyntaxType(std::string(language));
        script.Lines().SetText(text);
        const bool ok = script.Compile();
        EXPECT_TRUE(ok) << script.ErrorPosition << ": " << script.ErrorText;
        return ok;
    }

    // Runs a program and returns what it wrote.
    std::string Run(std::string_view text, std::string_view language = "PascalScript") {
        out.clear();
        if (Compile(text, language)) script.Execute();
        return out;
    }

    // Runs each program and expects it to raise the exception class named beside it.
    void ExpectEachRaises(std::initializer_list<std::pair<const char*, const char*>> cases) {
        for (const auto& [text, expected] : cases) {
            SCOPED_TRACE(text);
            try {
                Run(text);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_STREQ(e.ClassName(), expected) << e.Message();
            }
        }
    }

    TksScript script{nullptr};
    std::string out;

private:
    TFormatSettings savedSettings_;
};
