// Which template a record names, the pictures it holds, and the name exports offer.

#include "app/exam_report.h"

#include <gtest/gtest.h>

namespace {

TEST(ExamReportRules, TemplateNamesAndTheirPictures) {
    struct Case {
        const char* repFormat;
        const char* name;
        int pictures;
    };
    for (const Case c : {
             Case{R"(D:\kelvdata\reportformat\a4p3.pg3)", "a4p3.pg3", 3},
             Case{R"(D:\kelvdata\reportformat\A4P2.PG3)", "A4P2.PG3", 2},
             Case{R"(D:\kelvdata\reportformat\b5p6.pg3)", "b5p6.pg3", 6},
             Case{R"(D:\kelvdata\reportformat\custom.pg3)", "custom.pg3", 0},
             Case{R"(D:\kelvdata\reportformat\a4p7.pg3)", "a4p7.pg3", 0},
             Case{R"(D:\kelvdata\reportformat\a4p1.pg3.bak)", "a4p1.pg3.bak", 0},
             // The prefix goes only where it stands as written.
             Case{R"(d:\KELVDATA\reportformat\a4p1.pg3)", R"(d:\KELVDATA\reportformat\a4p1.pg3)",
                  0},
             Case{"", "", 0},
         }) {
        SCOPED_TRACE(c.repFormat);
        EXPECT_EQ(ReportTemplateName(c.repFormat), c.name);
        EXPECT_EQ(TemplatePictureCount(ReportTemplateName(c.repFormat)), c.pictures);
    }
}

TEST(ExamReportRules, ExportNamesPointIntoNoFolder) {
    struct Case {
        const char* base;
        const char* clean;
    };
    for (const Case c :
         {Case{"2010/9/19 10:30:00张伟", "2010_9_19 10:30:00张伟"},
          Case{"2010-9-19张伟", "2010-9-19张伟"}, Case{"a\\b\tc\x7F", "a_b_c_"}, Case{"", ""}})
        EXPECT_EQ(CleanExportName(c.base), c.clean) << c.base;
}

} // namespace
