// The program model at work: variables with a value hook, units, arrays, string characters,
// late binding, macro functions, event bridges and the host module list.
#include "script/program.h"

#include <gtest/gtest.h>

#include "platform/core/component.h"
#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "script/tests/script_fixture.h"

namespace {

class ProgramTest : public ScriptFixture {};

TEST_F(ProgramTest, ValueHookAnswersUnlessNull) {
    script.OnGetVarValue = [](const std::string& name, TksVarType, const Variant& old) {
        return name == "Hooked" ? Variant(old.AsInteger() + 100) : Variant::Null();
    };
    script.AddVariable("Hooked", "Integer", Variant(1));
    script.AddVariable("Plain", "Integer", Variant(2));
    EXPECT_EQ(Run("PascalScript", "begin WriteLn(Hooked); WriteLn(Plain) end."), "101\n2\n");
}

TEST_F(ProgramTest, UnitsComeFromTheUnitEvent) {
    script.OnGetUnit = [](const std::string& unit, std::string& text) {
        if (unit == "helpers") text = "function Half(x: Integer): Integer; begin Result := x div 2 end; begin end.";
    };
    EXPECT_EQ(Run("PascalScript", "uses 'helpers';\nbegin WriteLn(Half(84)) end."), "42\n");
}

TEST_F(ProgramTest, ACompileErrorNamesItsOwnUnitOnly) {
    script.OnGetUnit = [](const std::string& unit, std::string& text) {
        if (unit == "broken") text = "function F: Integer; begin Result := end; begin end.";
    };
    script.SetSyntaxType("PascalScript");
    script.Lines().SetText("uses 'broken';\nbegin end.");
    EXPECT_FALSE(script.Compile());
    EXPECT_EQ(script.ErrorUnitName, "broken");
    // The next failed compile is in the main program: no unit may be blamed for it.
    script.Lines().SetText("begin WriteLn( end.");
    EXPECT_FALSE(script.Compile());
    EXPECT_EQ(script.ErrorUnitName, "");
}

TEST_F(ProgramTest, ArraysAndCharacters) {
    EXPECT_EQ(Run("PascalScript", R"(var m: array[1..2, 1..3] of Integer; s: String; v: Variant;
  a: array[10] of Integer;
begin
  m[1, 2] := 12;
  m[2, 3] := 23;
  WriteLn(m[1, 2] + m[2, 3]);
  s := 'abc';
  s[2] := 'x';
  WriteLn(s);
  WriteLn(s[3]);
  v := s;
  WriteLn(v[1]);
  a[9] := 5;  { the size form: 0..9 }
  WriteLn(a[9]);
end.)"),
              "35\naxc\nc\na\n5\n");
    // Outside the bounds: the Variant array's index error.
    script.Clear();
    ASSERT_TRUE(Compile("PascalScript", "var a: array[0..2] of Integer; begin a[3] := 1 end."));
    EXPECT_THROW(script.Execute(), EVariantBadIndexError);
    script.Clear();
    ASSERT_TRUE(Compile("PascalScript", "var s: String; begin s := 'ab'; s[5] := 'x' end."));
    EXPECT_THROW(script.Execute(), ERangeError);
}

TEST_F(ProgramTest, FourDimensionalVariantArrayReadsNull) {
    script.AddVariable("Big", "Variant", VarArrayCreate({0, 1, 0, 1, 0, 1, 0, 1}, varVariant));
    script.AddVariable("Flat", "Variant", VarArrayOf({Variant(7), Variant(8)}));
    script.AddMethod("function IsNull(v: Variant): Boolean",
                     [](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& caller) {
                         return Variant(caller.Params(0).IsNull());
                     });
    EXPECT_EQ(Run("PascalScript", "begin if IsNull(Big[0, 0, 0]) then WriteLn('null'); WriteLn(Flat[1]) end."),
              "null\n8\n");
}

TEST_F(ProgramTest, MacroFunctionsReceiveSourceText) {
    script.AddMethod("macrofunction Quote(Expr: Variant): String",
                     [](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& caller) {
                         return Variant("<" + VarToStr(caller.Params(0)) + ">");
                     });
    EXPECT_EQ(Run("PascalScript", "var a: Integer; begin WriteLn(Quote(a + 1)) end."), "<a + 1>\n");
}

TEST_F(ProgramTest, NestedWithGetsDistinctHiddenNames) {
    auto* inner = new TComponent(nullptr);
    inner->SetTag(5);
    script.AddClass(TComponent::StaticClass(), "");
    script.AddObject("A", inner);
    script.AddObject("B", inner);
    EXPECT_EQ(Run("PascalScript", "begin with A do with B do WriteLn(Tag) end."), "5\n");
    EXPECT_NE(script.Find("_WithList_0"), nullptr);
    EXPECT_NE(script.Find("_WithList_1"), nullptr);
    delete inner;
}

TEST_F(ProgramTest, ChildComponentsAndPublishedPropertiesOfAComponentTree) {
    TComponent owner(nullptr);
    owner.SetName("Owner1");
    auto* child = new TComponent(&owner);
    child->SetName("Child1");
    child->SetTag(7);
    script.AddClass(TComponent::StaticClass(), "");
    script.AddObject("Owner1", &owner);
    EXPECT_EQ(Run("PascalScript", "begin Owner1.Child1.Tag := Owner1.Child1.Tag * 6; WriteLn(Owner1.Child1.Name) end."),
              "Child1\n");
    EXPECT_EQ(child->Tag(), 42);
}

TEST_F(ProgramTest, LateBindingResolvesAtFirstUse) {
    auto* component = new TComponent(nullptr);
    component->SetTag(9);
    script.AddClass(TComponent::StaticClass(), "");
    // v is Null while compiling, so its member is resolved when the statement first runs.
    script.AddVariable("Obj", "TComponent", ksObjectToValue(component));
    EXPECT_EQ(Run("JScript", "var v;\nv = Obj;\nWriteLn(v.Tag);\nWriteLn(v.Tag + 1);\n"), "9\n10\n");
    script.Clear();
    ASSERT_TRUE(Compile("JScript", "var v;\nv = 5;\nWriteLn(v.Tag);\n"));
    EXPECT_THROW(script.Execute(), EInvalidObjectReference);
    delete component;
}

class TClickable : public TComponent {
    LUMETRA_CLASS(TClickable, TComponent)
public:
    using TComponent::TComponent;
    static void RegisterProperties(TClassBuilder<TClickable>& b) {
        b.Add("OnClick", DefineMethodType("TNotifyEvent"), &TClickable::OnClick,
              &TClickable::SetOnClick);
    }
    TNotifyEvent OnClick() const { return onClick_; }
    void SetOnClick(TNotifyEvent e) { onClick_ = std::move(e); }
    void Click() {
        if (onClick_) onClick_(this);
    }

private:
    TNotifyEvent onClick_;
};

class TNotifyBridge : public TksCustomEvent {
public:
    using TksCustomEvent::TksCustomEvent;
    void InstallHandler(const std::string& eventName) override {
        const TPropInfo* info = GetPropInfo(*Instance, eventName);
        SetMethodProp(*Instance, *info,
                      std::any(TNotifyEvent([call = SafeCaller()](TObject* sender) {
                          call({ksObjectToValue(sender)});
                      })));
    }
};

TEST_F(ProgramTest, EventBridgeCallsTheScriptProcedure) {
    TClickable button(nullptr);
    script.OwnerTag = ksHostTag;  // kept by Clear
    TksClassVariable* cls = script.AddClass(TClickable::StaticClass(), "");
    cls->AddEvent("OnClick", [](TObject* instance, TksProcVariable* handler) {
        return std::make_unique<TNotifyBridge>(instance, handler);
    });
    cls->AddMember("procedure Click", [](TObject* instance, const TClassInfo*, const std::string&,
                                          TksMethodHelper&) {
        dynamic_cast<TClickable&>(*instance).Click();
        return Variant(0);
    });
    script.AddObject("Button", &button);
    script.OwnerTag = nullptr;
    ASSERT_TRUE(Compile("PascalScript", R"(var clicks: Integer;
procedure Clicked(Sender: Variant);
begin
  clicks := clicks + 1;
  Button.Click;  { the handler is running: the nested event is dropped }
end;
begin
  clicks := 0;
  Button.OnClick := 'Clicked';
end.)"));
    script.Execute();
    button.Click();
    button.Click();
    EXPECT_EQ(script.Find("clicks")->Value.AsInteger(), 2);
    script.Clear();
    button.Click();  // the bridge went with the program: nothing runs, nothing breaks
    ASSERT_TRUE(Compile("PascalScript", "begin Button.OnClick := 'Nothing' end."));
    EXPECT_THROW(script.Execute(), Exception);
}

class TCountingModule : public TksRTTIModule {
public:
    explicit TCountingModule(TksScript* s) : TksRTTIModule(s) {
        s->AddConst("ModuleConst", "Integer", Variant(11));
    }
};

TEST(HostModuleList, ModulesAreCreatedPerScriptAndSurviveClear) {
    ksRegisterHostModule("counting", [](TksScript* s) { return std::make_unique<TCountingModule>(s); });
    {
        TksScript s(nullptr);
        s.AddHostModules();
        s.AddHostModules();
        TksCustomVariable* c = s.Find("ModuleConst");
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->OwnerTag, ksHostTag);
        s.Clear();
        EXPECT_NE(s.Find("ModuleConst"), nullptr);
        s.RemoveHostModules();
        EXPECT_EQ(s.Find("ModuleConst"), nullptr);
    }
    ksUnregisterHostModule("counting");
    TksScript s(nullptr);
    s.AddHostModules();
    EXPECT_EQ(s.Find("ModuleConst"), nullptr);
}

} // namespace
