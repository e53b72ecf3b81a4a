// The check-list box: states set by code stay silent and follow the items, the user's click on a
// box or Space on the current item toggles it and fires OnClickCheck.

#include "platform/ui/check_list_box.h"

#include <QApplication>
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "platform/core/exception.h"
#include "platform/ui/form.h"
#include "ui_test_support.h"

namespace {

class CheckListBoxTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 300, 200);
        list = new TCheckListBox(form.get());
        list->SetParent(form.get());
        list->SetBounds(10, 10, 200, 150);
        list->Items().SetText("Reset\nBold\nItalic\n");
        list->OnClickCheck = [this](TObject*) { clicks.push_back(Snapshot()); };
        form->Show();
    }
    std::string Snapshot() const {
        std::string s;
        for (int i = 0; i < list->Items().Count(); ++i)
            s += list->Checked(i) ? 'x' : '.';
        return s;
    }
    QListWidget* View() const { return static_cast<QListWidget*>(list->Widget()); }
    // Where the style puts the check box of row.
    QPoint CheckBoxCentre(int row) const {
        QStyleOptionViewItem opt;
        opt.initFrom(View()->viewport());
        opt.rect = View()->visualItemRect(View()->item(row));
        opt.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        opt.text = View()->item(row)->text();
        return View()
            ->style()
            ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, View())
            .center();
    }

    std::unique_ptr<TForm> form;
    TCheckListBox* list = nullptr;
    std::vector<std::string> clicks;
};

TEST_F(CheckListBoxTest, StatesSetByCodeAreSilentAndFollowTheItems) {
    list->SetChecked(1, true);
    list->SetChecked(2, true);
    list->SetChecked(2, false);
    EXPECT_EQ(Snapshot(), ".x.");
    EXPECT_EQ(View()->item(1)->checkState(), Qt::Checked) << "the box shows the state";
    EXPECT_TRUE(clicks.empty());

    // Rows rebuilt by a change of the items keep their states; new rows start unchecked.
    list->Items().Add("Wide");
    EXPECT_EQ(Snapshot(), ".x..");
    EXPECT_EQ(View()->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(View()->item(3)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(View()->item(3)->flags() & Qt::ItemIsUserCheckable);

    list->Items().Clear();
    list->Items().SetText("Normal\nPica\n");
    EXPECT_EQ(Snapshot(), "..");
    EXPECT_TRUE(clicks.empty());

    EXPECT_THROW(list->Checked(2), EListError);
    EXPECT_THROW(list->SetChecked(-1, true), EListError);
}

TEST_F(CheckListBoxTest, TheUsersClickOrSpaceTogglesAndFiresOnClickCheck) {
    QWidget* viewport = View()->viewport();
    const QPoint box = CheckBoxCentre(1);
    SendMouse(viewport, QEvent::MouseButtonPress, box);
    SendMouse(viewport, QEvent::MouseButtonRelease, box);
    ASSERT_EQ(clicks, std::vector<std::string>{".x."}) << "the handler sees the new state";

    // Space toggles the current item, back and forth.
    list->SetItemIndex(2);
    View()->setFocus();
    SendKey(View(), Qt::Key_Space, " ");
    SendKey(View(), Qt::Key_Space, " ");
    SendKey(View(), Qt::Key_Space, " ");
    EXPECT_EQ(clicks, (std::vector<std::string>{".x.", ".xx", ".x.", ".xx"}));
    EXPECT_TRUE(list->Checked(2));
}

} // namespace
