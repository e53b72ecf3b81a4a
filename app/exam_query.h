#pragma once
// The exam list's query text, built from the filled fields of the filter panel.

#include <string>
#include <vector>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"

// A number typed into the exam-number field that is not a number.
LUMETRA_EXCEPTION(EExamNumberError, Exception);

struct TExamFilter {
    std::string Name;           // edt_name, as typed
    std::string Doctor;         // Edt_Doc, as typed
    std::string ExamNumber;     // Edt_CSID, as typed
    std::string Conclusion;     // sq_ZhenDuan, as typed
    TDateTime DateMin = 0;      // sq_jcdatemin (date part used)
    TDateTime DateMax = 0;      // sq_jcdatemax (date part used)
    bool GroupByDoctor = false; // Check_GroupDoc
};

// Text as an SQL string literal: single quotes around it, each quote inside doubled.
std::string QuotedSQL(const std::string& text);

// True when the exam-number text can go into the query as a number: digits, optionally a
// leading minus, optionally surrounded by blanks.
bool IsExamNumber(const std::string& text);

// The two lines of the exam query: "select * from patient" and the where line. Dates are written
// in the short date format in force. Raises EExamNumberError when the exam-number field holds
// anything but a number, so letters never reach the database.
std::vector<std::string> BuildExamQuery(const TExamFilter& filter);
