// The data grid over a link: default and designed columns, the current row both ways, and the
// data source resolved through the registered link factories.

#include "platform/core/properties.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/form.h"
#include "ui_test_support.h"

#include <QHeaderView>
#include <QTableView>

namespace {

// A table in memory standing in for a data set.
class FakeLink final : public TDataSourceLink {
public:
    std::vector<std::string> fields{"id", "csid", "name", "sex"};
    std::vector<std::vector<std::string>> rows{
        {"1", "1001", "张三", "男"}, {"2", "1002", "李四", "女"}, {"3", "1003", "王五", "男"}};
    bool active = true;
    int current = 0;
    int moves = 0;

    bool Active() const override { return active; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int FieldCount() const override { return static_cast<int>(fields.size()); }
    std::string FieldName(int f) const override { return fields.at(static_cast<std::size_t>(f)); }
    TAlignment FieldAlignment(int f) const override {
        return f < 2 ? taRightJustify : taLeftJustify;
    }
    std::string CellText(int r, int f) const override {
        return rows.at(static_cast<std::size_t>(r)).at(static_cast<std::size_t>(f));
    }
    int CurrentRow() const override { return current; }
    void SetCurrentRow(int row) override {
        current = row;
        ++moves;
        NotifyCurrentRowChanged(row);
    }
    void Changed() { NotifyDataSetChanged(); }
    void MoveTo(int row) {
        current = row;
        NotifyCurrentRowChanged(row);
    }
};

class DBGridTest : public UiTest {
protected:
    TForm form{nullptr};
    TDBGrid* grid = nullptr;
    FakeLink* link = nullptr;
    void SetUp() override {
        UiTest::SetUp();
        grid = new TDBGrid(&form);
        grid->SetParent(&form);
        grid->SetBounds(8, 8, 289, 200);
        auto l = std::make_unique<FakeLink>();
        link = l.get();
        grid->SetDataLink(std::move(l));
    }
    QTableView* View() const { return static_cast<QTableView*>(grid->Widget()); }
};

TEST_F(DBGridTest, WithoutDesignedColumnsEveryFieldIsAColumn) {
    ASSERT_EQ(grid->ColumnCount(), 4);
    EXPECT_EQ(grid->ColumnTitle(2), "name");
    EXPECT_EQ(grid->CellText(1, 2), "李四");
    EXPECT_EQ(grid->ColumnAlignment(0), taRightJustify);
    EXPECT_EQ(View()->model()->rowCount(), 3);
    EXPECT_EQ(View()->model()->headerData(3, Qt::Horizontal).toString(), "sex");
}

TEST_F(DBGridTest, DesignedColumnsGiveTitlesWidthsAndAlignment) {
    struct Col {
        const char* field;
        const char* title;
        int width;
        TAlignment align;
    };
    const Col cols[] = {{"csid", "超声号", 60, taRightJustify},
                        {"name", "姓名", 60, taCenter},
                        {"missing", "无", 30, taCenter}};
    for (const Col& c : cols) {
        TColumn* col = grid->Columns()->Add();
        SetPropValue(*col, "FieldName", Variant(c.field));
        SetPropValue(*col, "Title.Caption", Variant(c.title));
        SetPropText(*col, "Title.Alignment", "taCenter");
        SetPropValue(*col, "Width", Variant(c.width));
        col->SetAlignment(c.align);
    }
    ASSERT_EQ(grid->ColumnCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(grid->ColumnTitle(i), cols[i].title);
        EXPECT_EQ(grid->ColumnWidth(i), cols[i].width);
        EXPECT_EQ(View()->columnWidth(i), cols[i].width);
        EXPECT_EQ(grid->ColumnAlignment(i), cols[i].align);
    }
    EXPECT_EQ(grid->CellText(0, 0), "1001");
    EXPECT_EQ(grid->CellText(2, 1), "王五");
    EXPECT_EQ(grid->CellText(0, 2), ""); // a column whose field the data set lacks stays empty
    const int titleAlign =
        View()->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(titleAlign & Qt::AlignHCenter);

    // Removing the layout falls back to one column per field.
    grid->Columns()->Clear();
    EXPECT_EQ(grid->ColumnCount(), 4);
    EXPECT_EQ(View()->model()->columnCount(), 4);
}

TEST_F(DBGridTest, CurrentRowFollowsTheDataSetBothWays) {
    EXPECT_EQ(View()->currentIndex().row(), 0);
    link->MoveTo(2);
    EXPECT_EQ(View()->currentIndex().row(), 2);
    EXPECT_EQ(link->moves, 0); // following the data set does not move it again
    View()->setCurrentIndex(View()->model()->index(1, 0));
    EXPECT_EQ(link->current, 1);
    EXPECT_EQ(link->moves, 1);

    // Double-clicking a row is the grid's OnDblClick.
    int dbl = 0;
    grid->OnDblClick = [&](TObject*) { ++dbl; };
    form.Show();
    SendMouse(View()->viewport(), QEvent::MouseButtonDblClick, {20, 5});
    EXPECT_EQ(dbl, 1);
}

TEST_F(DBGridTest, ClosedDataSetAndRefreshedRows) {
    link->active = false;
    link->Changed();
    EXPECT_EQ(grid->ColumnCount(), 0);
    EXPECT_EQ(grid->RowCount(), 0);
    EXPECT_EQ(View()->model()->rowCount(), 0);
    link->active = true;
    link->rows.push_back({"4", "1004", "赵六", "女"});
    link->Changed();
    EXPECT_EQ(View()->model()->rowCount(), 4);
    EXPECT_EQ(grid->CellText(3, 2), "赵六");
}

TEST_F(DBGridTest, DataSourceComponentIsLinkedThroughTheFactoryAndForgotten) {
    // A component standing in for the data layer's data source.
    static TComponent* known = nullptr;
    RegisterDataLinkFactory([](TComponent* c) -> std::unique_ptr<TDataSourceLink> {
        if (c != known) return nullptr;
        return std::make_unique<FakeLink>();
    });
    auto* source = new TComponent(&form);
    known = source;
    SetObjectProp(*grid, *GetPropInfo(*grid, "DataSource"), source);
    EXPECT_EQ(grid->DataSource(), source);
    ASSERT_NE(grid->DataLink(), nullptr);
    EXPECT_EQ(grid->RowCount(), 3);
    delete source;
    known = nullptr;
    EXPECT_EQ(grid->DataSource(), nullptr);
    EXPECT_EQ(grid->DataLink(), nullptr);
    EXPECT_EQ(grid->RowCount(), 0);
}

TEST_F(DBGridTest, OptionsShowTitlesIndicatorAndRowSelect) {
    SetPropText(*grid, "Options", "[dgTitles,dgColumnResize,dgRowSelect]");
    EXPECT_TRUE(View()->horizontalHeader()->isVisibleTo(View()));
    EXPECT_FALSE(View()->verticalHeader()->isVisibleTo(View()));
    EXPECT_EQ(View()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(GetPropText(*grid, "Options"), "[dgTitles,dgColumnResize,dgRowSelect]");
}

} // namespace
