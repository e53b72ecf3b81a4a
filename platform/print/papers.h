#pragma once
// The standard paper sizes under the platform's paper codes, and the paper of the current
// printer as the printer layer reports it. Lengths are millimetres unless a field says
// otherwise.

#include <cstdint>
#include <functional>
#include <span>

class TTypeInfo;

enum TPrinterOrientation : std::uint8_t { poPortrait, poLandscape };
// The enumeration as published properties declare it ("TPrinterOrientation").
const TTypeInfo& TypeInfoPrinterOrientation();

// The code of a user-defined paper size; never in the table.
inline constexpr int kCustomPaperSize = 256;

struct TPaperSizeInfo {
    int Code;
    const char* Name; // the paper's standard name ("A4")
    int Width;        // tenths of a millimetre, portrait
    int Height;
};

// The 66 standard papers (codes 1-47 and 50-68), in code order.
std::span<const TPaperSizeInfo> PaperSizes();
// The row of that code, or none.
const TPaperSizeInfo* FindPaperSizeInfo(int paperCode);
// The portrait size of a paper code in mm; false (sizes untouched) for a code not in the table,
// 256 included.
bool FindPaperSize(int paperCode, double& width, double& height);

// Paper code, size in the paper's orientation, and orientation.
struct TPrinterPaper {
    int PaperSize = 9;
    double PaperWidth = 210;
    double PaperHeight = 297;
    TPrinterOrientation Orientation = poPortrait;
};

// The printer layer installs the hook at start-up; until then (and after it is cleared with an
// empty function) the current printer is the virtual printer with A4 portrait.
void SetCurrentPrinterPaperHook(std::function<TPrinterPaper()> hook);
TPrinterPaper CurrentPrinterPaper();
