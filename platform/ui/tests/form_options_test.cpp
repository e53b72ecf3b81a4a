// Form window options: full screen and back, stay on top, no activation, the window owner.

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "platform/ui/form.h"
#include "ui_test_support.h"

namespace {

class FormOptionsTest : public UiTest {};

TEST_F(FormOptionsTest, FullScreenCoversTheScreenAndGivesTheBoundsBack) {
    // A fixed-size border must not keep the window at its size.
    const TFormBorderStyle cases[] = {bsSizeable, bsDialog};
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const TFormBorderStyle border : cases) {
        SCOPED_TRACE(static_cast<int>(border));
        TForm form(nullptr);
        form.SetBorderStyle(border);
        form.SetBounds(40, 30, 400, 300);
        form.Show();
        int resizes = 0;
        form.OnResize = [&](TObject*) { ++resizes; };
        form.SetFullScreen(true);
        EXPECT_TRUE(form.FullScreen());
        EXPECT_EQ(form.BoundsRect(),
                  Rect(screen.left(), screen.top(), screen.right() + 1, screen.bottom() + 1));
        EXPECT_TRUE(form.Widget()->windowState() & Qt::WindowFullScreen);
        EXPECT_EQ(form.Widget()->size(), screen.size());
        EXPECT_GT(resizes, 0);    // children are laid out for the new size
        form.SetFullScreen(true); // again: the bounds to come back to stay
        Application()->ProcessMessages();
        form.SetFullScreen(false);
        Application()->ProcessMessages();
        EXPECT_FALSE(form.Widget()->windowState() & Qt::WindowFullScreen);
        EXPECT_EQ(form.BoundsRect(), Rect(40, 30, 440, 330));
        EXPECT_EQ(form.Widget()->size(), QSize(400, 300));
    }
}

TEST_F(FormOptionsTest, StayOnTopNoActivateAndOwnerBecomeWindowProperties) {
    auto* owner = new TForm(nullptr);
    TForm tool(nullptr);
    tool.SetStayOnTop(true);
    tool.SetNoActivate(true);
    tool.SetWindowOwner(owner);
    tool.Show();
    QWidget* w = tool.Widget();
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    ASSERT_NE(w->windowHandle(), nullptr);
    EXPECT_EQ(w->windowHandle()->transientParent(), owner->Widget()->windowHandle());
    // Changing the border remakes the window; the options and the owner survive it.
    tool.SetBorderStyle(bsToolWindow);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->windowHandle()->transientParent(), owner->Widget()->windowHandle());
    // The owner goes: nothing dangles.
    delete owner;
    EXPECT_EQ(tool.WindowOwner(), nullptr);
    EXPECT_EQ(w->windowHandle()->transientParent(), nullptr);
    tool.SetStayOnTop(false);
    tool.SetNoActivate(false);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    // The form style asks for the same.
    tool.SetFormStyle(fsStayOnTop);
    EXPECT_TRUE(tool.StayOnTop());
    tool.SetWindowOwner(&tool); // a window is not its own owner
    EXPECT_EQ(tool.WindowOwner(), nullptr);
}

} // namespace
