#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "platform/FileSystem.h"
#include "platform/drivetable/DriveTable.h"
#include "platform/posix/FileDescriptor.h"
#include "varnholt/Error.h"
#include "varnholt/String.h"

namespace varnholt::platform {
namespace {

int32_t NumberOf(int err) {
    switch (err) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EEXIST: return kFileAlreadyExists;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kDiskFull;
        case EIO: return kDeviceIo;
        case EMFILE:
        case ENFILE: return kTooManyFiles;
        case ENOMEM: return kOutOfMemory;
        case EBUSY:
        case ETXTBSY: return kPermissionDenied;
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
        case EISDIR:
        case EILSEQ: return kBadFileName;
        default: return kPathFileAccess;  // EACCES, EPERM, EROFS and the rest
    }
}

// Both flavours of strerror_r: GNU returns the text, XSI fills the buffer.
[[maybe_unused]] const char* ReasonText(int result, const char* buffer) {
    return result == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char* ReasonText(const char* text, const char*) { return text; }

std::string Reason(int err) {
    char buffer[256] = {};
    return ReasonText(strerror_r(err, buffer, sizeof buffer), buffer);
}

[[noreturn]] void RaiseSearchError(int err) { Raise(NumberOf(err), kRuntimeSource, RuntimeErrorText(NumberOf(err))); }

// "Path not found: cannot create C:\Dict\File.ddf (No such file or directory)".
[[noreturn]] void RaiseFileError(int32_t number, const String& action, const String& path, const std::string& reason) {
    Raise(number, kRuntimeSource,
          RuntimeErrorText(number) + u": " + action + u" " + path + u" (" + FromUtf8(reason) + u")");
}

[[noreturn]] void RaiseErrno(int err, const String& action, const String& path) {
    RaiseFileError(NumberOf(err), action, path, Reason(err));
}

constexpr char kNoSuchDrive[] = "no such drive or share";
constexpr char kHoldsNul[] = "the name holds a NUL character";
constexpr char kNotUtf8[] = "the name holds a character that is not UTF-16 text";

// The name as the system takes it, or the reason it cannot be given: the system would read a
// NUL as the name's end, and a lone surrogate has no UTF-8 form.
const char* LocalName(const String& name, std::string& utf8) {
    if (name.find(u'\0') != String::npos) return kHoldsNul;
    return ToUtf8Exact(name, utf8) ? nullptr : kNotUtf8;
}

struct DirTraits {
    using Type = DIR*;
    static DIR* None() { return nullptr; }
    static void Free(DIR* dir) { closedir(dir); }
};
using DirHandle = Handle<DirTraits>;

// close(2)'s result, which for a written file can be the first report of a lost write.
int CloseReporting(FileDescriptor& fd) { return fd ? ::close(fd.Detach()) : 0; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

// A directory entry's name as UCase(FromUtf8(name)) would give it, read in place: an ASCII
// name, as nearly all are, so that a search through a large folder converts nothing.
class AsciiUpperName {
public:
    AsciiUpperName(const char* name, size_t length) : name_(name), length_(length) {}
    size_t size() const { return length_; }
    char16_t operator[](size_t i) const {
        const char c = name_[i];
        return static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    bool HasDot() const { return std::memchr(name_, '.', length_) != nullptr; }

private:
    const char* name_;
    size_t length_;
};

bool HasDot(StringView name) { return name.find(u'.') != StringView::npos; }
bool HasDot(const AsciiUpperName& name) { return name.HasDot(); }

// '*' any run, '?' one character; both texts already in one case. Backtracks to the last star
// only, so no pattern costs more than name length times pattern length.
template <class Name>
bool WildcardMatch(const Name& name, StringView pattern) {
    size_t n = 0, p = 0, star = StringView::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            starName = n;
        } else if (star != StringView::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

// Windows' reading of a pattern: "name.*" also matches a name without any extension, so "*.*"
// means every file.
template <class Name>
bool NameMatches(const Name& upperName, StringView upperPattern) {
    if (WildcardMatch(upperName, upperPattern)) return true;
    return upperPattern.size() >= 2 && upperPattern.substr(upperPattern.size() - 2) == u".*" && !HasDot(upperName) &&
           WildcardMatch(upperName, upperPattern.substr(0, upperPattern.size() - 2));
}

bool EntryMatches(const char* name, StringView upperPattern) {
    size_t length = 0;
    unsigned char bits = 0;
    for (; name[length] != '\0'; ++length) bits |= static_cast<unsigned char>(name[length]);
    if (bits < 0x80) return NameMatches(AsciiUpperName(name, length), upperPattern);
    return NameMatches(StringView(UCase(FromUtf8(name))), upperPattern);
}

bool IsHidden(const char* name) { return name[0] == '.'; }

bool IsRegularEntry(int dirFd, const dirent& entry) {
    if (entry.d_type == DT_REG) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat st {};
    return fstatat(dirFd, entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

std::string JoinLocal(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// folder and last component of a local path ("" folder: the current one).
std::pair<std::string, std::string> SplitLocal(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The existing file that path names, its last component compared in either case, as the
// search compares it; path itself when nothing matches (the caller's call then reports it).
std::string ResolveCase(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return path;
    const auto [folder, name] = SplitLocal(path);
    if (name.empty()) return path;
    DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return path;
    const String wanted = UCase(FromUtf8(name));
    while (const dirent* entry = readdir(dir.Get()))
        if (UCase(FromUtf8(entry->d_name)) == wanted) return JoinLocal(folder, entry->d_name);
    return path;
}

// The temporaries of copies under way, for RemoveCopiesInProgress: fixed slots, as a signal
// handler can neither allocate nor lock. A path too long for a slot is not listed.
struct PendingCopy {
    std::atomic<int> state{0};  // 0 free, 1 being written, 2 listed
    char path[PATH_MAX];
};
PendingCopy gPendingCopies[16];

PendingCopy* ListPending(const std::string& path) {
    if (path.size() >= PATH_MAX) return nullptr;
    for (PendingCopy& slot : gPendingCopies) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state = 2;
        return &slot;
    }
    return nullptr;
}

constexpr char kTemporaryPrefix[] = ".varnholt-copy-";

// ".varnholt-copy-PID-RANDOM.tmp": the owner's process id, 0 for another name.
pid_t TemporaryOwner(const char* name) {
    const size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(name + prefix, &end, 10);
    if (pid <= 0 || end == name + prefix || *end != '-') return 0;
    const size_t length = std::strlen(end);
    if (length < 5 || std::strcmp(end + length - 4, ".tmp") != 0) return 0;
    return static_cast<pid_t>(pid);
}

// A process that was killed while copying into folder left its temporary behind, as large as
// its source; nothing else will ever remove it. Only processes known to be gone lose theirs.
void RemoveStaleTemporaries(const std::string& folder) {
    DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return;
    while (const dirent* entry = readdir(dir.Get())) {
        const pid_t owner = TemporaryOwner(entry->d_name);
        if (owner == 0 || owner == getpid()) continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        if (IsRegularEntry(dirfd(dir.Get()), *entry)) ::unlinkat(dirfd(dir.Get()), entry->d_name, 0);
    }
}

// A hidden temporary file beside the target that disappears unless committed.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, mode_t mode, const String& target) {
        static thread_local std::mt19937_64 random(std::random_device{}());
        RemoveStaleTemporaries(folder);
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[40];
            std::snprintf(suffix, sizeof suffix, "%ld-%016llx", static_cast<long>(getpid()),
                          static_cast<unsigned long long>(random()));
            path_ = JoinLocal(folder, kTemporaryPrefix + std::string(suffix) + ".tmp");
            // Listed before it exists, so a signal right after the open still finds it; the name
            // holds our pid, so an existing file of that name is never another process's.
            pending_ = ListPending(path_);
            fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (fd_) return;
            const int err = errno;
            Unlist();
            errno = err;
            if (errno != EEXIST) break;
        }
        const int err = errno;
        path_.clear();
        // A missing folder is the target's path that is not there.
        if (err == ENOENT) RaiseFileError(kPathNotFound, u"cannot create", target, Reason(err));
        RaiseErrno(err, u"cannot create", target);
    }
    ~TemporaryFile() {
        Unlist();
        fd_.Reset();
        if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Fd() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }
    int Close() { return CloseReporting(fd_); }
    // After the rename: a signal in between finds no file to remove.
    void Commit() {
        committed_ = true;
        Unlist();
    }

private:
    void Unlist() {
        if (pending_) pending_->state = 0;
        pending_ = nullptr;
    }
    std::string path_;
    FileDescriptor fd_;
    PendingCopy* pending_ = nullptr;
    bool committed_ = false;
};

// Gives temporary the name target unless that name exists already.
int RenameNoReplace(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without the flag: a hard link fails on an existing name just as well.
    if (::link(temporary.c_str(), target.c_str()) != 0) return errno;
    ::unlink(temporary.c_str());
    return 0;
}

}  // namespace

void RemoveCopiesInProgress() noexcept {
    for (PendingCopy& slot : gPendingCopies)
        if (slot.state.load() == 2) ::unlink(slot.path);
}

bool FindFirstNormalFile(const String& wanted) {
    std::string pattern;
    if (wanted.empty() || LocalName(wanted, pattern)) return false;
    size_t nameStart = pattern.size();
    while (nameStart > 0 && !IsSeparator(pattern[nameStart - 1])) --nameStart;
    // "X:name" is drive X's folder, then name.
    if (nameStart == 0 && pattern.size() >= 2 && pattern[1] == ':') nameStart = 2;
    const std::string folder = pattern.substr(0, nameStart);
    const std::string name = nameStart == pattern.size() ? std::string("*") : pattern.substr(nameStart);
    if (HasWildcard(folder)) Raise(kBadFileName, kRuntimeSource, RuntimeErrorText(kBadFileName));

    const std::string localFolder = folder.empty() ? "." : DriveTable::Load().ToLocalPath(folder);
    if (localFolder.empty()) return false;

    if (!HasWildcard(name) && !IsHidden(name.c_str())) {
        struct stat st {};
        if (::stat(JoinLocal(localFolder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
    }
    DirHandle dir(opendir(localFolder.c_str()));
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        RaiseSearchError(errno);
    }
    const String upperName = UCase(FromUtf8(name));
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.Get());
        if (!entry) {
            if (errno != 0) RaiseSearchError(errno);
            return false;
        }
        if (IsHidden(entry->d_name) || !EntryMatches(entry->d_name, upperName)) continue;
        if (IsRegularEntry(dirfd(dir.Get()), *entry)) return true;
    }
}

void CopyFile(const String& sourceName, const String& targetName) {
    std::string sourceUtf8, targetUtf8;
    if (const char* why = LocalName(sourceName, sourceUtf8))
        RaiseFileError(kBadFileName, u"cannot open", sourceName, why);
    if (const char* why = LocalName(targetName, targetUtf8))
        RaiseFileError(kBadFileName, u"cannot create", targetName, why);
    const DriveTable table = DriveTable::Load();
    std::string source = table.ToLocalPath(sourceUtf8);
    const std::string target = table.ToLocalPath(targetUtf8);
    if (source.empty()) RaiseFileError(kPathNotFound, u"cannot open", sourceName, kNoSuchDrive);
    if (target.empty()) RaiseFileError(kPathNotFound, u"cannot create", targetName, kNoSuchDrive);
    source = ResolveCase(source);
    const auto [targetFolder, targetLeaf] = SplitLocal(target);
    if (targetLeaf.empty() || targetLeaf == "." || targetLeaf == "..")
        RaiseFileError(kBadFileName, u"cannot create", targetName, "not a file name");

    // Non-blocking, so that a FIFO in the source's place cannot hang the copy.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) RaiseErrno(errno, u"cannot open", sourceName);
    struct stat st {};
    if (fstat(in.Get(), &st) != 0) RaiseErrno(errno, u"cannot open", sourceName);
    if (!S_ISREG(st.st_mode)) RaiseFileError(kPathFileAccess, u"cannot open", sourceName, "not a regular file");

    TemporaryFile copy(targetFolder, st.st_mode & 0777, targetName);
    std::unique_ptr<char[]> buffer(new char[1 << 16]);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.get(), 1 << 16);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) RaiseErrno(errno, u"cannot read", sourceName);
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(copy.Fd(), buffer.get() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) RaiseErrno(errno, u"cannot write", targetName);
            done += put;
        }
    }
    // Like the Windows copy, the target keeps the source's access and modification times.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(copy.Fd(), times);
    if (fsync(copy.Fd()) != 0 || copy.Close() != 0) RaiseErrno(errno, u"cannot write", targetName);
    if (const int err = RenameNoReplace(copy.Path(), target)) RaiseErrno(err, u"cannot create", targetName);
    copy.Commit();
    // The file is complete on disk; syncing its folder makes the new name survive a crash too.
    const char* folderName = targetFolder.empty() ? "." : targetFolder.c_str();
    FileDescriptor folder(::open(folderName, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) fsync(folder.Get());
}

int64_t CreationTime(const String& name) {
    const String action = u"cannot read the creation time of";
    std::string utf8;
    if (const char* why = LocalName(name, utf8)) RaiseFileError(kBadFileName, action, name, why);
    const std::string local = DriveTable::Load().ToLocalPath(utf8);
    if (local.empty()) RaiseFileError(kPathNotFound, action, name, kNoSuchDrive);
    struct statx stx {};
    if (statx(AT_FDCWD, ResolveCase(local).c_str(), AT_STATX_SYNC_AS_STAT, STATX_BTIME, &stx) != 0)
        RaiseErrno(errno, action, name);
    // Some file systems set the flag and leave the time zero: that is no time either.
    if (!(stx.stx_mask & STATX_BTIME) || (stx.stx_btime.tv_sec == 0 && stx.stx_btime.tv_nsec == 0))
        RaiseFileError(kPathFileAccess, action, name, "its file system keeps no creation time");
    constexpr int64_t kNanoseconds = 1000000000;
    // Beyond the year 2262 the count no longer fits; such times stay at the largest one.
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / kNanoseconds - 1;
    const int64_t seconds = std::clamp<int64_t>(stx.stx_btime.tv_sec, -kLimit, kLimit);
    return seconds * kNanoseconds + stx.stx_btime.tv_nsec;
}

}  // namespace varnholt::platform
