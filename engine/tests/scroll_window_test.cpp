// The scroll window: clamping, the bar it shows, scroll actions by its own step sizes, and the
// position notices its descendants scroll their contents by.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "engine/scroll_window.h"
#include "platform/ui/form.h"

TEST(ScrollAxis, ClampKeepsThePositionInsideTheContent) {
    struct Case {
        int extent, page, value, expected;
    };
    const Case cases[] = {
        {1000, 100, 950, 900}, // above extent - page stops there
        {1000, 100, 900, 900},
        {1000, 100, 0, 0},
        {1000, 100, -5, 0},
        {50, 100, 30, 0}, // content smaller than the view: always 0
        {0, 0, 10, 0},
        {INT_MAX, -10, INT_MAX, INT_MAX}, // no wrap past the largest position
    };
    for (const Case& c : cases) {
        TpgwScrollAxis axis{0, c.extent, c.page};
        EXPECT_EQ(axis.Clamp(c.value), c.expected) << c.extent << " " << c.page << " " << c.value;
    }
}

TEST(ScrollAxis, BarHasNoRangeWhileTheContentFits) {
    const TScrollInfo fits = TpgwScrollAxis{0, 50, 100}.BarInfo();
    EXPECT_EQ(fits.Min, 0);
    EXPECT_EQ(fits.Max, 0);
    EXPECT_EQ(fits.Page, 100);
    const TScrollInfo longer = TpgwScrollAxis{40, 1000, 100}.BarInfo();
    EXPECT_EQ(longer.Max, 1000);
    EXPECT_EQ(longer.Page, 100);
    EXPECT_EQ(longer.Pos, 40);
}

TEST(ScrollAxis, ActionsMoveByTheWindowsOwnSteps) {
    const TpgwScrollAxis axis{500, 1000, 100};
    struct Case {
        TScrollCode code;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {scLineUp, 492},   {scLineDown, 508}, {scPageUp, 200},
        {scPageDown, 800}, {scPosition, 77},  {scTrack, 77},
        {scTop, 0},        {scBottom, 1000},  {scEndScroll, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScrollTarget(axis, c.code, 77, 8, 300), c.expected) << int(c.code);
    const TpgwScrollAxis far{INT_MAX - 5, INT_MAX, 0};
    EXPECT_EQ(ScrollTarget(far, scPageDown, 0, 8, 300), INT_MAX);
}

namespace {

class CountingScrollWin : public TpgwScrollWin {
public:
    using TpgwScrollWin::TpgwScrollWin;
    std::vector<char> changes;

protected:
    void HorzPositionChanged() override { changes.push_back('h'); }
    void VertPositionChanged() override { changes.push_back('v'); }
};

class ScrollWinTest : public ::testing::Test {
protected:
    TForm form{nullptr};
    CountingScrollWin* win = nullptr;
    void SetUp() override {
        win = new CountingScrollWin(&form);
        win->SetParent(&form);
        win->SetBounds(0, 0, 300, 200);
        win->SetVertPageSize(100);
        win->SetVertExtent(1000);
        win->SetHorzPageSize(200);
        win->SetHorzExtent(150);
    }
};

} // namespace

TEST_F(ScrollWinTest, SettersClampAndNotifyOnlyRealMoves) {
    EXPECT_EQ(win->SmallChange(), 1);
    EXPECT_EQ(win->LargeChange(), 10);
    win->SetVertPosition(950);
    EXPECT_EQ(win->VertPosition(), 900);
    win->SetVertPosition(2000); // clamps to where it already is: no notice
    win->SetHorzPosition(30);   // content narrower than the view
    EXPECT_EQ(win->HorzPosition(), 0);
    EXPECT_EQ(win->changes, std::vector<char>{'v'});
    EXPECT_EQ(win->ScrollInfo(sbVertical).Pos, 900);
    EXPECT_EQ(win->ScrollInfo(sbHorizontal).Max, 0);
    EXPECT_FALSE(win->ScrollBarVisible(sbHorizontal));
    EXPECT_TRUE(win->ScrollBarVisible(sbVertical));
}

TEST_F(ScrollWinTest, ShrinkingContentPullsThePositionBack) {
    win->SetVertPosition(900);
    win->changes.clear();
    win->SetVertExtent(400);
    EXPECT_EQ(win->VertPosition(), 300);
    win->SetVertPageSize(500);
    EXPECT_EQ(win->VertPosition(), 0);
    EXPECT_EQ(win->changes, (std::vector<char>{'v', 'v'}));
}

TEST_F(ScrollWinTest, BarActionsUseTheStepSizes) {
    win->SetLargeChange(300);
    win->SetSmallChange(8);
    win->ScrollAction(sbVertical, scPageDown, 0);
    EXPECT_EQ(win->VertPosition(), 300);
    win->ScrollAction(sbVertical, scLineDown, 0);
    EXPECT_EQ(win->VertPosition(), 308);
    win->ScrollAction(sbVertical, scTrack, 555);
    EXPECT_EQ(win->VertPosition(), 555);
    win->ScrollAction(sbVertical, scBottom, 0);
    EXPECT_EQ(win->VertPosition(), 900);
    EXPECT_EQ(win->ScrollPos(sbVertical), 900);
    win->ScrollAction(sbVertical, scEndScroll, 0);
    win->ScrollAction(sbVertical, scTop, 0);
    EXPECT_EQ(win->VertPosition(), 0);
    EXPECT_EQ(win->changes, (std::vector<char>{'v', 'v', 'v', 'v', 'v'}));
}
