#include "export/xml_export.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <exception>
#include <utility>

#include "engine/dialog_building.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/core/variant.h"
#include "platform/graphics/font_measurer.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"
#include "report/view.h"
#include "report/wide_strings.h"
#include "script/automation.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

std::string num(long long v) {
    return std::to_string(v);
}

// Lengths of the sheet: two decimals and "." whatever the locale.
std::string fixed2(double v) {
    return FloatToFixedStr(v, 2, '.');
}

std::string attribute(std::string_view name, std::string_view value) {
    std::string out = " ";
    out += name;
    out += "=\"";
    out += value;
    out += '"';
    return out;
}

// Report units per point of the sheet's widths and heights.
constexpr double kUnitsPerPoint = 1.376;
// Millimetres per margin unit of the page setup.
constexpr double kMillimetresPerMarginUnit = 26.6;
// Rows above 409 points are split (the spreadsheet's own limit), in report units.
constexpr double kMaxRowHeight = 409 * kUnitsPerPoint;
// Written in pieces, so a large workbook does not sit in memory twice.
constexpr std::size_t kFlushSize = 64 * 1024;

constexpr const char* kSpreadsheetNs = "urn:schemas-microsoft-com:office:spreadsheet";
constexpr const char* kOfficeNs = "urn:schemas-microsoft-com:office:office";
constexpr const char* kExcelNs = "urn:schemas-microsoft-com:office:excel";
constexpr const char* kHtmlNs = "http://www.w3.org/TR/REC-html40";

void line(std::string& out, std::string_view text) {
    out += text;
    out += "\r\n";
}

void flush(TStream& stream, std::string& out) {
    stream.Write(out.data(), static_cast<std::int64_t>(out.size()));
    out.clear();
}

// Simple content on the line of its element.
void element(std::string& out, std::string_view name, std::string_view content) {
    std::string text = "<";
    text += name;
    text += '>';
    text += content;
    text += "</";
    text += name;
    text += '>';
    line(out, text);
}

// ISO 8601 in UTC: the export clock gives local time.
std::string utcStamp(std::tm local) {
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional minus, digits and at most one "." with at least one digit: what a number cell
// can hold.
bool isPlainNumber(std::string_view text) {
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

TpgwXMLExportDialog::TpgwXMLExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8100"), GetResources().GetTextById(8), 70) {
    WCB = AddQualityCheck(12, 20, res("8102"));
    ContinuousCB = AddQualityCheck(150, 20, res("8950"));
    PageBreaksCB = AddQualityCheck(12, 42, GetResources().GetTextById(6));
    BackgrCB = AddQualityCheck(150, 42, res("8103"));
    OpenExcelCB = OpenCB;
    OpenExcelCB->SetCaption(res("8104"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwXMLExport::TpgwXMLExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwXMLExport::TpgwXMLExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwXMLExport::~TpgwXMLExport() = default;

void TpgwXMLExport::init() {
    SetShowDialog(true);
    SetFileFilter(res("8105"));
    SetFileExtension(res("8106"));
}

void TpgwXMLExport::RegisterProperties(TClassBuilder<TpgwXMLExport>& b) {
    using F = TpgwXMLExport;
    b.Add("ExportStyles", &F::ExportStyles, &F::SetExportStyles).Default(1);
    b.Add("ExportPageBreaks", &F::ExportPageBreaks, &F::SetExportPageBreaks).Default(1);
    b.Add("OpenExcelAfterExport", &F::OpenExcelAfterExport, &F::SetOpenExcelAfterExport).Default(0);
    b.Add("Wysiwyg", &F::Wysiwyg, &F::SetWysiwyg).Default(1);
    b.Add("Background", &F::Background, &F::SetBackground).Default(1);
    b.Add("Creator", TypeInfoString(), &F::Creator, &F::SetCreator);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines).Default(1);
    b.Add(
         "SuppressPageHeadersFooters", [](F& f) { return f.SuppressPageHeadersFooters(); },
         [](F& f, bool v) { f.SetSuppressPageHeadersFooters(v); })
        .Default(0);
}

std::string TpgwXMLExport::FilterCaption() const {
    return res("XlsXMLexport");
}

// ---- options -----------------------------------------------------------------------------------

std::unique_ptr<TpgwExportDialog> TpgwXMLExport::CreateDialog() {
    return std::make_unique<TpgwXMLExportDialog>(nullptr);
}

void TpgwXMLExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwXMLExportDialog&>(dialog);
    d.ContinuousCB->SetChecked(!emptyLines_ || SuppressPageHeadersFooters());
    d.PageBreaksCB->SetChecked(exportPageBreaks_ && !d.ContinuousCB->Checked());
    d.WCB->SetChecked(wysiwyg_);
    d.BackgrCB->SetChecked(background_);
}

void TpgwXMLExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwXMLExportDialog&>(dialog);
    // One continuous sheet: no empty rows, headers and footers once, no breaks.
    const bool continuous = d.ContinuousCB->Checked();
    exportPageBreaks_ = d.PageBreaksCB->Checked() && !continuous;
    emptyLines_ = !continuous;
    SetSuppressPageHeadersFooters(continuous);
    wysiwyg_ = d.WCB->Checked();
    background_ = d.BackgrCB->Checked();
}

std::unique_ptr<TpgwProgress> TpgwXMLExport::CreateProgress() {
    return std::make_unique<TpgwProgress>(nullptr);
}

// ---- collecting --------------------------------------------------------------------------------

bool TpgwXMLExport::OpenOutput() {
    if (SlaveMode()) NameSlaveOutput();
    if (FileName().empty() && !TargetStream()) return false;
    PlaceInDefaultPath();
    firstPage_ = true;
    leftMargin_ = topMargin_ = rightMargin_ = bottomMargin_ = 0;
    landscape_ = false;
    rowBreaks_.clear();

    TpgwReport* report = Report();
    matrix_ = std::make_unique<TpgwIEMatrix>(
        UseFileCache(), report ? report->EngineOptions()->TempDir() : std::string());
    TpgwIEMatrix& m = *matrix_;
    m.SetDotMatrixFonts(report && report->DotMatrixReport());
    m.SetProgressWindow(ShowProgress());
    m.SetMaxRowHeight(kMaxRowHeight);
    m.SetPageBackground(background_ && emptyLines_);
    m.SetPageBackgroundPicture(false);
    m.SetIncludeNonPrintable(ExportNotPrintable());
    m.SetKeepRichText(true);
    m.SetRichAsPlainText(true);
    m.SetKeepEmptyRows(emptyLines_);
    m.SetMergeTolerance(wysiwyg_ ? 0.5 : 10);
    m.SetStripHTMLTags(true);
    exportPageBreaks_ = exportPageBreaks_ && emptyLines_;
    return true;
}

void TpgwXMLExport::EnterPage(TpgwComponent* page, int) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!firstPage_ || !p) return;
    firstPage_ = false;
    leftMargin_ = p->LeftMargin();
    topMargin_ = p->TopMargin();
    bottomMargin_ = p->BottomMargin();
    rightMargin_ = p->RightMargin();
    landscape_ = p->Orientation() == poLandscape;
}

void TpgwXMLExport::WriteItem(TpgwComponent* object) {
    if (!matrix_ || !object) return;
    // The top margin gives way to the merge tolerance: the first row of a page then stays apart
    // from the last row of the page before it.
    if (TpgwComponent* page = object->Page()) page->SetTop(matrix_->MergeTolerance());
    auto* view = dynamic_cast<TpgwView*>(object);
    if (view && view->Name() != "_pagebackground") matrix_->AddObject(view);
}

void TpgwXMLExport::LeavePage(TpgwComponent* page, int index) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!matrix_ || !p) return;
    matrix_->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                     p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(), p->Width());
}

void TpgwXMLExport::CloseOutput() {
    // The run's matrix goes whatever happens to the file.
    struct Free {
        std::unique_ptr<TpgwIEMatrix>& matrix;
        ~Free() { matrix.reset(); }
    } free{matrix_};
    // A run that failed on a page would write an incomplete workbook: the earlier file stays.
    if (RunFailed() || !matrix_) return;
    matrix_->Prepare();
    try {
        if (TStream* target = TargetStream()) {
            WriteWorkbook(*target);
        } else {
            // Under a temporary name until complete: a failed write leaves the earlier file.
            TSafeFileWriter file(FileName());
            WriteWorkbook(file);
            file.Commit();
            if (OpenExcelAfterExport()) openInSpreadsheet();
        }
    } catch (const std::exception& e) {
        ReportExportFailure(Report(), e.what());
    }
}

void TpgwXMLExport::openInSpreadsheet() {
    // Held only for these calls: the program goes on with the workbook on its own.
    TksAutomationObject application(CreateOleDispatch("Excel.Application"));
    const Variant app = ObjectToVariant<TObject>(&application);
    ksDispatchCall(app, "Visible", {Variant(true)}, DISPATCH_PROPERTYPUT, false);
    const Variant books = ksDispatchCall(app, "WorkBooks", {}, DISPATCH_METHOD, true);
    ksDispatchCall(books, "Open", {Variant(FileName())}, DISPATCH_METHOD, false);
}

// ---- conversions -------------------------------------------------------------------------------

std::string TpgwXMLExport::EscapeData(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    bool afterBreak = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        // A digit right after a line break would be taken into the break by the reader.
        if (afterBreak && isDigit(c)) {
            out += "&#" + num(b) + ";";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "&#10;";
            afterBreak = true;
            ++i;
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '\n' || (b < 0x20 && c != '\t' && c != '\r')) {
            // Control characters cannot stand in an XML document at all.
        } else {
            out += c;
            afterBreak = false;
        }
    }
    return out;
}

bool TpgwXMLExport::IsNumericText(std::string_view text) {
    for (const char c : Utf8ToCodePageLossy(text)) {
        const auto b = static_cast<unsigned char>(c);
        if (c != ' ' && c != ',' && c != '-' && c != '.' && !isDigit(c) && b != 0xA0 && b != 0xF0)
            return false;
    }
    return true;
}

std::string TpgwXMLExport::NumberData(std::string_view text, const TpgwFormat& format) {
    const TFormatSettings& fs = FormatSettings();
    const std::string decimal = format.DecimalSeparator().empty()
                                    ? std::string(1, fs.DecimalSeparator)
                                    : format.DecimalSeparator();
    std::string number(text);
    // A decimal separator that is also the system's thousands separator is the decimal point:
    // removing it would multiply the value.
    const std::string thousands(1, fs.ThousandSeparator);
    if (thousands != decimal) replaceAll(number, thousands, "");
    replaceAll(number, fs.CurrencyString, "");
    replaceAll(number, decimal, ".");
    number = Trim(number);
    return isPlainNumber(number) ? number : std::string();
}

std::string TpgwXMLExport::SpreadsheetNumberFormat(std::string_view formatStr) {
    int decimals = 0;
    const std::size_t point = formatStr.find('.');
    if (point != std::string_view::npos && point + 1 < formatStr.size()) {
        const std::string_view digits = formatStr.substr(point + 1, formatStr.size() - point - 2);
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), decimals);
        if (ec != std::errc() || end != digits.data() + digits.size()) decimals = 0;
        // The spreadsheet shows at most 30 decimals.
        decimals = std::clamp(decimals, 0, 30);
    }
    const std::string fraction = decimals > 0 ? "." + std::string(decimals, '0') : std::string();
    switch (formatStr.empty() ? '\0' : formatStr.back()) {
    case 'f':
        return "0" + fraction;
    case 'g':
        return "0.##";
    case 'm':
        return "#,##0.00";
    case 'n':
        return "#,##0" + fraction;
    default:
        return "#,##0.00";
    }
}

std::string TpgwXMLExport::SpreadsheetAlignment(const TpgwIEMStyle& style) {
    const char* horizontal = style.HAlign == haRight    ? "Right"
                             : style.HAlign == haCenter ? "Center"
                             : style.HAlign == haBlock  ? "Justify"
                                                        : "Left";
    const char* vertical = style.VAlign == vaBottom   ? "Bottom"
                           : style.VAlign == vaCenter ? "Center"
                                                      : "Top";
    std::string out = "<Alignment" + attribute("ss:Horizontal", horizontal) +
                      attribute("ss:Vertical", vertical) + attribute("ss:WrapText", "1");
    if (style.Rotation >= 1 && style.Rotation <= 90)
        out += attribute("ss:Rotate", num(style.Rotation));
    else if (style.Rotation >= 270 && style.Rotation <= 359)
        out += attribute("ss:Rotate", num(style.Rotation - 360));
    return out + "/>";
}

// ---- writing -----------------------------------------------------------------------------------

void TpgwXMLExport::writeStyle(std::string& out, int index) {
    const TpgwIEMStyle& style = *matrix_->StyleAt(index);
    line(out, "<Style" + attribute("ss:ID", "s" + num(index)) + ">");

    const TFont& font = style.Font;
    std::string f = "<Font" + attribute("ss:FontName", EscapeData(font.Name())) +
                    attribute("ss:Size", num(font.Size())) +
                    attribute("ss:Color", ColorToHexRGB(font.Color()));
    if (font.Style().Contains(fsBold)) f += attribute("ss:Bold", "1");
    if (font.Style().Contains(fsItalic)) f += attribute("ss:Italic", "1");
    if (font.Style().Contains(fsUnderline)) f += attribute("ss:Underline", "Single");
    line(out, f + "/>");
    // Transparent comes out white.
    line(out, "<Interior" + attribute("ss:Color", ColorToHexRGB(style.Color)) +
                  attribute("ss:Pattern", "Solid") + "/>");
    line(out, SpreadsheetAlignment(style));

    line(out, "<Borders>");
    const std::pair<TpgwFrameType, const char*> sides[] = {
        {ftLeft, "Left"}, {ftRight, "Right"}, {ftTop, "Top"}, {ftBottom, "Bottom"}};
    for (const auto& [side, position] : sides) {
        if (!(style.FrameSides & FrameSide(side))) continue;
        line(out, "<Border" + attribute("ss:Position", position) +
                      attribute("ss:LineStyle", "Continuous") +
                      attribute("ss:Weight", style.FrameWidth > 1 ? "3" : "1") +
                      attribute("ss:Color", ColorToHexRGB(style.FrameColor)) + "/>");
    }
    line(out, "</Borders>");

    const TpgwFormat& format = style.DisplayFormat;
    if (format.Kind() == fkNumeric && !format.FormatStr().empty() && format.FormatStr() != "%2.2n")
        line(out,
             "<NumberFormat" +
                 attribute("ss:Format", EscapeData(SpreadsheetNumberFormat(format.FormatStr()))) +
                 "/>");
    line(out, "</Style>");
}

void TpgwXMLExport::writeCell(std::string& out, const TpgwIEMObject& object, int col, int colSpan,
                              int rowSpan) {
    std::string cell = "<Cell" + attribute("ss:Index", num(col + 1));
    if (colSpan >= 2) cell += attribute("ss:MergeAcross", num(colSpan - 1));
    if (rowSpan >= 2) cell += attribute("ss:MergeDown", num(rowSpan - 1));
    if (exportStyles_ && object.StyleIndex >= 0)
        cell += attribute("ss:StyleID", "s" + num(object.StyleIndex));
    line(out, cell + ">");

    std::u16string lines = object.Memo.Text();
    if (lines.ends_with(u"\r\n")) lines.resize(lines.size() - 2);
    const std::string text = Utf16ToUtf8Lenient(lines);
    // A number cell only for what reads as a number: anything else keeps its text.
    std::string number;
    if (object.Style && object.Style->DisplayFormat.Kind() == fkNumeric && IsNumericText(text))
        number = NumberData(text, object.Style->DisplayFormat);
    if (!number.empty())
        line(out, "<Data ss:Type=\"Number\">" + number + "</Data>");
    else
        line(out, "<Data ss:Type=\"String\">" + EscapeData(text) + "</Data>");
    line(out, "</Cell>");
}

void TpgwXMLExport::WriteWorkbook(TStream& stream) {
    if (!matrix_) throw EInvalidOperation("The spreadsheet XML export has no run open");
    TpgwIEMatrix& m = *matrix_;
    std::unique_ptr<TpgwProgress> progress;
    if (ShowProgress()) {
        progress = CreateProgress();
        progress->Execute(m.PageCount(), "Exporting pages", true, true);
    }
    rowBreaks_.clear();
    std::string out;
    out.reserve(kFlushSize + 4096);

    line(out, "<?xml version=\"1.0\"?>");
    line(out, "<?mso-application progid=\"Excel.Sheet\"?>");
    line(out, "<?pg-application created=\"" + EscapeData(creator_) + "\"?>");
    line(out, "<?pg-application homesite=\"https://lumetra.example.org/\"?>");
    line(out, std::string("<Workbook xmlns=\"") + kSpreadsheetNs + "\"");
    line(out, std::string(" xmlns:o=\"") + kOfficeNs + "\"");
    line(out, std::string(" xmlns:x=\"") + kExcelNs + "\"");
    line(out, std::string(" xmlns:ss=\"") + kSpreadsheetNs + "\"");
    line(out, std::string(" xmlns:html=\"") + kHtmlNs + "\">");

    TpgwReportOptions* options = Report() ? Report()->ReportOptions() : nullptr;
    line(out, std::string("<DocumentProperties xmlns=\"") + kOfficeNs + "\">");
    element(out, "Title", options ? EscapeData(options->Name()) : std::string());
    element(out, "Author", options ? EscapeData(options->Author()) : std::string());
    element(out, "Created", utcStamp(ExportTime()));
    element(out, "Version",
            options ? EscapeData(options->VersionMajor() + "." + options->VersionMinor() + "." +
                                 options->VersionRelease() + "." + options->VersionBuild())
                    : std::string("..."));
    line(out, "</DocumentProperties>");
    line(out, std::string("<ExcelWorkbook xmlns=\"") + kExcelNs + "\">");
    element(out, "ProtectStructure", "False");
    element(out, "ProtectWindows", "False");
    line(out, "</ExcelWorkbook>");

    if (exportStyles_) {
        line(out, "<Styles>");
        for (int i = 0; i < m.StyleCount(); ++i)
            writeStyle(out, i);
        line(out, "</Styles>");
    }

    const int columns = m.GridWidth(), rows = m.GridHeight();
    line(out, "<Worksheet ss:Name=\"Page 1\">");
    line(out, "<Table" + attribute("ss:ExpandedColumnCount", num(columns)) +
                  attribute("ss:ExpandedRowCount", num(rows)) + attribute("x:FullColumns", "1") +
                  attribute("x:FullRows", "1") + ">");
    for (int i = 1; i < columns; ++i)
        line(out, "<Column" + attribute("ss:AutoFitWidth", "0") +
                      attribute("ss:Width",
                                fixed2((m.XPosition(i) - m.XPosition(i - 1)) / kUnitsPerPoint)) +
                      "/>");

    const auto cancelled = [&progress] { return progress && progress->Cancelled(); };
    int page = 0;
    bool stop = false;
    for (int r = 0; r + 1 < rows && !stop; ++r) {
        line(out, "<Row" +
                      attribute("ss:Height",
                                fixed2((m.YPosition(r + 1) - m.YPosition(r)) / kUnitsPerPoint)) +
                      ">");
        if (page < m.PageCount() && m.PageBottom(page) <= m.YPosition(r)) {
            ++page;
            rowBreaks_.push_back(r + 1);
            if (progress) progress->Tick();
            stop = cancelled();
        }
        for (int c = 0; c < columns && !stop; ++c) {
            if (cancelled()) {
                stop = true;
                break;
            }
            const int index = m.Cell(c, r);
            TpgwIEMObject* object = m.ObjectById(index);
            if (!object) {
                line(out, "<Cell" + attribute("ss:Index", num(c + 1)) + "/>");
                continue;
            }
            if (object->Counter != 0) continue;
            object->Counter = 1;
            if (!object->IsText) continue;
            int col, first, colSpan, rowSpan;
            m.ObjectPlacement(index, col, first, colSpan, rowSpan);
            writeCell(out, *object, c, colSpan, rowSpan);
        }
        line(out, "</Row>");
        if (out.size() >= kFlushSize) flush(stream, out);
    }
    line(out, "</Table>");

    line(out, std::string("<WorksheetOptions xmlns=\"") + kExcelNs + "\">");
    line(out, "<PageSetup>");
    if (landscape_) line(out, "<Layout x:Orientation=\"Landscape\"/>");
    line(out, "<PageMargins" +
                  attribute("x:Bottom", fixed2(bottomMargin_ / kMillimetresPerMarginUnit)) +
                  attribute("x:Left", fixed2(leftMargin_ / kMillimetresPerMarginUnit)) +
                  attribute("x:Right", fixed2(rightMargin_ / kMillimetresPerMarginUnit)) +
                  attribute("x:Top", fixed2(topMargin_ / kMillimetresPerMarginUnit)) + "/>");
    line(out, "</PageSetup>");
    line(out, "</WorksheetOptions>");
    if (exportPageBreaks_) {
        line(out, std::string("<PageBreaks xmlns=\"") + kExcelNs + "\">");
        line(out, "<RowBreaks>");
        for (const int row : rowBreaks_) {
            line(out, "<RowBreak>");
            element(out, "Row", num(row));
            line(out, "</RowBreak>");
        }
        line(out, "</RowBreaks>");
        line(out, "</PageBreaks>");
    }
    line(out, "</Worksheet>");
    line(out, "</Workbook>");
    flush(stream, out);
}

void RegisterXMLExport() {
    RegisterClasses<TpgwXMLExport>();
    RegisterExportFormat("xml", [] {
        return std::make_unique<TpgwXMLExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
