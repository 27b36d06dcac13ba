#pragma once
// File primitives of the store: identity for change detection, whole-file reads, atomic
// replacement and an exclusive lock shared between processes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace varnholt::standin {

// What stat says about a file: enough to notice any replacement or growth without reading it.
struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentifyFile(const std::string& path);

enum class ReadOutcome { kRead, kMissing, kFailed };

// The whole file, and the identity of exactly the file that was read.
ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity);

// Replaces path with content through a temporary beside it (path + ".tmp"), flushed to disk
// before the rename, so readers see the old file or the new one and never a part. The caller
// holds the lock that guards path: the temporary's name is fixed. written (if given) receives
// the new file's identity.
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

// Appends data in one write to a file that exists already; false when it does not or the
// write fails.
bool AppendToExistingFile(const std::string& path, std::string_view data);

// The folder part of a path ("" for a bare name); "/" and, on Windows, "\\" separate.
std::string ParentFolder(const std::string& path);

// The store keeps paths as UTF-8; these cross to and from the file system's own form.
std::filesystem::path NativePath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace varnholt::standin
