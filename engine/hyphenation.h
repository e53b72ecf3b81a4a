#pragma once
// Word hyphenation for wrapping with word break: fixed letter classes of the Russian alphabet
// and a few rules for where a hyphen may go. Letters are compared as Unicode characters, so
// the rules hold whatever the system's legacy code page is.

#include <string>
#include <string_view>
#include <vector>

// True when s has at least 2 characters and one of them is a vowel.
bool HasVowel(std::u16string_view s);
// The 1-based positions, ascending, after which a hyphen may go in word (already upper case).
// Positions above 127 are never offered, as the positions travel as 8-bit legacy characters.
std::vector<int> Hyphenate(std::u16string_view word);
// pos (1-based) is the first character of s that no longer fits on the line that begins at
// start: the part of the word to put before a hyphen, in its own case, or empty.
std::u16string HyphenateWord(std::u16string_view s, int start, int pos);
