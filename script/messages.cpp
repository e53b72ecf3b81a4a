#include "script/messages.h"

TksMessages& ksMessages() {
    static TksMessages messages;
    return messages;
}
