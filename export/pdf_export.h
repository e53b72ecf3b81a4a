#pragma once
// The PDF export: the prepared pages as one PDF 1.5 file. Lines, rectangles and frames become
// vector paths, memos real text in composite fonts (subset and embedded, with a ToUnicode map
// so that text can be searched and copied), everything else an inline JPEG image.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/export_filter.h"
#include "export/pdf_security.h"
#include "platform/graphics/font.h"

class TPageControl;
class TTabSheet;
class TpgwCustomMemoView;
class TpgwView;
class TPdfFontFace;
struct TShapedRun;

using TpgwPDFEncBits = TpgwPDFProtectionFlags;

class TpgwPDFExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwPDFExportDialog, TpgwExportDialog)
public:
    explicit TpgwPDFExportDialog(TComponent* owner);

    TPageControl* PageControl1 = nullptr;
    TTabSheet* ExportPage = nullptr;
    TCheckBox* CompressedCB = nullptr;
    TCheckBox* EmbeddedCB = nullptr;
    TCheckBox* PrintOptCB = nullptr;
    TCheckBox* OutlineCB = nullptr;
    TCheckBox* BackgrCB = nullptr;

    TTabSheet* InfoPage = nullptr;
    TGroupBox* DocInfoGB = nullptr;
    TEdit* TitleE = nullptr;
    TEdit* AuthorE = nullptr;
    TEdit* SubjectE = nullptr;
    TEdit* KeywordsE = nullptr;
    TEdit* CreatorE = nullptr;
    TEdit* ProducerE = nullptr;

    TTabSheet* SecurityPage = nullptr;
    TGroupBox* SecGB = nullptr;
    TEdit* OwnPassE = nullptr;
    TEdit* UserPassE = nullptr;
    TGroupBox* PermGB = nullptr;
    TCheckBox* PrintCB = nullptr;
    TCheckBox* ModCB = nullptr;
    TCheckBox* CopyCB = nullptr;
    TCheckBox* AnnotCB = nullptr;

    TTabSheet* ViewerPage = nullptr;
    TGroupBox* ViewerGB = nullptr;
    TCheckBox* HideToolbarCB = nullptr;
    TCheckBox* HideMenubarCB = nullptr;
    TCheckBox* HideWindowUICB = nullptr;
    TCheckBox* FitWindowCB = nullptr;
    TCheckBox* CenterWindowCB = nullptr;
    TCheckBox* PrintScalingCB = nullptr;
};

// One font (name and style) of a document: the glyphs its text used, in order of first use.
class TpgwPDFFont {
public:
    // face: the face the text is shaped in (the font's own, or the CJK fallback).
    TpgwPDFFont(const TFont& font, std::shared_ptr<const TPdfFontFace> face);
    ~TpgwPDFFont();

    const TFont& Font() const { return font_; }
    const TPdfFontFace& Face() const { return *face_; }
    std::string ResourceName;
    int Type0Object = 0;
    bool Numbered = false;

    // Records the glyphs not seen before: their advance and the characters they stand for.
    // The hex string of the glyphs, four digits each.
    std::string GlyphHex(const std::vector<std::uint16_t>& glyphs,
                         const std::vector<std::u16string>& texts);
    // The family name as a PDF name, with ",Bold", ",Italic" or ",BoldItalic".
    std::string BaseFontName() const;

    const std::vector<std::uint16_t>& Glyphs() const { return glyphs_; }
    const std::vector<int>& Advances() const { return advances_; }
    const std::vector<std::u16string>& Chars() const { return chars_; }

private:
    TFont font_;
    std::shared_ptr<const TPdfFontFace> face_;
    std::vector<std::uint16_t> glyphs_;
    std::vector<int> advances_;
    std::vector<std::u16string> chars_;
    std::unordered_map<std::uint16_t, std::size_t> index_;
};

class TpgwPDFExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwPDFExport, TpgwFileExportFilter)
public:
    explicit TpgwPDFExport(TComponent* owner);
    explicit TpgwPDFExport(UnlistedTag tag);
    ~TpgwPDFExport() override;
    static void RegisterProperties(TClassBuilder<TpgwPDFExport>& b);

    std::string FilterCaption() const override;
    int AskOptions() override;
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    void LeavePage(TpgwComponent* page, int index) override;

    bool Compressed() const { return compressed_; }
    void SetCompressed(bool v) { compressed_ = v; }
    // Off: each font a subset of the glyphs used; on: the whole face.
    bool EmbeddedFonts() const { return embeddedFonts_; }
    void SetEmbeddedFonts(bool v) { embeddedFonts_ = v; }
    bool PrintOptimized() const { return printOptimized_; }
    void SetPrintOptimized(bool v) { printOptimized_ = v; }
    bool Outline() const { return outline_; }
    void SetOutline(bool v) { outline_ = v; }
    bool Background() const { return background_; }
    void SetBackground(bool v) { background_ = v; }
    bool HTMLTags() const { return htmlTags_; }
    void SetHTMLTags(bool v) { htmlTags_ = v; }
    const std::u16string& Title() const { return title_; }
    void SetTitle(const std::u16string& v) { title_ = v; }
    const std::u16string& Author() const { return author_; }
    void SetAuthor(const std::u16string& v) { author_ = v; }
    const std::u16string& Subject() const { return subject_; }
    void SetSubject(const std::u16string& v) { subject_ = v; }
    const std::u16string& Keywords() const { return keywords_; }
    void SetKeywords(const std::u16string& v) { keywords_ = v; }
    const std::u16string& Creator() const { return creator_; }
    void SetCreator(const std::u16string& v) { creator_ = v; }
    const std::u16string& Producer() const { return producer_; }
    void SetProducer(const std::u16string& v) { producer_ = v; }
    const std::string& UserPassword() const { return userPassword_; }
    void SetUserPassword(const std::string& v) { userPassword_ = v; }
    const std::string& OwnerPassword() const { return ownerPassword_; }
    void SetOwnerPassword(const std::string& v) { ownerPassword_ = v; }
    TpgwPDFEncBits ProtectionFlags() const { return protectionFlags_; }
    void SetProtectionFlags(TpgwPDFEncBits v) { protectionFlags_ = v; }
    bool HideToolbar() const { return hideToolbar_; }
    void SetHideToolbar(bool v) { hideToolbar_ = v; }
    bool HideMenubar() const { return hideMenubar_; }
    void SetHideMenubar(bool v) { hideMenubar_ = v; }
    bool HideWindowUI() const { return hideWindowUI_; }
    void SetHideWindowUI(bool v) { hideWindowUI_ = v; }
    bool FitWindow() const { return fitWindow_; }
    void SetFitWindow(bool v) { fitWindow_ = v; }
    bool CenterWindow() const { return centerWindow_; }
    void SetCenterWindow(bool v) { centerWindow_ = v; }
    bool PrintScaling() const { return printScaling_; }
    void SetPrintScaling(bool v) { printScaling_ = v; }

    // Colour operands "r g b"; black and white always "0 0 0" and "1 1 1".
    std::string ColorToPdf(TColor color);
    // "FEFF" and four upper-case digits per UTF-16 unit.
    static std::string UnicodeHex(std::u16string_view text);
    // Two decimals, a point, no grouping.
    static std::string Num(double value);

    // Where the file identifier's GUID and the dates come from; replaceable for tests. The
    // previous one is returned.
    using GuidSource = std::function<std::string()>;
    static GuidSource SetGuidSource(GuidSource source);

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;
    void EndOutput() override;

private:
    void init();
    void clearWork();

    // ---- file
    void write(std::string_view bytes);
    int newObject();
    void beginObject(int n);
    void writeStream(int n, const std::string& data, bool fontLengths);
    std::string infoString(const std::u16string& text, int object) const;
    std::string pdfString(std::string_view bytes, int object) const;

    // ---- page content
    double pdfX(double x) const { return x * 0.75 + marginX_; }
    double pdfY(double y) const { return (pageHeight_ - marginY_) - y * 0.75; }
    void op(const std::string& line);
    void exportView(TpgwView& view);
    void writeLine(TpgwView& view);
    void writeArrow(TColor color, double tx, double ty, double ex, double ey, double length,
                    double width, bool solid);
    void writeRectangle(TpgwView& view);
    void writeDiagonal(TpgwView& view, bool first);
    void writeImage(TpgwView& view);
    void writeFrame(TpgwView& view, double x1, double y1, double x2, double y2);
    void writeMemo(TpgwCustomMemoView& memo);
    bool hasTags(TpgwCustomMemoView& memo) const;
    const std::vector<TShapedRun>& shape(const TPdfFontFace& face, TFontStyles style,
                                         const std::u16string& line, bool rtl);

    // ---- fonts
    TpgwPDFFont& findDocumentFont(const TFont& font, bool fallback);
    int findPageFont(const TFont& font, bool fallback);
    void writeFont(TpgwPDFFont& font);

    bool compressed_ = true;
    bool embeddedFonts_ = false;
    bool printOptimized_ = false;
    bool outline_ = false;
    bool background_ = false;
    bool htmlTags_ = true;
    std::u16string title_, author_, subject_, keywords_, creator_, producer_;
    std::string userPassword_, ownerPassword_;
    TpgwPDFEncBits protectionFlags_ = 0x0F;
    bool hideToolbar_ = false, hideMenubar_ = false, hideWindowUI_ = false, fitWindow_ = false,
         centerWindow_ = false, printScaling_ = false;

    // Working state of one export.
    std::int64_t position_ = 0;
    std::vector<std::int64_t> offsets_;
    std::vector<int> pageObjects_;
    std::vector<std::unique_ptr<TpgwPDFFont>> documentFonts_;
    std::vector<TpgwPDFFont*> pageFonts_;
    std::string content_;
    std::string buffer_;
    std::unordered_map<std::u16string, std::vector<TShapedRun>> shapes_;
    double pageWidth_ = 0, pageHeight_ = 0, marginX_ = 0, marginY_ = 0;
    TColor cachedColor_ = 0;
    std::string cachedColorText_ = "0 0 0";
    bool protected_ = false;
    std::string fileId_;
    TpgwPDFEncryption encryption_;
};

// Enters the PDF export as the format "pdf" and its class by name.
void RegisterPDFExport();
