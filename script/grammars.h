#pragma once
// The grammars of the four built-in script languages, embedded from script/grammars/*.xml at
// build time.

#include <string_view>

std::string_view ksPascalScriptGrammar();
std::string_view ksCppScriptGrammar();
std::string_view ksBasicScriptGrammar();
std::string_view ksJScriptGrammar();
