// dbq "<connection string>" "<sql>": runs the SQL through the data layer and prints the rows
// as tab-separated text, field names first. Dates as yyyy-mm-dd hh:nn:ss, Null as nothing.
// A statement that returns no rows prints the number of rows it changed.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "platform/core/date_time.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"

namespace {

// Tabs and line breaks inside values would break the layout of the output: they are written
// as \t, \n and \r (backslashes stay as they are, so Windows paths read naturally).
std::string Cell(const TField& field) {
    Variant v = field.Value();
    if (v.IsNull()) return std::string();
    std::string s;
    if (v.Kind() == VariantKind::Date)
        s = FormatDateTime("yyyy-mm-dd hh:nn:ss", v.DoubleValue());
    else if (v.Kind() == VariantKind::Bool)
        s = v.BoolValue() ? "True" : "False";
    else
        s = v.AsString();
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

bool ReturnsRows(const std::string& sql) {
    std::string head = LowerCase(TrimLeft(sql).substr(0, 10));
    return head.rfind("select", 0) == 0 || head.rfind("with", 0) == 0 ||
           head.rfind("pragma", 0) == 0 || head.rfind("values", 0) == 0 || head.rfind("(", 0) == 0;
}

// Output that did not reach its file (a full disk, a closed pipe) must not pass for success.
int Finish() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "Cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dbq \"<connection string>\" \"<sql>\"\n");
        return 2;
    }
    try {
        TADOConnection connection(nullptr);
        connection.SetLoginPrompt(false);
        connection.SetConnectionString(argv[1]);
        connection.Open();
        TADOQuery query(nullptr);
        query.SetConnection(&connection);
        query.SetParamCheck(false);
        query.SQL().SetText(argv[2]);
        if (!ReturnsRows(argv[2])) {
            std::printf("%d\n", query.ExecSQL());
            return Finish();
        }
        query.Open();
        std::string line;
        for (int i = 0; i < query.FieldCount(); ++i)
            line += (i ? "\t" : "") + query.Fields()[i]->FieldName();
        std::printf("%s\n", line.c_str());
        for (query.First(); !query.Eof(); query.Next()) {
            line.clear();
            for (int i = 0; i < query.FieldCount(); ++i)
                line += (i ? "\t" : "") + Cell(*query.Fields()[i]);
            std::printf("%s\n", line.c_str());
        }
        return Finish();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
