// Text helpers shared by the INI files and the settings store.
#include "platform/core/ini_text.h"

#include "platform/core/string_list.h"

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AssignLines(TStrings& strings, const std::vector<std::string>& lines) {
    strings.BeginUpdate();
    try {
        strings.Clear();
        for (const std::string& line : lines)
            strings.Add(line);
    } catch (...) {
        strings.EndUpdate();
        throw;
    }
    strings.EndUpdate();
}
