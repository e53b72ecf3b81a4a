#pragma once
// The exam table `patient`: its 50 columns in table order, with the SQL types an archive made
// on this system gives them (short texts VARCHAR(n), memo texts LONGTEXT, dates DATETIME).

#include <string>
#include <vector>

struct TExamColumn {
    const char* Name;
    const char* SqlType;
};

const std::vector<TExamColumn>& ExamColumns();

// "create table patient (...)" with every column.
std::string ExamTableDDL();
