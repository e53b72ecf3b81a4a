// The interpreter against Lua 5.4 on the same three algorithms: recursive fib(27), a
// 3-million-iteration loop of integer and float arithmetic, and a string built from 100,000
// pieces. The Lua side runs lua5.4 as a subprocess and times itself with os.clock; it is
// skipped when lua5.4 is missing. Goal: at most 5x Lua's time for each.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "script/script.h"

namespace {

struct Workload {
    const char* name;
    const char* pascal;
    const char* lua;
};

const Workload kWorkloads[] = {
    {"fib(27)",
     "function fib(n: Integer): Integer;\n"
     "begin\n"
     "  if n < 2 then Result := n else Result := fib(n - 1) + fib(n - 2);\n"
     "end;\n"
     "var r: Integer;\n"
     "begin\n"
     "  r := fib(27);\n"
     "  if r <> 196418 then r := 1 div 0;\n"
     "end.\n",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
     "local r = fib(27)\n"
     "assert(r == 196418)\n"},
    {"arith loop 3M",
     "var i, a: Integer; f: Double;\n"
     "begin\n"
     "  a := 0; f := 0;\n"
     "  for i := 1 to 3000000 do\n"
     "  begin\n"
     "    a := (a + i * 3) mod 1000003;\n"
     "    f := f + i * 0.5;\n"
     "  end;\n"
     "end.\n",
     "local a, f = 0, 0.0\n"
     "for i = 1, 3000000 do\n"
     "  a = (a + i * 3) % 1000003\n"
     "  f = f + i * 0.5\n"
     "end\n"},
    {"string 100k pieces",
     "var i: Integer; s: String;\n"
     "begin\n"
     "  s := '';\n"
     "  for i := 1 to 100000 do s := s + 'x';\n"
     "  if Length(s) <> 100000 then i := 1 div 0;\n"
     "end.\n",
     "local s = ''\n"
     "for i = 1, 100000 do s = s .. 'x' end\n"
     "assert(#s == 100000)\n"},
};

double RunScript(const char* text) {
    TksScript script(nullptr);
    script.AddType("Integer", kvtInt);
    script.AddType("Double", kvtFloat);
    script.AddType("String", kvtString);
    script.AddMethod("function Length(s: String): Integer",
                     [](TObject*, const TClassInfo*, const std::string&, TksMethodHelper& caller) {
                         return Variant(static_cast<int>(VarToStr(caller.Params(0)).size()));
                     });
    script.Lines().SetText(text);
    if (!script.Compile()) {
        std::cerr << "compile error " << script.ErrorPosition << ": " << script.ErrorText << "\n";
        return -1;
    }
    const auto start = std::chrono::steady_clock::now();
    script.Execute();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs every Lua workload in one lua5.4 process; seconds per workload name, empty when lua5.4
// is not there.
std::map<std::string, double> RunLua() {
    std::map<std::string, double> times;
    std::ostringstream program;
    for (const Workload& w : kWorkloads) {
        program << "do local t0 = os.clock()\n" << w.lua << "print(string.format('%s=%.6f', '"
                << w.name << "', os.clock() - t0)) end\n";
    }
    const std::string path = "/tmp/lumetra_bench_script_vs_lua.lua";
    std::ofstream(path) << program.str();
    FILE* pipe = popen(("lua5.4 " + path + " 2>/dev/null").c_str(), "r");
    if (!pipe) return times;
    char line[256];
    while (fgets(line, sizeof line, pipe)) {
        std::string s(line);
        const auto eq = s.rfind('=');
        if (eq != std::string::npos) times[s.substr(0, eq)] = std::stod(s.substr(eq + 1));
    }
    pclose(pipe);
    std::remove(path.c_str());
    return times;
}

} // namespace

// An argument runs only the workloads whose name starts with it (for profiling).
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const std::map<std::string, double> lua = only.empty() ? RunLua() : std::map<std::string, double>();
    if (lua.empty() && only.empty()) std::printf("lua5.4 not found: Lua side skipped\n");
    std::printf("%-20s %12s %12s %8s\n", "workload", "script s", "lua s", "ratio");
    for (const Workload& w : kWorkloads) {
        if (std::string(w.name).rfind(only, 0) != 0) continue;
        const double t = RunScript(w.pascal);
        auto it = lua.find(w.name);
        if (it == lua.end())
            std::printf("%-20s %12.4f %12s %8s\n", w.name, t, "-", "-");
        else
            std::printf("%-20s %12.4f %12.4f %8.2f\n", w.name, t, it->second, t / it->second);
    }
    return 0;
}
