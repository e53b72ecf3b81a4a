// Behaviour of single controls: lists, radio groups, speed-button groups, pages, trees, fonts,
// constraints, wheel and form placement.

#include <QAbstractButton>
#include <QListWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QWheelEvent>

#include "platform/core/properties.h"
#include "platform/ui/containers.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tree_view.h"
#include "ui_test_support.h"

namespace {

class StandardControlsTest : public UiTest {
protected:
    TForm form{nullptr};
    template <class T> T* Add() {
        auto* c = new T(&form);
        c->SetParent(&form);
        return c;
    }
};

TEST_F(StandardControlsTest, ListBoxSelectionAndColumns) {
    auto* list = Add<TListBox>();
    TStringList files;
    files.SetText("a.avi\nb.avi\nc.avi");
    SetObjectProp(*list, *GetPropInfo(*list, "Items"), &files);
    ASSERT_EQ(list->Items().Count(), 3);
    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->SelCount(), -1);
    SetPropValue(*list, "ItemIndex", Variant(1));
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(clicks, 0); // set by code
    SetPropValue(*list, "MultiSelect", Variant(true));
    list->SetSelected(2, true);
    EXPECT_TRUE(list->Selected(2));
    EXPECT_EQ(list->SelCount(), 2);
    EXPECT_THROW(list->Selected(3), EListError);
    // A user's pick is the click.
    auto* w = static_cast<QListWidget*>(list->Widget());
    w->item(0)->setSelected(true);
    EXPECT_EQ(clicks, 1);
    list->SetColumns(2);
    EXPECT_TRUE(w->isWrapping());
    list->Items().Delete(0);
    EXPECT_EQ(w->count(), 2);
}

TEST_F(StandardControlsTest, RadioButtonsOfOneParentExcludeEachOther) {
    auto* report = Add<TRadioButton>();
    auto* all = Add<TRadioButton>();
    EventLog log;
    report->OnClick = [&](TObject*) { log("report"); };
    all->OnClick = [&](TObject*) { log("all"); };
    EXPECT_FALSE(report->Checked());
    EXPECT_FALSE(all->Checked());
    SetPropValue(*report, "Checked", Variant(true));
    all->SetChecked(true);
    EXPECT_FALSE(report->Checked());
    all->SetChecked(false);
    EXPECT_FALSE(all->Checked());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"report", "all"}));
}

TEST_F(StandardControlsTest, SpeedButtonGroupsAndBitButtonKinds) {
    auto* a = Add<TSpeedButton>();
    auto* b = Add<TSpeedButton>();
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    a->SetDown(true);
    ClickAt(b);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    b->SetDown(false); // the last one down stays down without AllowAllUp
    EXPECT_TRUE(b->Down());

    struct Case {
        TBitBtnKind kind;
        const char* caption;
        TModalResult result;
    };
    for (const Case& c :
         {Case{bkOK, "OK", mrOk}, Case{bkCancel, "Cancel", mrCancel}, Case{bkYes, "&Yes", mrYes}}) {
        auto* btn = Add<TBitBtn>();
        SetPropValue(*btn, "Kind", Variant(static_cast<int>(c.kind)));
        EXPECT_EQ(btn->Caption(), c.caption);
        EXPECT_EQ(btn->ModalResult(), c.result);
        ClickAt(btn);
        EXPECT_EQ(form.ModalResult(), c.result);
    }
    auto* glyph = Add<TBitBtn>();
    TBitmap two(32, 16);
    glyph->SetNumGlyphs(2);
    glyph->SetGlyph(two);
    EXPECT_EQ(static_cast<QAbstractButton*>(glyph->Widget())->iconSize(), QSize(16, 16));
}

TEST_F(StandardControlsTest, PageControlTabsAndChangeEvents) {
    auto* pages = Add<TPageControl>();
    pages->SetBounds(0, 0, 300, 200);
    auto* first = new TTabSheet(&form);
    first->SetPageControl(pages);
    first->SetCaption("静态图像");
    auto* second = new TTabSheet(&form);
    second->SetPageControl(pages);
    second->SetCaption("动态图像");
    pages->SetTabPosition(tpBottom);
    int changes = 0;
    pages->OnChange = [&](TObject*) { ++changes; };
    auto* bar = pages->Widget()->findChild<QTabBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->count(), 2);
    EXPECT_EQ(pages->ActivePage(), first);
    pages->SetActivePageIndex(1);
    EXPECT_EQ(changes, 0);
    pages->TabClicked(0);
    EXPECT_EQ(pages->ActivePage(), first);
    EXPECT_EQ(changes, 1);
    // With tabs at the bottom the page stands above them.
    EXPECT_LT(first->Top() + first->Height(), 200 - bar->height() + 1);
    // Hidden tabs: the pages fill the control and only code switches them.
    first->SetTabVisible(false);
    second->SetTabVisible(false);
    EXPECT_EQ(bar->count(), 0);
    EXPECT_FALSE(bar->isVisibleTo(pages->Widget()));
    pages->SetActivePage(second);
    EXPECT_TRUE(second->Visible());
    EXPECT_FALSE(first->Visible());
    EXPECT_EQ(second->PageIndex(), 1);
    delete first;
    EXPECT_EQ(pages->PageCount(), 1);
}

TEST_F(StandardControlsTest, TreeNodesKeepTextImageStateAndOrder) {
    auto* tree = Add<TTreeView>();
    TTreeNodes& items = tree->Items();
    TTreeNode* chapter = items.AddChild(nullptr, "Chapter 1");
    chapter->SetImageIndex(1);
    chapter->SetStateIndex(120);
    TTreeNode* section = items.AddChild(chapter, "Section 1.1");
    items.Add(chapter, "Chapter 2");
    ASSERT_EQ(items.Count(), 3);
    EXPECT_EQ(items.Item(1), section);
    EXPECT_EQ(items.Item(2)->Text(), "Chapter 2");
    EXPECT_EQ(section->Level(), 1);
    EXPECT_EQ(items.GetFirstNode()->StateIndex(), 120);
    std::vector<std::string> changes;
    tree->OnChange = [&](TObject*, TTreeNode* node) {
        changes.push_back(node ? node->Text() : "-");
    };
    tree->FullExpand();
    EXPECT_TRUE(chapter->Expanded());
    section->SetSelected(true);
    EXPECT_EQ(tree->Selected(), section);
    items.Delete(chapter);
    EXPECT_EQ(items.Count(), 1);
    items.Clear();
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(static_cast<QTreeWidget*>(tree->Widget())->topLevelItemCount(), 0);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.front(), "Section 1.1");
}

TEST_F(StandardControlsTest, FontAndColourFollowTheParentUntilSet) {
    auto* group = Add<TGroupBox>();
    auto* label = new TLabel(&form);
    label->SetParent(group);
    label->SetCaption("检查日期:");
    form.Font()->SetName("SimSun");
    form.Font()->SetHeight(-15);
    EXPECT_EQ(label->Font()->Name(), "SimSun");
    EXPECT_EQ(label->Font()->Height(), -15);
    EXPECT_TRUE(label->ParentFont());
    const int narrowWidth = label->Width();
    SetPropValue(*label, "Font.Height", Variant(-16));
    SetPropText(*label, "Font.Style", "[fsBold]");
    EXPECT_FALSE(label->ParentFont());
    EXPECT_GT(label->Width(), narrowWidth); // auto-sized to the bigger text
    form.Font()->SetHeight(-12);
    EXPECT_EQ(label->Font()->Height(), -16);
    // A label takes its parent's colour.
    group->SetColor(clNavy);
    EXPECT_EQ(label->Color(), clNavy);
    // An auto-sized label ignores a size given to it.
    const TRect before = label->BoundsRect();
    label->SetBounds(10, 10, 0, 0);
    EXPECT_EQ(label->Width(), before.Width());
    EXPECT_EQ(label->Left(), 10);
}

TEST_F(StandardControlsTest, FormPlacementConstraintsAndStyles) {
    form.SetBounds(0, 0, 502, 407);
    SetPropText(form, "Position", "poScreenCenter");
    SetPropText(form, "FormStyle", "fsStayOnTop");
    SetPropValue(form, "Constraints.MinWidth", Variant(130));
    SetPropValue(form, "Constraints.MinHeight", Variant(50));
    form.Show();
    const TRect area = Screen().WorkAreaRect();
    EXPECT_EQ(form.Left(), area.Left + (area.Width() - 502) / 2);
    EXPECT_EQ(form.Top(), area.Top + (area.Height() - 407) / 2);
    EXPECT_TRUE(form.Widget()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.Widget()->minimumSize(), QSize(130, 50));
    form.SetBounds(form.Left(), form.Top(), 20, 20);
    EXPECT_EQ(form.Width(), 130);
    EXPECT_EQ(form.Height(), 50);
    SetPropText(form, "BorderStyle", "bsDialog");
    EXPECT_EQ(form.Widget()->minimumSize(), form.Widget()->maximumSize());

    // OnResize sees the new size; a black form keeps its colour.
    int resized = 0;
    form.OnResize = [&](TObject*) { ++resized; };
    form.SetColor(clBlack);
    form.SetBounds(form.Left(), form.Top(), 300, 200);
    EXPECT_EQ(resized, 1);
    const TRasterImage shot = form.GrabImage();
    EXPECT_EQ(shot.At(150, 100) & 0xFFFFFF, 0u);
}

TEST_F(StandardControlsTest, WheelReachesTheControlAndCanBeHandled) {
    auto* panel = Add<TPanel>();
    int seen = 0;
    panel->OnMouseWheel = [&](TObject*, TShiftState shift, int delta, int, int, bool& handled) {
        seen = delta;
        handled = (shift & ShiftBit(ssCtrl)) != 0;
    };
    form.Show();
    QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                  Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(panel->Widget(), &e);
    EXPECT_EQ(seen, -120);
    EXPECT_TRUE(e.isAccepted());

    // Unused by a picture, the wheel scrolls the box it stands in.
    auto* box = Add<TScrollBox>();
    box->SetBounds(0, 0, 150, 100);
    auto* image = new TImage(&form);
    image->SetParent(box);
    image->SetBounds(0, 0, 100, 400);
    QWheelEvent turn(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(image->Widget(), &turn);
    EXPECT_GT(box->VertScrollBar()->Position(), 0);
}

TEST_F(StandardControlsTest, ImageStretchAndProgressClamp) {
    auto* image = Add<TImage>();
    image->SetBounds(2, 0, 106, 80);
    TBitmap picture(400, 300);
    image->Picture().Bitmap().Assign(picture);
    EXPECT_EQ(image->DestRect(), Bounds(0, 0, 400, 300));
    image->SetStretch(true);
    EXPECT_EQ(image->DestRect(), Bounds(0, 0, 106, 80));
    image->SetProportional(true);
    image->SetCenter(true);
    EXPECT_EQ(image->DestRect(), Bounds(0, 0, 106, 79));

    auto* progress = Add<TProgressBar>();
    progress->SetMax(10);
    progress->SetPosition(25);
    EXPECT_EQ(progress->Position(), 10);
    progress->SetStep(3);
    progress->SetPosition(0);
    progress->StepIt();
    EXPECT_EQ(progress->Position(), 3);
}

TEST_F(StandardControlsTest, DateTimePickerHoldsDatesAndTimesApart) {
    auto* picker = Add<TDateTimePicker>();
    int changes = 0;
    picker->OnChange = [&](TObject*) { ++changes; };
    const TDateTime day = EncodeDate(2010, 9, 19);
    picker->SetDate(day);
    SetPropValue(*picker, "Time", Variant(EncodeTime(13, 45, 0, 0)));
    EXPECT_DOUBLE_EQ(picker->Date(), day);
    EXPECT_NEAR(picker->Time(), EncodeTime(13, 45, 0, 0), 1e-6);
    EXPECT_EQ(changes, 0); // code sets no change
}

TEST_F(StandardControlsTest, MemoLinesEditTheText) {
    auto* memo = Add<TMemo>();
    int changes = 0;
    memo->OnChange = [&](TObject*) { ++changes; };
    memo->Lines().Add("【超 声 号】:1001");
    memo->Lines().Add("【 姓  名 】:张三");
    EXPECT_EQ(memo->Lines().Count(), 2);
    EXPECT_EQ(memo->Lines().Strings(1), "【 姓  名 】:张三");
    TStringList text;
    text.SetText("a\r\nb\r\nc\r\n");
    SetObjectProp(*memo, *GetPropInfo(*memo, "Lines"), &text);
    EXPECT_EQ(memo->Lines().Count(), 3);
    EXPECT_EQ(memo->Text(), "a\nb\nc");
    memo->Clear();
    EXPECT_EQ(memo->Lines().Count(), 0);
    EXPECT_GE(changes, 4);
}

} // namespace
