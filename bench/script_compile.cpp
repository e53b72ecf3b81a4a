// Compiling a 2,000-line PascalScript program to IL: the front end's cost per compile, with the
// grammar prepared once and reused.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/string_list.h"
#include "script/il_parser.h"

int main() {
    std::vector<std::string> lines = {"var a, b, i: Integer;", "  s: String;",
                                      "function Twice(x: Integer): Integer;",
                                      "begin Result := x * 2 end;", "begin"};
    const char* body[] = {
        "  a := (a + Twice(b) * 3 - i div 2) mod 7; s := s + 'x' + <Total>;",
        "  if (a > b) and not (i in [1, 3..5]) then b := b + 1 else b := b - 1;",
        "  for i := 0 to 10 do begin a := a + i; if a > 100 then break end;",
        "  case a of 1: b := 2; 2..4: b := 3 else b := 0 end; { comment }",
    };
    for (std::size_t k = 0; lines.size() < 1999; ++k)
        lines.push_back(body[k % 4]);
    lines.push_back("end.");

    TStringList scriptLines;
    for (const auto& line : lines)
        scriptLines.Add(line);

    TksCompileContext script;
    const int runs = 20;
    double best = 1e9, total = 0;
    std::size_t elements = 0;
    for (int r = 0; r < runs; ++r) {
        auto start = std::chrono::steady_clock::now();
        TksILParser parser(script);
        parser.LoadGrammar("PascalScript");
        if (!parser.SourceToIL(scriptLines)) {
            std::printf("compile failed: %s at %s\n", script.ErrorText.c_str(),
                        script.ErrorPosition.c_str());
            return 1;
        }
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = std::min(best, ms);
        total += ms;
        elements = static_cast<std::size_t>(parser.ILDocument().Root()->Count());
    }
    std::printf("PascalScript, %zu lines, %zu top-level IL elements: best %.2f ms, mean %.2f ms "
                "(%d runs)\n",
                lines.size(), elements, best, total / runs, runs);
    return 0;
}
