#include "platform/print/papers.h"

#include <gtest/gtest.h>

#include <set>

TEST(PaperSizes, TableHoldsTheStandardCodes) {
    std::set<int> codes;
    for (const TPaperSizeInfo& row : PaperSizes())
        codes.insert(row.Code);
    std::set<int> expected;
    for (int code = 1; code <= 47; ++code)
        expected.insert(code);
    for (int code = 50; code <= 68; ++code)
        expected.insert(code);
    EXPECT_EQ(codes, expected);
    EXPECT_STREQ(FindPaperSizeInfo(9)->Name, "A4");
}

TEST(PaperSizes, FindPaperSizeGivesMillimetres) {
    struct Case {
        int code;
        double width, height;
    };
    // First and last rows, the rows around the gap, and the one with width above height.
    for (const Case& c :
         {Case{9, 210, 297}, Case{1, 215.9, 279.4}, Case{47, 220, 220}, Case{50, 235.5, 304.8},
          Case{68, 322, 445}, Case{35, 176, 125}, Case{26, 863.6, 1117.6}}) {
        double width = 0, height = 0;
        ASSERT_TRUE(FindPaperSize(c.code, width, height)) << c.code;
        EXPECT_DOUBLE_EQ(width, c.width) << c.code;
        EXPECT_DOUBLE_EQ(height, c.height) << c.code;
    }
}

TEST(PaperSizes, UnknownCodesLeaveTheSizes) {
    for (int code : {kCustomPaperSize, 0, -1, 48, 49, 69, 255}) {
        double width = 1, height = 2;
        EXPECT_FALSE(FindPaperSize(code, width, height)) << code;
        EXPECT_EQ(width, 1);
        EXPECT_EQ(height, 2);
        EXPECT_EQ(FindPaperSizeInfo(code), nullptr);
    }
}

TEST(CurrentPrinterPaper, VirtualA4UntilTheHookIsInstalled) {
    TPrinterPaper paper = CurrentPrinterPaper();
    EXPECT_EQ(paper.PaperSize, 9);
    EXPECT_EQ(paper.PaperWidth, 210);
    EXPECT_EQ(paper.PaperHeight, 297);
    EXPECT_EQ(paper.Orientation, poPortrait);

    SetCurrentPrinterPaperHook([] { return TPrinterPaper{8, 420, 297, poLandscape}; });
    paper = CurrentPrinterPaper();
    EXPECT_EQ(paper.PaperSize, 8);
    EXPECT_EQ(paper.PaperWidth, 420);
    EXPECT_EQ(paper.Orientation, poLandscape);

    SetCurrentPrinterPaperHook({});
    EXPECT_EQ(CurrentPrinterPaper().PaperSize, 9);
}
