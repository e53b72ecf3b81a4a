// Prepared pages as output: drawn on a canvas, printed in the four print modes, handed to an
// export filter, and hit-tested for the preview.

#include "engine/page_output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "engine/preview_pages.h"
#include "engine/printers.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/text.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/printer_canvas.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"
#include "report/view.h"
#include "report/xml_document.h"

namespace {

// Neighbouring sheets of a split page share this much of it, so nothing is lost at a cut.
constexpr double kSplitOverlapMm = 3;
// A page overhang below this is left to the sheet's margins instead of taking a sheet of its
// own.
constexpr double kSplitRestMm = 11;

constexpr const char* kInvalidPrinter = "Printer selected is not valid";

TpgwPrintDialogRunner& printDialogRunner() {
    static TpgwPrintDialogRunner runner;
    return runner;
}

int roundInt(double value) {
    return static_cast<int>(Round(value));
}

void processMessages() {
    Application()->ProcessMessages();
}

TpgwPreviewNavigation* navigation(TpgwReport* report) {
    return report ? dynamic_cast<TpgwPreviewNavigation*>(report->Preview()) : nullptr;
}

// ---- links

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hex = [](char c) {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Extensions of what runs rather than shows: programs, scripts, launchers, installers,
// libraries and shortcuts.
bool programExtension(std::string_view path) {
    static constexpr std::string_view kRefused[] = {
        "app",        "appimage", "apk", "bash", "bat",     "bin", "cgi", "cmd",  "com",
        "command",    "cpl",      "csh", "deb",  "desktop", "dll", "elf", "exe",  "fish",
        "flatpakref", "gadget",   "hta", "inf",  "ins",     "isp", "jar", "js",   "jse",
        "ksh",        "lnk",      "mjs", "msc",  "msi",     "msp", "out", "paf",  "php",
        "pif",        "pl",       "ps1", "psm1", "py",      "pyc", "pyw", "rb",   "reg",
        "rpm",        "run",      "scf", "scr",  "sct",     "sh",  "shb", "snap", "so",
        "tcl",        "tool",     "url", "vb",   "vbe",     "vbs", "ws",  "wsc",  "wsf",
        "wsh",        "x86_64",   "zsh"};
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return false;
    const std::string ext = LowerCase(name.substr(dot + 1));
    return std::find(std::begin(kRefused), std::end(kRefused), ext) != std::end(kRefused);
}

// A file that starts like a program or a script, whatever its name says.
bool programContent(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return true;
    unsigned char head[4] = {};
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 2 && head[0] == '#' && head[1] == '!') return true;
    if (n >= 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return true;
    return n >= 2 && head[0] == 'M' && head[1] == 'Z';
}

bool openableDocument(std::string path) {
    // A decoded NUL would hide the real name from the checks below.
    if (path.find('\0') != std::string::npos) return false;
    std::replace(path.begin(), path.end(), '\\', '/');
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) return false;
    return !programExtension(path) && !programContent(path);
}

TpgwLinkOpener& linkOpener() {
    static TpgwLinkOpener opener = OpenWithDesktop;
    return opener;
}

// ---- hints: "short|long", the long part being the whole hint when there is no bar

std::string shortHint(const std::string& hint) {
    return hint.substr(0, hint.find('|'));
}

std::string longHint(const std::string& hint) {
    const std::size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

// ---- pages

// The margins of a page drawn with mirrored margins on an even page number (odd index),
// exchanged for the time of a drawing.
class MirroredMargins {
public:
    MirroredMargins(TpgwReportPage& page, int index)
        : page_(page), active_(page.MirrorMargins() && index % 2 == 1) {
        if (active_) swap();
    }
    ~MirroredMargins() {
        if (active_) swap();
    }
    MirroredMargins(const MirroredMargins&) = delete;
    MirroredMargins& operator=(const MirroredMargins&) = delete;

private:
    void swap() {
        const double left = page_.LeftMargin();
        page_.SetLeftMargin(page_.RightMargin());
        page_.SetRightMargin(left);
    }
    TpgwReportPage& page_;
    bool active_;
};

double leftMarginOf(const TpgwReportPage& page, int index) {
    return page.MirrorMargins() && index % 2 == 1 ? page.RightMargin() : page.LeftMargin();
}

bool intersects(const TRect& a, const TRect& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// The device area a canvas can show, when it can be told: a recording keeps everything,
// and of a window canvas only the toolkit knows the part being painted.
bool canvasArea(const TCanvas& canvas, TRect& area) {
    if (const auto* raster = dynamic_cast<const TRasterCanvas*>(&canvas)) {
        area = TRect{0, 0, raster->Width(), raster->Height()};
        return true;
    }
    return false;
}

// The 1-based page numbers of a page-range text as a lookup by index; empty text: every page.
class PageSelection {
public:
    PageSelection(const std::string& text, int count) {
        std::vector<int> numbers;
        ParsePageNumbers(text, numbers, count);
        all_ = numbers.empty();
        chosen_.assign(static_cast<std::size_t>(std::max(count, 0)), false);
        for (int n : numbers)
            if (n >= 1 && n <= count) chosen_[static_cast<std::size_t>(n - 1)] = true;
    }
    bool Contains(int index) const {
        if (index < 0 || index >= static_cast<int>(chosen_.size())) return false;
        return all_ || chosen_[static_cast<std::size_t>(index)];
    }

private:
    std::vector<bool> chosen_;
    bool all_ = true;
};

// Sheets needed across a length a for sheets of length b: an overhang of at least 11 mm takes
// a sheet of its own, a smaller one is left to the margins.
int sheetsFor(double a, double b) {
    if (!(a > 0) || !(b > 0)) return 1;
    const double whole = std::trunc(a / b);
    if (a - whole * b >= kSplitRestMm) return static_cast<int>(whole) + 1;
    return std::max(1, static_cast<int>(Round(a / b)));
}

// Whole pages of length b that fit on a sheet of length a; at least one.
int pagesFitting(double a, double b) {
    if (!(a > 0) || !(b > 0)) return 1;
    return std::max(1, static_cast<int>(std::floor(a / b + 1e-6)));
}

bool twoSided(TpgwDuplexMode mode) {
    return mode == dmVertical || mode == dmHorizontal;
}

} // namespace

TpgwPrintDialogRunner SetPrintDialogRunner(TpgwPrintDialogRunner runner) {
    return std::exchange(printDialogRunner(), std::move(runner));
}

TpgwPreviewNavigation::~TpgwPreviewNavigation() = default;

TpgwLinkOpener SetLinkOpener(TpgwLinkOpener opener) {
    if (!opener) opener = OpenWithDesktop;
    return std::exchange(linkOpener(), std::move(opener));
}

bool IsOpenableLink(const std::string& target) {
    const std::string link = Trim(target);
    if (link.empty()) return false;
    for (char c : link)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    if (startsWithNoCase(link, "http://") || startsWithNoCase(link, "https://"))
        return link.size() > (startsWithNoCase(link, "https://") ? 8u : 7u);
    if (startsWithNoCase(link, "mailto:")) return link.size() > 7;
    if (startsWithNoCase(link, "file://")) {
        std::string path = percentDecoded(std::string_view(link).substr(7));
        // "file://host/path": only the local host.
        if (!path.empty() && path[0] != '/') {
            const std::size_t slash = path.find('/');
            const std::string host = path.substr(0, slash);
            if (!SameText(host, "localhost") || slash == std::string::npos) return false;
            path = path.substr(slash);
        }
        return openableDocument(path);
    }
    // Any other scheme ("javascript:", "smb:", ...); a drive letter is a path.
    const std::size_t colon = link.find(':');
    if (colon != std::string::npos && colon > 1 && link.find_first_of("/\\") > colon) return false;
    return openableDocument(link);
}

bool OpenLink(const std::string& target) {
    if (!IsOpenableLink(target)) return false;
    const std::string link = Trim(target);
    return linkOpener() ? linkOpener()(link) : false;
}

// ---- drawing -----------------------------------------------------------------------------------

void TpgwPreviewPages::DrawPage(int index, TCanvas& canvas, double scaleX, double scaleY,
                                double offsetX, double offsetY) {
    drawPage(index, canvas, scaleX, scaleY, offsetX, offsetY, nullptr);
}

void TpgwPreviewPages::drawPage(int index, TCanvas& canvas, double scaleX, double scaleY,
                                double offsetX, double offsetY, const TRect* visible) {
    if (index < 0 || index >= GetCount()) return;
    auto* page = dynamic_cast<TpgwReportPage*>(GetPage(index));
    if (!page) return;
    MirroredMargins mirrored(*page, index);
    const bool forPrint = dynamic_cast<const TPrinterCanvas*>(&canvas) != nullptr;

    // Objects that do not come near this device area are skipped; none known: all are drawn.
    TRect area{};
    bool bounded = visible != nullptr;
    if (visible) area = *visible;
    if (!forPrint) {
        const TRect paper{roundInt(offsetX), roundInt(offsetY),
                          roundInt(page->PaperWidth() * pg01cm * scaleX + offsetX) - 1,
                          roundInt(page->PaperHeight() * pg01cm * scaleY + offsetY) - 1};
        canvas.SaveClip();
        canvas.IntersectClipRect(paper);
        TRect own{};
        if (dynamic_cast<const TRecordingCanvas*>(&canvas)) {
            bounded = false;
        } else if (canvasArea(canvas, own)) {
            bounded = true;
            area = TRect{std::max(own.Left, paper.Left), std::max(own.Top, paper.Top),
                         std::min(own.Right, paper.Right), std::min(own.Bottom, paper.Bottom)};
        } else {
            bounded = true;
            area = paper;
        }
    }
    struct ClipBack {
        TCanvas& canvas;
        bool active;
        ~ClipBack() {
            if (active) canvas.RestoreClip();
        }
    } clipBack{canvas, !forPrint};

    page->SetDrawingForPrint(forPrint);
    page->DrawBackPicture(canvas, scaleX, scaleY, offsetX, offsetY);
    page->SetDrawingForPrint(false);

    offsetX += page->LeftMargin() * pg01cm * scaleX;
    offsetY += page->TopMargin() * pg01cm * scaleY;
    const int pageCount = GetCount();
    constexpr int kNear = 20;
    for (TpgwComponent* object : page->AllObjects()) {
        auto* view = dynamic_cast<TpgwView*>(object);
        if (!view || (forPrint && !view->Printable())) continue;
        if (bounded) {
            const double x = view->AbsLeft() * scaleX + offsetX;
            const double y = view->AbsTop() * scaleY + offsetY;
            const TRect near{roundInt(x) - kNear, roundInt(y) - kNear,
                             roundInt(x + view->Width() * scaleX) + kNear,
                             roundInt(y + view->Height() * scaleY) + kNear};
            if (!intersects(near, area)) continue;
        }
        view->SetDrawingForPrint(forPrint);
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(view)) {
            memo->TotalPages = pageCount;
            memo->CopyNo = PrintedCopy;
            memo->PrintScale = static_cast<double>(PrintScale);
        }
        struct PrintFlagBack {
            TpgwView* view;
            ~PrintFlagBack() { view->SetDrawingForPrint(false); }
        } flagBack{view};
        view->Draw(canvas, scaleX, scaleY, offsetX, offsetY);
    }
}

// ---- printing ----------------------------------------------------------------------------------

// One print job: the printer set-up that is in force, the sheets printed and the duplex side.
class TpgwPreviewPages::PrintRun {
public:
    PrintRun(TpgwPreviewPages& store, TpgwCustomPrinter& printer, const PageSelection& pages,
             double sheetWidth, double sheetHeight, int sheetCode)
        : store_(store), report_(*store.Report()), options_(*report_.PrintOptions()),
          printer_(printer), pages_(pages), sheetWidth_(sheetWidth), sheetHeight_(sheetHeight),
          sheetCode_(sheetCode), copies_(std::max(1, options_.Copies())),
          dialogDuplex_(static_cast<TpgwDuplexMode>(std::clamp(store.PrintDuplex, 0, 3))) {}

    // Prints everything the options ask for; false when the printer is not valid or the print
    // dialog was cancelled.
    static bool Print(TpgwPreviewPages& store, TpgwReport& report, TpgwPrinters& printers) {
        TpgwPrintOptions& options = *report.PrintOptions();
        report.UsePrintOptionsPrinter();
        bool dialogShown = false;
        if (options.ShowDialog()) {
            if (TpgwPrintDialogRunner& runner = printDialogRunner()) {
                int duplex = store.PrintDuplex;
                if (!runner(report, duplex)) return false;
                store.PrintDuplex = duplex;
                dialogShown = true;
            }
        }

        TpgwCustomPrinter* printer = printers.Printer();
        if (!printer || !printer->IsValid()) {
            ShowErrorMessage(kInvalidPrinter);
            return false;
        }
        printer->SetSwapPageSize(options.SwapPageSize());
        // The dialog has set the file (or none) itself.
        if (!dialogShown) printer->SetFileName(options.OutputFileName());
        int sheetCode = options.PrintOnSheet();
        double sheetWidth = 0, sheetHeight = 0;
        if (options.PrintMode() != pmDefault) {
            if (sheetCode <= 0) sheetCode = printer->DefPaper();
            printer->SetPageFormat(sheetCode, poPortrait, printer->PaperWidth(),
                                   printer->PaperHeight());
            sheetWidth = printer->PaperWidth();
            sheetHeight = printer->PaperHeight();
        }

        if (report.OnPrintReport) report.OnPrintReport(&report);
        try {
            report.CallScriptEvent(report.OnReportPrint, &report,
                                   !report.EngineOptions()->DestroyForms());
            if (TpgwCustomPreview* preview = report.Preview()) {
                preview->Lock();
                preview->Invalidate();
            }
            const PageSelection pages(options.PageNumbers(), store.GetCount());
            store.ClearPageCache();
            // Measuring fails for a paper the printer cannot take.
            if (!printer->IsValid()) {
                ShowErrorMessage(kInvalidPrinter);
                if (report.OnAfterPrintReport) report.OnAfterPrintReport(&report);
                return false;
            }
            PrintRun(store, *printer, pages, sheetWidth, sheetHeight, sheetCode).run();
        } catch (...) {
            if (report.OnAfterPrintReport) report.OnAfterPrintReport(&report);
            throw;
        }
        if (report.OnAfterPrintReport) report.OnAfterPrintReport(&report);
        return true;
    }

private:
    void run() {
        report_.SetTerminated(false);
        report_.StartProgress(ptPrinting);
        printer_.SetTitle(!report_.ReportOptions()->Name().empty() ? report_.ReportOptions()->Name()
                                                                   : report_.FileName());
        try {
            if (options_.Collate()) {
                for (int copy = 1; copy <= copies_ && !report_.Terminated(); ++copy) {
                    if (!pageLoop(copy)) break;
                    // The next copy starts on a sheet of its own.
                    if (begun_ && odd_) {
                        printer_.BeginPage();
                        printer_.EndPage();
                        odd_ = false;
                    }
                }
            } else {
                pageLoop(1);
            }
            if (begun_) {
                begun_ = false;
                printer_.EndDoc();
            }
        } catch (...) {
            if (begun_) {
                begun_ = false;
                try {
                    printer_.Abort();
                } catch (...) {
                    // The job's own failure is the one to report.
                }
            }
            report_.StopProgress(ptPrinting);
            throw;
        }
        report_.StopProgress(ptPrinting);
    }

    struct Format {
        int PaperSize = 0, Width = 0, Height = 0, Bin = 0;
        TPrinterOrientation Orientation = poPortrait;
        TpgwDuplexMode Duplex = dmNone;
        friend bool operator==(const Format&, const Format&) = default;
    };

    // The mode's loop over the pages; false when the job was ended by a termination.
    bool pageLoop(int copy) {
        if (options_.PrintMode() == pmJoin) return joinPages(copy);
        const int count = store_.GetCount();
        for (int k = 0; k < count; ++k) {
            const int index = options_.Reverse() ? count - 1 - k : k;
            const bool printed =
                options_.PrintMode() == pmSplit ? splitPage(index, copy) : wholePage(index, copy);
            if (!printed) return false;
        }
        return true;
    }

    bool wanted(int index) const {
        if (!pages_.Contains(index)) return false;
        const bool oddNumber = (index + 1) % 2 == 1;
        if (options_.PrintPages() == ppOdd && !oddNumber) return false;
        return !(options_.PrintPages() == ppEven && oddNumber);
    }

    bool terminated() {
        if (!report_.Terminated()) return false;
        if (begun_) {
            begun_ = false;
            printer_.Abort();
        }
        return true;
    }

    // Builds page index and makes it the page being printed; none when it is no report page.
    TpgwReportPage* startPage(int index, int copy) {
        auto* page = dynamic_cast<TpgwReportPage*>(store_.GetPage(index));
        if (!page) return nullptr;
        copiesPerSheet_ = options_.Collate() ? 1 : copies_;
        store_.PrintedCopy = options_.Collate() ? copy : 1;
        if (report_.OnPrintPage) report_.OnPrintPage(page, store_.PrintedCopy);
        bin_ = index == 0 ? page->Bin() : page->BinOtherPages();
        duplex_ = dialogDuplex_ != dmNone ? dialogDuplex_ : page->Duplex();
        return page;
    }

    // A side of paper was printed in duplex mode duplex_.
    void sidePrinted() {
        if (duplex_ != lastDuplex_) odd_ = false;
        lastDuplex_ = duplex_;
        if (twoSided(duplex_)) odd_ = !odd_;
        ++sheets_;
    }

    void beginDoc() {
        if (begun_) return;
        printer_.BeginDoc();
        begun_ = true;
    }

    double dotsX(double mm) const { return mm * printer_.DPI().X / 25.4; }
    double dotsY(double mm) const { return mm * printer_.DPI().Y / 25.4; }
    double offsetX() const { return -dotsX(printer_.LeftMargin()); }
    double offsetY() const { return -dotsY(printer_.TopMargin()); }
    // The printable part of the sheet in device pixels.
    TRect sheetArea() const {
        return {
            0, 0,
            roundInt(dotsX(printer_.PaperWidth() - printer_.LeftMargin() - printer_.RightMargin())),
            roundInt(
                dotsY(printer_.PaperHeight() - printer_.TopMargin() - printer_.BottomMargin()))};
    }
    void draw(int index, double scaleX, double scaleY, double x, double y) {
        const TRect area = sheetArea();
        store_.drawPage(index, *printer_.Canvas(), printer_.DPI().X / 96.0 * scaleX,
                        printer_.DPI().Y / 96.0 * scaleY, x, y, &area);
    }
    void pageDone() {
        processMessages();
        store_.ClearPageCache();
    }

    // pmDefault and pmScale: the page on one sheet, at its own size or stretched to the sheet.
    bool wholePage(int index, int copy) {
        if (index < 0 || index >= store_.GetCount() || !wanted(index)) return true;
        if (terminated()) return false;
        TpgwReportPage* page = startPage(index, copy);
        if (!page) return true;
        const bool scaled = options_.PrintMode() == pmScale;
        Format format{scaled ? sheetCode_ : page->PaperSize(),
                      scaled ? 0 : roundInt(page->PaperWidth()),
                      scaled ? 0 : roundInt(page->PaperHeight()),
                      bin_,
                      page->Orientation(),
                      duplex_};
        if (sheets_ == 0 || !(format == last_)) {
            if (scaled) {
                printer_.ApplyPrintFormat(sheetCode_, page->Orientation(), sheetWidth_,
                                          sheetHeight_, bin_, duplex_ + 1, copiesPerSheet_);
                sheetWidth_ = printer_.PaperWidth();
                sheetHeight_ = printer_.PaperHeight();
            } else {
                printer_.ApplyPrintFormat(page->PaperSize(), page->Orientation(),
                                          page->PaperWidth(), page->PaperHeight(), bin_,
                                          duplex_ + 1, copiesPerSheet_);
            }
        }
        beginDoc();
        printer_.BeginPage();
        double sx = 1, sy = 1;
        if (scaled) {
            if (page->PaperWidth() > 0) sx = sheetWidth_ / page->PaperWidth();
            if (page->PaperHeight() > 0) sy = sheetHeight_ / page->PaperHeight();
            store_.PrintScale = std::min(sx, sy);
        }
        draw(index, sx, sy, offsetX(), offsetY());
        report_.StepProgress(ptPrinting, index + 1);
        printer_.EndPage();
        sidePrinted();
        last_ = format;
        pageDone();
        return true;
    }

    // pmSplit: the page at its own size over as many sheets as it needs, row by row.
    bool splitPage(int index, int copy) {
        if (index < 0 || index >= store_.GetCount() || !wanted(index)) return true;
        if (terminated()) return false;
        TpgwReportPage* page = startPage(index, copy);
        if (!page) return true;
        const double pw = page->PaperWidth(), ph = page->PaperHeight();
        int across = sheetsFor(pw, sheetWidth_), down = sheetsFor(ph, sheetHeight_);
        const int turnedAcross = sheetsFor(pw, sheetHeight_),
                  turnedDown = sheetsFor(ph, sheetWidth_);
        const bool turned = turnedAcross * turnedDown < across * down;
        if (turned) across = turnedAcross, down = turnedDown;
        const TPrinterOrientation orientation = turned ? poLandscape : poPortrait;
        if (sheets_ == 0 || orientation != lastOrientation_)
            printer_.ApplyPrintFormat(sheetCode_, orientation, sheetWidth_, sheetHeight_, bin_,
                                      duplex_ + 1, copiesPerSheet_);
        beginDoc();

        const double overlapX = dotsX(kSplitOverlapMm), overlapY = dotsY(kSplitOverlapMm);
        const double width = dotsX(printer_.PaperWidth()), height = dotsY(printer_.PaperHeight());
        const double left = dotsX(printer_.LeftMargin()), top = dotsY(printer_.TopMargin());
        const double right = dotsX(printer_.RightMargin());
        const double bottom = dotsY(printer_.BottomMargin());
        double y = -top, passedY = 0;
        for (int row = 0; row < down; ++row) {
            double x = -left, passedX = 0;
            for (int col = 0; col < across; ++col) {
                printer_.BeginPage();
                draw(index, 1, 1, x, y);
                printer_.EndPage();
                sidePrinted();
                passedX += width - (col == 0 ? 0 : left) - right - overlapX;
                x = -passedX;
            }
            passedY += height - (row == 0 ? 0 : top) - bottom - overlapY;
            y = -passedY;
        }
        report_.StepProgress(ptPrinting, index + 1);
        lastOrientation_ = orientation;
        pageDone();
        return true;
    }

    // The next page for pmJoin after index; -1 when none is left.
    int nextJoined(int index) const {
        for (int i = index + 1; i < store_.GetCount(); ++i)
            if (wanted(i)) return i;
        return -1;
    }

    // pmJoin: whole pages side by side, as many as fit on a sheet either way round.
    bool joinPages(int copy) {
        int current = nextJoined(-1);
        if (current < 0) return true;
        auto* first = dynamic_cast<TpgwReportPage*>(store_.GetPage(current));
        if (!first) return true;
        duplex_ = dialogDuplex_ != dmNone ? dialogDuplex_ : first->Duplex();
        const double pw = first->PaperWidth(), ph = first->PaperHeight();
        int across = pagesFitting(sheetWidth_, pw), down = pagesFitting(sheetHeight_, ph);
        const int turnedAcross = pagesFitting(sheetHeight_, pw),
                  turnedDown = pagesFitting(sheetWidth_, ph);
        const bool turned = turnedAcross * turnedDown > across * down;
        if (turned) across = turnedAcross, down = turnedDown;
        printer_.ApplyPrintFormat(sheetCode_, turned ? poLandscape : poPortrait, sheetWidth_,
                                  sheetHeight_, first->Bin(), duplex_ + 1, 1);
        beginDoc();
        const double stepX = dotsX(pw), stepY = dotsY(ph);
        const bool collate = options_.Collate();
        int copyOfPage = 0;
        while (current >= 0) {
            printer_.BeginPage();
            int lastOnSheet = current;
            for (int row = 0; row < down && current >= 0; ++row) {
                for (int col = 0; col < across && current >= 0; ++col) {
                    auto* page = dynamic_cast<TpgwReportPage*>(store_.GetPage(current));
                    store_.PrintedCopy = collate ? copy : copyOfPage + 1;
                    if (page && report_.OnPrintPage) report_.OnPrintPage(page, store_.PrintedCopy);
                    draw(current, 1, 1, offsetX() + col * stepX, offsetY() + row * stepY);
                    lastOnSheet = current;
                    if (!collate && ++copyOfPage < copies_) continue;
                    copyOfPage = 0;
                    current = nextJoined(current);
                }
            }
            printer_.EndPage();
            sidePrinted();
            report_.StepProgress(ptPrinting, lastOnSheet + 1);
            processMessages();
            if (terminated()) return false;
            store_.ClearPageCache();
        }
        return true;
    }

    TpgwPreviewPages& store_;
    TpgwReport& report_;
    TpgwPrintOptions& options_;
    TpgwCustomPrinter& printer_;
    const PageSelection& pages_;
    double sheetWidth_, sheetHeight_;
    int sheetCode_;
    int copies_;
    TpgwDuplexMode dialogDuplex_;

    int copiesPerSheet_ = 1;
    int bin_ = DMBIN_AUTO;
    TpgwDuplexMode duplex_ = dmNone;
    TpgwDuplexMode lastDuplex_ = dmNone;
    TPrinterOrientation lastOrientation_ = poPortrait;
    Format last_;
    int sheets_ = 0;
    bool begun_ = false;
    // An odd number of sides was printed two-sided since the last fresh sheet.
    bool odd_ = false;
};

bool TpgwPreviewPages::Print() {
    TpgwReport* report = Report();
    TpgwPrinters* printers = GetPrinters();
    if (!printers->PrintersInstalled()) {
        ShowErrorMessage(GetResources().GetText("clNoPrinters"));
        return false;
    }
    if (!report) return false;
    PrintScale = 1;
    // The dialog and the job may change the options; the report gets its own back.
    TpgwPrintOptions* options = report->PrintOptions();
    TpgwPrintOptions saved;
    saved.Assign(options);
    const bool swap = options->SwapPageSize();
    const auto restore = [&] {
        PrintedCopy = 0;
        PrintScale = 1;
        options->Assign(&saved);
        options->SetSwapPageSize(swap);
    };
    bool printed = false;
    try {
        printed = PrintRun::Print(*this, *report, *printers);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return printed;
}

// ---- export ------------------------------------------------------------------------------------

namespace {

// Hands the store's pages to a filter: each page placed at its margins, its background as a
// picture object, then its bands, each followed by its objects.
class PageExport final : public TpgwExportSource {
public:
    PageExport(TpgwPreviewPages& store, TpgwCustomExportFilter& filter)
        : store_(store), report_(store.Report()), filter_(filter) {}

    TpgwComponent* ExportPage(int index) override {
        putBack();
        TpgwComponent* page = store_.GetPage(index);
        if (filter_.ShowProgress()) report_->StepProgress(ptExporting, index + 1);
        if (auto* reportPage = dynamic_cast<TpgwReportPage*>(page)) {
            reportPage->SetLeft(leftMarginOf(*reportPage, index) * pg01cm);
            reportPage->SetTop(reportPage->TopMargin() * pg01cm);
        }
        page_ = page;
        return page;
    }

    void ExportObjects(TpgwComponent* page, int index,
                       std::vector<TpgwComponent*>& objects) override {
        background_.reset();
        if (auto* reportPage = dynamic_cast<TpgwReportPage*>(page)) {
            background_ = std::make_unique<TpgwPictureView>(nullptr);
            background_->SetName("_pagebackground");
            background_->SetColor(reportPage->Color());
            background_->SetFrame(reportPage->Frame());
            background_->SetPicture(reportPage->BackPicture());
            background_->SetStretched(true);
            background_->SetKeepAspectRatio(false);
            background_->SetBounds(
                reportPage->Left(), reportPage->Top(),
                reportPage->Width() -
                    (reportPage->LeftMargin() + reportPage->RightMargin()) * pg01cm,
                reportPage->Height() -
                    (reportPage->TopMargin() + reportPage->BottomMargin()) * pg01cm);
            objects.push_back(background_.get());
        }
        const int last = store_.GetCount() - 1;
        for (TpgwComponent* band : page->Objects()) {
            if (filter_.SuppressPageHeadersFooters() &&
                ((dynamic_cast<TpgwPageHeader*>(band) && index != 0) ||
                 (dynamic_cast<TpgwPageFooter*>(band) && index != last)))
                continue;
            prepare(band);
            objects.push_back(band);
            for (TpgwComponent* object : band->Objects()) {
                prepare(object);
                objects.push_back(object);
            }
        }
    }

    // Called after the output was opened, before each page.
    bool ExportTerminated() override {
        if (!started_) {
            started_ = true;
            if (TpgwCustomPreview* preview = report_->Preview()) {
                preview->Lock();
                preview->Invalidate();
            }
            if (filter_.ShowProgress()) report_->StartProgress(ptExporting);
        } else {
            processMessages();
        }
        return report_->Terminated();
    }

    // After the run, also after an error.
    void Finish() {
        putBack();
        background_.reset();
        if (!started_) return;
        if (TpgwCustomPreview* preview = report_->Preview()) {
            if (TpgwPreviewNavigation* nav = navigation(report_)) nav->HideMessage();
            preview->Invalidate();
        }
        if (filter_.ShowProgress()) report_->StopProgress(ptExporting);
    }

private:
    void prepare(TpgwComponent* object) {
        auto* memo = dynamic_cast<TpgwCustomMemoView*>(object);
        if (!memo) return;
        if (memo->Highlight()->Active()) memo->SetFont(memo->Highlight()->Font());
        memo->TotalPages = store_.GetCount();
        memo->CopyNo = 1;
        memo->ExpandPageMacros();
        if (memo->AutoWidth()) {
            if (!scratch_) scratch_ = MakeMeasuringCanvas(96);
            memo->Draw(*scratch_, 1, 1, 0, 0);
        }
    }

    // The page of the last export goes back where the preview draws it, or is dropped.
    void putBack() {
        if (!page_) return;
        if (report_->Preview()) {
            page_->SetLeft(0);
            page_->SetTop(0);
        } else {
            store_.ClearPageCache();
        }
        page_ = nullptr;
    }

    TpgwPreviewPages& store_;
    TpgwReport* report_;
    TpgwCustomExportFilter& filter_;
    TpgwComponent* page_ = nullptr;
    std::unique_ptr<TpgwPictureView> background_;
    std::unique_ptr<TRasterCanvas> scratch_;
    bool started_ = false;
};

} // namespace

bool TpgwPreviewPages::Export(TpgwCustomExportFilter* filter) {
    PrintedCopy = 0;
    TpgwReport* report = Report();
    if (!filter || !report) return false;
    filter->SetReport(report);
    if (filter->ShowDialog() && filter->AskOptions() != 1) return false;
    if (filter->CurrentPageOnly()) {
        TpgwPreviewNavigation* nav = navigation(report);
        filter->SetPageNumbers(report->Preview() && nav ? IntToStr(nav->PageNo()) : "1");
    }
    report->SetTerminated(false);
    try {
        const PageSelection selection(filter->PageNumbers(), GetCount());
        std::vector<int> pages;
        for (int i = 0; i < GetCount(); ++i)
            if (selection.Contains(i)) pages.push_back(i);
        PageExport source(*this, *filter);
        // The options were asked above, where the page range they may change was still open.
        struct DialogBack {
            TpgwCustomExportFilter& filter;
            bool showDialog;
            ~DialogBack() { filter.SetShowDialog(showDialog); }
        } dialogBack{*filter, filter->ShowDialog()};
        filter->SetShowDialog(false);
        try {
            RunExportProtocol(*filter, source, pages);
        } catch (...) {
            source.Finish();
            throw;
        }
        source.Finish();
        return true;
    } catch (const std::exception& e) {
        report->Errors().Clear();
        report->Errors().Add(e.what());
        report->ReportErrors();
        return false;
    }
}

// ---- hit test ----------------------------------------------------------------------------------

void TpgwPreviewPages::ObjectOver(int index, int x, int y, TMouseButton button, TShiftState shift,
                                  double scale, int offsetX, int offsetY, bool click,
                                  TCursor& cursor, bool doubleClick) {
    TpgwReport* report = Report();
    if (!report || (Engine() && Engine()->Running())) return;
    if (index < 0 || index >= GetCount()) return;
    auto* page = dynamic_cast<TpgwReportPage*>(GetPage(index));
    if (!page) return;
    const double ox = offsetX + scale * leftMarginOf(*page, index) * pg01cm;
    const double oy = offsetY + scale * page->TopMargin() * pg01cm;
    report->ShowProgressText("", false);
    report->ShowProgressText("", true);

    TpgwCustomPreview* preview = report->Preview();
    TpgwPreviewNavigation* nav = navigation(report);
    const bool reportHints = preview && nav && nav->UseReportHints();
    TpgwGroupHeader* drill = nullptr;
    const std::vector<TpgwComponent*> objects = page->AllObjects();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        TpgwComponent* object = *it;
        const double left = object->AbsLeft() * scale + ox;
        const double top = object->AbsTop() * scale + oy;
        const bool hit = x >= left && x <= left + object->Width() * scale && y >= top &&
                         y <= top + object->Height() * scale;
        auto* view = dynamic_cast<TpgwView*>(object);
        if (!hit) {
            if (view && view->ShowHint() && reportHints) preview->SetShowHint(false);
            continue;
        }
        if (auto* group = dynamic_cast<TpgwGroupHeader*>(object); group && group->DrillDown())
            drill = group;
        if (!view) continue;

        if (auto* group = dynamic_cast<TpgwGroupHeader*>(view->Parent());
            group && group->DrillDown())
            drill = group;
        if (view->Cursor() != 0) cursor = view->Cursor();
        const std::string url = view->URL();
        if (!url.empty()) {
            report->ShowProgressText(url, false);
            if (view->Cursor() == 0) cursor = crHandPoint;
        }
        if (!view->Hint().empty() && view->ShowHint() && reportHints) {
            report->ShowProgressText(longHint(view->Hint()), true);
            preview->SetHint(shortHint(view->Hint()));
            preview->SetShowHint(true);
        }
        if (!click || drill) {
            if (report->OnMouseOverObject) report->OnMouseOverObject(view);
        } else {
            if (!url.empty() && url[0] == '@') {
                int pageNo = 0;
                if (nav && TryStrToInt(Trim(url.substr(1)), pageNo)) nav->SetPageNo(pageNo);
            } else if (!url.empty() && url[0] == '#') {
                const std::string name = url.substr(1);
                const int at = Root()->Find("anchors");
                TpgwXMLItem* anchors = at >= 0 ? Root()->Items(at) : nullptr;
                for (int i = anchors ? anchors->Count() - 1 : -1; i >= 0; --i) {
                    TpgwXMLItem* anchor = anchors->Items(i);
                    if (!AnsiSameText(anchor->Prop("text"), name)) continue;
                    if (nav)
                        nav->SetPosition(StrToIntDef(anchor->Prop("page"), 0) + 1,
                                         StrToIntDef(anchor->Prop("top"), 0));
                    break;
                }
            } else if (!url.empty()) {
                OpenLink(url);
            }
            bool modified = false;
            report->FirePreviewClick(view, button, shift, modified, doubleClick);
            if (modified) {
                ModifyPage(index, page);
                if (preview) preview->Invalidate();
            }
        }
        break;
    }

    if (drill) {
        cursor = crHandPoint;
        if (click && button == mbLeft) {
            TStringList& expanded = report->ExpandedDrillDowns();
            const int at = expanded.IndexOf(drill->DrillName());
            if (at >= 0)
                expanded.Delete(at);
            else
                expanded.Add(drill->DrillName());
            if (preview) preview->RefreshReport();
        }
    }
}
