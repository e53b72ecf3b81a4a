// Colours, fonts, face substitution and the measurer.

#include <gtest/gtest.h>

#include <climits>

#include "platform/core/properties.h"
#include "platform/graphics/brush.h"
#include "platform/graphics/color.h"
#include "platform/graphics/pen.h"
#include "platform/graphics/font.h"
#include "platform/graphics/font_measurer.h"
#include "platform/core/exception.h"
#include "platform/graphics/raster_canvas.h"
#include "pixel_helpers.h"

TEST(Color, SystemColoursAndNames)
{
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
    EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFF);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
    EXPECT_EQ(ColorToRGB(clWindowText), 0);
    EXPECT_EQ(ColorToRGB(clNone), 0);

    EXPECT_EQ(IdentToColor("clRed"), clRed);
    EXPECT_EQ(IdentToColor("CLRED"), clRed);
    EXPECT_EQ(IdentToColor("clBtnFace"), clBtnFace);
    EXPECT_EQ(IdentToColor("clNone"), clNone);
    EXPECT_FALSE(IdentToColor("red").has_value());
    EXPECT_EQ(ColorToIdent(clSilver), "clSilver");  // clLtGray is an alias of the same value
    EXPECT_EQ(ColorToIdent(clHighlight), "clHighlight");
    EXPECT_FALSE(ColorToIdent(0x123456).has_value());

    EXPECT_EQ(ColorToString(clAqua), "clAqua");
    EXPECT_EQ(ColorToString(0x00123456), "$00123456");
    EXPECT_EQ(StringToColor("$00123456"), 0x123456);
    EXPECT_EQ(StringToColor("clYellow"), clYellow);
    EXPECT_EQ(StringToColor("255"), clRed);
    EXPECT_EQ(StringToColor("-16777201"), clBtnFace);
    EXPECT_THROW(StringToColor("clNoSuchColour"), EConvertError);
    EXPECT_THROW(StringToColor("$"), EConvertError);
}

TEST(Font, SizeHeightAndChangeNotification)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&](TFont&) { ++changes; };
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    EXPECT_EQ(font.Size(), 12);
    EXPECT_EQ(changes, 1);
    font.SetHeight(-16);  // unchanged: no notification
    font.SetName("Arial");
    EXPECT_EQ(changes, 1);
    font.SetStyle({fsBold, fsUnderline});
    EXPECT_TRUE(font.Style().Contains(fsBold));
    EXPECT_FALSE(font.Style().Contains(fsItalic));
    EXPECT_EQ(changes, 2);

    TFont design;
    design.SetPixelsPerInch(600);
    design.SetHeight(-83);  // 10 pt at 600 ppi
    EXPECT_EQ(design.Size(), 10);
    TFont screen;
    screen.Assign(design);  // keeps the size in points, not the pixel height
    EXPECT_EQ(screen.Height(), -13);
}

TEST(Font, PublishedProperties)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&](TFont&) { ++changes; };
    SetPropText(font, "name", "Times New Roman");
    SetPropText(font, "Style", "[fsBold,fsUnderline]");
    SetPropValue(font, "Height", Variant(-20));
    EXPECT_EQ(font.Name(), "Times New Roman");
    EXPECT_EQ(font.Style(), TFontStyles({fsBold, fsUnderline}));
    EXPECT_EQ(font.Height(), -20);
    EXPECT_EQ(changes, 3);
    const TPropInfo* style = GetPropInfo(font, "Style");
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(GetSetProp(font, *style), "fsBold,fsUnderline");
    EXPECT_FALSE(IsStoredProp(font, *GetPropInfo(font, "Size")));

    TPen pen;
    SetPropText(pen, "Style", "psDash");
    SetPropText(pen, "Mode", "pmXor");
    EXPECT_EQ(pen.Style(), psDash);
    EXPECT_EQ(pen.Mode(), pmXor);
    TBrush brush;
    SetPropText(brush, "Style", "bsCross");
    EXPECT_EQ(brush.Style(), bsCross);
    EXPECT_TRUE(IsDefaultPropValue(pen, *GetPropInfo(pen, "Width")));

    // Assign through the persistent interface.
    TFont copy;
    copy.Assign(static_cast<const TPersistent*>(&font));
    EXPECT_EQ(copy.Data(), font.Data());
    EXPECT_THROW(copy.Assign(static_cast<const TPersistent*>(&pen)), EConvertError);
}

TEST(FontResolver, SubstitutionTable)
{
    struct Case {
        const char* requested;
        const char* resolved;
    };
    const Case cases[] = {
        {"Arial", "Liberation Sans"},          {"arial", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"}, {"Courier New", "Liberation Mono"},
        {"宋体", "AR PL UMing CN"},            {"SimSun", "AR PL UMing CN"},
        {"新宋体", "AR PL UMing CN"},          {"黑体", "WenQuanYi Zen Hei"},
        {"微软雅黑", "WenQuanYi Zen Hei"},     {"Tahoma", "DejaVu Sans"},
        {"MS Sans Serif", "DejaVu Sans"},      {"No Such Face 123", "Liberation Sans"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveFontFace(c.requested), c.resolved) << c.requested;
        EXPECT_EQ(TFontMeasurer::Get(c.requested, {}, 20)->FaceName(), c.resolved) << c.requested;
    }
}

TEST(FontMeasurer, WindowsCompatibleAdvancesAndMetrics)
{
    // Arial's design advances (units per em 2048) scaled to 83 pixels, each rounded.
    const std::vector<int> golden = {60, 46, 18, 18, 46, 23, 23, 78, 46, 28, 18, 46};
    auto arial = TFontMeasurer::Get("Arial", {}, 83);
    const std::u16string text = u"Hello, World";
    std::vector<int> advances(text.size());
    EXPECT_EQ(arial->Advances(text, advances.data()), 450);
    EXPECT_EQ(advances, golden);

    const TTextMetric& m = arial->Metrics();
    EXPECT_EQ(m.Ascent, 75);
    EXPECT_EQ(m.Descent, 18);
    EXPECT_EQ(m.Height, 93);
    EXPECT_EQ(m.InternalLeading, 10);
    EXPECT_EQ(m.ExternalLeading, 3);
    EXPECT_EQ(m.AveCharWidth, 37);

    // A 10 pt font on the 600 ppi measuring canvas.
    auto canvas = MakeMeasuringCanvas(600);
    canvas->Font().SetName("Arial");
    canvas->Font().SetSize(10);
    EXPECT_EQ(canvas->Font().Height(), -83);
    EXPECT_EQ(canvas->TextWidth("Hello, World"), 450);
    std::vector<int> cumulative(text.size());
    EXPECT_EQ(canvas->TextExtents(text, cumulative.data()), 450);
    EXPECT_EQ(cumulative[0], 60);
    EXPECT_EQ(cumulative[4], 188);

    // A positive height is the cell height.
    EXPECT_EQ(FontEmPixels("Arial", {}, 93), 83);
    // Heights read from a stored font stay in the measurable range whatever they hold.
    EXPECT_EQ(FontEmPixels("Arial", {}, INT_MIN), 32767);
    EXPECT_EQ(FontEmPixels("Arial", {}, INT_MAX), 32767);
}

TEST(FontMeasurer, CjkFallbackForMeasuringAndDrawing)
{
    auto arial = TFontMeasurer::Get("Arial", {}, 40);
    auto song = TFontMeasurer::Get("宋体", {}, 40);
    EXPECT_FALSE(arial->UsesFallback(U'A'));
    EXPECT_TRUE(arial->UsesFallback(U'中'));
    EXPECT_GT(arial->CharAdvance(U'中'), 30);
    EXPECT_EQ(arial->CharAdvance(U'中'), song->CharAdvance(U'中'));
    // A character outside the basic plane: the advance sits on the first unit.
    std::u16string pair = u"\U00020000";
    int adv[2];
    arial->Advances(pair, adv);
    EXPECT_EQ(adv[1], 0);

    TRasterCanvas c(60, 60);
    c.Font().SetName("Arial");
    c.Font().SetHeight(-40);
    c.Font().SetColor(clBlack);
    c.Brush().SetStyle(bsClear);
    c.TextOut(5, 5, "中");
    const TRect ink = InkBounds(c);
    EXPECT_FALSE(ink.IsEmpty());
    EXPECT_GT(ink.Width(), 25);  // a full ideograph, not a missing-glyph box or nothing
    EXPECT_GT(ink.Height(), 25);
}

TEST(FontMeasurer, OutlineAndPitchFlags)
{
    struct Case {
        const char* face;
        bool fixed;
    } cases[] = {{"Courier New", true}, {"Arial", false}, {"Times New Roman", false},
                 {"DejaVu Sans Mono", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        auto m = TFontMeasurer::Get(c.face, {fsBold}, 13);
        EXPECT_EQ(m->FontType(), TRUETYPE_FONTTYPE);
        EXPECT_TRUE(m->Metrics().PitchAndFamily & TMPF_TRUETYPE);
        EXPECT_EQ(m->FixedPitch(), c.fixed);
        // The window system's inverted sense: the bit marks variable pitch.
        EXPECT_EQ((m->Metrics().PitchAndFamily & TMPF_FIXED_PITCH) != 0, !c.fixed);
        if (c.fixed) {
            EXPECT_EQ(m->CharAdvance(U'i'), m->CharAdvance(U'W'));
        }
    }
}
