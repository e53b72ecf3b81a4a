#pragma once
// Atomic file writing and temporary files. Every writer of a file that must never be left
// half-written (settings, templates, exports) goes through TSafeFileWriter.

#include <string>
#include <string_view>

#include "platform/core/stream.h"

// The folder for temporary files: $TMPDIR when set and not empty, else /tmp.
std::string TempFolder();

// Creates a new, empty, uniquely named file "<prefix>XXXXXX" in TempFolder() and returns its
// full path; the caller deletes it. Raises EFCreateError when the folder refuses.
std::string MakeTempFile(std::string_view prefix);

// Writes to a temporary file in the target's folder; Commit() flushes it to the disk and renames
// it over the target, so readers see either the old file or the complete new one. Destroying the
// writer without a successful Commit() deletes the temporary file and leaves the target as it
// was. A symbolic link as target is followed: the file it points to is replaced, the link stays.
// The new file keeps the permission bits of the file it replaces (new files: 0666 less umask).
class TSafeFileWriter : public TStream {
public:
    // Raises EFCreateError "Cannot create file \"target\". reason" when the temporary file cannot
    // be made (missing or read-only folder, a path through a regular file).
    explicit TSafeFileWriter(const std::string& fileName);
    ~TSafeFileWriter() override;
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Raises EWriteError with the system's reason; after a failure the writer can only be
    // discarded.
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t size) override;

    // fsync, rename over the target, fsync the folder. Raises EWriteError on failure (the target
    // is then untouched and the temporary file is gone).
    void Commit();
    // Drops the temporary file now (the destructor does the same).
    void Discard();

    const std::string& FileName() const { return fileName_; }
    const std::string& TempFileName() const { return tempName_; }

private:
    std::string fileName_; // as given
    std::string target_;   // after following symbolic links
    std::string tempName_;
    int fd_ = -1;
};

// Writes data to fileName through a TSafeFileWriter.
void WriteFileAtomically(const std::string& fileName, std::string_view data);

// For tests only: when errorNumber is not 0, every TSafeFileWriter write and commit fails with
// that errno (ENOSPC simulates a full disk) until it is set back to 0.
void SetSafeFileFailureForTesting(int errorNumber);
