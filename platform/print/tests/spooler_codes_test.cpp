#include "platform/print/spooler_codes_p.h"

#include <gtest/gtest.h>

#include "platform/print/print_backend.h"

TEST(SpoolerCodes, PaperSizesBecomeTableCodes) {
    struct Case {
        double width, height;
        int code;
    };
    for (const Case& c : {
             Case{210, 297, 9},     // A4, not "A4 Small" of the same size
             Case{209.9, 297.1, 9}, // as points rounded by a driver
             Case{215.9, 279.4, 1}, // Letter, not "Note"
             Case{148, 210, 11},
             Case{297, 420, 8},
             Case{420, 594, 66},
             Case{176, 125, 35}, // the table keeps this one wider than high
             Case{110, 220, 27},
             Case{297, 210, 0}, // A4 turned is no standard paper
             Case{100, 100, 0},
         })
        EXPECT_EQ(PaperCodeForSize(c.width, c.height), c.code) << c.width << " x " << c.height;
}

TEST(SpoolerCodes, SourcesAndSides) {
    EXPECT_EQ(BinCodeForSource("auto"), DMBIN_AUTO);
    EXPECT_EQ(BinCodeForSource("tray-1"), DMBIN_UPPER);
    EXPECT_EQ(BinCodeForSource("tray-2"), DMBIN_LOWER);
    EXPECT_EQ(BinCodeForSource("manual"), DMBIN_MANUAL);
    EXPECT_EQ(BinCodeForSource("large-capacity"), DMBIN_LARGECAPACITY);
    EXPECT_EQ(BinCodeForSource("tray-7"), 0);
    EXPECT_EQ(BinCodeForSource(""), 0);

    for (int duplex : {DMDUP_SIMPLEX, DMDUP_VERTICAL, DMDUP_HORIZONTAL})
        EXPECT_EQ(DuplexForSides(SidesForDuplex(duplex)), duplex);
    EXPECT_EQ(DuplexForSides("two-sided-long-edge"), DMDUP_VERTICAL);
    EXPECT_EQ(DuplexForSides("sideways"), 0);
    EXPECT_STREQ(SidesForDuplex(0), "one-sided");
    EXPECT_STREQ(SidesForDuplex(4), "one-sided");
}
