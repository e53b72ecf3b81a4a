#pragma once
// The core string table (resources/core_strings.xml), built into the program at compile time.

#include <string_view>

std::string_view CoreStringsXML();
