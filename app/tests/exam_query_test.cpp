// The exam query text built from the filter panel's fields.

#include <gtest/gtest.h>

#include "app/exam_query.h"
#include "platform/core/format.h"

namespace {

class ExamQueryText : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings();
        FormatSettings().ShortDateFormat = "yyyy-m-d";
        FormatSettings().DateSeparator = '-';
        filter.DateMin = EncodeDate(2010, 9, 1);
        filter.DateMax = EncodeDate(2010, 9, 19) + 0.75; // a picker may carry a time
    }
    void TearDown() override { FormatSettings() = saved_; }
    std::string WhereLine() {
        auto lines = BuildExamQuery(filter);
        EXPECT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines.at(0), "select * from patient");
        return lines.at(1);
    }
    TExamFilter filter;
    TFormatSettings saved_;
};

TEST_F(ExamQueryText, TheFourExamplesByteForByte) {
    filter.Name = "张";
    EXPECT_EQ(WhereLine(), " where  name like '%%张%%'and BaoGaoriqi>=#2010-9-1 00:00:00# and "
                           "BaoGaoriqi<=#2010-9-19 23:59:59#");
    filter.Name.clear();
    filter.ExamNumber = "1234";
    EXPECT_EQ(WhereLine(), " where  csid=1234 and BaoGaoriqi>=#2010-9-1 00:00:00# and "
                           "BaoGaoriqi<=#2010-9-19 23:59:59#");
    filter.ExamNumber.clear();
    filter.Name = "张";
    filter.Doctor = "李";
    EXPECT_EQ(WhereLine(), " where  name like '%%张%%' and jianchadoc like '%%李%%'and "
                           "BaoGaoriqi>=#2010-9-1 00:00:00# and BaoGaoriqi<=#2010-9-19 23:59:59#");
    // Without a text filter the dates stay bare, but the last day counts whole.
    filter.Name.clear();
    filter.Doctor.clear();
    EXPECT_EQ(WhereLine(), " where  BaoGaoriqi>=#2010-9-1# and BaoGaoriqi<=#2010-9-19 23:59:59#");
}

TEST_F(ExamQueryText, PiecesJoinAsStoredQueriesHaveThem) {
    struct Case {
        const char* what;
        const char* name;
        const char* doctor;
        const char* number;
        const char* conclusion;
        const char* where;
    };
    const char* range = "BaoGaoriqi>=#2010-9-1 00:00:00# and BaoGaoriqi<=#2010-9-19 23:59:59#";
    const Case cases[] = {
        {"doctor alone has no blank before its quote", "", " 李 ", "", "",
         " jianchadoc like'%%李%%'and "},
        {"blanks only still filter", "  ", "", "", "", " name like '%%%%'and "},
        {"quotes are doubled", "O'Neil", "a'b", "", "",
         " name like '%%O''Neil%%' and jianchadoc like '%%a''b%%'and "},
        {"number after name", "王", "", "77", "", " name like '%%王%%'and csid=77 and "},
        {"conclusion alone", "", "", "", "结石", "JianChaJieLun like '%%结石%%'and "},
        {"conclusion after number", "", "", "5", " 囊肿",
         " csid=5 and JianChaJieLun like'%% 囊肿%%'and "},
        {"number keeps what was typed", "", "", " 12 ", "", " csid= 12  and "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        filter.Name = c.name;
        filter.Doctor = c.doctor;
        filter.ExamNumber = c.number;
        filter.Conclusion = c.conclusion;
        EXPECT_EQ(WhereLine(), std::string(" where ") + c.where + range);
    }
}

TEST_F(ExamQueryText, GroupingByDoctorOrdersOnlyTextFilteredLists) {
    filter.GroupByDoctor = true;
    EXPECT_EQ(WhereLine().find("order by"), std::string::npos);
    filter.Name = "张";
    EXPECT_TRUE(WhereLine().ends_with("23:59:59# order by jianchadoc")) << WhereLine();
}

TEST_F(ExamQueryText, ExamNumbersMustBeNumbers) {
    for (const char* bad : {"12a", "abc", "1 2", "  ", "1.5", "$FF", "1;drop table patient", "-"}) {
        SCOPED_TRACE(bad);
        filter.ExamNumber = bad;
        EXPECT_THROW(BuildExamQuery(filter), EExamNumberError);
    }
    for (const char* good : {"0", "1234", "-3", " 42"}) {
        filter.ExamNumber = good;
        EXPECT_NO_THROW(BuildExamQuery(filter));
    }
}

TEST_F(ExamQueryText, DatesFollowTheShortDateFormat) {
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    FormatSettings().DateSeparator = '/';
    EXPECT_EQ(WhereLine(),
              " where  BaoGaoriqi>=#01/09/2010# and BaoGaoriqi<=#19/09/2010 23:59:59#");
}

} // namespace
