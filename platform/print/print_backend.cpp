#include "platform/print/print_backend.h"

TPrintDevice::~TPrintDevice() = default;
TPrintBackend::~TPrintBackend() = default;

namespace {
std::unique_ptr<TPrintBackend>& installed() {
    static std::unique_ptr<TPrintBackend> backend;
    return backend;
}
} // namespace

TPrintBackend& PrintBackend() {
    auto& backend = installed();
    if (!backend) backend = CreateSystemPrintBackend();
    return *backend;
}

std::unique_ptr<TPrintBackend> SetPrintBackend(std::unique_ptr<TPrintBackend> backend) {
    std::unique_ptr<TPrintBackend> previous = std::move(installed());
    installed() = std::move(backend);
    return previous;
}
