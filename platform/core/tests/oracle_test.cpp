// The formatting functions and Variant operators against tables that Free Pascal's SysUtils
// and Variants units computed (script/tests/reference/oracle, made by generate.sh there).
// Rows whose last column starts with "departure" (a deliberate difference) or "known" (a
// difference still to be fixed) are not checked.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/date_time.h"
#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/tests/fixed_formats.h"
#include "platform/core/variant.h"

namespace {

struct TRow {
    int line = 0;
    std::vector<std::string> cols;
};

std::vector<std::string> SplitBy(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    if (!text.empty() && text.back() == sep) parts.emplace_back();
    return parts;
}

// The table's rows after its header, each padded to `columns` (the note is optional).
std::vector<TRow> ReadTable(const std::string& name, std::size_t columns) {
    const std::string path =
        std::string(LUMETRA_SOURCE_DIR) + "/script/tests/reference/oracle/" + name + ".tsv";
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot open " << path;
    std::vector<TRow> rows;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        if (++line == 1) continue;
        TRow row{line, SplitBy(text, '\t')};
        row.cols.resize(columns + 1);
        const std::string& note = row.cols[columns];
        if (note.rfind("departure", 0) == 0 || note.rfind("known", 0) == 0) continue;
        rows.push_back(std::move(row));
    }
    EXPECT_FALSE(rows.empty()) << path;
    return rows;
}

double ParseDouble(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

class OracleTest : public ::testing::Test {
private:
    FixedFormats formats_;
};

// ---- Variant operators ----------------------------------------------------------------------

Variant MakeOperand(const std::string& code) {
    if (code == "null") return Variant::Null();
    if (code == "empty") return Variant();
    const std::string body = code.substr(2);
    switch (code[0]) {
    case 'i':
        return Variant(static_cast<int>(std::stol(body)));
    case 'l':
        return Variant(static_cast<long long>(std::stoll(body)));
    case 'd':
        return Variant(ParseDouble(body));
    case 's':
        return Variant(body);
    case 'b':
        return Variant(body == "True");
    }
    ADD_FAILURE() << "bad operand " << code;
    return Variant();
}

// Type code and text, as the table writes them.
std::string Describe(const Variant& v) {
    std::string text;
    switch (v.VarType()) {
    case varEmpty:
    case varNull:
        break;
    case varBoolean:
        text = v.AsBool() ? "True" : "False";
        break;
    case varSingle:
    case varDouble:
    case varCurrency:
        text = FloatToStr(v.AsDouble());
        break;
    default:
        text = VarToStr(v);
    }
    return std::to_string(v.VarType()) + ":" + text;
}

Variant Apply(const std::string& op, const Variant& a, const Variant& b) {
    static const std::pair<const char*, TVarOp> kOps[] = {
        {"+", TVarOp::Add},         {"-", TVarOp::Subtract},     {"*", TVarOp::Multiply},
        {"/", TVarOp::Divide},      {"div", TVarOp::IntDivide},  {"mod", TVarOp::Modulus},
        {"and", TVarOp::And},       {"or", TVarOp::Or},          {"xor", TVarOp::Xor},
        {"shl", TVarOp::ShiftLeft}, {"shr", TVarOp::ShiftRight}, {"=", TVarOp::CmpEq},
        {"<>", TVarOp::CmpNe},      {"<", TVarOp::CmpLt},        {">", TVarOp::CmpGt},
        {"<=", TVarOp::CmpLe},      {">=", TVarOp::CmpGe},
    };
    if (op == "neg") return VarUnaryOp(TVarOp::Negate, a);
    if (op == "not") return VarUnaryOp(TVarOp::Not, a);
    for (const auto& [name, code] : kOps)
        if (op == name) return VarBinaryOp(code, a, b);
    ADD_FAILURE() << "bad operator " << op;
    return Variant();
}

TEST_F(OracleTest, VariantOperatorsMatchTheTable) {
    for (const TRow& row : ReadTable("variant", 4)) {
        const std::string& op = row.cols[1];
        std::string got;
        try {
            const bool unary = op == "neg" || op == "not";
            got = Describe(
                Apply(op, MakeOperand(row.cols[0]), unary ? Variant() : MakeOperand(row.cols[2])));
        } catch (const Exception&) {
            got = "error";
        }
        EXPECT_EQ(got, row.cols[3]) << "variant.tsv line " << row.line << ": " << row.cols[0] << " "
                                    << op << " " << row.cols[2];
    }
}

// ---- Format -----------------------------------------------------------------------------------

TFormatArg MakeArg(const std::string& code) {
    const std::string body = code.substr(2);
    switch (code[0]) {
    case 'i':
        return TFormatArg(std::stoll(body));
    case 'l':
        return TFormatArg(std::stoll(body));
    case 'd':
        return TFormatArg(ParseDouble(body));
    default:
        return TFormatArg(body);
    }
}

TEST_F(OracleTest, FormatMatchesTheTable) {
    for (const TRow& row : ReadTable("format", 3)) {
        std::vector<TFormatArg> args;
        for (const std::string& code : SplitBy(row.cols[1], '|'))
            args.push_back(MakeArg(code));
        std::string got;
        try {
            switch (args.size()) {
            case 0:
                got = Format(row.cols[0], {});
                break;
            case 1:
                got = Format(row.cols[0], {args[0]});
                break;
            case 2:
                got = Format(row.cols[0], {args[0], args[1]});
                break;
            default:
                FAIL() << "format.tsv line " << row.line << ": too many arguments";
            }
        } catch (const Exception&) {
            got = "error";
        }
        EXPECT_EQ(got, row.cols[2]) << "format.tsv line " << row.line << ": Format('" << row.cols[0]
                                    << "', " << row.cols[1] << ")";
    }
}

// ---- FormatFloat, FloatToStr, FormatDateTime ----------------------------------------------------

TEST_F(OracleTest, FormatFloatMatchesTheTable) {
    for (const TRow& row : ReadTable("formatfloat", 3)) {
        std::string got;
        try {
            got = FormatFloat(row.cols[0], ParseDouble(row.cols[1]));
        } catch (const Exception&) {
            got = "error";
        }
        EXPECT_EQ(got, row.cols[2]) << "formatfloat.tsv line " << row.line << ": FormatFloat('"
                                    << row.cols[0] << "', " << row.cols[1] << ")";
    }
}

TEST_F(OracleTest, FloatToStrMatchesTheTable) {
    for (const TRow& row : ReadTable("floattostr", 2))
        EXPECT_EQ(FloatToStr(ParseDouble(row.cols[0])), row.cols[1])
            << "floattostr.tsv line " << row.line << ": FloatToStr(" << row.cols[0] << ")";
}

TEST_F(OracleTest, FormatDateTimeMatchesTheTable) {
    for (const TRow& row : ReadTable("formatdatetime", 3)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
        ASSERT_EQ(
            std::sscanf(row.cols[1].c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms),
            7)
            << row.cols[1];
        const TDateTime value = EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
        std::string got;
        try {
            got = FormatDateTime(row.cols[0], value);
        } catch (const Exception&) {
            got = "error";
        }
        EXPECT_EQ(got, row.cols[2])
            << "formatdatetime.tsv line " << row.line << ": FormatDateTime('" << row.cols[0]
            << "', " << row.cols[1] << ")";
    }
}

} // namespace
