#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/core/date_time.h"
#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/data/ado.h"
#include "platform/data/jet_file.h"
#include "platform/data/tests/data_test_util.h"

namespace fs = std::filesystem;

namespace {

const char* kJetPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const char* kJetSuffix = ";Persist Security Info=False;Jet OLEDB:Database Password=";

std::string JetString(const std::string& path, const std::string& password = "5827140") {
    return kJetPrefix + path + kJetSuffix + password;
}

// The value as mdb-export writes it, for comparing.
std::string ExportText(const TField& f) {
    Variant v = f.Value();
    if (v.IsNull()) return "";
    switch (v.Kind()) {
    case VariantKind::Date:
        return FormatDateTime("yyyy-mm-dd hh:nn:ss", v.DoubleValue());
    case VariantKind::Bool:
        return v.BoolValue() ? "1" : "0";
    default:
        return v.AsString();
    }
}

bool SameCell(const TField& f, const std::string& exported) {
    Variant v = f.Value();
    if (v.Kind() == VariantKind::Double) {
        if (exported.empty()) return false;
        return std::fabs(v.DoubleValue() - std::stod(exported)) < 1e-9;
    }
    return ExportText(f) == exported;
}

// mdb-export's CSV: quoted text may hold line breaks; "" is a quote.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                cell += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                cell += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(cell));
            cell.clear();
        } else if (c == '\n') {
            rows.back().push_back(std::move(cell));
            cell.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            cell += c;
        }
    }
    if (rows.back().empty()) rows.pop_back();
    return rows;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        if (::pclose(p) != 0) out.clear();
    }
    return out;
}

std::vector<std::vector<std::string>> Rows(TADOConnection& conn, const std::string& sql) {
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    q.SQL().SetText(sql);
    q.Open();
    std::vector<std::vector<std::string>> rows;
    for (; !q.Eof(); q.Next()) {
        std::vector<std::string> row;
        for (int i = 0; i < q.FieldCount(); ++i)
            row.push_back(ExportText(*q.Fields()[i]));
        rows.push_back(std::move(row));
    }
    return rows;
}

class JetProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(SharedExams()))
            GTEST_SKIP() << "the shared fixture " << SharedExams() << " is absent";
        cache = std::make_unique<ScopedEnv>("LUMETRA_CACHE_DIR", dir / "cache");
        shared = FileState::Of(SharedExams());
    }
    void TearDown() override {
        if (!shared.bytes.empty()) {
            EXPECT_TRUE(FileState::Of(SharedExams()) == shared);
        }
    }

    // A copy of exams.mdb with bytes written over it: each edit at an offset of a page.
    struct Edit {
        int page;
        int offset;
        std::string bytes;
    };
    std::string DamagedCopy(const std::string& name, const std::vector<Edit>& edits) {
        std::string path = CopyOfExams(name);
        std::string data = TempDir::ReadAll(path);
        for (const Edit& e : edits)
            data.replace(static_cast<std::size_t>(e.page) * kJet4Page +
                             static_cast<std::size_t>(e.offset),
                         e.bytes.size(), e.bytes);
        TempDir::WriteAll(path, data);
        return path;
    }

    // Opens a Jet file and reads its exam table: the error ("" for none), with what reached
    // the terminal meanwhile.
    struct Outcome {
        std::string error;
        std::string printed;
    };
    Outcome OpenAndRead(const std::string& path) {
        Outcome o;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        try {
            TADOConnection c(nullptr);
            c.SetConnectionString(JetString(path));
            c.Open();
            Rows(c, "select * from patient");
        } catch (const EDatabaseError& e) {
            o.error = e.what();
        }
        o.printed = ::testing::internal::GetCapturedStderr();
        o.printed += ::testing::internal::GetCapturedStdout();
        return o;
    }

    std::size_t CacheEntries() {
        std::error_code ec;
        std::size_t n = 0;
        for (auto it = fs::directory_iterator(dir / "cache", ec);
             !ec && it != fs::directory_iterator(); it.increment(ec))
            ++n;
        return n;
    }

    std::string CopyOfExams(const std::string& name) {
        std::string path = dir / name;
        fs::copy_file(SharedExams(), path);
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        return path;
    }

    // A SQLite twin of the exam table, written through the data layer from the Jet rows.
    std::string MakeSqliteCopy(TADOConnection& jet) { return ::MakeSqliteCopy(jet, dir / "copy.db"); }

    static constexpr std::size_t kJet4Page = 4096;
    FixedFormats formats{"yyyy-m-d"};
    TempDir dir;
    std::unique_ptr<ScopedEnv> cache; // the Jet copy cache in a folder of the test
    FileState shared;                 // exams.mdb as the test found it
};

TEST_F(JetProviderTest, SameSqlGivesSameRowsFromJetSqliteAndMdbExport) {
    TADOConnection jet(nullptr);
    jet.SetConnectionString(JetString(SharedExams()));
    jet.Open();
    TADOConnection twin(nullptr);
    twin.SetConnectionString(kJetPrefix + MakeSqliteCopy(jet) + kJetSuffix + "5827140");

    // The exam browser's query forms, with the short date format y-m-d.
    const std::string head = "select * from patient\r\n";
    const std::vector<std::string> queries = {
        head + " where  name like '%%张%%'and BaoGaoriqi>=#2010-9-1 00:00:00# and "
               "BaoGaoriqi<=#2010-9-19 23:59:59#",
        head + " where  csid=100079 and BaoGaoriqi>=#2010-8-1 00:00:00# and BaoGaoriqi<=#2010-9-30 "
               "23:59:59#",
        head + " where  name like '%%张%%' and jianchadoc like '%%李%%'and BaoGaoriqi>=#2010-8-1 "
               "00:00:00# and BaoGaoriqi<=#2010-9-30 23:59:59#",
        head + " where  BaoGaoriqi>=#2010-9-1# and BaoGaoriqi<=#2010-9-19#",
        head + " where  name like '张%' and imagepath is null",
        head + " where  NAME like '%''%'",
    };
    std::vector<std::size_t> counts;
    for (const std::string& sql : queries) {
        SCOPED_TRACE(sql);
        auto a = Rows(jet, sql);
        auto b = Rows(twin, sql);
        EXPECT_EQ(a, b);
        counts.push_back(a.size());
    }
    EXPECT_GT(counts[0], 0u);
    EXPECT_EQ(counts[1], 1u);
    EXPECT_GT(counts[3], counts[0]);
    EXPECT_EQ(counts[5], 1u); // the name with a single quote

    std::string csv = RunCommand("mdb-export -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' '" +
                                 SharedExams() + "' patient 2>/dev/null");
    if (csv.empty()) GTEST_SKIP() << "mdb-export is not available";
    auto exported = ParseCsv(csv);
    ASSERT_GT(exported.size(), 1u);
    const auto& names = exported[0];
    std::map<int, std::vector<std::string>> byId;
    for (std::size_t r = 1; r < exported.size(); ++r)
        byId[std::stoi(exported[r][0])] = exported[r];

    TADOQuery all(nullptr);
    all.SetConnection(&jet);
    all.SQL().SetText("select * from patient");
    all.Open();
    ASSERT_EQ(all.RecordCount(), static_cast<int>(byId.size()));
    ASSERT_EQ(all.FieldCount(), static_cast<int>(names.size()));
    for (; !all.Eof(); all.Next()) {
        const auto& row = byId.at(all.FieldByName("id")->AsInteger());
        for (int i = 0; i < all.FieldCount(); ++i) {
            ASSERT_EQ(all.Fields()[i]->FieldName(), names[static_cast<std::size_t>(i)]);
            EXPECT_TRUE(SameCell(*all.Fields()[i], row[static_cast<std::size_t>(i)]))
                << names[static_cast<std::size_t>(i)] << " of id " << row[0] << ": "
                << ExportText(*all.Fields()[i]) << " vs " << row[static_cast<std::size_t>(i)];
        }
    }

    // The filtered queries pick exactly the rows the exported text says they should.
    auto col = [&](const char* name) {
        return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) -
                                        names.begin());
    };
    auto idsOf = [](const std::vector<std::vector<std::string>>& rows) {
        std::vector<int> ids;
        for (const auto& r : rows)
            ids.push_back(std::stoi(r[0]));
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    std::vector<int> nameRange, bareRange;
    for (const auto& [id, row] : byId) {
        const std::string& d = row[col("baogaoriqi")];
        bool inRange = !d.empty() && d >= "2010-09-01 00:00:00" && d <= "2010-09-19 23:59:59";
        if (inRange && row[col("name")].find("张") != std::string::npos) nameRange.push_back(id);
        if (!d.empty() && d >= "2010-09-01 00:00:00" && d <= "2010-09-19 00:00:00")
            bareRange.push_back(id);
    }
    EXPECT_EQ(idsOf(Rows(jet, queries[0])), nameRange);
    EXPECT_EQ(idsOf(Rows(jet, queries[3])), bareRange);
}

TEST_F(JetProviderTest, CopyIsMadeOnceAndRemadeWhenTheFileChanges) {
    std::string path = CopyOfExams("a.mdb");
    auto cacheFiles = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir / "cache"))
            names.push_back(e.path().filename().string());
        return names;
    };
    {
        TADOConnection c(nullptr);
        c.SetConnectionString(JetString(path));
        c.Open();
    }
    auto first = cacheFiles();
    ASSERT_EQ(first.size(), 1u);
    auto stamp = fs::last_write_time(fs::path(dir / "cache") / first[0]);
    {
        TADOConnection c(nullptr);
        c.SetConnectionString(JetString(path));
        c.Open();
    }
    EXPECT_EQ(cacheFiles(), first);
    EXPECT_EQ(fs::last_write_time(fs::path(dir / "cache") / first[0]), stamp);

    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    TADOConnection c(nullptr);
    c.SetConnectionString(JetString(path));
    c.Open();
    auto second = cacheFiles();
    ASSERT_EQ(second.size(), 1u); // the stale copy is gone
    EXPECT_NE(second, first);
    EXPECT_EQ(Rows(c, "select count(*) from patient")[0][0], "400");
    // The copy is read-only: a change is refused instead of being lost.
    EXPECT_THROW(c.Execute("delete from patient"), EDatabaseError);
    // Text compares without regard to case, as in Jet.
    EXPECT_EQ(Rows(c, "select count(*) from patient where rep_format = "
                      "'d:\\KELVDATA\\reportformat\\a4p4.pg3'"),
              Rows(c, "select count(*) from patient where rep_format = "
                      "'D:\\kelvdata\\reportformat\\a4p4.pg3'"));
    EXPECT_NE(Rows(c, "select count(*) from patient where rep_format = "
                      "'D:\\kelvdata\\reportformat\\a4p4.pg3'")[0][0],
              "0");
    c.Close();

    // A copy damaged after it was made is made again.
    TempDir::WriteAll(fs::path(dir / "cache") / second[0], "junk");
    c.Open();
    EXPECT_EQ(Rows(c, "select count(*) from patient")[0][0], "400");
}

TEST_F(JetProviderTest, PasswordInTheHeaderIsChecked) {
    EXPECT_EQ(ReadJetPassword(SharedExams()), "");
    // Jet 4 keeps the password as UTF-16 under masks that are zero-neutral: with no password
    // stored, xoring the text into the field stores it.
    std::string path = CopyOfExams("locked.mdb");
    std::string bytes = TempDir::ReadAll(path);
    std::u16string pw = u"geheim7";
    for (std::size_t i = 0; i < pw.size(); ++i) {
        bytes[0x42 + 2 * i] = static_cast<char>(bytes[0x42 + 2 * i] ^ (pw[i] & 0xff));
        bytes[0x43 + 2 * i] = static_cast<char>(bytes[0x43 + 2 * i] ^ (pw[i] >> 8));
    }
    TempDir::WriteAll(path, bytes);
    EXPECT_EQ(ReadJetPassword(path), "geheim7");

    TADOConnection c(nullptr);
    c.SetConnectionString(JetString(path, "geheim7"));
    c.Open();
    EXPECT_EQ(Rows(c, "select count(*) from patient")[0][0], "400");

    // The creation date that masks the password is read from the file: a damaged one (here an
    // exponent far out of range; the header is a stream cipher, so a flip passes through) is a
    // format error, not an undefined conversion.
    std::string damaged = CopyOfExams("damaged-date.mdb");
    std::string header = TempDir::ReadAll(damaged);
    header[0x79] = static_cast<char>(header[0x79] ^ 0x3F);
    TempDir::WriteAll(damaged, header);
    try {
        ReadJetPassword(damaged);
        ADD_FAILURE() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Unrecognized database format"), std::string::npos);
    }
}

TEST_F(JetProviderTest, BadFilesAndStatementsGiveClearErrorsAndWriteNothing) {
    std::string exams = TempDir::ReadAll(SharedExams());
    TempDir::WriteAll(dir / "short.mdb", exams.substr(0, 8192));
    TempDir::WriteAll(dir / "cut.mdb", exams.substr(0, 100000));
    TempDir::WriteAll(dir / "noise.mdb", std::string(5000, 'x'));
    TempDir::WriteAll(dir / "bad.db",
                      std::string("SQLite format 3\0", 16) + std::string(8000, '\x5a'));
    std::string locked = dir / "locked.mdb";
    {
        std::string bytes = exams;
        bytes[0x42] = static_cast<char>(bytes[0x42] ^ 'k');
        TempDir::WriteAll(locked, bytes);
    }
    struct Case {
        std::string connection;
        std::string file; // checked for being untouched
        std::string message;
    } cases[] = {
        {JetString(dir / "none.mdb"), "", "Could not find file"},
        {JetString(dir / "short.mdb"), dir / "short.mdb", "Unrecognized database format"},
        {JetString(dir / "cut.mdb"), dir / "cut.mdb", "is damaged"},
        {JetString(dir / "noise.mdb"), dir / "noise.mdb", "Unrecognized database format"},
        {JetString(dir / "bad.db"), dir / "bad.db", "not a database"},
        {"Provider=SQLite;Data Source=" + (dir / "bad.db"), dir / "bad.db", "not a database"},
        {JetString(locked, "wrong"), locked, "Not a valid password."},
        {JetString(locked, ""), locked, "Not a valid password."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connection);
        FileState before = c.file.empty() ? FileState{} : FileState::Of(c.file);
        TADOConnection conn(nullptr);
        conn.SetConnectionString(c.connection);
        try {
            conn.Open();
            ADD_FAILURE() << "opened";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(conn.Connected());
        if (!c.file.empty()) {
            EXPECT_TRUE(FileState::Of(c.file) == before);
        }
    }
    EXPECT_FALSE(fs::exists(dir / "none.mdb"));
    // Nothing half-made is left in the cache.
    for (const auto& e : fs::directory_iterator(dir / "cache"))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);

    // A statement the database rejects: its message, the query stays closed.
    std::string good = CopyOfExams("good.mdb");
    FileState before = FileState::Of(good);
    TADOConnection conn(nullptr);
    conn.SetConnectionString(JetString(good));
    TADOQuery q(nullptr);
    q.SetConnection(&conn);
    for (const char* sql :
         {"select * form patient", "select * from patient where csid=12a4",
          "select * from patient where BaoGaoriqi>=#2010-13-45#", "select * from nosuch"}) {
        SCOPED_TRACE(sql);
        q.SQL().SetText(sql);
        EXPECT_THROW(q.Open(), EDatabaseError);
        EXPECT_FALSE(q.Active());
    }
    q.SQL().SetText("select * from patient where csid=12a4");
    try {
        q.Open();
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("12a4"), std::string::npos) << e.what();
    }
    conn.Close();
    EXPECT_TRUE(FileState::Of(good) == before);
}

// The definition page of the exam table (page 24 of exams.mdb) with a damaged column count:
// the reader fails on the column list, which must not be read as one.
TEST_F(JetProviderTest, TableDefinitionClaimingOtherColumnsIsDamage) {
    constexpr int kTableDefinition = 24;
    constexpr int kColumnCount = 45; // 16 bits: 50 columns
    constexpr int kNextPage = 4;     // 32 bits: where the definition goes on; 0, it ends here
    struct Case {
        std::string name;
        std::vector<Edit> edits;
        std::string message;
    } cases[] = {
        // The high byte 0x00 -> 0x7D: 32,050 columns.
        {"high.mdb", {{kTableDefinition, kColumnCount + 1, "\x7D"}}, "claims 32050 columns"},
        {"none.mdb", {{kTableDefinition, kColumnCount, {"\0\0", 2}}}, "claims 0 columns"},
        {"256.mdb", {{kTableDefinition, kColumnCount, {"\0\1", 2}}}, "claims 256 columns"},
        // 51 to 255 columns: the reader takes what follows the 50 for columns.
        {"51.mdb", {{kTableDefinition, kColumnCount, {"\x33\0", 2}}}, "has a column with no name"},
        {"255.mdb", {{kTableDefinition, kColumnCount, {"\xFF\0", 2}}}, "has a column with no name"},
        // ... and when the definition goes on past the end of the file, the reader fails.
        {"beyond.mdb",
         {{kTableDefinition, kColumnCount, {"\xFF\0", 2}},
          {kTableDefinition, kNextPage, {"\xFF\xFF\xFF\0", 4}}},
         "has no readable column list (offset 68719472640 is beyond EOF)"},
        // 2^24 stored indexes, whose entries would come before the columns.
        {"indexes.mdb",
         {{kTableDefinition, 51, {"\0\0\0\1", 4}}},
         "claims 16777216 stored indexes"},
        // More columns of variable length than columns.
        {"var.mdb",
         {{kTableDefinition, kColumnCount - 2, {"\x33\0", 2}}},
         "claims 50 columns, 51 of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = DamagedCopy(c.name, c.edits);
        FileState before = FileState::Of(path);
        Outcome o = OpenAndRead(path);
        EXPECT_EQ(o.error.find("The database '" + path + "' is damaged: the table patient "), 0u)
            << o.error;
        EXPECT_NE(o.error.find(c.message), std::string::npos) << o.error;
        EXPECT_EQ(o.printed, "");
        EXPECT_EQ(CacheEntries(), 0u); // neither a copy nor a half-made one
        EXPECT_TRUE(FileState::Of(path) == before);
    }
}

// A column whose type byte is damaged to one the reader does not know: it would read the
// column's values as empty text with a warning on stderr and report success.
TEST_F(JetProviderTest, ColumnOfUnknownTypeIsDamage) {
    std::string exams = TempDir::ReadAll(SharedExams());
    // The column entries of the exam table's definition (25 bytes each, after 12 for each
    // stored index) start with the type, then 4 bytes, then the column's number.
    const std::size_t page = 24 * kJet4Page;
    const std::size_t indexes = static_cast<unsigned char>(exams[page + 51]);
    const std::size_t entry = page + 63 + indexes * 12 + 21 * 25;
    ASSERT_EQ(exams[entry + 5], 21);
    ASSERT_EQ(exams[entry], 8); // a date: baogaoriqi, the report date
    for (int type : {0x00, 0x0D, 0x0E, 0x11, 0x13, 0x7F, 0xFF}) {
        SCOPED_TRACE(type);
        std::string path = DamagedCopy("type" + std::to_string(type) + ".mdb",
                                       {{0, static_cast<int>(entry), {static_cast<char>(type)}}});
        FileState before = FileState::Of(path);
        Outcome o = OpenAndRead(path);
        EXPECT_EQ(o.error, "The database '" + path +
                               "' is damaged: the table patient has the column baogaoriqi of the "
                               "unknown type " +
                               std::to_string(type) + ".");
        EXPECT_EQ(o.printed, "");
        EXPECT_EQ(CacheEntries(), 0u);
        EXPECT_TRUE(FileState::Of(path) == before);
    }
    // A known type in its place is read as that type: the check refuses damage, not variety.
    std::string path = DamagedCopy("double.mdb", {{0, static_cast<int>(entry), "\x07"}});
    Outcome o = OpenAndRead(path);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.printed, "");
}

// A data page whose rows point outside it: the reader says so on stderr and gives the values
// as empty; the provider reports the damage instead, and nothing reaches the terminal.
TEST_F(JetProviderTest, DamagedRowsAreDamageNotRows) {
    std::string exams = TempDir::ReadAll(SharedExams());
    const std::size_t page = 27 * kJet4Page; // the first data page of the exam table
    ASSERT_EQ(exams[page], 1);
    ASSERT_EQ(exams[page + 4], 24);
    // The Jet 4 row offset table follows the row count at 12: the first row's offset.
    std::string path = DamagedCopy("rows.mdb", {{27, 14, {"\xF0\x0F", 2}}});
    FileState before = FileState::Of(path);
    Outcome o = OpenAndRead(path);
    EXPECT_EQ(o.error, "The database '" + path +
                           "' is damaged: the table patient cannot be read (warning: Invalid page "
                           "buffer detected in mdb_crack_row.).");
    EXPECT_EQ(o.printed, "");
    EXPECT_EQ(CacheEntries(), 0u);
    EXPECT_TRUE(FileState::Of(path) == before);
}

} // namespace
