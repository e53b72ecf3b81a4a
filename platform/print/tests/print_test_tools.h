#pragma once
// Running the independent PDF readers on our output; a test skips when a reader is missing.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/core/tests/run_tool.h"

namespace print_test {

using ::HaveTool;
using ::RunTool;

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumetra-print-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace print_test
