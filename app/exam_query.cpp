#include "app/exam_query.h"

#include <cmath>

#include "platform/core/text.h"

namespace {

// The pattern of a "contains" match: two percent signs on each side, as stored queries have it.
std::string Contains(const std::string& text) {
    return QuotedSQL("%%" + text + "%%");
}

std::string DateText(TDateTime value) {
    return DateToStr(std::floor(value));
}

} // namespace

std::string QuotedSQL(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

bool IsExamNumber(const std::string& text) {
    const std::string t = Trim(text);
    std::size_t i = !t.empty() && t[0] == '-' ? 1 : 0;
    if (i >= t.size() || t.size() - i > 18) return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

std::vector<std::string> BuildExamQuery(const TExamFilter& f) {
    std::string c;
    // Pieces that begin with "and" follow the previous piece directly, except after the exam
    // number, which would otherwise run into the keyword.
    bool afterNumber = false;
    auto join = [&](const std::string& piece) {
        if (afterNumber) c += ' ';
        c += piece;
        afterNumber = false;
    };

    const bool textFilter =
        !f.Name.empty() || !f.Doctor.empty() || !f.ExamNumber.empty() || !f.Conclusion.empty();
    if (textFilter) {
        if (!f.Name.empty()) c = " name like " + Contains(Trim(f.Name));
        if (!f.Doctor.empty()) {
            if (c.empty())
                c = " jianchadoc like" + Contains(Trim(f.Doctor));
            else
                join(" and jianchadoc like " + Contains(Trim(f.Doctor)));
        }
        if (!f.ExamNumber.empty()) {
            if (!IsExamNumber(f.ExamNumber))
                throw EExamNumberError("档案号只能是数字: \"" + f.ExamNumber + "\"");
            if (c.empty())
                c = " csid=" + f.ExamNumber;
            else
                join("and csid=" + f.ExamNumber);
            afterNumber = true;
        }
        if (!f.Conclusion.empty()) {
            if (c.empty())
                c = "JianChaJieLun like " + Contains(f.Conclusion);
            else
                join("and JianChaJieLun like" + Contains(f.Conclusion));
        }
    }

    const std::string d1 = DateText(f.DateMin);
    const std::string d2 = DateText(f.DateMax);
    if (c.empty()) {
        // The last day counts whole: report dates carry the time of the report.
        c = " BaoGaoriqi>=#" + d1 + "# and BaoGaoriqi<=#" + d2 + " 23:59:59#";
    } else {
        join("and BaoGaoriqi>=#" + d1 + " 00:00:00# and BaoGaoriqi<=#" + d2 + " 23:59:59#");
    }
    if (textFilter && f.GroupByDoctor) c += " order by jianchadoc";
    return {"select * from patient", " where " + c};
}
