// POSIX side of the store's file primitives.
#include "store/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    if (::stat(path.c_str(), &st) != 0) return {};
    return FromStat(st);
}

ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity) {
    content.clear();
    identity = {};
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return ReadOutcome::kFailed;
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
    }
    identity = FromStat(st);
    identity.size = static_cast<int64_t>(content.size());
    return ReadOutcome::kRead;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileIdentity* written) {
    const std::string temporary = path + ".tmp";
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.Get() < 0) return false;
    struct stat st {};
    if (!WriteAll(fd.Get(), content) || ::fsync(fd.Get()) != 0 || ::fstat(fd.Get(), &st) != 0 || !fd.Close()) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself survives a power cut only once the folder is flushed too.
    FileDescriptor folder(::open(ParentFolder(path).empty() ? "." : ParentFolder(path).c_str(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) ::fsync(folder.Get());
    if (written) *written = FromStat(st);
    return true;
}

ExclusiveLock::ExclusiveLock(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    native_ = fd;
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return;
    held_ = true;
}

ExclusiveLock::~ExclusiveLock() {
    if (native_ >= 0) ::close(static_cast<int>(native_));
}

bool AppendToExistingFile(const std::string& path, std::string_view data) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    return fd.Get() >= 0 && WriteAll(fd.Get(), data);
}


}  // namespace varnholt::standin
