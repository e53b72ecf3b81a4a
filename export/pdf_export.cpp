#include "export/pdf_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <random>
#include <utility>

#include "engine/dialog_building.h"
#include "engine/draw_text.h"
#include "export/export_formats.h"
#include "export/md5.h"
#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/text.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font_measurer.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/pdf_font_face.h"
#include "platform/ui/containers.h"
#include "platform/ui/std_controls.h"
#include "report/compression.h"
#include "report/line_view.h"
#include "report/memo_view.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"
#include "report/view.h"
#include "report/wide_strings.h"

namespace {

std::string res(std::string_view key) {
    return GetResources().GetText(key);
}

// Memo text output holds it for a whole memo, after the text-drawing lock.
std::recursive_mutex& PDFLock() {
    static std::recursive_mutex lock;
    return lock;
}

// Takes the text-drawing lock, then the export's; lets go of them in the same order, also when
// the memo's output fails.
class MemoLocks {
public:
    explicit MemoLocks(TpgwDrawText& text) : text_(text) {
        text_.Lock();
        try {
            PDFLock().lock();
        } catch (...) {
            text_.Unlock();
            throw;
        }
    }
    ~MemoLocks() {
        text_.Unlock();
        PDFLock().unlock();
    }
    MemoLocks(const MemoLocks&) = delete;
    MemoLocks& operator=(const MemoLocks&) = delete;

private:
    TpgwDrawText& text_;
};

std::string NewGuidText() {
    std::random_device device;
    std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device());
    std::uint8_t b[16];
    for (int i = 0; i < 16; i += 8) {
        const std::uint64_t v = random();
        for (int k = 0; k < 8; ++k)
            b[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    char text[39];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

TpgwPDFExport::GuidSource& Guids() {
    static TpgwPDFExport::GuidSource source;
    return source;
}

std::string Deflate(std::string_view data) {
    TMemoryStream source;
    source.Write(data.data(), static_cast<std::int64_t>(data.size()));
    TMemoryStream packed;
    CompressStream(source, packed, TZCompressionLevel::zcDefault);
    return std::string(reinterpret_cast<const char*>(packed.Memory()),
                       static_cast<std::size_t>(packed.Size()));
}

std::string Hex4(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4)
        s[i] = kDigits[value & 15];
    return s;
}

int Nearest(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// A family name as a PDF name: delimiters, blanks, "#" and bytes outside printable ASCII
// (UTF-8 of a Chinese family name) as "#" and two digits.
std::string PdfName(std::string_view name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c <= 0x20 || c >= 0x7F ||
            std::string_view("#()%<>[]{}/").find(static_cast<char>(c)) != std::string_view::npos) {
            out += '#';
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Six letters from the glyphs a subset holds, so that two subsets of one face differ.
std::string SubsetTag(const std::vector<std::uint16_t>& glyphs, std::string_view name) {
    std::string key(name);
    for (std::uint16_t g : glyphs) {
        key += static_cast<char>(g >> 8);
        key += static_cast<char>(g & 0xFF);
    }
    std::uint8_t digest[16];
    MD5Bytes(key.data(), key.size(), digest);
    std::string tag;
    for (int i = 0; i < 6; ++i)
        tag += static_cast<char>('A' + digest[i] % 26);
    return tag;
}

std::string Line(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (std::string_view p : parts)
        s += p;
    return s;
}

} // namespace

// ---- dialog ------------------------------------------------------------------------------------

namespace {

constexpr int kTabWidth = 300;
constexpr int kGroupWidth = kTabWidth - 24;

TCheckBox* Check(TWinControl* parent, TComponent* owner, int left, int top, std::string_view key,
                 int width = 120) {
    auto* box = PlaceControl<TCheckBox>(parent, owner, left, top, width, 17);
    box->SetCaption(res(key));
    return box;
}

TEdit* LabelledEdit(TWinControl* parent, TComponent* owner, int top, std::string_view key) {
    PlaceLabel(parent, owner, 12, top + 3, res(key));
    return PlaceControl<TEdit>(parent, owner, 90, top, kGroupWidth - 102, 21);
}

TTabSheet* Sheet(TPageControl* control, TComponent* owner, std::string_view key) {
    auto* sheet = new TTabSheet(owner);
    sheet->SetPageControl(control);
    sheet->SetCaption(res(key));
    return sheet;
}

} // namespace

TpgwPDFExportDialog::TpgwPDFExportDialog(TComponent* owner)
    : TpgwExportDialog(owner, res("8700"), GetResources().GetTextById(8), 90) {
    // The common controls go onto the first tab; the form grows around the tabs.
    const int commonHeight = OpenCB->Top() + OpenCB->Height() + 8;
    PageControl1 = PlaceControl<TPageControl>(this, this, 4, 4, kTabWidth + 8, commonHeight + 30);
    ExportPage = Sheet(PageControl1, this, "107");
    for (TControl* c : {static_cast<TControl*>(GroupPageRange),
                        static_cast<TControl*>(GroupQuality), static_cast<TControl*>(OpenCB)})
        c->SetParent(ExportPage);
    CompressedCB = Check(GroupQuality, this, 12, 20, "8701");
    EmbeddedCB = Check(GroupQuality, this, 12, 42, "8702");
    PrintOptCB = Check(GroupQuality, this, 140, 20, "8703");
    OutlineCB = Check(GroupQuality, this, 140, 42, "8704");
    BackgrCB = Check(GroupQuality, this, 12, 64, "8705");

    InfoPage = Sheet(PageControl1, this, "8972");
    DocInfoGB = PlaceControl<TGroupBox>(InfoPage, this, 8, 4, kGroupWidth, 180);
    DocInfoGB->SetCaption(res("8971"));
    TitleE = LabelledEdit(DocInfoGB, this, 20, "8973");
    AuthorE = LabelledEdit(DocInfoGB, this, 46, "8974");
    SubjectE = LabelledEdit(DocInfoGB, this, 72, "8975");
    KeywordsE = LabelledEdit(DocInfoGB, this, 98, "8976");
    CreatorE = LabelledEdit(DocInfoGB, this, 124, "8977");
    ProducerE = LabelledEdit(DocInfoGB, this, 150, "8978");

    SecurityPage = Sheet(PageControl1, this, "8962");
    SecGB = PlaceControl<TGroupBox>(SecurityPage, this, 8, 4, kGroupWidth, 76);
    SecGB->SetCaption(res("8979"));
    OwnPassE = LabelledEdit(SecGB, this, 20, "8964");
    UserPassE = LabelledEdit(SecGB, this, 46, "8965");
    OwnPassE->SetPasswordChar('*');
    UserPassE->SetPasswordChar('*');
    PermGB = PlaceControl<TGroupBox>(SecurityPage, this, 8, 86, kGroupWidth, 110);
    PermGB->SetCaption(res("8980"));
    PrintCB = Check(PermGB, this, 12, 20, "8966", kGroupWidth - 24);
    ModCB = Check(PermGB, this, 12, 42, "8967", kGroupWidth - 24);
    CopyCB = Check(PermGB, this, 12, 64, "8968", kGroupWidth - 24);
    AnnotCB = Check(PermGB, this, 12, 86, "8969", kGroupWidth - 24);

    ViewerPage = Sheet(PageControl1, this, "8981");
    ViewerGB = PlaceControl<TGroupBox>(ViewerPage, this, 8, 4, kGroupWidth, 156);
    ViewerGB->SetCaption(res("8982"));
    HideToolbarCB = Check(ViewerGB, this, 12, 20, "8983", kGroupWidth - 24);
    HideMenubarCB = Check(ViewerGB, this, 12, 42, "8984", kGroupWidth - 24);
    HideWindowUICB = Check(ViewerGB, this, 12, 64, "8985", kGroupWidth - 24);
    FitWindowCB = Check(ViewerGB, this, 12, 86, "8986", kGroupWidth - 24);
    CenterWindowCB = Check(ViewerGB, this, 12, 108, "8987", kGroupWidth - 24);
    PrintScalingCB = Check(ViewerGB, this, 12, 130, "8988", kGroupWidth - 24);
    PageControl1->SetActivePage(ExportPage);

    const int buttonsTop = PageControl1->Top() + PageControl1->Height() + 8;
    OkB->SetTop(buttonsTop);
    CancelB->SetTop(buttonsTop);
    OkB->SetLeft(kTabWidth + 12 - 2 * 75 - 6);
    CancelB->SetLeft(kTabWidth + 12 - 75);
    SetClientWidth(kTabWidth + 16);
    SetClientHeight(buttonsTop + 25 + 8);
}

// ---- fonts -------------------------------------------------------------------------------------

TpgwPDFFont::TpgwPDFFont(const TFont& font, std::shared_ptr<const TPdfFontFace> face)
    : face_(std::move(face)) {
    font_.Assign(font);
}

TpgwPDFFont::~TpgwPDFFont() = default;

std::string TpgwPDFFont::GlyphHex(const std::vector<std::uint16_t>& glyphs,
                                  const std::vector<std::u16string>& texts) {
    std::string hex;
    hex.reserve(glyphs.size() * 4);
    for (std::size_t k = 0; k < glyphs.size(); ++k) {
        const std::uint16_t g = glyphs[k];
        auto [it, added] = index_.try_emplace(g, glyphs_.size());
        if (added) {
            glyphs_.push_back(g);
            // The design advance, as the measurer lays text out: a kerned or contextual
            // advance of one use would misplace every other use of the glyph.
            advances_.push_back(face_->Advance1000(g));
            chars_.push_back(texts[k]);
        } else if (chars_[it->second].empty() && !texts[k].empty()) {
            // First seen inside a cluster another glyph spoke for; now it has text of its own.
            chars_[it->second] = texts[k];
        }
        hex += Hex4(g);
    }
    return hex;
}

std::string TpgwPDFFont::BaseFontName() const {
    std::string name = PdfName(font_.Name());
    const bool bold = font_.Style().Contains(fsBold);
    const bool italic = font_.Style().Contains(fsItalic);
    if (bold || italic) {
        name += ',';
        if (bold) name += "Bold";
        if (italic) name += "Italic";
    }
    return name;
}

// ---- filter ------------------------------------------------------------------------------------

TpgwPDFExport::TpgwPDFExport(TComponent* owner) : TpgwFileExportFilter(owner) {
    init();
}

TpgwPDFExport::TpgwPDFExport(UnlistedTag tag) : TpgwFileExportFilter(tag) {
    init();
}

TpgwPDFExport::~TpgwPDFExport() = default;

void TpgwPDFExport::init() {
    SetFileFilter(res("8707"));
    SetFileExtension(res("8708"));
    author_ = u"Pagewright";
    subject_ = u"Pagewright PDF export";
    // The host application's component name: ours has none.
    creator_.clear();
}

const TTypeInfo& TpgwPDFEncBitsType() {
    static const TTypeInfo& element =
        DefineEnumType("TpgwPDFEncBit", {"ePrint", "eModify", "eCopy", "eAnnot"});
    static const TTypeInfo& set = DefineSetType("TpgwPDFEncBits", element);
    return set;
}

void TpgwPDFExport::RegisterProperties(TClassBuilder<TpgwPDFExport>& b) {
    using F = TpgwPDFExport;
    b.Add("Compressed", &F::Compressed, &F::SetCompressed).Default(1);
    b.Add("EmbeddedFonts", &F::EmbeddedFonts, &F::SetEmbeddedFonts).Default(0);
    b.Add("PrintOptimized", &F::PrintOptimized, &F::SetPrintOptimized);
    b.Add("Outline", &F::Outline, &F::SetOutline);
    b.Add("Background", &F::Background, &F::SetBackground);
    b.Add("HTMLTags", &F::HTMLTags, &F::SetHTMLTags);
    b.Add("Author", TypeInfoWideString(), &F::Author, &F::SetAuthor);
    b.Add("Subject", TypeInfoWideString(), &F::Subject, &F::SetSubject);
    b.Add("Title", TypeInfoWideString(), &F::Title, &F::SetTitle);
    b.Add("Keywords", TypeInfoWideString(), &F::Keywords, &F::SetKeywords);
    b.Add("Creator", TypeInfoWideString(), &F::Creator, &F::SetCreator);
    b.Add("Producer", TypeInfoWideString(), &F::Producer, &F::SetProducer);
    b.Add("UserPassword", TypeInfoString(), &F::UserPassword, &F::SetUserPassword);
    b.Add("OwnerPassword", TypeInfoString(), &F::OwnerPassword, &F::SetOwnerPassword);
    b.Add(
        "ProtectionFlags", TpgwPDFEncBitsType(),
        [](F& f) { return static_cast<std::uint32_t>(f.ProtectionFlags()); },
        [](F& f, std::uint32_t v) { f.SetProtectionFlags(static_cast<TpgwPDFEncBits>(v & 0x0F)); });
    b.Add("HideToolbar", &F::HideToolbar, &F::SetHideToolbar);
    b.Add("HideMenubar", &F::HideMenubar, &F::SetHideMenubar);
    b.Add("HideWindowUI", &F::HideWindowUI, &F::SetHideWindowUI);
    b.Add("FitWindow", &F::FitWindow, &F::SetFitWindow);
    b.Add("CenterWindow", &F::CenterWindow, &F::SetCenterWindow);
    b.Add("PrintScaling", &F::PrintScaling, &F::SetPrintScaling);
}

std::string TpgwPDFExport::FilterCaption() const {
    return res("PDFexport");
}

TpgwPDFExport::GuidSource TpgwPDFExport::SetGuidSource(GuidSource source) {
    return std::exchange(Guids(), std::move(source));
}

std::string TpgwPDFExport::Num(double value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    if (ec != std::errc()) return "0.00";
    std::string s(buf, end);
    if (s == "-0.00") s = "0.00";
    return s;
}

std::string TpgwPDFExport::UnicodeHex(std::u16string_view text) {
    std::string hex = "FEFF";
    for (char16_t u : text)
        hex += Hex4(u);
    return hex;
}

std::string TpgwPDFExport::ColorToPdf(TColor color) {
    if (color == 0) return "0 0 0";
    if (color == 0xFFFFFF) return "1 1 1";
    if (color == cachedColor_) return cachedColorText_;
    const TColor rgb = ColorToRGB(color);
    cachedColor_ = color;
    cachedColorText_ = Num(GetRValue(rgb) / 255.0) + " " + Num(GetGValue(rgb) / 255.0) + " " +
                       Num(GetBValue(rgb) / 255.0);
    return cachedColorText_;
}

// ---- options -----------------------------------------------------------------------------------

int TpgwPDFExport::AskOptions() {
    if (title_.empty() && Report()) title_ = Utf8ToUtf16(Report()->ReportOptions()->Name());
    return TpgwFileExportFilter::AskOptions();
}

std::unique_ptr<TpgwExportDialog> TpgwPDFExport::CreateDialog() {
    return std::make_unique<TpgwPDFExportDialog>(nullptr);
}

void TpgwPDFExport::ShowOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwPDFExportDialog&>(dialog);
    const bool outlineVisible = !Report() || Report()->PreviewOptions()->OutlineVisible();
    outline_ = outlineVisible;
    d.OutlineCB->SetEnabled(outlineVisible);
    d.CompressedCB->SetChecked(compressed_);
    d.EmbeddedCB->SetChecked(embeddedFonts_);
    d.PrintOptCB->SetChecked(printOptimized_);
    d.OutlineCB->SetChecked(outline_);
    d.BackgrCB->SetChecked(background_);
    d.OwnPassE->SetText(ownerPassword_);
    d.UserPassE->SetText(userPassword_);
    d.PrintCB->SetChecked(protectionFlags_ & (1u << ePrint));
    d.ModCB->SetChecked(protectionFlags_ & (1u << eModify));
    d.CopyCB->SetChecked(protectionFlags_ & (1u << eCopy));
    d.AnnotCB->SetChecked(protectionFlags_ & (1u << eAnnot));
    d.TitleE->SetText(Utf16ToUtf8(title_));
    d.AuthorE->SetText(Utf16ToUtf8(author_));
    d.SubjectE->SetText(Utf16ToUtf8(subject_));
    d.KeywordsE->SetText(Utf16ToUtf8(keywords_));
    d.CreatorE->SetText(Utf16ToUtf8(creator_));
    d.ProducerE->SetText(Utf16ToUtf8(producer_));
    d.HideToolbarCB->SetChecked(hideToolbar_);
    d.HideMenubarCB->SetChecked(hideMenubar_);
    d.HideWindowUICB->SetChecked(hideWindowUI_);
    d.FitWindowCB->SetChecked(fitWindow_);
    d.CenterWindowCB->SetChecked(centerWindow_);
    d.PrintScalingCB->SetChecked(printScaling_);
}

void TpgwPDFExport::ReadOptions(TpgwExportDialog& dialog) {
    auto& d = static_cast<TpgwPDFExportDialog&>(dialog);
    ownerPassword_ = d.OwnPassE->Text();
    userPassword_ = d.UserPassE->Text();
    protectionFlags_ = static_cast<TpgwPDFEncBits>(
        (d.PrintCB->Checked() ? 1u << ePrint : 0u) | (d.ModCB->Checked() ? 1u << eModify : 0u) |
        (d.CopyCB->Checked() ? 1u << eCopy : 0u) | (d.AnnotCB->Checked() ? 1u << eAnnot : 0u));
    compressed_ = d.CompressedCB->Checked();
    embeddedFonts_ = d.EmbeddedCB->Checked();
    printOptimized_ = d.PrintOptCB->Checked();
    outline_ = d.OutlineCB->Checked();
    background_ = d.BackgrCB->Checked();
    title_ = Utf8ToUtf16(d.TitleE->Text());
    author_ = Utf8ToUtf16(d.AuthorE->Text());
    subject_ = Utf8ToUtf16(d.SubjectE->Text());
    keywords_ = Utf8ToUtf16(d.KeywordsE->Text());
    creator_ = Utf8ToUtf16(d.CreatorE->Text());
    producer_ = Utf8ToUtf16(d.ProducerE->Text());
    hideToolbar_ = d.HideToolbarCB->Checked();
    hideMenubar_ = d.HideMenubarCB->Checked();
    hideWindowUI_ = d.HideWindowUICB->Checked();
    fitWindow_ = d.FitWindowCB->Checked();
    centerWindow_ = d.CenterWindowCB->Checked();
    printScaling_ = d.PrintScalingCB->Checked();
}

// ---- file --------------------------------------------------------------------------------------

void TpgwPDFExport::clearWork() {
    offsets_.clear();
    pageObjects_.clear();
    pageFonts_.clear();
    documentFonts_.clear();
    content_.clear();
    buffer_.clear();
    shapes_.clear();
}

void TpgwPDFExport::write(std::string_view bytes) {
    buffer_.append(bytes);
    position_ += static_cast<std::int64_t>(bytes.size());
    if (buffer_.size() >= (1u << 20)) {
        Output().Write(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
        buffer_.clear();
    }
}

int TpgwPDFExport::newObject() {
    offsets_.push_back(position_);
    return static_cast<int>(offsets_.size());
}

void TpgwPDFExport::beginObject(int n) {
    write(std::to_string(n) + " 0 obj\r\n");
}

std::string TpgwPDFExport::pdfString(std::string_view bytes, int object) const {
    if (!protected_) return Line({"(", EscapePDFString(bytes), ")"});
    return Line({"(", EscapePDFString(encryption_.Encrypt(bytes, object)), ")"});
}

std::string TpgwPDFExport::infoString(const std::u16string& text, int object) const {
    if (!protected_) return "<" + UnicodeHex(text) + ">";
    // The same text the unprotected file holds, so that Chinese survives encryption.
    std::string bytes = "\xFE\xFF";
    for (char16_t u : text) {
        bytes += static_cast<char>(u >> 8);
        bytes += static_cast<char>(u & 0xFF);
    }
    return pdfString(bytes, object);
}

bool TpgwPDFExport::OpenOutput() {
    if (!TpgwFileExportFilter::OpenOutput()) return false;
    protected_ = !ownerPassword_.empty() || !userPassword_.empty();
    clearWork();
    position_ = TargetStream() ? TargetStream()->Position() : 0;
    const std::string guid = Guids() ? Guids()() : NewGuidText();
    fileId_ = MD5Hex(guid);
    if (protected_)
        encryption_ = TpgwPDFEncryption::Prepare(ownerPassword_, userPassword_,
                                                 PDFPermissionValue(protectionFlags_), fileId_);
    write("%PDF-1.5\r\n");
    newObject(); // the page tree, written at the end
    return true;
}

void TpgwPDFExport::EnterPage(TpgwComponent* page, int) {
    pageWidth_ = pageHeight_ = marginX_ = marginY_ = 0;
    if (auto* p = dynamic_cast<TpgwReportPage*>(page)) {
        pageWidth_ = p->Width() * 0.75;
        pageHeight_ = p->Height() * 0.75;
        marginX_ = p->LeftMargin() * 0.05;
        marginY_ = p->TopMargin() * 0.05;
    }
    content_.clear();
}

void TpgwPDFExport::WriteItem(TpgwComponent* object) {
    auto* view = dynamic_cast<TpgwView*>(object);
    if (view && (view->Printable() || ExportNotPrintable())) exportView(*view);
}

void TpgwPDFExport::writeStream(int n, const std::string& data, bool fontLengths) {
    const std::string size = std::to_string(data.size());
    std::string body;
    if (compressed_) {
        body = Deflate(data);
        const std::string packed = std::to_string(body.size());
        write(fontLengths ? Line({"<< /Length ", packed, "  /Filter /FlateDecode /Length1 ", size,
                                  " >>\r\n"})
                          : Line({"<< /Filter /FlateDecode /Length ", packed, " /Length1 ", size,
                                  " >>\r\n"}));
    } else {
        body = data;
        write(fontLengths ? Line({"<< /Length ", size, " /Length1 ", size, " >>\r\n"})
                          : Line({"<< /Length ", size, " >>\r\n"}));
    }
    if (protected_) body = encryption_.Encrypt(body, n);
    write("stream\r\n");
    write(body);
    if (compressed_) write("\r\n");
    write("endstream\r\n");
}

void TpgwPDFExport::LeavePage(TpgwComponent*, int) {
    const int n = newObject();
    beginObject(n);
    writeStream(n, content_, false);
    write("endobj\r\n");
    content_.clear();
    content_.shrink_to_fit();

    for (TpgwPDFFont* font : pageFonts_) {
        if (font->Numbered) continue;
        font->Type0Object = newObject();
        font->Numbered = true;
    }

    const int p = newObject();
    pageObjects_.push_back(p);
    std::string page = std::to_string(p) + " 0 obj\r\n<<\r\n/Type /Page\r\n/Parent 1 0 R\r\n";
    page += Line({"/MediaBox [0 0 ", Num(pageWidth_), " ", Num(pageHeight_), " ]\r\n"});
    page += "/Resources <<\r\n/Font << ";
    for (TpgwPDFFont* font : pageFonts_)
        page += Line({font->ResourceName, " ", std::to_string(font->Type0Object), " 0 R "});
    page += ">>\r\n/XObject <<\r\n>>\r\n/ProcSet [/PDF /Text /ImageC ]\r\n>>\r\n";
    page += Line({"/Contents ", std::to_string(n), " 0 R\r\n>>\r\nendobj\r\n"});
    write(page);
}

void TpgwPDFExport::EndOutput() {
    for (auto& font : documentFonts_)
        writeFont(*font);

    offsets_[0] = position_;
    std::string tree = "1 0 obj\r\n<<\r\n/Type /Pages\r\n/Kids [";
    for (int p : pageObjects_)
        tree += std::to_string(p) + " 0 R ";
    tree += "]\r\n/Count " + std::to_string(pageObjects_.size()) + "\r\n>>\r\nendobj\r\n";
    write(tree);

    const int info = newObject();
    const std::tm now = ExportTime();
    char date[80];
    std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02d", now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    std::string text = std::to_string(info) + " 0 obj\r\n<<\r\n";
    text += "/Title " + infoString(title_, info) + "\r\n";
    text += "/Author " + infoString(author_, info) + "\r\n";
    text += "/Subject " + infoString(subject_, info) + "\r\n";
    text += "/Keywords " + infoString(keywords_, info) + "\r\n";
    text += "/Creator " + infoString(creator_, info) + "\r\n";
    text += "/Producer " + infoString(producer_, info) + "\r\n";
    const std::string dateText = pdfString(date, info);
    text += "/CreationDate " + dateText + "\r\n/ModDate " + dateText + "\r\n>>\r\nendobj\r\n";
    write(text);

    const int catalog = newObject();
    text = std::to_string(catalog) + " 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 1 0 R\r\n"
                                     "/PageMode /UseNone\r\n/ViewerPreferences <<\r\n";
    if (!title_.empty()) text += "/DisplayDocTitle true\r\n";
    if (hideToolbar_) text += "/HideToolbar true\r\n";
    if (hideMenubar_) text += "/HideMenubar true\r\n";
    if (hideWindowUI_) text += "/HideWindowUI true\r\n";
    if (fitWindow_) text += "/FitWindow true\r\n";
    if (centerWindow_) text += "/CenterWindow true\r\n";
    if (!printScaling_) text += "/PrintScaling /None\r\n";
    text += ">>\r\n>>\r\nendobj\r\n";
    write(text);

    const std::int64_t xref = position_;
    text = "xref\r\n0 " + std::to_string(offsets_.size() + 1) + "\r\n0000000000 65535 f\r\n";
    char entry[32];
    for (std::int64_t offset : offsets_) {
        std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n", static_cast<long long>(offset));
        text += entry;
    }
    text += "trailer\r\n<<\r\n/Size " + std::to_string(offsets_.size() + 1) + "\r\n";
    text +=
        "/Root " + std::to_string(catalog) + " 0 R\r\n/Info " + std::to_string(info) + " 0 R\r\n";
    text += "/ID [<" + fileId_ + "><" + fileId_ + ">]\r\n";
    if (protected_) text += encryption_.Dictionary();
    text += ">>\r\nstartxref\r\n" + std::to_string(xref) + "\r\n%%EOF\r\n";
    write(text);
    Output().Write(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
    clearWork();
}

// ---- drawing -----------------------------------------------------------------------------------

void TpgwPDFExport::op(const std::string& line) {
    content_ += line;
    content_ += "\r\n";
}

bool TpgwPDFExport::hasTags(TpgwCustomMemoView& memo) const {
    return memo.AllowHTMLTags() && htmlTags_ &&
           memo.Memo()->Text().find(u'<') != std::u16string::npos;
}

void TpgwPDFExport::exportView(TpgwView& view) {
    if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(&view)) {
        if (memo->Rotation() == 0 &&
            (view.BrushStyle() == bsSolid || view.BrushStyle() == bsClear) && !hasTags(*memo)) {
            writeMemo(*memo);
            return;
        }
    }
    if (dynamic_cast<TpgwCustomLineView*>(&view)) {
        writeLine(view);
    } else if (auto* shape = dynamic_cast<TpgwShapeView*>(&view);
               shape && shape->Shape() == skRectangle) {
        writeRectangle(view);
    } else if (shape && (shape->Shape() == skDiagonal1 || shape->Shape() == skDiagonal2)) {
        writeDiagonal(view, shape->Shape() == skDiagonal1);
    } else if ((view.Name() != "_pagebackground" || background_) && view.Width() > 0 &&
               view.Height() > 0) {
        writeImage(view);
    }
}

void TpgwPDFExport::writeLine(TpgwView& view) {
    auto& line = static_cast<TpgwCustomLineView&>(view);
    const TpgwFrame& frame = *view.Frame();
    const double x1 = pdfX(view.AbsLeft()), y1 = pdfY(view.AbsTop());
    const double x2 = pdfX(view.AbsLeft() + view.Width()), y2 = pdfY(view.AbsTop() + view.Height());
    op(ColorToPdf(frame.Color()) + " RG");
    op(Num(frame.Width() * 0.75) + " w");
    op(Num(x1) + " " + Num(y1) + " m");
    op(Num(x2) + " " + Num(y2) + " l");
    op("S");
    const double length = line.ArrowLength() * 0.75, width = line.ArrowWidth() * 0.75;
    if (line.ArrowStart())
        writeArrow(frame.Color(), x1, y1, x2, y2, length, width, line.ArrowSolid());
    if (line.ArrowEnd())
        writeArrow(frame.Color(), x2, y2, x1, y1, length, width, line.ArrowSolid());
}

void TpgwPDFExport::writeArrow(TColor color, double tx, double ty, double ex, double ey, double L,
                               double W, bool solid) {
    double bx, by;
    const auto outside = [](double v, double a, double b) {
        return (v > a && v > b) || (v < a && v < b);
    };
    double s = 0;
    if (tx != ex) {
        s = (ty - ey) / (tx - ex);
        const double k = (tx * ey - ty * ex) / (tx - ex);
        // (x - tx)^2 + (s x + k - ty)^2 = L^2
        const double a = 1 + s * s;
        const double b = -2 * tx + 2 * s * (k - ty);
        const double c = tx * tx + (k - ty) * (k - ty) - L * L;
        const double root = std::sqrt(std::max(0.0, b * b - 4 * a * c));
        const double larger = (-b + root) / (2 * a), smaller = (-b - root) / (2 * a);
        bx = outside(larger, tx, ex) ? smaller : larger;
        by = s * bx + k;
    } else {
        bx = tx;
        by = ty - L;
        if (outside(by, ty, ey)) by = ty + L;
    }
    double c1x, c1y, c2x, c2y;
    if (tx != ex && ty != ey) {
        const double theta = std::atan(s);
        c1x = bx + W * std::sin(theta);
        c1y = by - W * std::cos(theta);
        c2x = bx - W * std::sin(theta);
        c2y = by + W * std::cos(theta);
    } else if (ty == ey) {
        c1x = c2x = bx;
        c1y = by - W;
        c2y = by + W;
    } else {
        c1x = tx - W;
        c2x = tx + W;
        c1y = c2y = by;
    }
    op(Num(c1x) + " " + Num(c1y) + " m");
    op(Num(tx) + " " + Num(ty) + " l");
    op(Num(c2x) + " " + Num(c2y) + " l");
    if (solid) {
        op("1 j");
        op(ColorToPdf(color) + " rg");
        op("b");
    } else {
        op("S");
    }
}

void TpgwPDFExport::writeRectangle(TpgwView& view) {
    const TpgwFrame& frame = *view.Frame();
    op(ColorToPdf(frame.Color()) + " RG");
    op(Num(frame.Width() * 0.75) + " w");
    op(ColorToPdf(view.Color()) + " rg");
    op(Num(pdfX(view.AbsLeft())) + " " + Num(pdfY(view.AbsTop() + view.Height())) + " ");
    op(Num(view.Width() * 0.75) + " " + Num(view.Height() * 0.75) + " re");
    op(view.Color() == clNone ? "S" : "B");
}

void TpgwPDFExport::writeDiagonal(TpgwView& view, bool first) {
    const TpgwFrame& frame = *view.Frame();
    const double x1 = pdfX(view.AbsLeft()), y1 = pdfY(view.AbsTop());
    const double x2 = pdfX(view.AbsLeft() + view.Width()), y2 = pdfY(view.AbsTop() + view.Height());
    op(ColorToPdf(frame.Color()) + " RG");
    op(Num(frame.Width() * 0.75) + " w");
    if (first) {
        op(Num(x1) + " " + Num(y2) + " m");
        op(Num(x2) + " " + Num(y1) + " l");
    } else {
        op(Num(x1) + " " + Num(y1) + " m");
        op(Num(x2) + " " + Num(y2) + " l");
    }
    op("S");
}

void TpgwPDFExport::writeImage(TpgwView& view) {
    TpgwFrame& frame = *view.Frame();
    const double frameWidth = frame.Width();
    // The frame is written as vector lines; it stays out of the bitmap.
    if (frameWidth > 0) frame.SetWidth(0);
    struct RestoreWidth {
        TpgwFrame& frame;
        double width;
        ~RestoreWidth() {
            if (width > 0) frame.SetWidth(width);
        }
    } restore{frame, frameWidth};

    const bool memo = dynamic_cast<TpgwCustomMemoView*>(&view) != nullptr;
    const bool barcode = std::string_view(view.ClassName()) == "TpgwBarCodeView";
    double f = ((printOptimized_ || memo) && view.BrushStyle() < 2) ? 3 : 1;
    int a = 0;
    if (barcode && !printOptimized_) {
        f = 2;
        a = 2;
    }
    const int width = static_cast<int>(f) + Nearest(f * view.Width());
    const int height = static_cast<int>(f) + Nearest(f * view.Height());
    TBitmap bitmap(width, height, pf24bit);
    view.Draw(bitmap.Canvas(), f, f, a - Nearest(view.AbsLeft() * f), -Nearest(view.AbsTop() * f));

    const bool vector =
        dynamic_cast<TpgwCustomLineView*>(&view) || dynamic_cast<TpgwShapeView*>(&view);
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(barcode || vector ? 95 : 90);
    jpeg.Assign(bitmap);
    const std::vector<std::uint8_t> bytes = jpeg.SaveToBytes();

    const double x1 = pdfX(view.AbsLeft()), y2 = pdfY(view.AbsTop() + view.Height());
    op("q");
    op(Num(view.Width() * 0.75) + " 0 0 " + Num(view.Height() * 0.75) + " " + Num(x1) + " " +
       Num(y2) + " cm");
    op("BI");
    op("/W " + std::to_string(width));
    op("/H " + std::to_string(height));
    op("/CS /RGB");
    op("/BPC 8");
    op("/I true");
    op("/F [/DCT]");
    op("ID");
    content_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    content_ += "\r\n";
    op("EI");
    op("Q");

    if (frameWidth > 0) frame.SetWidth(frameWidth);
    restore.width = 0;
    writeFrame(view, x1, pdfY(view.AbsTop()), pdfX(view.AbsLeft() + view.Width()), y2);
}

void TpgwPDFExport::writeFrame(TpgwView& view, double x1, double y1, double x2, double y2) {
    const TpgwFrame& frame = *view.Frame();
    const TpgwFrameTypes sides = frame.Typ();
    if (sides == 0 || frame.Color() == clNone) return;
    op(ColorToPdf(frame.Color()) + " RG");
    op(Num(frame.Width() * 0.75) + " w");
    const std::string X1 = Num(x1), Y1 = Num(y1), X2 = Num(x2), Y2 = Num(y2);
    if ((sides & ftAll) == ftAll) {
        op(X1 + " " + Y1 + " m");
        op(X2 + " " + Y1 + " l");
        op(X2 + " " + Y2 + " l");
        op(X1 + " " + Y2 + " l");
        op(X1 + " " + Y1 + " l");
        op("s");
        return;
    }
    const auto segment = [&](const std::string& ax, const std::string& ay, const std::string& bx,
                             const std::string& by) {
        op(ax + " " + ay + " m");
        op(bx + " " + by + " l");
        op("S");
    };
    if (sides & FrameSide(ftTop)) segment(X1, Y1, X2, Y1);
    if (sides & FrameSide(ftRight)) segment(X2, Y1, X2, Y2);
    if (sides & FrameSide(ftBottom)) segment(X1, Y2, X2, Y2);
    if (sides & FrameSide(ftLeft)) segment(X1, Y1, X1, Y2);
}

// ---- memo text ---------------------------------------------------------------------------------

TpgwPDFFont& TpgwPDFExport::findDocumentFont(const TFont& font, bool fallback) {
    TFont key;
    key.Assign(font);
    std::shared_ptr<const TPdfFontFace> face;
    if (fallback) {
        face = TPdfFontFace::Fallback(font.Style());
        key.SetName(face->FamilyName());
    }
    for (auto& f : documentFonts_)
        if (f->Font().Name() == key.Name() && f->Font().Style() == key.Style()) return *f;
    if (!face) face = TPdfFontFace::Get(font.Name(), font.Style());
    auto pdfFont = std::make_unique<TpgwPDFFont>(key, std::move(face));
    pdfFont->ResourceName = "/F" + std::to_string(documentFonts_.size());
    documentFonts_.push_back(std::move(pdfFont));
    return *documentFonts_.back();
}

int TpgwPDFExport::findPageFont(const TFont& font, bool fallback) {
    TpgwPDFFont& f = findDocumentFont(font, fallback);
    for (std::size_t i = 0; i < pageFonts_.size(); ++i)
        if (pageFonts_[i] == &f) return static_cast<int>(i);
    pageFonts_.push_back(&f);
    return static_cast<int>(pageFonts_.size() - 1);
}

const std::vector<TShapedRun>& TpgwPDFExport::shape(const TPdfFontFace& face, TFontStyles style,
                                                    const std::u16string& line, bool rtl) {
    // Report texts repeat (names, dates, captions, page headers): each is shaped once a face.
    std::u16string key(sizeof(void*) / 2 + 2, u'\0');
    const auto address = reinterpret_cast<std::uintptr_t>(&face);
    for (std::size_t i = 0; i < sizeof(void*) / 2; ++i)
        key[i] = static_cast<char16_t>(address >> (16 * i));
    key[sizeof(void*) / 2] = static_cast<char16_t>(style.Bits());
    key[sizeof(void*) / 2 + 1] = rtl ? u'r' : u'l';
    key += line;
    auto it = shapes_.find(key);
    if (it != shapes_.end()) return it->second;
    if (shapes_.size() >= 50000) shapes_.clear();
    return shapes_
        .emplace(std::move(key), ShapePdfLine(face, TPdfFontFace::Fallback(style).get(), line, rtl))
        .first->second;
}

void TpgwPDFExport::writeMemo(TpgwCustomMemoView& memo) {
    const TpgwFrame& frame = *memo.Frame();
    const double W = memo.Width(), H = memo.Height(), AL = memo.AbsLeft(), AT = memo.AbsTop();
    const double FW = frame.Width();
    op("q");
    op(Num(pdfX(AL - FW)) + " " + Num(pdfY(AT + H + FW)) + " " + Num((2 * FW + W) * 0.75) + " " +
       Num((2 * FW + H) * 0.75) + " re");
    op("W");
    op("n");

    const double sw = frame.ShadowWidth();
    const double ws = W - sw, hs = H - sw;
    double x1 = pdfX(AL), y1 = pdfY(AT), x2 = pdfX(AL + W), y2 = pdfY(AT + H);
    double w = W * 0.75, h = H * 0.75;
    if (frame.DropShadow()) {
        x2 = pdfX(AL + ws);
        y2 = pdfY(AT + hs);
        w = ws * 0.75;
        h = hs * 0.75;
        const std::string sc = ColorToPdf(frame.ShadowColor());
        op(sc + " rg");
        op(sc + " RG");
        op(Num(pdfX(AL + ws)) + " " + Num(pdfY(AT + H)) + " " + Num(sw * 0.75) + " " +
           Num(hs * 0.75) + " re");
        op("B");
        op(Num(pdfX(AL + sw)) + " " + Num(pdfY(AT + H)) + " " + Num(ws * 0.75) + " " +
           Num(sw * 0.75) + " re");
        op("B");
    }

    TpgwDrawText& dt = SharedDrawText();
    MemoLocks locks(dt);

    TFont font;
    font.Assign(*memo.Font());
    TColor fill = memo.Color();
    if (TpgwHighlight* highlight = memo.Highlight();
        highlight && highlight->Active() && highlight->Font()) {
        font.Assign(*highlight->Font());
        fill = highlight->Color();
    }

    dt.SetFont(font);
    dt.SetOptions(true, memo.AllowHTMLTags(), memo.RTLReading(), memo.WordBreak(), memo.Clipped(),
                  memo.Wysiwyg(), memo.Rotation());
    dt.SetSpacing(memo.ParagraphGap(), memo.CharSpacing(), memo.LineSpacing());
    int left = Nearest(AL), top = Nearest(AT), right = Nearest(AL + W), bottom = Nearest(AT + H);
    const TpgwFrameTypes sides = frame.Typ();
    if (sides & FrameSide(ftLeft)) left += Nearest((FW - 1) / 2);
    if (sides & FrameSide(ftTop)) top += Nearest((FW - 1) / 2);
    if (sides & FrameSide(ftRight)) right -= Nearest(FW / 2);
    if (sides & FrameSide(ftBottom)) bottom -= Nearest(FW / 2);
    const TRect rect{left + Nearest(memo.GapX()), top + Nearest(memo.GapY()),
                     right - Nearest(memo.GapX()) + 1, bottom - Nearest(memo.GapY()) + 1};
    dt.SetDimensions(rect, rect, 1, 1, 1);
    dt.SetText(*memo.Memo());
    const double lh = dt.LineHeight();

    if (fill != clNone) {
        op(ColorToPdf(fill) + " rg");
        op(Num(x1) + " " + Num(y2) + " " + Num(w) + " " + Num(h) + " re");
        op("f");
    }
    writeFrame(memo, x1, y1, x2, y2);
    if (memo.Underlines() && lh > 0) {
        const int count = static_cast<int>(H / lh);
        for (int i = 1; i <= count; ++i) {
            const std::string y = Num(pdfY(AT + memo.GapY() + 1 + i * lh));
            op(ColorToPdf(frame.Color()) + " RG");
            op(Num(FW * 0.75) + " w");
            op(Num(x1) + " " + y + " m");
            op(Num(x2) + " " + y + " l");
            op("S");
        }
    }

    std::vector<std::u16string> lines;
    lines.reserve(static_cast<std::size_t>(dt.WrappedLineCount()));
    for (int i = 0; i < dt.WrappedLineCount(); ++i)
        lines.push_back(dt.WrappedLine(i));
    if (!lines.empty()) {
        const int primary = findPageFont(font, false);
        TpgwPDFFont& primaryFont = *pageFonts_[static_cast<std::size_t>(primary)];
        const int s = font.Size();
        const std::string size = " " + std::to_string(s) + " Tf";
        op(primaryFont.ResourceName + size);
        op(ColorToPdf(font.Color() == clNone ? TColor(0) : font.Color()) + " rg");
        const double cs = memo.CharSpacing() * 0.75;
        if (cs != 0) op(Num(cs) + " Tc");
        dt.SetSpacing(0, memo.CharSpacing(), memo.LineSpacing());

        const bool underline = font.Style().Contains(fsUnderline);
        const TpgwHAlign align = memo.HAlign();
        const int n = static_cast<int>(lines.size());
        const auto measure = [&dt](const std::u16string& line) {
            dt.SetText(std::vector<std::u16string>{line});
            return dt.CalcWidth();
        };
        for (int i = 0; i < n; ++i) {
            const std::u16string& line = lines[static_cast<std::size_t>(i)];
            if (line.empty()) continue;
            const double pg = i == 0 ? memo.ParagraphGap() : 0;
            const double avail = ws - 2 * memo.GapX() - pg;
            const double base = s * 0.01 + AL + memo.GapX() + memo.GapX() / 2 + pg;
            double lw = -1;
            double xs = base;
            if (align == haCenter) xs = base + (avail - (lw = measure(line))) / 2;
            if (align == haRight) xs = base + avail - (lw = measure(line));
            const double x = pdfX(xs) + (align == haRight ? cs : 0);

            const double availH = hs - 2 * memo.GapY();
            const double baseY = AT + memo.GapY() - s * 0.1;
            double ys = baseY + (i + 1) * lh;
            if (memo.VAlign() == vaBottom) ys = availH + baseY - (n - i - 1) * lh;
            if (memo.VAlign() == vaCenter) ys = baseY + (availH - n * lh) / 2 + (i + 1) * lh;
            const double y = pdfY(ys);

            op("BT");
            op(Num(x) + " " + Num(y) + " Td");
            // A line is shaped in the memo's face; characters it lacks come from the CJK
            // fallback face, a font of its own switched inside the text object.
            const std::vector<TShapedRun>& runs =
                shape(primaryFont.Face(), font.Style(), line, memo.RTLReading());
            TpgwPDFFont* current = &primaryFont;
            std::string hex;
            for (const TShapedRun& run : runs) {
                TpgwPDFFont* target =
                    run.Face == 0 ? &primaryFont
                                  : pageFonts_[static_cast<std::size_t>(findPageFont(font, true))];
                if (target != current) {
                    if (!hex.empty()) op("<" + hex + "> Tj");
                    hex.clear();
                    op(target->ResourceName + size);
                    current = target;
                }
                hex += target->GlyphHex(run.Glyphs, run.Texts);
            }
            op("<" + hex + "> Tj");
            if (current != &primaryFont) op(primaryFont.ResourceName + size);
            op("ET");

            if (underline) {
                if (lw < 0) lw = measure(line);
                const double u = s * 0.12;
                op(ColorToPdf(font.Color() == clNone ? TColor(0) : font.Color()) + " RG");
                op(Num(s * 0.08) + " w");
                op(Num(x) + " " + Num(y - u) + " m");
                op(Num(x + lw * 0.75) + " " + Num(y - u) + " l");
                op("S");
            }
        }
    }
    op("Q");
}

void TpgwPDFExport::writeFont(TpgwPDFFont& font) {
    const TPdfFontFace& face = font.Face();
    std::string name = font.BaseFontName();

    // A viewer without this very face would show other glyphs for these ids: the face always
    // goes into the file, the used glyphs alone unless the whole face is asked for.
    std::string program;
    std::vector<std::uint16_t> newIds;
    bool subset = false;
    if (face.Valid()) {
        if (!embeddedFonts_) {
            std::vector<std::uint16_t> glyphs = font.Glyphs();
            program = face.Subset(glyphs, newIds);
            subset = !program.empty() && newIds.size() == glyphs.size();
            if (subset) name = SubsetTag(glyphs, name) + "+" + name;
        }
        if (!subset) program = face.FaceBytes();
    }
    int ff = 0;
    if (!program.empty()) {
        ff = newObject();
        beginObject(ff);
        writeStream(ff, program, true);
        write("endobj\r\n");
    }
    program.clear();
    program.shrink_to_fit();
    int map = 0;
    if (subset) {
        // The CIDs in the text are the face's glyph ids; the subset numbers its glyphs anew.
        std::uint16_t highest = 0;
        for (std::uint16_t g : font.Glyphs())
            highest = std::max(highest, g);
        std::string bytes(2 * (static_cast<std::size_t>(highest) + 1), '\0');
        for (std::size_t k = 0; k < newIds.size(); ++k) {
            const std::size_t at = 2 * static_cast<std::size_t>(font.Glyphs()[k]);
            bytes[at] = static_cast<char>(newIds[k] >> 8);
            bytes[at + 1] = static_cast<char>(newIds[k] & 0xFF);
        }
        map = newObject();
        beginObject(map);
        writeStream(map, bytes, true);
        write("endobj\r\n");
    }

    const TOutlineMetrics& m = face.Metrics();
    const int fd = newObject();
    std::string text = std::to_string(fd) + " 0 obj\r\n<<\r\n/Type /FontDescriptor\r\n";
    text += "/FontName /" + name + "\r\n/FontFamily /" + name + "\r\n/Flags 32\r\n";
    text += "/FontBBox [" + std::to_string(m.BBoxLeft) + " " + std::to_string(m.BBoxBottom) + " " +
            std::to_string(m.BBoxRight) + " " + std::to_string(m.BBoxTop) + " ]\r\n";
    text += "/ItalicAngle " + std::to_string(m.ItalicAngle) + "\r\n";
    text += "/Ascent " + std::to_string(m.Ascent) + "\r\n";
    text += "/Descent " + std::to_string(m.Descent) + "\r\n";
    text += "/Leading " + std::to_string(m.InternalLeading) + "\r\n";
    text += "/CapHeight " + std::to_string(m.CellHeight) + "\r\n";
    const double stem = m.Weight / 65.0;
    text += "/StemV " + std::to_string(Nearest(stem * stem) + 50) + "\r\n";
    text += "/AvgWidth " + std::to_string(m.AvgCharWidth) + "\r\n";
    text += "/MaxWidth " + std::to_string(m.MaxCharWidth) + "\r\n";
    text += "/MissingWidth " + std::to_string(m.AvgCharWidth) + "\r\n";
    if (ff) text += "/FontFile2 " + std::to_string(ff) + " 0 R\r\n";
    text += ">>\r\nendobj\r\n";
    write(text);

    const int tu = newObject();
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\r\n12 dict begin\r\nbegincmap\r\n/CIDSystemInfo\r\n"
        "<< /Registry (Adobe)\r\n/Ordering (UCS)\r\n/Ordering (Identity)\r\n/Supplement 0\r\n"
        ">> def\r\n";
    std::string cmapName = name;
    std::replace(cmapName.begin(), cmapName.end(), ',', '+');
    cmap += "/CMapName /" + cmapName +
            " def\r\n/CMapType 2 def\r\n1 begincodespacerange\r\n"
            "<0000> <FFFF>\r\nendcodespacerange\r\n";
    std::string chars;
    int mapped = 0;
    for (std::size_t k = 0; k < font.Glyphs().size(); ++k) {
        // A further glyph of a cluster (a mark its base glyph spoke for) stands for nothing of
        // its own; mapping it would add a character to copied text.
        const std::u16string& value = font.Chars()[k];
        if (value.empty()) continue;
        chars += "<" + Hex4(font.Glyphs()[k]) + "> <";
        for (char16_t u : value)
            chars += Hex4(u);
        chars += ">\r\n";
        ++mapped;
    }
    cmap += std::to_string(mapped) + " beginbfchar\r\n" + chars;
    cmap += "endbfchar\r\nendcmap\r\nCMapName currentdict /CMap defineresource pop\r\nend\r\n"
            "end\r\n";
    beginObject(tu);
    writeStream(tu, cmap, true);
    write("endobj\r\n");

    const int si = newObject();
    write(std::to_string(si) + " 0 obj\r\n<<\r\n/Registry " + pdfString("Adobe", si) +
          " /Ordering " + pdfString("Identity", si) + " /Supplement 0\r\n>>\r\nendobj\r\n");

    const int df = newObject();
    text = std::to_string(df) + " 0 obj\r\n<<\r\n/Type /Font\r\n/Subtype /CIDFontType2\r\n";
    text += "/BaseFont /" + name + "\r\n";
    text += "/CIDSystemInfo " + std::to_string(si) + " 0 R\r\n";
    text += "/FontDescriptor " + std::to_string(fd) + " 0 R\r\n";
    if (map) text += "/CIDToGIDMap " + std::to_string(map) + " 0 R\r\n";
    text += "/W [ ";
    for (std::size_t k = 0; k < font.Glyphs().size(); ++k)
        text += std::to_string(font.Glyphs()[k]) + " [" + std::to_string(font.Advances()[k]) + "] ";
    text += "]\r\n>>\r\nendobj\r\n";
    write(text);

    if (!font.Numbered) {
        font.Type0Object = newObject();
        font.Numbered = true;
    }
    offsets_[static_cast<std::size_t>(font.Type0Object - 1)] = position_;
    text = std::to_string(font.Type0Object) + " 0 obj\r\n<<\r\n/Type /Font\r\n/Subtype /Type0\r\n";
    text += "/BaseFont /" + name + "\r\n/Encoding /Identity-H\r\n";
    text += "/DescendantFonts [" + std::to_string(df) + " 0 R]\r\n";
    text += "/ToUnicode " + std::to_string(tu) + " 0 R\r\n>>\r\nendobj\r\n";
    write(text);
}

void RegisterPDFExport() {
    PDFLock(); // made before any export thread can race to make it
    RegisterClasses<TpgwPDFExport>();
    RegisterExportFormat("pdf", [] {
        return std::make_unique<TpgwPDFExport>(TpgwCustomExportFilter::UnlistedTag{});
    });
}
