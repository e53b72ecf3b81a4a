// Dialog controls: the wrapped window control follows the object, and its events reach the
// report's script procedures.

#include "report/dialog_control.h"

#include <gtest/gtest.h>

#include "platform/core/object_handle.h"
#include "platform/graphics/raster_canvas.h"
#include "platform/ui/application.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "report/module_startup.h"
#include "report/tests/tree_doubles.h"
#include "report/xml_serializer.h"

namespace {

// A report that records the script calls and answers key events as a script would.
class TScriptedReport : public TTestReport {
    LUMETRA_CLASS(TScriptedReport, TTestReport)
public:
    explicit TScriptedReport(TComponent* owner) : TTestReport(owner) {}
    void CallScriptEvent(const std::string& procedure, TpgwComponent* sender,
                         bool runWhenNotRunning) override {
        calls.push_back(procedure + (sender ? ":" + sender->Name() : std::string()) +
                        (runWhenNotRunning ? "!" : ""));
    }
    void CallScriptEventWithParams(const std::string& procedure, std::vector<Variant>& params,
                                   bool) override {
        calls.push_back(procedure + "/" + std::to_string(params.size()));
        lastSender = VariantToObject<TObject>(params.at(0));
        if (procedure == "KeyDown") params[1] = Variant(params[1].AsInteger() + 1);
        if (procedure == "KeyPress") params[1] = Variant("");
    }
    bool DestroyForms() const override { return destroyForms; }
    void ShowProgressText(const std::string& text, bool) override { progress = text; }

    std::vector<std::string> calls;
    TObject* lastSender = nullptr;
    std::string progress;
    bool destroyForms = false;
};

class TTestButtonControl : public TpgwDialogControl {
    LUMETRA_CLASS(TTestButtonControl, TpgwDialogControl)
public:
    explicit TTestButtonControl(TComponent* owner) : TpgwDialogControl(owner) {
        AttachControl(std::make_unique<TButton>(nullptr));
    }
};

class DialogControl : public ::testing::Test {
protected:
    void SetUp() override {
        Application();
        RegisterTreeDoubles();
        RegisterClasses<TTestButtonControl>();
    }
    TScriptedReport report{nullptr};
};

TEST_F(DialogControl, WrappedControlFollowsTheObject) {
    auto* button = new TTestButtonControl(&report);
    TControl* control = button->Control();
    ASSERT_TRUE(control);
    EXPECT_EQ(control->Parent(), static_cast<TWinControl*>(SharedParentForm()));
    EXPECT_TRUE(button->EventsWithoutRun());

    button->SetBounds(10.4, 20.6, 75, 24.5);
    EXPECT_EQ(control->Left(), 10);
    EXPECT_EQ(control->Top(), 21);
    EXPECT_EQ(control->Width(), 75);
    EXPECT_EQ(control->Height(), 24) << "halves round to even";
    button->SetVisible(false);
    EXPECT_FALSE(control->Visible());

    // A font of its own goes to the control; a parent font makes the control follow its window.
    button->Font()->SetSize(15);
    EXPECT_EQ(control->Font()->Size(), 15);
    EXPECT_FALSE(control->ParentFont());
    button->SetParentFont(true);
    EXPECT_TRUE(control->ParentFont());

    control->SetText("Button1");
    button->SetName("Button1");
    button->SetName("Ok");
    EXPECT_EQ(control->Text(), "Ok") << "a caption that showed the name follows it";
    control->SetText("Press");
    button->SetName("Other");
    EXPECT_EQ(control->Text(), "Press");

    // Enabled, Hint and ShowHint live in the control and travel in the template.
    button->SetHint("Short|Long help");
    button->SetShowHint(true);
    button->SetEnabled(false);
    TMemoryStream unused;
    TpgwXMLSerializer s(unused);
    const std::string text = s.ObjectToText(button);
    EXPECT_NE(text.find(" Enabled=\"False\" Hint=\"Short|Long help\" ShowHint=\"True\""),
              std::string::npos)
        << text;
    auto* copy = dynamic_cast<TTestButtonControl*>(s.ObjectFromText(&report, text, false));
    ASSERT_TRUE(copy);
    EXPECT_FALSE(copy->Control()->Enabled());
    EXPECT_EQ(copy->Control()->Hint(), "Short|Long help");
}

TEST_F(DialogControl, DrawsTheControlAtItsAbsolutePosition) {
    auto* button = new TTestButtonControl(&report);
    button->SetBounds(20, 10, 40, 20);
    TRasterCanvas canvas(100, 50);
    button->Draw(canvas, 2, 2, 30, 30);
    EXPECT_NE(canvas.Pixel(40, 20), clWhite);
    EXPECT_EQ(canvas.Pixel(70, 20), clWhite);
    EXPECT_EQ(canvas.Pixel(10, 20), clWhite);
}

TEST_F(DialogControl, EventsCallTheNamedScriptProcedures) {
    auto* button = new TTestButtonControl(&report);
    button->SetName("Button1");
    auto* control = dynamic_cast<TWinControl*>(button->Control());
    ASSERT_TRUE(control);

    control->Click(); // no procedure named: nothing runs
    button->OnClick = "ButtonClick";
    button->OnKeyDown = "KeyDown";
    button->OnKeyPress = "KeyPress";
    button->OnMouseMove = "Move";
    control->Click();
    std::uint16_t key = 65;
    control->OnKeyDown(control, key, 0);
    EXPECT_EQ(key, 66) << "the script may change the key";
    char16_t ch = u'a';
    control->OnKeyPress(control, ch);
    EXPECT_EQ(ch, u'\0') << "an emptied key becomes character 0";
    EXPECT_EQ(report.lastSender, static_cast<TObject*>(button));

    button->SetHint("Short|Long help");
    button->SetShowHint(true);
    control->OnMouseMove(control, 0, 3, 4);
    EXPECT_EQ(report.progress, "Long help");
    EXPECT_EQ(report.calls, (std::vector<std::string>{"ButtonClick:Button1!", "KeyDown/3",
                                                      "KeyPress/2", "Move/4"}));
}

TEST_F(DialogControl, ControlsNestInParentControlsAndSurviveTheirWindow) {
    auto* outer = new TTestButtonControl(&report);
    auto* inner = new TTestButtonControl(outer);
    EXPECT_EQ(inner->Control()->Parent(), outer->Control());

    // Destroying the outer window takes the inner control with it; the object forgets it.
    outer->AttachControl(nullptr);
    EXPECT_EQ(inner->Control(), nullptr);
    inner->SetLeft(5); // no control left to move
    EXPECT_DOUBLE_EQ(inner->Left(), 5);
}

} // namespace
