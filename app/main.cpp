// lumetra: the exam browser. Takes no arguments; its settings are "lumetra.ini" beside it.

#include <cstdio>
#include <exception>

#include "app/startup.h"
#include "platform/core/files.h"
#include "platform/ui/application.h"

int main() {
    try {
        TApplication* app = Application();
        TExamBrowser browser = StartExamBrowser(app, IncludeTrailingPathDelimiter(ExecutableDir()));
        InstallTestHook(browser.MainForm);
        app->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumetra: %s\n", e.what());
        return 1;
    }
    return 0;
}
