#pragma once
// The spooler's names for papers, paper sources and sides, and the codes page set-up uses.

#include <string>
#include <string_view>

// The paper code of a paper of that portrait size (within half a millimetre), through the
// toolkit's standard page sizes; 0 when the paper table has no such paper.
int PaperCodeForSize(double widthMm, double heightMm);

// The bin code of a standard paper source keyword ("tray-1", "manual", ...); 0 for another.
int BinCodeForSource(std::string_view keyword);

// DMDUP_* of a "sides" keyword; 0 for an unknown one. And back: "one-sided" for any code but
// the two-sided ones.
int DuplexForSides(std::string_view keyword);
const char* SidesForDuplex(int duplex);
