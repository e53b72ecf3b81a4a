// Files, folders and paths.
#include "platform/core/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/exception.h"
#include "platform/core/text.h"

namespace {

bool isDelimiter(char c) {
    return c == '\\' || c == '/';
}

bool hasDrive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool isUnc(std::string_view path) {
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

// Index of the last path separator (or the drive colon), npos when none.
std::size_t lastDelimiter(std::string_view path, bool withDot) {
    for (std::size_t i = path.size(); i-- > 0;) {
        const char c = path[i];
        if (isDelimiter(c) || (withDot && c == '.') || (i == 1 && c == ':' && hasDrive(path)))
            return i;
    }
    return std::string_view::npos;
}

bool statPath(std::string_view path, struct stat& st) {
    const std::string native = ToNativePath(path);
    return !native.empty() && ::stat(native.c_str(), &st) == 0;
}

std::int64_t daysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// File times as the class library shows them: days since 1899-12-30 in local time.
TDateTime toDateTime(const timespec& ts) {
    struct tm local {};
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    const std::int64_t days =
        daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday)) -
        daysFromCivil(1899, 12, 30);
    const long ms = ts.tv_nsec / 1000000;
    const double dayFraction =
        ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec + ms / 1000.0) / 86400.0;
    return static_cast<double>(days) + dayFraction;
}

std::string joinPath(const std::string& base, std::string_view name) {
    if (base.empty()) return std::string(name);
    std::string out = base;
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

// Case-insensitive name order, ties broken by the exact bytes, so listings are stable.
bool nameLess(const std::string& a, const std::string& b) {
    const int c = AnsiCompareText(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::vector<std::string> listFolder(const std::string& native, bool& opened) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(native.empty() ? "." : native.c_str());
    opened = dir != nullptr;
    if (dir == nullptr) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

// Code points with letter case folded, for mask matching.
std::u32string foldedCodePoints(std::string_view s) {
    const std::string upper = AnsiUpperCase(s);
    std::u32string out;
    out.reserve(upper.size());
    for (std::size_t i = 0; i < upper.size();) {
        const auto b = static_cast<unsigned char>(upper[i]);
        std::size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (i + len > upper.size()) len = 1;
        char32_t cp = len == 1 ? b : (b & (0xFF >> (len + 1)));
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(upper[i + k]) & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

} // namespace

struct TSearchState {
    std::vector<TSearchRec> entries;
    std::size_t next = 0;
};

std::string ToNativePath(std::string_view path) {
    if (hasDrive(path) || isUnc(path)) return {};
    std::string out(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool FileExists(std::string_view path) {
    struct stat st;
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(std::string_view path) {
    const std::string native = ToNativePath(path);
    return !native.empty() && !DirectoryExists(native) && ::unlink(native.c_str()) == 0;
}

bool RenameFile(std::string_view oldName, std::string_view newName) {
    const std::string from = ToNativePath(oldName);
    const std::string to = ToNativePath(newName);
    if (from.empty() || to.empty()) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot refuse to replace by itself.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateDir(std::string_view dir) {
    const std::string native = ToNativePath(dir);
    return !native.empty() && ::mkdir(native.c_str(), 0777) == 0;
}

bool RemoveDir(std::string_view dir) {
    const std::string native = ToNativePath(dir);
    return !native.empty() && ::rmdir(native.c_str()) == 0;
}

bool ForceDirectories(std::string_view dir) {
    if (dir.empty()) throw EInOutError("Unable to create directory");
    const std::string native = ToNativePath(dir);
    if (native.empty()) return false;
    std::string path;
    std::size_t p = 0;
    if (native[0] == '/') {
        path = "/";
        p = 1;
    }
    while (p < native.size()) {
        std::size_t end = native.find('/', p);
        if (end == std::string::npos) end = native.size();
        if (end > p) {
            path = joinPath(path, std::string_view(native).substr(p, end - p));
            if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
        p = end + 1;
    }
    return DirectoryExists(native);
}

std::string GetCurrentDir() {
    std::string buf(PATH_MAX, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE)
            throw EOSError(std::string("Cannot read the current folder. ") + std::strerror(errno));
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

bool FileAge(std::string_view path, TDateTime& result) {
    struct stat st;
    if (!statPath(path, st) || S_ISDIR(st.st_mode)) return false;
    result = toDateTime(st.st_mtim);
    return true;
}

bool FileCreationTime(std::string_view path, TDateTime& result) {
    const std::string native = ToNativePath(path);
    if (native.empty()) return false;
    struct statx sx {};
    if (::statx(AT_FDCWD, native.c_str(), 0, STATX_TYPE | STATX_MTIME | STATX_BTIME, &sx) != 0 ||
        S_ISDIR(sx.stx_mode))
        return false;
    const statx_timestamp& t = (sx.stx_mask & STATX_BTIME) != 0 ? sx.stx_btime : sx.stx_mtime;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t.tv_sec);
    ts.tv_nsec = static_cast<long>(t.tv_nsec);
    result = toDateTime(ts);
    return true;
}

std::int64_t FileSize(std::string_view path) {
    struct stat st;
    if (!statPath(path, st) || S_ISDIR(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::string ReadFileBytes(std::string_view path) {
    const std::string native = ToNativePath(path);
    auto openError = [&](int err) {
        return EFOpenError("Cannot open file \"" + std::string(path) + "\". " + std::strerror(err));
    };
    if (native.empty()) throw openError(ENOENT);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw openError(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw openError(err);
    }
    std::string bytes;
    bytes.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 4096);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw EReadError("Cannot read file \"" + std::string(path) + "\". " +
                             std::strerror(err));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(used);
    return bytes;
}

// ---- path text ---------------------------------------------------------------------------------

std::string ExtractFilePath(std::string_view path) {
    const std::size_t i = lastDelimiter(path, false);
    return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileDir(std::string_view path) {
    std::size_t i = lastDelimiter(path, false);
    if (i == std::string_view::npos) return {};
    // Drop the separator unless it is the root ("/", "C:\") or one of a run ("\\server").
    if (i > 0 && isDelimiter(path[i]) && !isDelimiter(path[i - 1]) && !(i == 2 && hasDrive(path)))
        return std::string(path.substr(0, i));
    return std::string(path.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view path) {
    const std::size_t i = lastDelimiter(path, false);
    return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const std::size_t i = lastDelimiter(path, true);
    if (i == std::string_view::npos || path[i] != '.') return {};
    return std::string(path.substr(i));
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    std::size_t i = lastDelimiter(path, true);
    if (i == std::string_view::npos || path[i] != '.') i = path.size();
    std::string out(path.substr(0, i));
    out += extension;
    return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.empty() || !isDelimiter(out.back())) out += '/';
    return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.size() > 1 && isDelimiter(out.back())) out.pop_back();
    return out;
}

std::string ExpandFileName(std::string_view path) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    std::string prefix;
    std::string_view rest = s;
    if (hasDrive(s)) {
        prefix = s.substr(0, 2) + "/";
        rest.remove_prefix(2);
    } else if (s.size() >= 2 && s[0] == '/' && s[1] == '/') {
        prefix = "//";
    } else if (!s.empty() && s[0] == '/') {
        prefix = "/";
    } else {
        const std::string cwd = GetCurrentDir();
        s = cwd + "/" + s;
        prefix = "/";
        rest = s;
    }
    std::vector<std::string_view> parts;
    std::size_t p = 0;
    while (p <= rest.size()) {
        std::size_t end = rest.find('/', p);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view part = rest.substr(p, end - p);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        p = end + 1;
    }
    std::string out = prefix;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) out += '/';
        out += parts[k];
    }
    if (!parts.empty() && !path.empty() && isDelimiter(path.back())) out += '/';
    return out;
}

std::string ResolveFileCase(std::string_view path) {
    const std::string native = ToNativePath(path);
    if (native.empty()) return {};
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0) return native;
    std::string resolved;
    std::size_t p = 0;
    if (native[0] == '/') {
        resolved = "/";
        p = 1;
    }
    while (p < native.size()) {
        std::size_t end = native.find('/', p);
        if (end == std::string::npos) end = native.size();
        const std::string_view part = std::string_view(native).substr(p, end - p);
        p = end + 1;
        if (part.empty()) continue;
        const std::string exact = joinPath(resolved, part);
        if (::lstat(exact.c_str(), &st) == 0) {
            resolved = exact;
            continue;
        }
        bool opened;
        const std::vector<std::string> names = listFolder(resolved, opened);
        const std::string* best = nullptr;
        for (const std::string& name : names)
            if (AnsiSameText(name, part) && (best == nullptr || name < *best)) best = &name;
        if (best == nullptr) return {};
        resolved = joinPath(resolved, *best);
    }
    return resolved;
}

// Iterative wildcard match: on a mismatch, the last "*" takes one more character.
bool MatchesMask(std::string_view name, std::string_view mask) {
    const std::u32string n = foldedCodePoints(name);
    const std::u32string m = foldedCodePoints(mask);
    std::size_t i = 0;
    std::size_t j = 0;
    std::size_t star = std::u32string::npos;
    std::size_t resume = 0;
    while (i < n.size()) {
        if (j < m.size() && (m[j] == U'?' || m[j] == n[i])) {
            ++i;
            ++j;
        } else if (j < m.size() && m[j] == U'*') {
            star = j++;
            resume = i;
        } else if (star != std::u32string::npos) {
            j = star + 1;
            i = ++resume;
        } else {
            return false;
        }
    }
    while (j < m.size() && m[j] == U'*')
        ++j;
    return j == m.size();
}

// ---- searching ---------------------------------------------------------------------------------

namespace {

constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorNoMoreFiles = 18;

int fillNext(TSearchRec& rec) {
    TSearchState* state = rec.FindHandle.get();
    if (state == nullptr || state->next >= state->entries.size()) return kErrorNoMoreFiles;
    const TSearchRec& e = state->entries[state->next++];
    rec.Time = e.Time;
    rec.Size = e.Size;
    rec.Attr = e.Attr;
    rec.Name = e.Name;
    return 0;
}

} // namespace

int FindFirst(std::string_view path, int attr, TSearchRec& rec) {
    FindClose(rec);
    std::string folder = ToNativePath(ExtractFilePath(path));
    std::string mask = ExtractFileName(path);
    if (hasDrive(path) || isUnc(path)) return kErrorPathNotFound;
    if (mask == "*.*") mask = "*";
    if (!folder.empty() && !DirectoryExists(folder)) {
        folder = ResolveFileCase(folder);
        if (folder.empty()) return kErrorPathNotFound;
    }
    bool opened;
    const std::vector<std::string> names = listFolder(folder, opened);
    if (!opened) return kErrorPathNotFound;
    auto state = std::make_shared<TSearchState>();
    const int excluded = ~attr & (faHidden | faDirectory);
    for (const std::string& name : names) {
        if (!MatchesMask(name, mask)) continue;
        const std::string full = joinPath(folder, name);
        struct stat st;
        if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0)
            continue; // vanished meanwhile
        TSearchRec e;
        e.Name = name;
        if (S_ISDIR(st.st_mode)) e.Attr |= faDirectory;
        if (name[0] == '.') e.Attr |= faHidden;
        if ((st.st_mode & S_IWUSR) == 0) e.Attr |= faReadOnly;
        if ((e.Attr & excluded) != 0) continue;
        e.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
        e.Time = toDateTime(st.st_mtim);
        state->entries.push_back(std::move(e));
    }
    std::sort(state->entries.begin(), state->entries.end(),
              [](const TSearchRec& a, const TSearchRec& b) { return nameLess(a.Name, b.Name); });
    if (state->entries.empty()) return kErrorFileNotFound;
    rec.ExcludeAttr = excluded;
    rec.FindHandle = std::move(state);
    return fillNext(rec);
}

int FindNext(TSearchRec& rec) {
    return fillNext(rec);
}

void FindClose(TSearchRec& rec) {
    rec.FindHandle.reset();
}

std::vector<std::string> FindFiles(std::string_view folder, std::string_view mask) {
    std::vector<std::string> names;
    TSearchRec rec;
    int r = FindFirst(IncludeTrailingPathDelimiter(folder) + std::string(mask), faReadOnly, rec);
    while (r == 0) {
        names.push_back(rec.Name);
        r = FindNext(rec);
    }
    FindClose(rec);
    return names;
}

std::string ExecutableDir() {
    std::string buf(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        throw EOSError(std::string("Cannot find the program's folder. ") + std::strerror(errno));
    buf.resize(static_cast<std::size_t>(n));
    return ExtractFileDir(buf);
}

std::string GetTempDir() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    return ExcludeTrailingPathDelimiter(dir);
}
