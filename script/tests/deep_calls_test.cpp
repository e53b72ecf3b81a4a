// Deep script recursion and appending to strings: how deep calls may go and how they end, on the
// main thread and on threads with small stacks; appends in place that leave every other holder
// of the text alone.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <utility>

#include "script/tests/script_fixture.h"

namespace {

struct Program {
    const char* language;
    const char* text;
};

// Sum(n) recursing n levels; DEPTH stands for the depth.
const Program kRecursive[] = {
    {"PascalScript",
     "function Sum(n: Integer): Integer; begin if n = 0 then Result := 0 else Result := n + "
     "Sum(n - 1) end;\nbegin WriteLn(Sum(DEPTH)) end."},
    {"C++Script", "int Sum(int n) { if (n == 0) return 0; return n + Sum(n - 1); }\n"
                  "{ WriteLn(Sum(DEPTH)); }"},
    {"JScript", "function Sum(n) { if (n == 0) return 0; return n + Sum(n - 1); }\n"
                "WriteLn(Sum(DEPTH));"},
    {"BasicScript",
     "Function Sum(n As Integer) As Integer\n  If n = 0 Then\n    Return 0\n  End If\n"
     "  Return n + Sum(n - 1)\nEnd Function\nWriteLn(Sum(DEPTH))"},
};

std::string WithDepth(std::string text, int depth) {
    text.replace(text.find("DEPTH"), 5, std::to_string(depth));
    return text;
}

class DeepCallsTest : public ScriptFixture {};

TEST_F(DeepCallsTest, TenThousandNestedCallsRunAndDeeperOnesOverflow) {
    for (const Program& p : kRecursive) {
        script.Clear();
        EXPECT_EQ(Run(p.language, WithDepth(p.text, 10000)), "50005000\n") << p.language;
    }
    // The overflow is the engine's, whatever the language: one language keeps the sanitizer
    // builds' slow unwinding of it to one run here (the thread test below has two more).
    const Program& p = kRecursive[1];
    script.Clear();
    ASSERT_TRUE(Compile(p.language, WithDepth(p.text, 10000000)));
    EXPECT_THROW(script.Execute(), EStackOverflow);
    EXPECT_FALSE(script.Running);
    // Nothing of the failed run is left over: the next run starts clean.
    script.Clear();
    EXPECT_EQ(Run(p.language, WithDepth(p.text, 3)), "6\n");
}

// Runs body on a new thread with the given stack size and waits for it.
void OnThread(std::size_t stackSize, const std::function<void()>& body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, stackSize), 0);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&body)), 0);
    pthread_attr_destroy(&attr);
    pthread_join(thread, nullptr);
}

// A thread's own stack size does not bound the depth, and a runaway recursion there ends in the
// error as well.
TEST_F(DeepCallsTest, DepthDoesNotDependOnTheThreadsStack) {
    for (const std::size_t stack : {std::size_t{256} * 1024, std::size_t{2} * 1024 * 1024}) {
        std::string deep, result;
        bool overflowed = false;
        OnThread(stack, [&] {
            TksScript s(nullptr);
            RegisterBasics(s);
            s.SetSyntaxType("PascalScript");
            s.Lines().SetText(WithDepth(kRecursive[0].text, 10000));
            if (!s.Compile()) return;
            s.Execute();
            deep = out;
            s.Clear();
            s.Lines().SetText(WithDepth(kRecursive[0].text, 10000000));
            if (!s.Compile()) return;
            try {
                s.Execute();
            } catch (const EStackOverflow&) {
                overflowed = true;
            }
        });
        EXPECT_EQ(deep, "50005000\n") << stack;
        EXPECT_TRUE(overflowed) << stack;
        out.clear();
    }
}

// Each case prints the values that must show the append's result and that every other holder of
// the old text kept it.
TEST_F(DeepCallsTest, AppendsLeaveOtherHoldersOfTheTextAlone) {
    const std::pair<Program, const char*> cases[] = {
        {{"PascalScript", "var s, t: String; begin s := 'a'; t := s; s := s + 'x'; s := s + 'y';"
                          " WriteLn(t); WriteLn(s) end."},
         "a\naxy\n"},
        // The second operand sees the first append; the copy inside the expression keeps it.
        {{"PascalScript", "var s, u: String; begin s := 'a'; u := (s + 'b') + s; s := s + s;"
                          " s := s + 'c'; WriteLn(u); WriteLn(s) end."},
         "aba\naac\n"},
        {{"PascalScript",
          "var s, t: String;\nprocedure P(var x: String); begin x := x + 'y'; x := x + 'z' end;\n"
          "begin s := 'a'; t := s; P(s); P(t); WriteLn(s); WriteLn(t) end."},
         "ayz\nayz\n"},
        {{"PascalScript", "var a: array[0..1] of String; b, s: String; begin a[0] := 'p';"
                          " s := a[0]; s := s + 'q'; b := a[0]; a[0] := a[0] + 'r';"
                          " WriteLn(a[0]); WriteLn(b); WriteLn(s) end."},
         "pr\np\npq\n"},
        // Each recursion level saves its caller's s, which must survive the callee's appends.
        {{"PascalScript",
          "function F(n: Integer): String; var s: String; begin s := 'a'; if n > 0 then"
          " s := s + F(n - 1); s := s + 'b'; Result := Result + s end;\nbegin WriteLn(F(2)) end."},
         "aaabbb\n"},
        // A right side that changes the variable: + reads it afterwards.
        {{"PascalScript",
          "var s: String;\nfunction G: String; begin s := s + '!'; Result := 'g' end;\n"
          "begin s := 'a'; s := s + G; WriteLn(s) end."},
         "a!g\n"},
        // Text that looks like a number still adds as numbers; the result is stored as text.
        {{"PascalScript", "var s: String; v: Variant; begin s := '1'; s := s + 2; v := 'a';"
                          " v := v + 'b'; WriteLn(s); WriteLn(v) end."},
         "3\nab\n"},
        {{"C++Script", "string s, t; { s = \"a\"; t = s; s += \"x\"; s = s + \"y\"; WriteLn(t);"
                       " WriteLn(s); }"},
         "a\naxy\n"},
        {{"JScript",
          "var s = \"a\"; var t = s; s += \"x\"; s = s + \"y\"; WriteLn(t); WriteLn(s);"},
         "a\naxy\n"},
        // & reads the variable before its right side runs, and turns numbers into text.
        {{"BasicScript",
          "Dim s As String\nDim t As String\nFunction G As String\n  s = s & \"!\"\n  Return "
          "\"g\"\n"
          "End Function\ns = \"a\"\nt = s\ns = s & 5\ns = s & G\nWriteLn(t)\nWriteLn(s)"},
         "a\na5g\n"},
    };
    for (const auto& [p, expected] : cases) {
        script.Clear();
        EXPECT_EQ(Run(p.language, p.text), expected) << p.text;
    }
}

TEST_F(DeepCallsTest, LongAppendLoopsBuildTheWholeText) {
    const Program programs[] = {
        {"PascalScript", "var i: Integer; s: String; begin for i := 1 to 20000 do s := s + 'ab';"
                         " WriteLn(Length(s)) end."},
        {"C++Script", "int i; string s; { for (i = 0; i < 20000; i++) s += \"ab\";"
                      " WriteLn(Length(s)); }"},
        {"JScript",
         "var s = \"\"; for (var i = 0; i < 20000; i++) s = s + \"ab\"; WriteLn(Length(s));"},
        {"BasicScript",
         "Dim i As Integer\nDim s As String\nFor i = 1 To 20000\n  s = s & \"ab\"\nNext\n"
         "WriteLn(Length(s))"},
    };
    const void* savedTag = std::exchange(script.OwnerTag, ksHostTag);
    script.AddMethod("function Length(s: String): Integer",
                     [](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& caller) {
                         return Variant(static_cast<int>(VarToStr(caller.Params(0)).size()));
                     });
    script.OwnerTag = savedTag;
    for (const Program& p : programs) {
        script.Clear();
        EXPECT_EQ(Run(p.language, p.text), "40000\n") << p.language;
    }
}

} // namespace
