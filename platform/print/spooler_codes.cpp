#include "platform/print/spooler_codes_p.h"

#include <QPageSize>
#include <QSizeF>

#include <array>
#include <cmath>
#include <utility>

#include "platform/print/papers.h"
#include "platform/print/print_backend.h"

namespace {
bool near(double a, double b) {
    return std::abs(a - b) <= 0.5;
}

bool fits(const TPaperSizeInfo& row, double w, double h) {
    return near(row.Width / 10.0, w) && near(row.Height / 10.0, h);
}
} // namespace

int PaperCodeForSize(double w, double h) {
    // The toolkit knows which standard size this is (A4 rather than "A4 Small" of the same
    // size); its code counts only when the table agrees on the size.
    const QPageSize size(QSizeF(w, h), QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    if (size.isValid()) {
        const TPaperSizeInfo* row = FindPaperSizeInfo(size.windowsId());
        if (row && fits(*row, w, h)) return row->Code;
    }
    for (const TPaperSizeInfo& row : PaperSizes())
        if (fits(row, w, h)) return row.Code;
    return 0;
}

int BinCodeForSource(std::string_view keyword) {
    static constexpr std::array<std::pair<std::string_view, int>, 14> sources = {{
        {"auto", DMBIN_AUTO},
        {"main", DMBIN_UPPER},
        {"top", DMBIN_UPPER},
        {"tray-1", DMBIN_UPPER},
        {"upper", DMBIN_UPPER},
        {"bottom", DMBIN_LOWER},
        {"lower", DMBIN_LOWER},
        {"tray-2", DMBIN_LOWER},
        {"middle", DMBIN_MIDDLE},
        {"manual", DMBIN_MANUAL},
        {"envelope", DMBIN_ENVELOPE},
        {"large-capacity", DMBIN_LARGECAPACITY},
        {"by-pass-tray", DMBIN_MANUAL},
        {"continuous", DMBIN_TRACTOR},
    }};
    for (const auto& [name, code] : sources)
        if (name == keyword) return code;
    return 0;
}

int DuplexForSides(std::string_view keyword) {
    if (keyword == "one-sided") return DMDUP_SIMPLEX;
    if (keyword == "two-sided-long-edge") return DMDUP_VERTICAL;
    if (keyword == "two-sided-short-edge") return DMDUP_HORIZONTAL;
    return 0;
}

const char* SidesForDuplex(int duplex) {
    switch (duplex) {
    case DMDUP_VERTICAL:
        return "two-sided-long-edge";
    case DMDUP_HORIZONTAL:
        return "two-sided-short-edge";
    default:
        return "one-sided";
    }
}
