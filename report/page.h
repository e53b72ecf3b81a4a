#pragma once
// Pages of a report: the printable report page (paper, orientation, margins, page columns,
// background picture, colour and frame, and what the engine reads at each run of the page)
// and the data page that holds the non-visual data components.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/string_list.h"
#include "platform/print/papers.h"
#include "report/component.h"
#include "report/utils.h"

class TCanvas;
class TPicture;
class TpgwBand;
class TpgwDataSet;
class TpgwFrame;
class TpgwPictureView;
class TpgwSubreport;

enum TpgwDuplexMode : std::uint8_t { dmNone, dmVertical, dmHorizontal, dmSimplex };
const TTypeInfo& TpgwDuplexModeType();

// Base of the pages.
class TpgwPage : public TpgwComponent {
    LUMETRA_CLASS(TpgwPage, TpgwComponent)
public:
    explicit TpgwPage(TComponent* owner);
    ~TpgwPage() override;
    static void RegisterProperties(TClassBuilder<TpgwPage>& b);
};

class TpgwReportPage : public TpgwPage {
    LUMETRA_CLASS(TpgwReportPage, TpgwPage)
public:
    // A4 portrait without margins.
    explicit TpgwReportPage(TComponent* owner);
    ~TpgwReportPage() override;
    static void RegisterProperties(TClassBuilder<TpgwReportPage>& b);

    // ---- paper, in mm; Width and Height of the page hold the paper in report units
    int PaperSize() const { return paperSize_; }
    // A code of the paper table takes its size (turned for landscape); other codes are only
    // stored.
    virtual void SetPaperSize(int value);
    double PaperWidth() const { return paperWidth_; }
    // Kept to 8 decimals; the paper becomes a custom size (256).
    virtual void SetPaperWidth(double value);
    double PaperHeight() const { return paperHeight_; }
    virtual void SetPaperHeight(double value);
    // Code and both sizes at once, without looking the code up.
    void SetPaperDimensions(int paperSize, double width, double height);
    TPrinterOrientation Orientation() const { return orientation_; }
    // Turning the page swaps the paper sides and turns the margins a quarter turn.
    void SetOrientation(TPrinterOrientation value);
    // Margins of 10 mm and the paper of the current printer.
    virtual void ApplyDefaults();
    // Whether bands and objects snap to the character cells of a dot-matrix printer.
    virtual bool IsDotMatrix() const { return false; }

    double LeftMargin() const { return leftMargin_; }
    void SetLeftMargin(double value) { leftMargin_ = value; }
    double RightMargin() const { return rightMargin_; }
    void SetRightMargin(double value) { rightMargin_ = value; }
    double TopMargin() const { return topMargin_; }
    void SetTopMargin(double value) { topMargin_ = value; }
    double BottomMargin() const { return bottomMargin_; }
    void SetBottomMargin(double value) { bottomMargin_ = value; }
    bool MirrorMargins() const { return mirrorMargins_; }
    void SetMirrorMargins(bool value) { mirrorMargins_ = value; }

    // ---- page columns
    int Columns() const { return columns_; }
    // A positive count divides the printable width evenly and lists the columns' left edges;
    // more than 1000 raises EPropertyError and changes nothing.
    void SetColumns(int value);
    double ColumnWidth() const { return columnWidth_; }
    void SetColumnWidth(double value) { columnWidth_ = value; }
    // Left edge of each column in mm, one number per line.
    TStrings* ColumnPositions() const { return columnPositions_.get(); }
    void SetColumnPositions(TStrings* value);

    // ---- printing
    int Bin() const { return bin_; }
    void SetBin(int value) { bin_ = value; }
    int BinOtherPages() const { return binOtherPages_; }
    void SetBinOtherPages(int value) { binOtherPages_ = value; }
    TpgwDuplexMode Duplex() const { return duplex_; }
    void SetDuplex(TpgwDuplexMode value) { duplex_ = value; }

    // ---- background of the printable area, kept by the back picture object
    TPicture* BackPicture() const;
    void SetBackPicture(const TPicture* value);
    bool BackPictureVisible() const { return backPictureVisible_; }
    void SetBackPictureVisible(bool value) { backPictureVisible_ = value; }
    bool BackPicturePrintable() const { return backPicturePrintable_; }
    void SetBackPicturePrintable(bool value) { backPicturePrintable_ = value; }
    TColor Color() const;
    void SetColor(TColor value);
    TpgwFrame* Frame() const;
    void SetFrame(TpgwFrame* value);
    TpgwPictureView* BackPictureView() const { return backPicture_.get(); }
    // Draws the back picture object over the printable area (not when printing, unless it is
    // printable).
    void DrawBackPicture(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                         double offsetY);

    // ---- runs of the page
    int PageCount() const { return pageCount_; }
    // Values below 1 are ignored.
    void SetPageCount(int value);
    TpgwDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TpgwDataSet* value);
    std::string DataSetName() const;
    void SetDataSetName(const std::string& value);
    bool EndlessHeight() const { return endlessHeight_; }
    void SetEndlessHeight(bool value) { endlessHeight_ = value; }
    bool EndlessWidth() const { return endlessWidth_; }
    void SetEndlessWidth(bool value) { endlessWidth_ = value; }
    bool LargeDesignHeight() const { return largeDesignHeight_; }
    void SetLargeDesignHeight(bool value) { largeDesignHeight_ = value; }
    const std::string& OutlineText() const { return outlineText_; }
    void SetOutlineText(const std::string& value) { outlineText_ = value; }
    bool PrintIfEmpty() const { return printIfEmpty_; }
    void SetPrintIfEmpty(bool value) { printIfEmpty_ = value; }
    bool PrintOnPreviousPage() const { return printOnPreviousPage_; }
    void SetPrintOnPreviousPage(bool value) { printOnPreviousPage_ = value; }
    bool ResetPageNumbers() const { return resetPageNumbers_; }
    void SetResetPageNumbers(bool value) { resetPageNumbers_ = value; }
    bool TitleBeforeHeader() const { return titleBeforeHeader_; }
    void SetTitleBeforeHeader(bool value) { titleBeforeHeader_ = value; }
    std::string OnBeforePrint, OnAfterPrint, OnManualBuild;

    // ---- designer guide lines
    TStrings* HGuides() const { return hGuides_.get(); }
    void SetHGuides(TStrings* value);
    TStrings* VGuides() const { return vGuides_.get(); }
    void SetVGuides(TStrings* value);
    void ClearGuides();

    // ---- the tree
    // The subreport that prints this page, or none for a top-level page.
    TpgwSubreport* Subreport() const { return subreport_; }
    void SetSubreport(TpgwSubreport* value);
    bool BelongsToSubreport() const { return subreport_ != nullptr; }
    // The first child of that band class or a descendant of it, or none.
    TpgwBand* FirstBandOfClass(const TClassInfo& bandClass) const;
    // Aligns the children inside the printable area and fits the bands to its width (to the
    // column width on a page of several columns) or, vertical ones, to its height.
    void AlignChildren() override;
    // Top-level data bands the engine runs: horizontal and vertical ones.
    std::vector<TpgwBand*> DependentBands;
    std::vector<TpgwBand*> VerticalSubBands;

    void DefineProperties(TFiler& filer) override;
    std::string ClassDescription() const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // Width and Height := the rounded paper size in report units.
    void UpdateDimensions();

    double paperWidth_ = 0;
    double paperHeight_ = 0;
    int paperSize_ = 0;

private:
    double printableWidthMm() const;
    double printableHeightMm() const;

    std::unique_ptr<TpgwPictureView> backPicture_;
    std::unique_ptr<TStringList> columnPositions_;
    std::unique_ptr<TStringList> hGuides_;
    std::unique_ptr<TStringList> vGuides_;
    TpgwDataSet* dataSet_ = nullptr;
    TpgwSubreport* subreport_ = nullptr;
    std::string dataSetName_;
    std::string outlineText_;
    double leftMargin_ = 0;
    double rightMargin_ = 0;
    double topMargin_ = 0;
    double bottomMargin_ = 0;
    double columnWidth_ = 0;
    int columns_ = 0;
    int bin_ = 7;
    int binOtherPages_ = 7;
    int pageCount_ = 1;
    TPrinterOrientation orientation_ = poPortrait;
    TpgwDuplexMode duplex_ = dmNone;
    bool mirrorMargins_ = false;
    bool backPictureVisible_ = true;
    bool backPicturePrintable_ = true;
    bool endlessHeight_ = false;
    bool endlessWidth_ = false;
    bool largeDesignHeight_ = false;
    bool printIfEmpty_ = true;
    bool printOnPreviousPage_ = false;
    bool resetPageNumbers_ = false;
    bool titleBeforeHeader_ = true;
};

// A page that holds data sets and database components.
class TpgwDataPage : public TpgwPage {
    LUMETRA_CLASS(TpgwDataPage, TpgwPage)
public:
    // 1000 x 1000 units.
    explicit TpgwDataPage(TComponent* owner);
    ~TpgwDataPage() override;
    static void RegisterProperties(TClassBuilder<TpgwDataPage>& b);
    std::string ClassDescription() const override;
};

// Registers the band, subreport and page classes by name for template loading.
void RegisterBandAndPageClasses();
