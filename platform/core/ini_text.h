#pragma once
// Text helpers shared by the INI files and the settings store; private to platform/core.

#include <string>
#include <vector>

class TStrings;

// The value of a hexadecimal digit, -1 for any other character.
int HexDigitValue(char c);

// Replaces the lines of a string list, in one update.
void AssignLines(TStrings& strings, const std::vector<std::string>& lines);
