// The application object: error handler, queued and idle calls, termination, modal forms and
// the closing protocol.

#include <QTimer>

#include "platform/core/exception.h"
#include "platform/core/properties.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/timer.h"
#include "ui_test_support.h"

namespace {

class ApplicationTest : public UiTest {};

TEST_F(ApplicationTest, ExceptionInClickHandlerBecomesErrorBoxAndLoopGoesOn) {
    Application()->SetTitle("Lumetra");
    TForm form(nullptr);
    auto* button = new TButton(&form);
    button->SetParent(&form);
    int clicks = 0;
    button->OnClick = [&](TObject*) {
        ++clicks;
        throw EConvertError("'abc' is not a valid integer value");
    };
    form.Show();
    ClickAt(button);
    ClickAt(button);
    ASSERT_EQ(clicks, 2);
    ASSERT_EQ(reporter->Boxes.size(), 2u);
    const TMessageBoxRequest& box = reporter->Boxes[0];
    EXPECT_TRUE(box.IsErrorBox);
    EXPECT_EQ(box.Text, "'abc' is not a valid integer value.");
    EXPECT_EQ(box.Caption, "Lumetra");
    EXPECT_EQ(box.Icon, mtError);
    EXPECT_EQ(box.Buttons, BtnBit(mbOK));
    // The loop still runs queued work afterwards.
    bool ran = false;
    Application()->QueueCall([&] { ran = true; });
    Application()->ProcessMessages();
    EXPECT_TRUE(ran);
}

TEST_F(ApplicationTest, ErrorTextGetsFullStopOnlyAfterCharactersAbovePeriod) {
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {"Disk full", "Disk full."},   {"Done.", "Done."}, {"文件不存在!", "文件不存在!"},
        {"数据库错误", "数据库错误."}, {"", ""},
    };
    for (const Case& c : cases) {
        reporter->Boxes.clear();
        Application()->HandleException(Exception(c.message));
        ASSERT_EQ(reporter->Boxes.size(), 1u) << c.message;
        EXPECT_EQ(reporter->Boxes[0].Text, c.shown);
    }
}

TEST_F(ApplicationTest, AbortIsSilentAndOnExceptionReplacesTheBox) {
    Application()->HandleException(EAbort("Operation aborted"));
    EXPECT_TRUE(reporter->Boxes.empty());
    std::string seen;
    Application()->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
    SafeCall([] { throw EInOutError("I/O error 5"); });
    EXPECT_EQ(seen, "I/O error 5");
    EXPECT_TRUE(reporter->Boxes.empty());
}

TEST_F(ApplicationTest, QueuedCallsRunInOrderAndRunEndsOnTerminate) {
    TForm* main = new TForm(Application());
    Application()->SetMainForm(main);
    std::vector<int> order;
    Application()->QueueCall([&] { order.push_back(1); });
    Application()->QueueCall([&] { order.push_back(2); });
    Application()->QueueCall([&] {
        EXPECT_TRUE(main->Visible());
        Application()->Terminate();
    });
    Application()->Run();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_TRUE(Application()->Terminated());
    EXPECT_FALSE(main->Visible());
    delete main;
    EXPECT_EQ(Application()->MainForm(), nullptr);
}

TEST_F(ApplicationTest, IdleRunsWhenQueueEmptiesAndTimerFires) {
    TForm* main = new TForm(Application());
    Application()->SetMainForm(main);
    int idles = 0;
    Application()->OnIdle = [&](TObject*, bool& done) {
        ++idles;
        done = true;
    };
    TTimer timer(nullptr);
    timer.SetInterval(5);
    int ticks = 0;
    timer.SetOnTimer([&](TObject*) {
        if (++ticks == 3) Application()->Terminate();
    });
    Application()->Run();
    EXPECT_EQ(ticks, 3);
    EXPECT_GT(idles, 0);
    delete main;
}

TEST_F(ApplicationTest, AnApplicationObjectGoneIsNoLongerCalledWhenIdle) {
    auto other = std::make_unique<TApplication>(nullptr);
    other->OnIdle = [](TObject*, bool& done) { done = true; };
    other.reset();
    bool woke = false;
    Application()->QueueCallAfter(5, [&] { woke = true; });
    while (!woke)
        Application()->HandleMessage(); // waits, so the idle hooks run
}

TEST_F(ApplicationTest, ModalFormReturnsModalResultOfButton) {
    TForm dialog(nullptr);
    auto* ok = new TButton(&dialog);
    ok->SetParent(&dialog);
    ok->SetModalResult(mrOk);
    Application()->QueueCall([&] { ClickAt(ok); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(Application()->ModalLevel(), 0);

    // Setting ModalResult through the property table ends the loop as well.
    Application()->QueueCall([&] { SetPropValue(dialog, "ModalResult", Variant(mrYes)); });
    EXPECT_EQ(dialog.ShowModal(), mrYes);
}

TEST_F(ApplicationTest, ModalCloseQueryCanRefuseAndExceptionsDoNotEndTheLoop) {
    TForm dialog(nullptr);
    EventLog log;
    int queries = 0;
    dialog.OnCloseQuery = [&](TObject*, bool& canClose) {
        log("query");
        canClose = ++queries > 1;
    };
    dialog.OnClose = [&](TObject*, TCloseAction&) { log("close"); };
    Application()->QueueCall([&] {
        dialog.SetModalResult(mrCancel);
        Application()->QueueCall([&] {
            EXPECT_EQ(dialog.ModalResult(), mrNone); // refused: the loop reset it
            Application()->QueueCall([&] { dialog.Close(); });
            throw Exception("handler failed");
        });
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"query", "query", "close"}));
    ASSERT_EQ(reporter->Boxes.size(), 1u);
    EXPECT_EQ(reporter->Boxes[0].Text, "handler failed.");
}

TEST_F(ApplicationTest, ShowModalOfVisibleFormRaises) {
    TForm form(nullptr);
    form.Show();
    EXPECT_THROW(form.ShowModal(), EInvalidOperation);
}

TEST_F(ApplicationTest, CloseRunsQueryThenCloseThenActs) {
    struct Case {
        const char* name;
        bool canClose;
        TCloseAction action;
        std::vector<std::string> expected;
        bool visibleAfter;
    };
    const std::vector<Case> cases = {
        {"hide", true, caHide, {"query", "close", "hide"}, false},
        {"refused", false, caHide, {"query"}, true},
        {"none", true, caNone, {"query", "close"}, true},
    };
    for (const Case& c : cases) {
        TForm form(nullptr);
        EventLog log;
        form.OnCloseQuery = [&](TObject*, bool& canClose) {
            log("query");
            canClose = c.canClose;
        };
        form.OnClose = [&](TObject*, TCloseAction& action) {
            log("close");
            EXPECT_EQ(action, caHide);
            action = c.action;
        };
        form.OnHide = [&](TObject*) { log("hide"); };
        form.Show();
        form.Close();
        EXPECT_EQ(log.lines, c.expected) << c.name;
        EXPECT_EQ(form.Visible(), c.visibleAfter) << c.name;
    }
}

TEST_F(ApplicationTest, ClosingMainFormTerminatesAndCaFreeReleasesLater) {
    TForm* main = new TForm(nullptr);
    Application()->SetMainForm(main);
    main->Show();
    main->Close();
    EXPECT_TRUE(Application()->Terminated());
    Application()->SetMainForm(nullptr);
    delete main;

    auto* form = new TForm(Application());
    bool destroyed = false;
    form->OnDestroy = [&](TObject*) { destroyed = true; };
    form->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    form->Show();
    form->Close();
    EXPECT_FALSE(destroyed); // freed once the current event is handled
    Application()->ProcessMessages();
    EXPECT_TRUE(destroyed);
}

TEST_F(ApplicationTest, WindowCloseButtonGoesThroughCloseQuery) {
    TForm form(nullptr);
    bool asked = false;
    form.OnCloseQuery = [&](TObject*, bool& canClose) {
        asked = true;
        canClose = false;
    };
    form.Show();
    form.Widget()->close();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(form.Visible());
}

TEST_F(ApplicationTest, ScreenAndTimingFacts) {
    EXPECT_GT(Screen().Width(), 0);
    const TRect work = Screen().WorkAreaRect();
    EXPECT_GT(work.Width(), 0);
    EXPECT_LE(work.Width(), Screen().Width());
    EXPECT_GT(GetDoubleClickTime(), 0);
    const std::uint32_t t0 = GetTickCount();
    EXPECT_LE(GetTickCount() - t0, 1000u);
    EXPECT_FALSE(Application()->ExeName().empty());
}

} // namespace
