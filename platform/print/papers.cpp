#include "platform/print/papers.h"

#include <algorithm>
#include <array>

#include "platform/core/properties.h"

namespace {

constexpr std::array<TPaperSizeInfo, 66> kPapers = {{
    {1, "Letter", 2159, 2794},
    {2, "Letter Small", 2159, 2794},
    {3, "Tabloid", 2794, 4318},
    {4, "Ledger", 4318, 2794},
    {5, "Legal", 2159, 3556},
    {6, "Statement", 1397, 2159},
    {7, "Executive", 1842, 2667},
    {8, "A3", 2970, 4200},
    {9, "A4", 2100, 2970},
    {10, "A4 Small", 2100, 2970},
    {11, "A5", 1480, 2100},
    {12, "B4 (JIS)", 2500, 3540},
    {13, "B5 (JIS)", 1820, 2570},
    {14, "Folio", 2159, 3302},
    {15, "Quarto", 2150, 2750},
    {16, "10x14", 2540, 3556},
    {17, "11x17", 2794, 4318},
    {18, "Note", 2159, 2794},
    {19, "Envelope #9", 984, 2254},
    {20, "Envelope #10", 1048, 2413},
    {21, "Envelope #11", 1143, 2635},
    {22, "Envelope #12", 1207, 2794},
    {23, "Envelope #14", 1270, 2921},
    {24, "C size sheet", 4318, 5588},
    {25, "D size sheet", 5588, 8636},
    {26, "E size sheet", 8636, 11176},
    {27, "Envelope DL", 1100, 2200},
    {28, "Envelope C5", 1620, 2290},
    {29, "Envelope C3", 3240, 4580},
    {30, "Envelope C4", 2290, 3240},
    {31, "Envelope C6", 1140, 1620},
    {32, "Envelope C65", 1140, 2290},
    {33, "Envelope B4", 2500, 3530},
    {34, "Envelope B5", 1760, 2500},
    {35, "Envelope B6", 1760, 1250},
    {36, "Envelope Italy", 1100, 2300},
    {37, "Envelope Monarch", 984, 1905},
    {38, "6 3/4 Envelope", 920, 1651},
    {39, "US Std Fanfold", 3778, 2794},
    {40, "German Std Fanfold", 2159, 3048},
    {41, "German Legal Fanfold", 2159, 3302},
    {42, "B4 (ISO)", 2500, 3530},
    {43, "Japanese Postcard", 1000, 1480},
    {44, "9x11", 2286, 2794},
    {45, "10x11", 2540, 2794},
    {46, "15x11", 3810, 2794},
    {47, "Envelope Invite", 2200, 2200},
    {50, "Letter Extra", 2355, 3048},
    {51, "Legal Extra", 2355, 3810},
    {52, "Tabloid Extra", 2969, 4572},
    {53, "A4 Extra", 2354, 3223},
    {54, "Letter Transverse", 2101, 2794},
    {55, "A4 Transverse", 2100, 2970},
    {56, "Letter Extra Transverse", 2355, 3048},
    {57, "Super A", 2270, 3560},
    {58, "Super B", 3050, 4870},
    {59, "Letter Plus", 2159, 3223},
    {60, "A4 Plus", 2100, 3300},
    {61, "A5 Transverse", 1480, 2100},
    {62, "B5 (JIS) Transverse", 1820, 2570},
    {63, "A3 Extra", 3220, 4450},
    {64, "A5 Extra", 1740, 2350},
    {65, "B5 (ISO) Extra", 2010, 2760},
    {66, "A2", 4200, 5940},
    {67, "A3 Transverse", 2970, 4200},
    {68, "A3 Extra Transverse", 3220, 4450},
}};

static_assert(std::is_sorted(kPapers.begin(), kPapers.end(),
                             [](const TPaperSizeInfo& a, const TPaperSizeInfo& b) {
                                 return a.Code < b.Code;
                             }));

std::function<TPrinterPaper()>& paperHook() {
    static std::function<TPrinterPaper()> hook;
    return hook;
}

} // namespace

const TTypeInfo& TypeInfoPrinterOrientation() {
    static const TTypeInfo& type =
        DefineEnumType("TPrinterOrientation", {"poPortrait", "poLandscape"});
    return type;
}

std::span<const TPaperSizeInfo> PaperSizes() {
    return kPapers;
}

const TPaperSizeInfo* FindPaperSizeInfo(int paperCode) {
    auto it = std::lower_bound(kPapers.begin(), kPapers.end(), paperCode,
                               [](const TPaperSizeInfo& row, int code) { return row.Code < code; });
    return it != kPapers.end() && it->Code == paperCode ? &*it : nullptr;
}

bool FindPaperSize(int paperCode, double& width, double& height) {
    const TPaperSizeInfo* row = FindPaperSizeInfo(paperCode);
    if (!row) return false;
    width = row->Width / 10.0;
    height = row->Height / 10.0;
    return true;
}

void SetCurrentPrinterPaperHook(std::function<TPrinterPaper()> hook) {
    paperHook() = std::move(hook);
}

TPrinterPaper CurrentPrinterPaper() {
    if (const auto& hook = paperHook()) return hook();
    return {};
}
