// The cross-tab layout: sizes of header and data cells from the inner memos, and where every
// node of the corner, the column header and the row header lies. The edge cases measure with
// memos of fixed metrics; four tables measured with real fonts are compared with goldens.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "objects/cross_view.h"
#include "objects/tests/cross_fixture.h"
#include "report/band.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/page.h"

namespace {

// A memo whose text is 7 units a character wide and 15 a line high, wrapped at its width,
// plus its gaps: layout numbers that are exact and need no font.
template <class Base> class MetricMemo : public Base {
public:
    MetricMemo() : Base(nullptr) {}
    double CalcWidth() override {
        std::size_t widest = 0;
        for (int i = 0; i < this->Memo()->Count(); ++i)
            widest = std::max(widest, this->Memo()->StringRef(i).size());
        return 7.0 * static_cast<double>(widest) + 2 * this->GapX();
    }
    double CalcHeight() override {
        const double room = std::max(1.0, this->Width() - 2 * this->GapX());
        int lines = 0;
        for (int i = 0; i < this->Memo()->Count(); ++i) {
            const double need = 7.0 * static_cast<double>(this->Memo()->StringRef(i).size());
            lines += this->WordWrap() ? std::max(1, static_cast<int>(std::ceil(need / room))) : 1;
        }
        return 15.0 * lines + 2 * this->GapY();
    }
};

using MetricMemoView = MetricMemo<TpgwMemoView>;
using MetricDMPMemoView = MetricMemo<TpgwDMPMemoView>;

template <class F> void ForEachList(const TpgwCustomCrossView& cross, F f) {
    for (const auto* list : {&cross.CellMemos(), &cross.CellHeaderMemos(), &cross.ColumnMemos(),
                             &cross.ColumnTotalMemos(), &cross.CornerMemos(), &cross.RowMemos(),
                             &cross.RowTotalMemos()})
        f(const_cast<TpgwCustomCrossView::MemoList&>(*list));
}

// Puts metric memos, with the formatting of the object's own and no gaps, in place of the
// inner memos; done after the levels are set.
void UseMetricMemos(TpgwCustomCrossView& cross) {
    ForEachList(cross, [](TpgwCustomCrossView::MemoList& list) {
        for (auto& memo : list) {
            auto metric = std::make_unique<MetricMemoView>();
            metric->Assign(memo.get());
            metric->SetMemo(memo->Memo()); // the text is not among the copied properties
            metric->SetGapX(0);
            metric->SetGapY(0);
            memo = std::move(metric);
        }
    });
}

std::string Spans(const std::vector<TpgwCrossHeader*>& nodes, bool widths) {
    std::string out;
    for (const TpgwCrossHeader* n : nodes)
        out += (out.empty() ? "" : " ") + Num(widths ? n->Place.Right : n->Place.Bottom);
    return out;
}

std::string ColumnWidths(TpgwCustomCrossView& c) {
    return Spans(c.ColumnHeader()->LeafNodes(), true);
}
std::string RowHeights(TpgwCustomCrossView& c) {
    return Spans(c.RowHeader()->LeafNodes(), false);
}

class CrossLayout : public ::testing::Test {
protected:
    // Levels first, then the metric memos, then whatever the case changes.
    void Make(int rows, int columns, int cells = 1) {
        cross.SetRowLevels(rows);
        cross.SetColumnLevels(columns);
        cross.SetCellLevels(cells);
        UseMetricMemos(cross);
    }
    void Fill(const std::vector<std::tuple<TpgwVariantArray, TpgwVariantArray, Variant>>& data) {
        cross.BeginMatrix();
        for (const auto& [r, c, v] : data)
            cross.AddValue(r, c, {v});
        cross.CompleteMatrix();
    }
    TpgwCrossView cross{nullptr};
};

TEST_F(CrossLayout, FixedSizesComeFromTheMemosWithinTheWidthLimits) {
    Make(1, 1);
    cross.SetAutoSize(false);
    cross.SetMinWidth(45);
    cross.SetMaxWidth(120);
    ForEachList(cross, [](TpgwCustomCrossView::MemoList& list) {
        for (auto& memo : list)
            memo->SetBounds(0, 0, 50, 20);
    });
    cross.ColumnMemos()[0]->SetWidth(30);       // below MinWidth
    cross.ColumnTotalMemos()[0]->SetWidth(300); // above MaxWidth
    cross.RowMemos()[0]->SetHeight(25);
    int widthCalls = 0, heightCalls = 0;
    cross.HostCalcWidth = [&](int, const Variant&, double&) { ++widthCalls; };
    cross.HostCalcHeight = [&](int, const Variant&, double&) { ++heightCalls; };
    Fill({{{"a"}, {"x"}, 123456789}, {{"b"}, {"y"}, 1}});

    EXPECT_EQ(ColumnWidths(cross), "45 45 120");
    EXPECT_EQ(RowHeights(cross), "25 25 20");
    EXPECT_EQ(widthCalls, 0);
    EXPECT_EQ(heightCalls, 3);
    EXPECT_EQ(cross.RowHeaderWidth(), 50);
    EXPECT_EQ(cross.ColumnHeaderHeight(), 40); // title row and one level row
}

TEST_F(CrossLayout, MeasuredCellsSizeTheirColumnsAndRows) {
    struct Case {
        const char* name;
        int maxWidth, minWidth, defHeight;
        double addWidth, addHeight;
        Variant value;
        const char* widths;  // data column, grand total column
        const char* heights; // data row, grand total row
    };
    const std::vector<Case> cases = {
        // "12345" is 35 wide; the captions "x" and "Grand Total" (77) set the other sizes.
        {"natural", 200, 0, 0, 0, 0, 12345, "35 77", "15 15"},
        {"added room", 200, 0, 0, 4, 6, 12345, "39 77", "21 15"},
        {"at least MinWidth", 200, 50, 0, 0, 0, 12345, "50 77", "15 15"},
        // Wider than MaxWidth: cut to it, the text wraps to three lines ("Grand Total" to two).
        {"wraps at MaxWidth", 70, 0, 0, 0, 0, "abcdefghijklmnopqrstu", "70 70", "45 30"},
        {"fixed height", 200, 0, 20, 0, 0, "a\r\nb\r\nc", "7 77", "20 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TpgwCrossView view(nullptr);
        UseMetricMemos(view);
        view.SetCellFunctions(0, cfNone);
        view.SetMaxWidth(c.maxWidth);
        view.SetMinWidth(c.minWidth);
        view.SetDefHeight(c.defHeight);
        view.SetAddWidth(c.addWidth);
        view.SetAddHeight(c.addHeight);
        view.BeginMatrix();
        view.AddValue({"r"}, {"x"}, {c.value});
        view.CompleteMatrix();
        EXPECT_EQ(ColumnWidths(view), c.widths);
        EXPECT_EQ(RowHeights(view), c.heights);
    }
}

TEST_F(CrossLayout, WidthAndHeightEventsOverrideTheMeasuredSizes) {
    Make(1, 1);
    cross.SetCellFunctions(0, cfNone);
    std::vector<std::string> seen;
    cross.HostCalcWidth = [&](int index, const Variant& key, double& width) {
        seen.push_back("w" + std::to_string(index) + VarToStr(VarArrayGet(key, {0})) + Num(width));
        if (index == 0) width = 0; // hides column x
        if (index == 1) width = 60;
    };
    cross.HostCalcHeight = [&](int index, const Variant&, double& height) {
        seen.push_back("h" + std::to_string(index) + "=" + Num(height));
        if (index == 1) height += 1;
    };
    // The hidden column's three lines make no row taller.
    Fill({{{"r"}, {"x"}, "1\r\n2\r\n3"}, {{"r"}, {"y"}, "1"}});
    EXPECT_EQ(ColumnWidths(cross), "0 60 77");
    EXPECT_EQ(RowHeights(cross), "15 16");
    const std::vector<std::string> expected = {"w0x200", "w1y200", "w2@@@200", "h0=15",
                                               "w0x200", "w1y200", "w2@@@200", "h1=15"};
    EXPECT_EQ(seen, expected);
}

TEST_F(CrossLayout, ExtraHeaderWidthGoesToTheLastChild) {
    Make(1, 2);
    cross.ColumnTotalMemos()[1]->SetVisible(false);
    Fill({{{"r"}, {"a wide group caption", 1}, 1}, {{"r"}, {"a wide group caption", 2}, 2}});
    // The caption is 140 wide, its two columns 7 each: the last one takes the rest.
    EXPECT_EQ(ColumnWidths(cross), "7 133 77");
    TpgwCrossHeader* group = cross.ColumnHeader()->Children[0].get();
    EXPECT_EQ(group->Place.Right, 140);
}

TEST_F(CrossLayout, TallTotalCaptionsGrowTheDeepestLevel) {
    Make(1, 2);
    cross.ColumnTotalMemos()[0]->SetText("G\r\nr\r\nand");
    Fill({{{"r"}, {"g", 1}, 1}});
    // Title 15, level rows 15 and 15; the grand total spans both and needs 45.
    TpgwCrossHeader* grand = cross.ColumnHeader()->LeafNodes()[2];
    ASSERT_TRUE(grand->Total);
    EXPECT_EQ(grand->Place.Top, 15);
    EXPECT_EQ(grand->Place.Bottom, 45);
    EXPECT_EQ(cross.ColumnHeader()->LeafNodes()[1]->Place.Bottom, 30); // the subtotal
    EXPECT_EQ(cross.ColumnHeader()->LeafNodes()[0]->Place.Top, 30);
    EXPECT_EQ(cross.ColumnHeader()->LeafNodes()[0]->Place.Bottom, 30);
    EXPECT_EQ(cross.ColumnHeaderHeight(), 60);
}

TEST_F(CrossLayout, TallRowCaptionsInTheCornerGrowTheColumnHeader) {
    struct Case {
        int columnLevels;
        const char* levelHeights; // top and height of the column leaves' levels
        double headerHeight;
    };
    const std::vector<Case> cases = {
        // One level: the title row grows by the difference.
        {1, "45+15", 60},
        // Two levels: both level rows grow by half the difference each.
        {2, "15+22.5 37.5+22.5", 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columnLevels);
        TpgwCrossView view(nullptr);
        view.SetColumnLevels(c.columnLevels);
        UseMetricMemos(view);
        view.CornerMemos()[3]->SetText("R\r\no\r\nw");
        view.BeginMatrix();
        TpgwVariantArray columns(static_cast<std::size_t>(c.columnLevels), Variant("c"));
        view.AddValue({"r"}, columns, {1});
        view.CompleteMatrix();
        std::string levels;
        TpgwCrossHeader* node = view.ColumnHeader();
        while (!node->Children.empty()) {
            node = node->Children[0].get();
            levels +=
                (levels.empty() ? "" : " ") + Num(node->Place.Top) + "+" + Num(node->Place.Bottom);
        }
        EXPECT_EQ(levels, c.levelHeights);
        EXPECT_EQ(view.ColumnHeaderHeight(), c.headerHeight);
        // The caption ends where the column header does.
        const TpgwCrossHeader* caption = view.Corner()->Children[0].get();
        EXPECT_EQ(caption->Place.Top + caption->Place.Bottom, c.headerHeight);
    }
}

TEST_F(CrossLayout, MemoMeasuresWithItsKindAndRotation) {
    struct Case {
        const char* name;
        bool dotMatrix;
        int rotation;
        double width, height;
    };
    const std::vector<Case> cases = {
        {"plain", false, 0, 21, 30},
        {"rotated 90", false, 90, 30, 21},
        {"rotated 270", false, 270, 30, 21},
        {"rotated 180", false, 180, 21, 30},
        {"dot-matrix", true, 0, 21 + pg1CharX, 30 + pg1CharY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TpgwCustomMemoView> memo;
        if (c.dotMatrix)
            memo = std::make_unique<MetricDMPMemoView>();
        else
            memo = std::make_unique<MetricMemoView>();
        memo->SetGapX(0);
        memo->SetGapY(0);
        memo->SetBounds(0, 0, 96, 34);
        memo->SetText("abc\r\nd");
        memo->SetRotation(c.rotation);
        const TpgwPoint size = CrossMeasureMemo(memo.get());
        EXPECT_DOUBLE_EQ(size.X, c.width);
        EXPECT_DOUBLE_EQ(size.Y, c.height);
        EXPECT_DOUBLE_EQ(memo->Height(), 34); // put back
    }
}

TEST_F(CrossLayout, CellTextsAndRotationArePutBackAfterMeasuring) {
    Make(1, 1);
    cross.CellMemos()[0]->SetText("kept");
    cross.CellMemos()[0]->SetRotation(90);
    cross.ColumnMemos()[0]->SetText("caption");
    Fill({{{"r"}, {"x"}, 123456}});
    EXPECT_EQ(cross.CellMemos()[0]->Text(), "kept\r\n");
    EXPECT_EQ(cross.CellMemos()[0]->Rotation(), 90);
    EXPECT_EQ(cross.ColumnMemos()[0]->Text(), "caption\r\n");
    // The cell measures unrotated: six digits wide, one line high.
    EXPECT_EQ(ColumnWidths(cross), "42 77");
    EXPECT_EQ(RowHeights(cross), "15 15");
}

TEST_F(CrossLayout, EmptyDimensionsTakeNoRoom) {
    Make(0, 1);
    Fill({{{}, {"x"}, 1}});
    EXPECT_EQ(cross.RowHeaderWidth(), 0);
    EXPECT_GT(cross.ColumnHeaderHeight(), 0);

    TpgwCrossView noMatrix(nullptr);
    EXPECT_EQ(noMatrix.ColumnHeaderHeight(), 0);
    EXPECT_EQ(noMatrix.RowHeaderWidth(), 0);

    TpgwCrossView hidden(nullptr);
    UseMetricMemos(hidden);
    hidden.SetShowColumnHeader(false);
    hidden.BeginMatrix();
    hidden.AddValue({"r"}, {"x"}, {1});
    hidden.CompleteMatrix();
    EXPECT_EQ(hidden.ColumnHeaderHeight(), 0);
    EXPECT_EQ(hidden.RowHeaderWidth(), 77);
}

// ---- golden layouts, measured with real fonts -------------------------------------------------

std::string Quote(const Variant& v) {
    std::string text = v.IsNull() ? "null" : VarToStr(v);
    std::string out;
    for (char ch : text) {
        if (ch == '\r') continue;
        out += ch == '\n' ? '|' : ch;
    }
    return "'" + out + "'";
}

void DumpHeader(std::ostringstream& out, const char* title, TpgwCrossHeader* root) {
    out << title << (root->Shown ? "" : " (hidden)") << "\n";
    for (TpgwCrossHeader* node : root->NodesWithMemo()) {
        const char* kind = !node->ParentNode   ? "root"
                           : node->CellCaption ? "cell"
                           : node->Total       ? "total"
                                               : "data";
        out << "  " << std::string(static_cast<std::size_t>(node->Depth() + 1) * 2, ' ') << kind
            << " " << node->Depth() << " " << Quote(node->KeyValue) << " @ "
            << Num(node->Place.Left) << "," << Num(node->Place.Top) << " " << Num(node->Place.Right)
            << "x" << Num(node->Place.Bottom) << "\n";
    }
}

std::string DumpLayout(TpgwCustomCrossView& cross) {
    std::ostringstream out;
    out << "column header height " << Num(cross.ColumnHeaderHeight()) << ", row header width "
        << Num(cross.RowHeaderWidth()) << "\n";
    DumpHeader(out, "corner", cross.Corner());
    DumpHeader(out, "columns", cross.ColumnHeader());
    DumpHeader(out, "rows", cross.RowHeader());
    return out.str();
}

// The rules every finished layout keeps, whatever the fonts: children tile their parent, the
// leaves reach the far edge, the corner matches both headers.
std::vector<std::string> LayoutFaults(TpgwCustomCrossView& cross) {
    std::vector<std::string> faults;
    auto near = [](double a, double b) { return std::abs(a - b) < 1e-6; };
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) faults.push_back(what);
    };
    struct Side {
        TpgwCrossHeader* root;
        bool columns;
    };
    for (const Side& side : {Side{cross.ColumnHeader(), true}, Side{cross.RowHeader(), false}}) {
        const double extent = side.columns ? cross.ColumnHeaderHeight() : cross.RowHeaderWidth();
        std::vector<TpgwCrossHeader*> nodes{side.root};
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            TpgwCrossHeader* n = nodes[i];
            const std::string name = (side.columns ? "column " : "row ") + Quote(n->KeyValue);
            const TpgwRect& p = n->Place;
            double along = side.columns ? p.Left : p.Top;
            for (auto& child : n->Children) {
                const TpgwRect& c = child->Place;
                check(near(side.columns ? c.Left : c.Top, along), name + ": child not in line");
                check(near(side.columns ? c.Top : c.Left,
                           side.columns ? p.Top + p.Bottom : p.Left + p.Right),
                      name + ": child not below/beside it");
                along += side.columns ? c.Right : c.Bottom;
                nodes.push_back(child.get());
            }
            if (!n->Children.empty())
                check(near(along, side.columns ? p.Left + p.Right : p.Top + p.Bottom) ||
                          (!n->ParentNode && !side.columns),
                      name + ": children do not fill it");
            if (n->Children.empty() && n->ParentNode && (side.columns || !cross.RowLevelsEmpty()))
                check(near(side.columns ? p.Top + p.Bottom : p.Left + p.Right, extent),
                      name + ": leaf stops short of the edge");
        }
    }
    if (cross.Corner()->Shown) {
        double x = 0;
        for (auto& caption : cross.Corner()->Children) {
            const TpgwRect& c = caption->Place;
            check(near(c.Left, x), "corner caption not in line");
            check(near(c.Top + c.Bottom, cross.ColumnHeaderHeight()),
                  "corner caption does not end at the column header's bottom");
            x += c.Right;
        }
        check(near(x, cross.RowHeaderWidth()), "corner captions not as wide as the row header");
    }
    return faults;
}

void ExpectGolden(const std::string& name, const std::string& text) {
    ExpectCrossGolden("layout", name, text);
}

void PinFonts(TpgwCustomCrossView& cross, const char* face, int size) {
    ForEachList(cross, [&](TpgwCustomCrossView::MemoList& list) {
        for (auto& memo : list) {
            memo->Font()->SetName(face);
            memo->Font()->SetSize(size);
        }
    });
}

class CrossLayoutGolden : public EngineFixture {};

TEST_F(CrossLayoutGolden, TwoLevelsEachWayWithStackedCellLevels) {
    TpgwCrossView cross(nullptr);
    cross.SetName("Cross1");
    cross.SetRowLevels(2);
    cross.SetColumnLevels(2);
    cross.SetCellLevels(2);
    cross.SetCellFunctions(1, cfAvg);
    cross.CornerMemos()[0]->SetText("Findings");
    cross.CornerMemos()[1]->SetText("Exams by quarter");
    cross.CornerMemos()[2]->SetText("Value");
    cross.CornerMemos()[3]->SetText("Organ");
    cross.CornerMemos()[4]->SetText("Finding");
    cross.CellHeaderMemos()[0]->SetText("Count");
    cross.CellHeaderMemos()[1]->SetText("Mean size");
    cross.RowTotalMemos()[1]->SetText("All of [VALUE]");
    PinFonts(cross, "Liberation Sans", 10);
    cross.SetMemoNames(false);
    cross.BeginMatrix();
    cross.AddValue({"Liver", "cyst"}, {"2023", "Q1"}, {1, 12.5});
    cross.AddValue({"Liver", "hemangioma"}, {"2023", "Q2"}, {2, 18});
    cross.AddValue({"Kidney", "stone"}, {"2024", "Q1"}, {1, 6});
    cross.AddValue({"Liver", "cyst"}, {"2024", "Q1"}, {3, 9});
    cross.CompleteMatrix();
    EXPECT_EQ(LayoutFaults(cross), std::vector<std::string>{});
    ExpectGolden("two_levels", DumpLayout(cross));
}

TEST_F(CrossLayoutGolden, PlainCellsSideBySide) {
    TpgwCrossView cross(nullptr);
    cross.SetCellLevels(3);
    cross.SetPlainCells(true);
    cross.CellHeaderMemos()[0]->SetText("n");
    cross.CellHeaderMemos()[1]->SetText("min");
    cross.CellHeaderMemos()[2]->SetText("max");
    cross.SetCellFunctions(0, cfCount);
    cross.SetCellFunctions(1, cfMin);
    cross.SetCellFunctions(2, cfMax);
    PinFonts(cross, "Liberation Sans", 10);
    cross.SetMemoNames(false);
    cross.BeginMatrix();
    for (const auto& [doctor, kind, size] :
         std::vector<std::tuple<const char*, const char*, int>>{{"Dr. Wang", "abdomen", 12},
                                                                {"Dr. Wang", "thyroid", 4},
                                                                {"Dr. Li", "abdomen", 30},
                                                                {"Dr. Li", "abdomen", 1250}})
        cross.AddValue({doctor}, {kind}, {size, size, size});
    cross.CompleteMatrix();
    EXPECT_EQ(LayoutFaults(cross), std::vector<std::string>{});
    ExpectGolden("plain_cells", DumpLayout(cross));
}

TEST_F(CrossLayoutGolden, DotMatrixPage) {
    auto* page = new TpgwDMPPage(report.get());
    page->SetName("Page1");
    auto* band = new TpgwMasterData(page);
    band->SetName("MasterData1");
    auto* cross = new TpgwCrossView(band);
    cross->SetName("Cross1");
    ASSERT_TRUE(cross->DotMatrixMode());
    ASSERT_TRUE(cross->CellMemos()[0]->Is<TpgwDMPMemoView>());
    cross->SetMemoNames(false);
    cross->BeginMatrix();
    cross->AddValue({"B-mode"}, {"Mon"}, {4});
    cross->AddValue({"Doppler"}, {"Tue"}, {11});
    cross->AddValue({"B-mode"}, {"Tue"}, {2});
    cross->CompleteMatrix();
    EXPECT_EQ(LayoutFaults(*cross), std::vector<std::string>{});
    ExpectGolden("dot_matrix", DumpLayout(*cross));
}

TEST_F(CrossLayoutGolden, RotatedColumnCaptions) {
    TpgwCrossView cross(nullptr);
    cross.ColumnMemos()[0]->SetRotation(90);
    cross.ColumnTotalMemos()[0]->SetRotation(90);
    cross.SetMaxWidth(120);
    PinFonts(cross, "Liberation Sans", 10);
    cross.SetMemoNames(false);
    cross.BeginMatrix();
    cross.AddValue({"Liver"}, {"Ultrasound"}, {3});
    cross.AddValue({"Kidney"}, {"Elastography"}, {1});
    cross.CompleteMatrix();
    EXPECT_EQ(LayoutFaults(cross), std::vector<std::string>{});
    ExpectGolden("rotated", DumpLayout(cross));
}

} // namespace
