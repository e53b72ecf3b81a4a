#pragma once
// Shared set-up for the data tests: fixed format settings and small SQLite databases made
// through the data layer itself.

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/core/format.h"
#include "platform/core/tests/fixed_formats.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"

inline void Exec(TADOConnection& c, const std::string& sql) {
    c.Execute(sql);
}

// The bytes and modification time of a file, to show that nothing wrote to it.
struct FileState {
    std::string bytes;
    long long mtimeNs = 0;
    static FileState Of(const std::string& path) {
        FileState s;
        s.bytes = TempDir::ReadAll(path);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            s.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        return s;
    }
    bool operator==(const FileState&) const = default;
};

inline std::string SharedExams() {
    return std::string(LUMETRA_SHARED_DIR) + "/fixtures/jet/exams.mdb";
}
