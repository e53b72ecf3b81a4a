#pragma once
// Runs pgwprep as a process with an argument vector (no shell, so SQL and connection strings
// pass as they are) and keeps what it printed; the modules a test needs to read its output.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/engine_module.h"
#include "platform/core/tests/temp_dir.h"
#include "report/module_startup.h"

extern char** environ;

struct PgwprepRun {
    int Status = -1; // exit code; -1 when it did not exit normally
    std::string Out, Err;
};

inline PgwprepRun RunPgwprep(const std::vector<std::string>& args) {
    TempDir streams;
    const std::string outFile = streams / "stdout", errFile = streams / "stderr";
    std::vector<std::string> all{PGWPREP_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    PgwprepRun r;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.Status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.Out = TempDir::ReadAll(outFile);
    r.Err = TempDir::ReadAll(errFile);
    return r;
}

inline std::string ListReportTemplate() {
    return std::string(LUMETRA_SOURCE_DIR) + "/bench/list-report/list-report.pg3";
}

inline std::string SqliteConnection(const std::string& file) {
    return "Provider=SQLite;Data Source=" + file;
}

// The modules started for the life of a scope: prepared reports read back need the store.
struct ModulesRunning {
    ModulesRunning() {
        RegisterEngineModule();
        StartModules();
    }
    ~ModulesRunning() { StopModules(); }
    ModulesRunning(const ModulesRunning&) = delete;
    ModulesRunning& operator=(const ModulesRunning&) = delete;
};
