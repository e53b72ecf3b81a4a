#pragma once
// Bands: horizontal (or vertical) strips of a report page that the engine prints zero or more
// times, each kind with the published switches the engine reads; and the subreport, a view in
// a band that stands for another report page printed in its place.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/variant.h"
#include "report/component.h"
#include "report/view.h"

class TpgwChild;
class TpgwDataSet;
class TpgwReportPage;
class TpgwUserDataSet;

// Unit constants: report units per millimetre and centimetre, per tenth of an inch and per
// inch, and the character cell of dot-matrix pages.
inline constexpr double pg01cm = 3.77953;
inline constexpr double pg1cm = 37.7953;
inline constexpr double pg01in = 9.6;
inline constexpr int pg1in = 96;
inline constexpr double pg1CharX = 9.6;
inline constexpr int pg1CharY = 17;

class TpgwBand : public TpgwReportComponent {
    LUMETRA_CLASS(TpgwBand, TpgwReportComponent)
public:
    explicit TpgwBand(TComponent* owner);
    ~TpgwBand() override;
    static void RegisterProperties(TClassBuilder<TpgwBand>& b);

    // Fixed numbers of the band kinds (0 report title ... 17 overlay); bands of no listed kind
    // give 0.
    int BandKindIndex() const;
    // The class name without its first "Tpgw" and then its first "Band" (Data4 for
    // TpgwDataBand4).
    std::string ShortClassName() const;

    // ---- published by every band
    bool Vertical() const { return vertical_; }
    void SetVertical(bool value) { vertical_ = value; }
    std::string OnAfterCalcHeight;

    // ---- carried by every band, published by some kinds
    bool AllowSplit() const { return allowSplit_; }
    void SetAllowSplit(bool value) { allowSplit_ = value; }
    TpgwChild* Child() const { return child_; }
    // A chain of children leading back to this band raises "Circular child reference is not
    // allowed" and keeps the old child.
    void SetChild(TpgwChild* value);
    bool KeepChild() const { return keepChild_; }
    void SetKeepChild(bool value) { keepChild_ = value; }
    const std::string& OutlineText() const { return outlineText_; }
    void SetOutlineText(const std::string& value) { outlineText_ = value; }
    bool PrintChildIfInvisible() const { return printChildIfInvisible_; }
    void SetPrintChildIfInvisible(bool value) { printChildIfInvisible_ = value; }
    bool StartNewPage() const { return startNewPage_; }
    void SetStartNewPage(bool value) { startNewPage_ = value; }
    bool Stretched() const { return stretched_; }
    void SetStretched(bool value) { stretched_ = value; }

    // On a dot-matrix page positions and heights snap to whole character cells.
    void SetLeft(double value) override;
    void SetTop(double value) override;
    void SetHeight(double value) override;

    // A band has no appearance of its own.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    std::string ClassDescription() const override;

    // ---- what the engine keeps on the band during a run
    std::vector<TpgwBand*> DependentBands;
    TpgwBand* HeaderBand = nullptr;
    TpgwBand* FooterBand = nullptr;
    TpgwBand* GroupBand = nullptr;
    int RunRecordNo = 0;
    int RepeatRecordNo = 0;
    double HeightAfterStretch = 0;
    // -1, or the number of the band's own objects while it carries temporary ones.
    int OwnObjectsCount = -1;
    bool HasVerticalBands = false;
    // Set while the band is output again at the top of a new page or column.
    bool Overflow = false;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Whether the band stands on a dot-matrix page.
    bool OnCharacterGrid() const;

    std::string outlineText_;
    TpgwChild* child_ = nullptr;
    bool vertical_ = false;
    bool allowSplit_ = false;
    bool keepChild_ = false;
    bool printChildIfInvisible_ = false;
    bool startNewPage_ = false;
    bool stretched_ = false;
};

class TpgwReportTitle : public TpgwBand {
    LUMETRA_CLASS(TpgwReportTitle, TpgwBand)
public:
    explicit TpgwReportTitle(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwReportTitle>& b);
};

class TpgwReportSummary : public TpgwBand {
    LUMETRA_CLASS(TpgwReportSummary, TpgwBand)
public:
    explicit TpgwReportSummary(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwReportSummary>& b);
};

class TpgwPageHeader : public TpgwBand {
    LUMETRA_CLASS(TpgwPageHeader, TpgwBand)
public:
    explicit TpgwPageHeader(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwPageHeader>& b);

    bool PrintOnFirstPage() const { return printOnFirstPage_; }
    void SetPrintOnFirstPage(bool value) { printOnFirstPage_ = value; }

private:
    bool printOnFirstPage_ = true;
};

class TpgwPageFooter : public TpgwBand {
    LUMETRA_CLASS(TpgwPageFooter, TpgwBand)
public:
    explicit TpgwPageFooter(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwPageFooter>& b);

    bool PrintOnFirstPage() const { return printOnFirstPage_; }
    void SetPrintOnFirstPage(bool value) { printOnFirstPage_ = value; }
    bool PrintOnLastPage() const { return printOnLastPage_; }
    void SetPrintOnLastPage(bool value) { printOnLastPage_ = value; }

private:
    bool printOnFirstPage_ = true;
    bool printOnLastPage_ = true;
};

class TpgwHeader : public TpgwBand {
    LUMETRA_CLASS(TpgwHeader, TpgwBand)
public:
    explicit TpgwHeader(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwHeader>& b);

    bool ReprintOnNewPage() const { return reprintOnNewPage_; }
    void SetReprintOnNewPage(bool value) { reprintOnNewPage_ = value; }

private:
    bool reprintOnNewPage_ = false;
};

class TpgwFooter : public TpgwBand {
    LUMETRA_CLASS(TpgwFooter, TpgwBand)
public:
    explicit TpgwFooter(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwFooter>& b);
};

// Base of the data bands; the six data-band classes give its nesting level.
class TpgwDataBand : public TpgwBand {
    LUMETRA_CLASS(TpgwDataBand, TpgwBand)
public:
    explicit TpgwDataBand(TComponent* owner);
    ~TpgwDataBand() override;
    static void RegisterProperties(TClassBuilder<TpgwDataBand>& b);

    int Columns() const { return columns_; }
    void SetColumns(int value) { columns_ = value; }
    double ColumnWidth() const { return columnWidth_; }
    void SetColumnWidth(double value) { columnWidth_ = value; }
    double ColumnGap() const { return columnGap_; }
    void SetColumnGap(double value) { columnGap_ = value; }
    TpgwDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TpgwDataSet* value);
    // The data set's user name, or the name given while no data set of that name was found.
    std::string DataSetName() const;
    void SetDataSetName(const std::string& value);
    bool FooterAfterEach() const { return footerAfterEach_; }
    void SetFooterAfterEach(bool value) { footerAfterEach_ = value; }
    bool KeepFooter() const { return keepFooter_; }
    void SetKeepFooter(bool value) { keepFooter_ = value; }
    bool KeepHeader() const { return keepHeader_; }
    void SetKeepHeader(bool value) { keepHeader_ = value; }
    bool KeepTogether() const { return keepTogether_; }
    void SetKeepTogether(bool value) { keepTogether_ = value; }
    bool PrintIfDetailEmpty() const { return printIfDetailEmpty_; }
    void SetPrintIfDetailEmpty(bool value) { printIfDetailEmpty_ = value; }
    int RowCount() const { return rowCount_; }
    // Also the record count of the band's own virtual data set.
    void SetRowCount(int value);
    std::string OnMasterDetail;

    // The data set the band runs over when it has none of its own but a RowCount.
    TpgwUserDataSet* VirtualDataSet() const { return virtualDataSet_.get(); }

    // Makes band column n current (past Columns: column 1, which starts a new row) and moves
    // the band to its left edge.
    void MoveToColumn(int n);
    int CurColumn() const { return curColumn_; }
    // The lowest CurY the band columns of the current row reached; a new row starts at 0.
    double ColumnRowBottom = 0;
    // Running heights of the current row of band columns; a new row starts them at 0.
    std::array<double, 3> ColumnHeights{};

    std::string ClassDescription() const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::unique_ptr<TpgwUserDataSet> virtualDataSet_;
    TpgwDataSet* dataSet_ = nullptr;
    std::string dataSetName_;
    double columnWidth_ = 0;
    double columnGap_ = 0;
    int columns_ = 0;
    int rowCount_ = 0;
    int curColumn_ = 1;
    bool footerAfterEach_ = false;
    bool keepFooter_ = false;
    bool keepHeader_ = false;
    bool keepTogether_ = false;
    bool printIfDetailEmpty_ = false;
};

class TpgwMasterData : public TpgwDataBand {
    LUMETRA_CLASS(TpgwMasterData, TpgwDataBand)
public:
    explicit TpgwMasterData(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwDetailData : public TpgwDataBand {
    LUMETRA_CLASS(TpgwDetailData, TpgwDataBand)
public:
    explicit TpgwDetailData(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwSubdetailData : public TpgwDataBand {
    LUMETRA_CLASS(TpgwSubdetailData, TpgwDataBand)
public:
    explicit TpgwSubdetailData(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwDataBand4 : public TpgwDataBand {
    LUMETRA_CLASS(TpgwDataBand4, TpgwDataBand)
public:
    explicit TpgwDataBand4(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwDataBand5 : public TpgwDataBand {
    LUMETRA_CLASS(TpgwDataBand5, TpgwDataBand)
public:
    explicit TpgwDataBand5(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwDataBand6 : public TpgwDataBand {
    LUMETRA_CLASS(TpgwDataBand6, TpgwDataBand)
public:
    explicit TpgwDataBand6(TComponent* owner) : TpgwDataBand(owner) {}
};

class TpgwGroupHeader : public TpgwBand {
    LUMETRA_CLASS(TpgwGroupHeader, TpgwBand)
public:
    explicit TpgwGroupHeader(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwGroupHeader>& b);

    const std::string& Condition() const { return condition_; }
    void SetCondition(const std::string& value) { condition_ = value; }
    const std::string& DrillName() const { return drillName_; }
    void SetDrillName(const std::string& value) { drillName_ = value; }
    bool DrillDown() const { return drillDown_; }
    void SetDrillDown(bool value) { drillDown_ = value; }
    bool ExpandDrillDown() const { return expandDrillDown_; }
    void SetExpandDrillDown(bool value) { expandDrillDown_ = value; }
    bool ShowFooterIfDrillDown() const { return showFooterIfDrillDown_; }
    void SetShowFooterIfDrillDown(bool value) { showFooterIfDrillDown_ = value; }
    bool ShowChildIfDrillDown() const { return showChildIfDrillDown_; }
    void SetShowChildIfDrillDown(bool value) { showChildIfDrillDown_ = value; }
    bool KeepTogether() const { return keepTogether_; }
    void SetKeepTogether(bool value) { keepTogether_ = value; }
    bool ReprintOnNewPage() const { return reprintOnNewPage_; }
    void SetReprintOnNewPage(bool value) { reprintOnNewPage_ = value; }
    bool ResetPageNumbers() const { return resetPageNumbers_; }
    void SetResetPageNumbers(bool value) { resetPageNumbers_ = value; }

    // The value of Condition for the previous record.
    Variant LastValue;

    // The base attributes, then DrillName when the group drills down.
    std::string ChangedAttributes(TpgwComponent* reference) override;

private:
    std::string condition_;
    std::string drillName_;
    bool drillDown_ = false;
    bool expandDrillDown_ = false;
    bool showFooterIfDrillDown_ = false;
    bool showChildIfDrillDown_ = false;
    bool keepTogether_ = false;
    bool reprintOnNewPage_ = false;
    bool resetPageNumbers_ = false;
};

class TpgwGroupFooter : public TpgwBand {
    LUMETRA_CLASS(TpgwGroupFooter, TpgwBand)
public:
    explicit TpgwGroupFooter(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwGroupFooter>& b);

    bool HideIfSingleDataRecord() const { return hideIfSingleDataRecord_; }
    void SetHideIfSingleDataRecord(bool value) { hideIfSingleDataRecord_ = value; }

private:
    bool hideIfSingleDataRecord_ = false;
};

class TpgwColumnHeader : public TpgwBand {
    LUMETRA_CLASS(TpgwColumnHeader, TpgwBand)
public:
    explicit TpgwColumnHeader(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwColumnHeader>& b);
};

class TpgwColumnFooter : public TpgwBand {
    LUMETRA_CLASS(TpgwColumnFooter, TpgwBand)
public:
    explicit TpgwColumnFooter(TComponent* owner) : TpgwBand(owner) {}
};

class TpgwChild : public TpgwBand {
    LUMETRA_CLASS(TpgwChild, TpgwBand)
public:
    explicit TpgwChild(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwChild>& b);
};

class TpgwOverlay : public TpgwBand {
    LUMETRA_CLASS(TpgwOverlay, TpgwBand)
public:
    explicit TpgwOverlay(TComponent* owner) : TpgwBand(owner) {}
    static void RegisterProperties(TClassBuilder<TpgwOverlay>& b);

    bool PrintOnTop() const { return printOnTop_; }
    void SetPrintOnTop(bool value) { printOnTop_ = value; }

private:
    bool printOnTop_ = false;
};

// A band of no kind: the engine collects output in it.
class TpgwNullBand : public TpgwBand {
    LUMETRA_CLASS(TpgwNullBand, TpgwBand)
public:
    explicit TpgwNullBand(TComponent* owner) : TpgwBand(owner) {}
};

// A view standing for a whole report page printed at its place. The subreport and its page
// point at each other; either link is cleared when the other side is destroyed.
class TpgwSubreport : public TpgwView {
    LUMETRA_CLASS(TpgwSubreport, TpgwView)
public:
    explicit TpgwSubreport(TComponent* owner);
    ~TpgwSubreport() override;
    static void RegisterProperties(TClassBuilder<TpgwSubreport>& b);

    // The page this subreport prints (hides the component's nearest-page lookup).
    TpgwReportPage* Page() const { return page_; }
    // Also makes value's back link point here; a page left behind forgets this subreport.
    void SetPage(TpgwReportPage* value);
    bool PrintOnParent() const { return printOnParent_; }
    void SetPrintOnParent(bool value) { printOnParent_ = value; }

    // The view's background and frame, then the name in the subreport's font.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;
    std::string ClassDescription() const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TpgwReportPage* page_ = nullptr;
    bool printOnParent_ = false;
};
