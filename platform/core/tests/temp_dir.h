#pragma once
// A fresh folder under the temporary folder for one test, removed with everything in it.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/core/safe_file.h"

class TempDir {
public:
    TempDir() {
        std::string pattern = TempFolder() + "/lumetra-test-XXXXXX";
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    static std::string ReadAll(const std::string& fileName) {
        std::ifstream in(fileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteAll(const std::string& fileName, const std::string& data) {
        std::ofstream(fileName, std::ios::binary) << data;
    }
    std::size_t EntryCount() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path_))
            ++n;
        return n;
    }

private:
    std::string path_;
};
