#include "export/html_export.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "engine/dialog_building.h"
#include "engine/page_output.h"
#include "export/export_formats.h"
#include "export/ie_matrix.h"
#include "export/image_writers.h"
#include "platform/core/files.h"
#include "platform/core/numbers.h"
#include "platform/core/properties.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/small_windows.h"
#include "report/utils.h"
#include "report/view.h"
#include "report/wide_strings.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

std::string num(long long value) {
    return std::to_string(value);
}

// Text inside an attribute value or the title: nothing in it may end the value or open markup.
std::string markupSafe(std::string_view text) {
    return EscapeMarkup(text);
}

constexpr const char* kGenerator =
    R"~(<meta name="Generator" content="Pagewright 4.0 https://lumetra.example.org/">)~";

// The navigator page; its %s places are filled in order, "%%" is a single "%".
constexpr const char* kNavigatorTemplate[] = {
    R"~(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">)~",
    "", // the head line, built with the Generator element
    "body { font-family: Tahoma; font-size: 8px; font-weight: bold; font-style: normal; "
    "text-align: center; vertical-align: middle; }",
    "input {text-align: center}",
    ".nav { font : 9pt Tahoma; color : #283e66; font-weight : bold; text-decoration : none;}",
    R"~(--></style><script language="javascript" type="text/javascript"><!--)~",
    R"~(  var pgPgCnt = %s; var pgRepName = "%s"; var pgMultipage = %s; var pgPrefix="%s";)~",
    "  function DoPage(PgN) {",
    "    if ((PgN > 0) && (PgN <= pgPgCnt) && (PgN != parent.pgCurPage)) {",
    R"~(      if (pgMultipage > 0)  parent.mainFrame.location = pgPrefix + PgN + ".html";)~",
    R"~(      else parent.mainFrame.location = pgPrefix + "main.html#PageN" + PgN;)~",
    "      UpdateNav(PgN); } else document.PgForm.PgEdit.value = parent.pgCurPage; }",
    "  function UpdateNav(PgN) {",
    "    parent.pgCurPage = PgN; document.PgForm.PgEdit.value = PgN;",
    "    if (PgN == 1) { document.PgForm.bFirst.disabled = 1; document.PgForm.bPrev.disabled = "
    "1; }",
    "    else { document.PgForm.bFirst.disabled = 0; document.PgForm.bPrev.disabled = 0; }",
    "    if (PgN == pgPgCnt) { document.PgForm.bNext.disabled = 1; document.PgForm.bLast.disabled "
    "= 1; }",
    "    else { document.PgForm.bNext.disabled = 0; document.PgForm.bLast.disabled = 0; } }",
    "  function RefreshRep() { %s }",
    "  function PrintRep() { %s }",
    "--></script></head>",
    R"~(<body bgcolor="#DDDDDD" text="#000000" leftmargin="0" topmargin="4" )~"
    R"~(onload="UpdateNav(parent.pgCurPage)">)~",
    R"~(<form name="PgForm" onsubmit="DoPage(document.forms[0].PgEdit.value); return false;" )~"
    R"~(action="">)~",
    R"~(<table cellspacing="0" align="left" cellpadding="0" border="0" width="100%%">)~",
    R"~(<tr valign="middle">)~",
    R"~(<td width="60" align="center"><button name="bFirst" class="nav" type="button" )~"
    R"~(onclick="DoPage(1); return false;">%s</button></td>)~",
    R"~(<td width="60" align="center"><button name="bPrev" class="nav" type="button" )~"
    R"~(onclick="DoPage(Math.max(parent.pgCurPage - 1, 1)); return false;">%s</button></td>)~",
    R"~(<td width="100" align="center"><input type="text" class="nav" name="PgEdit" )~"
    R"~(value="parent.pgCurPage" size="4"></td>)~",
    R"~(<td width="60" align="center"><button name="bNext" class="nav" type="button" )~"
    R"~(onclick="DoPage(parent.pgCurPage + 1); return false;">%s</button></td>)~",
    R"~(<td width="60" align="center"><button name="bLast" class="nav" type="button" )~"
    R"~(onclick="DoPage(pgPgCnt); return false;">%s</button></td>)~",
    R"~(<td width="20">&nbsp;</td>)~",
    R"~(%s<td align="right">%s: <script language="javascript" type="text/javascript"> )~"
    R"~(document.write(pgPgCnt);</script></td>)~",
    R"~(<td width="10">&nbsp;</td>)~",
    "</tr></table></form></body></html>",
};

// Replaces each "%s" by the next of values and each "%%" by "%".
std::string fill(std::string_view pattern, const std::vector<std::string>& values,
                 std::size_t& next) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 's') {
                if (next < values.size()) out += values[next];
                ++next;
                ++i;
                continue;
            }
            if (pattern[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

} // namespace

std::string AlignWord(TpgwHAlign align) {
    switch (align) {
    case haRight:
        return "Right";
    case haCenter:
        return "Center";
    case haBlock:
        return "Justify";
    case haLeft:
        break;
    }
    return "Left";
}

std::string AlignWord(TpgwVAlign align) {
    switch (align) {
    case vaBottom:
        return "Bottom";
    case vaCenter:
        return "Middle";
    case vaTop:
        break;
    }
    return "Top";
}

// ---- dialog ------------------------------------------------------------------------------------

TpgwHTMLExportDialog::TpgwHTMLExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8200"), GetResources().GetTextById(8), 118) {
    StylesCB = AddQualityCheck(12, 20, res("8202"));
    PicsSameCB = AddQualityCheck(12, 42, res("8204"));
    FixWidthCB = AddQualityCheck(12, 64, res("8205"));
    NavigatorCB = AddQualityCheck(148, 20, res("8206"));
    MultipageCB = AddQualityCheck(148, 42, res("8207"));
    BackgrCB = AddQualityCheck(148, 64, res("8209"));
    PicturesL = PlaceLabel(GroupQuality, this, 12, 92, res("8203"));
    PFormatCB = PlaceControl<TComboBox>(GroupQuality, this, 80, 88, 100, 21);
    PFormatCB->SetStyle(csDropDownList);
    for (const std::string& item :
         {res("8313"), std::string("JPEG"), std::string("BMP"), std::string("GIF")})
        PFormatCB->Items().Add(item);
    OpenAfterCB = OpenCB;
    OpenAfterCB->SetCaption(res("8201"));
}

// ---- filter ------------------------------------------------------------------------------------

TpgwHTMLExport::TpgwHTMLExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwHTMLExport::TpgwHTMLExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwHTMLExport::~TpgwHTMLExport() = default;

void TpgwHTMLExport::init() {
    SetOutputFiles(std::make_unique<TStringList>());
    SetFileFilter(res("8210"));
    SetFileExtension(res("8211"));
    documentBegin_.Add(R"~(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">)~");
    documentBegin_.Add("<html><head>");
    documentBegin_.Add(R"~(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)~");
    documentBegin_.Add(kGenerator);
    documentEnd_.Add("</body></html>");
}

void TpgwHTMLExport::RegisterProperties(TClassBuilder<TpgwHTMLExport>& b) {
    using F = TpgwHTMLExport;
    b.Add("ExportStyles", &F::ExportStyles, &F::SetExportStyles).Default(1);
    b.Add("ExportPictures", &F::ExportPictures, &F::SetExportPictures).Default(1);
    b.Add("UseJpeg", &F::UseJpeg, &F::SetUseJpeg).Default(1);
    b.Add("UseGif", &F::UseGif, &F::SetUseGif).Default(0);
    b.Add("PicsInSameFolder", &F::PicsInSameFolder, &F::SetPicsInSameFolder).Default(0);
    // Declared False while a new filter has it True: a stored filter holds it when True.
    b.Add("FixedWidth", &F::FixedWidth, &F::SetFixedWidth).Default(0);
    b.Add("Centered", &F::Centered, &F::SetCentered);
    b.Add("Multipage", &F::Multipage, &F::SetMultipage).Default(0);
    b.Add("Navigator", &F::Navigator, &F::SetNavigator).Default(0);
    b.Add("Background", &F::Background, &F::SetBackground);
    b.Add("EmptyLines", &F::EmptyLines, &F::SetEmptyLines);
    b.Add("AbsLinks", &F::AbsLinks, &F::SetAbsLinks).Default(0);
    b.Add("MozillaFrames", &F::MozillaFrames, &F::SetMozillaFrames).Default(0);
    const auto lines = [&b](std::string_view name, TStringList& (F::*list)()) {
        b.Add(
            name, [list](F& f) -> TStrings* { return &(f.*list)(); },
            [list](F& f, TStrings* v) {
                if (v) (f.*list)().Assign(*v);
            });
    };
    lines("HTMLDocumentBegin", &F::HTMLDocumentBegin);
    lines("HTMLDocumentBody", &F::HTMLDocumentBody);
    lines("HTMLDocumentEnd", &F::HTMLDocumentEnd);
}

std::string TpgwHTMLExport::FilterCaption() const {
    return res("HTMLexport");
}

void TpgwHTMLExport::SetUseJpeg(bool v) {
    useJpeg_ = v;
    if (v) useGif_ = false;
}

void TpgwHTMLExport::SetUseGif(bool v) {
    useGif_ = v;
    if (v) useJpeg_ = false;
}

// ---- text and paths ----------------------------------------------------------------------------

std::string TpgwHTMLExport::EscapeText(std::string_view text, bool htmlTags) {
    std::string out;
    out.reserve(text.size());
    bool inTag = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                out += "<br>";
                ++i;
            } else {
                out += c;
            }
            break;
        case '\n':
            break;
        // A tag's attribute keeps its quotes, or the tag would lose its value.
        case '"':
            out += htmlTags && inTag ? "\"" : "&quot;";
            break;
        case '<':
            if (htmlTags) {
                inTag = true;
                out += c;
            } else {
                out += "&lt;";
            }
            break;
        case '>':
            if (htmlTags) {
                inTag = false;
                out += c;
            } else {
                out += "&gt;";
            }
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::u16string TpgwHTMLExport::StripLastLineEnd(std::u16string_view text) {
    if (text.ends_with(u"\r\n")) text.remove_suffix(2);
    return std::u16string(text);
}

std::string TpgwHTMLExport::URLEncode(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        }
    }
    return out;
}

std::string TpgwHTMLExport::ToURLPath(std::string_view path) {
    return ReplaceChar(path, '\\', '/');
}

std::string TpgwHTMLExport::FilePrefix() {
    const std::string& file = FileName();
    const std::string folder = ExtractFilePath(file);
    const std::string name = ExtractFileName(file);
    if (picsInSameFolder_)
        return absLinks_ ? folder + ChangeFileExt(name, ".") : ChangeFileExt(file, ".");
    const std::string files =
        absLinks_ ? folder + ChangeFileExt(name, ".files") : ChangeFileExt(file, ".files");
    // A folder that cannot be made shows when the first file in it cannot be created.
    try {
        if (!DirectoryExists(files)) ForceDirectories(files);
    } catch (const std::exception&) {
    }
    return files + "/";
}

std::string TpgwHTMLExport::LinkPrefix() const {
    const std::string name = ExtractFileName(FileName());
    if (picsInSameFolder_) return ChangeFileExt(name, ".");
    if (multipage_) return {};
    if (absLinks_) return ExtractFilePath(FileName()) + ChangeFileExt(name, ".files") + "/";
    if (navigator_) return {};
    return ChangeFileExt(name, ".files") + "/";
}

std::string TpgwHTMLExport::FramePrefix() const {
    const std::string name = ExtractFileName(FileName());
    return picsInSameFolder_ ? ChangeFileExt(name, ".") : ChangeFileExt(name, ".files") + "/";
}

std::string TpgwHTMLExport::pictureFileName(const std::string& name) {
    const std::string file = FilePrefix() + name;
    const std::string folder = ExtractFilePath(file);
    if (folder.empty() || folder == ChangeFileExt(ExtractFileName(FileName()), ".files") + "/")
        return ExtractFilePath(FileName()) + file;
    return file;
}

std::string TpgwHTMLExport::title() const {
    TpgwReport* report = Report();
    if (!report) return {};
    const std::string& name = report->ReportOptions()->Name();
    if (!name.empty()) return name;
    return ChangeFileExt(ExtractFileName(report->FileName()), "");
}

// ---- options -----------------------------------------------------------------------------------

std::unique_ptr<TpgwExportDialog> TpgwHTMLExport::CreateDialog() {
    return std::make_unique<TpgwHTMLExportDialog>(nullptr);
}

void TpgwHTMLExport::forceSlaveOptions() {
    SetOpenAfterExport(false);
    navigator_ = false;
    multipage_ = false;
    background_ = false;
    exportPictures_ = true;
    picsInSameFolder_ = true;
}

void TpgwHTMLExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwHTMLExportDialog&>(dialog);
    // On behalf of another exporter the file options are fixed: shown, not changeable.
    if (SlaveMode()) forceSlaveOptions();
    for (TCheckBox* box : {d.MultipageCB, d.BackgrCB, d.NavigatorCB, d.PicsSameCB})
        box->SetEnabled(!SlaveMode());
    d.StylesCB->SetChecked(exportStyles_);
    d.PicsSameCB->SetChecked(picsInSameFolder_);
    d.FixWidthCB->SetChecked(fixedWidth_);
    d.NavigatorCB->SetChecked(navigator_);
    d.MultipageCB->SetChecked(multipage_);
    d.BackgrCB->SetChecked(background_);
    d.PFormatCB->SetItemIndex(!exportPictures_ ? 0 : useJpeg_ ? 1 : useGif_ ? 3 : 2);
}

void TpgwHTMLExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwHTMLExportDialog&>(dialog);
    const int format = d.PFormatCB->ItemIndex();
    exportPictures_ = format != 0;
    useJpeg_ = format == 1;
    useGif_ = format == 3;
    exportStyles_ = d.StylesCB->Checked();
    picsInSameFolder_ = d.PicsSameCB->Checked();
    fixedWidth_ = d.FixWidthCB->Checked();
    navigator_ = d.NavigatorCB->Checked();
    multipage_ = d.MultipageCB->Checked();
    background_ = d.BackgrCB->Checked();
}

// ---- output ------------------------------------------------------------------------------------

template <class Step> void TpgwHTMLExport::guarded(Step step) {
    // After a failure nothing more is written: the documents would be incomplete.
    if (failed_) return;
    try {
        step();
    } catch (const std::exception& e) {
        failed_ = true;
        ReportExportFailure(Report(), e.what());
    }
}

template <class Write> void TpgwHTMLExport::writeFile(const std::string& fileName, Write write) {
    TSafeFileWriter file(fileName);
    write(file);
    file.Commit();
    OutputFiles()->Add(fileName);
}

bool TpgwHTMLExport::OpenOutput() {
    OutputFiles()->Clear();
    if (SlaveMode()) {
        forceSlaveOptions();
        NameSlaveOutput();
    }
    if (FileName().empty() && !TargetStream()) return false;
    PlaceInDefaultPath();
    pageCounter_ = 0;
    pictureCounter_ = 0;
    failed_ = false;
    pageHasBackground_ = false;
    backgroundBitmap_ = std::make_unique<TBitmap>();
    TpgwReport* report = Report();
    matrix_ = std::make_unique<TpgwIEMatrix>(
        UseFileCache(), report ? report->EngineOptions()->TempDir() : std::string());
    TpgwIEMatrix& m = *matrix_;
    m.SetAnchorReport(report);
    m.SetProgressWindow(ShowProgress() && !multipage_);
    m.SetMergeTolerance(0.5);
    m.SetRotatedAsPicture(true);
    m.SetMergeFrames(true);
    m.SetPageBackground(background_);
    m.SetPageBackgroundPicture(false);
    m.SetIncludeNonPrintable(ExportNotPrintable());
    m.SetKeepRichText(true);
    m.SetRichAsPlainText(true);
    m.SetKeepEmptyRows(emptyLines_);
    if (TargetStream()) {
        multipage_ = false;
        exportPictures_ = false;
        navigator_ = false;
    }
    return true;
}

void TpgwHTMLExport::EnterPage(TpgwComponent*, int) {
    ++pageCounter_;
    pageHasBackground_ = false;
    backgroundBitmap_->SetSize(0, 0);
}

void TpgwHTMLExport::WriteItem(TpgwComponent* object) {
    auto* view = dynamic_cast<TpgwView*>(object);
    if (!view || (!view->Printable() && !ExportNotPrintable())) return;
    if (dynamic_cast<TpgwCustomMemoView*>(view) || dynamic_cast<TpgwLineView*>(view) ||
        exportPictures_)
        matrix_->AddObject(view);
    if (view->Name() == "_pagebackground" && exportPictures_ && background_) {
        const auto width = static_cast<int>(Round(view->Width()));
        const auto height = static_cast<int>(Round(view->Height()));
        if (width <= 0 || height <= 0) return;
        backgroundBitmap_->SetSize(width, height);
        view->Draw(backgroundBitmap_->Canvas(), 1, 1, -view->AbsLeft(), -view->AbsTop());
        pageHasBackground_ = true;
    }
}

void TpgwHTMLExport::LeavePage(TpgwComponent* page, int index) {
    if (!multipage_) {
        if (auto* p = dynamic_cast<TpgwReportPage*>(page))
            matrix_->AddPage(p->Orientation(), p->MirrorMargins(), index, p->BottomMargin(),
                             p->RightMargin(), p->TopMargin(), p->LeftMargin(), p->Height(),
                             p->Width());
        else
            matrix_->AddPage(poPortrait, false, index, 0, 0, 0, 0, 0, 0);
        return;
    }
    struct ClearAfter {
        TpgwIEMatrix& matrix;
        ~ClearAfter() { matrix.Clear(); }
    } clearAfter{*matrix_};
    guarded([&] {
        matrix_->Prepare();
        writeFile(FilePrefix() + num(pageCounter_) + ".html",
                  [&](TStream& out) { WritePage(out, nullptr); });
    });
}

void TpgwHTMLExport::CloseOutput() {
    struct FreeMatrix {
        std::unique_ptr<TpgwIEMatrix>& matrix;
        ~FreeMatrix() { matrix.reset(); }
    } freeMatrix{matrix_};
    // Whatever a failed run would write now is incomplete: the documents stay unwritten.
    if (RunFailed() || !matrix_) return;

    if (!multipage_) {
        std::unique_ptr<TpgwProgress> progress;
        if (ShowProgress()) {
            progress = std::make_unique<TpgwProgress>(nullptr);
            progress->Execute(std::max(pageCounter_ - 1, 0), res("ProgressWait"), true, true);
        }
        bool cancelled = false;
        guarded([&] {
            struct ClearAfter {
                TpgwIEMatrix& matrix;
                ~ClearAfter() { matrix.Clear(); }
            } clearAfter{*matrix_};
            matrix_->Prepare();
            if (progress && progress->Cancelled()) {
                cancelled = true;
                return;
            }
            if (TStream* target = TargetStream()) {
                WritePage(*target, progress.get());
            } else {
                writeFile(navigator_ ? FilePrefix() + "main.html" : FileName(),
                          [&](TStream& out) { WritePage(out, progress.get()); });
            }
        });
        progress.reset();
        if (cancelled) return;
    }
    if (navigator_) {
        guarded([&] {
            writeFile(FilePrefix() + "nav.html", [&](TStream& out) { writeNavigator(out); });
        });
        guarded([&] { writeFile(FileName(), [&](TStream& out) { writeFrameSet(out); }); });
    }

    if (OpenAfterExport() && !TargetStream() && !failed_) {
        const std::string target = !multipage_ || navigator_ ? FileName() : FilePrefix() + "1.html";
        OpenExported(target);
    }
}

// ---- documents ---------------------------------------------------------------------------------

void TpgwHTMLExport::WriteLine(std::string_view text) {
    out_->Write(text.data(), static_cast<std::int64_t>(text.size()));
    out_->Write("\r\n", 2);
}

void TpgwHTMLExport::writeStyles() {
    TpgwIEMatrix& m = *matrix_;
    WriteLine(R"~(<style type="text/css"><!-- )~");
    WriteLine(".page_break {page-break-before: always;}");
    for (int i = 0; i < m.StyleCount(); ++i) {
        const TpgwIEMStyle& s = *m.StyleAt(i);
        WriteLine(".s" + num(i) + " {");
        const TFontStyles fs = s.Font.Style();
        std::string font = " font-family: " + s.Font.Name() +
                           ";\r\n font-size: " + num(Round(s.Font.Size() * 96.0 / 72.0)) +
                           "px;\r\n color: " + ColorToHexRGB(s.Font.Color()) + ";";
        if (fs.Contains(fsBold)) font += " font-weight: bold;";
        font += fs.Contains(fsItalic) ? " font-style: italic;" : " font-style: normal;";
        if (fs.Contains(fsUnderline)) font += " text-decoration: underline";
        if (fs.Contains(fsStrikeOut))
            font += fs.Contains(fsUnderline) ? " line-through" : " text-decoration: line-through";
        if (fs.Contains(fsUnderline) || fs.Contains(fsStrikeOut)) font += ";";
        WriteLine(font);
        WriteLine(s.Color == clNone ? std::string(" background-color: transparent;")
                                    : " background-color: " + ColorToHexRGB(s.Color) + ";");
        if (s.FrameSides != 0) {
            WriteLine(" border-color:" + ColorToHexRGB(s.FrameColor) + "; border-style: solid;");
            const std::pair<TpgwFrameType, const char*> sides[] = {
                {ftLeft, "left"}, {ftRight, "right"}, {ftTop, "top"}, {ftBottom, "bottom"}};
            for (const auto& [side, word] : sides) {
                const std::string width =
                    (s.FrameSides & FrameSide(side)) ? num(Round(s.FrameWidth)) : "0px";
                WriteLine(std::string(" border-") + word + "-width: " + width + ";");
            }
        }
        WriteLine(" text-align: " + AlignWord(s.HAlign) +
                  "; vertical-align: " + AlignWord(s.VAlign) + ";");
        WriteLine("}");
    }
    WriteLine("--></style>");
}

std::string TpgwHTMLExport::writePicture(TBitmap& bitmap, const std::string& name) {
    const std::string extension = useJpeg_ ? ".jpg" : useGif_ ? ".gif" : ".bmp";
    const std::string file = pictureFileName(name + extension);
    if (useJpeg_) {
        TJPEGImage jpeg;
        jpeg.SetCompressionQuality(90);
        jpeg.Assign(bitmap);
        const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();
        WriteFileAtomically(
            file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } else if (useGif_) {
        SaveGIFToFile(file, bitmap);
    } else {
        const std::vector<std::uint8_t> bytes = bitmap.SaveToBytes();
        WriteFileAtomically(
            file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    OutputFiles()->Add(file);
    return ToURLPath(LinkPrefix() + name + extension);
}

std::string TpgwHTMLExport::cell(int index) {
    TpgwIEMatrix& m = *matrix_;
    TpgwIEMObject* object = m.ObjectById(index);
    if (!object || object->Counter != 0) return {};
    object->Counter = 1;
    int col = 0, row = 0, colSpan = 0, rowSpan = 0;
    m.ObjectPlacement(index, col, row, colSpan, rowSpan);
    const std::string text = Utf16ToUtf8(StripLastLineEnd(object->Memo.Text()));

    std::string s = "<td";
    if (colSpan >= 2) s += " colspan=\"" + num(colSpan) + "\"";
    if (rowSpan >= 2) s += " rowspan=\"" + num(rowSpan) + "\"";
    if (exportStyles_ && object->StyleIndex >= 0)
        s += " class=\"s" + num(object->StyleIndex) + "\"";
    if (Trim(text).empty()) s += " style=\"font-size:1px\"";
    s += ">";

    const bool link = !object->URL.empty();
    if (link) {
        std::string url = object->URL;
        if (url.front() == '@')
            url = multipage_ ? ToURLPath(LinkPrefix() + Trim(url.substr(1)) + ".html")
                             : "#PageN" + url.substr(1);
        s += "<a href=\"" + markupSafe(url) + "\">";
    }
    if (object->IsText || !object->Image || !exportPictures_) {
        // Without picture files (a stream, or pictures off) a rotated memo or a diagonal line
        // that the matrix made a picture stays an empty cell.
        const std::string content =
            object->IsText ? Trim(EscapeText(text, object->HTMLTags)) : std::string();
        s += content.empty() ? "&nbsp;" : content;
    } else {
        TBitmap& image = *object->Image;
        const std::string source = writePicture(image, "img" + num(pictureCounter_));
        s += "<img src=\"" + markupSafe(source) + "\" width=\"" + num(image.Width()) +
             "\" height=\"" + num(image.Height()) + "\" alt=\"\">";
        ++pictureCounter_;
    }
    if (link) s += "</a>";
    return s + "</td>";
}

void TpgwHTMLExport::WritePage(TStream& out, TpgwProgress* progress) {
    out_ = &out;
    TpgwIEMatrix& m = *matrix_;
    for (int i = 0; i < documentBegin_.Count(); ++i)
        WriteLine(documentBegin_.Strings(i));
    WriteLine("");
    WriteLine("<title>" + markupSafe(title()) + "</title>");
    if (exportStyles_) writeStyles();
    WriteLine("</head>");
    WriteLine("<body");
    if (pageHasBackground_ && exportPictures_)
        WriteLine(" background=\"" + markupSafe(writePicture(*backgroundBitmap_, "backgrnd")) +
                  "\"");
    WriteLine(R"~( bgcolor="#FFFFFF" text="#000000">)~");
    for (int i = 0; i < documentBody_.Count(); ++i)
        WriteLine(documentBody_.Strings(i));
    WriteLine(R"~(<a name="PageN1"></a>)~");

    std::string table = "<table";
    if (fixedWidth_) table += " width=\"" + num(Round(m.MaxRight() - m.ContentLeft())) + "\"";
    if (centered_) table += R"~( align="center")~";
    table += R"~( border="0" cellspacing="0" cellpadding="0")~";
    WriteLine(table + ">");
    std::string columns = R"~(<tr style="height: 1px">)~";
    for (int i = 0; i + 1 < m.GridWidth(); ++i)
        columns += "<td width=\"" + num(Round(m.XPosition(i + 1) - m.XPosition(i))) + "\"/>";
    if (m.GridWidth() < 2) columns += "<td/>";
    columns += "</tr>";
    WriteLine(columns);
    bool tableOpen = true;

    const bool cancellable = progress && !multipage_;
    int page = 0;
    const int lastRow = m.GridHeight() - 2;
    for (int r = 0; r <= lastRow; ++r) {
        if (cancellable && progress->Cancelled()) break;
        bool breakDue = false;
        // The page's bottom is itself a boundary (or merged into the next larger one), so the
        // exact values meet at the page's last row; rounded, a last row thinner than a pixel
        // could end the page one row early and tear a cell spanning it across two tables.
        if (page < m.PageCount() && m.YPosition(r + 1) >= m.PageBottom(page)) {
            ++page;
            if (cancellable) progress->Tick();
            breakDue = true;
        }
        long long height = Round((m.YPosition(r + 1) - m.YPosition(r)) / 1.03);
        if (height == 0) height = 1;
        WriteLine("<tr style=\"height:" + num(height) + "px\">");
        std::string cells;
        for (int c = 0; c + 1 < m.GridWidth(); ++c) {
            if (cancellable && progress->Cancelled()) break;
            const int index = m.Cell(c, r);
            cells += index == -1 ? std::string("<td/>") : cell(index);
        }
        // A row as wide as the column row, also when no object has a width.
        if (m.GridWidth() < 2) cells += "<td/>";
        WriteLine(cells);
        WriteLine("</tr>");
        if (breakDue) {
            WriteLine("</table>");
            tableOpen = false;
            if (r != lastRow) {
                WriteLine("<a name=\"PageN" + num(page + 1) + "\"></a>");
                WriteLine(table + R"~( class="page_break">)~");
                WriteLine(columns);
                tableOpen = true;
            }
        }
    }
    // Also when the rows stopped early or the last page's end was never reached.
    if (tableOpen) WriteLine("</table>");
    for (int i = 0; i < documentEnd_.Count(); ++i)
        WriteLine(documentEnd_.Strings(i));
}

void TpgwHTMLExport::writeNavigator(TStream& out) {
    out_ = &out;
    TpgwReport* report = Report();
    const std::vector<std::string> values = {
        num(pageCounter_),
        URLEncode(report ? report->FileName() : std::string()),
        multipage_ ? "1" : "0",
        picsInSameFolder_ ? ChangeFileExt(ExtractFileName(FileName()), ".") : std::string(),
        R"~(parent.location = "result?report=" + pgRepName + "&multipage=" + pgMultipage;)~",
        "parent.mainFrame.focus(); parent.mainFrame.print();",
        res("HTMLNavFirst"),
        res("HTMLNavPrev"),
        res("HTMLNavNext"),
        res("HTMLNavLast"),
        std::string(),
        res("HTMLNavTotal"),
    };
    std::string text;
    std::size_t next = 0;
    const std::size_t count = std::size(kNavigatorTemplate);
    for (std::size_t i = 0; i < count; ++i) {
        if (i == 1) {
            text += R"~(<html><head><meta http-equiv="Content-Type" content="text/html; )~"
                    R"~(charset=utf-8">)~" +
                    std::string(kGenerator) + R"~(<title></title><style type="text/css"><!--)~";
        } else {
            text += fill(kNavigatorTemplate[i], values, next);
        }
        if (i + 1 < count) text += "\r\n";
    }
    out.Write(text.data(), static_cast<std::int64_t>(text.size()));
}

void TpgwHTMLExport::writeFrameSet(TStream& out) {
    out_ = &out;
    const std::string prefix = markupSafe(ToURLPath(FramePrefix()));
    WriteLine(R"~(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Frameset//EN" )~"
              R"~("http://www.w3.org/TR/html4/frameset.dtd">)~");
    WriteLine("<html><head>");
    WriteLine("<title>" + markupSafe(title()) + "</title>");
    WriteLine(R"~(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)~");
    WriteLine(R"~(<script language="javascript" type="text/javascript"> var pgCurPage = 1;)~"
              "</script></head>");
    WriteLine(R"~(<frameset rows="32,*" cols="*">)~");
    WriteLine(R"~(<frame name="topFrame" src=")~" + prefix +
              R"~(nav.html" noresize scrolling="no">)~");
    WriteLine(R"~(<frame name="mainFrame" src=")~" + prefix +
              (multipage_ ? "1.html" : "main.html") + "\">");
    WriteLine("</frameset>");
    WriteLine("</html>");
}

void RegisterHTMLExport() {
    RegisterClasses<TpgwHTMLExport>();
    RegisterExportFormat("html", [] {
        return std::make_unique<TpgwHTMLExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
