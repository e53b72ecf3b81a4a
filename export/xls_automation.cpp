#include "export/xls_automation.h"

#include <algorithm>
#include <exception>

#include "platform/core/object_handle.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "script/automation.h"

namespace {

// The spreadsheet program's edge indices and its continuous line.
constexpr int kEdgeLeft = 7;
constexpr int kEdgeTop = 8;
constexpr int kEdgeBottom = 9;
constexpr int kEdgeRight = 10;
constexpr int kContinuous = 1;
// Orientation values of its page setup.
constexpr int kPortrait = 1;
constexpr int kLandscape = 2;

// Columns a range may use: the old workbook format has 256.
constexpr int kColumnLimit = 256;

bool has(TpgwFrameTypes sides, TpgwFrameType side) {
    return (sides & FrameSide(side)) != 0;
}

// Shows a progress window unless the user already cancelled one (showing resets that).
void startProgress(TpgwProgress* progress, int maximum, const std::string& message) {
    if (progress && !progress->Cancelled()) progress->Execute(maximum, message, true, true);
}

// One step; false once the user cancelled.
bool step(TpgwProgress* progress) {
    if (!progress) return true;
    progress->Tick();
    return !progress->Cancelled();
}

// Whether batch and entry still fit into one address.
bool fits(const std::string& batch, const std::string& entry) {
    return batch.size() + 1 + entry.size() <= TpgwExcel::kMaxAddressLength;
}

} // namespace

TpgwExcel::TpgwExcel() = default;

TpgwExcel::~TpgwExcel() = default;

Variant TpgwExcel::Get(const Variant& object, const std::string& member,
                       const std::vector<Variant>& args) {
    return ksDispatchCall(object, member, args, DISPATCH_METHOD, true);
}

void TpgwExcel::Set(const Variant& object, const std::string& member, const Variant& value) {
    ksDispatchCall(object, member, {value}, DISPATCH_PROPERTYPUT, false);
}

void TpgwExcel::Call(const Variant& object, const std::string& member,
                     const std::vector<Variant>& args) {
    ksDispatchCall(object, member, args, DISPATCH_METHOD, false);
}

void TpgwExcel::Start() {
    opened_ = false;
    try {
        server_ = std::make_unique<TksAutomationObject>(CreateOleDispatch(kProgId));
        application_ = ObjectToVariant<TObject>(server_.get());
        Set(application_, "ScreenUpdating", Variant(false));
        Set(application_, "DisplayAlerts", Variant(false));
        workbook_ = Get(Get(application_, "WorkBooks"), "Add");
        worksheet_ = Get(Get(workbook_, "WorkSheets"), "Item", {Variant(1)});
        opened_ = true;
    } catch (const std::exception&) {
        // Not installed, or it refused to start: the export tells the user.
        workbook_ = worksheet_ = Variant();
        ReleaseApplication();
    }
}

void TpgwExcel::ReleaseApplication() {
    application_ = Variant();
    server_.reset();
}

void TpgwExcel::SetVisible(bool visible) {
    if (opened_) Set(application_, "Visible", Variant(visible));
}

std::string TpgwExcel::ColumnName(int column) {
    // Letters as digits 1..26 without a zero: 26 is Z, 27 AA, 702 ZZ, 703 AAA.
    std::string name;
    for (int n = column; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

std::string TpgwExcel::CellName(int column, int row) {
    return ColumnName(column) + std::to_string(row);
}

bool TpgwExcel::ClipRange(int& column, int& columnCount) {
    if (column >= kColumnLimit) column = kColumnLimit - 1;
    if (column + columnCount >= kColumnLimit) columnCount = kColumnLimit - 1 - column;
    return columnCount > 0;
}

void TpgwExcel::SetColumnWidth(int column, double width) {
    if (!(width > 0 && width < 256 && column < kColumnLimit)) return;
    try {
        Set(Get(Get(worksheet_, "Columns"), "Columns", {Variant(column)}), "ColumnWidth",
            Variant(width));
    } catch (const std::exception&) {
        // A refused width leaves the column as it is.
    }
}

void TpgwExcel::SetRowHeight(int row, double height) {
    if (!(height > 0)) return;
    Set(Get(Get(worksheet_, "Rows"), "Rows", {Variant(row)}), "RowHeight",
        Variant(std::min(height, kMaxRowHeight)));
}

void TpgwExcel::MergeRange() {
    Set(range_, "MergeCells", Variant(true));
}

void TpgwExcel::SetPageSetup(TPrinterOrientation orientation, double bottom, double top,
                             double right, double left) {
    try {
        const auto margin = [this](const char* name, double value) {
            Set(Get(Get(application_, "ActiveSheet"), "PageSetup"), name, Variant(value));
        };
        margin("LeftMargin", left);
        margin("RightMargin", right);
        margin("TopMargin", top);
        margin("BottomMargin", bottom);
        Set(Get(worksheet_, "PageSetup"), "Orientation",
            Variant(orientation == poLandscape ? kLandscape : kPortrait));
    } catch (const std::exception&) {
        // The sheet keeps the program's own page setup.
    }
}

bool TpgwExcel::SelectRange(int column, int row, int rowCount, int columnCount) {
    if (!ClipRange(column, columnCount) || rowCount <= 0) return false;
    try {
        range_ = Get(worksheet_, "Range",
                     {Variant(CellName(column, row)),
                      Variant(CellName(column + columnCount - 1, row + rowCount - 1))});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TpgwExcel::SetBorders(TpgwFrameTypes sides) {
    const auto line = [](const Variant& borders, int edge) {
        Set(Get(borders, "Item", {Variant(edge)}), "Linestyle", Variant(kContinuous));
    };
    if (has(sides, ftLeft)) line(Get(Get(range_, "Cells"), "Borders"), kEdgeLeft);
    if (has(sides, ftRight)) line(Get(Get(range_, "Cells"), "Borders"), kEdgeRight);
    if (has(sides, ftTop)) line(Get(range_, "Borders"), kEdgeTop);
    if (has(sides, ftBottom)) line(Get(range_, "Borders"), kEdgeBottom);
}

void TpgwExcel::SetRangeStyle(const std::string& addresses, int style) {
    if (addresses.empty()) return;
    try {
        Set(Get(worksheet_, "Range", {Variant(addresses)}), "Style",
            Variant("S" + std::to_string(style)));
    } catch (const std::exception&) {
        // These cells keep the default style.
    }
}

void TpgwExcel::SetRangeBorders(const std::string& addresses, TpgwFrameTypes sides) {
    if (addresses.empty() || (sides & ftAll) == 0) return;
    try {
        const Variant borders =
            Get(Get(Get(worksheet_, "Range", {Variant(addresses)}), "Cells"), "Borders");
        const std::pair<TpgwFrameType, int> edges[] = {
            {ftLeft, kEdgeLeft}, {ftRight, kEdgeRight}, {ftTop, kEdgeTop}, {ftBottom, kEdgeBottom}};
        for (const auto& [side, edge] : edges)
            if (has(sides, side))
                Set(Get(borders, "Item", {Variant(edge)}), "Linestyle", Variant(kContinuous));
    } catch (const std::exception&) {
        // These cells keep the lines they have.
    }
}

void TpgwExcel::SetRangeNumberFormat(const std::string& addresses, const std::string& format) {
    if (addresses.empty()) return;
    try {
        Set(Get(worksheet_, "Range", {Variant(addresses)}), "NumberFormat", Variant(format));
    } catch (const std::exception&) {
        // These cells show their values in the general format.
    }
}

void TpgwExcel::SetRowHeights(const TpgwRangeList& ranges, const std::vector<double>& heights,
                              TpgwProgress* progress, int rowCount, int mostUsed) {
    if (ranges.empty()) return;
    const auto height = [&heights](int index) {
        return Variant(index >= 0 && index < static_cast<int>(heights.size())
                           ? heights[static_cast<std::size_t>(index)]
                           : 0.0);
    };
    const auto send = [&](const std::string& batch, int index, bool throughRows) {
        try {
            Variant target = Get(worksheet_, "Range", {Variant(batch)});
            if (throughRows) target = Get(target, "Rows");
            Set(target, "RowHeight", height(index));
        } catch (const std::exception&) {
            // These rows keep the most used height.
        }
    };
    startProgress(progress, static_cast<int>(ranges.size()),
                  GetResources().GetText("ProgressRows") + " - 2");
    Set(Get(worksheet_, "Range", {Variant("A1:A" + std::to_string(rowCount))}), "RowHeight",
        height(mostUsed));

    std::string batch = ranges.front().first;
    int current = ranges.front().second;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (!step(progress)) break;
        const auto& [entry, index] = ranges[i];
        if (index == mostUsed) continue;
        if (index == current) {
            if (fits(batch, entry)) {
                batch += ';';
                batch += entry;
            } else {
                send(batch, current, false);
                batch = entry;
            }
            continue;
        }
        if (current != mostUsed) send(batch, current, false);
        batch = entry;
        current = index;
    }
    if (!batch.empty()) send(batch, current, true);
}

void TpgwExcel::sendRanges(TpgwRangeListKind kind, const std::string& batch, int value) {
    switch (kind) {
    case rlStyles:
        SetRangeStyle(batch, value);
        break;
    case rlBorders:
        SetRangeBorders(batch, static_cast<TpgwFrameTypes>(value));
        break;
    case rlMerges:
        try {
            Set(Get(worksheet_, "Range", {Variant(batch)}), "MergeCells", Variant(true));
        } catch (const std::exception&) {
            // These objects stay in their first cells.
        }
        break;
    }
}

void TpgwExcel::ApplyRangeList(const TpgwRangeList& ranges, TpgwRangeListKind kind,
                               TpgwProgress* progress) {
    if (ranges.empty()) return;
    startProgress(progress, static_cast<int>(ranges.size()),
                  GetResources().GetText("ProgressStyles") + " - " +
                      std::to_string(static_cast<int>(kind) + 1));
    std::string batch = ranges.front().first;
    int value = ranges.front().second;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (!step(progress)) break;
        const auto& [entry, object] = ranges[i];
        if (object == value && fits(batch, entry)) {
            batch += listSeparator_;
            batch += entry;
            continue;
        }
        sendRanges(kind, batch, value);
        batch = entry;
        value = object;
    }
    sendRanges(kind, batch, value);
}

void TpgwExcel::ApplyNumberFormats(const std::vector<std::string>& lines, TpgwProgress* progress) {
    if (lines.empty()) return;
    startProgress(progress, static_cast<int>(lines.size()), "Data formats");
    const auto split = [](const std::string& line) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) return std::pair<std::string, std::string>(line, "");
        return std::pair(line.substr(0, equals), line.substr(equals + 1));
    };
    auto [format, batch] = split(lines.front());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!step(progress)) break;
        auto [lineFormat, address] = split(lines[i]);
        if (lineFormat == format && fits(batch, address)) {
            batch += listSeparator_;
            batch += address;
            continue;
        }
        SetRangeNumberFormat(batch, format);
        format = std::move(lineFormat);
        batch = std::move(address);
    }
    SetRangeNumberFormat(batch, format);
}
