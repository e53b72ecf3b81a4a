// Image lists: cutting strips into images, masks, plain and disabled drawing, change links.

#include "platform/core/exception.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/image_list.h"
#include "ui_test_support.h"

namespace {

// Widgets need the application started before any picture is drawn.
class ImageListTest : public UiTest {};

std::uint32_t Argb(TColor c) {
    c = ColorToRGB(c);
    return 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Tiles of 16 x 16 side by side, each filled with its colour and a fuchsia top-left corner
// (4 x 4) standing for the transparent background.
TBitmap Strip(std::initializer_list<TColor> colors, int width = 16) {
    TBitmap b(static_cast<int>(colors.size()) * width, 16);
    int x = 0;
    for (TColor c : colors) {
        b.Canvas().Brush().SetColor(c);
        b.Canvas().FillRect(Bounds(x, 0, width, 16));
        b.Canvas().Brush().SetColor(clFuchsia);
        b.Canvas().FillRect(Bounds(x, 0, 4, 4));
        x += width;
    }
    return b;
}

TEST_F(ImageListTest, StripsAreCutIntoMaskedTiles) {
    TImageList list(nullptr);
    EXPECT_EQ(list.AddMasked(Strip({clRed, clLime, clBlue}), clFuchsia), 0);
    ASSERT_EQ(list.Count(), 3);
    const TRasterImage green = list.Image(1);
    EXPECT_EQ(green.Width, 16);
    EXPECT_EQ(green.At(8, 8), Argb(clLime));
    EXPECT_EQ(green.At(1, 1) >> 24, 0u); // the mask colour is transparent
    EXPECT_EQ(list.Image(2).At(15, 15), Argb(clBlue));

    // A narrower bitmap makes one image, transparent beyond its width.
    EXPECT_EQ(list.AddMasked(Strip({clNavy}, 10), clFuchsia), 3);
    EXPECT_EQ(list.Image(3).At(9, 8), Argb(clNavy));
    EXPECT_EQ(list.Image(3).At(12, 8) >> 24, 0u);
    // clNone keeps every pixel.
    EXPECT_EQ(list.AddMasked(Strip({clRed}), clNone), 4);
    EXPECT_EQ(list.Image(4).At(1, 1), Argb(clFuchsia));
    // A mask bitmap: its non-black pixels are transparent.
    TBitmap mask(16, 16);
    mask.Canvas().Brush().SetColor(clBlack);
    mask.Canvas().FillRect(Bounds(0, 0, 16, 16));
    mask.Canvas().Brush().SetColor(clWhite);
    mask.Canvas().FillRect(Bounds(8, 0, 8, 16));
    EXPECT_EQ(list.Add(Strip({clRed}), &mask), 5);
    EXPECT_EQ(list.Image(5).At(7, 8), Argb(clRed));
    EXPECT_EQ(list.Image(5).At(8, 8) >> 24, 0u);

    EXPECT_EQ(list.AddMasked(TBitmap(), clFuchsia), -1);
    list.ReplaceMasked(0, Strip({clYellow}), clFuchsia);
    EXPECT_EQ(list.Image(0).At(8, 8), Argb(clYellow));
    list.Delete(1);
    EXPECT_EQ(list.Image(1).At(8, 8), Argb(clBlue));
    EXPECT_EQ(list.Count(), 5);

    list.SetSize(32, 32); // images of the old size do not fit
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ImageListTest, BadIndexesRaiseExceptWhenDrawing) {
    TImageList list(nullptr);
    list.AddMasked(Strip({clRed}), clFuchsia);
    EXPECT_THROW(list.Image(1), EInvalidOperation);
    EXPECT_THROW(list.Delete(-1), EInvalidOperation);
    EXPECT_THROW(list.ReplaceMasked(3, Strip({clRed}), clNone), EInvalidOperation);
    TBitmap b;
    EXPECT_THROW(list.GetBitmap(2, b), EInvalidOperation);
    TRasterCanvas canvas(20, 20);
    list.Draw(canvas, 0, 0, -1); // "no image"
    list.Draw(canvas, 0, 0, 7);
    EXPECT_EQ(canvas.Pixel(8, 8), clWhite);
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(ImageListTest, DrawsEnabledAndDisabled) {
    TImageList list(nullptr);
    // A dark square 4..11 with a white centre 6..9 on a transparent background.
    TBitmap b(16, 16);
    b.Canvas().Brush().SetColor(clFuchsia);
    b.Canvas().FillRect(Bounds(0, 0, 16, 16));
    b.Canvas().Brush().SetColor(clNavy);
    b.Canvas().FillRect(Bounds(4, 4, 8, 8));
    b.Canvas().Brush().SetColor(clWhite);
    b.Canvas().FillRect(Bounds(6, 6, 4, 4));
    list.AddMasked(b, clFuchsia);

    TRasterCanvas canvas(60, 30, 96, clGreen);
    list.Draw(canvas, 2, 3, 0);
    EXPECT_EQ(canvas.Pixel(2 + 5, 3 + 5), clNavy);
    EXPECT_EQ(canvas.Pixel(2 + 7, 3 + 7), clWhite);
    EXPECT_EQ(canvas.Pixel(2 + 1, 3 + 1), clGreen); // masked

    list.Draw(canvas, 30, 3, 0, false);
    const int x = 30, y = 3;
    EXPECT_EQ(canvas.Pixel(x + 4, y + 4), ColorToRGB(clBtnShadow));      // the shape
    EXPECT_EQ(canvas.Pixel(x + 12, y + 12), ColorToRGB(clBtnHighlight)); // its offset copy
    EXPECT_EQ(canvas.Pixel(x + 6, y + 6), ColorToRGB(clBtnHighlight));   // white is no shape...
    EXPECT_EQ(canvas.Pixel(x + 8, y + 8), clGreen);                      // ...nor its inside
    EXPECT_EQ(canvas.Pixel(x + 1, y + 1), clGreen);

    TBitmap copy;
    copy.Canvas().Brush().SetColor(clYellow);
    list.GetBitmap(0, copy);
    EXPECT_EQ(copy.Width(), 16);
    EXPECT_EQ(copy.Canvas().Pixel(1, 1), clYellow);
    EXPECT_EQ(copy.Canvas().Pixel(5, 5), clNavy);
}

TEST_F(ImageListTest, ChangeLinksHearChangesAndSurviveEitherSideGoingFirst) {
    auto list = std::make_unique<TImageList>(nullptr);
    int heard = 0, own = 0;
    TChangeLink link;
    link.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, list.get());
        ++heard;
    };
    link.SetSender(list.get());
    list->OnChange = [&](TObject*) { ++own; };
    list->AddMasked(Strip({clRed, clLime}), clFuchsia);
    list->Delete(0);
    list->Clear();
    list->Clear(); // nothing left to change
    EXPECT_EQ(heard, 3);
    EXPECT_EQ(own, 3);

    list->BeginUpdate();
    list->AddMasked(Strip({clRed}), clFuchsia);
    list->AddMasked(Strip({clRed}), clFuchsia);
    list->BeginUpdate();
    list->EndUpdate();
    EXPECT_EQ(heard, 3);
    list->EndUpdate();
    EXPECT_EQ(heard, 4);

    {
        TChangeLink gone;
        gone.SetSender(list.get());
    }
    TChangeLink moved;
    TImageList other(nullptr);
    moved.SetSender(list.get());
    moved.SetSender(&other);
    list->OnChange = nullptr;
    list->Clear();
    EXPECT_EQ(heard, 5);
    EXPECT_EQ(moved.Sender(), &other);

    list.reset();
    EXPECT_EQ(link.Sender(), nullptr);
}

} // namespace
