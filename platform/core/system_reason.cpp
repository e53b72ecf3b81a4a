// The text of a system error number for messages.
#include "platform/core/system_reason.h"

#include <cstring>

std::string SystemReason(int errorNumber) {
    std::string reason = std::strerror(errorNumber);
    if (!reason.empty() && reason.back() != '.') reason += '.';
    return reason;
}
