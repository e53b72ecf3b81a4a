// Bands and the subreport: kind numbers and short names, the published switches of each kind,
// child chains, grid snapping on dot-matrix pages, band columns, data-set links, the group
// header's drill-down attribute and the subreport's link to its page.

#include "report/band.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/graphics/raster_canvas.h"
#include "report/data_set.h"
#include "report/dmp_class.h"
#include "report/page.h"
#include "report/report.h"
#include "report/tests/golden_image.h"
#include "report/xml_serializer.h"

namespace {

const bool registered = [] {
    RegisterBandAndPageClasses();
    RegisterClasses<TpgwReport, TpgwUserDataSet>();
    return true;
}();

template <class T> TpgwBand* NewBand(TComponent* owner) {
    return new T(owner);
}

template <class T> T* MakeBand(TComponent* owner, const std::string& name = {}) {
    auto* band = new T(owner);
    if (!name.empty()) band->SetName(name);
    return band;
}

class Bands : public ::testing::Test {
protected:
    TpgwReport report{nullptr};
    TpgwReportPage* page = MakeBand<TpgwReportPage>(&report, "Page1");
};

TEST_F(Bands, KindIndexAndShortName) {
    struct Case {
        std::function<TpgwBand*(TComponent*)> make;
        int kind;
        const char* shortName;
    };
    const Case cases[] = {
        {NewBand<TpgwReportTitle>, 0, "ReportTitle"},
        {NewBand<TpgwReportSummary>, 1, "ReportSummary"},
        {NewBand<TpgwPageHeader>, 2, "PageHeader"},
        {NewBand<TpgwPageFooter>, 3, "PageFooter"},
        {NewBand<TpgwHeader>, 4, "Header"},
        {NewBand<TpgwFooter>, 5, "Footer"},
        {NewBand<TpgwMasterData>, 6, "MasterData"},
        {NewBand<TpgwDetailData>, 7, "DetailData"},
        {NewBand<TpgwSubdetailData>, 8, "SubdetailData"},
        {NewBand<TpgwDataBand4>, 9, "Data4"},
        {NewBand<TpgwDataBand5>, 10, "Data5"},
        {NewBand<TpgwDataBand6>, 11, "Data6"},
        {NewBand<TpgwGroupHeader>, 12, "GroupHeader"},
        {NewBand<TpgwGroupFooter>, 13, "GroupFooter"},
        {NewBand<TpgwChild>, 14, "Child"},
        {NewBand<TpgwColumnHeader>, 15, "ColumnHeader"},
        {NewBand<TpgwColumnFooter>, 16, "ColumnFooter"},
        {NewBand<TpgwOverlay>, 17, "Overlay"},
        {NewBand<TpgwNullBand>, 0, "Null"},
        {NewBand<TpgwDataBand>, 0, "Data"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TpgwBand> band(c.make(nullptr));
        EXPECT_EQ(band->BandKindIndex(), c.kind) << band->ClassName();
        EXPECT_EQ(band->ShortClassName(), c.shortName) << band->ClassName();
    }
}

// What each kind keeps in templates besides the common band properties; the other switches
// every band carries must stay out of its table.
TEST_F(Bands, EachKindPublishesItsSwitches) {
    const std::set<std::string> title = {
        "AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "StartNewPage", "Stretched"};
    std::set<std::string> header = title;
    header.insert("ReprintOnNewPage");
    std::set<std::string> data = title;
    data.insert({"Columns", "ColumnWidth", "ColumnGap", "DataSet", "DataSetName", "FooterAfterEach",
                 "KeepFooter", "KeepHeader", "KeepTogether", "OutlineText", "PrintIfDetailEmpty",
                 "RowCount", "OnMasterDetail"});
    struct Case {
        const TClassInfo& cls;
        std::set<std::string> published;
    };
    const Case cases[] = {
        {TpgwReportTitle::StaticClass(), title},
        {TpgwReportSummary::StaticClass(), title},
        {TpgwChild::StaticClass(), title},
        {TpgwHeader::StaticClass(), header},
        {TpgwFooter::StaticClass(),
         {"AllowSplit", "Child", "KeepChild", "PrintChildIfInvisible", "Stretched"}},
        {TpgwPageHeader::StaticClass(),
         {"Child", "PrintChildIfInvisible", "PrintOnFirstPage", "Stretched"}},
        {TpgwPageFooter::StaticClass(), {"PrintOnFirstPage", "PrintOnLastPage"}},
        {TpgwColumnHeader::StaticClass(), {"Child", "Stretched"}},
        {TpgwColumnFooter::StaticClass(), {}},
        {TpgwNullBand::StaticClass(), {}},
        {TpgwOverlay::StaticClass(), {"PrintOnTop"}},
        {TpgwGroupHeader::StaticClass(),
         {"AllowSplit", "Child", "Condition", "DrillDown", "DrillName", "ExpandDrillDown",
          "KeepChild", "KeepTogether", "OutlineText", "PrintChildIfInvisible", "ReprintOnNewPage",
          "ResetPageNumbers", "ShowChildIfDrillDown", "ShowFooterIfDrillDown", "StartNewPage",
          "Stretched"}},
        {TpgwGroupFooter::StaticClass(),
         {"AllowSplit", "Child", "HideIfSingleDataRecord", "KeepChild", "PrintChildIfInvisible",
          "Stretched"}},
        {TpgwMasterData::StaticClass(), data},
        {TpgwDataBand6::StaticClass(), data},
    };
    std::set<std::string> candidates;
    for (const Case& c : cases)
        candidates.insert(c.published.begin(), c.published.end());
    for (const Case& c : cases) {
        std::set<std::string> published;
        for (const std::string& name : candidates)
            if (GetPropInfo(c.cls, name)) published.insert(name);
        EXPECT_EQ(published, c.published) << c.cls.ClassName();
        for (const char* common :
             {"Left", "Top", "Width", "Height", "Font", "ParentFont", "Visible", "Restrictions",
              "Vertical", "OnBeforePrint", "OnAfterPrint", "OnAfterCalcHeight"})
            EXPECT_TRUE(GetPropInfo(c.cls, common)) << c.cls.ClassName() << "." << common;
    }
}

TEST_F(Bands, PrintOnPageSwitchesStartOn) {
    TpgwPageHeader header(nullptr);
    TpgwPageFooter footer(nullptr);
    EXPECT_TRUE(header.PrintOnFirstPage());
    EXPECT_TRUE(footer.PrintOnFirstPage());
    EXPECT_TRUE(footer.PrintOnLastPage());
    EXPECT_EQ(header.OwnObjectsCount, -1);
}

TEST_F(Bands, ChildChainsMustNotCloseOnTheBand) {
    auto* a = MakeBand<TpgwChild>(page, "A");
    auto* b = MakeBand<TpgwChild>(page, "B");
    auto* c = MakeBand<TpgwChild>(page, "C");
    auto expectCircular = [](TpgwBand* band, TpgwChild* child) {
        try {
            band->SetChild(child);
            ADD_FAILURE() << band->Name() << ".Child := " << child->Name() << " was taken";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Circular child reference is not allowed");
        }
    };
    expectCircular(a, a);
    EXPECT_EQ(a->Child(), nullptr);

    b->SetChild(a);
    expectCircular(a, b);
    EXPECT_EQ(a->Child(), nullptr) << "the old child stays";

    a->SetChild(c);
    expectCircular(c, b); // c -> b -> a -> c
    EXPECT_EQ(c->Child(), nullptr);
    a->SetChild(nullptr);
    EXPECT_EQ(a->Child(), nullptr);
    c->SetChild(b);
    EXPECT_EQ(c->Child(), b);
}

TEST_F(Bands, ATemplateWithACircularChainLoadsWithAnError) {
    TStringStream in("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<TpgwReport>"
                     "<TpgwReportPage Name=\"Page1\">"
                     "<TpgwChild Name=\"A\" Child=\"B\"/><TpgwChild Name=\"B\" Child=\"A\"/>"
                     "</TpgwReportPage></TpgwReport>");
    report.LoadFromStream(in);
    auto* a = dynamic_cast<TpgwChild*>(report.FindObject("A"));
    auto* b = dynamic_cast<TpgwChild*>(report.FindObject("B"));
    ASSERT_TRUE(a && b);
    EXPECT_TRUE((a->Child() == b) != (b->Child() == a)) << "one link of the two is kept";
    bool reported = false;
    for (int i = 0; i < report.Errors().Count(); ++i)
        reported |= report.Errors().Strings(i).find("Circular child reference is not allowed") !=
                    std::string::npos;
    EXPECT_TRUE(reported);
}

TEST_F(Bands, LinksToDestroyedObjectsAreCleared) {
    auto* master = MakeBand<TpgwMasterData>(page, "MasterData1");
    auto* child = MakeBand<TpgwChild>(page, "Child1");
    auto* data = new TpgwUserDataSet(&report);
    data->SetName("Customers");
    master->SetChild(child);
    master->SetDataSet(data);
    page->SetDataSet(data);
    delete child;
    delete data;
    EXPECT_EQ(master->Child(), nullptr);
    EXPECT_EQ(master->DataSet(), nullptr);
    EXPECT_EQ(page->DataSet(), nullptr);

    // A band outside any report hears of its child's end as well.
    TpgwHeader header(nullptr);
    auto loose = std::make_unique<TpgwChild>(nullptr);
    header.SetChild(loose.get());
    loose.reset();
    EXPECT_EQ(header.Child(), nullptr);
}

TEST_F(Bands, SnapToCharacterCellsOnDotMatrixPages) {
    struct Case {
        const char* what;
        void (TpgwComponent::*set)(double);
        double (TpgwComponent::*get)() const;
        double value;
        double expected;
    };
    const Case cases[] = {
        {"Top 40", &TpgwComponent::SetTop, &TpgwComponent::Top, 40, 34},
        {"Left 20", &TpgwComponent::SetLeft, &TpgwComponent::Left, 20, 19.2},
        {"Height 40", &TpgwComponent::SetHeight, &TpgwComponent::Height, 40, 34},
        {"Top half a cell over one", &TpgwComponent::SetTop, &TpgwComponent::Top, 25.5, 34},
        {"Left half a cell", &TpgwComponent::SetLeft, &TpgwComponent::Left, 4.8, 0},
        {"Height half a cell", &TpgwComponent::SetHeight, &TpgwComponent::Height, 8.5, 0},
        {"Top negative", &TpgwComponent::SetTop, &TpgwComponent::Top, -40, -34},
        {"Width is not snapped", &TpgwComponent::SetWidth, &TpgwComponent::Width, 20, 20},
    };
    auto* grid = new TpgwDMPPage(&report);
    for (const Case& c : cases) {
        auto* onGrid = MakeBand<TpgwMasterData>(grid);
        auto* onPaper = MakeBand<TpgwMasterData>(page);
        (onGrid->*c.set)(c.value);
        (onPaper->*c.set)(c.value);
        EXPECT_DOUBLE_EQ((onGrid->*c.get)(), c.expected) << c.what;
        EXPECT_DOUBLE_EQ((onPaper->*c.get)(), c.value) << c.what;
    }
}

TEST_F(Bands, MoveToColumn) {
    auto* band = MakeBand<TpgwMasterData>(page);
    band->SetColumns(3);
    band->SetColumnWidth(50);
    band->SetColumnGap(10);
    band->MoveToColumn(3);
    EXPECT_EQ(band->CurColumn(), 3);
    EXPECT_DOUBLE_EQ(band->Left(), 120);
    band->ColumnHeights = {5, 6, 7};
    band->MoveToColumn(2);
    EXPECT_DOUBLE_EQ(band->Left(), 60);
    EXPECT_EQ(band->ColumnHeights[0], 5) << "a row goes on";
    band->MoveToColumn(4);
    EXPECT_EQ(band->CurColumn(), 1);
    EXPECT_DOUBLE_EQ(band->Left(), 0);
    EXPECT_EQ(band->ColumnHeights, (std::array<double, 3>{0, 0, 0})) << "a new row starts";
}

TEST_F(Bands, DataSetByUserNameAndRowCount) {
    auto* data = new TpgwUserDataSet(&report);
    data->SetName("Customers1");
    data->SetUserName("Customers");
    auto* band = MakeBand<TpgwMasterData>(page);
    band->SetDataSetName("customers");
    EXPECT_EQ(band->DataSet(), data);
    EXPECT_EQ(band->DataSetName(), "Customers") << "the data set's own user name";
    band->SetDataSetName("Orders");
    EXPECT_EQ(band->DataSet(), nullptr);
    EXPECT_EQ(band->DataSetName(), "Orders");
    band->SetDataSet(data);
    EXPECT_EQ(band->DataSetName(), "Customers");
    band->SetDataSet(nullptr);
    EXPECT_EQ(band->DataSetName(), "");

    band->SetRowCount(5);
    ASSERT_TRUE(band->VirtualDataSet());
    EXPECT_EQ(band->VirtualDataSet()->RangeEnd(), reCount);
    EXPECT_EQ(band->VirtualDataSet()->RangeEndCount(), 5);
    EXPECT_TRUE(band->Objects().empty()) << "the virtual data set is no child of the band";
}

TEST_F(Bands, GroupHeaderWritesItsDrillNameEscaped) {
    TpgwGroupHeader reference(nullptr);
    TpgwGroupHeader group(nullptr);
    group.SetDrillName("a\"<b");
    EXPECT_EQ(group.ChangedAttributes(&reference), " t=\"0\"");
    group.SetDrillDown(true);
    EXPECT_EQ(group.ChangedAttributes(&reference), " t=\"0\" DrillName=\"a&#34;&#60;b\"");
}

TEST_F(Bands, EveryKindSurvivesObjectText) {
    auto* child = MakeBand<TpgwChild>(page, "Child1");
    auto* data = new TpgwUserDataSet(&report);
    data->SetName("Customers");
    std::vector<TpgwBand*> bands = {
        MakeBand<TpgwReportTitle>(page),   MakeBand<TpgwReportSummary>(page),
        MakeBand<TpgwPageHeader>(page),    MakeBand<TpgwPageFooter>(page),
        MakeBand<TpgwHeader>(page),        MakeBand<TpgwFooter>(page),
        MakeBand<TpgwMasterData>(page),    MakeBand<TpgwDetailData>(page),
        MakeBand<TpgwSubdetailData>(page), MakeBand<TpgwDataBand4>(page),
        MakeBand<TpgwDataBand5>(page),     MakeBand<TpgwDataBand6>(page),
        MakeBand<TpgwGroupHeader>(page),   MakeBand<TpgwGroupFooter>(page),
        MakeBand<TpgwChild>(page),         MakeBand<TpgwColumnHeader>(page),
        MakeBand<TpgwColumnFooter>(page),  MakeBand<TpgwOverlay>(page),
        MakeBand<TpgwNullBand>(page)};
    for (TpgwBand* band : bands) {
        band->SetBounds(1.5, 20.25, 700, 40);
        band->SetVertical(true);
        band->OnBeforePrint = "BandBefore";
        band->OnAfterCalcHeight = "BandHeight";
        // Every published Boolean switched away from its default, and the other kinds' values.
        for (const TPropInfo* info : band->ClassType().Properties()) {
            if (info->PropType().IsBoolean() && info->HasDefault() && info->Name() != "Visible")
                SetOrdProp(*band, *info, info->DefaultValue() ? 0 : 1);
        }
        for (auto [name, value] : {std::pair{"Condition", "[Customers.\"Name\"]"},
                                   {"DrillName", "Drill"},
                                   {"OutlineText", "[Line#]"},
                                   {"OnMasterDetail", "Detail"}})
            if (const TPropInfo* info = GetPropInfo(*band, name)) SetStrProp(*band, *info, value);
        if (GetPropInfo(*band, "Child")) band->SetChild(child);
        if (auto* d = dynamic_cast<TpgwDataBand*>(band)) {
            d->SetColumns(2);
            d->SetColumnWidth(80.5);
            d->SetColumnGap(3);
            d->SetRowCount(4);
            d->SetDataSet(data);
        }
    }
    bands.push_back(child);
    TMemoryStream unused;
    for (TpgwBand* band : bands) {
        TpgwXMLSerializer writer(unused);
        writer.SetOwner(&report);
        const std::string text = writer.ObjectToText(band);
        TpgwXMLSerializer reader(unused);
        reader.SetOwner(&report);
        std::unique_ptr<TpgwComponent> copy(reader.ObjectFromText(nullptr, text, false));
        ASSERT_TRUE(copy) << text;
        EXPECT_EQ(copy->ClassType().ClassName(), band->ClassName());
        TpgwXMLSerializer again(unused);
        again.SetOwner(&report);
        EXPECT_EQ(again.ObjectToText(copy.get()), text);
        EXPECT_EQ(reader.Errors().Count(), 0) << text;
        auto* copied = dynamic_cast<TpgwBand*>(copy.get());
        EXPECT_EQ(copied->Child(), band->Child()) << text;
        if (auto* d = dynamic_cast<TpgwDataBand*>(copied)) {
            EXPECT_EQ(d->DataSet(), data);
            EXPECT_EQ(d->VirtualDataSet()->RangeEndCount(), 4);
        }
    }
}

// ---- the subreport -------------------------------------------------------------------------

TEST_F(Bands, SubreportLooksAndTraits) {
    TpgwSubreport subreport(nullptr);
    EXPECT_FALSE(subreport.ObjectTraits() & TpgwObjectTraits::ShownInPreview);
    EXPECT_EQ(subreport.Frame()->Typ(), ftAll);
    EXPECT_EQ(subreport.Font()->Name(), "Tahoma");
    EXPECT_EQ(subreport.Font()->Size(), 8);
    EXPECT_EQ(subreport.Color(), 0xC0C0C0);
}

TEST_F(Bands, SubreportAndPageLinksClearFromEitherSide) {
    auto* band = MakeBand<TpgwMasterData>(page, "MasterData1");
    auto* inner = MakeBand<TpgwReportPage>(&report, "Page2");
    auto* other = MakeBand<TpgwReportPage>(&report, "Page3");
    auto* subreport = new TpgwSubreport(band);
    subreport->SetPage(inner);
    EXPECT_EQ(inner->Subreport(), subreport);
    EXPECT_TRUE(inner->BelongsToSubreport());
    EXPECT_FALSE(page->BelongsToSubreport());

    subreport->SetPage(other);
    EXPECT_EQ(inner->Subreport(), nullptr) << "the page left behind is top-level again";
    EXPECT_EQ(other->Subreport(), subreport);

    delete other;
    EXPECT_EQ(subreport->Page(), nullptr);
    subreport->SetPage(inner);
    delete subreport;
    EXPECT_EQ(inner->Subreport(), nullptr);
    EXPECT_FALSE(inner->BelongsToSubreport());
}

TEST_F(Bands, SubreportSurvivesObjectTextWithItsPage) {
    auto* band = MakeBand<TpgwMasterData>(page, "MasterData1");
    auto* inner = MakeBand<TpgwReportPage>(&report, "Page2");
    auto* subreport = new TpgwSubreport(band);
    subreport->SetName("Subreport1");
    subreport->SetBounds(10, 5, 200, 40);
    subreport->SetPage(inner);
    subreport->SetPrintOnParent(true);
    TMemoryStream unused;
    TpgwXMLSerializer writer(unused);
    writer.SetOwner(&report);
    const std::string text = writer.ObjectToText(subreport);
    EXPECT_NE(text.find(" Page=\"Page2\""), std::string::npos) << text;
    TpgwXMLSerializer reader(unused);
    reader.SetOwner(&report);
    std::unique_ptr<TpgwComponent> copy(reader.ObjectFromText(nullptr, text, false));
    auto* copied = dynamic_cast<TpgwSubreport*>(copy.get());
    ASSERT_TRUE(copied) << text;
    EXPECT_EQ(copied->Page(), inner);
    EXPECT_TRUE(copied->PrintOnParent());
    EXPECT_EQ(inner->Subreport(), copied) << "the last subreport given the page";
    EXPECT_EQ(writer.ObjectToText(copied), text);
    copy.reset();
    EXPECT_EQ(inner->Subreport(), nullptr);
}

TEST_F(Bands, SubreportDrawsItsBoxAndName) {
    auto* band = MakeBand<TpgwMasterData>(page, "MasterData1");
    auto* subreport = new TpgwSubreport(band);
    subreport->SetName("Subreport1");
    subreport->SetBounds(4, 3, 120, 30);
    for (int scale : {1, 2}) {
        TRasterCanvas canvas(130 * scale, 36 * scale);
        subreport->Draw(canvas, scale, scale, 0, 0);
        EXPECT_TRUE(
            golden::MatchesGolden(canvas.ToImage(), "subreport_scale" + std::to_string(scale)));
    }
}

} // namespace
