#pragma once
// Shared set-up for the data tests: fixed format settings and small SQLite databases made
// through the data layer itself.

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/core/format.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"

// Format settings for one test, restored afterwards.
class FixedFormats {
public:
    FixedFormats() : saved_(FormatSettings()) {
        TFormatSettings& fs = FormatSettings();
        fs.DateSeparator = '-';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = "yyyy-m-d";
        fs.LongTimeFormat = "hh:nn:ss";
        fs.DecimalSeparator = '.';
        fs.CurrencyString = "$";
        fs.CurrencyFormat = 0;
        fs.CurrencyDecimals = 2;
    }
    ~FixedFormats() { FormatSettings() = saved_; }

private:
    TFormatSettings saved_;
};

// Points the Jet copy cache at a folder of the test, restored afterwards.
class CacheDirScope {
public:
    explicit CacheDirScope(const std::string& dir) {
        if (const char* old = std::getenv("LUMETRA_CACHE_DIR")) saved_ = old, had_ = true;
        setenv("LUMETRA_CACHE_DIR", dir.c_str(), 1);
    }
    ~CacheDirScope() {
        if (had_)
            setenv("LUMETRA_CACHE_DIR", saved_.c_str(), 1);
        else
            unsetenv("LUMETRA_CACHE_DIR");
    }

private:
    std::string saved_;
    bool had_ = false;
};

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
