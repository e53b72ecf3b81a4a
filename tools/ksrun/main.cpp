// ksrun: compiles and runs one script file.
//   ksrun [--lang PascalScript|C++Script|BasicScript|JScript] file
// The language defaults by extension (.pas, .cpp, .bas, .js). Errors go to stderr as
// "line:col: message"; the exit code is 1 for a compile error and 2 for a run-time error.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "script/script.h"
#include "tools/ksrun/test_binding.h"

namespace {

std::string LanguageOf(const std::string& file) {
    auto ends = [&](const char* ext) {
        const std::string e(ext);
        return file.size() >= e.size() && file.compare(file.size() - e.size(), e.size(), e) == 0;
    };
    if (ends(".cpp")) return "C++Script";
    if (ends(".bas")) return "BasicScript";
    if (ends(".js")) return "JScript";
    return "PascalScript";
}

} // namespace

int main(int argc, char** argv) {
    std::string lang;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lang" && i + 1 < argc)
            lang = argv[++i];
        else
            file = a;
    }
    if (file.empty()) {
        std::cerr << "usage: ksrun [--lang language] file\n";
        return 64;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::cerr << "cannot open " << file << "\n";
        return 66;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (lang.empty()) lang = LanguageOf(file);

    TksScript script(nullptr);
    RegisterTestBinding(script, std::cout);
    script.SetSyntaxType(lang);
    script.Lines().SetText(text.str());
    if (!script.Compile()) {
        std::cout.flush();
        std::cerr << script.ErrorPosition << ": " << script.ErrorText << "\n";
        return 1;
    }
    try {
        script.Execute();
    } catch (const Exception& e) {
        std::cout.flush();
        std::cerr << script.RunErrorPosition << ": " << e.Message() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << script.RunErrorPosition << ": " << e.what() << "\n";
        return 2;
    }
    std::cout.flush();
    return 0;
}
