#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <glob.h>

#include "platform/core/date_time.h"
#include "platform/data/ado.h"
#include "platform/data/tests/data_test_util.h"

namespace fs = std::filesystem;

namespace {

std::string FirstMatch(const char* pattern) {
    glob_t g{};
    std::string found;
    if (::glob(pattern, 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
    ::globfree(&g);
    return found;
}

int FreePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// A throwaway PostgreSQL cluster on a loopback port, for the whole suite.
class PostgresServer {
public:
    PostgresServer() {
        std::string initdb = FirstMatch("/usr/lib/postgresql/*/bin/initdb");
        driver_ = FirstMatch("/usr/lib/*/odbc/psqlodbcw.so");
        if (initdb.empty() || driver_.empty() || dir_.Path().empty()) {
            why_ = "PostgreSQL or its ODBC driver is not installed";
            return;
        }
        bin_ = fs::path(initdb).parent_path().string();
        // The server refuses to run as root: run it as the postgres user then.
        if (::geteuid() == 0) {
            if (std::system("id postgres >/dev/null 2>&1") != 0) {
                why_ = "running as root and there is no postgres user";
                return;
            }
            prefix_ = "runuser -u postgres -- ";
            if (std::system(("chown postgres '" + dir_.Path() + "'").c_str()) != 0) {
                why_ = "cannot hand the cluster folder to postgres";
                return;
            }
        }
        port_ = FreePort();
        std::string data = dir_ / "data";
        if (Run(bin_ + "/initdb -D '" + data +
                "' -A trust -U lumetra -E UTF8 --locale=C --no-sync") != 0) {
            why_ = "initdb failed";
            return;
        }
        std::string opts = "-p " + std::to_string(port_) + " -k '" + dir_.Path() +
                           "' -c listen_addresses=127.0.0.1 -c fsync=off";
        if (Run(bin_ + "/pg_ctl -D '" + data + "' -o \"" + opts + "\" -l '" + (dir_ / "log") +
                "' -w -t 20 start") != 0) {
            why_ = "the server did not start";
            return;
        }
        started_ = true;
    }
    ~PostgresServer() {
        if (started_) Run(bin_ + "/pg_ctl -D '" + (dir_ / "data") + "' -m immediate -w stop");
    }

    bool Started() const { return started_; }
    const std::string& Why() const { return why_; }
    std::string ConnectionString() const {
        return "Driver=" + driver_ + ";Server=127.0.0.1;Port=" + std::to_string(port_) +
               ";Database=postgres;Uid=lumetra;Pwd=;BoolsAsChar=0";
    }

private:
    int Run(const std::string& command) {
        return std::system((prefix_ + command + " >/dev/null 2>&1").c_str());
    }

    TempDir dir_;
    std::string bin_, driver_, prefix_, why_;
    int port_ = 0;
    bool started_ = false;
};

class OdbcProviderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new PostgresServer(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server->Started()) GTEST_SKIP() << "no PostgreSQL server: " << server->Why();
    }
    static PostgresServer* server;
};

PostgresServer* OdbcProviderTest::server = nullptr;

TEST_F(OdbcProviderTest, QueriesWithNamedParametersAndTypedFields) {
    for (std::string cs :
         {server->ConnectionString(), "Provider=MSDASQL;" + server->ConnectionString(),
          "Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"" +
              server->ConnectionString() + "\""}) {
        SCOPED_TRACE(cs);
        TADOConnection conn(nullptr);
        conn.SetConnectionString(cs);
        conn.Open();
        conn.Execute("drop table if exists patient");
        conn.Execute(
            "create table patient (id integer not null, name varchar(20), baogaoriqi timestamp, "
            "money numeric(10,2), lock boolean, big bigint, note text)");
        TADOCommand insert(nullptr);
        insert.SetConnection(&conn);
        insert.SetCommandText(
            "insert into patient values (:id, :name, :d, :money, :lock, :big, :note)");
        struct Row {
            int id;
            const char* name;
            TDateTime date;
            double money;
            bool lock;
        } rows[] = {
            {1, "张三", EncodeDate(2010, 9, 1) + EncodeTime(8, 30, 5, 0), 12.5, true},
            {2, "李四", EncodeDate(2010, 9, 19) + EncodeTime(23, 59, 59, 0), 30.25, false},
            {3, "O'Neil", EncodeDate(2010, 10, 1), 1, false},
        };
        for (const Row& r : rows) {
            TParameters& p = *insert.Parameters();
            p.ParamByName("id")->SetValue(r.id);
            p.ParamByName("name")->SetValue(Variant(r.name));
            p.ParamByName("d")->SetValue(Variant::FromDate(r.date));
            p.ParamByName("money")->SetValue(r.money);
            p.ParamByName("lock")->SetValue(r.lock);
            p.ParamByName("big")->SetValue(Variant(5000000000LL + r.id));
            p.ParamByName("note")->SetValue(r.id == 3 ? Variant::Null()
                                                      : Variant(std::string(10000, 'n')));
            EXPECT_EQ(insert.Execute(), 1);
        }

        TADOQuery q(nullptr);
        q.SetConnection(&conn);
        q.SQL().SetText(
            "select * from patient where name like :pattern and baogaoriqi <= :until order by id");
        q.Parameters()->ParamByName("pattern")->SetValue(Variant("%四%"));
        q.Parameters()->ParamByName("until")->SetValue(Variant::FromDate(EncodeDate(2010, 9, 20)));
        q.Open();
        ASSERT_EQ(q.RecordCount(), 1);
        EXPECT_EQ(q.FieldByName("id")->DataType(), ftInteger);
        EXPECT_EQ(q.FieldByName("id")->Value().Kind(), VariantKind::Int32);
        EXPECT_EQ(q.FieldByName("id")->AsInteger(), 2);
        EXPECT_EQ(q.FieldByName("name")->DataType(), ftWideString);
        EXPECT_EQ(q.FieldByName("name")->Size(), 20);
        EXPECT_EQ(q.FieldByName("name")->AsString(), "李四");
        EXPECT_EQ(q.FieldByName("baogaoriqi")->DataType(), ftDateTime);
        EXPECT_DOUBLE_EQ(q.FieldByName("baogaoriqi")->AsDateTime(), rows[1].date);
        EXPECT_EQ(q.FieldByName("money")->Value().Kind(), VariantKind::Double);
        EXPECT_DOUBLE_EQ(q.FieldByName("money")->AsFloat(), 30.25);
        EXPECT_EQ(q.FieldByName("lock")->DataType(), ftBoolean);
        EXPECT_FALSE(q.FieldByName("lock")->AsBoolean());
        EXPECT_EQ(q.FieldByName("big")->Value().Kind(), VariantKind::Int64);
        EXPECT_EQ(q.FieldByName("big")->AsLargeInt(), 5000000002LL);
        EXPECT_EQ(q.FieldByName("note")->AsString(), std::string(10000, 'n')); // read in pieces

        q.Close();
        q.Parameters()->ParamByName("pattern")->SetValue(Variant("O'%"));
        q.Parameters()->ParamByName("until")->SetValue(Variant::FromDate(EncodeDate(2011, 1, 1)));
        q.Open();
        ASSERT_EQ(q.RecordCount(), 1);
        EXPECT_TRUE(q.FieldByName("note")->IsNull());

        q.Close();
        q.SQL().SetText("select id, name from patient where id = :id");
        q.FieldDefs().Update();
        ASSERT_EQ(q.FieldDefs().Count(), 2);
        EXPECT_EQ(q.FieldDefs().Items(1).DataType, ftWideString);
        EXPECT_FALSE(q.Active());

        TADODataSet schema(nullptr);
        conn.OpenSchema(siTables, schema);
        EXPECT_TRUE(schema.Locate("TABLE_SCHEMA;TABLE_NAME",
                                  VarArrayOf({Variant("public"), Variant("patient")}), 0));

        q.Close();
        q.SQL().SetText("select * form patient");
        try {
            q.Open();
            ADD_FAILURE() << "opened";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("syntax error"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(q.Active());
    }
}

TEST_F(OdbcProviderTest, ConnectionFailureIsReported) {
    TADOConnection conn(nullptr);
    std::string cs = server->ConnectionString();
    cs.replace(cs.find("Database=postgres"), 17, "Database=nosuchdb");
    conn.SetConnectionString(cs);
    try {
        conn.Open();
        ADD_FAILURE() << "connected";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("nosuchdb"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(conn.Connected());
}

} // namespace
