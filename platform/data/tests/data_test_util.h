#pragma once
// Shared set-up for the data tests: fixed format settings and small SQLite databases made
// through the data layer itself.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/core/format.h"
#include "platform/core/tests/fixed_formats.h"
#include "platform/core/tests/scoped_env.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"

inline void Exec(TADOConnection& c, const std::string& sql) {
    c.Execute(sql);
}

// The bytes and modification time of a file, to show that nothing wrote to it.
struct FileState {
    std::string bytes;
    long long mtimeNs = 0;
    static FileState Of(const std::string& path) {
        FileState s;
        s.bytes = TempDir::ReadAll(path);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            s.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        return s;
    }
    bool operator==(const FileState&) const = default;
};

inline std::string SharedExams() {
    return std::string(LUMETRA_SHARED_DIR) + "/fixtures/jet/exams.mdb";
}

// The exam table of `jet` written through the data layer into a new SQLite file at `path`: a
// twin to run the same SQL against.
inline std::string MakeSqliteCopy(TADOConnection& jet, const std::string& path) {
    TADOTable source(nullptr);
    source.SetConnection(&jet);
    source.SetTableName("patient");
    source.Open();
    TADOConnection out(nullptr);
    out.SetConnectionString("Provider=SQLite;Data Source=" + path);
    std::string create = "create table patient (", insert = "insert into patient values (";
    for (int i = 0; i < source.FieldCount(); ++i) {
        const TField& f = *source.Fields()[i];
        std::string type;
        switch (f.DataType()) {
        case ftInteger:
            type = "INTEGER";
            break;
        case ftWideString:
            type = "VARCHAR(" + std::to_string(f.Size()) + ")";
            break;
        case ftMemo:
            type = "LONGTEXT";
            break;
        case ftDateTime:
            type = "DATETIME";
            break;
        case ftCurrency:
            type = "CURRENCY";
            break;
        case ftBoolean:
            type = "BOOLEAN";
            break;
        default:
            ADD_FAILURE() << f.FieldName() << " " << FieldTypeName(f.DataType());
            type = "BLOB";
        }
        create += (i ? ", " : "") + f.FieldName() + " " + type;
        insert += (i ? ", :p" : ":p") + std::to_string(i);
    }
    out.Execute(create + ")");
    out.Execute("begin");
    TADOCommand cmd(nullptr);
    cmd.SetConnection(&out);
    cmd.SetCommandText(insert + ")");
    for (source.First(); !source.Eof(); source.Next()) {
        for (int i = 0; i < source.FieldCount(); ++i)
            cmd.Parameters()->Items(i)->SetValue(source.Fields()[i]->Value());
        cmd.Execute();
    }
    out.Execute("commit");
    return path;
}
