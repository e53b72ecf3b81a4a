#pragma once
// The HTML export: the pages through the layout matrix as HTML tables, one per page, with a CSS
// class per cell style, pictures as JPEG, GIF or BMP files beside the document, anchors and
// links between pages; optionally one document per page and a frame set with a page navigator.
//
// Files of one run (main file r.html): pictures and extra documents go into the folder r.files
// (or beside r.html as r.img0.jpg with PicsInSameFolder); with Multipage the pages are
// r.files/1.html, 2.html ... and r.html is not written unless the Navigator frame set is; with
// Navigator r.files/nav.html is the navigator and r.html the frame set. Every file is written
// under a temporary name and appears only when complete; OutputFiles lists those written.

#include <memory>
#include <string>
#include <string_view>

#include "export/export_filter.h"
#include "platform/core/string_list.h"
#include "report/text_drawing.h"

class TBitmap;
class TComboBox;
class TpgwIEMatrix;
class TpgwProgress;

class TpgwHTMLExportDialog : public TpgwExportDialog {
    LUMETRA_CLASS(TpgwHTMLExportDialog, TpgwExportDialog)
public:
    explicit TpgwHTMLExportDialog(TComponent* owner);

    TCheckBox* StylesCB = nullptr;
    TCheckBox* PicsSameCB = nullptr;
    TCheckBox* FixWidthCB = nullptr;
    TCheckBox* NavigatorCB = nullptr;
    TCheckBox* MultipageCB = nullptr;
    TCheckBox* BackgrCB = nullptr;
    TLabel* PicturesL = nullptr;
    // None, JPEG, BMP, GIF.
    TComboBox* PFormatCB = nullptr;
    // The common open-after-export box.
    TCheckBox* OpenAfterCB = nullptr;
};

// The CSS words of an alignment.
std::string AlignWord(TpgwHAlign align);
std::string AlignWord(TpgwVAlign align);

class TpgwHTMLExport : public TpgwFileExportFilter {
    LUMETRA_CLASS(TpgwHTMLExport, TpgwFileExportFilter)
public:
    explicit TpgwHTMLExport(TComponent* owner);
    explicit TpgwHTMLExport(UnlistedTag tag);
    ~TpgwHTMLExport() override;
    static void RegisterProperties(TClassBuilder<TpgwHTMLExport>& b);

    std::string FilterCaption() const override;
    // False without a file name or stream. Nothing is created here: each document is made
    // when it is written.
    bool OpenOutput() override;
    void EnterPage(TpgwComponent* page, int index) override;
    void WriteItem(TpgwComponent* object) override;
    // With Multipage the page's document is written here.
    void LeavePage(TpgwComponent* page, int index) override;
    // The single document, the navigator and the frame set; after a failed run nothing more is
    // written.
    void CloseOutput() override;

    bool ExportStyles() const { return exportStyles_; }
    void SetExportStyles(bool v) { exportStyles_ = v; }
    bool ExportPictures() const { return exportPictures_; }
    void SetExportPictures(bool v) { exportPictures_ = v; }
    // Setting one of the two picture formats clears the other; with neither, pictures are BMP.
    bool UseJpeg() const { return useJpeg_; }
    void SetUseJpeg(bool v);
    bool UseGif() const { return useGif_; }
    void SetUseGif(bool v);
    bool PicsInSameFolder() const { return picsInSameFolder_; }
    void SetPicsInSameFolder(bool v) { picsInSameFolder_ = v; }
    bool FixedWidth() const { return fixedWidth_; }
    void SetFixedWidth(bool v) { fixedWidth_ = v; }
    bool Centered() const { return centered_; }
    void SetCentered(bool v) { centered_ = v; }
    bool Multipage() const { return multipage_; }
    void SetMultipage(bool v) { multipage_ = v; }
    bool Navigator() const { return navigator_; }
    void SetNavigator(bool v) { navigator_ = v; }
    bool Background() const { return background_; }
    void SetBackground(bool v) { background_ = v; }
    bool EmptyLines() const { return emptyLines_; }
    void SetEmptyLines(bool v) { emptyLines_ = v; }
    bool AbsLinks() const { return absLinks_; }
    void SetAbsLinks(bool v) { absLinks_ = v; }
    // Kept for stored components; it changes nothing.
    bool MozillaFrames() const { return mozillaFrames_; }
    void SetMozillaFrames(bool v) { mozillaFrames_ = v; }
    // Written at the top of every document, after the opening body tag, and at the end.
    TStringList& HTMLDocumentBegin() { return documentBegin_; }
    TStringList& HTMLDocumentBody() { return documentBody_; }
    TStringList& HTMLDocumentEnd() { return documentEnd_; }

    // Text for a cell: "&" as "&amp;", CR LF as "<br>", '"' as "&quot;", "<" and ">" as "&lt;"
    // and "&gt;"; a lone LF is dropped. Text that carries HTML tags keeps its "<" and ">" and
    // the quotes inside its tags.
    static std::string EscapeText(std::string_view text, bool htmlTags = false);
    static std::u16string StripLastLineEnd(std::u16string_view text);
    // Letters and digits stay, every other byte becomes "%XX".
    static std::string URLEncode(std::string_view text);
    static std::string ToURLPath(std::string_view path);
    // Where extra files go (the folder is made when missing), how documents refer to them, and
    // how the frame set refers to its documents.
    std::string FilePrefix();
    std::string LinkPrefix() const;
    std::string FramePrefix() const;

protected:
    std::unique_ptr<TpgwExportDialog> CreateDialog() override;
    void ShowOptions(TpgwExportDialog& dialog) override;
    void ReadOptions(TpgwExportDialog& dialog) override;

private:
    void init();
    void forceSlaveOptions();
    // One document from the prepared matrix into out.
    void WritePage(TStream& out, TpgwProgress* progress);
    void WriteLine(std::string_view text);
    void writeStyles();
    std::string cell(int index);
    // Writes the picture file and returns its link.
    std::string writePicture(TBitmap& bitmap, const std::string& name);
    std::string pictureFileName(const std::string& name);
    std::string title() const;
    void writeNavigator(TStream& out);
    void writeFrameSet(TStream& out);
    // A complete document under fileName, listed in OutputFiles.
    template <class Write> void writeFile(const std::string& fileName, Write write);
    // Runs a step; its failure goes where the report's silent mode sends errors.
    template <class Step> void guarded(Step step);

    bool exportStyles_ = true;
    bool exportPictures_ = true;
    bool useJpeg_ = true;
    bool useGif_ = false;
    bool picsInSameFolder_ = false;
    bool fixedWidth_ = true;
    bool centered_ = false;
    bool multipage_ = false;
    bool navigator_ = false;
    bool background_ = false;
    bool emptyLines_ = true;
    bool absLinks_ = false;
    bool mozillaFrames_ = false;
    TStringList documentBegin_;
    TStringList documentBody_;
    TStringList documentEnd_;

    // Working state of one run.
    TStream* out_ = nullptr;
    int pageCounter_ = 0;
    int pictureCounter_ = 0;
    std::unique_ptr<TpgwIEMatrix> matrix_;
    std::unique_ptr<TBitmap> backgroundBitmap_;
    bool pageHasBackground_ = false;
    bool failed_ = false;
};

// Enters the HTML export as the format "html" and its class by name.
void RegisterHTMLExport();
