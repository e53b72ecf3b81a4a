#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "engine/band_tree.h"
#include "engine/outline.h"
#include "engine/preview_pages.h"
#include "platform/core/numbers.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"

namespace {

bool conditionChanged(const Variant& a, const Variant& b) {
    try {
        return VarCompare(a, b) != 0;
    } catch (const std::exception&) {
        return !VarSameValue(a, b);
    }
}

// The band's objects as they stand; events may add or remove some meanwhile.
std::vector<TpgwComponent*> objectsOf(const TpgwBand& band) {
    return band.Objects();
}

} // namespace

TpgwEngine::Chain TpgwEngine::groupChain(TpgwDataBand* band) {
    return band->GroupBand ? band->GroupBand->DependentBands : Chain{};
}

// ---- record loops ------------------------------------------------------------------------------

bool TpgwEngine::HasDetailData(TpgwComponent* bandOrPage, bool force) {
    if (force) return true;
    auto* page = dynamic_cast<TpgwReportPage*>(bandOrPage);
    auto* band = dynamic_cast<TpgwBand*>(bandOrPage);
    if (!page && !band) return false;
    const std::vector<TpgwBand*> list = page ? page->DependentBands : band->DependentBands;
    bool result = !page && list.empty();
    for (TpgwBand* sub : list) {
        auto* data = dynamic_cast<TpgwDataBand*>(sub);
        TpgwDataSet* ds = data ? data->DataSet() : nullptr;
        if (!ds) continue;
        Report()->CallScriptEvent(data->OnMasterDetail, data, false);
        ds->First();
        while (!ds->Eof()) {
            if (HasDetailData(data, data->PrintIfDetailEmpty())) {
                result = true;
                break;
            }
            ds->Next();
        }
    }
    return result;
}

void TpgwEngine::RunDataBands(TpgwComponent* pageOrBand) {
    auto* page = dynamic_cast<TpgwReportPage*>(pageOrBand);
    auto* owner = dynamic_cast<TpgwBand*>(pageOrBand);
    if (!page && !owner) return;
    const std::vector<TpgwBand*> list =
        page ? (verticalRun_ ? page->VerticalSubBands : page->DependentBands)
             : owner->DependentBands;
    for (TpgwBand* band : list) {
        auto* data = dynamic_cast<TpgwDataBand*>(band);
        if (!data || !data->DataSet()) continue;
        processMessages();
        if (terminated()) return;
        runDataBand(data);
        if (terminated()) break;
        nothingOutputYet_ = false;
    }
}

void TpgwEngine::runDataBand(TpgwDataBand* band) {
    TpgwDataSet* ds = band->DataSet();
    const Chain chain = groupChain(band);
    const bool hasGroups = !chain.empty();
    ds->First();
    band->RunRecordNo = 1;
    band->RepeatRecordNo = 1;
    band->MoveToColumn(1);
    clearRememberedValues(band);

    bool first = true;
    int footerKeepPosition = 0;
    int rowKeepPosition = 0;
    double rowTop = CurY();
    while (!ds->Eof()) {
        if (HasDetailData(band, band->PrintIfDetailEmpty())) {
            if (first) {
                if (band->KeepHeader() && band->HeaderBand && !nothingOutputYet_) {
                    keepHeader_ = true;
                    StartKeep(band, 0);
                }
                enterHeaderList(band->HeaderBand);
                ShowBand(band->HeaderBand);
                if (band->KeepTogether()) StartKeep(band, 0);
                showGroupHeaders(band, chain, true, 0);
            } else {
                if (band->KeepTogether() && !hasGroups) StartKeep(band, 0);
                checkGroups(band, chain, rowTop, rowKeepPosition);
            }
            if (band->KeepFooter()) footerKeepPosition = store()->GetCurPosition();
            if (band->Columns() > 1 && band->CurColumn() == 1)
                rowKeepPosition = store()->GetCurPosition();
            rowTop = CurY();
            LineValue = band->RunRecordNo;
            RunningLineValue = band->RepeatRecordNo;
            ShowBand(band);
            for (TpgwComponent* listener : BandShownListeners())
                listener->NotifyBandShown(band);
            if (first && band->KeepHeader() && band->HeaderBand) EndKeep(band);
            bandNameTree_.emplace_back(band->Name(), band->RepeatRecordNo);
            ++band->RunRecordNo;
            ++band->RepeatRecordNo;
            nextColumnRow(band, rowKeepPosition, rowTop);
            const bool outlined =
                !band->OutlineText().empty() && band->Visible() && !verticalRun_;
            addBandOutline(band);
            try {
                RunDataBands(band);
            } catch (...) {
                bandNameTree_.pop_back();
                throw;
            }
            bandNameTree_.pop_back();
            if (outlined) outlineUp();
            first = false;
        }
        nothingOutputYet_ = false;
        if (band->FooterAfterEach()) ShowBand(band->FooterBand);
        if (band->KeepTogether() && !hasGroups) EndKeep(band);
        ds->Next();
        if ((band->RowCount() != 0 && band->RunRecordNo > band->RowCount()) || terminated())
            break;
    }
    band->MoveToColumn(band->Columns());
    nextColumnRow(band, rowKeepPosition, rowTop);
    if (!first) {
        showGroupFooters(chain, 0, band);
        if (!band->FooterAfterEach() && band->FooterBand) {
            const bool keeping = band->KeepFooter();
            if (keeping) {
                keepFooter_ = true;
                StartKeep(band, footerKeepPosition);
            }
            try {
                ShowBand(band->FooterBand);
            } catch (...) {
                keepFooter_ = false;
                throw;
            }
            if (keeping) {
                EndKeep(band);
                keepFooter_ = false;
            }
        }
        leaveHeaderList(band->HeaderBand);
        if (hasGroups && band->KeepTogether()) EndKeep(band);
    }
}

// ---- groups ------------------------------------------------------------------------------------

void TpgwEngine::showGroupHeaders(TpgwDataBand* band, const Chain& chain, bool initialise,
                                  int from) {
    TpgwReport& report = *Report();
    const int n = static_cast<int>(chain.size());
    for (int i = from; i < n; ++i) {
        TpgwBand* header = chain[static_cast<std::size_t>(i)];
        if (initialise) {
            header->RunRecordNo = 1;
            header->RepeatRecordNo = 1;
            clearRememberedValues(header);
        } else {
            ++header->RunRecordNo;
            if (i + 1 < n) chain[static_cast<std::size_t>(i + 1)]->RunRecordNo = 0;
            ++header->RepeatRecordNo;
        }
    }
    updateDrillDown(band, chain);
    for (int i = from; i < n; ++i) {
        auto* header = static_cast<TpgwGroupHeader*>(chain[static_cast<std::size_t>(i)]);
        LineValue = header->RunRecordNo;
        RunningLineValue = header->RepeatRecordNo;
        report.SetActiveObjectName(header->Name());
        header->LastValue = report.Calc(header->Condition());
        if (header->KeepTogether()) StartKeep(header, 0);
        ShowBand(header);
        addBandOutline(header);
        enterHeaderList(header);
    }
}

void TpgwEngine::checkGroups(TpgwDataBand* band, const Chain& chain, double rowTop,
                             int rowKeepPosition) {
    TpgwReport& report = *Report();
    updateDrillDown(band, chain);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        auto* header = static_cast<TpgwGroupHeader*>(chain[i]);
        report.SetActiveObjectName(header->Name());
        const Variant value = report.Calc(header->Condition());
        if (!conditionChanged(value, header->LastValue)) continue;
        band->MoveToColumn(band->Columns());
        nextColumnRow(band, rowKeepPosition, rowTop);
        // The footers print while the group's last record is current.
        TpgwDataSet* ds = band->DataSet();
        bool steppedBack = true;
        try {
            ds->Prior();
        } catch (const std::exception&) {
            steppedBack = false;
        }
        showGroupFooters(chain, static_cast<int>(i), band);
        if (steppedBack) ds->Next();
        showGroupHeaders(band, chain, false, static_cast<int>(i));
        band->RunRecordNo = 1;
        clearRememberedValues(band);
        break;
    }
}

void TpgwEngine::showGroupFooters(const Chain& chain, int from, TpgwDataBand* band) {
    for (int i = static_cast<int>(chain.size()) - 1; i >= from; --i) {
        TpgwBand* header = chain[static_cast<std::size_t>(i)];
        if (TpgwBand* footer = header->FooterBand) {
            auto* groupFooter = dynamic_cast<TpgwGroupFooter*>(footer);
            if (groupFooter && groupFooter->HideIfSingleDataRecord() && band->RunRecordNo < 3)
                aggregates_->Reset(footer);
            else
                ShowBand(footer);
        }
        if (!header->OutlineText().empty()) outlineUp();
        leaveHeaderList(header);
        if (static_cast<TpgwGroupHeader*>(header)->KeepTogether()) EndKeep(header);
    }
}

void TpgwEngine::updateDrillDown(TpgwDataBand* band, const Chain& chain) {
    if (chain.empty()) return;
    TpgwReport& report = *Report();
    const bool childrenFollow = !static_cast<TpgwGroupHeader*>(chain[0])->ShowChildIfDrillDown();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        auto* header = static_cast<TpgwGroupHeader*>(chain[i]);
        if (!header->DrillDown()) continue;
        std::string name;
        for (const auto& [bandName, line] : bandNameTree_)
            name += bandName + "." + std::to_string(line) + ".";
        name += header->Name() + "." + std::to_string(header->RepeatRecordNo);
        header->SetDrillName(name);
        bool expanded = report.ExpandedDrillDowns().IndexOf(name) >= 0;
        if (header->ExpandDrillDown()) expanded = !expanded;
        if (childrenFollow && header->Child()) header->Child()->SetVisible(expanded);
        for (std::size_t j = i + 1; j < chain.size(); ++j) {
            chain[j]->SetVisible(expanded);
            if (chain[j]->FooterBand) chain[j]->FooterBand->SetVisible(expanded);
        }
        band->SetVisible(expanded);
        if (!header->ShowFooterIfDrillDown() && header->FooterBand)
            header->FooterBand->SetVisible(expanded);
        if (!expanded) break;
    }
}

void TpgwEngine::enterHeaderList(TpgwBand* header) {
    if (!header) return;
    bool reprint = false;
    if (auto* h = dynamic_cast<TpgwHeader*>(header)) reprint = h->ReprintOnNewPage();
    auto* group = dynamic_cast<TpgwGroupHeader*>(header);
    if (group) reprint = group->ReprintOnNewPage();
    if (!reprint) return;
    if (header->Vertical())
        verticalHeaderList_.push_back(header);
    else
        headerList_.Add(header, keepActive_ && group, pageOriginX_);
}

void TpgwEngine::leaveHeaderList(TpgwBand* header) {
    if (!header) return;
    headerList_.Remove(header);
    auto it = std::find(verticalHeaderList_.begin(), verticalHeaderList_.end(), header);
    if (it != verticalHeaderList_.end()) verticalHeaderList_.erase(it);
}

// ---- band columns ------------------------------------------------------------------------------

void TpgwEngine::nextColumnRow(TpgwDataBand* band, int rowKeepPosition, double rowTop) {
    if (band->Columns() < 2 || verticalRun_) return;
    band->ColumnRowBottom = std::max(band->ColumnRowBottom, CurY());
    if (band->CurColumn() < band->Columns()) {
        SetCurY(rowTop);
    } else if (band->ColumnRowBottom <= PageHeight() - FooterHeight() || page_->EndlessHeight()) {
        SetCurY(band->ColumnRowBottom);
    } else if (keepActive_) {
        NewColumn();
    } else {
        const double rowHeight = band->ColumnRowBottom - rowTop;
        store()->CutObjects(rowKeepPosition);
        NewColumn();
        store()->PasteObjects(CurX(), CurY());
        SetCurY(CurY() + rowHeight);
    }
    if (band->Visible()) band->MoveToColumn(band->CurColumn() + 1);
}

// ---- outline -----------------------------------------------------------------------------------

void TpgwEngine::addBandOutline(TpgwBand* band) {
    if (band->OutlineText().empty() || !band->Visible() || verticalRun_) return;
    TpgwOutline* o = outline();
    if (!o) return;
    const double h = band->Stretched() ? band->HeightAfterStretch : band->Height();
    const std::string text = Report()->Calc(band->OutlineText()).AsString();
    o->AddItem(text, static_cast<int>(RoundHalfEven(CurY() - h)));
}

void TpgwEngine::outlineUp() {
    if (TpgwOutline* o = outline()) o->LevelUp();
}

// ---- one band ----------------------------------------------------------------------------------

void TpgwEngine::ShowBand(TpgwComponent* component) {
    auto* band = dynamic_cast<TpgwBand*>(component);
    if (!band) return;
    if (band->KeepChild()) StartKeep(band, 0);
    OutputBand(band);
    if (band->Child() && (band->Visible() || band->PrintChildIfInvisible()))
        ShowBand(band->Child());
    if (band->KeepChild()) EndKeep(band);
    if (dynamic_cast<TpgwDataBand*>(band)) aggregates_->AddValue(band, 0);
}

void TpgwEngine::OutputBand(TpgwBand* band) {
    if (band->HasVerticalBands) prepareVerticalBands(band);
    if (band->Vertical()) {
        showVerticalBand(band);
        return;
    }
    auto* data = dynamic_cast<TpgwDataBand*>(band);
    auto* group = dynamic_cast<TpgwGroupHeader*>(band);
    if (!reprintingHeaders_ && band->Visible() && band->StartNewPage() && !outputCollector_ &&
        ((!data && !group) || band->RunRecordNo != 1)) {
        newPageBand_ = band;
        if (group && group->ResetPageNumbers()) store()->ResetLogicalPageNumber();
        try {
            NewPage();
        } catch (...) {
            newPageBand_ = nullptr;
            throw;
        }
        newPageBand_ = nullptr;
    }

    const bool master = band == verticalOwnerBand_;
    try {
        PrepareBand(band);
        band->HeightAfterStretch = band->Height();
        bool split = false;
        const bool multiColumn = data && data->Columns() > 1;
        if (band->Visible() && !multiColumn && !dynamic_cast<TpgwOverlay*>(band) &&
            !dynamic_cast<TpgwNullBand*>(band) && FreeSpace() < band->Height() &&
            !outputCollector_) {
            const bool tallerThanPage =
                band->Height() > PageHeight() - FooterHeight() && !band->HasVerticalBands;
            if ((band->AllowSplit() && !keepActive_) || tallerThanPage) {
                if (!band->AllowSplit() && band->RepeatRecordNo > 1 && !band->StartNewPage()) {
                    activeBand_ = band;
                    NewColumn();
                }
                if (keepActive_) EndKeep(band);
                splitBand(band);
                split = true;
            } else {
                if (!keepActive_) refreshRepeatedValues(band);
                if (!(dynamic_cast<TpgwChild*>(band) && callFromPageHeader_)) NewColumn();
            }
        }
        if (!split) placeBand(band);
    } catch (...) {
        FinishBand(band);
        if (master) verticalOwnerBand_ = nullptr;
        throw;
    }
    FinishBand(band);
    if (master) verticalOwnerBand_ = nullptr;
    aggregates_->Reset(band);
    if (band->Visible()) runSubreports(band);
}

void TpgwEngine::placeBand(TpgwBand* band) {
    // A hidden band takes no room.
    if (!band->Visible()) return;
    if (!dynamic_cast<TpgwNullBand*>(band)) {
        auto* data = dynamic_cast<TpgwDataBand*>(band);
        if (data && data->Columns() > 1)
            band->SetLeft((data->CurColumn() - 1) * (data->ColumnWidth() + data->ColumnGap()) +
                          CurX());
        else
            band->SetLeft(CurX());
        band->SetTop(CurY());
    }
    lastPlacedTop_ = CurY();
    if (outputCollector_)
        collectBand(band);
    else if (band->HasVerticalBands)
        writeVerticalPieces(band);
    else if (reprintingHeaders_) {
        if (!store()->BandExists(band)) store()->AddObject(band);
    } else {
        store()->AddObject(band);
    }
    SetCurY(CurY() + band->Height());
}

void TpgwEngine::refreshRepeatedValues(TpgwBand* band) {
    bool had = false;
    for (TpgwComponent* object : objectsOf(*band))
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object); memo && memo->SuppressRepeated())
            had = memo->ResetRepeatedValue() || had;
    if (!had || band->HasVerticalBands) return;
    FinishBand(band);
    LineValue = band->RunRecordNo;
    RunningLineValue = band->RepeatRecordNo;
    SetSecondScriptCall(true);
    try {
        PrepareBand(band);
    } catch (...) {
        SetSecondScriptCall(false);
        throw;
    }
    SetSecondScriptCall(false);
    band->HeightAfterStretch = band->Height();
}

void TpgwEngine::clearRememberedValues(TpgwBand* band) {
    for (TpgwComponent* object : band->Objects())
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object)) memo->ResetRepeatedValue();
}

void TpgwEngine::PrepareBand(TpgwBand* band) {
    TpgwReport& report = *Report();
    activeBand_ = band;
    BuildShiftTree(*band);
    const bool master = band == verticalOwnerBand_;
    if (!master) {
        report.SetActiveObjectName(band->Name());
        band->SaveForPrint();
        report.FireBeforePrint(band);
    }
    const std::vector<TpgwComponent*> objects = objectsOf(*band);
    bool onParent = false;
    bool grew = false;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        TpgwComponent* object = objects[i];
        if (auto* sub = dynamic_cast<TpgwSubreport*>(object); sub && sub->PrintOnParent())
            onParent = true;
        auto* view = dynamic_cast<TpgwReportComponent*>(object);
        if (!view) continue;
        const bool copy = master && band->OwnObjectsCount >= 0 &&
                          i >= static_cast<std::size_t>(band->OwnObjectsCount);
        if (!copy) {
            report.SetActiveObjectName(object->Name());
            view->SaveForPrint();
            if (band->Visible()) {
                report.FireBeforePrint(object);
                if (object->Visible()) {
                    view->FetchData();
                    report.CallScriptEvent(view->OnAfterData, object, false);
                }
            }
        }
        auto* stretch = dynamic_cast<TpgwStretcheable*>(object);
        if (band->Visible() && object->Visible() && stretch &&
            stretch->StretchMode() != smDontStretch) {
            const double h = stretch->CalcHeight();
            if (h > stretch->Height()) {
                stretch->GrowthAmount = h - stretch->Height();
                stretch->SetHeight(h);
                grew = true;
            } else {
                stretch->GrowthAmount = 0;
            }
        }
    }
    if (!band->Visible()) return;
    if (grew) ShiftObjects(*band);
    if (onParent) printSubreportsOnParent(band);

    // A dot-matrix memo's bottom line takes a character row of its own.
    const bool dotMatrix = page_ && page_->IsDotMatrix();
    auto bottomLine = [&](TpgwComponent* object) {
        auto* memo = dynamic_cast<TpgwCustomMemoView*>(object);
        return dotMatrix && memo && (memo->Frame()->Typ() & FrameSide(ftBottom));
    };
    double bottom = 0;
    TpgwComponent* lowest = nullptr;
    for (TpgwComponent* object : band->Objects())
        if (!lowest || object->Top() + object->Height() > bottom) {
            bottom = object->Top() + object->Height();
            lowest = object;
        }
    bottom = std::max(bottom, 0.0);
    if (lowest && bottomLine(lowest)) bottom += pg1CharY;
    if (band->Stretched()) band->SetHeight(bottom);
    report.SetActiveObjectName(band->Name());
    report.CallScriptEvent(band->OnAfterCalcHeight, band, false);
    for (TpgwComponent* object : band->Objects())
        if (auto* stretch = dynamic_cast<TpgwStretcheable*>(object);
            stretch && stretch->StretchMode() == smMaxHeight)
            stretch->SetHeight(bottom - stretch->Top() - (bottomLine(stretch) ? pg1CharY : 0));
}

void TpgwEngine::FinishBand(TpgwBand* band) {
    TpgwReport& report = *Report();
    const std::vector<TpgwComponent*> objects = objectsOf(*band);
    const bool master = band == verticalOwnerBand_;
    auto restore = [&] {
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (master && band->OwnObjectsCount >= 0 &&
                i >= static_cast<std::size_t>(band->OwnObjectsCount))
                continue;
            if (auto* view = dynamic_cast<TpgwReportComponent*>(objects[i]))
                view->RestoreAfterPrint();
        }
        band->RestoreAfterPrint();
        if (band->OwnObjectsCount != -1) {
            // The temporary objects (copies and subreport output) are the band's last ones.
            const std::size_t own = static_cast<std::size_t>(band->OwnObjectsCount);
            band->OwnObjectsCount = -1;
            while (band->Objects().size() > own)
                delete band->Objects().back();
        }
    };
    try {
        if (band->Visible())
            for (TpgwComponent* object : objects) {
                report.SetActiveObjectName(object->Name());
                report.FireAfterPrint(object);
            }
        report.SetActiveObjectName(band->Name());
        report.FireAfterPrint(band);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

// ---- keep-together -----------------------------------------------------------------------------

void TpgwEngine::StartKeep(TpgwBand* band, int position) {
    if (keepActive_ || nothingOutputYet_ || verticalRun_) return;
    keepStartY_ = CurY();
    keepActive_ = true;
    keepStartBand_ = band;
    keepStartObject_ = position != 0 ? position : store()->GetCurPosition();
    TpgwOutline* o = outline();
    keepStartOutline_ = o ? o->LastItem() : nullptr;
    keepStartAnchor_ = store()->GetAnchorCurPosition();
    aggregates_->StartKeep();
}

void TpgwEngine::EndKeep(TpgwBand* band) {
    if (band != keepStartBand_) return;
    keepStartY_ = 0;
    keepActive_ = false;
    keepStartBand_ = nullptr;
    aggregates_->EndKeep();
    keepHeader_ = false;
}

// ---- splitting ---------------------------------------------------------------------------------

void TpgwEngine::splitBand(TpgwBand* band) {
    struct Part {
        double fullHeight = 0;
        double remaining = 0;
        double topBefore = 0;
        double heightBefore = 0;
    };
    const std::vector<TpgwComponent*> all = band->Objects();
    std::vector<TpgwComponent*> work;
    std::unordered_map<TpgwComponent*, Part> parts;
    for (TpgwComponent* object : all) {
        if (dynamic_cast<TpgwSubreport*>(object)) continue;
        work.push_back(object);
        if (auto* stretch = dynamic_cast<TpgwStretcheable*>(object)) {
            stretch->ResetParts();
            parts[object] = {object->Height(), object->Height(), object->Top(), object->Height()};
        }
    }
    const double pageRoom = PageHeight() - FooterHeight();
    auto overlaps = [](TpgwComponent* a, TpgwComponent* b) {
        return a->Left() < b->Left() + b->Width() && b->Left() < a->Left() + a->Width();
    };

    double free = FreeSpace();
    bool anyPlaced = false;
    bool anySplit = false;
    bool idle = false;
    bool reported = false;
    try {
        while (!work.empty() && !terminated()) {
            std::vector<TpgwComponent*> piece;
            std::unordered_set<TpgwComponent*> moved;
            auto moveBelow = [&](TpgwComponent* above, double bottom, double by) {
                for (TpgwComponent* other : work)
                    if (other != above && !moved.count(other) && other->Top() >= bottom &&
                        overlaps(other, above)) {
                        other->SetTop(other->Top() + by);
                        moved.insert(other);
                    }
            };
            for (auto& [object, part] : parts) {
                part.topBefore = object->Top();
                part.heightBefore = object->Height();
            }
            for (std::size_t i = 0; i < work.size();) {
                TpgwComponent* object = work[i];
                if (std::find(piece.begin(), piece.end(), object) != piece.end()) {
                    ++i;
                    continue;
                }
                auto* stretch = dynamic_cast<TpgwStretcheable*>(object);
                if (object->Top() + object->Height() <= free) {
                    piece.push_back(object);
                    work.erase(work.begin() + static_cast<std::ptrdiff_t>(i));
                    if (stretch) stretch->TakeFittingPart();
                    anyPlaced = true;
                    continue;
                }
                if (stretch) {
                    Part& part = parts[object];
                    if (object->Top() < free) {
                        object->SetHeight(free - object->Top());
                        const double unused = stretch->TakeFittingPart();
                        moveBelow(object, object->Top() + object->Height(), unused);
                        if (std::fabs(unused - object->Height()) < 0.0001) {
                            object->SetTop(free);
                            object->SetHeight(part.heightBefore);
                        } else {
                            piece.push_back(object);
                            part.remaining = part.heightBefore - object->Height() + unused;
                            anySplit = true;
                        }
                    }
                } else if (object->Height() > pageRoom) {
                    piece.push_back(object);
                    work.erase(work.begin() + static_cast<std::ptrdiff_t>(i));
                    anyPlaced = true;
                    continue;
                } else if (object->Top() < free) {
                    moveBelow(object, object->Top() + object->Height(), free - object->Top());
                    object->SetTop(free);
                }
                ++i;
            }
            // A piece on a fresh page or column that places nothing would repeat forever: it
            // takes its first object whatever it holds, cut off at the bottom.
            if (piece.empty() && idle) {
                TpgwComponent* object = work.front();
                object->SetTop(0);
                if (auto* stretch = dynamic_cast<TpgwStretcheable*>(object)) {
                    Part& part = parts[object];
                    stretch->SetHeight(std::max(free, 1.0));
                    const double unused = stretch->TakeFittingPart(true);
                    const double used = std::max(stretch->Height() - unused, 1.0);
                    part.remaining = part.heightBefore - used;
                    if (part.remaining <= 0) work.erase(work.begin());
                } else {
                    object->SetHeight(std::min(object->Height(), std::max(free, 1.0)));
                    work.erase(work.begin());
                }
                piece.push_back(object);
                anySplit = true;
                if (!reported) {
                    Report()->Errors().Add(object->Name() +
                                           ": a line is taller than the page and is cut off");
                    reported = true;
                }
            }
            idle = piece.empty();

            double height = 0;
            for (TpgwComponent* object : piece)
                height = std::max(height, object->Top() + object->Height());
            band->SetHeight(height);
            if (work.empty())
                for (TpgwComponent* object : piece) {
                    auto* view = dynamic_cast<TpgwView*>(object);
                    if (view && view->Align() == baBottom)
                        object->SetTop(height - object->Height());
                    auto* stretch = dynamic_cast<TpgwStretcheable*>(object);
                    if (stretch && stretch->StretchMode() == smMaxHeight)
                        stretch->SetHeight(height - stretch->Top());
                }
            band->SetObjectList(piece);
            band->SetLeft(CurX());
            band->SetTop(CurY());
            lastPlacedTop_ = CurY();
            store()->AddObject(band);
            SetCurY(CurY() + band->Height());
            activeBand_ = band;
            band->ReleaseObjectList(nullptr);
            if (!work.empty()) NewColumn();

            for (TpgwComponent* object : work) {
                object->SetTop(object->Top() - free);
                if (auto it = parts.find(object); it != parts.end()) {
                    if (!anyPlaced && !anySplit) object->SetTop(it->second.topBefore);
                    object->SetHeight(it->second.remaining);
                }
                if (object->Top() < 0) object->SetTop(0);
            }
            free = FreeSpace();
        }
    } catch (...) {
        band->SetObjectList(all);
        throw;
    }
    band->SetObjectList(all);
}
