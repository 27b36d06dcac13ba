// Windows side of the store's file primitives: wide calls on the UTF-8 paths, handles shared
// for delete so that a reader never blocks a writer's replace.
#include <windows.h>

#include <memory>

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

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return {};
    FileIdentity id;
    Fill(id, info.ftCreationTime, info.ftLastWriteTime, info.nFileSizeHigh, info.nFileSizeLow);
    return id;
}

ReadOutcome ReadFileContent(const std::string& path, std::string& content, FileIdentity& identity) {
    content.clear();
    identity = {};
    const Handle handle = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (!Valid(handle)) return IsMissing(::GetLastError()) ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    FileIdentity id;
    if (!Identify(handle.get(), id)) return ReadOutcome::kFailed;
    content.reserve(static_cast<size_t>(id.size));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle.get(), chunk, sizeof chunk, &got, nullptr)) return ReadOutcome::kFailed;
        if (got == 0) break;
        content.append(chunk, got);
    }
    identity = id;
    identity.size = static_cast<int64_t>(content.size());
    return ReadOutcome::kRead;
}

bool ReplaceFileContent(const std::string& path, std::string_view content, FileIdentity* written) {
    const std::string temporary = path + ".tmp";
    FileIdentity id;
    {
        const Handle handle = Open(temporary, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
        if (!Valid(handle)) return false;
        if (!WriteAll(handle.get(), content) || !::FlushFileBuffers(handle.get()) || !Identify(handle.get(), id)) {
            ::DeleteFileW(Wide(temporary).c_str());
            return false;
        }
    }
    if (!::MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
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

bool AppendToExistingFile(const std::string& path, std::string_view data) {
    const Handle handle = Open(path, FILE_APPEND_DATA, OPEN_EXISTING);
    return Valid(handle) && WriteAll(handle.get(), data);
}

}  // namespace varnholt::standin
