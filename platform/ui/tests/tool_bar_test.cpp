// The tool bar: layout of buttons, separators and controls; mouse handling of plain, check,
// grouped and drop-down buttons; painting; and the lifetimes of buttons and image lists.

#include "platform/ui/tool_bar.h"

#include "platform/graphics/raster_canvas.h"
#include "platform/ui/form.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "ui_test_support.h"

namespace {

class ToolBarTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 400, 200);
        images = new TImageList(form.get());
        // Image 0 red, image 1 navy, each on a transparent fuchsia corner.
        TBitmap strip(32, 16);
        for (int i = 0; i < 2; ++i) {
            strip.Canvas().Brush().SetColor(i == 0 ? clRed : clNavy);
            strip.Canvas().FillRect(Bounds(16 * i, 0, 16, 16));
        }
        strip.Canvas().Brush().SetColor(clFuchsia);
        strip.Canvas().FillRect(Bounds(0, 0, 2, 2));
        images->AddMasked(strip, clFuchsia);
        bar = new TToolBar(form.get());
        bar->SetParent(form.get());
        bar->SetImages(images);
    }
    void TearDown() override {
        form.reset();
        UiTest::TearDown();
    }
    TToolButton* Add(TToolButtonStyle style, int image = 0, const char* caption = "") {
        auto* b = new TToolButton(form.get());
        b->SetStyle(style);
        b->SetImageIndex(image);
        b->SetCaption(caption);
        bar->AddButton(b);
        return b;
    }
    void Click(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        SendMouse(bar->Widget(), QEvent::MouseButtonPress, p, button);
        SendMouse(bar->Widget(), QEvent::MouseButtonRelease, p, button);
    }
    static QPoint Centre(const TToolButton* b) {
        const TRect r = b->BoundsRect();
        return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    }
    std::unique_ptr<TForm> form;
    TImageList* images = nullptr;
    TToolBar* bar = nullptr;
};

TEST_F(ToolBarTest, LaysOutButtonsSeparatorsAndControlsInOrder) {
    TToolButton* plain = Add(tbsButton);
    TToolButton* hidden = Add(tbsButton);
    hidden->SetVisible(false);
    TToolButton* drop = Add(tbsDropDown);
    TToolButton* sep = Add(tbsSeparator);
    auto* edit = new TEdit(form.get());
    edit->SetBounds(0, 0, 40, 18);
    bar->AddControl(edit);
    TToolButton* last = Add(tbsCheck, 1);

    EXPECT_EQ(bar->ButtonCount(), 5);
    EXPECT_EQ(bar->Buttons(4), last);
    EXPECT_EQ(plain->BoundsRect(), Bounds(0, 0, 23, 22));
    EXPECT_TRUE(hidden->BoundsRect().IsEmpty());
    EXPECT_EQ(drop->BoundsRect(), Bounds(23, 0, 35, 22)); // with its arrow
    EXPECT_EQ(sep->BoundsRect(), Bounds(58, 0, 8, 22));
    EXPECT_EQ(edit->Parent(), bar);
    EXPECT_EQ(edit->BoundsRect(), Bounds(66, 2, 40, 18)); // centred in the row
    EXPECT_EQ(last->BoundsRect().Left, 106);
    EXPECT_EQ(bar->ButtonAtPos(60, 5), nullptr); // separators are no buttons
    EXPECT_EQ(bar->ButtonAtPos(30, 5), drop);

    // Hiding or widening a control moves what follows; so does an indent.
    edit->SetVisible(false);
    EXPECT_EQ(last->BoundsRect().Left, 66);
    edit->SetVisible(true);
    edit->SetWidth(60);
    EXPECT_EQ(last->BoundsRect().Left, 126);
    bar->SetIndent(4);
    EXPECT_EQ(plain->BoundsRect().Left, 4);

    // Captions widen and heighten every button alike; the bar can follow the height.
    plain->SetCaption("A rather long caption");
    bar->SetShowCaptions(true);
    const TSize size = bar->ButtonSize();
    EXPECT_EQ(size.cx, bar->Canvas()->TextWidth("A rather long caption") + 8);
    EXPECT_EQ(size.cy, 16 + bar->Canvas()->TextHeight("Wg") + 8);
    EXPECT_EQ(last->BoundsRect().Width(), size.cx);
    bar->SetAutoSize(true);
    EXPECT_EQ(bar->Height(), size.cy);
    bar->SetShowCaptions(false);
    EXPECT_EQ(bar->Height(), 22);
    // A larger image size grows the buttons through the change link.
    images->SetSize(24, 24);
    EXPECT_EQ(plain->BoundsRect(), Bounds(4, 0, 31, 30));
}

TEST_F(ToolBarTest, MouseClicksPlainCheckGroupedAndDropDownButtons) {
    EventLog log;
    TToolButton* plain = Add(tbsButton);
    TToolButton* outline = Add(tbsCheck);
    TToolButton* thumb = Add(tbsCheck);
    TToolButton* lone = Add(tbsCheck);
    TToolButton* drop = Add(tbsDropDown);
    auto* menu = new TPopupMenu(form.get());
    drop->SetDropdownMenu(menu);
    for (TToolButton* b : {outline, thumb}) {
        b->SetGrouped(true);
        b->SetAllowAllUp(true);
    }
    plain->SetHint("Print");
    plain->SetName("PlainB");
    drop->SetName("DropB");
    for (TToolButton* b : {plain, drop})
        b->OnClick = [&log](TObject* s) { log("click " + static_cast<TToolButton*>(s)->Name()); };
    drop->OnDropDown = [&log](TObject*) { log("drop"); };
    plain->OnMouseUp = [&log](TObject*, TMouseButton button, TShiftState, int, int) {
        log(button == mbRight ? "right up" : "left up");
    };

    Click(Centre(plain));
    // Pressed on the button, released elsewhere: no click.
    SendMouse(bar->Widget(), QEvent::MouseButtonPress, Centre(plain));
    SendMouse(bar->Widget(), QEvent::MouseMove, {200, 5});
    SendMouse(bar->Widget(), QEvent::MouseButtonRelease, {200, 5});
    Click(Centre(plain), Qt::RightButton);
    plain->SetEnabled(false);
    Click(Centre(plain));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"left up", "click PlainB", "right up"}));

    log.lines.clear();
    const TRect dr = drop->BoundsRect();
    Click({dr.Right - 4, 5}); // the arrow
    EXPECT_EQ(menu->PopupComponent(), drop);
    Click({dr.Left + 4, 5}); // the face
    EXPECT_EQ(log.lines, (std::vector<std::string>{"drop", "click DropB"}));

    // Grouped check buttons are down one at a time and, with AllowAllUp, may all be up.
    Click(Centre(outline));
    EXPECT_TRUE(outline->Down());
    Click(Centre(thumb));
    EXPECT_TRUE(thumb->Down());
    EXPECT_FALSE(outline->Down());
    Click(Centre(thumb));
    EXPECT_FALSE(thumb->Down());
    outline->SetAllowAllUp(false);
    outline->SetDown(true);
    Click(Centre(outline));
    EXPECT_TRUE(outline->Down());
    // The lone check button is no member of the group.
    Click(Centre(lone));
    EXPECT_TRUE(lone->Down());
    EXPECT_TRUE(outline->Down());
    Click(Centre(lone));
    EXPECT_FALSE(lone->Down());

    // The hint follows the button under the mouse.
    SendMouse(bar->Widget(), QEvent::MouseMove, Centre(plain), Qt::NoButton);
    EXPECT_EQ(bar->Hint(), "Print");
    SendMouse(bar->Widget(), QEvent::MouseMove, Centre(lone), Qt::NoButton);
    EXPECT_EQ(bar->Hint(), "");
}

TEST_F(ToolBarTest, PaintsImagesCaptionsAndStates) {
    TToolButton* plain = Add(tbsButton, 0);
    TToolButton* off = Add(tbsButton, 1);
    off->SetEnabled(false);
    TToolButton* down = Add(tbsCheck, -1);
    down->SetDown(true);
    Add(tbsDivider);
    TToolButton* captioned = Add(tbsButton, 1, "Go");
    (void)captioned;
    form->Show();
    TRasterImage shot = bar->GrabImage();
    auto at = [&](const TToolButton* b, int dx, int dy) {
        const TRect r = b->BoundsRect();
        return shot.At(r.Left + dx, r.Top + dy) & 0xFFFFFFu;
    };
    const std::uint32_t face = ColorToRGB(clBtnFace);
    const std::uint32_t faceArgb =
        (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    EXPECT_EQ(at(plain, 11, 11), 0xFF0000u);               // the red image, centred
    EXPECT_EQ(at(plain, 3, 3), faceArgb);                  // its masked corner
    EXPECT_NE(at(off, 11, 11), 0x000080u);                 // not the navy image...
    EXPECT_NE(at(off, 11, 11), faceArgb);                  // ...but its disabled shape
    EXPECT_NE(at(down, 11, 11), faceArgb);                 // the down face is lighter
    EXPECT_EQ(at(down, 0, 0), 0x808080u & at(down, 0, 0)); // sunken: a dark top-left edge
    EXPECT_NE(at(down, 0, 0), at(down, 22, 21));

    bar->SetAutoSize(true);
    bar->SetShowCaptions(true);
    shot = bar->GrabImage();
    ASSERT_EQ(shot.Height, bar->ButtonSize().cy);
    const TRect r = captioned->BoundsRect();
    const int imageBottom =
        r.Top + (bar->ButtonSize().cy - 16 - bar->Canvas()->TextHeight("Wg") - 2) / 2 + 16;
    int ink = 0;
    for (int y = imageBottom + 2; y < r.Bottom - 1; ++y)
        for (int x = r.Left + 1; x < r.Right - 1; ++x)
            if ((shot.At(x, y) & 0xFFFFFFu) != faceArgb) ++ink;
    EXPECT_GT(ink, 5); // the caption under the image

    // Any canvas gets the same picture.
    TRasterCanvas canvas(bar->Width(), bar->Height());
    bar->PaintTo(canvas);
    EXPECT_EQ(canvas.Pixel(plain->BoundsRect().Left + 11, r.Top + 10), clRed);
}

TEST_F(ToolBarTest, ButtonsImagesAndBarMayGoInAnyOrder) {
    TToolButton* a = Add(tbsButton);
    TToolButton* b = Add(tbsButton);
    auto* menu = new TPopupMenu(form.get());
    b->SetDropdownMenu(menu);
    delete menu;
    EXPECT_EQ(b->DropdownMenu(), nullptr);
    delete a;
    EXPECT_EQ(bar->ButtonCount(), 1);
    EXPECT_EQ(b->BoundsRect().Left, 0);
    auto* edit = new TEdit(form.get());
    bar->AddControl(edit);
    delete edit;
    EXPECT_EQ(bar->ButtonCount(), 1);

    delete images;
    EXPECT_EQ(bar->Images(), nullptr);
    (void)bar->GrabImage();

    // A button moved to another bar leaves the first.
    auto* other = new TToolBar(form.get());
    other->AddButton(b);
    EXPECT_EQ(bar->ButtonCount(), 0);
    EXPECT_EQ(b->ToolBar(), other);
    delete other;
    EXPECT_EQ(b->ToolBar(), nullptr);
    b->SetCaption("still usable");
}

} // namespace
