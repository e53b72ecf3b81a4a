#include "report/file_utils.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/core/files.h"
#include "platform/core/text.h"

namespace fs = std::filesystem;

namespace {

void removeTree(const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const fs::path& entry : entries) {
        std::error_code typeError;
        if (fs::is_directory(fs::symlink_status(entry, typeError)))
            removeTree(entry);
        else
            fs::remove(entry, typeError);
    }
    fs::remove(folder, ec);
}

} // namespace

void RemoveFolderTree(const std::string& folder) {
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(fs::symlink_status(folder, ec))) return;
    removeTree(folder);
}

std::string LookupMimeTypeIn(std::string_view table, std::string_view extension) {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    if (extension.empty()) return {};
    std::string found;
    std::size_t pos = 0;
    while (pos < table.size()) {
        std::size_t end = table.find('\n', pos);
        if (end == std::string_view::npos) end = table.size();
        std::string_view line = table.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line.front() == '#') continue;
        std::vector<std::string_view> words;
        std::size_t w = 0;
        while (w < line.size()) {
            while (w < line.size() && (line[w] == ' ' || line[w] == '\t' || line[w] == '\r'))
                ++w;
            std::size_t start = w;
            while (w < line.size() && line[w] != ' ' && line[w] != '\t' && line[w] != '\r')
                ++w;
            if (w > start) words.push_back(line.substr(start, w - start));
        }
        for (std::size_t i = 1; i < words.size(); ++i)
            if (SameText(words[i], extension)) {
                found = std::string(words[0]);
                break;
            }
    }
    return found;
}

std::string LookupMimeType(std::string_view extension) {
    std::string result;
    const char* home = std::getenv("HOME");
    for (const std::string& file : {std::string("/etc/mime.types"),
                                    home ? std::string(home) + "/.mime.types" : std::string()}) {
        if (file.empty() || !FileExists(file)) continue;
        std::string type;
        try {
            type = LookupMimeTypeIn(ReadFileBytes(file), extension);
        } catch (const std::exception&) {
            continue; // an unreadable table knows nothing
        }
        if (!type.empty()) result = type;
    }
    return result;
}
