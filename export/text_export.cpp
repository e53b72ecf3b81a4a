#include "export/text_export.h"

#include <algorithm>

#include "engine/dialog_building.h"
#include "export/ie_matrix.h"
#include "export/text_matrix.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/resources.h"
#include "report/view.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

constexpr double kUnset = 65535;

// A count or position from a quotient: nearest whole number, halves to even.
long long Whole(double value) {
    return Round(value);
}

} // namespace

// ---- character grid ----------------------------------------------------------------------------

TpgwTextGrid::TpgwTextGrid(int columns, int lines)
    : columns_(std::max(columns, 0)), lines_(std::max(lines, 0)),
      cells_(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(lines_), ' ') {}

void TpgwTextGrid::Put(long long position, char c) {
    if (position < 0 || position >= static_cast<long long>(cells_.size())) return;
    cells_[static_cast<std::size_t>(position)] = c;
}

char TpgwTextGrid::At(int column, int row) const {
    if (column < 0 || row < 0 || column >= columns_ || row >= lines_) return ' ';
    return cells_[static_cast<std::size_t>(row) * columns_ + column];
}

void TpgwTextGrid::SqueezeColumns() {
    if (columns_ == 0) return;
    std::vector<bool> keep(static_cast<std::size_t>(columns_), true);
    auto blank = [&](int column) {
        for (int row = 0; row < lines_; ++row)
            if (At(column, row) != ' ') return false;
        return true;
    };
    // Deleting a column moves the rest left; marking the deleted ones and copying once gives the
    // same rows. The walk stops before the last column, which stays.
    int budget = 2;
    for (int column = 0; column + 1 < columns_; ++column) {
        if (!blank(column)) {
            budget = 2;
        } else if (budget > 0) {
            --budget;
        } else {
            keep[static_cast<std::size_t>(column)] = false;
        }
    }
    std::vector<char> squeezed(cells_.size(), ' ');
    for (int row = 0; row < lines_; ++row) {
        int to = 0;
        for (int column = 0; column < columns_; ++column)
            if (keep[static_cast<std::size_t>(column)])
                squeezed[static_cast<std::size_t>(row) * columns_ + to++] = At(column, row);
    }
    cells_ = std::move(squeezed);
}

std::string TpgwTextGrid::Row(int row) const {
    std::string text;
    for (int column = 0; column < columns_; ++column)
        text += At(column, row);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// ---- dialog ------------------------------------------------------------------------------------

TpgwSimpleTextExportDialog::TpgwSimpleTextExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8800"), res("8302"), 100) {
    PageBreaksCB = PlaceControl<TCheckBox>(GroupQuality, this, 12, 20, 200, 17);
    PageBreaksCB->SetCaption(GetResources().GetTextById(6));
    FramesCB = PlaceControl<TCheckBox>(GroupQuality, this, 12, 40, 200, 17);
    FramesCB->SetCaption(res("8312"));
    EmptyLinesCB = PlaceControl<TCheckBox>(GroupQuality, this, 12, 60, 200, 17);
    EmptyLinesCB->SetCaption(res("8305"));
    OEMCB = PlaceControl<TCheckBox>(GroupQuality, this, 12, 80, 200, 17);
    OEMCB->SetCaption(res("8304"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwSimpleTextExport::TpgwSimpleTextExport(TComponent* owner) : TpgwTextMatrixExport(owner, 0.5) {
    init();
}

TpgwSimpleTextExport::TpgwSimpleTextExport(UnlistedTag tag) : TpgwTextMatrixExport(tag, 0.5) {
    init();
}

TpgwSimpleTextExport::~TpgwSimpleTextExport() = default;

void TpgwSimpleTextExport::init() {
    SetFileFilter(res("8801"));
    SetFileExtension(res("8802"));
}

void TpgwSimpleTextExport::RegisterProperties(TClassBuilder<TpgwSimpleTextExport>& b) {
    using F = TpgwSimpleTextExport;
    b.Add("PageBreaks", &F::PageBreaks, &F::SetPageBreaks).Default(1);
    b.Add("Frames", &F::Frames, &F::SetFrames).Default(0);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines).Default(0);
}

std::string TpgwSimpleTextExport::FilterCaption() const {
    return res("SimpleTextExport");
}

std::unique_ptr<TpgwExportDialog> TpgwSimpleTextExport::CreateDialog() {
    return std::make_unique<TpgwSimpleTextExportDialog>(nullptr);
}

void TpgwSimpleTextExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwSimpleTextExportDialog&>(dialog);
    d.PageBreaksCB->SetChecked(pageBreaks_);
    d.FramesCB->SetChecked(frames_);
    d.EmptyLinesCB->SetChecked(emptyLines_);
    d.OEMCB->SetChecked(OEMCodepage());
}

void TpgwSimpleTextExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwSimpleTextExportDialog&>(dialog);
    pageBreaks_ = d.PageBreaksCB->Checked();
    frames_ = d.FramesCB->Checked();
    emptyLines_ = d.EmptyLinesCB->Checked();
    SetOEMCodepage(d.OEMCB->Checked());
}

void TpgwSimpleTextExport::EnterPage(TpgwComponent* page, int index) {
    TpgwTextMatrixExport::EnterPage(page, index);
    charWidth_ = lineHeight_ = kUnset;
}

void TpgwSimpleTextExport::measure(const TpgwIEMObject& object) {
    const double size = object.Style ? object.Style->Font.Size() : 0;
    // An object without a font size says nothing about the grid (it would divide by zero).
    if (size <= 0) return;
    std::size_t longest = 0;
    for (int i = 0; i < object.Memo.Count(); ++i)
        longest = std::max(longest, object.Memo.Strings(i).size());
    double w = 1;
    if (longest > 0) {
        w = 6 * object.Width / (size * static_cast<double>(longest));
        if (w < 1) w = 1;
    }
    const int n = object.Memo.Count();
    const double h = n > 0 ? 5 * object.Height / (n * size) : 0;
    if (w != 0 && w < charWidth_) charWidth_ = w;
    if (h != 0 && h < lineHeight_) lineHeight_ = h;
}

void TpgwSimpleTextExport::place(TpgwTextGrid& grid, const TpgwIEMObject& object) const {
    const long long columns = grid.Columns();
    const long long x = Whole(object.Left / charWidth_);
    const long long y = Whole(object.Top / lineHeight_);
    const long long width = Whole(object.Width / charWidth_) - 2;
    const TpgwHAlign align = object.Style ? object.Style->HAlign : haLeft;
    for (int i = 0; i < object.Memo.Count(); ++i) {
        std::string line = ExportAnsiText(object.Memo.Strings(i));
        const long long length = static_cast<long long>(line.size());
        if (length < width) {
            const auto pad = [](long long n) {
                return std::string(static_cast<std::size_t>(n), ' ');
            };
            if (align == haRight) {
                line = pad(width - length) + line;
            } else if (align == haCenter) {
                const long long front = width / 2 - length / 2;
                line = pad(std::max(front, 0LL)) + line;
                if (static_cast<long long>(line.size()) < width)
                    line += pad(width - static_cast<long long>(line.size()));
            } else {
                line += pad(width - length);
            }
        }
        for (std::size_t k = 0; k < line.size(); ++k)
            grid.Put((y + i) * columns + x + static_cast<long long>(k), line[k]);
    }
    if (!frames_ || !object.Style) return;
    const TpgwFrameTypes sides = object.Style->FrameSides;
    const long long rows = Whole(object.Height / lineHeight_);
    const long long cols = Whole(object.Width / charWidth_);
    for (long long r = y; r < y + rows; ++r) {
        if (sides & FrameSide(ftLeft)) grid.Put(r * columns + x - 1, '|');
        if (sides & FrameSide(ftRight)) grid.Put(r * columns + x + cols - 2, '|');
    }
    for (long long c = x - 1; c <= x + cols - 2; ++c) {
        if (sides & FrameSide(ftTop)) grid.Put((y - 1) * columns + c, '-');
        if (sides & FrameSide(ftBottom)) grid.Put((y + rows - 1) * columns + c, '-');
    }
}

void TpgwSimpleTextExport::LeavePage(TpgwComponent* page, int) {
    TpgwIEMatrix& m = Matrix();
    m.Prepare();
    for (int i = 0; i < m.ObjectCount(); ++i)
        if (TpgwIEMObject* object = m.ObjectById(i)) measure(*object);
    const long long columns = page ? Whole(page->Width() / charWidth_) : 0;
    const long long lines = page ? Whole(page->Height() / lineHeight_) : 0;
    // A page of a few huge or tiny objects must not ask for a grid beyond reason.
    constexpr long long kMaxCells = 1LL << 24;
    const long long c = std::clamp<long long>(columns, 0, kMaxCells);
    const long long l = std::clamp<long long>(lines, 0, c > 0 ? kMaxCells / c : 0);
    TpgwTextGrid grid(static_cast<int>(c), static_cast<int>(l));
    for (int y = 0; y + 1 < m.GridHeight(); ++y)
        for (int x = 0; x < m.GridWidth(); ++x)
            if (TpgwIEMObject* object = m.ObjectAt(x, y); object && object->Counter == 0) {
                // An object over several cells lands in the same place each time: once is enough.
                place(grid, *object);
                object->Counter = 1;
            }
    grid.SqueezeColumns();
    std::string out;
    for (int row = 0; row < grid.Lines(); ++row) {
        const std::string text = grid.Row(row);
        if (!text.empty() || emptyLines_) out += text + "\r\n";
    }
    if (pageBreaks_) out += '\f';
    Output().Write(out.data(), static_cast<std::int64_t>(out.size()));
}
