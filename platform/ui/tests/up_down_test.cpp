// The up-down spinner: steps within its range, its associated edit (text, typed values, arrow
// keys, placement), held buttons repeating on the tick source, and its painted arrows.

#include "platform/ui/extra_controls.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "ui_test_support.h"

namespace {

class UpDownTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 300, 200);
        edit = new TEdit(form.get());
        edit->SetParent(form.get());
        edit->SetBounds(10, 10, 80, 21);
        upDown = new TUpDown(form.get());
        form->Show();
    }
    std::unique_ptr<TForm> form;
    TEdit* edit = nullptr;
    TUpDown* upDown = nullptr;
};

TEST_F(UpDownTest, StepsStayInRangeOrWrap) {
    struct Case {
        int min, max, increment, start;
        bool wrap;
        TUDBtnType button;
        int expected;
    } cases[] = {
        {0, 10, 3, 9, false, btNext, 10},
        {0, 10, 3, 9, true, btNext, 0},
        {0, 10, 3, 1, false, btPrev, 0},
        {0, 10, 3, 1, true, btPrev, 10},
        {-5, 5, 2, 0, false, btPrev, -2},
        {0, 100, 25, 50, false, btNext, 75},
        {0, INT32_MAX, 10, INT32_MAX - 1, false, btNext, INT32_MAX}, // no overflow
    };
    for (const Case& c : cases) {
        TUpDown u(nullptr);
        u.SetMin(c.min);
        u.SetMax(c.max);
        u.SetIncrement(c.increment);
        u.SetPosition(c.start);
        u.SetWrap(c.wrap);
        u.Step(c.button);
        EXPECT_EQ(u.Position(), c.expected) << c.min << ".." << c.max << " from " << c.start;
    }
    TUpDown u(nullptr);
    u.SetPosition(500);
    EXPECT_EQ(u.Position(), 100);
    u.SetMax(50);
    EXPECT_EQ(u.Position(), 50);
}

TEST_F(UpDownTest, AssociateShowsPositionAndItsTypedTextCounts) {
    upDown->SetMax(5000);
    upDown->SetPosition(1234);
    upDown->SetAssociate(edit);
    EXPECT_EQ(edit->Text(), "1,234");
    // The spinner sits at the edit's right end and the pair keeps the edit's old place.
    EXPECT_EQ(upDown->Parent(), form.get());
    EXPECT_EQ(edit->BoundsRect(), Rect(10, 10, 90 - upDown->Width(), 31));
    EXPECT_EQ(upDown->BoundsRect(), Rect(90 - upDown->Width(), 10, 90, 31));
    // What the user typed is where the next step starts; text that is no number is ignored.
    edit->SetText("2,000");
    upDown->Step(btNext);
    EXPECT_EQ(upDown->Position(), 2001);
    EXPECT_EQ(edit->Text(), "2,001");
    edit->SetText("lots");
    upDown->Step(btPrev);
    EXPECT_EQ(upDown->Position(), 2000);
    edit->SetText("99999"); // typed beyond the range: clamped before the step
    upDown->Step(btPrev);
    EXPECT_EQ(upDown->Position(), 4999);
    upDown->SetThousands(false);
    EXPECT_EQ(edit->Text(), "4999");
    // OnChanging may refuse; OnClick tells which button.
    std::vector<TUDBtnType> clicks;
    upDown->OnClick = [&](TObject*, TUDBtnType b) { clicks.push_back(b); };
    upDown->OnChanging = [&](TObject*, bool& allow) { allow = false; };
    upDown->Step(btNext);
    EXPECT_EQ(upDown->Position(), 4999);
    EXPECT_TRUE(clicks.empty());
    upDown->OnChanging = nullptr;
    // Arrow keys in the edit step it; with ArrowKeys off the edit keeps them.
    SendKey(edit->Widget(), Qt::Key_Down);
    SendKey(edit->Widget(), Qt::Key_Down);
    SendKey(edit->Widget(), Qt::Key_Up);
    EXPECT_EQ(upDown->Position(), 4998);
    EXPECT_EQ(clicks, (std::vector<TUDBtnType>{btPrev, btPrev, btNext}));
    upDown->SetArrowKeys(false);
    SendKey(edit->Widget(), Qt::Key_Up);
    EXPECT_EQ(upDown->Position(), 4998);
    // The edit goes first: nothing dangles.
    delete edit;
    EXPECT_EQ(upDown->Associate(), nullptr);
    upDown->Step(btNext);
    EXPECT_EQ(upDown->Position(), 4999);
}

TEST_F(UpDownTest, HeldButtonRepeatsUntilReleased) {
    TScopedTestClock clock;
    upDown->SetParent(form.get());
    upDown->SetBounds(100, 10, 16, 24);
    SendMouse(upDown->Widget(), QEvent::MouseButtonPress, {8, 3}); // upper half: next
    EXPECT_EQ(upDown->Position(), 1);
    clock.Advance(399);
    EXPECT_EQ(upDown->Position(), 1);
    clock.Advance(1 + 3 * 100);
    EXPECT_EQ(upDown->Position(), 5);
    SendMouse(upDown->Widget(), QEvent::MouseButtonRelease, {8, 3});
    clock.Advance(1000);
    EXPECT_EQ(upDown->Position(), 5);
    ClickAt(upDown, {8, 20}); // lower half: previous
    EXPECT_EQ(upDown->Position(), 4);
    upDown->SetOrientation(udHorizontal);
    ClickAt(upDown, {12, 12}); // right half: next
    EXPECT_EQ(upDown->Position(), 5);
}

TEST_F(UpDownTest, PaintsTwoRaisedButtonsWithArrows) {
    upDown->SetParent(form.get());
    upDown->SetBounds(100, 10, 16, 24);
    const TRasterImage shot = upDown->GrabImage();
    auto ink = [&](int top, int bottom) {
        int n = 0;
        for (int y = top + 2; y < bottom - 2; ++y)
            for (int x = 2; x < 14; ++x)
                if ((shot.At(x, y) & 0xFFFFFF) == 0) ++n;
        return n;
    };
    EXPECT_GT(ink(0, 12), 2); // an arrow in each half
    EXPECT_GT(ink(12, 24), 2);
}

TEST(UpDownValue, FormatAndParse) {
    struct Case {
        int value;
        const char* withThousands;
        const char* plain;
    } cases[] = {{0, "0", "0"},
                 {999, "999", "999"},
                 {1000, "1,000", "1000"},
                 {-1234567, "-1,234,567", "-1234567"},
                 {INT32_MIN, "-2,147,483,648", "-2147483648"}};
    for (const Case& c : cases) {
        EXPECT_EQ(FormatUpDownValue(c.value, true), c.withThousands);
        EXPECT_EQ(FormatUpDownValue(c.value, false), c.plain);
        int back = 0;
        ASSERT_TRUE(ParseUpDownValue(c.withThousands, back));
        EXPECT_EQ(back, c.value);
    }
    int v = 7;
    for (const char* bad : {"", "-", "1.5", "12a", "2147483648", "--1", " , "})
        EXPECT_FALSE(ParseUpDownValue(bad, v)) << bad;
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(ParseUpDownValue("  +42 ", v));
    EXPECT_EQ(v, 42);
}

} // namespace
