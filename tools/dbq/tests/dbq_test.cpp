#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/core/tests/temp_dir.h"
#include "platform/data/ado.h"

namespace {

struct DbqRun {
    std::string out;
    int status = -1;
};

// Output and messages together, or only the messages when stdoutTo names a file.
DbqRun Dbq(const std::string& connection, const std::string& sql, const std::string& stdoutTo = {}) {
    std::string command = std::string(DBQ_PATH) + " '" + connection + "' \"" + sql + "\" 2>&1";
    if (!stdoutTo.empty()) command += " >" + stdoutTo;
    DbqRun r;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return r;
}

TEST(Dbq, PrintsRowsAsTabSeparatedText) {
    TempDir dir;
    const std::string cs = "Provider=SQLite;Data Source=" + (dir / "d.db");
    {
        TADOConnection c(nullptr);
        c.SetConnectionString(cs);
        c.Execute(
            "create table t (id INTEGER, name VARCHAR(20), d DATETIME, m CURRENCY, note LONGTEXT)");
        c.Execute("insert into t values (1, '张三', '2010-09-01 08:30:00', 12.5, 'a' || char(9) || "
                  "'b' || char(10) || 'c')");
        c.Execute("insert into t values (2, null, null, null, 'C:\\x')");
    }
    DbqRun r = Dbq(cs, "select * from t order by id");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "id\tname\td\tm\tnote\n"
                     "1\t张三\t2010-09-01 08:30:00\t12.5\ta\\tb\\nc\n"
                     "2\t\t\t\tC:\\x\n");

    // The Jet provider reads the same file, with the Jet dialect.
    r = Dbq("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + (dir / "d.db"),
            "select id from t where d >= #2010-9-1# and name like '张%'");
    EXPECT_EQ(r.out, "id\n1\n");
}

TEST(Dbq, ErrorsGiveTheMessageAndAFailingStatus) {
    TempDir dir;
    DbqRun r =
        Dbq("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + (dir / "none.mdb"), "select 1");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Could not find file"), std::string::npos) << r.out;
    r = Dbq("Provider=SQLite;Data Source=" + (dir / "d.db"), "select * form t");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("syntax error"), std::string::npos) << r.out;

    // Output that cannot be written is a failure, not a success with nothing printed.
    r = Dbq("Provider=SQLite;Data Source=" + (dir / "d.db"), "select 1", "/dev/full");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
}

} // namespace
