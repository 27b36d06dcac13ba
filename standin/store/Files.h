#pragma once
// File primitives of the store: identity for change detection, whole-file reads, atomic
// replacement and an exclusive lock shared between processes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace varnholt::standin {

// What stat says about a file: enough to notice any replacement or growth without reading it.
// failed: the file may exist but cannot be examined (a folder on the way not searchable or not
// a folder, a loop of links), which is not the same as its absence.
struct FileIdentity {
    bool exists = false;
    bool failed = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentifyFile(const std::string& path);

enum class ReadOutcome { kRead, kMissing, kFailed };

// No file of the engine comes near this; a larger one, or an endless device, is refused rather
// than read into memory.
inline constexpr int64_t kLargestFile = 64 << 20;

// The whole file, and the identity of exactly the file that was read. Only a regular file of
// at most kLargestFile bytes is read: a FIFO or a device in its place fails, and never blocks.
ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity);

// Replaces path with content through a temporary beside it (path + ".tmp"), flushed to disk
// before the rename, so readers see the old file or the new one and never a part. A path that
// is a link is followed: its target is replaced and the link kept. The caller holds the lock
// that guards path: the temporary's name is fixed, and whatever lies there is removed first.
// written (if given) receives the new file's identity.
bool ReplaceFileContent(const std::string& path, std::string_view content, FileIdentity* written = nullptr);

// An exclusive lock (flock, LockFileEx) on a lock file (created if missing), released when the object goes.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const std::string& lockPath);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    bool Held() const { return held_; }

private:
    intptr_t native_ = -1;  // a descriptor on POSIX, a HANDLE on Windows
    bool held_ = false;
};

// Appends one record (a line ending in "\n") with one write to a regular file that exists
// already, under a lock on the file itself. The record starts on a line of its own even after
// a torn one, and a write that fails partway is cut back, so a reader sees whole records only.
// False when the file is missing or no regular file, or the write fails.
bool AppendRecord(const std::string& path, std::string_view record);

// The folder part of a path ("" for a bare name); "/" and, on Windows, "\\" separate.
std::string ParentFolder(const std::string& path);

// The store keeps paths as UTF-8; these cross to and from the file system's own form.
std::filesystem::path NativePath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace varnholt::standin
