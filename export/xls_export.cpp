#include "export/xls_export.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "engine/dialog_building.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/xls_automation.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/metafile.h"
#include "platform/ui/application.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/containers.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/view.h"
#include "report/wide_strings.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

// Millimetres to the spreadsheet's margin unit, report units to its column width unit and to
// the size of a pasted picture.
constexpr double kMarginFactor = 2.6;
constexpr double kUnitsPerColumnWidth = 8;
constexpr double kUnitsPerPicturePoint = 1.38;
// The program's manual page break and its normal workbook format.
constexpr int kPageBreakManual = -4135;
constexpr int kNormalWorkbook = -4143;
constexpr int kAccessNoChange = 1;
// More decimals than the program shows.
constexpr int kMaxDecimals = 30;

const char* const kNotInstalled = "Microsoft Excel must be installed on this computer!";

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// Bytes a character takes in the legacy code page; one it cannot hold is written as "?".
std::size_t legacyLength(std::u16string_view character) {
    if (character.size() == 1 && character[0] < 0x80) return 1;
    return Utf8ToCodePageLossy(Utf16ToUtf8(character), kAnsiCodePage).size();
}

// Inserts before the entries of the same key, keeping the list sorted by key.
void insertSorted(TpgwRangeList& list, std::string address, int key) {
    const auto at = std::lower_bound(list.begin(), list.end(), key,
                                     [](const auto& entry, int k) { return entry.second < k; });
    list.insert(at, {std::move(address), key});
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

TpgwXLSExportDialog::TpgwXLSExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8000"), GetResources().GetTextById(8), 112) {
    ContinuousCB = AddQualityCheck(12, 20, res("8950"));
    PicturesCB = AddQualityCheck(150, 20, res("8002"));
    MergeCB = AddQualityCheck(12, 42, res("8003"));
    PageBreaksCB = AddQualityCheck(150, 42, GetResources().GetTextById(6));
    FastExpCB = AddQualityCheck(12, 64, res("8004"));
    WCB = AddQualityCheck(150, 64, res("8005"));
    AsTextCB = AddQualityCheck(12, 86, res("8006"));
    BackgrCB = AddQualityCheck(150, 86, res("8007"));
    OpenExcelCB = OpenCB;
    OpenExcelCB->SetCaption(res("8008"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwXLSExport::TpgwXLSExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwXLSExport::TpgwXLSExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwXLSExport::~TpgwXLSExport() {
    freeRun();
}

void TpgwXLSExport::init() {
    SetShowDialog(true);
    SetFileFilter(res("8009"));
    SetFileExtension(res("8010"));
}

void TpgwXLSExport::RegisterProperties(TClassBuilder<TpgwXLSExport>& b) {
    using F = TpgwXLSExport;
    b.Add("ExportEMF", &F::ExportEMF, &F::SetExportEMF).Default(1);
    b.Add("ExportStyles", &F::ExportStyles, &F::SetExportStyles).Default(1);
    b.Add("ExportPictures", &F::ExportPictures, &F::SetExportPictures).Default(1);
    b.Add("MergeCells", &F::MergeCells, &F::SetMergeCells).Default(1);
    b.Add("OpenExcelAfterExport", &F::OpenExcelAfterExport, &F::SetOpenExcelAfterExport).Default(0);
    b.Add("Wysiwyg", &F::Wysiwyg, &F::SetWysiwyg).Default(1);
    b.Add("AsText", &F::AsText, &F::SetAsText).Default(0);
    b.Add("Background", &F::Background, &F::SetBackground).Default(1);
    b.Add("FastExport", &F::FastExport, &F::SetFastExport).Default(1);
    b.Add("PageBreaks", &F::PageBreaks, &F::SetPageBreaks).Default(1);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines).Default(1);
    b.Add(
         "SuppressPageHeadersFooters", [](F& f) { return f.SuppressPageHeadersFooters(); },
         [](F& f, bool v) { f.SetSuppressPageHeadersFooters(v); })
        .Default(0);
}

std::string TpgwXLSExport::FilterCaption() const {
    return res("XlsOLEexport");
}

// ---- options -----------------------------------------------------------------------------------

int TpgwXLSExport::AskOptions() {
    // The common steps skip the dialog for a stream; this filter has no use for one.
    struct Restore {
        TpgwXLSExport& filter;
        TStream* stream;
        ~Restore() { filter.SetTargetStream(stream); }
    } restore{*this, TargetStream()};
    SetTargetStream(nullptr);
    return TpgwFileExportFilter::AskOptions();
}

std::unique_ptr<TpgwExportDialog> TpgwXLSExport::CreateDialog() {
    return std::make_unique<TpgwXLSExportDialog>(nullptr);
}

void TpgwXLSExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwXLSExportDialog&>(dialog);
    d.ContinuousCB->SetChecked(!emptyLines_ || SuppressPageHeadersFooters());
    d.PicturesCB->SetChecked(exportPictures_);
    d.MergeCB->SetChecked(mergeCells_);
    d.WCB->SetChecked(wysiwyg_);
    d.AsTextCB->SetChecked(asText_);
    d.BackgrCB->SetChecked(background_);
    d.FastExpCB->SetChecked(fastExport_);
    d.PageBreaksCB->SetChecked(pageBreaks_);
}

void TpgwXLSExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwXLSExportDialog&>(dialog);
    mergeCells_ = d.MergeCB->Checked();
    pageBreaks_ = d.PageBreaksCB->Checked();
    exportPictures_ = d.PicturesCB->Checked();
    emptyLines_ = !d.ContinuousCB->Checked();
    SetSuppressPageHeadersFooters(d.ContinuousCB->Checked());
    wysiwyg_ = d.WCB->Checked();
    asText_ = d.AsTextCB->Checked();
    background_ = d.BackgrCB->Checked();
    fastExport_ = d.FastExpCB->Checked();
}

// ---- collecting --------------------------------------------------------------------------------

bool TpgwXLSExport::OpenOutput() {
    if (SlaveMode()) NameSlaveOutput();
    // The program saves the workbook itself: a stream cannot take it.
    if (FileName().empty()) return false;
    if (!DefaultPath().empty() && ExtractFilePath(FileName()).empty())
        SetFileName(IncludeTrailingPathDelimiter(DefaultPath()) + FileName());

    freeRun();
    firstPage_ = true;
    pictureCount_ = 0;
    TpgwReport* report = Report();
    matrix_ = std::make_unique<TpgwIEMatrix>(
        UseFileCache(), report ? report->EngineOptions()->TempDir() : std::string());
    TpgwIEMatrix& m = *matrix_;
    m.SetDotMatrixFonts(report && report->DotMatrixReport());
    m.SetProgressWindow(ShowProgress());
    m.SetMaxRowHeight(kMaxRowUnits);
    m.SetPageBackgroundPicture(false);
    m.SetPageBackground(background_ && emptyLines_);
    m.SetKeepRichText(!exportEMF_);
    m.SetRichAsPlainText(!exportEMF_);
    m.SetMergeTolerance(wysiwyg_ ? 0.5 : 10);
    m.SetRotatedAsPicture(false);
    m.SetStripHTMLTags(true);
    m.SetIncludeNonPrintable(ExportNotPrintable());
    m.SetKeepEmptyRows(emptyLines_);
    m.SetMetafilePictures(exportEMF_);

    excel_ = std::make_unique<TpgwExcel>();
    excel_->Start();
    if (!excel_->Opened()) {
        freeRun();
        if (report)
            ReportExportFailure(report, kNotInstalled);
        else
            MessageDlg(kNotInstalled, mtError, BtnBit(mbOK));
        return false;
    }
    return true;
}

void TpgwXLSExport::EnterPage(TpgwComponent* page, int) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!firstPage_ || !p) return;
    firstPage_ = false;
    leftMargin_ = p->LeftMargin() * kMarginFactor;
    topMargin_ = p->TopMargin() * kMarginFactor;
    bottomMargin_ = p->BottomMargin() * kMarginFactor;
    rightMargin_ = p->RightMargin() * kMarginFactor;
    orientation_ = p->Orientation();
}

void TpgwXLSExport::WriteItem(TpgwComponent* object) {
    if (!matrix_ || !object) return;
    // The top margin gives way to the merge tolerance: the first row of a page then stays apart
    // from the last row of the page before it.
    if (TpgwComponent* page = object->Page()) page->SetTop(matrix_->MergeTolerance());
    auto* view = dynamic_cast<TpgwView*>(object);
    if (!view || view->Name() == "_pagebackground") return;
    if (!view->Printable() && !ExportNotPrintable()) return;
    if (!exportPictures_ && !dynamic_cast<TpgwCustomMemoView*>(view)) return;
    matrix_->AddObject(view);
}

void TpgwXLSExport::LeavePage(TpgwComponent* page, int index) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!matrix_ || !p) return;
    matrix_->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                     p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(), p->Width());
}

void TpgwXLSExport::freeRun() {
    progress_.reset();
    matrix_.reset();
    excel_.reset();
}

// ---- closing -----------------------------------------------------------------------------------

void TpgwXLSExport::CloseOutput() {
    struct Free {
        TpgwXLSExport& filter;
        ~Free() { filter.freeRun(); }
    } free{*this};
    if (!excel_ || !matrix_) return;
    if (RunFailed()) {
        // The pages are incomplete: no workbook is saved, but the program must not stay.
        saveAndClose(false, false);
        return;
    }
    try {
        matrix_->Prepare();
    } catch (...) {
        saveAndClose(false, false);
        throw;
    }
    // Whatever the fill sent is saved, also when a call failed on the way.
    std::exception_ptr failure;
    bool shown = false;
    try {
        if (fastExport_)
            ExportFast();
        else
            ExportCellByCell();
        if (excel_->SelectRange(1, 1, 1, 1)) TpgwExcel::Call(excel_->CurrentRange(), "Select");
        if (OpenExcelAfterExport()) {
            excel_->SetVisible(true);
            shown = true;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    saveAndClose(true, shown);
    if (failure) std::rethrow_exception(failure);
}

void TpgwXLSExport::saveAndClose(bool save, bool shown) {
    TpgwExcel& x = *excel_;
    const Variant application = x.Application();
    // Each step on its own: a refused save must not leave a hidden program running.
    const auto attempt = [](const auto& call) {
        try {
            call();
        } catch (const std::exception&) {
            // Nothing more can be done about it here.
        }
    };
    if (save) {
        attempt([&] {
            std::string name = FileName();
            if (ExtractFilePath(name).empty())
                name = IncludeTrailingPathDelimiter(GetCurrentDir()) + name;
            TpgwExcel::Call(x.Workbook(), "SaveAs",
                            {Variant(name), Variant(kNormalWorkbook), Variant(), Variant(),
                             Variant(), Variant(), Variant(kAccessNoChange)});
        });
    }
    attempt([&] { TpgwExcel::Set(application, "DisplayAlerts", Variant(true)); });
    attempt([&] { TpgwExcel::Set(application, "ScreenUpdating", Variant(true)); });
    if (save && OpenExcelAfterExport()) {
        // A fill that failed before showing the program would leave it hidden for good.
        if (!shown) attempt([&] { x.SetVisible(true); });
    } else {
        attempt([&] { TpgwExcel::Call(application, "Quit"); });
    }
    x.ReleaseApplication();
}

// ---- filling -----------------------------------------------------------------------------------

void TpgwXLSExport::startProgress(int maximum, const std::string& message) {
    // Once cancelled it stays so: showing the window again would forget it.
    if (progress_ && !progress_->Cancelled()) progress_->Execute(maximum, message, true, true);
}

bool TpgwXLSExport::step() {
    if (!progress_) return true;
    progress_->Tick();
    return !progress_->Cancelled();
}

void TpgwXLSExport::beginFill() {
    excel_->SetPageSetup(orientation_, bottomMargin_, topMargin_, rightMargin_, leftMargin_);
    if (ShowProgress()) progress_ = std::make_unique<TpgwProgress>(nullptr);
}

void TpgwXLSExport::setPageBreak(int row, int& page) {
    // Without empty lines the rows between pages are gone and the rows below have moved up:
    // the page ends no longer fall on the rows they name.
    if (!pageBreaks_ || !emptyLines_) return;
    const TpgwIEMatrix& m = *matrix_;
    if (page >= m.PageCount() || m.YPosition(row) < m.PageBottom(page)) return;
    TpgwExcel::Set(TpgwExcel::Get(excel_->Worksheet(), "Rows", {Variant(row + 2)}), "PageBreak",
                   Variant(kPageBreakManual));
    ++page;
}

void TpgwXLSExport::sendColumnWidths() {
    const TpgwIEMatrix& m = *matrix_;
    for (int c = 1; c < m.GridWidth(); ++c)
        excel_->SetColumnWidth(c, (m.XPosition(c) - m.XPosition(c - 1)) / kUnitsPerColumnWidth);
}

void TpgwXLSExport::sendStyles(bool fast) {
    const TpgwIEMatrix& m = *matrix_;
    startProgress(m.StyleCount() - 1, res("ProgressStyles"));
    const Variant& application = excel_->Application();
    for (int n = 0; n < m.StyleCount(); ++n) {
        if (progress_) progress_->Tick();
        const TpgwIEMStyle& s = *m.StyleAt(n);
        const Variant style =
            TpgwExcel::Get(TpgwExcel::Get(TpgwExcel::Get(application, "ActiveWorkbook"), "Styles"),
                           "Add", {Variant("S" + std::to_string(n))});
        const Variant font = TpgwExcel::Get(style, "Font");
        const TFontStyles fontStyle = s.Font.Style();
        TpgwExcel::Set(font, "Bold", Variant(fontStyle.Contains(fsBold)));
        TpgwExcel::Set(font, "Italic", Variant(fontStyle.Contains(fsItalic)));
        TpgwExcel::Set(font, "Underline", Variant(fontStyle.Contains(fsUnderline)));
        TpgwExcel::Set(font, "Name", Variant(s.Font.Name()));
        TpgwExcel::Set(font, "Size", Variant(s.Font.Size()));
        TpgwExcel::Set(font, "Color", Variant(static_cast<int>(ColorToRGB(s.Font.Color()))));
        const bool plain = s.Color == clWhite || s.Color == clNone;
        // A transparent fill shows the sheet's white, not the black its plain value gives.
        if (!fast || !plain)
            TpgwExcel::Set(
                TpgwExcel::Get(style, "Interior"), "Color",
                Variant(static_cast<int>(s.Color == clNone ? clWhite : ColorToRGB(s.Color))));
        const auto [horizontal, vertical] = ExcelAlignmentCodes(s);
        TpgwExcel::Set(style, "VerticalAlignment", Variant(vertical));
        TpgwExcel::Set(style, "HorizontalAlignment", Variant(horizontal));
        if (fast) {
            if (s.Rotation >= 1 && s.Rotation <= 90)
                TpgwExcel::Set(style, "Orientation", Variant(s.Rotation));
            else if (s.Rotation >= 270 && s.Rotation <= 359)
                TpgwExcel::Set(style, "Orientation", Variant(s.Rotation - 360));
        } else {
            Application()->ProcessMessages();
        }
    }
}

void TpgwXLSExport::pastePicture(const TpgwIEMObject& object, bool shift) {
    const bool metafile = object.Metafile && object.Metafile->Width() >= 1;
    if (!object.Image && !metafile) return;
    if (exportEMF_ && metafile)
        Clipboard().SetAsMetafile(*object.Metafile);
    else if (object.Image)
        Clipboard().SetAsBitmap(*object.Image);
    else
        Clipboard().SetAsMetafile(*object.Metafile);
    TpgwExcel::Call(excel_->CurrentRange(), "PasteSpecial");
    ++pictureCount_;
    const Variant picture =
        TpgwExcel::Get(excel_->Worksheet(), "Pictures", {Variant(pictureCount_)});
    if (shift) {
        TpgwExcel::Set(picture, "Left", TpgwExcel::Get(picture, "Left") + Variant(1));
        TpgwExcel::Set(picture, "Top", TpgwExcel::Get(picture, "Top") + Variant(1));
    }
    TpgwExcel::Set(picture, "Width", Variant(object.Width / kUnitsPerPicturePoint));
    TpgwExcel::Set(picture, "Height", Variant(object.Height / kUnitsPerPicturePoint));
}

void TpgwXLSExport::ExportCellByCell() {
    TpgwIEMatrix& m = *matrix_;
    TpgwExcel& x = *excel_;
    beginFill();
    const int height = m.GridHeight();
    const int width = m.GridWidth();

    startProgress(height - 1, res("ProgressRows"));
    int page = 0;
    for (int r = 1; r < height; ++r) {
        if (!step()) break;
        x.SetRowHeight(r, (m.YPosition(r) - m.YPosition(r - 1)) / kUnitsPerPoint);
        setPageBreak(r, page);
    }
    startProgress(width - 1, res("ProgressColumns"));
    sendColumnWidths();
    sendStyles(false);

    Variant values = VarArrayCreate({0, height - 1, 0, width - 1}, varOleStr);
    startProgress(height, res("ProgressObjects"));
    for (int r = 1; r <= height; ++r) {
        if (!step()) break;
        for (int c = 1; c <= width; ++c) {
            const int index = m.Cell(c - 1, r - 1);
            TpgwIEMObject* object = m.ObjectById(index);
            if (!object || object->Counter != 0) continue;
            object->Counter = 1;
            int col = 0, row = 0, dx = 1, dy = 1;
            m.ObjectPlacement(index, col, row, dx, dy);
            // A range the sheet cannot reach must not fall back on the previous object's.
            const bool selected = x.SelectRange(c, r, dy, dx);
            if (!object->IsText) {
                if (selected) pastePicture(*object, false);
                continue;
            }
            if (selected && exportStyles_ && object->StyleIndex >= 0)
                TpgwExcel::Set(x.CurrentRange(), "Style",
                               Variant("S" + std::to_string(object->StyleIndex)));
            if (selected && mergeCells_ && (dx > 1 || dy > 1) && x.SelectRange(c, r, dy, dx))
                x.MergeRange();
            if (selected && exportStyles_ && object->Style) x.SetBorders(object->Style->FrameSides);
            VarArrayPut(values,
                        Variant::FromWideString(
                            Utf16ToUtf8(LimitCellText(CleanCellText(object->Memo), false))),
                        {r - 1, c - 1});
        }
    }
    if (x.SelectRange(1, 1, height - 1, width - 1))
        TpgwExcel::Set(x.CurrentRange(), "Value", values);
    TpgwExcel::Set(TpgwExcel::Get(x.Worksheet(), "Cells"), "WrapText", Variant(true));
}

void TpgwXLSExport::ExportFast() {
    TpgwIEMatrix& m = *matrix_;
    TpgwExcel& x = *excel_;
    beginFill();
    const int height = m.GridHeight();
    const int width = m.GridWidth();

    // Heights in quarter points, so that rows of equal height share one call.
    startProgress(height - 1, res("ProgressRows") + " - 1");
    std::vector<double> heights;
    std::vector<int> uses;
    TpgwRangeList rowRanges;
    int mostUsed = 0;
    int start = 1;
    int current = 0;
    int page = 0;
    for (int p = 1; p < height; ++p) {
        if (!step()) break;
        setPageBreak(p, page);
        const double points =
            static_cast<double>(Round((m.YPosition(p) - m.YPosition(p - 1)) / kUnitsPerPoint * 4)) /
            4;
        const auto found = std::find(heights.begin(), heights.end(), points);
        const int index = static_cast<int>(found - heights.begin());
        if (found == heights.end()) {
            heights.push_back(points);
            uses.push_back(1);
        } else {
            ++uses[static_cast<std::size_t>(index)];
        }
        if (uses[static_cast<std::size_t>(index)] > uses[static_cast<std::size_t>(mostUsed)])
            mostUsed = index;
        if (p > 1 && index != current) {
            std::string range = "A" + std::to_string(start);
            if (start != p - 1) range += ":A" + std::to_string(p - 1);
            insertSorted(rowRanges, std::move(range), current);
            start = p;
            current = index;
        }
        if (p == height - 1)
            insertSorted(rowRanges, "A" + std::to_string(start) + ":A" + std::to_string(p), index);
    }
    x.SetRowHeights(rowRanges, heights, progress_.get(), height, mostUsed);

    startProgress(width - 1, res("ProgressColumns"));
    sendColumnWidths();
    sendStyles(true);

    Variant values = VarArrayCreate({1, height, 1, width}, varVariant);
    TpgwRangeList styles, borders, merges;
    std::vector<std::string> numberFormats;
    startProgress(height, res("ProgressObjects"));
    for (int p = 1; p <= height; ++p) {
        if (!step()) break;
        for (int c = 1; c <= width; ++c) {
            const int index = m.Cell(c - 1, p - 1);
            TpgwIEMObject* object = m.ObjectById(index);
            if (!object || object->Counter != 0) continue;
            object->Counter = 1;
            int col = 0, row = 0, dx = 1, dy = 1;
            m.ObjectPlacement(index, col, row, dx, dy);
            // Cut as SelectRange cuts: an address beyond the sheet would make its whole batch
            // fail, and with it the ranges it shares the batch with.
            int first = c, span = dx;
            const bool reachable = TpgwExcel::ClipRange(first, span);
            std::string address = TpgwExcel::CellName(c, p);
            if (span > 1 || dy > 1) address += ":" + TpgwExcel::CellName(c + span - 1, p + dy - 1);
            const TpgwIEMStyle* style = object->Style;
            if (reachable) {
                if (exportStyles_ && object->StyleIndex >= 0)
                    insertSorted(styles, address, object->StyleIndex);
                if (mergeCells_ && (span > 1 || dy > 1)) merges.emplace_back(address, 0);
                if (exportStyles_ && style && (style->FrameSides & ftAll) != 0)
                    insertSorted(borders, address, style->FrameSides);
            }

            std::string value = Utf16ToUtf8(LimitCellText(CleanCellText(object->Memo), true));
            if (asText_) {
                value.insert(value.begin(), '\'');
            } else if (style && style->DisplayFormat.Kind() == fkNumeric && !value.empty()) {
                value = NumericCellText(value, style->DisplayFormat);
                if (reachable && !style->DisplayFormat.FormatStr().empty())
                    numberFormats.push_back(ExcelNumberFormat(style->DisplayFormat.FormatStr()) +
                                            "=" + TpgwExcel::CellName(c, p));
            } else if (style && style->DisplayFormat.Kind() == fkText) {
                value.insert(value.begin(), '\'');
            }
            VarArrayPut(values, Variant(value), {p, c});

            if (!object->IsText && x.SelectRange(c, p, dy, dx)) pastePicture(*object, true);
        }
    }
    if (exportStyles_) {
        x.ApplyRangeList(styles, rlStyles, progress_.get());
        x.ApplyRangeList(borders, rlBorders, progress_.get());
        x.ApplyNumberFormats(numberFormats, progress_.get());
    }
    if (mergeCells_) x.ApplyRangeList(merges, rlMerges, progress_.get());

    if (x.SelectRange(1, 1, height, width)) TpgwExcel::Set(x.CurrentRange(), "Value", values);
    TpgwExcel::Set(TpgwExcel::Get(x.Worksheet(), "Cells"), "WrapText", Variant(true));
}

// ---- cell texts --------------------------------------------------------------------------------

std::u16string TpgwXLSExport::CleanCellText(const TWideStrings& lines) {
    std::u16string text = lines.Text();
    std::erase(text, u'\r');
    while (!text.empty() && text.back() == u'\n')
        text.pop_back();
    return text;
}

std::u16string TpgwXLSExport::LimitCellText(std::u16string text, bool eightBit) {
    if (!eightBit) {
        if (text.size() <= kMaxCellText) return text;
        std::size_t end = kMaxCellText;
        if (isHighSurrogate(text[end - 1])) --end;
        text.resize(end);
        return text;
    }
    // No legacy character takes more than two bytes.
    if (text.size() <= kMaxCellText / 2) return text;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t units = isHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
        bytes += legacyLength(std::u16string_view(text).substr(i, units));
        if (bytes > kMaxCellText) {
            text.resize(i);
            break;
        }
        i += units;
    }
    return text;
}

std::string TpgwXLSExport::NumericCellText(std::string_view text, const TpgwFormat& format) {
    const TFormatSettings& fs = FormatSettings();
    const std::string decimal = format.DecimalSeparator().empty()
                                    ? std::string(1, fs.DecimalSeparator)
                                    : format.DecimalSeparator();
    const std::string thousand = format.ThousandSeparator().empty()
                                     ? std::string(1, fs.ThousandSeparator)
                                     : format.ThousandSeparator();
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i).starts_with(decimal)) {
            out += '.';
            i += decimal.size();
        } else if (text.substr(i).starts_with(thousand)) {
            i += thousand.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string TpgwXLSExport::ExcelNumberFormat(std::string_view formatStr) {
    if (formatStr.empty()) return {};
    int decimals = 0;
    if (const std::size_t dot = formatStr.find('.');
        dot != std::string_view::npos && dot + 1 < formatStr.size()) {
        const char* first = formatStr.data() + dot + 1;
        const char* last = formatStr.data() + formatStr.size() - 1;
        // Digits the format does not have read as none.
        if (std::from_chars(first, last, decimals).ptr != last) decimals = 0;
        decimals = std::clamp(decimals, 0, kMaxDecimals);
    }
    const std::string point(1, FormatSettings().DecimalSeparator);
    const auto count = static_cast<std::size_t>(decimals);
    switch (formatStr.back()) {
    case 'd':
        return "#" + point + std::string(count, '#');
    case 'f':
        return "0" + point + std::string(count, '0');
    case 'n':
        return "# ##0" + point + std::string(count, '0');
    default:
        return {};
    }
}

std::pair<int, int> TpgwXLSExport::ExcelAlignmentCodes(const TpgwIEMStyle& style) {
    int horizontal = -4131;
    switch (style.HAlign) {
    case haRight:
        horizontal = -4152;
        break;
    case haCenter:
        horizontal = -4108;
        break;
    case haBlock:
        horizontal = -4130;
        break;
    default:
        break;
    }
    int vertical = -4160;
    if (style.VAlign == vaBottom) vertical = -4107;
    if (style.VAlign == vaCenter) vertical = -4108;
    return {horizontal, vertical};
}

void RegisterXLSExport() {
    RegisterClasses<TpgwXLSExport>();
    RegisterExportFormat("xls", [] {
        return std::make_unique<TpgwXLSExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
