#pragma once
// The process-wide list of script languages: a name and its grammar text each, in registration
// order. The four built-in languages are registered on first use, in the order JScript,
// BasicScript, C++Script, PascalScript.

#include <string>
#include <string_view>

class TStrings;

// Replaces the grammar of that name (case-insensitive) or appends a new language.
void RegisterLanguage(std::string_view name, std::string_view grammar);
// Raises Exception("Language '<name>' not found") for an unknown name.
std::string GetLanguage(std::string_view name);
// Clears the list, then adds every registered name that does not begin with "@".
void GetLanguageList(TStrings& list);
