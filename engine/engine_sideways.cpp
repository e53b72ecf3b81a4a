#include "engine/engine.h"

#include <algorithm>
#include <tuple>

#include "engine/preview_pages.h"
#include "report/band.h"
#include "report/page.h"
#include "report/report.h"
#include "report/utils.h"
#include "report/view.h"

namespace {

// A copy that the store writes as its template object: same class, alias and source copy.
TpgwComponent* copyForOutput(TpgwComponent* object, TpgwComponent* parent) {
    TPersistent* made = object->ClassType().Create(nullptr);
    auto* copy = dynamic_cast<TpgwComponent*>(made);
    if (!copy) {
        delete made;
        throw Exception("Class " + object->ClassName() + " cannot be copied into a band");
    }
    copy->Assign(object);
    copy->SetSourceComponent(object->SourceComponent());
    copy->SetObjectAlias(object->ObjectAlias());
    copy->SetParent(parent);
    return copy;
}

} // namespace

// ---- subreports --------------------------------------------------------------------------------

void TpgwEngine::runSubreportPage(TpgwReportPage* page) {
    if (!page) return;
    if (std::find(subreportPages_.begin(), subreportPages_.end(), page) != subreportPages_.end()) {
        const std::string name = page->Subreport() ? page->Subreport()->Name() : page->Name();
        throw Exception("The subreport " + name + " prints a page that contains it");
    }
    subreportPages_.push_back(page);
    try {
        RunDataBands(page);
    } catch (...) {
        subreportPages_.pop_back();
        throw;
    }
    subreportPages_.pop_back();
}

void TpgwEngine::collectBand(TpgwBand* band) {
    TpgwComponent* copy = copyForOutput(band, outputCollector_.get());
    for (TpgwComponent* object : band->Objects())
        copyForOutput(object, copy);
}

void TpgwEngine::printSubreportsOnParent(TpgwBand* band) {
    const bool collecting = outputCollector_ != nullptr;
    if (!collecting) {
        band->OwnObjectsCount = static_cast<int>(band->Objects().size());
        outputCollector_ = std::make_unique<TpgwNullBand>(nullptr);
    }
    const double x = CurX(), y = CurY(), origin = pageOriginX_;
    auto restore = [&] {
        SetCurX(x);
        SetCurY(y);
        pageOriginX_ = origin;
    };
    try {
        const std::vector<TpgwComponent*> objects = band->Objects();
        for (TpgwComponent* object : objects) {
            auto* sub = dynamic_cast<TpgwSubreport*>(object);
            if (!sub || !sub->PrintOnParent() || !sub->Visible()) continue;
            pageOriginX_ = origin + sub->Left();
            SetCurX(sub->Left());
            SetCurY(sub->Top());
            runSubreportPage(sub->Page());
        }
    } catch (...) {
        restore();
        if (!collecting) outputCollector_.reset();
        throw;
    }
    restore();
    if (collecting) return;
    // The collected views join the band where they were printed.
    std::vector<TpgwComponent*> views;
    outputCollector_->AllObjects(views);
    for (TpgwComponent* object : views) {
        auto* view = dynamic_cast<TpgwView*>(object);
        if (!view || dynamic_cast<TpgwSubreport*>(view) || dynamic_cast<TpgwBand*>(view)) continue;
        const double left = view->AbsLeft(), top = view->AbsTop();
        view->SetParent(band);
        view->SetLeft(left);
        view->SetTop(top);
        view->SetParentFont(false);
        if (auto* stretch = dynamic_cast<TpgwStretcheable*>(view))
            stretch->SetStretchMode(smDontStretch);
    }
    outputCollector_.reset();
}

void TpgwEngine::runSubreports(TpgwBand* band) {
    std::vector<TpgwSubreport*> subs;
    for (TpgwComponent* object : band->Objects())
        if (auto* sub = dynamic_cast<TpgwSubreport*>(object);
            sub && !sub->PrintOnParent() && sub->Visible())
            subs.push_back(sub);
    if (subs.empty()) return;
    const int page = store()->CurPage;
    const int column = CurColumn();
    const double x = CurX(), origin = pageOriginX_, top = lastPlacedTop_;
    // The furthest end wins: a later page, then a later column, then a lower position.
    std::tuple<int, int, double> end{page, column, CurY()};
    bool any = false;
    auto restore = [&] {
        store()->CurPage = std::get<0>(end);
        SetCurColumn(std::get<1>(end));
        SetCurY(std::get<2>(end));
        pageOriginX_ = origin;
    };
    try {
        for (TpgwSubreport* sub : subs) {
            store()->CurPage = page;
            SetCurColumn(column);
            SetCurX(x + sub->Left());
            pageOriginX_ = origin + sub->Left();
            SetCurY(top + sub->Top());
            runSubreportPage(sub->Page());
            const std::tuple<int, int, double> reached{store()->CurPage, CurColumn(), CurY()};
            if (!any || reached > end) end = reached;
            any = true;
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    double offset = 0;
    if (CurColumn() > 1 && page_) {
        const int index = CurColumn() - 1;
        TStrings* positions = page_->ColumnPositions();
        offset = index < positions->Count() ? mm(ParseFloatValue(positions->Strings(index)))
                                            : index * mm(page_->ColumnWidth());
    }
    SetCurX(pageOriginX_ + offset);
}

// ---- vertical bands ----------------------------------------------------------------------------

void TpgwEngine::prepareVerticalBands(TpgwBand* band) {
    verticalOwnerBand_ = band;
    band->OwnObjectsCount = static_cast<int>(band->Objects().size());
    band->SetAllowSplit(false);
    const int page = store()->CurPage;
    verticalHeaderList_.clear();
    verticalPageList_.assign(1, 0);
    SetCurVColumn(0);
    const bool wasVertical = verticalRun_;
    verticalRun_ = true;
    try {
        RunDataBands(page_ ? static_cast<TpgwComponent*>(page_) : band);
    } catch (...) {
        verticalRun_ = wasVertical;
        store()->CurPage = page;
        throw;
    }
    verticalRun_ = wasVertical;
    verticalPageList_.push_back(static_cast<int>(band->Objects().size()));
    store()->CurPage = page;
    SetCurX(0);
}

void TpgwEngine::showVerticalBand(TpgwBand* band) {
    TpgwReport& report = *Report();
    TpgwBand* master = verticalOwnerBand_;
    if (!master) return;
    if (dynamic_cast<TpgwDataBand*>(band)) SetCurVColumn(CurVColumn() + 1);
    const bool footer = dynamic_cast<TpgwFooter*>(band) || dynamic_cast<TpgwGroupFooter*>(band);
    activeBand_ = footer ? band : master;
    report.SetActiveObjectName(band->Name());
    band->SaveForPrint();
    auto restoreBand = [&] {
        report.SetActiveObjectName(band->Name());
        band->RestoreAfterPrint();
    };
    try {
        report.FireBeforePrint(band);
        if (band->Visible()) {
            if (CurX() + band->Width() > PageWidth()) {
                if (page_->EndlessWidth()) {
                    SetPageWidth(PageWidth() + band->Width());
                } else {
                    // AddPage moves onto the next page when the store has it already.
                    const TpgwPageAddMode mode = store()->PageAddMode;
                    store()->PageAddMode = pamWriteOver;
                    store()->AddPage(page_);
                    store()->PageAddMode = mode;
                    SetCurX(0);
                    verticalPageList_.push_back(static_cast<int>(master->Objects().size()));
                    if (!reprintingVerticalHeaders_) {
                        reprintingVerticalHeaders_ = true;
                        try {
                            const std::vector<TpgwBand*> headers = verticalHeaderList_;
                            for (TpgwBand* header : headers)
                                showVerticalBand(header);
                        } catch (...) {
                            reprintingVerticalHeaders_ = false;
                            throw;
                        }
                        reprintingVerticalHeaders_ = false;
                    }
                }
            }
            const std::vector<TpgwComponent*> objects = band->Objects();
            for (TpgwComponent* object : objects) {
                auto* view = dynamic_cast<TpgwReportComponent*>(object);
                if (!view || view->SourceBand() != master) continue;
                report.SetActiveObjectName(object->Name());
                view->SaveForPrint();
                try {
                    report.FireBeforePrint(object);
                    view->FetchData();
                    report.CallScriptEvent(view->OnAfterData, object, false);
                    TpgwComponent* copy = copyForOutput(object, master);
                    copy->SetLeft(CurX() + object->Left());
                } catch (...) {
                    view->RestoreAfterPrint();
                    throw;
                }
                view->RestoreAfterPrint();
            }
            SetCurX(CurX() + band->Width());
        }
        report.FireAfterPrint(band);
    } catch (...) {
        restoreBand();
        throw;
    }
    restoreBand();
    if (dynamic_cast<TpgwDataBand*>(band))
        aggregates_->AddValue(master, CurVColumn());
    else if (footer)
        aggregates_->Reset(band);
}

void TpgwEngine::writeVerticalPieces(TpgwBand* band) {
    const int page = store()->CurPage;
    const double x = CurX(), y = CurY();
    const std::vector<TpgwComponent*> all = band->Objects();
    const std::size_t pieces = verticalPageList_.size() > 1 ? verticalPageList_.size() - 1 : 1;
    auto restore = [&] {
        band->SetObjectList(all);
        store()->CurPage = page;
        SetCurY(y);
        SetCurX(x);
        store()->PageAddMode = pamAppend;
        suppressHeaders_ = false;
    };
    store()->PageAddMode = pamWriteOver;
    try {
        for (std::size_t k = 0; k < pieces; ++k) {
            const std::size_t from =
                verticalPageList_.empty() ? 0 : static_cast<std::size_t>(verticalPageList_[k]);
            const std::size_t to = verticalPageList_.size() > k + 1
                                       ? static_cast<std::size_t>(verticalPageList_[k + 1])
                                       : all.size();
            std::vector<TpgwComponent*> slice(all.begin() + static_cast<std::ptrdiff_t>(
                                                                 std::min(from, all.size())),
                                              all.begin() + static_cast<std::ptrdiff_t>(
                                                                 std::min(to, all.size())));
            band->SetObjectList(slice);
            band->SetTop(y);
            store()->AddObject(band);
            if (k + 1 < pieces) {
                band->SetObjectList(all);
                suppressHeaders_ = true;
                NewPage();
                suppressHeaders_ = false;
            }
        }
        if (pieces > 1) {
            band->SetObjectList(all);
            EndPage();
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
}
