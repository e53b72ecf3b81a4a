#pragma once
// Files, folders and paths. Stored paths come from Windows: "\" and "/" both separate
// components, and joins write "/". A drive-letter ("D:\img\x.jpg") or UNC ("\\server\share")
// path names nothing on this system: it is simply missing (FileExists false, no error). File
// masks and ResolveFileCase ignore letter case, as the archives were written on Windows.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/date_time.h"

// The path with "/" separators, or "" when it is a drive-letter or UNC path.
std::string ToNativePath(std::string_view path);

bool FileExists(std::string_view path); // true for anything but a folder
bool DirectoryExists(std::string_view path);
bool DeleteFile(std::string_view path); // false for a folder or a missing file
// Deletes a (temporary) file when it goes out of scope, whatever happened in between.
class TScopedFileDeletion {
public:
    explicit TScopedFileDeletion(std::string path) : path_(std::move(path)) {}
    ~TScopedFileDeletion() { DeleteFile(path_); }
    TScopedFileDeletion(const TScopedFileDeletion&) = delete;
    TScopedFileDeletion& operator=(const TScopedFileDeletion&) = delete;

private:
    std::string path_;
};
// Fails (false) when newName exists rather than replacing it.
bool RenameFile(std::string_view oldName, std::string_view newName);
// Creates the folder and any missing parents; true when it exists afterwards. Raises
// EInOutError "Unable to create directory" for an empty name.
bool ForceDirectories(std::string_view dir);
bool CreateDir(std::string_view dir);
bool RemoveDir(std::string_view dir); // empty folders only
std::string GetCurrentDir();
// Last modification time, local time; false when the file is missing.
bool FileAge(std::string_view path, TDateTime& result);
// Creation time, local time: the birth time where the file system keeps one, else the last
// modification time. False when the file is missing or a folder.
bool FileCreationTime(std::string_view path, TDateTime& result);
std::int64_t FileSize(std::string_view path); // -1 when missing
// The whole content. Raises EFOpenError "Cannot open file \"name\". reason" or EReadError.
std::string ReadFileBytes(std::string_view path);

// Path text only; no file system access. The result keeps the separators it was given.
std::string ExtractFilePath(std::string_view path); // up to and with the last separator
std::string ExtractFileDir(std::string_view path);  // the same without it, except at a root
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path); // ".jpg"; "" when there is none
std::string ChangeFileExt(std::string_view path, std::string_view extension);
std::string IncludeTrailingPathDelimiter(std::string_view path); // appends "/" if needed
std::string ExcludeTrailingPathDelimiter(std::string_view path); // "/" itself stays
// Absolute (from the current folder), "." and ".." resolved, "/" separators. A drive-letter
// path keeps its drive.
std::string ExpandFileName(std::string_view path);

// The existing file or folder whose path equals path ignoring letter case, component by
// component (an exact match wins); "" when there is none.
std::string ResolveFileCase(std::string_view path);

// "*" matches any run of characters, "?" one character; letter case is ignored.
bool MatchesMask(std::string_view name, std::string_view mask);

// Attributes of TSearchRec::Attr, as the class library numbers them.
inline constexpr int faReadOnly = 0x01;
inline constexpr int faHidden = 0x02; // names starting with "."
inline constexpr int faDirectory = 0x10;
inline constexpr int faAnyFile = 0x3F;

struct TSearchState;

struct TSearchRec {
    TDateTime Time = 0; // last modification, local time
    std::int64_t Size = 0;
    int Attr = 0;
    std::string Name;
    int ExcludeAttr = 0;
    std::shared_ptr<TSearchState> FindHandle;
};

// path is a folder and a mask ("D:/img/c*.jpg"; "*.*" matches every name). The folder is found
// ignoring letter case when it does not exist as written. Entries come in name order, "." and
// ".." never; folders and hidden entries only when attr asks for them. Returns 0 when an entry
// was found, else 2 (no match), 3 (no such folder) or 18 (no more entries, from FindNext).
int FindFirst(std::string_view path, int attr, TSearchRec& rec);
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);

// Names of the files (not folders, not hidden) in folder matching mask, sorted ignoring case.
std::vector<std::string> FindFiles(std::string_view folder, std::string_view mask);

// The folder of the running program, without a trailing separator.
std::string ExecutableDir();
// $TMPDIR when set and not empty, else /tmp; without a trailing separator.
std::string GetTempDir();
