#include "engine/png_errors.h"

std::string PngZlibErrorMessage(int code) {
    const char* description = "";
    switch (code) {
    case -6:
        description = "incompatible version (-6)";
        break;
    case -5:
        description = "buffer error (-5)";
        break;
    case -4:
        description = "insufficient memory (-4)";
        break;
    case -3:
        description = "data error (-3)";
        break;
    case -2:
        description = "stream error (-2)";
        break;
    case -1:
        description = "file error (-1)";
        break;
    case 0:
        description = "(0)";
        break;
    case 1:
        description = "stream end (1)";
        break;
    case 2:
        description = "need dictionary (2)";
        break;
    default:
        break;
    }
    std::string message = png_messages::ZLIBError;
    message += "\r\n Description: ";
    message += description;
    return message;
}
