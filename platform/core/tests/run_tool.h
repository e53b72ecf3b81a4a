#pragma once
// Running independent tools (PDF readers, office converters) on our output from a test.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline bool HaveTool(const char* name) {
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The command's standard output (its errors go along); status receives its exit code, -1 when
// it did not exit normally.
inline std::string RunTool(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
