// libFuzzer entry over the RTF codec; start its corpus from platform/richedit/tests/testdata.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/richedit/fuzz/rtf_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string fault =
        rtf_check::Fault(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!fault.empty()) {
        std::fprintf(stderr, "RTF codec fault: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
