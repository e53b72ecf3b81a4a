#pragma once
// The text of a system error number for messages; private to platform/core.

#include <string>

// The system's text ending in a full stop, e.g. "No space left on device.".
std::string SystemReason(int errorNumber);
