#include "export/txt_export.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/printers.h"
#include "export/export_formats.h"
#include "export/text_matrix.h"
#include "export/txt_printer_init.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/print/print_backend.h"
#include "report/memo_view.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/view.h"
#include "report/wide_strings.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

constexpr char kFormFeed = '\x0C';
constexpr int kOemCharset = 255;
// Report units per character cell at scale 1.
constexpr double kCellWidth = 7;
constexpr double kCellHeight = 8;
constexpr std::size_t kPrintPiece = 1024;
// A page this many cells wide times high is bad input, not a page: it is refused before the
// screen is allocated.
constexpr std::int64_t kMaxScreenCells = 64LL * 1024 * 1024;

// The simple and the graphic (code page 437 box drawing) frame sets: vertical, horizontal,
// top-left, top-right, bottom-left, bottom-right, ┴, ├, ┬, ┤, ┼.
constexpr std::string_view kSimpleFrames = "|-+++++++++";
constexpr std::string_view kGraphicFrames = "\xB3\xC4\xDA\xBF\xC0\xD9\xC1\xC3\xC2\xB4\xC5";
enum FrameChar {
    fcV,
    fcH,
    fcTopLeft,
    fcTopRight,
    fcBottomLeft,
    fcBottomRight,
    fcUp,
    fcRight,
    fcDown,
    fcLeft,
    fcCross
};

// The no-break space has no single byte in the legacy code page. Inside the grid text it is
// this byte (character 1 never survives there), so it neither breaks a line nor pairs up with
// a neighbour as a double-byte character; it reaches the screen as a space, or as its Latin
// byte 0xA0 for a printer set to the OEM code page.
constexpr char kNoBreakSpace = '\x01';

// A lead byte of a double-byte character of the legacy code page (936).
bool IsLeadByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

bool IsBreak(char c) {
    return c == '\t' || c == ' ' || c == '-';
}

// The memo's lines as grid text: joined by CR LF, character 1 dropped, no-break spaces marked.
std::string GridText(const TWideStrings& memo) {
    std::u16string text;
    for (int i = 0; i < memo.Count(); ++i) {
        if (i > 0) text += u"\r\n";
        text += memo.Strings(i);
    }
    std::erase(text, u'\x01');
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t nbsp = text.find(u'\u00A0', from);
        out += ExportAnsiText(std::u16string_view(text).substr(from, nbsp - from));
        if (nbsp == std::u16string::npos) break;
        out += kNoBreakSpace;
        from = nbsp + 1;
    }
    return out;
}

// The legacy ANSI line in the OEM code page, byte count kept; unchanged when it cannot be held.
std::string AnsiToOemText(const std::string& line) {
    if (line.empty()) return line;
    std::string oem = WideToAnsi(AnsiToWide(line, 1, 0), kOemCharset, 0);
    return oem.size() == line.size() ? oem : line;
}

// How many of the bytes from pos on make at most width bytes without splitting a double-byte
// character; a character wider than width is taken whole, so a line always advances.
std::size_t CutAt(std::string_view text, std::size_t pos, std::size_t width) {
    std::size_t i = pos;
    while (i < text.size() && i - pos < width) {
        const std::size_t n = IsLeadByte(text[i]) && i + 1 < text.size() ? 2 : 1;
        if (i + n - pos > width) return i > pos ? i - pos : n;
        i += n;
    }
    return i - pos;
}

std::int64_t Cells(double scale, double length, double cell) {
    return Round(scale * length / cell);
}

} // namespace

// A memo kept for the page: where it stands and what of it the grid shows.
struct TpgwTXTExport::KeptObject {
    double Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Text; // grid text
    TpgwHAlign HAlign = haLeft;
    TpgwVAlign VAlign = vaTop;
    TpgwFrameTypes Sides = 0;
};

struct TpgwTXTExport::PageState {
    std::unique_ptr<TSafeFileWriter> File;
    std::vector<KeptObject> Objects;
    double Right = 0;
    double Bottom = 0;
};

// The character screen of one page; writes outside it are dropped, reads outside give a space.
struct TpgwTXTExport::Screen {
    Screen(std::int64_t columns, std::int64_t rows)
        : Columns(columns), Rows(rows), Cells(static_cast<std::size_t>(columns * rows), ' ') {}
    char At(std::int64_t x, std::int64_t y) const {
        if (x < 0 || y < 0 || x >= Columns || y >= Rows) return ' ';
        return Cells[static_cast<std::size_t>(y * Columns + x)];
    }
    void Put(std::int64_t x, std::int64_t y, char c) {
        if (x < 0 || y < 0 || x >= Columns || y >= Rows) return;
        Cells[static_cast<std::size_t>(y * Columns + x)] = c;
    }
    std::int64_t Columns;
    std::int64_t Rows;
    std::string Cells;
};

TpgwTXTExport::TpgwTXTExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwTXTExport::TpgwTXTExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwTXTExport::~TpgwTXTExport() = default;

void TpgwTXTExport::init() {
    SetShowDialog(true);
    SetFileFilter(res("8801"));
    SetFileExtension(res("8802"));
    using namespace std::string_literals;

    AddPrinterType("NONE");

    int t = AddPrinterType("EPSON ESC/P2 Matrix/Stylus)");
    AddPrinterCommand(t, "Reset", "\x1B\x40", "");
    AddPrinterCommand(t, "Normal", "\x1B\x78\x00"s, "");
    AddPrinterCommand(t, "Pica", "\x1B\x78\x01\x1B\x6B\x00"s, "");
    AddPrinterCommand(t, "Elite", "\x1B\x78\x01\x1B\x6B\x01", "");
    AddPrinterCommand(t, "Condensed", "\x0F", "\x12");
    AddPrinterCommand(t, "Bold", "\x1B\x47", "\x1B\x48");
    AddPrinterCommand(t, "Italic", "\x1B\x34", "\x1B\x35");
    AddPrinterCommand(t, "Wide", "\x1B\x57\x01", "\x1B\x57\x00"s);
    AddPrinterCommand(t, "12cpi", "\x1B\x4D", "\x1B\x50");
    AddPrinterCommand(t, "Linefeed 1/8\"", "\x1B\x30", "");
    AddPrinterCommand(t, "Linefeed 7/72\"", "\x1B\x31", "");
    AddPrinterCommand(t, "Linefeed 1/6\"", "\x1B\x32", "");

    t = AddPrinterType("HP PCL (LaserJet/DeskJet)");
    AddPrinterCommand(t, "Reset", "\x1B\x45", "");
    AddPrinterCommand(t, "Landscape orientation", "\x1B\x26\x6C\x31\x4F", "\x1B\x26\x6C\x30\x4F");
    AddPrinterCommand(t, "Italic", "\x1B\x28\x73\x31\x53", "\x1B\x28\x73\x30\x53");
    AddPrinterCommand(t, "Bold", "\x1B\x28\x73\x33\x42", "\x1B\x28\x73\x30\x42");
    AddPrinterCommand(t, "Draft EconoMode", "\x1B\x28\x73\x31\x51", "\x1B\x28\x73\x32\x51");
    AddPrinterCommand(t, "Condenced", "\x1B\x28\x73\x31\x32\x48\x1B\x26\x6C\x38\x44",
                      "\x1B\x28\x73\x31\x30\x48");

    t = AddPrinterType("CANON/IBM (Matrix)");
    AddPrinterCommand(t, "Reset", "\x1B\x40", "");
    AddPrinterCommand(t, "Normal", "\x1B\x78\x00"s, "");
    AddPrinterCommand(t, "Pica", "\x1B\x30\x49", "");
    AddPrinterCommand(t, "Elite", "\x1B\x38\x49", "");
    AddPrinterCommand(t, "Condensed", "\x0F", "\x12");
    AddPrinterCommand(t, "Bold", "\x1B\x47", "\x1B\x48");
    AddPrinterCommand(t, "Italic", "\x1B\x34", "\x1B\x35");
    AddPrinterCommand(t, "12cpi", "\x1B\x4D", "\x1B\x50");
}

void TpgwTXTExport::RegisterProperties(TClassBuilder<TpgwTXTExport>& b) {
    using F = TpgwTXTExport;
    b.Add("ScaleWidth", TypeInfoExtended(), &F::ScaleWidth, &F::SetScaleWidth);
    b.Add("ScaleHeight", TypeInfoExtended(), &F::ScaleHeight, &F::SetScaleHeight);
    b.Add("Borders", &F::Borders, &F::SetBorders).Default(0);
    b.Add("Pseudogrpahic", &F::Pseudogrpahic, &F::SetPseudogrpahic).Default(0);
    b.Add("PageBreaks", &F::PageBreaks, &F::SetPageBreaks).Default(1);
    b.Add("OEMCodepage", &F::OEMCodepage, &F::SetOEMCodepage).Default(0);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines).Default(0);
    b.Add("LeadSpaces", &F::LeadSpaces, &F::SetLeadSpaces).Default(0);
    b.Add("PrintAfter", &F::PrintAfter, &F::SetPrintAfter).Default(0);
    b.Add("PrinterDialog", &F::PrinterDialog, &F::SetPrinterDialog).Default(1);
    b.Add("UseSavedProps", &F::UseSavedProps, &F::SetUseSavedProps).Default(1);
    b.Add("InitString", TypeInfoString(), &F::InitString, &F::SetInitString);
    b.Add("CustomFrameSet", TypeInfoString(), &F::CustomFrameSet, &F::SetCustomFrameSet);
}

std::string TpgwTXTExport::FilterCaption() const {
    return res("TextExport");
}

std::unique_ptr<TpgwExportDialog> TpgwTXTExport::CreateDialog() {
    return nullptr;
}

// ---- the run -----------------------------------------------------------------------------------

// Only a file: printing afterwards needs one, so a TargetStream is not written.
bool TpgwTXTExport::OpenOutput() {
    if (SlaveMode()) {
        const std::string reportFile =
            Report() ? ExtractFileName(NormalizeSlashes(Report()->FileName())) : std::string();
        if (reportFile.empty()) {
            // A unique stem; the file made to reserve it is not the output.
            const std::string reserved = MakeTempFileName();
            DeleteFile(reserved);
            SetFileName(ChangeFileExt(reserved, res("8326")));
        } else {
            SetFileName(IncludeTrailingPathDelimiter(GetTempDir()) +
                        ChangeFileExt(reportFile, res("8326")));
        }
    }
    page_ = std::make_unique<PageState>();
    if (FileName().empty()) return false;
    if (!DefaultPath().empty() && ExtractFilePath(FileName()).empty())
        SetFileName(IncludeTrailingPathDelimiter(DefaultPath()) + FileName());
    // Written under a temporary name and put in place only when the run completed.
    page_->File = std::make_unique<TSafeFileWriter>(FileName());
    return true;
}

void TpgwTXTExport::EnterPage(TpgwComponent* page, int index) {
    (void)page;
    (void)index;
    if (!page_) page_ = std::make_unique<PageState>();
    page_->Objects.clear();
    page_->Right = page_->Bottom = 0;
    maxWidth_ = 0;
    lineCount_ = 0;
}

void TpgwTXTExport::WriteItem(TpgwComponent* object) {
    if (!object || !page_) return;
    const double left = object->AbsLeft();
    const double top = object->AbsTop();
    if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object)) {
        const TpgwFrameTypes sides = memo->Frame()->Typ() & ftAll;
        if (memo->Memo()->Count() > 0 || sides != 0) {
            KeptObject kept;
            kept.Left = left;
            kept.Top = top;
            kept.Width = memo->Width();
            kept.Height = memo->Height();
            kept.Text = GridText(*memo->Memo());
            kept.HAlign = memo->HAlign();
            kept.VAlign = memo->VAlign();
            kept.Sides = sides;
            page_->Objects.push_back(std::move(kept));
        }
    }
    page_->Right = std::max(page_->Right, left + object->Width());
    page_->Bottom = std::max(page_->Bottom, top + object->Height());
}

void TpgwTXTExport::LeavePage(TpgwComponent* page, int index) {
    (void)page;
    (void)index;
    if (!page_) return;
    RenderPage();
}

void TpgwTXTExport::CloseOutput() {
    if (!page_) return;
    std::unique_ptr<PageState> run = std::move(page_);
    std::unique_ptr<TSafeFileWriter> file = std::move(run->File);
    // After a failed run the earlier file stays as it was.
    if (!file || RunFailed()) return;
    if (!pageBreaks_ && !previewMode_) file->WriteBuffer(&kFormFeed, 1);
    file->Commit();
    file.reset();
    PrintAfterExport();
}

void TpgwTXTExport::Write(const std::string& bytes) {
    if (page_ && page_->File && !bytes.empty())
        page_->File->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// ---- laying out a page -------------------------------------------------------------------------

std::string TpgwTXTExport::FrameSet() const {
    std::string set = !customFrameSet_.empty() ? customFrameSet_
                      : pseudographic_         ? std::string(kGraphicFrames)
                                               : std::string(kSimpleFrames);
    // A short set of the caller's own is completed from the simple one.
    if (set.size() < kSimpleFrames.size()) set += kSimpleFrames.substr(set.size());
    set.resize(kSimpleFrames.size());
    return set;
}

void TpgwTXTExport::RenderPage() {
    std::vector<KeptObject> objects = std::move(page_->Objects);
    page_->Objects.clear();
    std::stable_sort(objects.begin(), objects.end(), [](const KeptObject& a, const KeptObject& b) {
        if (a.Top != b.Top) return a.Top < b.Top;
        if (a.Left != b.Left) return a.Left < b.Left;
        return a.Text.size() < b.Text.size();
    });
    // Drawn by whole report units, ties in the order above.
    std::stable_sort(objects.begin(), objects.end(), [](const KeptObject& a, const KeptObject& b) {
        const std::int64_t ta = Round(a.Top), tb = Round(b.Top);
        if (ta != tb) return ta < tb;
        return Round(a.Left) < Round(b.Left);
    });

    const std::int64_t columns = Cells(scaleWidth_, page_->Right, kCellWidth) + 10;
    const std::int64_t rows = Cells(scaleHeight_, page_->Bottom, kCellHeight) + 2;
    if (columns <= 0 || rows <= 0 || columns > kMaxScreenCells / rows)
        throw Exception("The page is too large for the dot-matrix text export (" +
                        std::to_string(columns) + " x " + std::to_string(rows) + " characters)");
    Screen screen(columns, rows);
    for (const KeptObject& object : objects)
        DrawObject(screen, object);
    OutputScreen(screen);
    if (pageBreaks_) Write(std::string(1, kFormFeed));
}

void TpgwTXTExport::DrawObject(Screen& screen, const KeptObject& object) const {
    std::int64_t x = Cells(scaleWidth_, object.Left, kCellWidth);
    const std::int64_t y = Cells(scaleHeight_, object.Top, kCellHeight);
    std::int64_t w = Cells(scaleWidth_, object.Width, kCellWidth);
    const std::int64_t h = Cells(scaleHeight_, object.Height, kCellHeight);
    // Loops over a side visit only the cells the screen has.
    const auto columnsOf = [&](std::int64_t from, std::int64_t to) {
        return std::pair{std::max<std::int64_t>(from, 0), std::min(to, screen.Columns - 1)};
    };
    const auto rowsOf = [&](std::int64_t from, std::int64_t to) {
        return std::pair{std::max<std::int64_t>(from, 0), std::min(to, screen.Rows - 1)};
    };

    if (borders_ && object.Sides != 0) {
        const std::string set = FrameSet();
        // A frame next to another one's edge joins it instead of running beside it.
        const auto edge = [&](char c) {
            return c == set[fcV] || c == set[fcTopLeft] || c == set[fcTopRight];
        };
        if (edge(screen.At(x + 1, y))) {
            ++x;
            --w;
        } else if (edge(screen.At(x - 1, y))) {
            --x;
            ++w;
        }
        const auto vertical = [&](std::int64_t column, char first, char last) {
            screen.Put(column, y, first);
            const auto [from, to] = rowsOf(y + 1, y + h - 1);
            for (std::int64_t r = from; r <= to; ++r)
                screen.Put(column, r, set[fcV]);
            screen.Put(column, y + h, last);
        };
        const auto horizontal = [&](std::int64_t row, char first, char last) {
            screen.Put(x, row, first);
            const auto [from, to] = columnsOf(x + 1, x + w - 1);
            for (std::int64_t c = from; c <= to; ++c)
                screen.Put(c, row, set[fcH]);
            screen.Put(x + w, row, last);
        };
        if (object.Sides & FrameSide(ftLeft)) vertical(x, set[fcTopLeft], set[fcBottomLeft]);
        if (object.Sides & FrameSide(ftRight)) vertical(x + w, set[fcTopRight], set[fcBottomRight]);
        if (object.Sides & FrameSide(ftTop)) horizontal(y, set[fcTopLeft], set[fcTopRight]);
        if (object.Sides & FrameSide(ftBottom))
            horizontal(y + h, set[fcBottomLeft], set[fcBottomRight]);
    }

    const std::int64_t width = w - 1;
    const std::int64_t room = h - 1;
    if (width < 1 || room < 1) return;
    const std::vector<std::string> lines =
        WrapTextLines(object.Text, static_cast<int>(std::min<std::int64_t>(width, 1 << 30)),
                      static_cast<int>(std::min<std::int64_t>(room, 1 << 30)));
    const auto n = static_cast<std::int64_t>(lines.size());
    std::int64_t row = y + 1;
    if (object.VAlign == vaBottom)
        row = y + h - n;
    else if (object.VAlign == vaCenter)
        row = y + 1 + (h - n - 1) / 2;
    for (const std::string& text : lines) {
        if (row > y + h) break;
        const auto length = static_cast<std::int64_t>(text.size());
        std::int64_t before = 0;
        if (object.HAlign == haRight)
            before = width - length;
        else if (object.HAlign == haCenter)
            before = width / 2 - length / 2;
        before = std::max<std::int64_t>(before, 0);
        std::string line = std::string(static_cast<std::size_t>(before), ' ') + text;
        if (static_cast<std::int64_t>(line.size()) < width)
            line.resize(static_cast<std::size_t>(width), ' ');
        if (oemCodepage_) line = AnsiToOemText(line);
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == kNoBreakSpace) c = oemCodepage_ ? '\xA0' : ' ';
            screen.Put(x + 1 + static_cast<std::int64_t>(i), row, c);
        }
        ++row;
    }
}

void TpgwTXTExport::OutputScreen(Screen& screen) {
    if (borders_) {
        const std::string set = FrameSet();
        const std::string_view joints = std::string_view(set).substr(fcTopLeft);
        for (std::int64_t y = 0; y < screen.Rows; ++y)
            for (std::int64_t x = 0; x < screen.Columns; ++x) {
                const char cell = screen.At(x, y);
                if (joints.find(cell) == std::string_view::npos) continue;
                screen.Put(x, y,
                           ResolveJunction(set, cell, screen.At(x - 1, y), screen.At(x + 1, y),
                                           screen.At(x, y - 1), screen.At(x, y + 1)));
            }
    }

    const auto row = [&](std::int64_t y) {
        return std::string_view(screen.Cells)
            .substr(static_cast<std::size_t>(y * screen.Columns),
                    static_cast<std::size_t>(screen.Columns));
    };
    std::size_t cut = 0;
    if (!leadSpaces_) {
        cut = static_cast<std::size_t>(screen.Columns);
        for (std::int64_t y = 0; y < screen.Rows; ++y) {
            const std::string_view r = row(y);
            cut = std::min(cut, std::min(r.find_first_not_of(' '), r.size()));
        }
    }
    std::string out;
    for (std::int64_t y = 0; y < screen.Rows; ++y) {
        std::string_view r = row(y);
        while (!r.empty() && static_cast<unsigned char>(r.back()) <= ' ')
            r.remove_suffix(1);
        r.remove_prefix(std::min(cut, r.size()));
        if (!r.empty()) {
            out.append(r);
            out += "\r\n";
            ++lineCount_;
            maxWidth_ = std::max(maxWidth_, static_cast<int>(r.size()));
        } else if (emptyLines_) {
            out += "\r\n";
            ++lineCount_;
        }
    }
    Write(out);
}

std::vector<std::string> TpgwTXTExport::WrapTextLines(std::string_view text, int width,
                                                      int maxLines) {
    std::vector<std::string> lines;
    if (width < 1 || maxLines < 1) return lines;
    const auto w = static_cast<std::size_t>(width);
    std::string wrapped;
    std::size_t pos = 0;
    for (int made = 0; made < maxLines && pos < text.size(); ++made) {
        if (text.size() - pos <= w) {
            wrapped.append(text.substr(pos));
            pos = text.size();
            break;
        }
        const std::size_t end = pos + CutAt(text, pos, w);
        std::size_t reach = end;
        if (end < text.size() && text[end] == '\n')
            reach = end + 1;
        else if (end < text.size() && text[end] == '\r')
            reach = std::min(end + 2, text.size());
        const std::string_view taken = text.substr(pos, reach - pos);
        std::string_view line;
        if (const std::size_t crlf = taken.find("\r\n"); crlf != std::string_view::npos) {
            line = taken.substr(0, crlf + 2);
            pos += crlf + 2;
        } else if (end < text.size() && IsBreak(text[end])) {
            line = text.substr(pos, end - pos);
            pos = end + 1;
        } else {
            std::size_t last = std::string_view::npos;
            for (std::size_t i = pos; i < end; ++i)
                if (IsBreak(text[i])) last = i;
            const std::size_t stop = last == std::string_view::npos ? end : last + 1;
            line = text.substr(pos, stop - pos);
            pos = stop;
        }
        wrapped.append(line);
        if (!line.ends_with("\r\n")) wrapped += "\r\n";
    }

    std::string current;
    for (std::size_t i = 0; i < wrapped.size(); ++i) {
        if (wrapped[i] != '\r') {
            current += wrapped[i];
            continue;
        }
        if (i + 1 < wrapped.size() && wrapped[i + 1] == '\n') ++i;
        lines.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

char TpgwTXTExport::ResolveJunction(std::string_view frameSet, char cell, char left, char right,
                                    char up, char down) {
    if (frameSet.size() < kSimpleFrames.size()) return cell;
    const char v = frameSet[fcV];
    const char hz = frameSet[fcH];
    const auto line = [&](char c) { return c == v || c == hz; };
    const auto frame = [&](char c) { return frameSet.find(c) != std::string_view::npos; };
    const bool l = line(left), r = line(right), u = line(up), d = line(down);
    if (!l && !r && !u && d) return v;
    if (!l && !r && u && !d) return v;
    if (!l && r && !u && !d) return hz;
    if (!r && l && !u && !d) return hz;
    if (!frame(left) && !frame(right) && up == v && down == v) return v;
    if (left == hz && right == hz && !frame(up) && !frame(down)) return hz;
    if (left == hz && right == hz && up == v && down == v) return frameSet[fcCross];
    if (left == hz && right == hz && down == v && up != v) return frameSet[fcDown];
    if (left == hz && right == hz && up == v && down != v) return frameSet[fcUp];
    if (up == v && down == v && right == hz && left != hz) return frameSet[fcRight];
    if (up == v && down == v && left == hz && right != hz) return frameSet[fcLeft];
    if (right == hz && left != hz && down == v && up != v) return frameSet[fcTopLeft];
    if (right == hz && left != hz && up == v && down != v) return frameSet[fcBottomLeft];
    if (left == hz && right != hz && up == v && down != v) return frameSet[fcBottomRight];
    if (left == hz && right != hz && down == v && up != v) return frameSet[fcTopRight];
    return cell;
}

// ---- printer types and printing ----------------------------------------------------------------

int TpgwTXTExport::AddPrinterType(const std::string& name) {
    if (static_cast<int>(printerTypes_.size()) >= MaxTXTPrinterTypes) return -1;
    TpgwTXTPrinterType type;
    type.Name = name;
    printerTypes_.push_back(std::move(type));
    return static_cast<int>(printerTypes_.size()) - 1;
}

void TpgwTXTExport::AddPrinterCommand(int typeIndex, const std::string& name, const std::string& on,
                                      const std::string& off) {
    if (typeIndex < 0 || typeIndex >= static_cast<int>(printerTypes_.size())) return;
    TpgwTXTPrinterType& type = printerTypes_[static_cast<std::size_t>(typeIndex)];
    if (type.CommandCount >= MaxTXTPrinterCommands) return;
    type.Commands.push_back({name, on, off, false});
    type.CommandCount = static_cast<int>(type.Commands.size());
}

void TpgwTXTExport::BuildInitString() {
    initString_.clear();
    if (printerTypeIndex_ < 0 || printerTypeIndex_ >= static_cast<int>(printerTypes_.size()))
        return;
    for (const TpgwTXTPrinterCommand& command :
         printerTypes_[static_cast<std::size_t>(printerTypeIndex_)].Commands)
        initString_ += command.Enabled ? command.SequenceOn : command.SequenceOff;
}

void TpgwTXTExport::PrintFile(const std::string& fileName) {
    PrintRaw(fileName, fileName);
}

void TpgwTXTExport::PrintRaw(const std::string& fileName, const std::string& title) {
    const std::string bytes = ReadFileBytes(std::string_view(fileName));
    TpgwCustomPrinter* printer = GetPrinters()->Printer();
    if (!printer) throw EPrinter("No printer is selected");
    printer->SetTitle(title);
    printer->BeginRawDoc();
    try {
        for (std::size_t at = 0; at < bytes.size(); at += kPrintPiece)
            printer->WriteRawData(std::string_view(bytes).substr(at, kPrintPiece));
    } catch (...) {
        try {
            printer->EndRawDoc();
        } catch (...) {
        }
        throw;
    }
    printer->EndRawDoc();
}

// The exported file stays as written: the printer gets a temporary copy with the
// initialisation string in front.
void TpgwTXTExport::PrintAfterExport() {
    if (!printAfter_ || previewMode_) return;
    if (!GetPrinters()->PrintersInstalled()) return;
    if (printerDialog_) {
        const int copies = ShowPrinterInitDialog(*this);
        if (copies <= 0) return;
        copies_ = copies;
    }
    BuildInitString();
    const std::string contents = ReadFileBytes(std::string_view(FileName()));
    const std::string copy = MakeTempFileName();
    TScopedFileDeletion remove(copy);
    {
        TFileStream out(copy, fmCreate);
        out.WriteBuffer(initString_.data(), static_cast<std::int64_t>(initString_.size()));
        out.WriteBuffer(contents.data(), static_cast<std::int64_t>(contents.size()));
    }
    for (int i = 0; i < copies_; ++i)
        PrintRaw(copy, FileName());
}

void RegisterTXTExport() {
    RegisterClasses<TpgwTXTExport>();
    RegisterExportFormat("prn", [] {
        return std::make_unique<TpgwTXTExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
