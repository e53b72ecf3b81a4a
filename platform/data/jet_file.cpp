#include "platform/data/jet_file.h"

#include <mdbtools.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/data/field.h"

namespace fs = std::filesystem;

namespace {

// Bumped whenever the layout of the copies changes, so older copies are made again.
constexpr int kCacheFormat = 2;
// Text is read into buffers of this size, large enough for the findings of an exam; a table
// with longer memos is read again with buffers eight times larger, up to the maximum (a memo
// typed by hand holds at most 65,535 characters, under 192 KB in UTF-8).
constexpr std::size_t kBindSize = 1 << 13;
constexpr std::size_t kMaxBindSize = 1 << 22;

std::string ReadHead(const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string head(bytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

// The Jet header page keeps its fields under an RC4 stream of a fixed key.
void Rc4(const std::uint8_t* key, std::size_t keyLen, std::uint8_t* data, std::size_t len) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % keyLen]) & 255;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < len; ++n) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 255];
    }
}

std::uint64_t Fnv1a(std::string_view s, std::uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// The column types the reader can read; any other byte in a table definition is damage.
bool KnownType(int type) {
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_BINARY:
    case MDB_TEXT:
    case MDB_OLE:
    case MDB_MEMO:
    case MDB_REPID:
    case MDB_NUMERIC:
    case MDB_COMPLEX:
        return true;
    default:
        return false;
    }
}

const char* SqlType(const MdbColumn* col) {
    switch (col->col_type) {
    case MDB_BOOL:
        return "BOOLEAN";
    case MDB_BYTE:
        return "TINYINT";
    case MDB_INT:
        return "SMALLINT";
    case MDB_LONGINT:
        return "INTEGER";
    case MDB_MONEY:
        return "CURRENCY";
    case MDB_FLOAT:
        return "REAL";
    case MDB_DOUBLE:
        return "DOUBLE";
    case MDB_DATETIME:
        return "DATETIME";
    case MDB_BINARY:
        return "BINARY";
    case MDB_TEXT:
        return nullptr; // VARCHAR(n), sized by the caller
    case MDB_OLE:
        return "LONGBINARY";
    case MDB_MEMO:
        return "LONGTEXT";
    case MDB_REPID:
        return "GUID";
    case MDB_NUMERIC:
        return "DECIMAL";
    default:
        return "BLOB";
    }
}

std::string QuoteIdent(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

struct MdbCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

void Exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "SQLite error";
        sqlite3_free(err);
        throw EDatabaseError(msg);
    }
}

// mdbtools says what it could not read, mostly on stderr and now and then on stdout, and reads
// on with the value left empty or cut short. Its messages are taken here instead, so none
// reaches the terminal and none is lost: one said while a table was read is that table's
// damage. The streams are the process's, so the reading must not overlap another thread's
// output; the program reads on one thread.
class ReaderMessages {
public:
    ReaderMessages() {
        Flush();
        file_ = std::tmpfile();
        if (!file_) return;
        for (int i = 0; i < 2; ++i) {
            saved_[i] = ::dup(kStreams[i]);
            if (saved_[i] < 0 || ::dup2(::fileno(file_), kStreams[i]) < 0) {
                Restore();
                return;
            }
        }
    }
    ~ReaderMessages() { Restore(); }
    ReaderMessages(const ReaderMessages&) = delete;
    ReaderMessages& operator=(const ReaderMessages&) = delete;

    // The first message since the last call that tells of damage ("" for none). The reader's
    // notes that a table's page map was wrong and that it read every page instead are not:
    // it found the rows all the same, and their count is checked.
    std::string TakeDamage() {
        if (!file_) return "";
        Flush();
        std::string text;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::pread(::fileno(file_), buf, sizeof buf, taken_);
            if (n <= 0) break;
            taken_ += n;
            // The first messages name the damage; what follows them adds nothing.
            if (text.size() < (1 << 16)) text.append(buf, static_cast<std::size_t>(n));
        }
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) end = text.size();
            std::string line = Trim(text.substr(begin, end - begin));
            begin = end + 1;
            if (line.empty() || line.find("from map doesn't match") != std::string::npos ||
                line.find("defaulting to brute force read") != std::string::npos ||
                line.find("unrecognized usage map type") != std::string::npos)
                continue;
            return CodePageToUtf8Lossy(line, 65001);
        }
        return "";
    }

private:
    static constexpr int kStreams[2] = {STDOUT_FILENO, STDERR_FILENO};

    static void Flush() {
        std::fflush(stdout);
        std::fflush(stderr);
    }

    void Restore() noexcept {
        Flush();
        for (int i = 0; i < 2; ++i)
            if (saved_[i] >= 0) {
                ::dup2(saved_[i], kStreams[i]);
                ::close(saved_[i]);
                saved_[i] = -1;
            }
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
    }

    std::FILE* file_ = nullptr;
    int saved_[2] = {-1, -1};
    off_t taken_ = 0;
};

struct TextTooLong {};

// A table of Jet holds at most 255 columns. Its stored indexes (Access makes at most 32) come
// before the columns in its definition: a damaged count would send the reader far past it.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 255;

// Copies one table. Damage raises EDatabaseError naming the table (and the column where one is
// to blame); the caller names the file.
void CopyTable(MdbHandle* mdb, MdbCatalogEntry* entry, sqlite3* db, ReaderMessages& messages) {
    const std::string name = entry->object_name;
    auto damaged = [&](const std::string& what) {
        std::string said = messages.TakeDamage();
        return EDatabaseError("the table " + name + " " + what +
                              (said.empty() ? "" : " (" + said + ")"));
    };
    MdbTableDef* table = mdb_read_table(entry);
    if (!table) throw damaged("has no readable definition");
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> guard(table, mdb_free_tabledef);
    if (table->num_cols == 0 || table->num_cols > kMaxColumns ||
        table->num_var_cols > table->num_cols)
        throw damaged(Format("claims %d columns, %d of variable length",
                             {static_cast<long long>(table->num_cols),
                              static_cast<long long>(table->num_var_cols)}));
    if (table->num_real_idxs > kMaxIndexes)
        throw damaged(
            Format("claims %d stored indexes", {static_cast<long long>(table->num_real_idxs)}));
    if (!mdb_read_columns(table) || table->columns->len != table->num_cols)
        throw damaged("has no readable column list");
    const unsigned ncols = table->num_cols;
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;

    std::string create = "CREATE TABLE " + QuoteIdent(name) + " (";
    std::string insert = "INSERT INTO " + QuoteIdent(name) + " VALUES (";
    std::vector<MdbColumn*> cols(ncols);
    std::set<std::string> names;
    for (unsigned i = 0; i < ncols; ++i) {
        cols[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        const std::string colName = cols[i]->name;
        if (colName.empty()) throw damaged("has a column with no name");
        // Column names are unique in any ASCII letter case, in Jet as in SQLite.
        if (!names.insert(LowerCase(colName)).second)
            throw damaged("has two columns named " + colName);
        // The reader would give such a column's values as empty text with a warning only.
        if (!KnownType(cols[i]->col_type))
            throw damaged(
                Format("has the column %s of the unknown type %d", {colName, cols[i]->col_type}));
        const char* type = SqlType(cols[i]);
        std::string t =
            type ? type
                 : "VARCHAR(" + std::to_string(jet3 ? cols[i]->col_size : cols[i]->col_size / 2) +
                       ")";
        // Jet compares text without regard to case.
        if (cols[i]->col_type == MDB_TEXT || cols[i]->col_type == MDB_MEMO) t += " COLLATE NOCASE";
        create += (i ? ", " : "") + QuoteIdent(cols[i]->name) + " " + t;
        insert += i ? ",?" : "?";
    }
    Exec(db, create + ")");
    insert += ")";

    const std::size_t bindSize = mdb->bind_size;
    std::vector<std::vector<char>> buffers(ncols, std::vector<char>(bindSize + 1));
    std::vector<int> lens(ncols);
    for (unsigned i = 0; i < ncols; ++i)
        if (mdb_bind_column(table, static_cast<int>(i) + 1, buffers[i].data(), &lens[i]) < 0)
            throw damaged(std::string("has the column ") + cols[i]->name + " out of its order");

    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw EDatabaseError(sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stGuard(st, sqlite3_finalize);
    if (mdb_rewind_table(table) != 0) throw damaged("cannot be read from its start");
    unsigned copied = 0;
    while (mdb_fetch_row(table)) {
        ++copied;
        for (unsigned i = 0; i < ncols; ++i) {
            const int p = static_cast<int>(i) + 1;
            const MdbColumn* col = cols[i];
            const char* text = buffers[i].data();
            const int len = lens[i];
            if (len <= 0 && col->col_type != MDB_BOOL) {
                sqlite3_bind_null(st, p);
                continue;
            }
            // mdbtools cuts text at the bind size: a value that fills it may have been cut.
            if ((col->col_type == MDB_TEXT || col->col_type == MDB_MEMO) &&
                static_cast<std::size_t>(len) + 1 >= bindSize)
                throw TextTooLong{};
            switch (col->col_type) {
            case MDB_BOOL:
                sqlite3_bind_int(st, p, text[0] == '1' ? 1 : 0);
                break;
            case MDB_BYTE:
            case MDB_INT:
            case MDB_LONGINT: {
                long long v = 0;
                std::from_chars(text, text + len, v);
                sqlite3_bind_int64(st, p, v);
                break;
            }
            case MDB_MONEY:
            case MDB_FLOAT:
            case MDB_DOUBLE:
            case MDB_NUMERIC: {
                double v = 0;
                std::from_chars(text, text + len, v);
                sqlite3_bind_double(st, p, v);
                break;
            }
            case MDB_OLE: {
                std::size_t size = 0;
                void* data = mdb_ole_read_full(mdb, const_cast<MdbColumn*>(col), &size);
                if (!data)
                    throw damaged(std::string("has a value of the column ") + col->name +
                                  " that cannot be read");
                sqlite3_bind_blob64(st, p, data, size, SQLITE_TRANSIENT);
                std::free(data);
                break;
            }
            case MDB_BINARY:
                sqlite3_bind_blob(st, p, text, len, SQLITE_TRANSIENT);
                break;
            default:
                sqlite3_bind_text(st, p, text, len, SQLITE_TRANSIENT);
                break;
            }
        }
        if (sqlite3_step(st) != SQLITE_DONE) throw EDatabaseError(sqlite3_errmsg(db));
        sqlite3_reset(st);
    }
    // The reader goes on past a value it cannot read, and stops quietly at a page it cannot
    // read: what it said, or a short count, is damage.
    if (std::string said = messages.TakeDamage(); !said.empty())
        throw EDatabaseError("the table " + name + " cannot be read (" + said + ")");
    if (copied != table->num_rows)
        throw damaged(
            Format("holds %d rows, %d of them could be read",
                   {static_cast<long long>(table->num_rows), static_cast<long long>(copied)}));
}

void BuildCopy(const std::string& jetPath, const std::string& target) {
    // Chinese Jet 3 archives hold GBK text; mdbtools reads Jet 3 text in this code page.
    setenv("MDB_JET3_CHARSET", "CP936", 0);
    ReaderMessages messages;
    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(jetPath.c_str(), MDB_NOFLAGS));
    if (!mdb) throw EDatabaseError("Unrecognized database format '" + jetPath + "'.");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw EDatabaseError("Unrecognized database format '" + jetPath + "'.");
    if (std::string said = messages.TakeDamage(); !said.empty())
        throw EDatabaseError("The database '" + jetPath +
                             "' is damaged: its list of tables cannot be read (" + said + ").");
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");
    mdb_set_boolean_fmt_numbers(mdb.get());

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(target.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        std::string msg = raw ? sqlite3_errmsg(raw) : "out of memory";
        sqlite3_close(raw);
        throw EDatabaseError("Cannot create the database copy '" + target + "': " + msg);
    }
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry)) continue;
        if (!*entry->object_name)
            throw EDatabaseError("The database '" + jetPath +
                                 "' is damaged: its list of tables holds a table with no name.");
        // Most tables fit the first bind size; one with longer memos is read again with more.
        for (std::size_t bind = kBindSize;; bind *= 8) {
            mdb_set_bind_size(mdb.get(), bind);
            messages.TakeDamage(); // what an earlier attempt said is said again if it still holds
            try {
                CopyTable(mdb.get(), entry, db.get(), messages);
                break;
            } catch (const TextTooLong&) {
                if (bind >= kMaxBindSize)
                    throw EDatabaseError(std::string("The table ") + entry->object_name +
                                         " holds a text longer than this program reads (" +
                                         std::to_string(kMaxBindSize >> 20) + " MB).");
                Exec(db.get(), "DROP TABLE " + QuoteIdent(entry->object_name));
            } catch (const EDatabaseError& e) {
                throw EDatabaseError("The database '" + jetPath + "' is damaged: " + e.Message() +
                                     ".");
            }
        }
    }
    Exec(db.get(), "COMMIT");
}

} // namespace

TDbFileKind SniffDatabaseFile(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return TDbFileKind::Missing;
    std::string head = ReadHead(path, 32);
    if (head.size() >= 16 && head.compare(0, 16, std::string("SQLite format 3\0", 16)) == 0)
        return TDbFileKind::SQLite;
    if (head.size() >= 0x15 && (head.compare(4, 15, "Standard Jet DB") == 0 ||
                                head.compare(4, 15, "Standard ACE DB") == 0)) {
        std::uint8_t version = static_cast<std::uint8_t>(head[0x14]);
        if (version == 0) return TDbFileKind::Jet3;
        if (version == 1) return TDbFileKind::Jet4;
        return TDbFileKind::Ace;
    }
    return TDbFileKind::Unknown;
}

std::string ReadJetPassword(const std::string& path) {
    std::string head = ReadHead(path, 0x80);
    if (head.size() < 0x80) throw EDatabaseError("Unrecognized database format '" + path + "'.");
    auto* page = reinterpret_cast<std::uint8_t*>(head.data());
    const bool jet3 = page[0x14] == 0;
    const std::uint8_t key[4] = {0xc7, 0xda, 0x39, 0x6b}; // 0x6b39dac7, little-endian
    Rc4(key, 4, page + 0x18, 0x80 - 0x18);
    if (jet3) {
        std::string pw(reinterpret_cast<char*>(page + 0x42), 20);
        pw.resize(std::strlen(pw.c_str()));
        return CodePageToUtf8Lossy(pw);
    }
    // Jet 4 masks the 40 password bytes once more with the creation date's whole days.
    double created;
    std::memcpy(&created, page + 0x72, sizeof created);
    // The date comes from the file: a damaged header may hold anything, and converting an
    // out-of-range double to an integer is undefined.
    if (!(created > -2147483648.0 && created < 2147483648.0))
        throw EDatabaseError("Unrecognized database format '" + path + "'.");
    std::int32_t days = static_cast<std::int32_t>(created);
    std::uint8_t mask[4];
    std::memcpy(mask, &days, 4);
    std::u16string pw;
    for (int i = 0; i < 40; i += 2) {
        char16_t c = static_cast<char16_t>((page[0x42 + i] ^ mask[i % 4]) |
                                           ((page[0x43 + i] ^ mask[(i + 1) % 4]) << 8));
        if (c == 0) break;
        pw += c;
    }
    try {
        return Utf16ToUtf8(pw);
    } catch (const Exception&) {
        throw EDatabaseError("Unrecognized database format '" + path + "'.");
    }
}

std::string JetCacheFolder() {
    if (const char* dir = std::getenv("LUMETRA_CACHE_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/lumetra";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/lumetra";
}

std::string JetCacheFile(const std::string& path) {
    std::error_code ec;
    fs::path abs = fs::absolute(path, ec);
    struct stat st {};
    if (::stat(abs.c_str(), &st) != 0) throw EDatabaseError("Could not find file '" + path + "'.");
    const std::string pathKey = Hex(Fnv1a(abs.string()));
    const std::string stateKey = Hex(
        Fnv1a(Format("%d|%d|%d|%d",
                     {static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
                      static_cast<long long>(st.st_mtim.tv_nsec), kCacheFormat})));
    const fs::path folder = JetCacheFolder();
    const fs::path file = folder / ("jet-" + pathKey + "-" + stateKey + ".sqlite");
    if (fs::is_regular_file(file, ec)) return file.string();

    fs::create_directories(folder, ec);
    if (ec)
        throw EDatabaseError("Cannot create the cache folder '" + folder.string() +
                             "': " + ec.message());
    std::random_device rd;
    const fs::path temp =
        folder / ("jet-" + pathKey + ".tmp" + std::to_string(::getpid()) + "-" + Hex(rd()));
    try {
        BuildCopy(abs.string(), temp.string());
    } catch (...) {
        fs::remove(temp, ec);
        throw;
    }
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw EDatabaseError("Cannot store the database copy '" + file.string() +
                             "': " + ec.message());
    }
    // Copies of earlier states of the same file are stale now.
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::string name = e.path().filename().string();
        if (name.rfind("jet-" + pathKey + "-", 0) == 0 && e.path() != file)
            fs::remove(e.path(), ec);
    }
    return file.string();
}
