// Report and data pages: paper, orientation and margins, page columns, printer defaults, the
// alignment of bands on the printable area, the back picture, and templates that keep them.

#include "report/page.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/raster_canvas.h"
#include "report/band.h"
#include "report/picture_view.h"
#include "report/report.h"
#include "report/tests/golden_image.h"
#include "report/view.h"
#include "report/xml_serializer.h"

namespace {

const bool registered = [] {
    RegisterBandAndPageClasses();
    RegisterClasses<TpgwReport>();
    return true;
}();

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> v;
    for (int i = 0; i < list.Count(); ++i)
        v.push_back(list.Strings(i));
    return v;
}

struct Margins {
    double left, right, top, bottom;
    bool operator==(const Margins&) const = default;
};

Margins MarginsOf(const TpgwReportPage& p) {
    return {p.LeftMargin(), p.RightMargin(), p.TopMargin(), p.BottomMargin()};
}

void SetMargins(TpgwReportPage& p, Margins m) {
    p.SetLeftMargin(m.left);
    p.SetRightMargin(m.right);
    p.SetTopMargin(m.top);
    p.SetBottomMargin(m.bottom);
}

class Pages : public ::testing::Test {
protected:
    TpgwReport report{nullptr};
    TpgwReportPage* page = new TpgwReportPage(&report);
};

TEST_F(Pages, NewPageIsA4PortraitWithoutMargins) {
    EXPECT_EQ(page->PaperSize(), 9);
    EXPECT_EQ(page->PaperWidth(), 210);
    EXPECT_EQ(page->PaperHeight(), 297);
    EXPECT_EQ(page->Orientation(), poPortrait);
    EXPECT_EQ(MarginsOf(*page), (Margins{0, 0, 0, 0}));
    EXPECT_EQ(page->Width(), 794);
    EXPECT_EQ(page->Height(), 1123);
    EXPECT_EQ(page->Bin(), 7);
    EXPECT_EQ(page->BinOtherPages(), 7);
    EXPECT_EQ(page->PageCount(), 1);
    EXPECT_TRUE(page->PrintIfEmpty() && page->TitleBeforeHeader() && page->BackPictureVisible() &&
                page->BackPicturePrintable());
    EXPECT_EQ(page->Color(), clNone);
    EXPECT_FALSE(page->BackPictureView()->KeepAspectRatio());
    page->MakeUniqueName();
    EXPECT_EQ(page->Name(), "Page1");
}

TEST_F(Pages, TurningThePageTurnsPaperAndMargins) {
    SetMargins(*page, {10, 30, 20, 40});
    page->SetOrientation(poLandscape);
    EXPECT_EQ(page->PaperWidth(), 297);
    EXPECT_EQ(page->PaperHeight(), 210);
    EXPECT_EQ(MarginsOf(*page), (Margins{20, 40, 30, 10}));
    EXPECT_EQ(page->Width(), 1123);
    EXPECT_EQ(page->Height(), 794);
    page->SetOrientation(poLandscape);
    EXPECT_EQ(MarginsOf(*page), (Margins{20, 40, 30, 10})) << "the same orientation again";
    EXPECT_EQ(page->PaperWidth(), 297);
    page->SetOrientation(poPortrait);
    EXPECT_EQ(page->PaperWidth(), 210);
    EXPECT_EQ(page->PaperHeight(), 297);
    EXPECT_EQ(MarginsOf(*page), (Margins{10, 30, 20, 40}));
    EXPECT_EQ(page->Width(), 794);
}

TEST_F(Pages, PaperSetters) {
    page->SetPaperWidth(100.123456789);
    EXPECT_DOUBLE_EQ(page->PaperWidth(), 100.12345679);
    EXPECT_EQ(page->PaperSize(), 256);
    EXPECT_EQ(page->Width(), 378); // 378.42...
    page->SetPaperHeight(50.000000004);
    EXPECT_DOUBLE_EQ(page->PaperHeight(), 50);
    EXPECT_EQ(page->Height(), 189); // 188.98 rounds up

    // A custom or unknown code keeps the sizes; the custom code leaves the bounds alone.
    page->SetWidth(5);
    page->SetPaperSize(256);
    EXPECT_EQ(page->Width(), 5);
    EXPECT_DOUBLE_EQ(page->PaperWidth(), 100.12345679);
    page->SetPaperSize(48);
    EXPECT_EQ(page->PaperSize(), 48);
    EXPECT_DOUBLE_EQ(page->PaperWidth(), 100.12345679);

    page->SetOrientation(poLandscape);
    page->SetPaperSize(8); // A3 comes turned
    EXPECT_EQ(page->PaperWidth(), 420);
    EXPECT_EQ(page->PaperHeight(), 297);
    EXPECT_EQ(page->Width(), 1587);
    EXPECT_EQ(page->Height(), 1123);

    page->SetPaperDimensions(9, 123.456789012, 80);
    EXPECT_EQ(page->PaperSize(), 9) << "no look-up";
    EXPECT_DOUBLE_EQ(page->PaperWidth(), 123.45678901);
    EXPECT_EQ(page->PaperHeight(), 80);
    EXPECT_EQ(page->Height(), 302);
}

TEST_F(Pages, ColumnsDivideThePrintableWidth) {
    SetMargins(*page, {10, 10, 0, 0});
    page->SetColumns(3);
    EXPECT_DOUBLE_EQ(page->ColumnWidth(), 190.0 / 3);
    EXPECT_EQ(Lines(*page->ColumnPositions()),
              (std::vector<std::string>{"0", "63.3333333333333", "126.666666666667"}));
    page->SetColumns(0);
    EXPECT_EQ(page->Columns(), 0);
    EXPECT_TRUE(Lines(*page->ColumnPositions()).empty());
    EXPECT_DOUBLE_EQ(page->ColumnWidth(), 190.0 / 3) << "kept";

    page->SetColumns(2);
    EXPECT_THROW(page->SetColumns(2000000000), EPropertyError);
    EXPECT_EQ(page->Columns(), 2);
    EXPECT_EQ(page->ColumnPositions()->Count(), 2);
}

TEST_F(Pages, PageCountBelowOneIsIgnored) {
    page->SetPageCount(3);
    page->SetPageCount(0);
    page->SetPageCount(-2);
    EXPECT_EQ(page->PageCount(), 3);
}

TEST_F(Pages, ApplyDefaultsTakesTheCurrentPrinter) {
    page->SetPaperWidth(100);
    page->ApplyDefaults();
    EXPECT_EQ(MarginsOf(*page), (Margins{10, 10, 10, 10}));
    EXPECT_EQ(page->PaperSize(), 9);
    EXPECT_EQ(page->PaperWidth(), 210);
    EXPECT_EQ(page->Width(), 794);

    // Copied as the printer gives them: no look-up, no turning of the sizes.
    SetCurrentPrinterPaperHook([] { return TPrinterPaper{1, 279.4, 215.9, poLandscape}; });
    page->ApplyDefaults();
    SetCurrentPrinterPaperHook({});
    EXPECT_EQ(page->PaperSize(), 1);
    EXPECT_EQ(page->PaperWidth(), 279.4);
    EXPECT_EQ(page->PaperHeight(), 215.9);
    EXPECT_EQ(page->Orientation(), poLandscape);
    EXPECT_EQ(page->Width(), 1056);
    EXPECT_EQ(page->Height(), 816);
    EXPECT_EQ(MarginsOf(*page), (Margins{10, 10, 10, 10}));
}

TEST_F(Pages, AlignChildrenFitsBandsToThePrintableArea) {
    SetMargins(*page, {10, 10, 10, 10});
    page->SetColumns(3);
    const double printableWidth = 190 * pg01cm;
    const double printableHeight = 277 * pg01cm;
    const double columnWidth = 190.0 / 3 * pg01cm;
    struct Case {
        TpgwBand* band;
        double left;
        double width;
    };
    auto* vertical = new TpgwMasterData(page);
    vertical->SetVertical(true);
    vertical->SetBounds(0, 100, 50, 10);
    auto* master = new TpgwMasterData(page);
    auto* client = new TpgwShapeView(master);
    client->SetAlign(baClient);
    master->SetHeight(30);
    auto* loose = new TpgwShapeView(page);
    loose->SetAlign(baClient);
    const Case cases[] = {
        {new TpgwReportTitle(page), 0, printableWidth},
        {new TpgwReportSummary(page), 0, printableWidth},
        {new TpgwPageHeader(page), 10, printableWidth - 10},
        {new TpgwPageFooter(page), 0, printableWidth},
        {new TpgwNullBand(page), 0, printableWidth},
        {master, 0, columnWidth},
        {new TpgwHeader(page), 0, columnWidth},
        {new TpgwGroupFooter(page), 0, columnWidth},
        {new TpgwColumnHeader(page), 0, columnWidth},
        {new TpgwChild(page), 5, columnWidth},
        {new TpgwOverlay(page), 0, columnWidth},
    };
    for (const Case& c : cases)
        c.band->SetLeft(c.left);
    page->AlignChildren();
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(c.band->Width(), c.width) << c.band->ClassName();
    EXPECT_DOUBLE_EQ(vertical->Height(), printableHeight - 100);
    EXPECT_EQ(vertical->Width(), 50);
    EXPECT_DOUBLE_EQ(client->Width(), columnWidth) << "bands align their own children";
    EXPECT_EQ(client->Height(), 30);
    EXPECT_DOUBLE_EQ(loose->Width(), printableWidth) << "views on the page fill the area";
    EXPECT_DOUBLE_EQ(loose->Height(), printableHeight);
    EXPECT_EQ(page->Width(), 794) << "the paper again";
    EXPECT_EQ(page->Height(), 1123);

    page->SetColumns(1);
    page->AlignChildren();
    EXPECT_DOUBLE_EQ(master->Width(), printableWidth);
}

TEST_F(Pages, FirstBandOfClass) {
    new TpgwShapeView(page);
    auto* title = new TpgwReportTitle(page);
    auto* detail = new TpgwDetailData(page);
    new TpgwMasterData(page);
    EXPECT_EQ(page->FirstBandOfClass(TpgwDataBand::StaticClass()), detail);
    EXPECT_EQ(page->FirstBandOfClass(TpgwBand::StaticClass()), title);
    EXPECT_EQ(page->FirstBandOfClass(TpgwPageFooter::StaticClass()), nullptr);
}

TEST_F(Pages, DataSetByUserName) {
    auto* data = new TpgwUserDataSet(&report);
    data->SetName("Customers");
    page->SetDataSetName("Customers");
    EXPECT_EQ(page->DataSet(), data);
    page->SetDataSetName("None");
    EXPECT_EQ(page->DataSet(), nullptr);
    EXPECT_EQ(page->DataSetName(), "None");
}

// ---- back picture ----------------------------------------------------------------------------

std::unique_ptr<TBitmap> TwoColourBitmap() {
    auto bitmap = std::make_unique<TBitmap>(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            bitmap->Canvas().SetPixel(x, y, x < 2 ? clBlue : clLime);
    return bitmap;
}

class BackPicture : public Pages {
protected:
    void SetUp() override {
        page->SetPaperWidth(40);
        page->SetPaperHeight(30);
        SetMargins(*page, {5, 10, 4, 6});
        page->SetColor(clYellow);
        page->Frame()->SetTyp(ftAll);
        page->Frame()->SetColor(clRed);
        TPicture picture;
        picture.SetGraphic(TwoColourBitmap());
        page->SetBackPicture(&picture);
    }
    TRasterImage Render(double scale) {
        TRasterCanvas canvas(static_cast<int>(page->Width() * scale),
                             static_cast<int>(page->Height() * scale));
        page->DrawBackPicture(canvas, scale, scale, 0, 0);
        return canvas.ToImage();
    }
};

TEST_F(BackPicture, FillsThePrintableArea) {
    for (int scale : {1, 2}) {
        const TRasterImage image = Render(scale);
        EXPECT_TRUE(
            golden::MatchesGolden(image, "page_back_picture_scale" + std::to_string(scale)));
        // Inside the margins: the picture's left and right halves; outside: nothing.
        const int left = static_cast<int>(5 * pg01cm * scale);
        const int top = static_cast<int>(4 * pg01cm * scale);
        EXPECT_EQ(image.At(left + 5 * scale, top + 20 * scale) & 0xFFFFFF, 0x0000FFu);
        EXPECT_EQ(image.At(left + 80 * scale, top + 20 * scale) & 0xFFFFFF, 0x00FF00u);
        EXPECT_EQ(image.At(2 * scale, 2 * scale) & 0xFFFFFF, 0xFFFFFFu);
    }
}

TEST_F(BackPicture, HiddenOrNotPrintable) {
    auto centre = [](const TRasterImage& image) { return image.At(60, 50) & 0xFFFFFF; };
    page->SetDrawingForPrint(true);
    EXPECT_NE(centre(Render(1)), 0xFFFFFFu) << "printable by default";
    page->SetBackPicturePrintable(false);
    EXPECT_EQ(centre(Render(1)), 0xFFFFFFu);
    page->SetDrawingForPrint(false);
    EXPECT_NE(centre(Render(1)), 0xFFFFFFu) << "still shown on screen";
    page->SetBackPictureVisible(false);
    EXPECT_EQ(centre(Render(1)), 0xFFFFFFu);
}

// ---- templates -------------------------------------------------------------------------------

std::string ObjectText(TpgwComponent* object, TComponent* owner) {
    TMemoryStream unused;
    TpgwXMLSerializer writer(unused);
    writer.SetOwner(owner);
    return writer.ObjectToText(object);
}

TEST_F(Pages, PagesSurviveObjectText) {
    auto* data = new TpgwUserDataSet(&report);
    data->SetName("Customers");
    SetMargins(*page, {10, 20, 30, 40});
    page->SetOrientation(poLandscape);
    page->SetColumns(2);
    page->SetColumnWidth(120.5);
    page->SetMirrorMargins(true);
    page->SetBin(3);
    page->SetBinOtherPages(4);
    page->SetDuplex(dmHorizontal);
    page->SetColor(clYellow);
    page->Frame()->SetTyp(ftAll);
    page->Frame()->SetWidth(2);
    TPicture picture;
    picture.SetGraphic(TwoColourBitmap());
    page->SetBackPicture(&picture);
    page->SetBackPictureVisible(false);
    page->SetPageCount(3);
    page->SetDataSet(data);
    page->SetEndlessHeight(true);
    page->SetOutlineText("[Page#]");
    page->SetPrintIfEmpty(false);
    page->SetTitleBeforeHeader(false);
    page->HGuides()->Add("10");
    page->VGuides()->Add("20.5");
    page->OnManualBuild = "Build";
    auto* dataPage = new TpgwDataPage(&report);
    dataPage->SetBounds(1, 2, 300, 400);

    for (TpgwComponent* original : std::vector<TpgwComponent*>{page, dataPage}) {
        const std::string text = ObjectText(original, &report);
        TMemoryStream unused;
        TpgwXMLSerializer reader(unused);
        reader.SetOwner(&report);
        std::unique_ptr<TpgwComponent> copy(reader.ObjectFromText(nullptr, text, false));
        ASSERT_TRUE(copy) << text;
        EXPECT_EQ(reader.Errors().Count(), 0) << text;
        EXPECT_EQ(ObjectText(copy.get(), &report), text);
        if (auto* p = dynamic_cast<TpgwReportPage*>(copy.get())) {
            EXPECT_EQ(p->DataSet(), data);
            EXPECT_EQ(Lines(*p->ColumnPositions()), Lines(*page->ColumnPositions()));
            EXPECT_EQ(p->ColumnWidth(), 120.5);
            EXPECT_EQ(MarginsOf(*p), MarginsOf(*page));
            ASSERT_FALSE(p->BackPicture()->Empty());
            EXPECT_EQ(p->BackPicture()->Width(), 4);
        }
    }
}

TEST(DataPage, IsAThousandUnitsSquare) {
    TpgwDataPage page(nullptr);
    EXPECT_EQ(page.Width(), 1000);
    EXPECT_EQ(page.Height(), 1000);
}

TEST(PageTemplates, PaperSurvivesSaveAndLoad) {
    struct Case {
        const char* name;
        void (*setUp)(TpgwReportPage&);
    };
    const Case cases[] = {{"landscape A4",
                           [](TpgwReportPage& p) {
                               SetMargins(p, {10, 30, 20, 40});
                               p.SetOrientation(poLandscape);
                               p.SetColumns(2);
                           }},
                          {"custom size",
                           [](TpgwReportPage& p) {
                               p.SetPaperWidth(100.5);
                               p.SetPaperHeight(150);
                               SetMargins(p, {5, 6, 7, 8});
                           }},
                          {"custom landscape",
                           [](TpgwReportPage& p) {
                               p.SetPaperWidth(120);
                               p.SetPaperHeight(80);
                               SetMargins(p, {1, 2, 3, 4});
                               p.SetOrientation(poLandscape);
                           }},
                          {"landscape A3", [](TpgwReportPage& p) {
                               p.SetOrientation(poLandscape);
                               p.SetPaperSize(8);
                           }}};
    for (const Case& c : cases) {
        TpgwReport source(nullptr);
        auto* page = new TpgwReportPage(&source);
        page->SetName("Page1");
        c.setUp(*page);
        TStringStream saved;
        source.SaveToStream(saved);
        TpgwReport target(nullptr);
        TStringStream in(saved.DataString());
        target.LoadFromStream(in);
        EXPECT_EQ(Lines(target.Errors()), std::vector<std::string>{}) << c.name;
        auto* loaded = dynamic_cast<TpgwReportPage*>(target.FindObject("Page1"));
        ASSERT_TRUE(loaded) << c.name;
        EXPECT_EQ(loaded->PaperSize(), page->PaperSize()) << c.name;
        EXPECT_EQ(loaded->PaperWidth(), page->PaperWidth()) << c.name;
        EXPECT_EQ(loaded->PaperHeight(), page->PaperHeight()) << c.name;
        EXPECT_EQ(loaded->Orientation(), page->Orientation()) << c.name;
        EXPECT_EQ(MarginsOf(*loaded), MarginsOf(*page)) << c.name;
        EXPECT_EQ(loaded->Width(), page->Width()) << c.name;
        EXPECT_EQ(loaded->Height(), page->Height()) << c.name;
        EXPECT_EQ(loaded->Columns(), page->Columns()) << c.name;
        EXPECT_EQ(Lines(*loaded->ColumnPositions()), Lines(*page->ColumnPositions())) << c.name;
        EXPECT_EQ(ObjectText(loaded, &target), ObjectText(page, &source)) << c.name;
    }
}

} // namespace
