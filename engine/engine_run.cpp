#include "engine/engine.h"

#include <cmath>

#include "engine/band_tree.h"
#include "engine/outline.h"
#include "engine/preview_pages.h"
#include "platform/core/date_time.h"
#include "platform/core/numbers.h"
#include "report/utils.h"
#include "platform/ui/application.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/options.h"
#include "report/page.h"
#include "report/report.h"
#include "report/report_data_sets.h"

void TpgwHeaderList::Remove(TpgwBand* band) {
    if (!band) return;
    for (auto it = items_.begin(); it != items_.end(); ++it)
        if (it->Band == band) {
            items_.erase(it);
            return;
        }
}

TpgwEngine::TpgwEngine(TpgwReport* report)
    : TpgwCustomEngine(report), aggregateHost_(MakeReportAggregateHost(*report)),
      aggregates_(std::make_unique<TpgwAggregateList>(*aggregateHost_)) {}

TpgwEngine::~TpgwEngine() = default;

TpgwPreviewPages* TpgwEngine::store() const {
    return static_cast<TpgwPreviewPages*>(PreviewPages());
}

TpgwOutline* TpgwEngine::outline() const {
    return store() ? store()->OutlineImpl() : nullptr;
}

bool TpgwEngine::terminated() const {
    return Report()->Terminated();
}

void TpgwEngine::processMessages() {
    Application()->ProcessMessages();
}

TpgwDialogPageHooks& DialogPageHooks() {
    static TpgwDialogPageHooks hooks;
    return hooks;
}

// ---- the run -----------------------------------------------------------------------------------

namespace {

std::vector<TpgwReportPage*> reportPages(TpgwReport& report) {
    std::vector<TpgwReportPage*> pages;
    for (TpgwComponent* child : report.Objects())
        if (auto* page = dynamic_cast<TpgwReportPage*>(child)) pages.push_back(page);
    return pages;
}

} // namespace

bool TpgwEngine::prepareRun() {
    TpgwReport& report = *Report();
    reservedFooterHeight_ = 0;
    store()->Initialize();
    store()->PageAddMode = pamAppend;
    SetStartDate(Date());
    SetStartTime(Now());
    SetRunning(true);
    keepActive_ = false;
    keepStartBand_ = nullptr;
    SetCurVColumn(0);
    outputCollector_.reset();
    subreportPages_.clear();
    verticalRun_ = false;
    reprintingVerticalHeaders_ = false;
    suppressHeaders_ = false;
    keepHeader_ = false;
    keepFooter_ = false;
    reprintingHeaders_ = false;
    summaryAtEndPage_ = false;
    callFromPageHeader_ = false;
    headerList_.Clear();
    verticalHeaderList_.clear();
    bandNameTree_.clear();
    aggregates_->Clear();
    for (TpgwReportPage* page : reportPages(report)) {
        page_ = page;
        BuildBandTree(*page, report.Errors(), false);
        BuildBandTree(*page, report.Errors(), true);
    }
    checkDataSetConflicts();
    return report.Errors().Count() == 0;
}

void TpgwEngine::checkDataSetConflicts() {
    TpgwReport& report = *Report();
    for (TpgwReportPage* page : reportPages(report)) {
        if (report.DataSet() && report.DataSet() == page->DataSet()) {
            report.Errors().Add("Cannot use the same dataset for Report.DataSet and Page.DataSet");
            return;
        }
        for (TpgwBand* band : page->DependentBands) {
            auto* data = dynamic_cast<TpgwDataBand*>(band);
            TpgwDataSet* ds = data ? data->DataSet() : nullptr;
            if (!ds) continue;
            if (ds == report.DataSet()) {
                report.Errors().Add(
                    "Cannot use the same dataset for Report.DataSet and Band.DataSet");
                break;
            }
            if (ds == page->DataSet()) {
                report.Errors().Add("Cannot use the same dataset for Page.DataSet and Band.DataSet");
                break;
            }
        }
    }
}

bool TpgwEngine::Run() {
    TpgwReport& report = *Report();
    bool result = false;
    bool progressStarted = false;
    auto leave = [&] {
        TpgwReportDataSets& sets = *report.DataSets();
        for (int i = 0; i < sets.Count(); ++i)
            if (TpgwDataSet* ds = sets.Items(i)->DataSet()) ds->EndReport();
        store()->Finish();
        SetRunning(false);
        if (progressStarted) report.StopProgress(ptRunning);
        outputCollector_.reset();
        page_ = nullptr;
        activeBand_ = nullptr;
    };
    try {
        if (prepareRun()) {
            report.StartProgress(ptRunning);
            progressStarted = true;
            try {
                TpgwReportDataSets& sets = *report.DataSets();
                for (int i = 0; i < sets.Count(); ++i)
                    if (TpgwDataSet* ds = sets.Items(i)->DataSet()) {
                        ds->SetRunningReport(&report);
                        ds->BeginReport();
                    }
                report.CallScriptEvent(report.OnStartReport, &report, false);
                bool proceed = true;
                runDialogs(proceed);
                if (proceed) {
                    const std::vector<TpgwReportPage*> pages = reportPages(report);
                    for (TpgwReportPage* page : pages) {
                        store()->AddSourcePage(page);
                        aggregates_->AddAggregates(*page);
                    }
                    SetFinalPass(!DoublePass());
                    SetTotalPages(0);
                    store()->BeginPass();
                    runReportPages();
                    if (DoublePass() && !terminated()) {
                        SetTotalPages(store()->GetCount());
                        store()->ClearFirstPassPages();
                        aggregates_->ResetForSecondPass();
                        SetFinalPass(true);
                        runReportPages();
                    }
                    result = true;
                }
            } catch (...) {
                report.CallScriptEvent(report.OnStopReport, &report, false);
                throw;
            }
            report.CallScriptEvent(report.OnStopReport, &report, false);
        }
    } catch (...) {
        leave();
        throw;
    }
    leave();
    return result;
}

void TpgwEngine::runDialogs(bool& proceed) {
    TpgwReport& report = *Report();
    if (!report.OnRunDialogs.empty()) {
        std::vector<Variant> params{Variant(true)};
        report.CallScriptEventWithParams(report.OnRunDialogs, params, false);
        proceed = params[0].IsNull() || params[0].IsEmpty() || params[0].AsBool();
        return;
    }
    TpgwDialogPageHooks& hooks = DialogPageHooks();
    if (!hooks.IsShowable) return;
    for (TpgwComponent* child : report.Objects()) {
        if (!hooks.IsShowable(child)) continue;
        int modalResult = 0;
        if (OnShowDialogPage)
            OnShowDialogPage(child, modalResult);
        else if (hooks.ShowModal)
            modalResult = hooks.ShowModal(child);
        if (modalResult == 2) {
            proceed = false;
            return;
        }
    }
}

void TpgwEngine::runReportPages() {
    TpgwReport& report = *Report();
    const std::vector<TpgwReportPage*> pages = reportPages(report);
    auto pageLoop = [&] {
        // Each record of the report's data set starts its own run of pages.
        firstPageOfRecord_ = true;
        for (TpgwReportPage* page : pages) {
            page_ = page;
            if (!page->BelongsToSubreport() && page->Visible()) runPage(page);
            if (terminated()) break;
            firstPageOfRecord_ = false;
        }
    };
    if (TpgwDataSet* ds = report.DataSet()) {
        ds->First();
        while (!ds->Eof() && !terminated()) {
            pageLoop();
            ds->Next();
        }
    } else {
        pageLoop();
    }
}

void TpgwEngine::runPage(TpgwReportPage* page) {
    TpgwReport& report = *Report();
    page_ = page;
    if (page->BelongsToSubreport()) {
        RunDataBands(page);
        return;
    }
    nothingOutputYet_ = true;
    report.CallScriptEvent(page->OnBeforePrint, page, false);
    if (TpgwDataSet* ds = page->DataSet()) {
        ds->First();
        while (!ds->Eof() && !terminated()) {
            runRepetition();
            ds->Next();
        }
    } else {
        for (int i = 0; i < page->PageCount() && !terminated(); ++i)
            runRepetition();
    }
    report.CallScriptEvent(page->OnAfterPrint, page, false);
}

void TpgwEngine::runRepetition() {
    TpgwReport& report = *Report();
    if (!HasDetailData(page_, report.EngineOptions()->PrintIfEmpty())) return;
    startPage();
    showPageObjects();
    if (report.OnManualBuild)
        report.OnManualBuild(page_);
    else if (!page_->OnManualBuild.empty())
        report.CallScriptEvent(page_->OnManualBuild, page_, false);
    else
        RunDataBands(page_);
    onLastPage_ = true;
    fixEndlessPageSize(false);
    EndPage();
    onLastPage_ = false;
}

void TpgwEngine::showPageObjects() {
    std::vector<TpgwComponent*> objects;
    for (TpgwComponent* child : page_->Objects())
        if (!dynamic_cast<TpgwBand*>(child)) objects.push_back(child);
    if (objects.empty()) return;
    TpgwNullBand holder(nullptr);
    holder.SetBounds(0, 0, PageWidth(), PageHeight());
    // The objects stay the page's: the band only lends them its list while it is shown.
    holder.SetObjectList(objects);
    const double y = CurY();
    try {
        holder.AlignChildren();
        ShowBand(&holder);
    } catch (...) {
        holder.ReleaseObjectList(page_);
        SetCurY(y);
        throw;
    }
    holder.ReleaseObjectList(page_);
    SetCurY(y);
}

void TpgwEngine::fixEndlessPageSize(bool afterSummary) {
    if (!page_->EndlessHeight() && !page_->EndlessWidth()) return;
    double width = page_->EndlessWidth() || afterSummary
                       ? mm(page_->LeftMargin()) + PageWidth() + mm(page_->RightMargin())
                       : mm(page_->PaperWidth());
    double height = mm(page_->PaperHeight());
    if (page_->EndlessHeight() || afterSummary) {
        if (!afterSummary) SetPageHeight(FooterHeight() + CurY());
        height = mm(page_->TopMargin()) + PageHeight() + mm(page_->BottomMargin());
    }
    store()->UpdatePageDimensions(page_, height, width);
}

// ---- pages -------------------------------------------------------------------------------------

void TpgwEngine::startPage() {
    auto* title = page_->FirstBandOfClass(TpgwReportTitle::StaticClass());
    auto* header = page_->FirstBandOfClass(TpgwPageHeader::StaticClass());
    headerList_.Clear();
    if (page_->TitleBeforeHeader()) {
        headerList_.Add(title, false, 0);
        headerList_.Add(header, false, 0);
    } else {
        headerList_.Add(header, false, 0);
        headerList_.Add(title, false, 0);
    }
    SetPageHeight(mm(page_->PaperHeight()) - mm(page_->TopMargin()) - mm(page_->BottomMargin()));
    SetPageWidth(mm(page_->PaperWidth()) - mm(page_->LeftMargin()) - mm(page_->RightMargin()));
    SetCurX(0);
    SetCurY(0);
    SetCurColumn(1);
    pageOriginX_ = 0;
    verticalOwnerBand_ = nullptr;
    onFirstPage_ = true;
    onLastPage_ = false;
    if (TpgwOutline* o = outline()) o->LevelRoot();
    if (page_->ResetPageNumbers()) store()->ResetLogicalPageNumber();

    if (store()->GetCount() > 0 && page_->PrintOnPreviousPage()) {
        store()->CurPage = store()->GetCount() - 1;
        SetCurY(store()->GetLastY(0));
        headerList_.Remove(title);
        ShowBandOfClass(TpgwReportTitle::StaticClass());
    } else {
        beginOutputPage();
    }
    if (firstPageOfRecord_) store()->RunFirstPage = store()->CurPage;
    columnsTopY_ = CurY();
    ShowBandOfClass(TpgwColumnHeader::StaticClass());
    headerList_.Add(page_->FirstBandOfClass(TpgwColumnHeader::StaticClass()), false, 0);
    headerList_.Remove(title);
    addPageOutline();
}

void TpgwEngine::addPageOutline() {
    if (page_->OutlineText().empty()) return;
    TpgwOutline* o = outline();
    if (!o) return;
    TpgwReport& report = *Report();
    const std::string saved = report.ActiveObjectName();
    report.SetActiveObjectName(page_->Name());
    try {
        o->LevelRoot();
        o->AddItem(report.Calc(page_->OutlineText()).AsString(), 0);
    } catch (...) {
        report.SetActiveObjectName(saved);
        throw;
    }
    report.SetActiveObjectName(saved);
}

void TpgwEngine::beginOutputPage() {
    reservedFooterHeight_ = 0;
    store()->AddPage(page_);
    SetCurY(0);
    auto* overlay = static_cast<TpgwOverlay*>(page_->FirstBandOfClass(TpgwOverlay::StaticClass()));
    if (overlay && !overlay->PrintOnTop()) {
        ShowBand(overlay);
        SetCurY(0);
    }
    columnsTopY_ = 0;
    const double x = CurX();
    // Showing a header may change the list (a title's item empties itself): walk a copy.
    for (int i = 0; i < headerList_.Count(); ++i) {
        TpgwHeaderListItem item = headerList_.Items(i);
        if (item.Band && dynamic_cast<TpgwReportTitle*>(item.Band)) headerList_.Items(i).Band = nullptr;
        reprintHeader(item);
    }
    SetCurX(x);
    processMessages();
}

void TpgwEngine::reprintHeader(TpgwHeaderListItem item) {
    TpgwBand* band = item.Band;
    if (!band || band == newPageBand_) return;
    SetCurX(item.X);
    bool childOnly = false;
    if (auto* header = dynamic_cast<TpgwPageHeader*>(band); header && onFirstPage_ &&
                                                            !header->PrintOnFirstPage()) {
        if (!header->PrintChildIfInvisible()) return;
        childOnly = true;
    }
    const bool isHeader = dynamic_cast<TpgwHeader*>(band) != nullptr;
    if (!keepFooter_ && ((isHeader && keepHeader_) || item.InKeep)) return;
    if (isHeader && (suppressHeaders_ || band == breakingBand_)) return;

    const int line = LineValue, running = RunningLineValue;
    const bool reprinting = reprintingHeaders_, fromHeader = callFromPageHeader_;
    band->Overflow = true;
    LineValue = band->RunRecordNo;
    RunningLineValue = band->RepeatRecordNo;
    reprintingHeaders_ = true;
    callFromPageHeader_ = dynamic_cast<TpgwPageHeader*>(band) != nullptr;
    auto restore = [&] {
        band->Overflow = false;
        LineValue = line;
        RunningLineValue = running;
        reprintingHeaders_ = reprinting;
        callFromPageHeader_ = fromHeader;
    };
    try {
        if (childOnly)
            ShowBand(band->Child());
        else
            ShowBand(band);
        if (dynamic_cast<TpgwPageHeader*>(band)) columnsTopY_ = band->HeightAfterStretch;
        if (dynamic_cast<TpgwReportTitle*>(band) && nothingOutputYet_) nothingOutputYet_ = false;
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TpgwEngine::EndPage() {
    if (!summaryAtEndPage_) showColumnFooter();
    if (!onLastPage_) {
        SetCurX(pageOriginX_);
        SetCurColumn(1);
    }
    if (onLastPage_ && !summaryAtEndPage_) {
        summaryAtEndPage_ = true;
        try {
            TpgwBand* summary = page_->FirstBandOfClass(TpgwReportSummary::StaticClass());
            const double before = CurY();
            ShowBand(summary);
            if (summary && page_->EndlessHeight()) {
                SetPageHeight(PageHeight() + CurY() - before);
                fixEndlessPageSize(true);
            }
        } catch (...) {
            summaryAtEndPage_ = false;
            throw;
        }
        summaryAtEndPage_ = false;
    }
    if (TpgwBand* footer = page_->FirstBandOfClass(TpgwPageFooter::StaticClass())) {
        auto* pf = static_cast<TpgwPageFooter*>(footer);
        SetCurY(PageHeight() - footer->Height());
        reservedFooterHeight_ =
            onLastPage_ && pf->PrintOnLastPage() && !summaryAtEndPage_ ? footer->Height() : 0;
        showFixedBand(footer);
    }
    auto* overlay = static_cast<TpgwOverlay*>(page_->FirstBandOfClass(TpgwOverlay::StaticClass()));
    if (overlay && overlay->PrintOnTop()) {
        SetCurY(0);
        showFixedBand(overlay);
    }
    onFirstPage_ = false;
    // The preview shows each page once it is finished.
    Report()->StepProgress(ptRunning, store()->CurPage + 1);
}

void TpgwEngine::showFixedBand(TpgwBand* band) {
    bool dropped = false;
    try {
        PrepareBand(band);
        if (band->Visible()) {
            band->SetLeft(0);
            band->SetTop(CurY());
            if (auto* pf = dynamic_cast<TpgwPageFooter*>(band)) {
                if (onFirstPage_ && onLastPage_)
                    dropped = !pf->PrintOnFirstPage() && !pf->PrintOnLastPage();
                else
                    dropped = (onFirstPage_ && !pf->PrintOnFirstPage()) ||
                              (onLastPage_ && !pf->PrintOnLastPage() && !summaryAtEndPage_);
            }
            if (!dropped) {
                if (!store()->BandExists(band)) store()->AddObject(band);
                SetCurY(CurY() + band->Height());
            }
        }
    } catch (...) {
        FinishBand(band);
        throw;
    }
    FinishBand(band);
    // A dropped page footer keeps its totals for the next page.
    if (!dropped) aggregates_->Reset(band);
}

void TpgwEngine::showColumnFooter() {
    TpgwBand* footer = page_->FirstBandOfClass(TpgwColumnFooter::StaticClass());
    if (!footer) return;
    try {
        PrepareBand(footer);
        if (footer->Visible()) {
            footer->SetLeft(CurX() - pageOriginX_);
            footer->SetTop(CurY());
            store()->AddObject(footer);
            SetCurY(CurY() + footer->Height());
        }
    } catch (...) {
        FinishBand(footer);
        throw;
    }
    FinishBand(footer);
    aggregates_->Reset(footer);
}

// ---- breaks ------------------------------------------------------------------------------------

void TpgwEngine::cutKeptBlock() {
    if (keepFooter_) aggregates_->Undo(keepStartBand_);
    store()->CutObjects(keepStartObject_);
    SetCurY(store()->GetLastY(0));
}

void TpgwEngine::moveKeptBlock(double x) {
    aggregates_->EndKeep();
    store()->PasteObjects(x, CurY());
    const int top = static_cast<int>(RoundHalfEven(CurY()));
    if (TpgwOutline* o = outline()) o->ShiftItems(keepStartOutline_, top, store()->CurPage);
    store()->ShiftAnchors(keepStartAnchor_, top, store()->CurPage);
    SetCurY(store()->GetLastY(x));
    if (keepFooter_) aggregates_->AddValue(keepStartBand_, 0);
}

void TpgwEngine::breakFor(TpgwBand* band, const std::function<void()>& step) {
    breakingBand_ = band;
    try {
        step();
    } catch (...) {
        breakingBand_ = nullptr;
        throw;
    }
    breakingBand_ = nullptr;
}

void TpgwEngine::NewPage() {
    if (keepStartBand_ && keepActive_ &&
        CurY() - keepStartY_ + keepStartBand_->Height() > PageHeight() - FooterHeight()) {
        // The block would not fit an empty page either: it stays where it is.
        keepActive_ = false;
        aggregates_->EndKeep();
    }
    if (keepActive_) cutKeptBlock();
    breakFor(activeBand_, [this] {
        EndPage();
        beginOutputPage();
    });
    if (keepActive_) moveKeptBlock(0);
    keepActive_ = false;
    keepHeader_ = false;
    keepStartY_ = 0;
    addPageOutline();
}

void TpgwEngine::NewColumn() {
    if (CurColumn() >= page_->Columns()) {
        NewPage();
        return;
    }
    if (keepActive_) cutKeptBlock();
    breakFor(activeBand_, [this] {
        showColumnFooter();
        nextColumn();
    });
    if (keepActive_) moveKeptBlock(CurX());
    keepActive_ = false;
    keepHeader_ = false;
}

void TpgwEngine::nextColumn() {
    SetCurColumn(CurColumn() + 1);
    const int index = CurColumn() - 1;
    TStrings* positions = page_->ColumnPositions();
    // A list shorter than the columns places the rest at even steps of the column width.
    const double offset = index < positions->Count()
                              ? mm(ParseFloatValue(positions->Strings(index)))
                              : index * mm(page_->ColumnWidth());
    SetCurY(columnsTopY_);
    if (!keepHeader_)
        for (int i = 0; i < headerList_.Count(); ++i) {
            TpgwHeaderListItem item = headerList_.Items(i);
            TpgwBand* band = item.Band;
            if (!band || dynamic_cast<TpgwPageHeader*>(band) || band == breakingBand_ ||
                item.InKeep)
                continue;
            SetCurX(item.X + offset);
            for (TpgwBand* b = band; b;) {
                b->Overflow = true;
                try {
                    PrepareBand(b);
                    b->SetLeft(CurX());
                    b->SetTop(CurY());
                    if (b->Visible()) {
                        store()->AddObject(b);
                        SetCurY(CurY() + b->Height());
                    }
                } catch (...) {
                    b->Overflow = false;
                    FinishBand(b);
                    throw;
                }
                b->Overflow = false;
                FinishBand(b);
                if (!b->Visible() && !b->PrintChildIfInvisible()) break;
                b = b->Child();
            }
        }
    SetCurX(pageOriginX_ + offset);
}

// ---- sizes -------------------------------------------------------------------------------------

void TpgwEngine::ShowBandOfClass(const TClassInfo& bandClass) {
    if (!page_) return;
    if (TpgwBand* band = page_->FirstBandOfClass(bandClass)) ShowBand(band);
}

double TpgwEngine::HeaderHeight() {
    double height = 0;
    for (const TClassInfo* cls : {&TpgwColumnHeader::StaticClass(), &TpgwPageHeader::StaticClass()})
        for (TpgwBand* b = page_ ? page_->FirstBandOfClass(*cls) : nullptr; b; b = b->Child())
            height += b->Height();
    return height;
}

double TpgwEngine::FooterHeight() {
    double height = 0;
    if (!page_) return height;
    if (TpgwBand* b = page_->FirstBandOfClass(TpgwColumnFooter::StaticClass())) height += b->Height();
    if (TpgwBand* b = page_->FirstBandOfClass(TpgwPageFooter::StaticClass())) height += b->Height();
    return height;
}

double TpgwEngine::FreeSpace() {
    if (page_ && page_->EndlessHeight()) return 1000000;
    return PageHeight() - (reservedFooterHeight_ != 0 ? reservedFooterHeight_ : FooterHeight()) -
           CurY();
}

Variant TpgwEngine::GetAggregateValue(const std::string& name, const std::string& expression,
                                      TpgwComponent* band, int flags) {
    return aggregates_->GetValue(activeBand_, CurVColumn(), name, expression, band, flags);
}

void TpgwEngine::AddAnchor(const std::string& text) {
    store()->AddAnchor(text);
}

int TpgwEngine::GetAnchorPage(const std::string& text) {
    return store()->GetAnchorPage(text);
}

void InstallEngine() {
    RegisterClasses<TpgwEngine>();
    EngineClass() = [](TpgwReport* report) -> std::unique_ptr<TpgwCustomEngine> {
        return std::make_unique<TpgwEngine>(report);
    };
}
