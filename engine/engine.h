#pragma once
// The band layout engine: runs the report pages of a template over their data sets and writes
// the bands it prints into the prepared-page store, page by page and column by column, with
// the headers that repeat, the keep-together blocks, the split bands, the group changes,
// subreports and vertical bands. engine_run.cpp has the run, pages and columns,
// engine_bands.cpp the record loops and the output of one band, engine_sideways.cpp the
// subreports and vertical bands.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/aggregates.h"
#include "report/abstract_bases.h"

class TpgwBand;
class TpgwDataBand;
class TpgwDataSet;
class TpgwGroupHeader;
class TpgwNullBand;
class TpgwOutline;
class TpgwPreviewPages;
class TpgwReportPage;

// Installs TpgwEngine as the report's engine class.
void InstallEngine();

// Filled by the dialog page's module: whether a report child is a visible dialog page with at
// least one control, and showing it modally (its modal result; 2 cancels the run).
struct TpgwDialogPageHooks {
    std::function<bool(TpgwComponent* child)> IsShowable;
    std::function<int(TpgwComponent* page)> ShowModal;
};
TpgwDialogPageHooks& DialogPageHooks();

struct TpgwHeaderListItem {
    TpgwBand* Band = nullptr;
    double X = 0;
    bool InKeep = false;
};

class TpgwHeaderList {
public:
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TpgwHeaderListItem& Items(int index) { return items_.at(static_cast<std::size_t>(index)); }
    void Add(TpgwBand* band, bool inKeep, double x) { items_.push_back({band, x, inKeep}); }
    // The first item holding the band; nothing when none does.
    void Remove(TpgwBand* band);

private:
    std::vector<TpgwHeaderListItem> items_;
};

class TpgwEngine : public TpgwCustomEngine {
    LUMETRA_CLASS(TpgwEngine, TpgwCustomEngine)
public:
    explicit TpgwEngine(TpgwReport* report);
    ~TpgwEngine() override;

    void EndPage() override;
    void NewColumn() override;
    void NewPage() override;
    void ShowBand(TpgwComponent* band) override;
    void ShowBandOfClass(const TClassInfo& bandClass) override;
    double HeaderHeight() override;
    double FooterHeight() override;
    double FreeSpace() override;
    Variant GetAggregateValue(const std::string& name, const std::string& expression,
                              TpgwComponent* band, int flags) override;
    bool Run() override;
    void AddAnchor(const std::string& text) override;
    int GetAnchorPage(const std::string& text) override;

    TpgwAggregateList& Aggregates() { return *aggregates_; }
    TpgwHeaderList& HeaderList() { return headerList_; }

    // Called instead of showing a dialog page; sets the modal result (2: cancel).
    std::function<void(TpgwComponent* page, int& modalResult)> OnShowDialogPage;

    // ---- band output, also used by the subreports and vertical bands
    bool HasDetailData(TpgwComponent* bandOrPage, bool force);
    void RunDataBands(TpgwComponent* pageOrBand);
    void OutputBand(TpgwBand* band);
    void PrepareBand(TpgwBand* band);
    void FinishBand(TpgwBand* band);
    void StartKeep(TpgwBand* band, int position);
    void EndKeep(TpgwBand* band);

private:
    using Chain = std::vector<TpgwBand*>;

    // ---- run, pages and columns (engine_run.cpp)
    bool prepareRun();
    void checkDataSetConflicts();
    void runDialogs(bool& proceed);
    void runReportPages();
    void runPage(TpgwReportPage* page);
    void runRepetition();
    void showPageObjects();
    void fixEndlessPageSize(bool afterSummary);
    void startPage();
    void beginOutputPage();
    void reprintHeader(TpgwHeaderListItem item);
    void showFixedBand(TpgwBand* band);
    void showColumnFooter();
    void nextColumn();
    void addPageOutline();
    void moveKeptBlock(double x);
    // A page or column break made for the band (BreakingBand while it runs).
    void breakFor(TpgwBand* band, const std::function<void()>& step);
    void cutKeptBlock();
    double mm(double value) const { return value * 3.77953; }

    // ---- band output (engine_bands.cpp)
    void runDataBand(TpgwDataBand* band);
    void showGroupHeaders(TpgwDataBand* band, const Chain& chain, bool initialise, int from);
    void checkGroups(TpgwDataBand* band, const Chain& chain, double rowTop, int rowKeepPosition);
    void showGroupFooters(const Chain& chain, int from, TpgwDataBand* band);
    void updateDrillDown(TpgwDataBand* band, const Chain& chain);
    void enterHeaderList(TpgwBand* header);
    void leaveHeaderList(TpgwBand* header);
    void nextColumnRow(TpgwDataBand* band, int rowKeepPosition, double rowTop);
    void addBandOutline(TpgwBand* band);
    void outlineUp();
    void refreshRepeatedValues(TpgwBand* band);
    void splitBand(TpgwBand* band);
    void placeBand(TpgwBand* band);
    void clearRememberedValues(TpgwBand* band);
    void fireObjectEvents(TpgwBand* band);
    static Chain groupChain(TpgwDataBand* band);

    // ---- subreports and vertical bands (engine_sideways.cpp)
    void printSubreportsOnParent(TpgwBand* band);
    void runSubreports(TpgwBand* band);
    void runSubreportPage(TpgwReportPage* page);
    void prepareVerticalBands(TpgwBand* band);
    void showVerticalBand(TpgwBand* band);
    void writeVerticalPieces(TpgwBand* band);
    void collectBand(TpgwBand* band);

    TpgwPreviewPages* store() const;
    TpgwOutline* outline() const;
    bool terminated() const;
    void processMessages();

    std::unique_ptr<TpgwAggregateHost> aggregateHost_;
    std::unique_ptr<TpgwAggregateList> aggregates_;
    TpgwHeaderList headerList_;
    std::vector<TpgwBand*> verticalHeaderList_;
    std::vector<int> verticalPageList_;
    std::vector<std::pair<std::string, int>> bandNameTree_;

    TpgwReportPage* page_ = nullptr;
    double pageOriginX_ = 0;
    double columnsTopY_ = 0;
    TpgwBand* activeBand_ = nullptr;
    TpgwBand* breakingBand_ = nullptr;
    TpgwBand* newPageBand_ = nullptr;
    std::unique_ptr<TpgwNullBand> outputCollector_;
    TpgwBand* verticalOwnerBand_ = nullptr;

    bool nothingOutputYet_ = true;
    bool onFirstPage_ = false;
    bool onLastPage_ = false;
    bool firstPageOfRecord_ = false;
    bool reprintingHeaders_ = false;
    bool summaryAtEndPage_ = false;
    bool callFromPageHeader_ = false;
    bool suppressHeaders_ = false;
    bool keepHeader_ = false;
    bool keepFooter_ = false;

    bool keepActive_ = false;
    TpgwBand* keepStartBand_ = nullptr;
    double keepStartY_ = 0;
    int keepStartObject_ = 0;
    void* keepStartOutline_ = nullptr;
    int keepStartAnchor_ = 0;

    double reservedFooterHeight_ = 0;

    // Subreport pages being run, innermost last: a page met again would run forever.
    std::vector<TpgwReportPage*> subreportPages_;
    // The record loop runs the vertical bands of a master band: no keeps, band columns or
    // outline entries.
    bool verticalRun_ = false;
    bool reprintingVerticalHeaders_ = false;
    // Where the last band (or the last piece of a split one) was placed.
    double lastPlacedTop_ = 0;
};
