// Forms built in code from every control kind, set through the property tables; layout,
// pictures and the order of events.

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <filesystem>

#include "platform/core/properties.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/containers.h"
#include "platform/ui/control_p.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/form.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tree_view.h"
#include "ui_test_support.h"

namespace {

class ControlsTest : public UiTest {};

// Creates a control of a registered class by name, as scripts and templates do.
TControl* Create(const char* className, TComponent* owner, TWinControl* parent) {
    TPersistent* p = FindClass(className).Create(owner);
    auto* c = dynamic_cast<TControl*>(p);
    EXPECT_NE(c, nullptr) << className;
    if (c) c->SetParent(parent);
    return c;
}

TEST_F(ControlsTest, FormOfEveryControlKindBuiltThroughPropertyTables) {
    TForm form(nullptr);
    SetPropValue(form, "Caption", Variant("Lumetra"));
    SetPropValue(form, "ClientWidth", Variant(640));
    SetPropValue(form, "ClientHeight", Variant(480));
    SetPropText(form, "Font.Name", "Arial");
    SetPropValue(form, "Font.Height", Variant(-13));
    EXPECT_EQ(form.Caption(), "Lumetra");
    EXPECT_EQ(form.Width(), 640);
    EXPECT_EQ(form.Font()->Name(), "Arial");

    TControl* top = Create("TPanel", &form, &form);
    SetPropText(*top, "Align", "alTop");
    SetPropValue(*top, "Height", Variant(40));
    SetPropValue(*top, "Caption", Variant("Panel"));
    TControl* status = Create("TStatusBar", &form, &form);
    SetPropValue(*status, "SimplePanel", Variant(true));
    SetPropValue(*status, "SimpleText", Variant("Ready"));
    TControl* left = Create("TPanel", &form, &form);
    SetPropText(*left, "Align", "alLeft");
    SetPropValue(*left, "Width", Variant(300));
    SetPropText(*left, "BevelOuter", "bvNone");
    TControl* splitter = Create("TSplitter", &form, &form);
    SetPropValue(*splitter, "Left", Variant(300));
    SetPropValue(*splitter, "Width", Variant(7));
    TControl* pages = Create("TPageControl", &form, &form);
    SetPropText(*pages, "Align", "alClient");

    auto* lp = static_cast<TWinControl*>(left);
    TControl* group = Create("TGroupBox", &form, lp);
    SetPropValue(*group, "Caption", Variant("检索条件"));
    const struct {
        const char* cls;
        const char* text;
        int left, top, width, height;
    } kids[] = {
        {"TLabel", "姓名:", 8, 24, 0, 0},
        {"TEdit", "", 60, 20, 120, 21},
        {"TMemo", "", 8, 50, 170, 40},
        {"TButton", "查询(&S)", 8, 96, 75, 25},
        {"TBitBtn", "退出(&Q)", 90, 96, 75, 25},
        {"TSpeedButton", "...", 170, 96, 23, 22},
        {"TCheckBox", "按检查医生分组显示", 8, 126, 150, 17},
        {"TRadioButton", "报告", 8, 146, 60, 17},
        {"TComboBox", "", 8, 166, 100, 21},
        {"TDateTimePicker", "", 120, 166, 120, 21},
    };
    std::vector<TControl*> created;
    for (const auto& k : kids) {
        TControl* c = Create(k.cls, &form, static_cast<TWinControl*>(group));
        SetPropValue(*c, "Left", Variant(k.left));
        SetPropValue(*c, "Top", Variant(k.top));
        if (k.width) SetPropValue(*c, "Width", Variant(k.width));
        if (k.height) SetPropValue(*c, "Height", Variant(k.height));
        if (*k.text)
            SetPropValue(*c, IsPublishedProp(*c, "Caption") ? "Caption" : "Text", Variant(k.text));
        created.push_back(c);
    }
    SetPropValue(*group, "Left", Variant(5));
    SetPropValue(*group, "Top", Variant(4));
    SetPropValue(*group, "Width", Variant(289));
    SetPropValue(*group, "Height", Variant(213));

    TControl* list = Create("TListBox", &form, lp);
    list->SetBounds(8, 224, 140, 60);
    TControl* progress = Create("TProgressBar", &form, lp);
    progress->SetBounds(150, 224, 140, 16);
    SetPropValue(*progress, "Position", Variant(40));
    TControl* tree = Create("TTreeView", &form, lp);
    tree->SetBounds(150, 244, 140, 60);
    TControl* grid = Create("TDBGrid", &form, lp);
    grid->SetBounds(8, 310, 289, 100);
    SetPropText(*grid, "Anchors", "[akLeft,akTop,akRight,akBottom]");
    TControl* image = Create("TImage", &form, lp);
    image->SetBounds(8, 414, 40, 30);
    SetPropValue(*image, "Stretch", Variant(true));
    TControl* box = Create("TScrollBox", &form, lp);
    box->SetBounds(60, 414, 100, 40);
    TControl* custom = Create("TCustomControl", &form, lp);
    custom->SetBounds(170, 414, 60, 30);
    SetPropValue(*custom, "Color", Variant(clYellow));

    auto* sheet1 = static_cast<TTabSheet*>(Create("TTabSheet", &form, nullptr));
    SetObjectProp(*sheet1, *GetPropInfo(*sheet1, "PageControl"), pages);
    SetPropValue(*sheet1, "Caption", Variant("报告"));
    auto* sheet2 = static_cast<TTabSheet*>(Create("TTabSheet", &form, nullptr));
    sheet2->SetPageControl(static_cast<TPageControl*>(pages));
    SetPropValue(*sheet2, "Caption", Variant("详细"));
    SetPropValue(*pages, "ActivePageIndex", Variant(1));

    // Aligned layout: top, bottom, left, splitter, then the rest.
    EXPECT_EQ(top->BoundsRect(), Bounds(0, 0, 640, 40));
    EXPECT_EQ(status->BoundsRect(), Bounds(0, 480 - status->Height(), 640, status->Height()));
    EXPECT_EQ(left->BoundsRect(), Bounds(0, 40, 300, 440 - status->Height()));
    EXPECT_EQ(splitter->BoundsRect(), Bounds(300, 40, 7, 440 - status->Height()));
    EXPECT_EQ(pages->BoundsRect(), Bounds(307, 40, 333, 440 - status->Height()));
    EXPECT_EQ(static_cast<TPageControl*>(pages)->ActivePage(), sheet2);
    EXPECT_TRUE(sheet2->Visible());
    EXPECT_FALSE(sheet1->Visible());
    EXPECT_EQ(sheet2->BoundsRect(), TRect(static_cast<TPageControl*>(pages)->AlignRect()));

    // Positions set through the tables are the widgets' positions.
    EXPECT_EQ(group->BoundsRect(), Bounds(5, 4, 289, 213));
    EXPECT_EQ(created[1]->BoundsRect(), Bounds(60, 20, 120, 21));
    EXPECT_EQ(created[1]->Widget()->geometry(), QRect(60, 20, 120, 21));
    // An auto-sized label measures its text.
    EXPECT_GT(created[0]->Width(), 10);
    EXPECT_LT(created[0]->Width(), 60);
    EXPECT_EQ(GetPropValue(*created[6], "Checked").AsBool(), false);
    EXPECT_EQ(static_cast<TProgressBar*>(progress)->Position(), 40);

    // Anchored on all sides: the grid grows with its parent.
    left->SetWidth(340);
    EXPECT_EQ(grid->Width(), 329);
    form.SetClientHeight(520);
    EXPECT_EQ(grid->Height(), 140);

    const TRasterImage shot = form.GrabImage();
    ASSERT_EQ(shot.Width, 640);
    ASSERT_EQ(shot.Height, 520);
    // The custom control paints its colour.
    const QPoint inCustom = custom->Widget()->mapTo(form.Widget(), QPoint(30, 15));
    EXPECT_EQ(shot.At(inCustom.x(), inCustom.y()) & 0xFFFFFF, 0xFFFF00u);
    const auto png = std::filesystem::temp_directory_path() / "lumetra_ui_form.png";
    ASSERT_TRUE(ToQImage(shot).save(QString::fromStdString(png.string())));
    QImage back(QString::fromStdString(png.string()));
    EXPECT_EQ(back.size(), QSize(640, 520));
    std::filesystem::remove(png);
}

TEST_F(ControlsTest, EveryRegisteredControlClassCanBeCreatedByName) {
    TForm form(nullptr);
    for (const char* name :
         {"TPanel",    "TGroupBox",      "TLabel",          "TEdit",        "TMemo",
          "TButton",   "TBitBtn",        "TSpeedButton",    "TCheckBox",    "TRadioButton",
          "TComboBox", "TListBox",       "TDateTimePicker", "TPageControl", "TTabSheet",
          "TSplitter", "TImage",         "TScrollBox",      "TStatusBar",   "TProgressBar",
          "TTreeView", "TCustomControl", "TDBGrid"}) {
        TControl* c = Create(name, &form, &form);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->ClassName(), name);
        EXPECT_EQ(c->Owner(), &form);
        EXPECT_NE(GetPropInfo(*c, "OnClick"), nullptr) << name;
        EXPECT_NE(GetPropInfo(*c, "Tag"), nullptr) << name;
    }
    for (const char* name :
         {"TForm", "TMainMenu", "TPopupMenu", "TMenuItem", "TTimer", "TOpenDialog", "TSaveDialog"})
        EXPECT_NE(GetClass(name), nullptr) << name;
    // Destroying the form frees every control exactly once.
}

TEST_F(ControlsTest, ClickOrderIsMouseDownClickMouseUp) {
    TForm form(nullptr);
    auto* button = new TButton(&form);
    button->SetParent(&form);
    auto* label = new TLabel(&form);
    label->SetParent(&form);
    label->SetCaption("Label text");
    label->SetTop(50);
    form.Show();
    // Input on a child never reaches the form's own handlers.
    EventLog formLog;
    form.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { formLog("down"); };
    form.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { formLog("up"); };
    form.OnClick = [&](TObject*) { formLog("click"); };
    for (TControl* c : std::vector<TControl*>{button, label}) {
        EventLog log;
        c->OnMouseDown = [&](TObject*, TMouseButton, TShiftState shift, int, int) {
            log(shift & ShiftBit(ssDouble) ? "down2" : "down");
        };
        c->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { log("up"); };
        c->OnClick = [&](TObject*) { log("click"); };
        c->OnDblClick = [&](TObject*) { log("dblclick"); };
        ClickAt(c);
        EXPECT_EQ(log.lines, (std::vector<std::string>{"down", "click", "up"})) << c->ClassName();
        log.lines.clear();
        SendMouse(c->Widget(), QEvent::MouseButtonDblClick, {3, 3});
        SendMouse(c->Widget(), QEvent::MouseButtonRelease, {3, 3});
        ASSERT_GE(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[0], "dblclick");
        EXPECT_EQ(log.lines[1], "down2");
        EXPECT_EQ(log.lines.back(), "up");
        // A release outside the control is no click.
        log.lines.clear();
        SendMouse(c->Widget(), QEvent::MouseButtonPress, {3, 3});
        SendMouse(c->Widget(), QEvent::MouseButtonRelease, {-20, -20});
        EXPECT_EQ(log.lines, (std::vector<std::string>{"down", "up"})) << c->ClassName();
    }
    EXPECT_TRUE(formLog.lines.empty());
    ClickAt(&form, {200, 150});
    EXPECT_EQ(formLog.lines, (std::vector<std::string>{"down", "click", "up"}));
}

TEST_F(ControlsTest, ChangeEventsFollowTheClassLibrary) {
    TForm form(nullptr);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    auto* check = new TCheckBox(&form);
    check->SetParent(&form);
    auto* combo = new TComboBox(&form);
    combo->SetParent(&form);
    form.Show();
    EventLog log;
    edit->OnChange = [&](TObject*) { log("edit:" + edit->Text()); };
    check->OnClick = [&](TObject*) { log(std::string("check:") + (check->Checked() ? "1" : "0")); };
    combo->OnChange = [&](TObject*) { log("combo:" + combo->Text()); };

    edit->SetText("F:\\data");
    edit->SetText("F:\\data"); // the same text is no change
    SetPropValue(*edit, "Text", Variant("G:"));
    edit->Widget()->setFocus();
    SendKey(edit->Widget(), Qt::Key_X, "x");
    check->SetChecked(true);
    check->SetChecked(true);
    ClickAt(check);
    combo->Items().Add("a4p1.pg3");
    combo->Items().Add("b5p2.pg3");
    combo->SetItemIndex(1); // code: no OnChange
    EXPECT_EQ(combo->Text(), "b5p2.pg3");
    auto* qcombo = static_cast<QComboBox*>(combo->Widget());
    qcombo->setCurrentIndex(0); // the user's pick
    emit qcombo->activated(0);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"edit:F:\\data", "edit:G:", "edit:G:x",
                                                   "check:1", "check:0", "combo:a4p1.pg3"}));
}

TEST_F(ControlsTest, KeyPreviewLetsTheFormSeeAndSwallowKeys) {
    TForm form(nullptr);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    form.Show();
    EventLog log;
    form.OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState) {
        log("form:" + std::to_string(key));
        if (key == VK_F1) key = 0;
    };
    edit->OnKeyDown = [&](TObject*, std::uint16_t& key, TShiftState) {
        log("edit:" + std::to_string(key));
    };
    SendKey(edit->Widget(), Qt::Key_F2);
    form.SetKeyPreview(true);
    SendKey(edit->Widget(), Qt::Key_F2);
    SendKey(edit->Widget(), Qt::Key_F1);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"edit:113", "form:113", "edit:113", "form:112"}));

    // Enter presses the default button.
    auto* ok = new TButton(&form);
    ok->SetParent(&form);
    ok->SetDefault(true);
    bool pressed = false;
    ok->OnClick = [&](TObject*) { pressed = true; };
    SendKey(edit->Widget(), Qt::Key_Return, "\r");
    EXPECT_TRUE(pressed);
}

TEST_F(ControlsTest, SplitterDragResizesItsNeighbourWithinMinSize) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 600, 300);
    auto* left = new TPanel(&form);
    left->SetParent(&form);
    left->SetAlign(alLeft);
    left->SetWidth(200);
    auto* splitter = new TSplitter(&form);
    splitter->SetParent(&form);
    splitter->SetLeft(250);
    auto* rest = new TPanel(&form);
    rest->SetParent(&form);
    rest->SetAlign(alClient);
    form.Show();
    ASSERT_EQ(splitter->Left(), 200);
    ASSERT_EQ(splitter->ResizeControl(), left);
    int moved = 0;
    splitter->OnMoved = [&](TObject*) { ++moved; };
    QWidget* w = splitter->Widget();
    SendMouse(w, QEvent::MouseButtonPress, {1, 10});
    SendMouse(w, QEvent::MouseMove, {51, 10});
    EXPECT_EQ(left->Width(), 250);
    EXPECT_EQ(splitter->Left(), 250);
    EXPECT_EQ(rest->Left(), 253);
    // Dragged far right: the client part keeps MinSize.
    SendMouse(splitter->Widget(), QEvent::MouseMove, {1000, 10});
    EXPECT_EQ(left->Width(), 600 - 3 - 30);
    SendMouse(splitter->Widget(), QEvent::MouseButtonRelease, {1000, 10});
    EXPECT_GE(moved, 2);
}

TEST_F(ControlsTest, ScrollBoxRangeFollowsItsContent) {
    TForm form(nullptr);
    auto* box = new TScrollBox(&form);
    box->SetParent(&form);
    box->SetBounds(0, 0, 200, 110);
    box->SetBorderStyle(bsNone);
    for (int i = 0; i < 3; ++i) {
        auto* image = new TImage(&form);
        image->SetParent(box);
        image->SetBounds(2 + i * 108, 0, 106, 80);
    }
    form.Show();
    EXPECT_EQ(box->ContainerWidget()->width(), 2 + 2 * 108 + 106);
    box->HorzScrollBar()->SetPosition(100);
    EXPECT_EQ(box->HorzScrollBar()->Position(), 100);
    EXPECT_LT(box->ClientHeight(), 110); // the horizontal bar takes its share
}

TEST_F(ControlsTest, CustomControlScrollBarsAndCanvas) {
    TForm form(nullptr);
    auto* c = new TCustomControl(&form);
    c->SetParent(&form);
    c->SetBounds(0, 0, 200, 150);
    c->SetBorderStyle(bsSingle);
    c->SetScrollBars(ssBoth);
    form.Show();
    const int fullWidth = c->ClientWidth();
    c->SetScrollInfo(sbVertical, {0, 1000, 100, 0});
    EXPECT_TRUE(c->ScrollBarVisible(sbVertical));
    EXPECT_FALSE(c->ScrollBarVisible(sbHorizontal));
    EXPECT_LT(c->ClientWidth(), fullWidth);
    std::vector<TScrollCode> codes;
    c->OnScroll = [&](TObject*, TScrollBarKind kind, TScrollCode code, int& pos) {
        EXPECT_EQ(kind, sbVertical);
        codes.push_back(code);
        if (code == scLineDown) pos += 7; // the control decides its own step
    };
    c->ScrollAction(sbVertical, scLineDown, 0);
    EXPECT_EQ(c->ScrollPos(sbVertical), 8);
    c->ScrollAction(sbVertical, scPageDown, 0);
    EXPECT_EQ(c->ScrollPos(sbVertical), 108);
    c->ScrollAction(sbVertical, scBottom, 0);
    EXPECT_EQ(c->ScrollPos(sbVertical), 901); // Max - Page + 1
    EXPECT_EQ(codes, (std::vector<TScrollCode>{scLineDown, scPageDown, scBottom}));

    bool painted = false;
    c->OnPaint = [&](TObject* sender) {
        painted = true;
        TCanvas* canvas = static_cast<TCustomControl*>(sender)->Canvas();
        canvas->Brush().SetColor(clRed);
        canvas->FillRect(Bounds(10, 10, 20, 20));
    };
    const TRasterImage shot = c->GrabImage();
    EXPECT_TRUE(painted);
    EXPECT_EQ(shot.At(2 + 15, 2 + 15) & 0xFFFFFF, 0xFF0000u); // inside the 2-pixel border
    EXPECT_EQ(c->Canvas()->TextWidth("abc") > 0, true);
}

// Transparent text after an opaque fill, in a control away from the window's corner, grabbed
// with its window as the screen paints it: the text must not vanish under its own background.
TEST_F(ControlsTest, TextAfterAnOpaqueFillShowsInTheWindow) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 700, 300);
    auto* c = new TCustomControl(&form);
    c->SetParent(&form);
    c->SetBounds(315, 40, 300, 40);
    c->OnPaint = [](TObject* sender) {
        TCanvas* canvas = static_cast<TCustomControl*>(sender)->Canvas();
        canvas->Brush().SetColor(clWhite);
        canvas->FillRect(Bounds(0, 0, 300, 40));
        canvas->SetBackgroundMode(bmTransparent);
        canvas->Font().SetColor(clBlack);
        canvas->Font().SetHeight(-16);
        canvas->TextOut(10, 10, "缩小 Zoom");
    };
    form.Show();
    Application()->ProcessMessages();
    const TRasterImage shot = form.GrabImage();
    int ink = 0;
    for (int y = 40; y < 80; ++y)
        for (int x = 315; x < 615; ++x)
            if ((shot.At(x, y) & 0xFFFFFF) < 0x808080) ++ink;
    EXPECT_GT(ink, 20);
}

TEST_F(ControlsTest, MenusAndPopup) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* menu = new TMainMenu(&form);
    auto* file = new TMenuItem(&form);
    file->SetCaption("&File");
    auto* exit = new TMenuItem(&form);
    exit->SetCaption("E&xit");
    file->Add(exit);
    menu->Items()->Add(file);
    int clicked = 0;
    exit->OnClick = [&](TObject*) { ++clicked; };
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    panel->SetAlign(alClient);
    SetObjectProp(form, *GetPropInfo(form, "Menu"), menu);
    EXPECT_GT(form.ChildOrigin().Y, 0);
    EXPECT_EQ(panel->Height(), form.ClientHeight());
    EXPECT_EQ(panel->Widget()->y(), form.ChildOrigin().Y);
    exit->Action()->trigger();
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(menu->Items()->Find("File"), file);

    auto* popup = new TPopupMenu(&form);
    auto* del = new TMenuItem(&form);
    del->SetCaption("删除");
    popup->Items()->Add(del);
    panel->SetPopupMenu(popup);
    delete popup; // the control forgets a menu that goes away
    EXPECT_EQ(panel->PopupMenu(), nullptr);
}

} // namespace

TEST_F(ControlsTest, AFreedControlLeavesItsParentsTabOrder) {
    TForm form(nullptr);
    auto* first = new TEdit(&form);
    first->SetParent(&form);
    auto* second = new TEdit(&form);
    second->SetParent(&form);
    auto* third = new TEdit(&form);
    third->SetParent(&form);
    EXPECT_EQ(third->TabOrder(), 2);
    delete second;
    EXPECT_EQ(third->TabOrder(), 1);
    first->SetTabOrder(1); // walks the tab list: a freed control there would be used
    EXPECT_EQ(third->TabOrder(), 0);
    EXPECT_EQ(first->TabOrder(), 1);
}
