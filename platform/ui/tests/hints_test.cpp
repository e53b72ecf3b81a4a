// Hints: the painted hint window after the pause, per-point answers, and what cancels a hint;
// time comes from a stepped clock.

#include <QHelpEvent>
#include <QToolTip>

#include "platform/graphics/canvas.h"
#include "platform/ui/form.h"
#include "platform/ui/hints.h"
#include "ui_test_support.h"

namespace {

std::uint32_t rgbOf(TColor c) {
    const std::uint32_t v = static_cast<std::uint32_t>(ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

class HintsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        Hints(); // hears the mouse from here on
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(100, 100, 300, 200);
        left = addBox(0, "Left box|Long text of the left box");
        right = addBox(150, "");
        form->Show();
    }
    void TearDown() override {
        Hints().CancelHint();
        form.reset();
        UiTest::TearDown();
    }
    TCustomControl* addBox(int x, const std::string& hint) {
        auto* c = new TCustomControl(form.get());
        c->SetParent(form.get());
        c->SetBounds(x, 0, 150, 200);
        c->SetHint(hint);
        c->SetShowHint(true);
        return c;
    }
    static void MoveTo(TControl* c, int x, int y) {
        SendMouse(c->Widget(), QEvent::MouseMove, {x, y}, Qt::NoButton);
    }
    static std::string Shown() {
        return Hints().HintShowing() ? Hints().HintWindow()->HintText() : std::string();
    }
    TScopedTestClock clock;
    std::unique_ptr<TForm> form;
    TCustomControl* left = nullptr;
    TCustomControl* right = nullptr;
};

TEST_F(HintsTest, ShortPartAppearsAfterThePauseBelowThePointerAndGoesAfterTheHidePause) {
    Application()->SetHintPause(500);
    MoveTo(left, 20, 30);
    clock.Advance(499);
    EXPECT_EQ(Shown(), "");
    MoveTo(left, 25, 30); // moving within the control does not restart the wait
    clock.Advance(1);
    ASSERT_EQ(Shown(), "Left box");
    THintWindow* w = Hints().HintWindow();
    const TPoint pointer = left->ClientToScreen({25, 30}); // where the mouse is last
    EXPECT_EQ(w->Left(), pointer.X);
    EXPECT_GT(w->Top(), pointer.Y);
    EXPECT_EQ(w->Width(), w->CalcHintRect("Left box").Width());
    // Painted by us: a frame, the info colour, and the text in between.
    const TRasterImage shot = w->GrabImage();
    EXPECT_EQ(shot.At(0, 0) & 0xFFFFFF, rgbOf(clWindowFrame));
    EXPECT_EQ(shot.At(w->Width() - 2, 1) & 0xFFFFFF, rgbOf(clInfoBk));
    int ink = 0;
    for (int y = 1; y < w->Height() - 1; ++y)
        for (int x = 1; x < w->Width() - 1; ++x)
            if ((shot.At(x, y) & 0xFFFFFF) != rgbOf(clInfoBk)) ++ink;
    EXPECT_GT(ink, 20);

    clock.Advance(2499);
    EXPECT_EQ(Shown(), "Left box");
    clock.Advance(1);
    EXPECT_EQ(Shown(), "");
    // Still in the same place: it does not come back on its own.
    MoveTo(left, 26, 31);
    clock.Advance(5000);
    EXPECT_EQ(Shown(), "");
}

TEST_F(HintsTest, QueryAnswersPerPointAndTheNextHintFollowsQuickly) {
    int asked = 0;
    Hints().SetHintQuery(right, [&](THintInfo& info) {
        ++asked;
        EXPECT_EQ(info.HintControl, right);
        const bool top = info.CursorPos.Y < 100;
        info.CursorRect = top ? Rect(0, 0, 150, 100) : Rect(0, 100, 150, 150);
        info.HintStr = top ? "top object" : ""; // nothing over the lower part
        if (top) info.HideTimeout = 300;
    });
    Application()->SetHintPause(500);
    MoveTo(right, 10, 10);
    clock.Advance(500);
    EXPECT_EQ(Shown(), "top object");
    MoveTo(right, 90, 90); // inside the answered rectangle: no new question
    clock.Advance(100);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Shown(), "top object");
    // Out of the rectangle: the hint goes, the next place is asked after the short pause.
    MoveTo(right, 10, 120);
    EXPECT_EQ(Shown(), "");
    clock.Advance(Hints().HintShortPause());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Shown(), "");
    // Back up, and onto the other control: the query's own hide time holds.
    MoveTo(right, 10, 10);
    clock.Advance(Hints().HintShortPause());
    EXPECT_EQ(Shown(), "top object");
    clock.Advance(300);
    EXPECT_EQ(Shown(), "");
    Hints().SetHintQuery(right, nullptr);
    right->SetHint("plain");
    Hints().ActivateHint(right, {5, 5});
    EXPECT_EQ(Shown(), "plain");
}

TEST_F(HintsTest, WhatPreventsOrCancelsAHint) {
    Application()->SetHintPause(100);
    // A click cancels the wait.
    MoveTo(left, 20, 30);
    ClickAt(left, {20, 30});
    clock.Advance(1000);
    EXPECT_EQ(Shown(), "");
    // A child without ShowHint shows its parent's hint.
    auto* inner = new TCustomControl(form.get());
    inner->SetParent(right);
    inner->SetBounds(10, 10, 50, 50);
    right->SetHint("outer|long");
    MoveTo(inner, 5, 5);
    clock.Advance(100);
    EXPECT_EQ(Shown(), "outer");
    EXPECT_EQ(Hints().HintControl(), right);
    // The hint control freed while shown or waited for: nothing dangles.
    MoveTo(left, 1, 1);
    delete left;
    left = nullptr;
    EXPECT_EQ(Hints().HintControl(), nullptr);
    clock.Advance(1000);
    EXPECT_EQ(Shown(), "");
    // The application's switch.
    Hints().SetShowHint(false);
    MoveTo(right, 100, 100);
    clock.Advance(1000);
    EXPECT_EQ(Shown(), "");
    // The toolkit's tooltip stays silent: hints are ours alone.
    right->SetShowHint(true);
    QHelpEvent help(QEvent::ToolTip, {5, 5}, right->Widget()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(right->Widget(), &help);
    EXPECT_FALSE(QToolTip::isVisible());
    Hints().SetShowHint(true);
}

TEST(HintText, ShortAndLongParts) {
    struct Case {
        const char* hint;
        const char* shortPart;
        const char* longPart;
    } cases[] = {{"Open|Opens a report", "Open", "Opens a report"},
                 {"Open", "Open", "Open"},
                 {"|Only long", "", "Only long"},
                 {"", "", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(GetShortHint(c.hint), c.shortPart) << c.hint;
        EXPECT_EQ(GetLongHint(c.hint), c.longPart) << c.hint;
    }
}

} // namespace
