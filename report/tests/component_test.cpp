// The report object tree: ownership and parents, fonts that follow the parent, names, lookups,
// copies through the template stream, changed attributes and child alignment.

#include "report/component.h"

#include <gtest/gtest.h>

#include "platform/graphics/gui_application.h"
#include "platform/graphics/raster_canvas.h"
#include "report/data_set.h"
#include "report/resources.h"
#include "report/tests/tree_doubles.h"

namespace {

class Tree : public ::testing::Test {
protected:
    void SetUp() override { RegisterTreeDoubles(); }
    TTestReport report{nullptr};
};

TEST_F(Tree, ChildrenJoinTheirParentAndTheReportOwnsThem) {
    auto* band = new TTestBand(&report);
    auto* memo1 = new TTestMemo(band);
    auto* memo2 = new TTestMemo(band);
    EXPECT_EQ(band->Objects(), (std::vector<TpgwComponent*>{memo1, memo2}));
    EXPECT_EQ(memo1->Parent(), band);
    EXPECT_EQ(memo1->Owner(), &report);
    EXPECT_EQ(memo1->Report(), &report);

    // Without a report above, there is no platform owner; the parent still frees the child.
    TTestBand loose(nullptr);
    auto* orphan = new TTestMemo(&loose);
    EXPECT_EQ(orphan->Owner(), nullptr);
    EXPECT_EQ(orphan->Parent(), &loose);

    // Moving to another parent; a parent inside the own subtree is refused.
    memo1->SetParent(&report);
    EXPECT_EQ(band->Objects(), (std::vector<TpgwComponent*>{memo2}));
    EXPECT_EQ(report.Objects().back(), memo1);
    EXPECT_THROW(band->SetParent(memo2), EComponentError);

    delete memo2;
    EXPECT_TRUE(band->Objects().empty());
}

TEST_F(Tree, AllObjectsIsPreOrderAndFindObjectIgnoresCase) {
    auto* page = new TTestPaperPage(&report);
    auto* band = new TTestBand(page);
    auto* memo = new TTestMemo(band);
    auto* band2 = new TTestBand(page);
    memo->SetName("Memo1");
    EXPECT_EQ(report.AllObjects(), (std::vector<TpgwComponent*>{page, band, memo, band2}));
    EXPECT_EQ(report.FindObject("MEMO1"), memo);
    EXPECT_EQ(band2->FindObject("Memo1"), nullptr);
    EXPECT_EQ(memo->Page(), nullptr) << "the double page is not a TpgwPage";
}

TEST_F(Tree, FontsFollowTheParentDownTheTree) {
    TTestBand loose(nullptr);
    loose.SetParentFont(true);
    EXPECT_TRUE(loose.ParentFont());

    auto* page = new TTestPaperPage(&report);
    auto* band = new TTestBand(page);
    auto* memo = new TTestMemo(band);
    auto* own = new TTestMemo(band);
    own->Font()->SetName("Courier New");
    EXPECT_FALSE(own->ParentFont());

    page->Font()->SetSize(14);
    EXPECT_FALSE(page->ParentFont());
    EXPECT_EQ(memo->Font()->Size(), 14);
    EXPECT_TRUE(memo->ParentFont());
    EXPECT_EQ(own->Font()->Size(), 10);

    // A new parent's font is taken at once.
    auto* moved = new TTestMemo(&report);
    moved->SetParent(band);
    EXPECT_EQ(moved->Font()->Size(), 14);
}

TEST_F(Tree, NamesAreUniqueInTheReport) {
    auto* a = new TTestMemo(&report);
    a->SetName("Memo1");
    auto* b = new TTestMemo(&report);
    b->SetName("Memo3");
    auto* c = new TTestMemo(&report);
    c->SetNameStem("Memo");
    c->MakeUniqueName();
    EXPECT_EQ(c->Name(), "Memo2");

    b->SetName("memo2x");
    auto* d = new TTestMemo(&report);
    d->SetName("memo4");
    auto* e = new TTestMemo(&report);
    e->SetNameStem("Memo");
    e->MakeUniqueName();
    EXPECT_EQ(e->Name(), "Memo3");

    // A change of letter case alone is not applied; another object's name raises.
    a->SetName("MEMO1");
    EXPECT_EQ(a->Name(), "Memo1");
    try {
        b->SetName("memo1");
        ADD_FAILURE() << "duplicate accepted";
    } catch (const EComponentError& err) {
        EXPECT_EQ(err.Message(), GetResources().GetText("prDupl"));
    }
    EXPECT_EQ(b->Name(), "memo2x");

    a->SetInherited(true);
    EXPECT_THROW(a->SetName("Other"), EComponentError);

    TpgwUserDataSet stemmed(nullptr);
    EXPECT_EQ(stemmed.NameStem(), "UserDataSet");
}

TEST_F(Tree, AbsolutePositionsStopAtTheRoot) {
    auto* band = new TTestBand(&report);
    band->SetBounds(10, 20, 100, 50);
    auto* memo = new TTestMemo(band);
    memo->SetBounds(1, 2, 3, 4);
    EXPECT_DOUBLE_EQ(memo->AbsLeft(), 11 + report.Left());
    EXPECT_DOUBLE_EQ(memo->AbsTop(), 22 + report.Top());
    EXPECT_EQ(memo->AbsoluteRect().Right, memo->AbsLeft() + 3);
}

TEST_F(Tree, AssignCopiesPropertiesAndCopyFromChildrenToo) {
    auto* source = new TTestBand(&report);
    source->SetBounds(1, 2, 300, 40);
    auto* child = new TTestMemo(source);
    child->text = u"hello";

    auto* target = new TTestBand(&report);
    new TTestMemo(target);
    target->Assign(source);
    EXPECT_DOUBLE_EQ(target->Width(), 300);
    EXPECT_TRUE(target->Objects().empty());

    target->CopyFrom(source);
    ASSERT_EQ(target->Objects().size(), 1u);
    EXPECT_EQ(dynamic_cast<TTestMemo*>(target->Objects()[0])->text, u"hello");
}

TEST_F(Tree, ChangedAttributesListOnlyDifferences) {
    TTestMemo a(nullptr), b(nullptr);
    a.SetBounds(1, 2, 3, 4);
    b.SetBounds(1, 2, 3, 4);
    EXPECT_EQ(a.BaseChangedAttributes(&b), "");
    a.SetLeft(1.5);
    a.SetVisible(false);
    a.Font()->SetStyle(TFontStyles{fsBold, fsUnderline});
    a.SetTag(7);
    EXPECT_EQ(a.BaseChangedAttributes(&b),
              " l=\"1.5\" Visible=\"0\" Font.Style=\"5\" ParentFont=\"0\" Tag=\"7\"");
    EXPECT_EQ(a.FullAttributeText(nullptr).rfind("Tag=\"7\" Left=\"1.5\"", 0), 0u)
        << a.FullAttributeText(nullptr);
}

TEST_F(Tree, DesignRestrictionsHoldOnlyForDesignerObjects) {
    auto* memo = TpgwComponent::CreateInDesigner(TTestMemo::StaticClass(), &report);
    memo->SetRestrictions(1u << rfDontMove | 1u << rfDontSize);
    memo->SetBounds(5, 5, 5, 5);
    EXPECT_DOUBLE_EQ(memo->Left(), 0);
    EXPECT_DOUBLE_EQ(memo->Width(), 0);
    auto* plain = new TTestMemo(&report);
    plain->SetRestrictions(1u << rfDontMove);
    plain->SetLeft(5);
    EXPECT_DOUBLE_EQ(plain->Left(), 5);
}

TEST_F(Tree, AlignChildrenPlacesViewsByNeighbours) {
    struct Row {
        double left, top, width;
        int align;
    };
    struct Case {
        const char* name;
        std::vector<Row> rows;
        std::vector<double> lefts, widths;
    };
    const Case cases[] = {
        {"two left-aligned views end up touching",
         {{100, 0, 20, baLeft}, {50, 0, 10, baLeft}},
         {10, 0},
         {20, 10}},
        {"a width view stretches to its right neighbour",
         {{0, 0, 10, baLeft}, {50, 0, 10, baWidth}, {200, 0, 50, baNone}},
         {0, 10, 200},
         {10, 190, 50}},
        {"a view in another row is no neighbour",
         {{50, 0, 10, baLeft}, {100, 50, 10, baLeft}},
         {0, 0},
         {10, 10}},
        {"right, centre and client",
         {{0, 0, 100, baRight}, {0, 50, 100, baCenter}, {3, 80, 3, baClient}},
         {400, 200, 0},
         {100, 100, 500}},
    };
    for (const Case& c : cases) {
        TTestBand band(nullptr);
        band.SetBounds(0, 0, 500, 100);
        std::vector<TTestView*> views;
        for (const Row& r : c.rows) {
            auto* v = new TTestView(&band);
            v->SetBounds(r.left, r.top, r.width, 20);
            v->align = r.align;
            views.push_back(v);
        }
        band.AlignChildren();
        std::vector<double> lefts, widths;
        for (auto* v : views) {
            lefts.push_back(v->Left());
            widths.push_back(v->Width());
        }
        EXPECT_EQ(lefts, c.lefts) << c.name;
        EXPECT_EQ(widths, c.widths) << c.name;
    }
}

TEST_F(Tree, DialogComponentsDrawAsAFixedIconWithTheirName) {
    EnsureGuiApplication();
    auto* ds = new TpgwUserDataSet(&report);
    ds->SetName("Users");
    ds->SetBounds(10, 10, 100, 100);
    EXPECT_EQ(ds->ObjectTraits() & TpgwObjectTraits::ShownInPreview, 0);
    TRasterCanvas canvas(120, 80);
    ds->Draw(canvas, 3, 3, 50, 50);
    EXPECT_DOUBLE_EQ(ds->Width(), 28);
    EXPECT_EQ(canvas.Pixel(20, 20), canvas.Pixel(30, 30)) << "face filled";
    EXPECT_NE(canvas.Pixel(20, 20), clWhite);
    EXPECT_EQ(canvas.Pixel(60, 20), clWhite) << "nothing drawn beyond 28 units";
    // The name goes below the icon (where exactly is the canvas's business).
    bool text = false;
    for (int y = 0; y < 80 && !text; ++y)
        for (int x = 0; x < 120 && !text; ++x)
            text = canvas.Pixel(x, y) != clWhite && !(x >= 10 && x < 38 && y >= 10 && y < 38);
    EXPECT_TRUE(text) << "the name is written";
}

} // namespace
