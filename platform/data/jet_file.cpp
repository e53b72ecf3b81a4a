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

const char* SqlType(const MdbColumn* col, bool jet3) {
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
        (void)jet3;
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

struct TextTooLong {};

void CopyTable(MdbHandle* mdb, MdbCatalogEntry* entry, sqlite3* db) {
    MdbTableDef* table = mdb_read_table(entry);
    if (!table) throw EDatabaseError(std::string("cannot read the table ") + entry->object_name);
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> guard(table, mdb_free_tabledef);
    mdb_read_columns(table);
    mdb_rewind_table(table);
    const unsigned ncols = table->num_cols;
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;

    std::string create = "CREATE TABLE " + QuoteIdent(table->name) + " (";
    std::string insert = "INSERT INTO " + QuoteIdent(table->name) + " VALUES (";
    std::vector<MdbColumn*> cols(ncols);
    for (unsigned i = 0; i < ncols; ++i) {
        cols[i] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        const char* type = SqlType(cols[i], jet3);
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
        mdb_bind_column(table, static_cast<int>(i) + 1, buffers[i].data(), &lens[i]);

    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw EDatabaseError(sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stGuard(st, sqlite3_finalize);
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
                if (data) {
                    sqlite3_bind_blob(st, p, data, static_cast<int>(size), SQLITE_TRANSIENT);
                    std::free(data);
                } else {
                    sqlite3_bind_null(st, p);
                }
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
    // mdbtools stops quietly at a page it cannot read: a short count means a damaged file.
    if (copied != table->num_rows)
        throw EDatabaseError(
            Format("the table %s holds %d rows, %d of them could be read",
                   {table->name, static_cast<int>(table->num_rows), static_cast<int>(copied)}));
}

void BuildCopy(const std::string& jetPath, const std::string& target) {
    // Chinese Jet 3 archives hold GBK text; mdbtools reads Jet 3 text in this code page.
    setenv("MDB_JET3_CHARSET", "CP936", 0);
    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(jetPath.c_str(), MDB_NOFLAGS));
    if (!mdb) throw EDatabaseError("Unrecognized database format '" + jetPath + "'.");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw EDatabaseError("Unrecognized database format '" + jetPath + "'.");
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
        // Most tables fit the first bind size; one with longer memos is read again with more.
        for (std::size_t bind = kBindSize;; bind *= 8) {
            mdb_set_bind_size(mdb.get(), bind);
            try {
                CopyTable(mdb.get(), entry, db.get());
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
