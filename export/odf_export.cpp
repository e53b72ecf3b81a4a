#include "export/odf_export.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine/dialog_building.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/zip_writer.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/emf_writer.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/file_utils.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"
#include "report/view.h"
#include "report/wide_strings.h"
#include "report/xml_document.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

// Report units in centimetres, as every length of the document but the page size.
std::string cm(double units) {
    return FloatToFixedStr(units / 37.82, 3, '.');
}

std::string hexColor(TColor color) {
    return color == clNone ? "#FFFFFF" : ColorToHexRGB(color);
}

// The namespaces of the content and styles roots, in their order.
constexpr std::pair<const char*, const char*> kNamespaces[] = {
    {"xmlns:office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"},
    {"xmlns:style", "urn:oasis:names:tc:opendocument:xmlns:style:1.0"},
    {"xmlns:text", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"},
    {"xmlns:table", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"},
    {"xmlns:draw", "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"},
    {"xmlns:fo", "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"},
    {"xmlns:xlink", "http://www.w3.org/1999/xlink"},
    {"xmlns:dc", "http://purl.org/dc/elements/1.1/"},
    {"xmlns:meta", "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"},
    {"xmlns:number", "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"},
    {"xmlns:svg", "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"},
    {"xmlns:chart", "urn:oasis:names:tc:opendocument:xmlns:chart:1.0"},
    {"xmlns:dr3d", "urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0"},
    {"xmlns:math", "http://www.w3.org/1998/Math/MathML"},
    {"xmlns:form", "urn:oasis:names:tc:opendocument:xmlns:form:1.0"},
    {"xmlns:script", "urn:oasis:names:tc:opendocument:xmlns:script:1.0"},
    {"xmlns:dom", "http://www.w3.org/2001/xml-events"},
    {"xmlns:xforms", "http://www.w3.org/2002/xforms"},
    {"xmlns:xsd", "http://www.w3.org/2001/XMLSchema"},
    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"},
};

// Attribute text: markup characters and line ends as references, so they survive reading.
void appendAttributeText(std::string& out, std::string_view value) {
    for (const char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\t':
            out += "&#9;";
            break;
        default:
            out += c;
        }
    }
}

// Attributes of one element, written as the element's raw attribute text.
class Attrs {
public:
    Attrs& operator()(std::string_view name, std::string_view value) {
        text_ += ' ';
        text_ += name;
        text_ += "=\"";
        appendAttributeText(text_, value);
        text_ += '"';
        return *this;
    }
    // A value that is markup already.
    Attrs& Raw(std::string_view name, std::string_view value) {
        text_ += ' ';
        text_ += name;
        text_ += "=\"";
        text_ += value;
        text_ += '"';
        return *this;
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

} // namespace

// Writes a part as the XML document writes it when indenting: the declaration, one element
// per line, two blanks per level, CR LF, "<a/>" for an empty element.
class TpgwODFPart {
public:
    explicit TpgwODFPart(TStream& stream) : writer_(stream) {
        writer_.SetIndentOutput(true);
        writer_.WriteHeader();
    }
    void Open(std::string_view name, const Attrs& attrs = {}) {
        start(name, attrs);
        line_ += '>';
        writer_.WriteLine(line_);
        open_.emplace_back(name);
    }
    // An element without children; with a value, the value is its (escaped) content.
    void Leaf(std::string_view name, const Attrs& attrs = {}, std::string_view value = {}) {
        start(name, attrs);
        if (value.empty()) {
            line_ += "/>";
        } else {
            line_ += '>';
            line_ += value;
            line_ += "</";
            line_ += name;
            line_ += '>';
        }
        writer_.WriteLine(line_);
    }
    void Close() {
        line_.assign((open_.size() - 1) * 2, ' ');
        line_ += "</";
        line_ += open_.back();
        line_ += '>';
        open_.pop_back();
        writer_.WriteLine(line_);
    }
    // A line made by the caller at the current depth: "<" + text.
    void Line(std::string_view text) {
        line_.assign(open_.size() * 2, ' ');
        line_ += text;
        writer_.WriteLine(line_);
    }
    void Finish() {
        while (!open_.empty())
            Close();
        writer_.FlushBuffer();
    }

private:
    void start(std::string_view name, const Attrs& attrs) {
        line_.assign(open_.size() * 2, ' ');
        line_ += '<';
        line_ += name;
        line_ += attrs.Text();
    }
    TpgwXMLWriter writer_;
    std::vector<std::string> open_;
    std::string line_;
};

namespace {

void writeFile(const std::string& fileName, const void* data, std::size_t size) {
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(data, static_cast<std::int64_t>(size));
}

void makeFolder(const std::string& folder) {
    if (!CreateDir(folder))
        throw EInOutError("Cannot create folder \"" + folder + "\". " + std::strerror(errno));
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// An object's text as a cell holds it: the lines joined with CR (line feeds dropped), as
// UTF-8. Characters XML cannot carry (control characters, lone surrogates) are left out, or
// the whole package would be unreadable.
std::string cellText(const TWideStrings& lines) {
    std::string out;
    for (int i = 0; i < lines.Count(); ++i) {
        if (i > 0) out += '\r';
        const std::u16string line = lines.Strings(i);
        for (std::size_t k = 0; k < line.size(); ++k) {
            char32_t c = line[k];
            if (c >= 0xD800 && c <= 0xDBFF && k + 1 < line.size() && line[k + 1] >= 0xDC00 &&
                line[k + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (line[k + 1] - 0xDC00);
                ++k;
            } else if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
                continue;
            }
            if (c < 0x20 && c != '\t' && c != '\r') continue;
            appendUtf8(out, c);
        }
    }
    return out;
}

// The number in a numeric cell's text: its digits and minus signs, the decimal separator as
// ".", everything else (thousands separators, currency words) dropped. The format's own
// separator rules when it has one; the system's only otherwise, so that a thousands separator
// that happens to be the system's decimal one is not taken for it. Empty when what is left is
// no number: such a cell stays text rather than show a number that is not there.
std::string numericValue(std::string_view text, const TpgwFormat& format) {
    const std::string decimal = !format.DecimalSeparator().empty()
                                    ? format.DecimalSeparator()
                                    : std::string(1, FormatSettings().DecimalSeparator);
    std::string value;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, decimal.size(), decimal) == 0) {
            value += '.';
            i += decimal.size();
            continue;
        }
        const char c = text[i++];
        if ((c >= '0' && c <= '9') || c == '-') value += c;
    }
    std::size_t i = value.starts_with('-') ? 1 : 0;
    int digits = 0, points = 0;
    for (; i < value.size(); ++i) {
        if (value[i] == '.')
            ++points;
        else if (value[i] == '-')
            return {};
        else
            ++digits;
    }
    return digits > 0 && points <= 1 ? value : std::string();
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

TpgwODFExportDialog::TpgwODFExportDialog(TComponent* owner, const std::string& caption)
    : TpgwExportDialog(owner, caption, GetResources().GetTextById(8), 66) {
    WCB = AddQualityCheck(12, 20, res("8102"));
    ContinuousCB = AddQualityCheck(150, 20, res("8950"));
    PageBreaksCB = AddQualityCheck(12, 42, GetResources().GetTextById(6));
    BackgrCB = AddQualityCheck(150, 42, res("8103"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwODFExport::TpgwODFExport(TComponent* owner) : TpgwODFExport(owner, "spreadsheet") {}

TpgwODFExport::TpgwODFExport(UnlistedTag tag) : TpgwODFExport(tag, "spreadsheet") {}

TpgwODFExport::TpgwODFExport(TComponent* owner, std::string documentType)
    : TpgwFileExportFilter(owner), documentType_(std::move(documentType)) {
    init();
}

TpgwODFExport::TpgwODFExport(UnlistedTag tag, std::string documentType)
    : TpgwFileExportFilter(tag), documentType_(std::move(documentType)) {
    init();
}

TpgwODFExport::~TpgwODFExport() = default;

void TpgwODFExport::init() {
    SetShowDialog(true);
    thumbnail_ = std::make_unique<TBitmap>();
}

void TpgwODFExport::RegisterProperties(TClassBuilder<TpgwODFExport>& b) {
    using F = TpgwODFExport;
    b.Add("ExportEMF", &F::ExportEMF, &F::SetExportEMF).Default(1);
    b.Add("ExportStyles", &F::ExportStyles, &F::SetExportStyles).Default(1);
    b.Add("ExportPageBreaks", &F::ExportPageBreaks, &F::SetExportPageBreaks).Default(1);
    b.Add("Wysiwyg", &F::Wysiwyg, &F::SetWysiwyg).Default(1);
    b.Add("Background", &F::Background, &F::SetBackground).Default(1);
    b.Add("Creator", TypeInfoString(), &F::Creator, &F::SetCreator);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines).Default(1);
    b.Add(
         "SuppressPageHeadersFooters", [](F& f) { return f.SuppressPageHeadersFooters(); },
         [](F& f, bool v) { f.SetSuppressPageHeadersFooters(v); })
        .Default(0);
}

std::unique_ptr<TpgwExportDialog> TpgwODFExport::CreateDialog() {
    return std::make_unique<TpgwODFExportDialog>(nullptr, DialogTitle());
}

void TpgwODFExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwODFExportDialog&>(dialog);
    const bool continuous = !emptyLines_ || SuppressPageHeadersFooters();
    d.ContinuousCB->SetChecked(continuous);
    d.PageBreaksCB->SetChecked(exportPageBreaks_ && !continuous);
    d.WCB->SetChecked(wysiwyg_);
    d.BackgrCB->SetChecked(background_);
}

void TpgwODFExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwODFExportDialog&>(dialog);
    const bool continuous = d.ContinuousCB->Checked();
    exportPageBreaks_ = d.PageBreaksCB->Checked() && !continuous;
    emptyLines_ = !continuous;
    SetSuppressPageHeadersFooters(continuous);
    wysiwyg_ = d.WCB->Checked();
    background_ = d.BackgrCB->Checked();
}

// ---- collecting --------------------------------------------------------------------------------

void TpgwODFExport::freeRun() {
    progress_.reset();
    matrix_.reset();
    firstPage_ = false;
}

bool TpgwODFExport::OpenOutput() {
    freeRun();
    if (SlaveMode()) NameSlaveOutput();
    thumbnail_ = std::make_unique<TBitmap>();
    thumbnailDrawn_ = false;
    if (FileName().empty() && !TargetStream()) return false;
    PlaceInDefaultPath();
    firstPage_ = true;
    leftMargin_ = topMargin_ = bottomMargin_ = rightMargin_ = 0;
    pageWidth_ = pageHeight_ = 0;
    orientation_ = poPortrait;
    if (!emptyLines_) exportPageBreaks_ = false;

    matrix_ = std::make_unique<TpgwIEMatrix>(UseFileCache(), GetTempDir());
    TpgwIEMatrix& m = *matrix_;
    m.SetRotatedAsPicture(false);
    m.SetProgressWindow(ShowProgress());
    m.SetPageBackground(background_ && emptyLines_);
    m.SetPageBackgroundPicture(false);
    m.SetIncludeNonPrintable(ExportNotPrintable());
    m.SetKeepRichText(!exportEMF_);
    m.SetRichAsPlainText(!exportEMF_);
    m.SetKeepEmptyRows(emptyLines_);
    m.SetWrapText(true);
    m.SetMetafilePictures(exportEMF_);
    m.SetMergeTolerance(wysiwyg_ ? 0.5 : 10);
    m.SetStripHTMLTags(true);
    return true;
}

void TpgwODFExport::EnterPage(TpgwComponent* page, int) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!firstPage_ || !p) return;
    leftMargin_ = p->LeftMargin();
    topMargin_ = p->TopMargin();
    bottomMargin_ = p->BottomMargin();
    rightMargin_ = p->RightMargin();
    orientation_ = p->Orientation();
    pageWidth_ = p->Width();
    pageHeight_ = p->Height();
    thumbnail_->SetSize(static_cast<int>(Round(pageWidth_ / 5)),
                        static_cast<int>(Round(pageHeight_ / 5)));
}

void TpgwODFExport::WriteItem(TpgwComponent* object) {
    auto* view = dynamic_cast<TpgwView*>(object);
    if (!matrix_ || !view || (!view->Printable() && !ExportNotPrintable())) return;
    matrix_->AddObject(view);
    if (firstPage_ && !thumbnail_->Empty()) {
        view->Draw(thumbnail_->Canvas(), 0.2, 0.2, view->Left() / 5, view->Top() / 5);
        thumbnailDrawn_ = true;
    }
}

void TpgwODFExport::LeavePage(TpgwComponent* page, int index) {
    firstPage_ = false;
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!matrix_ || !p) return;
    matrix_->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                     p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(), p->Width());
}

void TpgwODFExport::CloseOutput() {
    // The run's state goes whatever happens to the file.
    struct Free {
        TpgwODFExport& filter;
        ~Free() { filter.freeRun(); }
    } free{*this};
    if (RunFailed() || !matrix_) return;
    try {
        matrix_->Prepare();
        std::unique_ptr<TSafeFileWriter> file;
        TStream* out = TargetStream();
        if (!out) {
            file = std::make_unique<TSafeFileWriter>(FileName());
            out = file.get();
        }
        Build(*out);
        if (file) file->Commit();
    } catch (const std::exception& e) {
        freeRun();
        ReportExportFailure(Report(), e.what());
        return;
    }
    if (OpenAfterExport() && !TargetStream()) OpenExported(FileName());
}

// ---- the package -------------------------------------------------------------------------------

struct TpgwODFExport::Package {
    std::string Folder;
    // The width text of every column and the height text of every row.
    std::vector<std::string> Columns;
    std::vector<std::string> Rows;
    // Extensions of the pictures saved, in their order.
    std::vector<std::string> Pictures;

    std::string Path(const std::string& name) const { return Folder + "/" + name; }
};

void TpgwODFExport::Build(TStream& stream) {
    if (!matrix_) throw EInvalidOperation("The OpenDocument export has no run open");
    TpgwIEMatrix& m = *matrix_;
    if (ShowProgress()) {
        progress_ = std::make_unique<TpgwProgress>(nullptr);
        progress_->Execute(std::max(0, m.GridHeight() - 1), res("ProgressWait"), true, true);
    }

    // The package folder goes with everything in it, whatever happens.
    Package package;
    struct Remove {
        Package& package;
        ~Remove() {
            if (!package.Folder.empty()) RemoveFolderTree(package.Folder);
        }
    } remove{package};
    {
        const std::string reserved = MakeTempFileName();
        DeleteFile(reserved);
        makeFolder(reserved);
        package.Folder = reserved;
    }
    makeFolder(package.Path("Pictures"));
    makeFolder(package.Path("Thumbnails"));

    if (thumbnailDrawn_ && !thumbnail_->Empty()) {
        const std::vector<std::uint8_t> bmp = thumbnail_->SaveToBytes();
        writeFile(package.Path("Thumbnails/thumbnail.bmp"), bmp.data(), bmp.size());
    }
    writeStyles(package.Path("styles.xml"));
    writeContent(package);
    makeFolder(package.Path("META-INF"));
    writeManifest(package.Path("META-INF/manifest.xml"), static_cast<int>(package.Pictures.size()));
    const std::string mimetype = "application/vnd.oasis.opendocument." + documentType_;
    writeFile(package.Path("mimetype"), mimetype.data(), mimetype.size());
    writeMeta(package.Path("meta.xml"));

    TpgwZipArchive zip;
    zip.SetRootFolder(package.Folder + "/");
    zip.AddDir(package.Folder);
    if (progress_) {
        progress_->Execute(zip.FileCount(), res("ProgressWait"), true, true);
        zip.OnProgress = [this](TObject*) { progress_->Tick(); };
    }
    zip.SaveToStream(stream);
    progress_.reset();
}

void TpgwODFExport::writeStyles(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    TpgwODFPart x(file);
    Attrs root;
    for (const auto& [name, uri] : kNamespaces)
        root(name, uri);
    x.Open("office:document-styles", root);
    x.Open("office:automatic-styles");
    x.Open("style:page-layout", Attrs()("style:name", "pm1"));
    x.Leaf("style:page-layout-properties",
           Attrs()("fo:page-width", FloatToFixedStr(pageWidth_ / 37.8, 1, '.') + "cm")(
               "fo:page-height", FloatToFixedStr(pageHeight_ / 37.8, 1, '.') + "cm")(
               "fo:margin-top", FloatToFixedStr(topMargin_ / 10, 3, '.') + "cm")(
               "fo:margin-bottom", FloatToFixedStr(bottomMargin_ / 10, 3, '.') + "cm")(
               "fo:margin-left", FloatToFixedStr(leftMargin_ / 10, 3, '.') + "cm")(
               "fo:margin-right", FloatToFixedStr(rightMargin_ / 10, 3, '.') + "cm"));
    x.Close();
    x.Close();
    x.Open("office:master-styles");
    x.Open("style:master-page", Attrs()("style:name", "PageDef")("style:page-layout-name", "pm1"));
    x.Leaf("style:header", Attrs()("style:display", "false"));
    x.Leaf("style:footer", Attrs()("style:display", "false"));
    x.Finish();
}

void TpgwODFExport::writeContent(Package& package) {
    const TpgwIEMatrix& m = *matrix_;
    for (int i = 0; i + 1 < m.GridWidth(); ++i)
        package.Columns.push_back(cm(m.XPosition(i + 1) - m.XPosition(i)));
    for (int i = 0; i + 1 < m.GridHeight(); ++i)
        package.Rows.push_back(cm(m.YPosition(i + 1) - m.YPosition(i)));

    TFileStream file(package.Path("content.xml"), fmCreate);
    TpgwODFPart x(file);
    Attrs root;
    for (const auto& [name, uri] : kNamespaces)
        root(name, uri);
    x.Open("office:document-content", root);
    x.Leaf("office:scripts");

    // Every font name once, in the order of a case-insensitive sorted list.
    std::vector<std::string> fonts;
    for (int i = 0; i < m.StyleCount(); ++i)
        fonts.push_back(m.StyleAt(i)->Font.Name());
    std::sort(fonts.begin(), fonts.end(), [](const std::string& a, const std::string& b) {
        const int c = AnsiCompareText(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    fonts.erase(std::unique(fonts.begin(), fonts.end()), fonts.end());
    x.Open("office:font-face-decls");
    for (const std::string& font : fonts) {
        std::string family = "&apos;";
        appendAttributeText(family, font);
        family += "&apos;";
        x.Leaf("style:font-face",
               Attrs()("style:name", font)
                   .Raw("svg:font-family", family)("style:font-pitch", "variable"));
    }
    x.Close();

    writeAutomaticStyles(x, package);

    x.Open("office:body");
    // A text document's table stands in its text; a spreadsheet's in the spreadsheet.
    x.Open(documentType_ == "text" ? "office:text" : "office:spreadsheet");
    writeTable(x, package);
    x.Finish();
}

namespace {

Attrs textProperties(const TpgwIEMStyle& style) {
    const TFont& font = style.Font;
    Attrs a;
    a("style:font-name", font.Name())("fo:font-size", std::to_string(font.Size()) + "pt");
    if (font.Style().Contains(fsUnderline))
        a("style:text-underline-style", "solid")("style:text-underline-width", "auto")(
            "style:text-underline-color", "font-color");
    if (font.Style().Contains(fsItalic)) a("fo:font-style", "italic");
    if (font.Style().Contains(fsBold)) a("fo:font-weight", "bold");
    a("fo:color", hexColor(font.Color()));
    return a;
}

Attrs paragraphProperties(const TpgwIEMStyle& style) {
    Attrs a;
    switch (style.HAlign) {
    case haLeft:
        a("fo:text-align", "start");
        break;
    case haCenter:
        a("fo:text-align", "center");
        break;
    case haRight:
        a("fo:text-align", "end");
        break;
    case haBlock:
        break;
    }
    if (style.GapX != 0)
        a("fo:margin-left", cm(style.GapX) + "cm")("fo:margin-right", cm(style.GapX) + "cm");
    return a;
}

} // namespace

void TpgwODFExport::writeAutomaticStyles(TpgwODFPart& x, Package& package) {
    const TpgwIEMatrix& m = *matrix_;
    const bool text = documentType_ == "text";
    x.Open("office:automatic-styles");
    for (const std::string& width :
         std::set<std::string>(package.Columns.begin(), package.Columns.end())) {
        x.Open("style:style", Attrs()("style:name", "co" + width)("style:family", "table-column"));
        x.Leaf("style:table-column-properties",
               Attrs()("fo:break-before", "auto")("style:column-width", width + "cm"));
        x.Close();
    }
    for (const std::string& height :
         std::set<std::string>(package.Rows.begin(), package.Rows.end())) {
        x.Open("style:style", Attrs()("style:name", "ro" + height)("style:family", "table-row"));
        x.Leaf("style:table-row-properties",
               Attrs()("fo:break-before", "auto")("style:row-height", height + "cm"));
        x.Close();
    }
    x.Open("style:style", Attrs()("style:name", "ro_breaked")("style:family", "table-row"));
    x.Leaf("style:table-row-properties",
           Attrs()("fo:break-before", "page")("style:row-height", "0.001cm"));
    x.Close();
    x.Open("style:style", Attrs()("style:name", "ta1")("style:family", "table")(
                              "style:master-page-name", "PageDef"));
    x.Leaf("style:table-properties",
           Attrs()("table:display", "true")("style:writing-mode", "lr-tb"));
    x.Close();
    x.Leaf("style:style",
           Attrs()("style:name", "ceb")("style:family", "table-cell")("style:display", "false"));

    for (int n = 0; n < m.StyleCount(); ++n) {
        const TpgwIEMStyle& s = *m.StyleAt(n);
        x.Open("style:style",
               Attrs()("style:name", "ce" + std::to_string(n))("style:family", "table-cell")(
                   "style:parent-style-name", "Default"));
        if (!text) {
            x.Leaf("style:text-properties", textProperties(s));
            x.Leaf("style:paragraph-properties", paragraphProperties(s));
        }
        Attrs cell;
        cell("fo:background-color", hexColor(s.Color))("style:repeat-content", "false");
        if (s.Rotation > 0)
            cell("style:rotation-angle", std::to_string(s.Rotation))("style:rotation-align",
                                                                     "none");
        cell("style:vertical-align", s.VAlign == vaBottom   ? "bottom"
                                     : s.VAlign == vaCenter ? "middle"
                                                            : "top");
        const std::string border = cm(s.FrameWidth) + "cm " +
                                   (s.FrameStyle == fsDouble ? "double" : "solid") + " " +
                                   hexColor(s.FrameColor);
        const std::pair<TpgwFrameType, const char*> sides[] = {{ftLeft, "fo:border-left"},
                                                               {ftRight, "fo:border-right"},
                                                               {ftTop, "fo:border-top"},
                                                               {ftBottom, "fo:border-bottom"}};
        for (const auto& [side, name] : sides)
            if (s.FrameSides & FrameSide(side)) cell(name, border);
        x.Leaf("style:table-cell-properties", cell);
        x.Close();
    }
    if (text) {
        x.Leaf("style:style",
               Attrs()("style:name", "pb")("style:family", "paragraph")("style:display", "false"));
        for (int n = 0; n < m.StyleCount(); ++n) {
            const TpgwIEMStyle& s = *m.StyleAt(n);
            x.Open("style:style",
                   Attrs()("style:name", "p" + std::to_string(n))("style:family", "paragraph")(
                       "style:parent-style-name", "Default"));
            x.Leaf("style:text-properties", textProperties(s));
            x.Leaf("style:paragraph-properties", paragraphProperties(s));
            x.Close();
        }
    }
    x.Open("style:style", Attrs()("style:name", "gr1")("style:family", "graphic"));
    x.Leaf("style:graphic-properties",
           Attrs()("draw:stroke", "none")("draw:fill", "none")(
               "draw:textarea-horizontal-align", "left")("draw:textarea-vertical-align", "top")(
               "draw:color-mode", "standard")("draw:luminance", "0%")("draw:contrast", "0%")(
               "draw:gamma", "100%")("draw:red", "0%")("draw:green", "0%")("draw:blue", "0%")(
               "fo:clip", "rect(0cm 0cm 0cm 0cm)")("draw:image-opacity", "100%")("style:mirror",
                                                                                 "none"));
    x.Close();
    x.Close();
}

void TpgwODFExport::writeTable(TpgwODFPart& x, Package& package) {
    TpgwIEMatrix& m = *matrix_;
    const bool text = documentType_ == "text";
    x.Open("table:table",
           Attrs()("table:name", "Table")("table:style-name", "ta1")("table:print", "false"));
    for (const std::string& width : package.Columns)
        x.Leaf("table:table-column", Attrs()("table:style-name", "co" + width));

    // The cells that have nothing of their own are the same every time.
    const std::string empty = text ? "<table:table-cell>" : "<table:table-cell/>";
    const std::string covered = text ? "<table:covered-table-cell table:style-name=\"ceb\">"
                                     : "<table:covered-table-cell table:style-name=\"ceb\"/>";
    const std::string blank = "<text:p text:style-name=\"pb\"/>";

    int page = 0;
    for (int r = 0; r + 1 < m.GridHeight(); ++r) {
        if (progress_) {
            progress_->Tick();
            // A cancelled run still closes the table: the package stays whole, only shorter.
            if (progress_->Cancelled()) break;
        }
        if (page < m.PageCount() && m.PageBottom(page) <= m.YPosition(r)) {
            ++page;
            if (exportPageBreaks_)
                x.Leaf("table:table-row", Attrs()("table:style-name", "ro_breaked"));
        }
        x.Open("table:table-row", Attrs()("table:style-name", "ro" + package.Rows[r]));
        for (int c = 0; c < m.GridWidth(); ++c) {
            const int index = m.Cell(c, r);
            TpgwIEMObject* object = m.ObjectById(index);
            if (!object || object->Counter != 0) {
                x.Line(object ? covered : empty);
                if (text) {
                    x.Line("  " + blank);
                    x.Line(object ? "</table:covered-table-cell>" : "</table:table-cell>");
                }
                continue;
            }
            object->Counter = 1;
            int col, row, colSpan, rowSpan;
            m.ObjectPlacement(index, col, row, colSpan, rowSpan);
            Attrs cell;
            if (object->StyleIndex >= 0)
                cell("table:style-name", "ce" + std::to_string(object->StyleIndex));
            if (colSpan > 1) cell("table:number-columns-spanned", std::to_string(colSpan));
            if (rowSpan > 1) cell("table:number-rows-spanned", std::to_string(rowSpan));

            if (!object->IsText) {
                const std::string picture = pictureCell(*object, package);
                if (picture.empty()) {
                    x.Leaf("table:table-cell", cell);
                } else {
                    x.Open("table:table-cell", cell);
                    const std::size_t k = package.Pictures.size();
                    Attrs frame;
                    frame("draw:z-index", "0")("draw:name", "Picture" + std::to_string(k))(
                        "draw:style-name", "gr1")("draw:text-style-name",
                                                  "P1")("svg:width", cm(object->Width) + "cm")(
                        "svg:height", cm(object->Height) + "cm")("svg:x", "0cm")("svg:y", "0cm");
                    // A text document shows frames only from inside a paragraph.
                    if (text) {
                        x.Open("text:p");
                        frame("text:anchor-type", "as-char");
                    }
                    x.Open("draw:frame", frame);
                    x.Leaf("draw:image",
                           Attrs()("xlink:href", "Pictures/" + picture)("xlink:type", "simple")(
                               "xlink:show", "embed")("xlink:actuate", "onLoad"));
                    x.Close();
                    if (text) x.Close();
                    x.Close();
                }
                continue;
            }

            std::string value = cellText(object->Memo);
            const TpgwIEMStyle* style = object->Style;
            if (style && style->DisplayFormat.Kind() == fkNumeric) {
                if (std::string number = numericValue(value, style->DisplayFormat);
                    !number.empty()) {
                    value = std::move(number);
                    cell("office:value-type", "float");
                }
            }
            cell("office:value", value);
            x.Open("table:table-cell", cell);
            Attrs paragraph;
            if (text && object->StyleIndex >= 0)
                paragraph("text:style-name", "p" + std::to_string(object->StyleIndex));
            x.Leaf("text:p", paragraph, EscapeMarkup(value));
            x.Close();
        }
        x.Close();
    }
    x.Close();
}

std::string TpgwODFExport::pictureCell(TpgwIEMObject& object, Package& package) {
    std::vector<std::uint8_t> bytes;
    std::string extension;
    if (exportEMF_ && object.Metafile && object.Metafile->Width() >= 1) {
        const int w = object.Metafile->Width();
        const int h = std::max(1, object.Metafile->Height());
        // Drawn at the report's own resolution, as the picture is measured.
        TRasterCanvas canvas(w, h);
        object.Metafile->Draw(canvas, {0, 0, w, h});
        bytes = EmfFromImage(canvas.ToImage(), w, h, 96);
        extension = ".emf";
    } else if (!exportEMF_ && object.Image && object.Image->Width() >= 1) {
        bytes = object.Image->SaveToBytes();
        extension = ".bmp";
    } else {
        return {};
    }
    package.Pictures.push_back(extension);
    const std::string name = "pic" + std::to_string(package.Pictures.size()) + extension;
    writeFile(package.Path("Pictures/" + name), bytes.data(), bytes.size());
    return name;
}

void TpgwODFExport::writeManifest(const std::string& fileName, int pictures) {
    TFileStream file(fileName, fmCreate);
    TpgwODFPart x(file);
    x.Open("manifest:manifest",
           Attrs()("xmlns:manifest", "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"));
    const auto entry = [&x](const std::string& type, const std::string& path) {
        x.Leaf("manifest:file-entry",
               Attrs()("manifest:media-type", type)("manifest:full-path", path));
    };
    entry("application/vnd.oasis.opendocument." + documentType_, "/");
    entry("text/xml", "content.xml");
    entry("text/xml", "styles.xml");
    entry("text/xml", "meta.xml");
    const std::string extension = exportEMF_ ? ".emf" : ".bmp";
    for (int k = 1; k <= pictures; ++k)
        entry(LookupMimeType(extension), "Pictures/pic" + std::to_string(k) + extension);
    x.Finish();
}

void TpgwODFExport::writeMeta(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    TpgwODFPart x(file);
    x.Open("office:document-meta",
           Attrs()("xmlns:office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0")(
               "xmlns:xlink", "http://www.w3.org/1999/xlink")("xmlns:dc",
                                                              "http://purl.org/dc/elements/1.1/")(
               "xmlns:meta", "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"));
    x.Open("office:meta");
    x.Leaf("meta:generator", {},
           EscapeMarkup(std::string("lumetra.example/Pagewright/build:") + kReportVersion));
    x.Leaf("meta:initial-creator", {}, EscapeMarkup(creator_));
    const std::tm t = ExportTime();
    const char sep = FormatSettings().TimeSeparator;
    char date[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d%c%02d%c%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, sep, t.tm_min, sep, t.tm_sec);
    x.Leaf("meta:creation-date", {}, date);
    x.Finish();
}

// ---- the two documents -------------------------------------------------------------------------

TpgwODSExport::TpgwODSExport(TComponent* owner) : TpgwODFExport(owner, "spreadsheet") {
    SetFileFilter(res("ODSExportFilter"));
    SetFileExtension(res("8960"));
    SetDialogTitle(res("ODSExport"));
}

TpgwODSExport::TpgwODSExport(UnlistedTag tag) : TpgwODFExport(tag, "spreadsheet") {
    SetFileFilter(res("ODSExportFilter"));
    SetFileExtension(res("8960"));
    SetDialogTitle(res("ODSExport"));
}

std::string TpgwODSExport::FilterCaption() const {
    return res("ODSExport");
}

TpgwODTExport::TpgwODTExport(TComponent* owner) : TpgwODFExport(owner, "text") {
    SetFileFilter(res("ODTExportFilter"));
    SetFileExtension(res("8961"));
    SetDialogTitle(res("ODTExport"));
}

TpgwODTExport::TpgwODTExport(UnlistedTag tag) : TpgwODFExport(tag, "text") {
    SetFileFilter(res("ODTExportFilter"));
    SetFileExtension(res("8961"));
    SetDialogTitle(res("ODTExport"));
}

std::string TpgwODTExport::FilterCaption() const {
    return res("ODTExport");
}

void RegisterODFExports() {
    RegisterClasses<TpgwODSExport, TpgwODTExport>();
    RegisterExportFormat("ods", [] {
        return std::make_unique<TpgwODSExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
    RegisterExportFormat("odt", [] {
        return std::make_unique<TpgwODTExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
