// The script component: name table, registration of host items and classes, running,
// terminating, evaluating, calling functions, and what an error leaves behind.
#include "script/script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "script/tests/script_fixture.h"

namespace {

class TFakeGadget : public TPersistent {
    LUMETRA_CLASS(TFakeGadget, TPersistent)
public:
    static void RegisterProperties(TClassBuilder<TFakeGadget>& b) {
        b.Add("Caption", &TFakeGadget::Caption, &TFakeGadget::SetCaption);
        b.Add("Size", &TFakeGadget::Size, &TFakeGadget::SetSize);
        b.Add("Active", &TFakeGadget::Active, &TFakeGadget::SetActive);
    }
    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    int Size() const { return size_; }
    void SetSize(int v) { size_ = v; }
    bool Active() const { return active_; }
    void SetActive(bool v) { active_ = v; }

    int level = 0;
    std::map<int, std::string> items;

private:
    std::string caption_;
    int size_ = 0;
    bool active_ = false;
};

class ScriptTest : public ScriptFixture {
protected:
    void RegisterGadget() {
        auto call = [](TObject* instance, const TClassInfo*, const std::string& name,
                       TksMethodHelper& caller) -> Variant {
            if (name == "CREATE") return ksObjectToValue(new TFakeGadget());
            auto* g = dynamic_cast<TFakeGadget*>(instance);
            if (!g) throw EInvalidObjectReference("Invalid object reference");
            if (name == "FREE") delete g;
            if (name == "GROW")
                caller.SetParams(0, Variant(caller.Params(0).AsInteger() +
                                            caller.Params(1).AsInteger() * g->Size()));
            if (name == "ITEMS.GET") return Variant(g->items[caller.Params(0).AsInteger()]);
            if (name == "ITEMS.SET") g->items[caller.Params(0).AsInteger()] = VarToStr(caller.Params(1));
            return Variant(0);
        };
        TksClassVariable* cls = script.AddClass(TFakeGadget::StaticClass(), "");
        ASSERT_NE(cls, nullptr);
        cls->AddConstructor("constructor Create", call);
        cls->AddMember("procedure Free", call);
        cls->AddMember("procedure Grow(var X: Integer; By: Integer)", call);
        cls->AddDefaultIndexedProperty("Items", "Integer", "String", call, false);
        cls->AddProperty(
            "Level", "Integer",
            [](TObject* o, const TClassInfo*, const std::string&) {
                return Variant(dynamic_cast<TFakeGadget&>(*o).level);
            },
            [](TObject* o, const TClassInfo*, const std::string&, const Variant& v) {
                dynamic_cast<TFakeGadget&>(*o).level = v.AsInteger();
            });
        cls->AddProperty("Flag", "Boolean",
                         [](TObject*, const TClassInfo*, const std::string&) { return Variant(2); });
    }
};

TEST_F(ScriptTest, NameTableShadowsAndFindsParents) {
    script.AddItem("x", std::make_unique<TksVariable>("x", "Integer", kvtInt));
    auto later = std::make_unique<TksVariable>("X", "String", kvtString);
    TksVariable* laterRaw = later.get();
    script.AddItem("X", std::move(later));
    EXPECT_EQ(script.Find("x"), laterRaw);
    std::unique_ptr<TObject> removed = script.Remove(laterRaw);
    ASSERT_NE(script.Find("X"), nullptr);
    EXPECT_EQ(script.Find("X")->VarType, kvtInt);

    TksScript child(nullptr);
    child.Parent = &script;
    EXPECT_EQ(child.Find("x"), script.Find("x"));
    EXPECT_EQ(child.FindOwn("x"), nullptr);
    TksCustomVariable* own = child.AddVariable("y", "Integer", Variant(1));
    TksCustomVariable* parentItem = script.AddVariable("y", "Integer", Variant(2));
    EXPECT_EQ(child.Find("y"), own);
    // A name that exists in the parent is returned unchanged.
    TksCustomVariable* again = child.AddVariable("x", "Integer", Variant(99));
    EXPECT_EQ(again, script.Find("x"));
    EXPECT_TRUE(again->Value.IsNull());
    EXPECT_NE(parentItem, own);
}

TEST_F(ScriptTest, EnumAndSetValues) {
    script.AddEnum("TDuplicates", "dupIgnore, dupAccept, dupError");
    script.AddSetType("TStyles", "stA,stB, stC");
    TksCustomVariable* accept = script.Find("dupAccept");
    ASSERT_NE(accept, nullptr);
    EXPECT_EQ(accept->Value.AsInteger(), 1);
    EXPECT_TRUE(accept->ReadOnly);
    EXPECT_EQ(accept->VarType, kvtEnum);
    EXPECT_EQ(script.Find("stA")->Value.AsInteger(), 1);
    EXPECT_EQ(script.Find("stC")->Value.AsInteger(), 4);
    out.clear();
    EXPECT_EQ(Run("PascalScript",
                  "var d: TDuplicates; begin d := dupError; WriteLn(d); WriteLn(stB); end."),
              "2\n2\n");
}

TEST_F(ScriptTest, ClearKeepsHostItems) {
    EXPECT_EQ(Run("PascalScript", "var a: Integer; begin a := 2; WriteLn(IntToStr(a * 21)) end."), "42\n");
    ASSERT_NE(script.Find("a"), nullptr);
    script.Clear();
    EXPECT_EQ(script.Find("a"), nullptr);
    EXPECT_NE(script.Find("IntToStr"), nullptr);
    EXPECT_EQ(Run("PascalScript", "begin WriteLn(IntToStr(7)) end."), "7\n");
}

TEST_F(ScriptTest, HostClassPropertiesMethodsAndVarWriteBack) {
    RegisterGadget();
    EXPECT_EQ(Run("PascalScript", R"(
var g: TFakeGadget; n: Integer;
begin
  g := TFakeGadget.Create;
  g.Caption := 'cap';
  g.Size := 3;
  g.Level := 7;
  g.Active := True;
  n := 2;
  g.Grow(n, 4);
  g[1] := 'one';
  g.Items[2] := 'two';
  WriteLn(g.Caption + IntToStr(g.Size) + IntToStr(g.Level) + IntToStr(n) + g[1] + g.Items[2]);
  if g.Flag then WriteLn('flag');
  if g.Active then WriteLn('active');
  WriteLn(TFakeGadget(g).Caption);
  with g do Size := Size + 1;
  WriteLn(g.Size);
  g.Free;
end.)"),
              "cap3714onetwo\nflag\nactive\ncap\n4\n");
}

TEST_F(ScriptTest, FreedHostObjectRaisesInvalidReference) {
    RegisterGadget();
    auto* gadget = new TFakeGadget();
    gadget->SetCaption("live");
    script.AddObject("Gadget", gadget);
    ASSERT_TRUE(Compile("PascalScript", "begin WriteLn(Gadget.Caption) end."));
    script.Execute();
    EXPECT_EQ(out, "live\n");
    delete gadget;
    try {
        script.Execute();
        FAIL() << "a freed object was reached";
    } catch (const EInvalidObjectReference& e) {
        EXPECT_EQ(e.Message(), "Invalid object reference");
        EXPECT_EQ(script.RunErrorPosition, "1:7");
    }
}

TEST_F(ScriptTest, TerminateFromRunLineStopsLoop) {
    ASSERT_TRUE(Compile("PascalScript", R"(var i, n: Integer;
procedure Tick; begin n := n + 1 end;
begin
  n := 0;
  while True do Tick;
end.)"));
    int lines = 0;
    script.OnRunLine = [&](TksScript* sender, const std::string&, const std::string&) {
        if (++lines == 50) sender->MainProgram()->Terminate();
    };
    script.Execute();
    EXPECT_FALSE(script.Running);
    EXPECT_FALSE(script.StopRequested);
    const int n = script.Find("n")->Value.AsInteger();
    EXPECT_GT(n, 10);
    EXPECT_LT(n, 50);

    // Terminated before the first statement: nothing runs.
    script.OnRunLine = [](TksScript* sender, const std::string&, const std::string&) {
        sender->MainProgram()->Terminate();
    };
    script.Find("n")->Value = Variant(-5);
    script.Execute();
    EXPECT_EQ(script.Find("n")->Value.AsInteger(), -5);
}

TEST_F(ScriptTest, RunLineReportsPositionsAndStatementLines) {
    ASSERT_TRUE(Compile("PascalScript", "var a: Integer;\nbegin\n  a := 1;\n  if a = 1 then\n    a := 2;\nend."));
    std::vector<std::string> seen;
    script.OnRunLine = [&](TksScript*, const std::string&, const std::string& pos) {
        seen.push_back(pos);
    };
    script.Execute();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].substr(0, 2), "3:");
    EXPECT_EQ(seen[2].substr(0, 2), "5:");
    EXPECT_TRUE(script.IsStatementLine(4, ""));
    EXPECT_FALSE(script.IsStatementLine(2, ""));
}

TEST_F(ScriptTest, RunTimeErrorRestoresFlagsAndLocals) {
    ASSERT_TRUE(Compile("PascalScript", R"(var depth: Integer;
function Down(n: Integer): Integer;
var mine: Integer;
begin
  mine := n;
  if n = 0 then RaiseException('bottom');
  Result := Down(n - 1) + mine;
end;
begin
  depth := Down(3);
end.)"));
    try {
        script.Execute();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "bottom");
        EXPECT_EQ(script.RunErrorPosition.substr(0, 2), "6:");
    }
    EXPECT_FALSE(script.Running);
    EXPECT_FALSE(script.ExitRequested);
    auto* down = dynamic_cast<TksProcVariable*>(script.Find("Down"));
    ASSERT_NE(down, nullptr);
    EXPECT_FALSE(down->Active);
    // The outermost call's local survives the unwinding of the inner ones.
    EXPECT_EQ(down->LocalProgram->FindOwn("mine")->Value.AsInteger(), 3);
    EXPECT_FALSE(down->LocalProgram->Running);
}

TEST_F(ScriptTest, VarParameterHandedOnThroughRecursionKeepsInnerAssignments) {
    // The caller's variable is itself a local of the recursive procedure: it gets the inner
    // call's value after its own locals come back.
    EXPECT_EQ(Run("PascalScript", R"(var total: Integer;
procedure Accumulate(n: Integer; var sum: Integer);
begin
  if n = 0 then exit;
  sum := sum + n;
  Accumulate(n - 1, sum);
end;
begin
  total := 0;
  Accumulate(10, total);
  WriteLn(total);
end.)"),
              "55\n");
}

TEST_F(ScriptTest, StrayBreakDoesNotCutShortLaterCalls) {
    EXPECT_EQ(Run("PascalScript", R"(
procedure P;
begin
  WriteLn('a');
  break;
  WriteLn('b');
end;
begin
  P;
  P;
  WriteLn('end');
end.)"),
              "a\na\nend\n");
}

TEST_F(ScriptTest, EmptyCaseBranchDoesNotRunElse) {
    EXPECT_EQ(Run("PascalScript", R"(var i: Integer;
begin
  for i := 1 to 3 do
    case i of
      1: ;
      2: WriteLn('two');
    else
      WriteLn('else ' + IntToStr(i));
    end;
end.)"),
              "two\nelse 3\n");
}

TEST_F(ScriptTest, ExitInsideFinallyRunsFinallyThenLeaves) {
    EXPECT_EQ(Run("C++Script", R"(
void P() {
  int i;
  for (i = 0; i < 3; i++) {
    try { if (i == 1) return; WriteLn(i); } finally { WriteLn("f"); WriteLn("g"); }
  }
}
{ P(); WriteLn("done"); })"),
              "0\nf\ng\nf\ng\ndone\n");
}

TEST_F(ScriptTest, EvaluateCompileErrorRaises) {
    EXPECT_EQ(script.Evaluate("6 * 7").AsInteger(), 42);
    EXPECT_THROW(script.Evaluate("6 *"), EScriptError);
}

TEST_F(ScriptTest, PublishesLinesAndSyntaxType) {
    EXPECT_EQ(GetPropValue(script, "SyntaxType").AsString(), "PascalScript");
    SetPropValue(script, "SyntaxType", Variant("JScript"));
    EXPECT_EQ(script.SyntaxType(), "JScript");
    TStringList text;
    text.Add("WriteLn(1);");
    SetObjectProp(script, *GetPropInfo(script, "Lines"), &text);
    EXPECT_EQ(script.Lines().Text(), text.Text());
}

TEST_F(ScriptTest, EvaluateInEveryLanguage) {
    for (const char* language : {"PascalScript", "C++Script", "BasicScript", "JScript"}) {
        script.SetSyntaxType(language);
        EXPECT_EQ(script.Evaluate("6 * 7").AsInteger(), 42) << language;
        EXPECT_EQ(script.Evaluate("IntToStr(5)").AsString(), "5") << language;
    }
}

// A literal's text reaches the program as written, however much of it looks like a character
// reference of the intermediate document.
TEST_F(ScriptTest, LiteralsKeepTextThatLooksLikeCharacterReferences) {
    const char* texts[] = {"a&amp;b &quot; &#65;", "&#x41;",   "&#1114112;", "&#55296;",
                           "&#-1;&#6x;&#;&#",      "&#38;lt;", "&#$41;",     "&&;#;x41;"};
    const std::pair<const char*, std::string (*)(const std::string&)> programs[] = {
        {"PascalScript", [](const std::string& t) { return "begin WriteLn('" + t + "') end."; }},
        {"C++Script", [](const std::string& t) { return "{ WriteLn(\"" + t + "\"); }"; }},
        {"JScript", [](const std::string& t) { return "WriteLn(\"" + t + "\");"; }},
        {"BasicScript", [](const std::string& t) { return "WriteLn(\"" + t + "\")"; }}};
    for (const auto& [language, program] : programs)
        for (const char* text : texts) {
            script.Clear();
            EXPECT_EQ(Run(language, program(text)), std::string(text) + "\n") << language;
        }
}

TEST_F(ScriptTest, ClearOwnedItemsRemovesOnlyThatOwnersItems) {
    int tagA = 0, tagB = 0;
    script.OwnerTag = &tagA;
    script.AddVariable("FromA", "Integer", Variant(1));
    script.OwnerTag = &tagB;
    script.AddVariable("FromB", "Integer", Variant(2));
    script.OwnerTag = nullptr;
    ASSERT_TRUE(Compile("PascalScript", "begin WriteLn(FromA + FromB) end."));
    script.ClearOwnedItems(&tagA);
    EXPECT_EQ(script.Find("FromA"), nullptr);
    EXPECT_NE(script.Find("FromB"), nullptr);
    EXPECT_EQ(script.MainBlock->Count(), 0);
    EXPECT_NE(script.Find("WriteLn"), nullptr);
}

TEST_F(ScriptTest, CallFunctionAndVarParams) {
    ASSERT_TRUE(Compile("PascalScript", R"(
function Add(a, b: Integer): Integer; begin Result := a + b end;
procedure Twice(var x: Integer); begin x := x * 2 end;
begin end.)"));
    EXPECT_EQ(script.CallFunction("Add", VarArrayOf({Variant(2), Variant(3)})).AsInteger(), 5);
    Variant params = VarArrayOf({Variant(21)});
    EXPECT_TRUE(script.CallFunctionVar("Twice", params).IsNull());
    EXPECT_EQ(VarArrayGet(params, {0}).AsInteger(), 42);
    EXPECT_TRUE(script.CallFunction("Nothing", Variant()).IsNull());
}

TEST_F(ScriptTest, EvaluateSeesLocalsOfTheRunningProcedure) {
    std::vector<std::string> lines;
    script.AddMethod("function Probe(x: Integer): Variant",
                     [this](TObject*, const TClassInfo*, const std::string&, TksMethodHelper&) {
                         return script.Evaluate("secret * 2");
                     });
    ASSERT_TRUE(Compile("PascalScript", R"(
function Peek: Variant;
var secret: Integer;
begin
  secret := 21;
  Result := Probe(0);
end;
begin WriteLn(Peek) end.)"));
    int hooks = 0;
    script.OnRunLine = [&](TksScript*, const std::string&, const std::string&) { ++hooks; };
    script.Execute();
    EXPECT_EQ(out, "42\n");
    EXPECT_EQ(hooks, 3);  // the evaluated function's statement is not reported
}

struct ExprCase {
    const char* text;
    const char* expected;
};

class ExpressionValues : public ScriptFixture, public ::testing::WithParamInterface<ExprCase> {};

TEST_P(ExpressionValues, EvaluateGivesValue) {
    EXPECT_EQ(VarToStr(script.Evaluate(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Script, ExpressionValues,
    ::testing::Values(ExprCase{"1 + 2 * 3", "7"}, ExprCase{"(1 + 2) * 3", "9"},
                      ExprCase{"2 - 3 - 4", "-5"}, ExprCase{"-2 * 3", "-6"},
                      ExprCase{"1 / 2", "0.5"}, ExprCase{"7 div 2", "3"},
                      ExprCase{"not False = False", "False"}, ExprCase{"4 in [1, 3..5]", "True"},
                      ExprCase{"2 in [1, 3..5]", "False"}, ExprCase{"4 in [5..3]", "False"},
                      ExprCase{"2147483647 + 1", "2147483648"}, ExprCase{"'ab' + 'c'", "abc"},
                      ExprCase{"$FF", "255"}, ExprCase{"6 and 3", "2"},
                      ExprCase{"(3 > 2) and (2 > 1)", "True"}));

TEST_F(ScriptTest, BooleanAndShortCircuitsButVariantDoesNot) {
    int calls = 0;
    script.AddMethod("function F: Boolean",
                     [&](TObject*, const TClassInfo*, const std::string&, TksMethodHelper&) {
                         ++calls;
                         return Variant(true);
                     });
    Run("PascalScript", "var b: Boolean; v: Variant; begin b := True; v := True;\n"
                        "if b or F then WriteLn(1);\nif v or F then WriteLn(2) end.");
    EXPECT_EQ(out, "1\n2\n");
    EXPECT_EQ(calls, 1);
}

struct CompileErrorCase {
    const char* language;
    const char* text;
    const char* message;
};

class CompileErrors : public ScriptFixture,
                      public ::testing::WithParamInterface<CompileErrorCase> {};

TEST_P(CompileErrors, ReportMessageAndPosition) {
    script.SetSyntaxType(GetParam().language);
    script.Lines().SetText(GetParam().text);
    EXPECT_FALSE(script.Compile());
    EXPECT_EQ(script.ErrorText, GetParam().message);
    EXPECT_FALSE(script.ErrorPosition.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Script, CompileErrors,
    ::testing::Values(
        CompileErrorCase{"PascalScript", "begin x := 1 end.", "Undeclared identifier: 'x'"},
        CompileErrorCase{"PascalScript", "var a: Integer; a: String; begin end.",
                         "Identifier redeclared: 'a'"},
        CompileErrorCase{"PascalScript", "var a: TNothing; begin end.", "Unknown type: 'TNothing'"},
        CompileErrorCase{"PascalScript", "var a: Integer; begin a := 'x' end.",
                         "Incompatible types: 'Integer', 'String'"},
        CompileErrorCase{"PascalScript", "var a: Integer; begin a := 1.5 end.",
                         "Incompatible types: 'Integer', 'Extended'"},
        CompileErrorCase{"PascalScript", "begin WriteLn end.", "Not enough actual parameters"},
        CompileErrorCase{"PascalScript", "begin WriteLn(1, 2) end.", "Too many actual parameters"},
        CompileErrorCase{"PascalScript", "begin True := False end.", "Left side cannot be assigned to"},
        CompileErrorCase{"PascalScript", "var s: String; begin for s := 1 to 2 do end.",
                         "For loop variable must be numeric variable"},
        CompileErrorCase{"PascalScript", "var a: Integer; begin a := 'x' * 2 end.",
                         "Incompatible types"},
        CompileErrorCase{"PascalScript", "var i: Integer; begin i := i.Foo end.",
                         "Array type required"},
        CompileErrorCase{"BasicScript", "Dim s As String\ns = s.Foo\n",
                         "Strings doesn't have properties or methods"},
        // The operand after the last "&" fails to parse and the grammar drops it silently.
        CompileErrorCase{"BasicScript", "WriteLn(\"a\" & 1 & <>\"b\" & \"c\")\n",
                         "Invalid expression"}));

TEST_F(ScriptTest, BasicScriptDeclaresImplicitVariables) {
    EXPECT_EQ(Run("BasicScript", "x = 20\ny = x + 1\nWriteLn(y * 2)\n"), "42\n");
    ASSERT_NE(script.Find("x"), nullptr);
    EXPECT_EQ(script.Find("x")->VarType, kvtVariant);
}

TEST_F(ScriptTest, LocalsKeepTheirValueBetweenCalls) {
    EXPECT_EQ(Run("PascalScript", R"(
function Counter: Integer;
var n: Integer;
begin
  n := n + 1;
  Result := n;
end;
begin
  Counter; Counter;
  WriteLn(Counter);
end.)"),
              "3\n");
}

TEST_F(ScriptTest, FunctionWithoutResultReturnsTypedEmptyValue) {
    EXPECT_EQ(Run("PascalScript", R"(
function I: Integer; begin end;
function S: String; begin end;
begin WriteLn(I + 1); WriteLn('[' + S + ']') end.)"),
              "1\n[]\n");
}

TEST_F(ScriptTest, ForLoopVariableKeepsLastPassAndBodyCannotChangePasses) {
    EXPECT_EQ(Run("PascalScript", R"(var i, n: Integer;
begin
  n := 0;
  for i := 1 to 3 do begin n := n + 1; i := 10 end;
  WriteLn(n);
  for i := 1 to 1 do n := n + 1;
  WriteLn(i);
end.)"),
              "3\n1\n");
}

} // namespace

// A flat chain of operators builds the expression tree as deep as the chain is long; past the
// limit it is a compile error, not a stack overflow in typing or evaluating.
TEST_F(ScriptTest, LongOperatorChainCompilesUpToTheLimit) {
    auto chain = [](int terms) {
        std::string s = "1";
        for (int i = 1; i < terms; ++i) s += " + 1";
        return s;
    };
    EXPECT_EQ(Run("PascalScript", "begin WriteLn(" + chain(1500) + ") end."), "1500\n");
    for (const char* language : {"PascalScript", "JScript"}) {
        script.Clear();
        script.SetSyntaxType(language);
        script.Lines().SetText(ksCompareNames(language, "JScript") == 0
                                   ? "var x = " + chain(5000) + ";"
                                   : "var x: Integer; begin x := " + chain(5000) + " end.");
        EXPECT_FALSE(script.Compile()) << language;
        EXPECT_EQ(script.ErrorText, "Program nested too deeply") << language;
    }
}

// Each call level holds a long expression whose deepest operand recurses: the call count alone
// stays far below its limit while the native stack runs out.
TEST_F(ScriptTest, RecursionThroughDeepExpressionsRaisesStackOverflow) {
    std::string chain;
    for (int i = 0; i < 1990; ++i) chain += " + 1";
    ASSERT_TRUE(Compile("PascalScript",
                        "function P(i: Integer): Integer; begin if i > 300 then Result := 0 "
                        "else Result := P(i + 1)" + chain + " end;\nbegin WriteLn(P(0)) end."));
    EXPECT_THROW(script.Execute(), EStackOverflow);
    EXPECT_FALSE(script.Running);
}

// Damaged programs (bytes changed, cut, repeated) compile to an error or run to an error or an
// end; none may crash. The run-line hook stops endless loops.
TEST_F(ScriptTest, DamagedProgramsFailCleanly) {
    const std::pair<const char*, const char*> programs[] = {
        {"control.pas", "PascalScript"}, {"control.cpp", "C++Script"},
        {"control.js", "JScript"},       {"control.bas", "BasicScript"}};
    std::uint32_t state = 12345;
    auto next = [&state](std::uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    const std::string_view kPunctuation = "()[]{};:=+-*/'\"<>#$.,0 \n";
    int runs = 0;
    for (const auto& [file, language] : programs) {
        std::ifstream in(std::string(LUMETRA_TESTDATA_DIR) + "/run/" + file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string good = text.str();
        ASSERT_FALSE(good.empty()) << file;
        for (int round = 0; round < 25; ++round) {
            std::string bad = good;
            for (int k = 0; k < 3; ++k) {
                const std::size_t at = next(static_cast<std::uint32_t>(bad.size()));
                switch (next(3)) {
                case 0:
                    bad[at] = kPunctuation[next(static_cast<std::uint32_t>(kPunctuation.size()))];
                    break;
                case 1: bad.erase(at, next(12)); break;
                default:
                    bad.insert(at, bad.substr(next(static_cast<std::uint32_t>(bad.size())),
                                              next(40)));
                }
                if (bad.empty()) bad = "x";
            }
            TksScript s(nullptr);
            RegisterBasics(s);
            int steps = 0;
            s.OnRunLine = [&steps](TksScript* sender, const std::string&, const std::string&) {
                if (++steps > 200) sender->Root()->Terminate();
            };
            s.SetSyntaxType(language);
            s.Lines().SetText(bad);
            try {
                if (s.Compile()) s.Execute();
            } catch (const Exception&) {
            }
            ++runs;
        }
    }
    EXPECT_EQ(runs, 100);
}
