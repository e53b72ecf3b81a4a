#include "app/exam_schema.h"

const std::vector<TExamColumn>& ExamColumns() {
    static const std::vector<TExamColumn> columns = {
        {"id", "INTEGER"},
        {"csid", "INTEGER"},
        {"name", "VARCHAR(20)"},
        {"sex", "VARCHAR(4)"},
        {"age", "VARCHAR(6)"},
        {"ageunit", "VARCHAR(4)"},
        {"songjianpart", "VARCHAR(30)"},
        {"patientsource", "VARCHAR(20)"},
        {"bednum", "VARCHAR(10)"},
        {"zhuyuannum", "VARCHAR(20)"},
        {"menzhennum", "VARCHAR(20)"},
        {"shenqingdoc", "VARCHAR(20)"},
        {"linchuanzhenduan", "VARCHAR(100)"},
        {"jianchadoc", "VARCHAR(20)"},
        {"baogaodoc", "VARCHAR(20)"},
        {"shenhedoc", "VARCHAR(20)"},
        {"jinchasuojian", "LONGTEXT"},
        {"jianchajielun", "LONGTEXT"},
        {"jianyi", "VARCHAR(100)"},
        {"yinyangxing", "VARCHAR(10)"},
        {"shebeixinghao", "VARCHAR(30)"},
        {"baogaoriqi", "DATETIME"},
        {"baogaoshijian", "VARCHAR(10)"},
        {"jianchapart", "VARCHAR(50)"},
        {"partnum", "INTEGER"},
        {"suifang", "LONGTEXT"},
        {"money", "CURRENCY"},
        {"imageY", "VARCHAR(4)"},
        {"imagepath", "VARCHAR(255)"},
        {"imagenum", "INTEGER"},
        {"cdrw", "VARCHAR(10)"},
        {"cdno", "VARCHAR(20)"},
        {"rep_format", "VARCHAR(255)"},
        {"lock", "INTEGER"},
        {"dizhi", "VARCHAR(100)"},
        {"telnum", "VARCHAR(30)"},
        {"hunfou", "VARCHAR(10)"},
        {"yunci", "VARCHAR(10)"},
        {"canci", "VARCHAR(10)"},
        {"shebalhao", "VARCHAR(30)"},
        {"PatientHISnum", "VARCHAR(30)"},
        {"minzu", "VARCHAR(20)"},
        {"jianchazhuangtai", "VARCHAR(20)"},
        {"yunqiz", "VARCHAR(10)"},
        {"yunqit", "VARCHAR(10)"},
        {"liushuihao", "VARCHAR(30)"},
        {"yuejingmoqi", "DATETIME"},
        {"fuzhuzhenduan", "VARCHAR(100)"},
        {"WorkRoomName", "VARCHAR(30)"},
        {"DOCuser", "VARCHAR(20)"},
    };
    return columns;
}

std::string ExamTableDDL() {
    std::string sql = "create table patient (";
    bool first = true;
    for (const TExamColumn& c : ExamColumns()) {
        if (!first) sql += ", ";
        first = false;
        sql += "[" + std::string(c.Name) + "] " + c.SqlType;
    }
    return sql + ")";
}
