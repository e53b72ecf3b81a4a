// The cross-tab in the designer: the sample table it draws and the size it takes, grabbing and
// dragging the edges of its memos, and objects dropped into its cells.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/tests/engine_fixture.h"
#include "objects/cross_view.h"
#include "objects/objects_module.h"
#include "platform/core/numbers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/metafile.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/ui_types.h"
#include "report/band.h"
#include "report/dmp_class.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/picture_view.h"
#include "report/preview_images.h"
#include "report/report.h"
#include "report/tests/golden_image.h"

namespace {

bool liberationSans() {
    return TFontMeasurer::Get("Arial", {}, 83)->FaceName() == "Liberation Sans";
}

// Tile i of the test image list is a plain square of this colour.
TColor TileColor(int i) {
    return static_cast<TColor>(0x100000 + 0x0101 * i);
}

// A position in report units as the drawing rounds it to a pixel at scale 1.
int At(double v) {
    return static_cast<int>(Round(v));
}

std::string Utf8(const std::u16string& s) {
    return std::string(s.begin(), s.end()); // the sample's texts are ASCII
}

class CrossDesign : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        RegisterObjectsModule();
        StartModules();
        page = new TpgwReportPage(report.get());
        page->SetName("Page1");
        band = new TpgwMasterData(page);
        band->SetName("MasterData1");
        band->SetBounds(0, 20, 700, 300);
    }
    void TearDown() override {
        GetObjectImages().Clear();
        EngineFixture::TearDown();
        StopModules();
    }
    template <class T = TpgwCrossView> T* NewCross(TpgwComponent* parent, const char* name) {
        auto* cross = new T(parent);
        cross->SetName(name);
        cross->SetBounds(10, 10, 50, 50);
        return cross;
    }
    // A picture with the given page position, as the designer hands a dropped object over.
    TpgwPictureView* NewPicture(double left, double top) {
        auto* picture = new TpgwPictureView(band);
        picture->SetBounds(left, top, 8, 6);
        return picture;
    }
    // Object images numbered 0 to 49, each a square of its own colour.
    static void InstallObjectImages() {
        TBitmap strip(16 * 50, 16);
        for (int i = 0; i < 50; ++i) {
            strip.Canvas().Brush().SetColor(TileColor(i));
            strip.Canvas().FillRect(TRect{16 * i, 0, 16 * i + 16, 16});
        }
        GetObjectImages().Clear();
        GetObjectImages().AddMasked(strip, clNone);
    }
    // Draws the object at a scale onto a canvas just large enough for it.
    std::unique_ptr<TRasterCanvas> Drawn(TpgwCustomCrossView* cross, double scale) {
        TRasterCanvas measure(1, 1);
        cross->Draw(measure, scale, scale, 0, 0); // settles the size
        auto canvas = std::make_unique<TRasterCanvas>(
            static_cast<int>((cross->AbsLeft() + cross->Width()) * scale) + 10,
            static_cast<int>((cross->AbsTop() + cross->Height()) * scale) + 10);
        cross->Draw(*canvas, scale, scale, 0, 0);
        return canvas;
    }
    // A point in report units as workspace pixels at a scale.
    static TPoint Pixel(double x, double y, double scale) {
        return {static_cast<int>(x * scale), static_cast<int>(y * scale)};
    }

    TpgwReportPage* page = nullptr;
    TpgwMasterData* band = nullptr;
};

// ---- the sample ---------------------------------------------------------------------------------

TEST_F(CrossDesign, ANewCrossViewDrawsItsSampleInsetAndTakesItsSizePlusTheMargin) {
    TpgwCrossView* cross = NewCross(band, "CrossView1");
    TRecordingCanvas recording(800, 400);
    cross->Draw(recording, 1, 1, 0, 0);

    // The table: a row and a column of the captions, the zero cell, the grand totals.
    const double tableWidth = cross->RowHeaderWidth() + cross->ColumnHeader()->TotalWidth();
    const double tableHeight = cross->ColumnHeaderHeight() + cross->RowHeader()->TotalHeight();
    ASSERT_GT(tableWidth, 0);
    EXPECT_DOUBLE_EQ(cross->Width(), tableWidth + 40);
    EXPECT_DOUBLE_EQ(cross->Height(), tableHeight + 40);
    std::vector<std::string> texts;
    for (const TTextRecord& r : recording.Recording().TextRecords())
        texts.push_back(Utf8(r.Text));
    for (const char* text : {"[Row]", "[Column]", "Grand Total"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "0"), 4) << "a data cell and three totals";

    // The corner cell opens the table 20 units inside the object; the header texts are put
    // back after drawing, the cells keep their sample.
    const std::vector<TpgwComponent*>& drawn = cross->ContainedObjects();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.front(), cross->CornerMemos()[0].get());
    EXPECT_DOUBLE_EQ(drawn.front()->Left(), cross->AbsLeft() + 20);
    EXPECT_DOUBLE_EQ(drawn.front()->Top(), cross->AbsTop() + 20);
    EXPECT_EQ(cross->RowMemos()[0]->Text(), "");
    EXPECT_EQ(cross->RowTotalMemos()[0]->Text(), "Grand Total\r\n");
    EXPECT_EQ(cross->CellMemos()[0]->Text(), "0\r\n");
    EXPECT_EQ(cross->CellMemos()[0]->Restrictions(), (1 << rfDontDelete) | (1 << rfDontEdit));

    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    EXPECT_TRUE(golden::MatchesGolden(Drawn(cross, 1)->ToImage(), "../cross/design/new_cross"));
}

TEST_F(CrossDesign, ADotMatrixSampleIsInsetByCellsAndItsMemosOneCellSmaller) {
    auto* dmpPage = new TpgwDMPPage(report.get());
    dmpPage->SetName("DMPPage1");
    auto* dmpBand = new TpgwMasterData(dmpPage);
    dmpBand->SetName("MasterData2");
    dmpBand->SetBounds(0, 17 * 2, 700, 17 * 20);
    TpgwCrossView* cross = NewCross(dmpBand, "CrossView1");
    cross->SetBounds(pg1CharX * 2, pg1CharY, 50, 50); // on the character grid
    ASSERT_TRUE(cross->DotMatrixMode());
    auto canvas = Drawn(cross, 1);

    // Drawn one cell right and down of its place, left half a cell back, off the grid.
    const TpgwComponent* corner = cross->ContainedObjects().front();
    EXPECT_TRUE(corner->Is<TpgwDMPMemoView>());
    EXPECT_NEAR(corner->Left(), cross->AbsLeft() + 2 * pg1CharX + pg1CharX / 2, 1e-9);
    EXPECT_NEAR(corner->Top(), cross->AbsTop() + pg1CharY + pg1CharY / 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(cross->Width(),
                     cross->RowHeaderWidth() + cross->ColumnHeader()->TotalWidth() + 40);

    if (!liberationSans()) GTEST_SKIP() << "Liberation Sans is not installed";
    EXPECT_TRUE(golden::MatchesGolden(canvas->ToImage(), "../cross/design/dot_matrix_cross"));
}

TEST_F(CrossDesign, EachCellOfASampleWithTwoCellLevelsHasAMemoOfItsOwnInItsPlace) {
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "side by side" : "stacked");
        TpgwCrossView* cross = NewCross(band, plain ? "CrossView2" : "CrossView1");
        cross->SetCellLevels(2);
        cross->SetPlainCells(plain);
        TRasterCanvas canvas(1, 1);
        cross->Draw(canvas, 1, 1, 0, 0);

        // Two levels in a data and a total row and column: every cell memo once.
        std::vector<const TpgwComponent*> cells;
        for (const TpgwComponent* o : cross->ContainedObjects())
            for (const auto& memo : cross->CellMemos())
                if (o == memo.get()) cells.push_back(o);
        ASSERT_EQ(cells.size(), 8u);
        for (const auto& memo : cross->CellMemos())
            EXPECT_EQ(std::count(cells.begin(), cells.end(), memo.get()), 1);
        // Together they cover the body of the table.
        const double bodyLeft = cross->AbsLeft() + 20 + cross->RowHeaderWidth();
        const double bodyTop = cross->AbsTop() + 20 + cross->ColumnHeaderHeight();
        double area = 0;
        for (const TpgwComponent* o : cells) {
            EXPECT_GE(o->Left(), bodyLeft - 1e-9);
            EXPECT_GE(o->Top(), bodyTop - 1e-9);
            EXPECT_LE(o->Left() + o->Width(), cross->AbsLeft() + cross->Width() - 20 + 1e-9);
            EXPECT_LE(o->Top() + o->Height(), cross->AbsTop() + cross->Height() - 20 + 1e-9);
            area += o->Width() * o->Height();
        }
        EXPECT_NEAR(area, cross->ColumnHeader()->TotalWidth() * cross->RowHeader()->TotalHeight(),
                    1e-6);
    }
}

TEST_F(CrossDesign, TheClassImageAndTheMarkerOfObjectsWithABeforePrintHandler) {
    InstallObjectImages();
    TpgwCrossView* cross = NewCross(band, "CrossView1");
    auto* dbCross = NewCross<TpgwDBCrossView>(band, "DBCrossView1");
    dbCross->SetTop(200);
    TpgwCustomMemoView* cell = cross->CellMemos()[0].get();
    cell->OnBeforePrint = "CellBeforePrint";
    TpgwPictureView* picture = NewPicture(0, 0);
    Drawn(cross, 1);
    const double cellLeft = cell->Left(), cellTop = cell->Top();
    picture->SetBounds(cellLeft + 1, cellTop + 1, 10, 10);
    ASSERT_TRUE(cross->AcceptObject(picture));
    picture->OnBeforePrint = "PictureBeforePrint";
    picture->SetLeft(20);
    auto canvas = Drawn(cross, 1);
    TRasterCanvas dbCanvas(800, 400);
    dbCross->Draw(dbCanvas, 1, 1, 0, 0);

    struct Case {
        const char* what;
        TCanvas* canvas;
        int x, y;
        TColor color;
    };
    const int px = At(cross->AbsLeft()), py = At(cross->AbsTop());
    const int cx = At(cell->AbsLeft()), cy = At(cell->AbsTop());
    const int ix = At(picture->AbsLeft()), iy = At(picture->AbsTop());
    const int dx = At(dbCross->AbsLeft()), dy = At(dbCross->AbsTop());
    const Case cases[] = {
        {"cross-tab image", canvas.get(), px + 2, py + 2, TileColor(42)},
        {"cross-tab image, far corner", canvas.get(), px + 17, py + 17, TileColor(42)},
        {"data cross-tab image", &dbCanvas, dx + 2, dy + 2, TileColor(49)},
        {"cell marker, longest stroke top", canvas.get(), cx + 2, cy + 1, clRed},
        {"cell marker, longest stroke end", canvas.get(), cx + 2, cy + 7, clRed},
        {"cell marker, shortest stroke", canvas.get(), cx + 5, cy + 4, clRed},
        {"cell marker ends", canvas.get(), cx + 2, cy + 8, clWhite},
        {"picture marker", canvas.get(), ix + 3, iy + 2, clRed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.canvas->Pixel(c.x, c.y), c.color) << c.what;
    // No marker on a memo without a handler.
    const TpgwComponent* total = cross->CellMemos()[1].get();
    EXPECT_NE(canvas->Pixel(At(total->AbsLeft()) + 2, At(total->AbsTop()) + 1), clRed);
}

TEST_F(CrossDesign, AnInvalidObjectDrawsOnlyFrameBackgroundAndImage) {
    InstallObjectImages();
    auto* cross = NewCross<TpgwDBCrossView>(band, "DBCrossView1"); // no data set
    ASSERT_FALSE(cross->IsValid());
    TRasterCanvas canvas(200, 200);
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect(TRect{0, 0, 200, 200});
    cross->Draw(canvas, 1, 1, 0, 0);

    EXPECT_EQ(cross->Width(), 50) << "nothing drawn, the size stays";
    EXPECT_TRUE(cross->ContainedObjects().empty());
    const int x = At(cross->AbsLeft()), y = At(cross->AbsTop());
    int other = 0;
    for (int py = y + 1; py < y + 49; ++py)
        for (int px = x + 1; px < x + 49; ++px) {
            const bool image = px >= x + 2 && px < x + 18 && py >= y + 2 && py < y + 18;
            if (canvas.Pixel(px, py) != (image ? TileColor(49) : clWhite)) ++other;
        }
    EXPECT_EQ(other, 0);
    EXPECT_NE(canvas.Pixel(x, y + 10), clBlack) << "the frame";
    EXPECT_FALSE(cross->DesignMouseDown(nullptr, x + 45, y + 45));
    EXPECT_FALSE(cross->AcceptObject(NewPicture(x + 25, y + 25)));
}

// ---- grabbing and dragging ----------------------------------------------------------------------

TEST_F(CrossDesign, AnEdgeIsGrabbedWithinTwoUnitsAndOnlyAlongItsMemo) {
    TpgwCrossView* cross = NewCross(band, "CrossView1");
    Drawn(cross, 2);
    // The grand-total cell: bottom right of the table.
    const TpgwComponent* last = cross->ContainedObjects().back();
    const double right = last->AbsLeft() + last->Width();
    const double bottom = last->AbsTop() + last->Height();
    const double middle = last->AbsTop() + last->Height() / 2;
    struct Case {
        const char* what;
        double x, y;
        TCursor cursor;
    };
    const Case cases[] = {
        {"on the right edge", right, middle, crHSplit},
        {"1.5 units left of it", right - 1.5, middle, crHSplit},
        {"1.5 units right of it", right + 1.5, middle, crHSplit},
        {"2.5 units right of it", right + 2.5, middle, crDefault},
        {"on the line, below the memo", right, bottom + 3, crDefault},
        {"on the bottom edge", right - 10, bottom + 1, crVSplit},
        {"on both edges", right, bottom, crVSplit},
        {"inside", right - 10, middle, crDefault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TLabel control(nullptr);
        const TPoint p = Pixel(c.x, c.y, 2);
        cross->DesignMouseMove(&control, p.X, p.Y);
        EXPECT_EQ(control.Cursor(), c.cursor);
        EXPECT_EQ(cross->DesignMouseDown(&control, p.X, p.Y), c.cursor != crDefault);
        EXPECT_EQ(cross->Dragging(), c.cursor != crDefault);
        cross->DesignMouseUp(&control, p.X, p.Y);
        EXPECT_FALSE(cross->Dragging());
    }
}

TEST_F(CrossDesign, DraggingAColumnEdgeAtZoomTwoWidensItsMemosByHalfThePixels) {
    struct Case {
        const char* what;
        bool autoSize;
        int pixels;
        bool message;
        bool lasts;
    };
    const Case cases[] = {
        {"automatic sizes", true, 10, true, false},
        {"a small move", true, 4, false, false},
        {"fixed sizes", false, 10, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* recorder = new TRecordingReporter;
        TScopedReporter scoped{std::unique_ptr<TMessageReporter>(recorder)};
        TpgwCrossView* cross = NewCross(band, "CrossView1");
        cross->SetAutoSize(c.autoSize);
        Drawn(cross, 2);
        // The data column's edge holds its header and its two cells.
        TpgwCustomMemoView* header = cross->ColumnMemos()[0].get();
        const std::vector<TpgwComponent*> edge = {header, cross->CellMemos()[0].get(),
                                                  cross->CellMemos()[1].get()};
        std::vector<double> widths;
        for (const TpgwComponent* o : edge)
            widths.push_back(o->Width());
        const double right = header->AbsLeft() + header->Width();
        const double middle = header->AbsTop() + header->Height() / 2;
        const TPoint p = Pixel(right, middle, 2);

        TLabel control(nullptr);
        ASSERT_TRUE(cross->DesignMouseDown(&control, p.X, p.Y));
        cross->DesignMouseMove(&control, p.X + c.pixels / 2, p.Y);
        cross->DesignMouseMove(&control, p.X + c.pixels, p.Y);
        for (std::size_t i = 0; i < edge.size(); ++i)
            EXPECT_DOUBLE_EQ(edge[i]->Width(), widths[i] + c.pixels / 2.0) << i;
        cross->DesignMouseUp(&control, p.X + c.pixels, p.Y + 1);

        ASSERT_EQ(recorder->Boxes.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(recorder->Boxes[0].Text,
                      "重置交叉表大小,请设置\"AutoSize\"属性为\"False\" .");
        }
        Drawn(cross, 2);
        EXPECT_DOUBLE_EQ(header->Width(), widths[0] + (c.lasts ? c.pixels / 2.0 : 0));
        delete cross;
    }
}

// ---- dropping -----------------------------------------------------------------------------------
TEST_F(CrossDesign, ObjectsDroppedIntoACellBecomeNumberedChildrenOfItsMemo) {
    TpgwCrossView* cross = NewCross(band, "CrossView1");
    Drawn(cross, 1);
    TpgwCustomMemoView* cell = cross->CellMemos()[0].get();
    const double left = cell->Left(), top = cell->Top();

    TpgwPictureView* first = NewPicture(left + 4, top + 3);
    ASSERT_TRUE(cross->AcceptObject(first));
    EXPECT_EQ(first->Parent(), cell);
    EXPECT_EQ(first->Owner(), nullptr);
    EXPECT_EQ(first->Tag(), 1);
    EXPECT_EQ(first->Name(), "CrossView1Object1");
    EXPECT_DOUBLE_EQ(first->Left(), 4);
    EXPECT_DOUBLE_EQ(first->Top(), 3);
    // Edges belong to the memo (its top-left corner would be the headers' that touch it).
    TpgwPictureView* second = NewPicture(left + cell->Width(), top + cell->Height());
    ASSERT_TRUE(cross->AcceptObject(second));
    EXPECT_EQ(second->Parent(), cell);
    EXPECT_EQ(second->Tag(), 2);
    EXPECT_EQ(second->Name(), "CrossView1Object2");

    // What is refused stays where it was.
    auto* other = NewCross(band, "CrossView2");
    other->SetBounds(left + 1, top + 1, 50, 50);
    auto* subreport = new TpgwSubreport(band);
    subreport->SetBounds(left + 1, top + 1, 50, 50);
    TpgwPictureView* outside = NewPicture(cross->AbsLeft() + 2, cross->AbsTop() + 2);
    for (TpgwComponent* refused : std::vector<TpgwComponent*>{other, subreport, outside}) {
        EXPECT_FALSE(cross->AcceptObject(refused)) << refused->ClassName();
        EXPECT_EQ(refused->Parent(), band);
    }

    // Drawn after their memo; pushed back inside it when moved partly out.
    first->SetLeft(-5);
    second->SetTop(cell->Height() - 2);
    Drawn(cross, 1);
    const std::vector<TpgwComponent*>& drawn = cross->ContainedObjects();
    const auto at =
        static_cast<std::size_t>(std::find(drawn.begin(), drawn.end(), cell) - drawn.begin());
    ASSERT_LT(at + 2, drawn.size());
    EXPECT_EQ(drawn[at + 1], first);
    EXPECT_EQ(drawn[at + 2], second);
    EXPECT_DOUBLE_EQ(first->Left(), 0);
    EXPECT_DOUBLE_EQ(second->Top(), cell->Height() - second->Height());
}

} // namespace
