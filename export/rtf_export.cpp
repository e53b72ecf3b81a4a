#include "export/rtf_export.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

#include "engine/dialog_building.h"
#include "engine/html_tags.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/text_matrix.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/emf_writer.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/band.h"
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

std::string num(std::int64_t v) {
    return std::to_string(v);
}

// Rounded half to even, as every length of the document.
std::int64_t rounded(double v) {
    return Round(v);
}

std::string twoDigits(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

std::string colorEntry(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return "\\red" + num(GetRValue(rgb)) + "\\green" + num(GetGValue(rgb)) + "\\blue" +
           num(GetBValue(rgb)) + ";";
}

// A face name as the font table holds it: legacy bytes, those outside ASCII and the table's
// delimiters as \'hh (the rich text writer spells its names so, and one face is one entry).
std::string fontTableName(const std::string& name) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : ExportAnsiText(Utf8ToUtf16Lenient(name))) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || b < 0x20 || c == '\\' || c == '{' || c == '}' || c == ';') {
            out += "\\'";
            out += kDigits[b >> 4];
            out += kDigits[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

void appendHex(std::string& out, const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
}

// Upper-case hexadecimal, 64 bytes to a line, every line (a last short one too) ended.
void appendHexLines(std::string& out, const std::uint8_t* data, std::size_t size) {
    out.reserve(out.size() + size * 2 + (size / 64 + 1) * 2);
    for (std::size_t at = 0; at < size; at += 64) {
        appendHex(out, data + at, std::min<std::size_t>(64, size - at));
        out += "\r\n";
    }
}

std::string hexLE(std::uint32_t v, int bytes) {
    std::uint8_t b[4];
    for (int i = 0; i < bytes; ++i)
        b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    std::string out;
    appendHex(out, b, static_cast<std::size_t>(bytes));
    return out;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One control word of RTF text starting at a backslash: its letters and its numeric parameter.
struct ControlWord {
    std::string_view Name;
    bool HasParam = false;
    long long Param = 0;
    std::size_t End = 0;       // after the parameter
    std::size_t Delimited = 0; // after the blank that ends the word, when there is one
};

// Null when the backslash at `at` does not start a control word (a control symbol or the end).
bool readControlWord(std::string_view t, std::size_t at, ControlWord& w) {
    std::size_t i = at + 1;
    while (i < t.size() && isLetter(t[i]))
        ++i;
    if (i == at + 1) return false;
    w.Name = t.substr(at + 1, i - at - 1);
    std::size_t p = i < t.size() && t[i] == '-' ? i + 1 : i;
    const std::size_t digits = p;
    while (p < t.size() && isDigit(t[p]))
        ++p;
    w.HasParam = p > digits;
    w.End = w.HasParam ? p : i;
    w.Param = 0;
    if (w.HasParam && std::from_chars(t.data() + i, t.data() + p, w.Param).ec != std::errc())
        w.HasParam = false, w.End = i;
    w.Delimited = w.End < t.size() && t[w.End] == ' ' ? w.End + 1 : w.End;
    return true;
}

// Drops the words a table cell cannot take (paragraph resets and spacing, language, cell
// patterns) and renumbers font and colour references to the document's tables, as whole
// control words.
std::string rewriteBody(std::string_view t, const std::map<long long, int>& fonts,
                        const std::map<long long, int>& colors) {
    std::string out;
    out.reserve(t.size());
    std::size_t i = 0;
    while (i < t.size()) {
        if (t[i] != '\\' || i + 1 >= t.size()) {
            out += t[i++];
            continue;
        }
        ControlWord w;
        if (!readControlWord(t, i, w)) {
            out.append(t, i, 2); // \\, \{, \}, \' and the other symbols
            i += 2;
            continue;
        }
        if (w.Name == "pard" || w.Name == "lang" || w.Name == "sa" || w.Name == "sb" ||
            w.Name == "cbpat" || w.Name == "cfpat") {
            i = w.Delimited;
            continue;
        }
        if (w.Name == "bin" && w.HasParam) {
            // Raw bytes that could look like anything.
            const std::size_t end =
                std::min(t.size(), w.Delimited + static_cast<std::size_t>(std::max(0LL, w.Param)));
            out.append(t, i, end - i);
            i = end;
            continue;
        }
        const std::map<long long, int>* map = w.Name == "f"                             ? &fonts
                                              : w.Name == "cf" || w.Name == "highlight" ? &colors
                                                                                        : nullptr;
        if (map && w.HasParam) {
            if (const auto it = map->find(w.Param); it != map->end()) {
                out += '\\';
                out += w.Name;
                out += num(it->second);
                i = w.End;
                continue;
            }
        }
        out.append(t, i, w.End - i);
        i = w.End;
    }
    return out;
}

// Every group closed, none closed that was not opened; escaped braces are text.
bool balanced(std::string_view t) {
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\')
            ++i;
        else if (t[i] == '{')
            ++depth;
        else if (t[i] == '}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

bool isDestination(std::string_view name) {
    static constexpr std::string_view kSkipped[] = {
        "fonttbl",   "colortbl",  "stylesheet",        "info",    "pict",
        "object",    "header",    "headerl",           "headerr", "headerf",
        "footer",    "footerl",   "footerr",           "footerf", "fldinst",
        "themedata", "listtable", "listoverridetable", "rsidtbl", "generator"};
    return std::find(std::begin(kSkipped), std::end(kSkipped), name) != std::end(kSkipped);
}

} // namespace

const TTypeInfo& TpgwHeaderFooterModeType() {
    static const TTypeInfo& t =
        DefineEnumType("TpgwHeaderFooterMode", {"hfText", "hfPrint", "hfNone"});
    return t;
}

// ---- dialog ------------------------------------------------------------------------------------

TpgwRTFExportDialog::TpgwRTFExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8500"), GetResources().GetTextById(8), 96) {
    PicturesCB = AddQualityCheck(12, 20, res("8501"));
    WCB = AddQualityCheck(150, 20, res("8502"));
    PageBreaksCB = AddQualityCheck(12, 42, GetResources().GetTextById(6));
    ContinuousCB = AddQualityCheck(150, 42, res("8950"));
    HeadFootL = PlaceLabel(GroupQuality, this, 12, 70, res("8951"));
    PColontitulCB = PlaceControl<TComboBox>(GroupQuality, this, 110, 66, 150, 21);
    // A list to choose from, nothing to type.
    PColontitulCB->SetStyle(csDropDownList);
    for (const char* key : {"8952", "8953", "8954"})
        PColontitulCB->Items().Add(res(key));
    PColontitulCB->SetItemIndex(0);
    OpenCB->SetCaption(res("8503"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwRTFExport::TpgwRTFExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwRTFExport::TpgwRTFExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwRTFExport::~TpgwRTFExport() = default;

void TpgwRTFExport::init() {
    SetShowDialog(true);
    SetFileFilter(res("8504"));
    SetFileExtension(res("8505"));
}

void TpgwRTFExport::RegisterProperties(TClassBuilder<TpgwRTFExport>& b) {
    using F = TpgwRTFExport;
    b.Add("ExportEMF", &F::ExportEMF, &F::SetExportEMF).Default(1);
    b.Add("ExportPageBreaks", &F::ExportPageBreaks, &F::SetExportPageBreaks).Default(1);
    b.Add("ExportPictures", &F::ExportPictures, &F::SetExportPictures).Default(1);
    b.Add("Wysiwyg", &F::Wysiwyg, &F::SetWysiwyg).Default(1);
    b.Add("Creator", TypeInfoString(), &F::Creator, &F::SetCreator);
    b.Add(
         "SuppressPageHeadersFooters", [](F& f) { return f.SuppressPageHeadersFooters(); },
         [](F& f, bool v) { f.SetSuppressPageHeadersFooters(v); })
        .Default(0);
    b.Add("HeaderFooterMode", TpgwHeaderFooterModeType(), &F::HeaderFooterMode,
          &F::SetHeaderFooterMode)
        .Default(hfText);
    b.Add("AutoSize", &F::AutoSize, &F::SetAutoSize).Default(0);
}

std::string TpgwRTFExport::FilterCaption() const {
    return res("RTFexport");
}

// ---- options -----------------------------------------------------------------------------------

std::unique_ptr<TpgwExportDialog> TpgwRTFExport::CreateDialog() {
    return std::make_unique<TpgwRTFExportDialog>(nullptr);
}

void TpgwRTFExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwRTFExportDialog&>(dialog);
    d.ContinuousCB->SetChecked(SuppressPageHeadersFooters());
    d.PicturesCB->SetChecked(exportPictures_);
    d.PageBreaksCB->SetChecked(exportPageBreaks_);
    d.WCB->SetChecked(wysiwyg_);
    d.PColontitulCB->SetItemIndex(headerFooterMode_ == hfText    ? 0
                                  : headerFooterMode_ == hfPrint ? 1
                                                                 : 2);
}

void TpgwRTFExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwRTFExportDialog&>(dialog);
    const int item = d.PColontitulCB->ItemIndex();
    headerFooterMode_ = item == 0 ? hfText : item == 1 ? hfPrint : hfNone;
    // Headers and footers written once into the document's own stand for every page.
    SetSuppressPageHeadersFooters(d.ContinuousCB->Checked() || headerFooterMode_ == hfPrint);
    exportPictures_ = d.PicturesCB->Checked();
    exportPageBreaks_ = d.PageBreaksCB->Checked();
    wysiwyg_ = d.WCB->Checked();
}

// ---- collecting --------------------------------------------------------------------------------

void TpgwRTFExport::BeginOutput() {
    freeRun();
    matrix_ = std::make_unique<TpgwIEMatrix>(UseFileCache(), GetTempDir());
    TpgwIEMatrix& m = *matrix_;
    m.SetProgressWindow(ShowProgress());
    m.SetMergeTolerance(wysiwyg_ ? 0.5 : 10);
    m.SetRotatedAsPicture(true);
    m.SetKeepRichText(true);
    m.SetRichAsPlainText(false);
    m.SetFillPage(true);
    m.SetFillFromContent(true);
    m.SetStripHTMLTags(false);
    m.SetPageBackgroundPicture(false);
    m.SetPageBackground(false);
    m.SetIncludeNonPrintable(ExportNotPrintable());
    m.SetMetafilePictures(exportEMF_);
}

void TpgwRTFExport::freeRun() {
    progress_.reset();
    matrix_.reset();
    fonts_.clear();
    fontCharsets_.clear();
    fontIndex_.clear();
    colors_.clear();
    colorIndex_.clear();
    pageCount_ = 0;
}

void TpgwRTFExport::EnterPage(TpgwComponent*, int) {
    ++pageCount_;
}

void TpgwRTFExport::WriteItem(TpgwComponent* object) {
    if (!matrix_) return;
    if (auto* header = dynamic_cast<TpgwPageHeader*>(object)) return matrix_->SetHeaderBand(header);
    if (auto* footer = dynamic_cast<TpgwPageFooter*>(object)) return matrix_->SetFooterBand(footer);
    auto* view = dynamic_cast<TpgwView*>(object);
    if (!view || (!view->Printable() && !ExportNotPrintable())) return;
    if (!exportPictures_ && !dynamic_cast<TpgwCustomMemoView*>(view)) return;
    matrix_->AddObject(view);
}

void TpgwRTFExport::LeavePage(TpgwComponent* page, int index) {
    auto* p = dynamic_cast<TpgwReportPage*>(page);
    if (!matrix_ || !p) return;
    matrix_->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                     p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(), p->Width());
}

void TpgwRTFExport::EndOutput() {
    matrix_->Prepare();
    WriteDocument(Output());
}

void TpgwRTFExport::CloseOutput() {
    // The run's state goes whatever happens to the file.
    struct Free {
        TpgwRTFExport& filter;
        ~Free() { filter.freeRun(); }
    } free{*this};
    TpgwFileExportFilter::CloseOutput();
}

// ---- tables ------------------------------------------------------------------------------------

int TpgwRTFExport::addFont(const std::string& name, const std::string& charset) {
    const auto [it, added] = fontIndex_.try_emplace(name, static_cast<int>(fonts_.size()));
    if (added) {
        fonts_.push_back(name);
        fontCharsets_.push_back(charset);
    }
    return it->second;
}

int TpgwRTFExport::fontNumber(const std::string& name) const {
    const auto it = fontIndex_.find(name);
    return it == fontIndex_.end() ? 0 : it->second;
}

int TpgwRTFExport::addColor(const std::string& entry) {
    const auto [it, added] = colorIndex_.try_emplace(entry, static_cast<int>(colors_.size()) + 1);
    if (added) colors_.push_back(entry);
    return it->second;
}

int TpgwRTFExport::colorNumber(TColor color) {
    return addColor(colorEntry(color));
}

void TpgwRTFExport::CollectTables() {
    if (!matrix_) throw EInvalidOperation("The RTF export has no run open");
    TpgwIEMatrix& m = *matrix_;
    for (int r = 0; r < m.GridHeight(); ++r) {
        for (int c = 0; c < m.GridWidth(); ++c) {
            TpgwIEMObject* object = m.ObjectAt(c, r);
            if (!object || object->Counter == -1) continue;
            // Also "not written yet" for the passes.
            object->Counter = -1;
            const TpgwIEMStyle* style = object->Style;
            if (style) {
                addColor(colorEntry(style->Color));
                addColor(colorEntry(style->FrameColor));
            }
            if (object->IsRichText && !rewriteRichText(*object)) {
                // Tables that cannot be merged: the text goes in plain.
                std::u16string text = object->Memo.Text();
                object->Memo.SetText(RtfPlainText(Utf16ToUtf8Lenient(text)));
                object->IsRichText = false;
            }
            // A rich object's cell opens with its style's font words too.
            if (object->IsText && style) {
                addColor(colorEntry(style->Font.Color()));
                addFont(fontTableName(style->Font.Name()), num(style->Charset));
                if (object->HTMLTags && !object->IsRichText) collectTagColors(*object);
            }
        }
    }
}

namespace {

// The plain text of an object: its lines without one final line break.
std::u16string plainText(const TWideStrings& memo) {
    std::u16string text = memo.Text();
    if (text.size() >= 2 && text.ends_with(u"\r\n")) text.resize(text.size() - 2);
    return text;
}

// The runs of tagged text parsed as the cell writes them: escaped first, so that positions are
// those of the escaped text.
void expandTags(TpgwHTMLTagsList& tags, const TpgwIEMStyle& style, std::u16string& escaped,
                const TpgwIEMObject& object) {
    tags.SetDefaults(style.Font.Color(), style.Font.Size(), style.Font.Style());
    tags.SetAllowTags(true);
    escaped = TpgwRTFExport::EscapeText(plainText(object.Memo));
    std::u16string parsed = escaped;
    tags.ExpandTags(parsed);
}

} // namespace

void TpgwRTFExport::collectTagColors(const TpgwIEMObject& object) {
    // Colours first met in tag runs must be in the table written before the body.
    TpgwHTMLTagsList tags;
    std::u16string escaped;
    expandTags(tags, *object.Style, escaped, object);
    for (int line = 0; line < tags.Count(); ++line) {
        const TpgwHTMLTags runs = tags.GetItems(line);
        for (int k = 0; k < runs.Count(); ++k)
            colorNumber(runs.GetItems(k).FontColor);
    }
}

bool TpgwRTFExport::rewriteRichText(TpgwIEMObject& object) {
    std::string t = Utf16ToUtf8Lenient(object.Memo.Text());
    const auto eraseThrough = [&t](std::string_view marker) {
        const std::size_t at = t.find(marker);
        if (at == std::string::npos) return false;
        t.erase(0, at + marker.size());
        return true;
    };
    if (!eraseThrough("{\\fonttbl")) return false;

    // The font table: "{\fN\fcharsetC NAME;}" entries up to "}}". Everything is checked before
    // the document's tables change.
    const std::size_t tableEnd = t.find("}}");
    if (tableEnd == std::string::npos) return false;
    struct Font {
        long long Number;
        std::string Name;
        std::string Charset;
    };
    std::vector<Font> fonts;
    for (std::size_t pos = 0; t[pos] != '}';) {
        const std::size_t open = t.find('{', pos);
        if (open == std::string::npos || open > tableEnd) return false;
        const std::size_t close = t.find('}', open);
        std::string entry = t.substr(open, close - open);
        if (entry.ends_with(';')) entry.pop_back();
        const std::size_t blank = entry.find(' ');
        const std::size_t ref = entry.find("\\f");
        ControlWord w;
        if (blank == std::string::npos || ref == std::string::npos ||
            !readControlWord(entry, ref, w) || w.Name != "f" || !w.HasParam)
            return false;
        // The entry's character set tells readers how to decode its name's bytes (a Chinese
        // face spelled in GBK); without one the default set stands.
        std::string charset = "1";
        for (std::size_t at = entry.find('\\'); at < blank; at = entry.find('\\', at + 1))
            if (ControlWord c; readControlWord(entry, at, c) && c.Name == "fcharset" && c.HasParam)
                charset = num(c.Param);
        fonts.push_back(Font{w.Param, entry.substr(blank + 1), charset});
        pos = close + 1;
    }
    t.erase(0, tableEnd + 2);

    std::vector<std::string> colors;
    if (eraseThrough("{\\colortbl")) {
        const std::size_t end = t.find(";}");
        if (end == std::string::npos) return false;
        // The entries after the automatic colour's ";".
        for (std::size_t pos = 1;;) {
            const std::size_t slash = t.find('\\', pos);
            if (slash == std::string::npos || slash > end) break;
            const std::size_t semicolon = t.find(';', slash);
            colors.push_back(t.substr(slash, semicolon - slash + 1));
            pos = semicolon + 1;
        }
        t.erase(0, end + 2);
    }
    if (eraseThrough("{\\stylesheet") && !eraseThrough("}}")) return false;
    // The document's own closing brace goes; the rest must be whole groups, or the fragment
    // would close the table cell that holds it.
    const std::size_t last = t.find_last_not_of(" \r\n");
    if (last == std::string::npos || t[last] != '}') return false;
    t.erase(last);
    if (!balanced(t)) return false;

    std::map<long long, int> fontMap, colorMap;
    for (const Font& font : fonts)
        fontMap[font.Number] = addFont(font.Name, font.Charset);
    for (std::size_t k = 0; k < colors.size(); ++k)
        colorMap[static_cast<long long>(k) + 1] = addColor(colors[k]);
    object.Memo.SetText(
        Utf8ToUtf16Lenient("{\\par{" + rewriteBody(t, fontMap, colorMap) + "}\\pard}"));
    return true;
}

std::u16string TpgwRTFExport::RtfPlainText(std::string_view rtf) {
    if (!rtf.starts_with("{\\rtf")) return Utf8ToUtf16Lenient(rtf);
    struct Group {
        bool Skip = false;
        int Uc = 1;
    };
    std::vector<Group> groups{Group{}};
    std::u16string out;
    std::string legacy; // bytes waiting for their conversion
    int skipChars = 0;
    bool groupStart = false;
    const auto flush = [&] {
        if (legacy.empty()) return;
        out += Utf8ToUtf16Lenient(CodePageToUtf8Lossy(legacy, kAnsiCodePage));
        legacy.clear();
    };
    const auto byte = [&](char c) {
        if (skipChars > 0) {
            --skipChars;
        } else if (!groups.back().Skip) {
            legacy += c;
        }
    };
    for (std::size_t i = 0; i < rtf.size();) {
        const char c = rtf[i];
        const bool started = std::exchange(groupStart, false);
        if (c == '{') {
            groups.push_back(groups.back());
            groupStart = true;
            ++i;
        } else if (c == '}') {
            if (groups.size() > 1) groups.pop_back();
            skipChars = 0;
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            byte(c);
            ++i;
        } else if (ControlWord w; readControlWord(rtf, i, w)) {
            i = w.Delimited;
            Group& g = groups.back();
            if (started && isDestination(w.Name)) {
                g.Skip = true;
            } else if (w.Name == "uc" && w.HasParam) {
                g.Uc = static_cast<int>(std::clamp(w.Param, 0LL, 8LL));
            } else if (w.Name == "u" && w.HasParam) {
                if (!g.Skip) {
                    flush();
                    out += static_cast<char16_t>(w.Param < 0 ? w.Param + 65536 : w.Param);
                }
                skipChars = g.Uc;
            } else if (w.Name == "bin" && w.HasParam) {
                i = std::min(rtf.size(), i + static_cast<std::size_t>(std::max(0LL, w.Param)));
            } else if (!g.Skip && (w.Name == "par" || w.Name == "line")) {
                flush();
                out += u"\r\n";
            } else if (!g.Skip && w.Name == "tab") {
                flush();
                out += u'\t';
            }
        } else if (i + 1 < rtf.size()) {
            const char symbol = rtf[i + 1];
            if (symbol == '*' && started) groups.back().Skip = true;
            if (symbol == '\'' && i + 4 <= rtf.size()) {
                int value = 0;
                const auto [end, ec] =
                    std::from_chars(rtf.data() + i + 2, rtf.data() + i + 4, value, 16);
                if (ec == std::errc() && end == rtf.data() + i + 4) byte(static_cast<char>(value));
                i += 4;
                continue;
            }
            if (symbol == '\\' || symbol == '{' || symbol == '}') byte(symbol);
            i += 2;
        } else {
            ++i;
        }
    }
    flush();
    if (out.ends_with(u"\r\n")) out.resize(out.size() - 2);
    return out;
}

// ---- text --------------------------------------------------------------------------------------

std::u16string TpgwRTFExport::EscapeText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += u'\\';
            out += c;
        } else if (c == u'\r' && i + 2 < text.size() && text[i + 1] == u'\n') {
            out += u"\\line\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string TpgwRTFExport::EncodeText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += "\\u";
            out += num(c);
            out += "\\'3f";
        }
    }
    return out;
}

// ---- writing -----------------------------------------------------------------------------------

void TpgwRTFExport::writeLine(TStream& out, const std::string& line) {
    if (line.empty()) return;
    const std::string bytes = line + "\r\n";
    out.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TpgwRTFExport::writeSection(TStream& out, int page) {
    const TpgwIEMatrix& m = *matrix_;
    writeLine(out, "\\pgwsxn" + num(rounded(m.PageWidth(page) * 15.02)) + "\\pghsxn" +
                       num(rounded(m.PageHeight(page) * 15.02)) + "\\marglsxn" +
                       num(rounded(m.PageLeftMargin(page) * 56.48)) + "\\margrsxn" +
                       num(rounded(m.PageRightMargin(page) * 56.48)) + "\\margtsxn" +
                       num(rounded(m.PageTopMargin(page) * 56.48)) + "\\margbsxn" +
                       num(rounded(m.PageBottomMargin(page) * 56.48)));
    if (m.PageOrientation(page) == poLandscape) writeLine(out, "\\lndscpsxn");
}

void TpgwRTFExport::WriteDocument(TStream& out) {
    CollectTables();
    writeLine(out, "{\\rtf1\\ansi");
    // Table lines stay within 254 characters: an entry that would pass it starts a line.
    const auto table = [&](std::string buffer, const std::vector<std::string>& entries) {
        for (const std::string& entry : entries) {
            if (buffer.size() + entry.size() > 254) {
                writeLine(out, buffer);
                buffer = entry;
            } else {
                buffer += entry;
            }
        }
        writeLine(out, buffer + "}");
    };
    std::vector<std::string> fontEntries;
    for (std::size_t i = 0; i < fonts_.size(); ++i)
        fontEntries.push_back("{\\f" + num(static_cast<std::int64_t>(i)) + "\\fcharset" +
                              fontCharsets_[i] + " " + fonts_[i] + "}");
    table("{\\fonttbl", fontEntries);
    table("{\\colortbl;", colors_);

    const std::string name = Report() ? Report()->ReportOptions()->Name() : std::string();
    const std::tm now = ExportTime();
    writeLine(out, "{\\info{\\title " + EncodeText(EscapeText(Utf8ToUtf16Lenient(name))) +
                       "}{\\author " + EncodeText(EscapeText(Utf8ToUtf16Lenient(creator_))) +
                       "}{\\creatim\\yr" + num(now.tm_year + 1900) + "\\mo" +
                       twoDigits(now.tm_mon + 1) + "\\dy" + twoDigits(now.tm_mday) + "\\hr" +
                       twoDigits(now.tm_hour) + "\\min" + twoDigits(now.tm_min) + "}}");

    if (ShowProgress()) {
        progress_ = std::make_unique<TpgwProgress>(nullptr);
        progress_->Execute(std::max(0, matrix_->GridHeight() - 1), res("ProgressWait"), true, true);
    }
    currentPage_ = 0;
    writeSection(out, 0);
    factor_ = 15;
    bool going = true;
    if (headerFooterMode_ == hfPrint) {
        writeLine(out, "{\\header ");
        going = writeRows(out, Pass::Header);
        writeLine(out, "}");
        writeLine(out, "{\\footer ");
        going = going && writeRows(out, Pass::Footer);
        writeLine(out, "}");
    }
    if (going) writeRows(out, Pass::Body);
    writeLine(out, "}");
    progress_.reset();
}

bool TpgwRTFExport::accepts(Pass pass, const TpgwIEMObject& object) const {
    switch (pass) {
    case Pass::Header:
        return object.InHeader;
    case Pass::Footer:
        return object.InFooter;
    case Pass::Body:
        return (!object.InHeader && !object.InFooter) || headerFooterMode_ == hfText;
    }
    return false;
}

bool TpgwRTFExport::startsOtherThanFill(int row) const {
    const TpgwIEMatrix& m = *matrix_;
    // The white object under everything is the first one; its parts name it as their parent.
    const TpgwIEMObject* fill = m.ObjectById(0);
    for (int c = 0; c < m.GridWidth(); ++c) {
        const int index = m.Cell(c, row);
        const TpgwIEMObject* object = m.ObjectById(index);
        if (!object || object == fill || object->Parent == fill || !accepts(Pass::Body, *object))
            continue;
        int col, first, colSpan, rowSpan;
        m.ObjectPlacement(index, col, first, colSpan, rowSpan);
        if (first == row) return true;
    }
    return false;
}

bool TpgwRTFExport::writeRows(TStream& out, Pass pass) {
    TpgwIEMatrix& m = *matrix_;
    if (m.PageCount() == 1) factor_ = 14.5;
    for (int r = 0; r + 1 < m.GridHeight(); ++r) {
        if (progress_) {
            progress_->Tick();
            if (progress_->Cancelled()) return false;
        }
        // No section follows the last page: the white object reaches below it.
        if (pass == Pass::Body && exportPageBreaks_ && currentPage_ + 1 < m.PageCount() &&
            m.YPosition(r) >= m.PageBottom(currentPage_)) {
            writeLine(out, "\\pard\\sect");
            ++currentPage_;
            writeSection(out, currentPage_);
            if (currentPage_ == m.PageCount() - 1) factor_ = 14.5;
            // The row at the boundary is the next page's top margin, unless something begins
            // in it (a page without a top margin).
            if (!startsOtherThanFill(r)) continue;
        }
        const std::int64_t h = rounded((m.YPosition(r + 1) - m.YPosition(r)) * factor_);
        std::string definition = (autoSize_ ? "\\trrh" : "\\trrh-") + num(h) + "\\trgaph15";
        const double origin =
            static_cast<double>(rounded(m.XPosition(0))) +
            static_cast<double>(rounded(m.PageLeftMargin(currentPage_) * 56.48 / 15.05));
        std::string cells;
        for (int c = 0; c + 1 < m.GridWidth(); ++c) {
            const int index = m.Cell(c, r);
            TpgwIEMObject* object = m.ObjectById(index);
            if (!object || !accepts(pass, *object)) continue;
            int col, row, colSpan, rowSpan;
            m.ObjectPlacement(index, col, row, colSpan, rowSpan);
            const std::int64_t right = rounded((object->Left + object->Width - origin) * 15.05);
            if (object->Counter == -1) {
                definition += cellDefinition(*object, rowSpan, static_cast<int>(right));
                if (object->IsText)
                    cells += textCell(*object, static_cast<int>(h));
                else
                    cells += pictureCell(*object);
                object->Counter = r + 1;
            } else if (rowSpan > 1 && object->Counter != r + 1) {
                definition += "\\clvmrg" + borderWords(*object) + "\\cltxlrtb\\cellx" + num(right);
                cells += "{\\fs" + num(std::min<std::int64_t>(h / 15, 20)) + "\\cell}";
                object->Counter = r + 1;
            }
        }
        if (cells.empty()) continue;
        writeLine(out, "\\trowd" + definition + "\\pard\\intbl");
        out.Write(cells.data(), static_cast<std::int64_t>(cells.size()));
        writeLine(out, "\\pard\\intbl{\\trowd" + definition + "\\row}");
    }
    return true;
}

std::string TpgwRTFExport::borderWords(const TpgwIEMObject& object) {
    const TpgwIEMStyle* style = object.Style;
    if (!style) return {};
    std::string words;
    const std::pair<TpgwFrameType, const char*> sides[] = {{ftTop, "\\clbrdrt"},
                                                           {ftLeft, "\\clbrdrl"},
                                                           {ftBottom, "\\clbrdrb"},
                                                           {ftRight, "\\clbrdrr"}};
    for (const auto& [side, word] : sides) {
        if (!(style->FrameSides & FrameSide(side))) continue;
        words += word;
        words += "\\brdrs\\brdrw" + num(rounded(style->FrameWidth * 20.0)) + "\\brdrcf" +
                 num(colorNumber(style->FrameColor));
        if (style->FrameStyle == fsDouble)
            words += "\\brdrdb";
        else if (style->FrameStyle != fsSolid)
            words += "\\brdrdashsm";
    }
    return words;
}

std::string TpgwRTFExport::cellDefinition(const TpgwIEMObject& object, int rowSpan, int right) {
    std::string d;
    if (rowSpan > 1) d += "\\clvmgf";
    const TpgwIEMStyle* style = object.Style;
    // White and the transparent colour give no fill.
    if (style && (static_cast<std::uint32_t>(style->Color) & 0xFFFFFF) != 0xFFFFFF)
        d += "\\clcbpat" + num(colorNumber(style->Color));
    const TpgwVAlign valign = style ? style->VAlign : vaTop;
    d += valign == vaBottom ? "\\clvertalb" : valign == vaCenter ? "\\clvertalc" : "\\clvertalt";
    d += borderWords(object);
    d += "\\cltxlrtb\\cellx" + num(right);
    return d;
}

std::string TpgwRTFExport::textCell(const TpgwIEMObject& object, int rowHeight) {
    static const TpgwIEMStyle kPlain;
    const TpgwIEMStyle& style = object.Style ? *object.Style : kPlain;
    const TFont& font = style.Font;
    const std::u16string plain = plainText(object.Memo);

    std::string text;
    if (object.IsRichText)
        text = Utf16ToUtf8Lenient(plain);
    else if (object.HTMLTags && object.Style)
        text = tagRuns(object);
    else
        text = EncodeText(EscapeText(plain));

    std::string words = "\\f" + num(fontNumber(fontTableName(font.Name()))) + "\\fs";
    words += plain.empty() ? num(std::min(rowHeight / 15, 20)) : num(font.Size() * 2);
    if (font.Style().Contains(fsItalic)) words += "\\i";
    if (font.Style().Contains(fsBold)) words += "\\b";
    if (font.Style().Contains(fsUnderline)) words += "\\ul";
    words += "\\cf" + num(colorNumber(font.Color()));

    std::string paragraph;
    if (!Trim(text).empty()) {
        const double spaceBefore = style.GapY + style.LineSpacing - 1;
        const std::int64_t e = rounded(style.CharSpacing * 15);
        paragraph = "\\sb" + num(spaceBefore > 0 ? rounded(spaceBefore * factor_) : 0) + "\\li" +
                    num(rounded(style.GapX / 2 * 15.05)) + "\\fi" +
                    num(rounded(style.ParagraphGap * 15.05)) + "\\expnd" + num(e / 5) +
                    "\\expndtw" + num(e) + "\\sl-" +
                    num(rounded((-font.Height() + style.LineSpacing) * factor_ * 0.98)) +
                    "\\slmult0";
        if (style.WordBreak) paragraph += "\\hyphauto1\\hyphcaps1";
    }
    const char* align = style.HAlign == haRight    ? "\\qr"
                        : style.HAlign == haCenter ? "\\qc"
                        : style.HAlign == haBlock  ? "\\qj"
                                                   : "\\ql";
    std::string cell = align + ("{" + words + paragraph + " " + text + "\\cell}");
    // A paragraph mark right before the cell's end would add an empty line.
    for (std::size_t at; (at = cell.find("\\par\r\n\\cell")) != std::string::npos;)
        cell.replace(at, 11, "\\cell");
    return cell;
}

std::string TpgwRTFExport::tagRuns(const TpgwIEMObject& object) {
    TpgwHTMLTagsList tags;
    std::u16string escaped;
    expandTags(tags, *object.Style, escaped, object);
    std::string out;
    int bold = 0, italic = 0, underline = 0;
    TColor tracked = object.Style->Color;
    const auto toggle = [&out](bool on, int& counter, const char* start, const char* end) {
        if (on && counter == 0) {
            out += start;
            counter = 1;
        } else if (!on && counter > 0) {
            out += end;
            counter = 0;
        }
    };
    for (int line = 0; line < tags.Count(); ++line) {
        const TpgwHTMLTags runs = tags.GetItems(line);
        for (int k = 0; k < runs.Count(); ++k) {
            const TpgwHTMLTag& run = runs.GetItems(k);
            toggle(run.FontStyle.Contains(fsBold), bold, "\\b ", "\\b0 ");
            toggle(run.FontStyle.Contains(fsItalic), italic, "\\i ", "\\i0 ");
            toggle(run.FontStyle.Contains(fsUnderline), underline, "\\ul ", "\\ul0 ");
            // A run back in the font's colour after another needs its word as well, so any
            // change of colour is written.
            if (run.FontColor != tracked) {
                out += "\\cf" + num(colorNumber(run.FontColor)) + " ";
                tracked = run.FontColor;
            }
            const std::size_t at = static_cast<std::size_t>(run.CharPos - 1);
            if (run.CharPos >= 1 && at < escaped.size())
                out += EncodeText(std::u16string_view(&escaped[at], 1));
        }
    }
    return out + "\\plain";
}

std::string TpgwRTFExport::pictureCell(const TpgwIEMObject& object) {
    // Without its picture the cell is written empty, so the row's later cells keep their place.
    const auto empty = [&] {
        return "{\\fs" + num(std::min<std::int64_t>(rounded(object.Height * factor_) / 15, 20)) +
               "\\cell}";
    };
    if (!exportPictures_) return empty();
    std::string out;
    if (exportEMF_ && object.Metafile && !object.Metafile->Empty()) {
        const int w = std::max(1, object.Metafile->Width());
        const int h = std::max(1, object.Metafile->Height());
        // At the report's own resolution, as the picture is measured: finer would multiply
        // the document's size for every picture.
        TRasterCanvas canvas(w, h);
        object.Metafile->Draw(canvas, {0, 0, w, h});
        const std::vector<std::uint8_t> emf = EmfFromImage(canvas.ToImage(), w, h, 96);
        out = "{\\sb0\\li0\\sl0\\slmult0 {\\pict\\picw" + num(rounded(w * 25.3)) + "\\pich" +
              num(rounded(h * 25.3)) +
              "\\picscalex98\\picscaley98\\piccropl0\\piccropr0\\piccropt0\\piccropb0\\emfblip"
              "\r\n";
        appendHexLines(out, emf.data(), emf.size());
        out += "}\\cell}\r\n";
        return out;
    }
    if (exportEMF_ || !object.Image || object.Image->Empty()) return empty();

    std::vector<std::uint8_t> bmp = object.Image->SaveToBytes();
    if (bmp.size() < 14 + 40 || bmp[0] != 'B' || bmp[1] != 'M') return empty();
    // The StretchDIB record counts 16-bit words: the bitmap is padded to a whole one.
    if (bmp.size() % 2) bmp.push_back(0);
    const auto q = static_cast<std::uint32_t>(bmp.size() / 2 + 7);
    const std::string hw = hexLE(static_cast<std::uint32_t>(object.Image->Height()), 2) +
                           hexLE(static_cast<std::uint32_t>(object.Image->Width()), 2);
    out = "{\\sb0\\li0\\sl0\\slmult0 {\\pict\\wmetafile8\\picw" +
          num(rounded(static_cast<double>(rounded(object.Width)) * 25.3)) + "\\pich" +
          num(rounded(static_cast<double>(rounded(object.Height)) * 25.3)) +
          "\\picbmp\\picbpp4\r\n";
    // The metafile's header, its window, colours and stretch mode, and the head of the
    // StretchDIB record whose bitmap follows.
    out += "010009000003" + hexLE(q + 36, 4) + "0000" + hexLE(q, 4) +
           "0000050000000b0200000000050000000c02" + hw +
           "05000000090200000000050000000102ffffff000400000007010300" + hexLE(q, 4) +
           "430f2000cc000000" + hw + "00000000" + hw + "00000000\r\n";
    appendHexLines(out, bmp.data() + 14, bmp.size() - 14);
    out += "030000000000}\r\n\\cell}";
    return out;
}

void RegisterRTFExport() {
    RegisterClasses<TpgwRTFExport>();
    RegisterExportFormat("rtf", [] {
        return std::make_unique<TpgwRTFExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
