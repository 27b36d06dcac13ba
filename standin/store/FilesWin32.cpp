// Windows side of the store's file primitives: wide calls on the UTF-8 paths, handles shared
// for delete so that a reader never blocks a writer's replace.
#include <windows.h>

#include <memory>
#include <optional>

#include "store/Files.h"

namespace varnholt::standin {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return Handle(::CreateFileW(NativePath(path).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr));
}

bool Valid(const Handle& handle) { return handle.get() != INVALID_HANDLE_VALUE; }

std::wstring Wide(const std::string& path) { return NativePath(path).wstring(); }

// FILETIME counts 100 ns from 1601; identities compare times, so any fixed epoch serves,
// but the Unix one keeps them comparable with the clock.
int64_t UnixNanoseconds(const FILETIME& time) {
    const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}

// A file's identity from what both the path query and an open handle report: the system gives
// no file index without opening the file, which under Wine costs a server round trip on every
// call. A replacement shows in the creation time, kept in the inode field.
void Fill(FileIdentity& id, const FILETIME& created, const FILETIME& written, DWORD sizeHigh, DWORD sizeLow) {
    id.exists = true;
    id.inode = static_cast<uint64_t>(UnixNanoseconds(created));
    id.size = (static_cast<int64_t>(sizeHigh) << 32) | sizeLow;
    id.mtimeNs = UnixNanoseconds(written);
}

bool Identify(HANDLE handle, FileIdentity& id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    Fill(id, info.ftCreationTime, info.ftLastWriteTime, info.nFileSizeHigh, info.nFileSizeLow);
    return true;
}

bool WriteAll(HANDLE handle, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(handle, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// Whether a path the system did not find is truly absent: "not found" also answers a path that
// runs through a file (an engine home that is a file), which must not read as "no file".
bool IsAbsent(const std::string& path, DWORD error) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    for (std::string folder = ParentFolder(path); !folder.empty();) {
        const DWORD attributes = ::GetFileAttributesW(Wide(folder).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const DWORD failure = ::GetLastError();
        if (failure != ERROR_FILE_NOT_FOUND && failure != ERROR_PATH_NOT_FOUND) return false;
        const std::string up = ParentFolder(folder);
        if (up == folder) break;
        folder = up;
    }
    return true;
}

// Where a link ends: the file that a write through path replaces. None for a link that leads
// nowhere.
std::optional<std::string> FinalTarget(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
    const Handle handle(
        ::CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!Valid(handle)) return std::nullopt;
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), target.data(), static_cast<DWORD>(target.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < target.size()) {
            target.resize(length);
            return Utf8Path(std::filesystem::path(target));
        }
        target.resize(length);
    }
}

// Holds an exclusive lock on one byte far past the end of any file of ours: appenders queue on
// it, while readers, who never lock, read on.
class AppendLock {
public:
    explicit AppendLock(HANDLE handle) : handle_(handle) {
        at_.OffsetHigh = 0x40000000;
        held_ = ::LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at_) != FALSE;
    }
    ~AppendLock() {
        if (held_) ::UnlockFileEx(handle_, 0, 1, 0, &at_);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE handle_;
    OVERLAPPED at_{};
    bool held_ = false;
};

OVERLAPPED At(int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) {
        FileIdentity id;
        id.failed = !IsAbsent(path, ::GetLastError());
        return id;
    }
    FileIdentity id;
    Fill(id, info.ftCreationTime, info.ftLastWriteTime, info.nFileSizeHigh, info.nFileSizeLow);
    return id;
}

ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity) {
    content.clear();
    identity = {};
    const Handle handle = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (!Valid(handle)) return IsAbsent(path, ::GetLastError()) ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    FileIdentity id;
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK || !Identify(handle.get(), id) || id.size > kLargestFile)
        return ReadOutcome::kFailed;
    content.reserve(static_cast<size_t>(id.size));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle.get(), chunk, sizeof chunk, &got, nullptr)) return ReadOutcome::kFailed;
        if (got == 0) break;
        content.append(chunk, got);
        if (static_cast<int64_t>(content.size()) > kLargestFile) return ReadOutcome::kFailed;
    }
    identity = id;
    identity.size = static_cast<int64_t>(content.size());
    return ReadOutcome::kRead;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileIdentity* written) {
    const std::optional<std::string> target = FinalTarget(path);
    if (!target) return false;
    const std::string temporary = *target + ".tmp";
    FileIdentity id;
    {
        const Handle handle = Open(temporary, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
        if (!Valid(handle)) return false;
        if (::GetFileType(handle.get()) != FILE_TYPE_DISK || !WriteAll(handle.get(), content) ||
            !::FlushFileBuffers(handle.get()) || !Identify(handle.get(), id)) {
            ::DeleteFileW(Wide(temporary).c_str());
            return false;
        }
    }
    if (!::MoveFileExW(Wide(temporary).c_str(), Wide(*target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(Wide(temporary).c_str());
        return false;
    }
    if (written) *written = id;
    return true;
}

ExclusiveLock::ExclusiveLock(const std::string& lockPath) {
    HANDLE handle = ::CreateFileW(NativePath(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    native_ = reinterpret_cast<intptr_t>(handle);
    if (::GetFileType(handle) != FILE_TYPE_DISK) return;
    OVERLAPPED at{};
    held_ = ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
}

ExclusiveLock::~ExclusiveLock() {
    if (native_ == -1) return;
    HANDLE handle = reinterpret_cast<HANDLE>(native_);
    if (held_) {
        OVERLAPPED at{};
        ::UnlockFileEx(handle, 0, 1, 0, &at);
    }
    ::CloseHandle(handle);
}

bool AppendRecord(const std::string& path, std::string_view record) {
    const Handle handle = Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    if (!Valid(handle) || ::GetFileType(handle.get()) != FILE_TYPE_DISK) return false;
    const AppendLock lock(handle.get());
    LARGE_INTEGER size{};
    if (!lock.Held() || !::GetFileSizeEx(handle.get(), &size)) return false;
    const int64_t end = size.QuadPart;
    char last = '\n';
    if (end > 0) {
        OVERLAPPED at = At(end - 1);
        DWORD got = 0;
        if (!::ReadFile(handle.get(), &last, 1, &got, &at) || got != 1) return false;
    }
    // A record torn by a writer that died or could not cut back must not swallow this one.
    std::string line;
    if (last != '\n') line += '\n';
    line += record;
    OVERLAPPED at = At(end);
    DWORD written = 0;
    const bool whole = ::WriteFile(handle.get(), line.data(), static_cast<DWORD>(line.size()), &written, &at) &&
                       written == line.size();
    // Cut short (a full disk): back to whole records. Should that fail too, the next record
    // still starts on a line of its own (above).
    if (!whole && written > 0 &&
        !(::SetFilePointerEx(handle.get(), size, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle.get())))
        return false;
    return whole;
}

}  // namespace varnholt::standin
