// The band tree (masters and details, headers, footers and group chains, layout faults with
// their messages), objects moving into vertical bands, the shift tree of objects below one
// another and the three shift modes.

#include "engine/band_tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/string_list.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"
#include "report/resources.h"

namespace {

const bool registered = [] {
    RegisterBandAndPageClasses();
    RegisterMemoClasses();
    return true;
}();

struct BandSpec {
    std::function<TpgwBand*(TComponent*)> make;
    const char* name;
    double position;
    bool withData = false;
};

template <class T> BandSpec B(const char* name, double position, bool withData = false) {
    return {[](TComponent* owner) -> TpgwBand* { return new T(owner); }, name, position, withData};
}

std::string names(const std::vector<TpgwBand*>& bands) {
    std::string text;
    for (TpgwBand* band : bands)
        text += (text.empty() ? "" : ",") + band->Name();
    return text;
}

class BandTree : public ::testing::Test {
protected:
    void build(const std::vector<BandSpec>& specs, bool vertical = false) {
        for (const BandSpec& spec : specs) {
            TpgwBand* band = spec.make(page);
            band->SetName(spec.name);
            band->SetVertical(vertical);
            band->SetHeight(10);
            if (vertical) {
                band->SetLeft(spec.position);
                band->SetWidth(10);
            } else {
                band->SetTop(spec.position);
            }
            if (spec.withData) dynamic_cast<TpgwDataBand*>(band)->SetDataSet(&data);
        }
        BuildBandTree(*page, errors, vertical);
    }

    // Every band's links, in the page's order, then the top-level data bands.
    std::string links(bool vertical = false) const {
        std::string text;
        for (TpgwComponent* child : page->Objects()) {
            auto* band = dynamic_cast<TpgwBand*>(child);
            if (!band) continue;
            std::string line;
            if (band->HeaderBand) line += " H=" + band->HeaderBand->Name();
            if (band->FooterBand) line += " F=" + band->FooterBand->Name();
            if (band->GroupBand) line += " G=" + band->GroupBand->Name();
            if (!band->DependentBands.empty()) line += " D=" + names(band->DependentBands);
            if (!line.empty()) text += band->Name() + ":" + line + "; ";
        }
        return text + "page=" + names(vertical ? page->VerticalSubBands : page->DependentBands);
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> list;
        for (int i = 0; i < errors.Count(); ++i)
            list.push_back(errors.Strings(i));
        return list;
    }

    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
    TpgwUserDataSet data{&report};
    TStringList errors;
};

std::string message(const char* key, const char* band) {
    return GetResources().GetText(key) + " " + band;
}

TEST_F(BandTree, MessageTexts) {
    EXPECT_EQ(message("enUnconnHeader", "Header1"), "未连接至表首 Header1");
    EXPECT_EQ(message("enBandPos", "Detail1"), "Band的位置错误: Detail1");
}

TEST_F(BandTree, LayoutsGiveLinksOrMessages) {
    struct Case {
        const char* title;
        std::vector<BandSpec> bands;
        std::string links;
        std::vector<std::pair<const char*, const char*>> messages; // key, band
    };
    const std::vector<Case> cases = {
        {"header, two groups, master, group footers, footer",
         {B<TpgwHeader>("Header1", 10), B<TpgwGroupHeader>("GH1", 20),
          B<TpgwGroupHeader>("GH2", 30), B<TpgwMasterData>("Master1", 40, true),
          B<TpgwGroupFooter>("GF2", 50), B<TpgwGroupFooter>("GF1", 60),
          B<TpgwFooter>("Footer1", 70)},
         "GH1: F=GF1 D=GH1,GH2; GH2: F=GF2; Master1: H=Header1 F=Footer1 G=GH1; page=Master1",
         {}},
        {"master-detail levels, a second master",
         {B<TpgwMasterData>("Master1", 10, true), B<TpgwDetailData>("Detail1", 20, true),
          B<TpgwSubdetailData>("Sub1", 30, true), B<TpgwDetailData>("Detail2", 40, true),
          B<TpgwMasterData>("Master2", 50, true)},
         "Master1: D=Detail1,Detail2; Detail1: D=Sub1; page=Master1,Master2",
         {}},
        {"all six levels",
         {B<TpgwMasterData>("M", 10, true), B<TpgwDetailData>("D", 20, true),
          B<TpgwSubdetailData>("S", 30, true), B<TpgwDataBand4>("B4", 40, true),
          B<TpgwDataBand5>("B5", 50, true), B<TpgwDataBand6>("B6", 60, true)},
         "M: D=D; D: D=S; S: D=B4; B4: D=B5; B5: D=B6; page=M",
         {}},
        {"bands without data sets take their place but are not run",
         {B<TpgwMasterData>("Master1", 10), B<TpgwDetailData>("Detail1", 20)},
         "page=",
         {}},
        {"two bands at the same top: the second is left out silently",
         {B<TpgwMasterData>("Master1", 10, true), B<TpgwMasterData>("Master2", 10, true)},
         "page=Master1",
         {}},
        {"order follows the position, not the page order",
         {B<TpgwFooter>("Footer1", 30), B<TpgwMasterData>("Master1", 20, true),
          B<TpgwHeader>("Header1", 10)},
         "Master1: H=Header1 F=Footer1; page=Master1",
         {}},
        {"header with no data band after it",
         {B<TpgwHeader>("Header1", 10), B<TpgwFooter>("Footer1", 20)},
         "page=",
         {{"enUnconnHeader", "Header1"}, {"enUnconnHeader", "Footer1"}}},
        {"detail two levels below its master",
         {B<TpgwMasterData>("Master1", 10, true), B<TpgwSubdetailData>("Sub1", 20, true),
          B<TpgwDetailData>("Detail1", 30, true)},
         "Master1: D=Detail1; page=Master1",
         {{"enBandPos", "Sub1"}}},
        {"detail without a master",
         {B<TpgwDetailData>("Detail1", 10, true)},
         "page=",
         {{"enBandPos", "Detail1"}}},
        {"group header with no data band",
         {B<TpgwMasterData>("Master1", 10, true), B<TpgwGroupHeader>("GH1", 20)},
         "GH1: D=GH1; page=Master1",
         {{"enUnconnGroup", "GH1"}}},
        {"group footer with no group header before it",
         {B<TpgwGroupFooter>("GF1", 10), B<TpgwMasterData>("Master1", 20, true)},
         "page=Master1",
         {{"enUnconnGFooter", "GF1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        page->Clear();
        errors.Clear();
        build(c.bands);
        EXPECT_EQ(links(), c.links);
        std::vector<std::string> expected;
        for (const auto& [key, band] : c.messages)
            expected.push_back(message(key, band));
        EXPECT_EQ(messages(), expected);
    }
}

TEST_F(BandTree, VerticalBandsOrderByLeftAndGoToTheirOwnList) {
    build({B<TpgwHeader>("VHeader", 10), B<TpgwMasterData>("VMaster", 30, true),
           B<TpgwDetailData>("VDetail", 50, true)},
          true);
    EXPECT_EQ(links(true), "VMaster: H=VHeader D=VDetail; page=VMaster");
    EXPECT_TRUE(page->DependentBands.empty());
}

TEST_F(BandTree, RebuildingDropsOldLinks) {
    build({B<TpgwHeader>("Header1", 10), B<TpgwMasterData>("Master1", 20, true)});
    dynamic_cast<TpgwBand*>(page->FindObject("Header1"))->SetTop(40);
    BuildBandTree(*page, errors, false);
    EXPECT_EQ(links(), "page=Master1");
    EXPECT_EQ(messages(), std::vector<std::string>{message("enUnconnHeader", "Header1")});
}

TEST_F(BandTree, RowCountGivesABandItsOwnDataSet) {
    auto* band = new TpgwMasterData(page);
    band->SetName("Master1");
    band->SetRowCount(3);
    BuildBandTree(*page, errors, false);
    EXPECT_EQ(band->DataSet(), band->VirtualDataSet());
    EXPECT_EQ(links(), "page=Master1");
}

TEST_F(BandTree, ObjectsInsideAVerticalBandMoveIntoIt) {
    auto* vertical = new TpgwMasterData(page);
    vertical->SetName("VMaster");
    vertical->SetVertical(true);
    vertical->SetBounds(100, 0, 100, 50);
    vertical->SetDataSet(&data);
    auto* horizontal = new TpgwMasterData(page);
    horizontal->SetName("Master1");
    horizontal->SetBounds(0, 60, 300, 20);
    horizontal->SetDataSet(&data);
    auto* inside = new TpgwMemoView(horizontal);
    inside->SetBounds(110, 2, 90, 10);
    auto* across = new TpgwMemoView(horizontal);
    across->SetBounds(150, 2, 100, 10);
    BuildBandTree(*page, errors, false);
    EXPECT_EQ(inside->Parent(), vertical);
    EXPECT_DOUBLE_EQ(inside->Left(), 10);
    EXPECT_EQ(inside->SourceBand(), horizontal);
    EXPECT_EQ(across->Parent(), horizontal);
    EXPECT_TRUE(horizontal->HasVerticalBands);
    EXPECT_FALSE(vertical->HasVerticalBands);
}

// ---- shift tree and shifting ------------------------------------------------------------------

class Shifting : public ::testing::Test {
protected:
    TpgwMemoView* add(const char* name, double left, double top, double width, double height,
                      TpgwShiftMode mode = smAlways) {
        auto* memo = new TpgwMemoView(band);
        memo->SetName(name);
        memo->SetBounds(left, top, width, height);
        memo->SetShiftMode(mode);
        return memo;
    }
    // Grows as PrepareBand makes it grow.
    static void grow(TpgwMemoView* memo, double amount) {
        memo->GrowthAmount = amount;
        memo->SetHeight(memo->Height() + amount);
    }
    static std::string dependents(TpgwReportComponent* object) {
        std::string text;
        for (TpgwComponent* c : object->ShiftDependents())
            text += (text.empty() ? "" : ",") + c->Name();
        return text;
    }

    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
    TpgwBand* band = [this] {
        auto* b = new TpgwMasterData(page);
        b->SetBounds(0, 100, 200, 200);
        return b;
    }();
};

TEST_F(Shifting, ShiftTreeLinksObjectsDirectlyBelow) {
    auto* a = add("A", 0, 0, 100, 20);
    auto* side = add("Side", 120, 5, 60, 20);
    auto* c = add("C", 0, 30, 100, 10);
    auto* b = add("B", 50, 60, 100, 10);
    auto* touching = add("Touching", 0, 70, 40, 10); // touches B's bottom only
    BuildShiftTree(*band);
    EXPECT_EQ(dependents(band), "A,Side");
    EXPECT_EQ(dependents(a), "C"); // B is hidden from A by C
    EXPECT_EQ(dependents(side), "B");
    EXPECT_EQ(dependents(c), "B,Touching");
    EXPECT_EQ(dependents(b), "");
    EXPECT_EQ(dependents(touching), "");
}

TEST_F(Shifting, ShiftTreeIsBuiltOnce) {
    add("A", 0, 0, 100, 20);
    BuildShiftTree(*band);
    add("B", 0, 40, 100, 20);
    BuildShiftTree(*band);
    EXPECT_EQ(dependents(band), "A");
}

TEST_F(Shifting, ModesMoveTheObjectBelowAndPassTheGrowthOn) {
    struct Case {
        TpgwShiftMode mode;
        double growth;
        double xTop, yTop;
    };
    // M: top 0, height 20; X below it at 30, Y below X at 60 (smAlways).
    const Case cases[] = {
        {smAlways, 30, 60, 90},         {smDontShift, 30, 30, 90}, // stays, passes the growth on
        {smWhenOverlapped, 30, 50, 80},                            // up to M's bottom only
        {smWhenOverlapped, 5, 30, 60},                             // M's bottom (25) stays above X
        {smAlways, 0, 30, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " growth " << c.growth);
        band->Clear();
        band->ShiftDependents().clear();
        auto* m = add("M", 0, 0, 100, 20);
        auto* x = add("X", 0, 30, 100, 20, c.mode);
        auto* y = add("Y", 0, 60, 100, 20);
        BuildShiftTree(*band);
        grow(m, c.growth);
        ShiftObjects(*band);
        EXPECT_DOUBLE_EQ(x->Top(), c.xTop);
        EXPECT_DOUBLE_EQ(y->Top(), c.yTop);
        EXPECT_EQ(m->GrowthAmount, 0);
    }
}

TEST_F(Shifting, TopmostObjectWhenOverlappedPassesItsOwnGrowth) {
    auto* x = add("X", 0, 0, 100, 20, smWhenOverlapped);
    auto* y = add("Y", 0, 30, 100, 20);
    BuildShiftTree(*band);
    grow(x, 15);
    ShiftObjects(*band);
    EXPECT_DOUBLE_EQ(x->Top(), 0);
    EXPECT_DOUBLE_EQ(y->Top(), 45);
}

TEST_F(Shifting, ObjectBelowTwoGrowingObjectsMovesForEach) {
    auto* left = add("Left", 0, 0, 50, 20);
    auto* right = add("Right", 60, 0, 50, 20);
    auto* below = add("Below", 0, 40, 110, 20);
    BuildShiftTree(*band);
    EXPECT_EQ(dependents(left), "Below");
    EXPECT_EQ(dependents(right), "Below");
    grow(left, 10);
    grow(right, 5);
    ShiftObjects(*band);
    EXPECT_DOUBLE_EQ(below->Top(), 55);
}

TEST_F(Shifting, LatticeOfSideBySideObjectsEndsInBoundedTime) {
    // Wide and split rows alternate: every path doubles, 2^40 of them in all.
    TpgwMemoView* top = nullptr;
    for (int row = 0; row < 80; ++row) {
        const double y = row * 30;
        if (row % 2 == 0) {
            auto* wide = add(("W" + std::to_string(row)).c_str(), 0, y, 110, 20);
            if (!top) top = wide;
        } else {
            add(("L" + std::to_string(row)).c_str(), 0, y, 50, 20);
            add(("R" + std::to_string(row)).c_str(), 60, y, 50, 20);
        }
    }
    BuildShiftTree(*band);
    grow(top, 1);
    const auto start = std::chrono::steady_clock::now();
    ShiftObjects(*band);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

} // namespace
