// POSIX side of the store's file primitives.
#include "store/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>

namespace varnholt::standin {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now, reporting the result (close can report a failed write-back).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

FileIdentity FromStat(const struct stat& st) {
    FileIdentity id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

// Opens without blocking on a FIFO or a device; only a regular file is kept.
int OpenRegular(const std::string& path, int flags, struct stat& st) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// Where a chain of links ends: the file that a write through path replaces. None for a loop.
std::optional<std::string> FinalTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0) return std::nullopt;
        target.resize(static_cast<size_t>(n));
        if (target[0] != '/' && !ParentFolder(path).empty()) target = ParentFolder(path) + "/" + target;
        path = std::move(target);
    }
    return std::nullopt;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        FileIdentity id;
        id.failed = errno != ENOENT;
        return id;
    }
    return FromStat(st);
}

ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity) {
    content.clear();
    identity = {};
    struct stat st {};
    FileDescriptor fd(OpenRegular(path, O_RDONLY, st));
    if (fd.Get() < 0) return errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    if (st.st_size > kLargestFile) return ReadOutcome::kFailed;
    content.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadOutcome::kFailed;
        }
        if (n == 0) break;
        content.append(chunk, static_cast<size_t>(n));
        if (static_cast<int64_t>(content.size()) > kLargestFile) return ReadOutcome::kFailed;
    }
    identity = FromStat(st);
    identity.size = static_cast<int64_t>(content.size());
    return ReadOutcome::kRead;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileIdentity* written) {
    const std::optional<std::string> target = FinalTarget(path);
    if (!target) return false;
    const std::string temporary = *target + ".tmp";
    // What lies at the temporary's name is a leftover of a killed writer, or worse a FIFO that
    // an open would wait on: remove it and create the file afresh.
    ::unlink(temporary.c_str());
    struct stat st {};
    FileDescriptor fd(OpenRegular(temporary, O_WRONLY | O_CREAT | O_EXCL, st));
    if (fd.Get() < 0) return false;
    if (!WriteAll(fd.Get(), content) || ::fsync(fd.Get()) != 0 || ::fstat(fd.Get(), &st) != 0 || !fd.Close()) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), target->c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself survives a power cut only once the folder is flushed too.
    const std::string folder = ParentFolder(*target);
    FileDescriptor folderFd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.Get() >= 0) ::fsync(folderFd.Get());
    if (written) *written = FromStat(st);
    return true;
}

ExclusiveLock::ExclusiveLock(const std::string& lockPath) {
    struct stat st {};
    const int fd = OpenRegular(lockPath, O_RDWR | O_CREAT, st);
    if (fd < 0) return;
    native_ = fd;
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return;
    held_ = true;
}

ExclusiveLock::~ExclusiveLock() {
    if (native_ >= 0) ::close(static_cast<int>(native_));
}

bool AppendRecord(const std::string& path, std::string_view record) {
    struct stat st {};
    FileDescriptor fd(OpenRegular(path, O_RDWR | O_APPEND, st));
    if (fd.Get() < 0) return false;
    while (::flock(fd.Get(), LOCK_EX) != 0)
        if (errno != EINTR) return false;
    if (::fstat(fd.Get(), &st) != 0) return false;
    const off_t end = st.st_size;
    char last = '\n';
    if (end > 0 && ::pread(fd.Get(), &last, 1, end - 1) != 1) return false;
    // A record torn by a writer that died or could not cut back must not swallow this one.
    std::string line;
    if (last != '\n') line += '\n';
    line += record;
    ssize_t n;
    do n = ::write(fd.Get(), line.data(), line.size());
    while (n < 0 && errno == EINTR);
    // Cut short (a full disk): back to whole records. Should that fail too, the next record
    // still starts on a line of its own (above).
    const bool whole = n == static_cast<ssize_t>(line.size());
    if (n > 0 && !whole && ::ftruncate(fd.Get(), end) != 0) return false;
    return whole;
}

}  // namespace varnholt::standin
