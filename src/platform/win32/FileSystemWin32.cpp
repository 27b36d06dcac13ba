#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>
#include <random>

#include "platform/FileSystem.h"
#include "platform/Handle.h"
#include "platform/win32/SystemMessage.h"
#include "varnholt/Error.h"
#include "varnholt/String.h"

namespace varnholt::platform {
namespace {

int32_t NumberOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return kPathNotFound;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return kFileAlreadyExists;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return kDiskFull;
        case ERROR_NOT_READY: return kDiskNotReady;
        case ERROR_TOO_MANY_OPEN_FILES: return kTooManyFiles;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return kOutOfMemory;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return kPermissionDenied;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY: return kBadFileName;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE: return kDeviceIo;
        default: return kPathFileAccess;  // access denied and the rest
    }
}

// The system's text for error, without its closing period.
String Reason(DWORD error) {
    String reason = win32::SystemMessage(error);
    if (reason.empty()) return FromAnsi("error " + std::to_string(error));
    while (!reason.empty() && (reason.back() == u' ' || reason.back() == u'.')) reason.pop_back();
    return reason;
}

// "Path not found: cannot create C:\Dict\File.ddf (The system cannot find the path specified)".
[[noreturn]] void RaiseFileError(int32_t number, const String& action, const String& path, const String& reason) {
    Raise(number, kRuntimeSource, RuntimeErrorText(number) + u": " + action + u" " + path + u" (" + reason + u")");
}

[[noreturn]] void RaiseFileError(DWORD error, const String& action, const String& path) {
    RaiseFileError(NumberOf(error), action, path, Reason(error));
}

[[noreturn]] void RaiseSearchError(DWORD error) {
    Raise(NumberOf(error), kRuntimeSource, RuntimeErrorText(NumberOf(error)));
}

constexpr char16_t kHoldsNul[] = u"the name holds a NUL character";

// The system would read such a name only up to the NUL, which makes it another name.
bool HoldsNul(const String& name) { return name.find(u'\0') != String::npos; }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

const wchar_t* Wide(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// name as the wide calls take it: the full path in the form that no MAX_PATH limits, so that a
// temporary name beside a target of 259 characters still works. Making the path full does
// what the system does to any name ("..", "/", trailing dots); a device keeps its own form.
std::wstring SystemPath(const String& name) {
    const std::wstring plain(Wide(name), name.size());
    if (plain.starts_with(L"\\\\?\\") || plain.starts_with(L"\\\\.\\")) return plain;
    const DWORD need = GetFullPathNameW(plain.c_str(), 0, nullptr, nullptr);
    if (need == 0) return plain;  // the call on it reports what is wrong
    std::wstring full(need, L'\0');
    const DWORD n = GetFullPathNameW(plain.c_str(), need, full.data(), nullptr);
    if (n == 0 || n >= need) return plain;
    full.resize(n);
    if (full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

struct FileTraits {
    using Type = HANDLE;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
using FileHandle = Handle<FileTraits>;

// CloseHandle's result, which for a written file can be the first report of a lost write.
bool CloseReporting(FileHandle& file) { return !file || CloseHandle(file.Detach()) != FALSE; }

struct FindTraits {
    using Type = HANDLE;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { FindClose(h); }
};
using FindHandle = Handle<FindTraits>;

constexpr DWORD kNotNormal =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
// What a copy takes over from its source, as the system's own copy does.
constexpr DWORD kCarried = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr char16_t kTemporaryPrefix[] = u".varnholt-copy-";

// ".varnholt-copy-PID-RANDOM.tmp": the owner's process id, 0 for another name.
DWORD TemporaryOwner(const wchar_t* name) {
    const size_t prefix = std::size(kTemporaryPrefix) - 1;
    if (wcsncmp(name, reinterpret_cast<const wchar_t*>(kTemporaryPrefix), prefix) != 0) return 0;
    wchar_t* end = nullptr;
    const unsigned long pid = wcstoul(name + prefix, &end, 10);
    if (pid == 0 || end == name + prefix || *end != L'-') return 0;
    const size_t length = wcslen(end);
    if (length < 5 || wcscmp(end + length - 4, L".tmp") != 0) return 0;
    return static_cast<DWORD>(pid);
}

// A process that was killed while copying into folder left its temporary behind, as large as
// its source; nothing else will ever remove it. Only processes known to be gone lose theirs.
void RemoveStaleTemporaries(const String& folder) {
    WIN32_FIND_DATAW data;
    FindHandle search(FindFirstFileW(SystemPath(folder + kTemporaryPrefix + u"*.tmp").c_str(), &data));
    if (!search) return;
    do {
        const DWORD owner = TemporaryOwner(data.cFileName);
        if (owner == 0 || owner == GetCurrentProcessId() || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, owner)) {
            CloseHandle(process);
            continue;
        }
        if (GetLastError() != ERROR_INVALID_PARAMETER) continue;  // alive but out of reach
        const String name(reinterpret_cast<const char16_t*>(data.cFileName));
        DeleteFileW(SystemPath(folder + name).c_str());
    } while (FindNextFileW(search.Get(), &data));
}

// A hidden file beside the target, open for writing, that disappears unless committed. It is
// never read-only, so it can always be removed.
class TemporaryFile {
public:
    TemporaryFile(const String& folder, const String& target) {
        static thread_local std::mt19937_64 random(std::random_device{}());
        RemoveStaleTemporaries(folder);
        DWORD error = ERROR_FILE_EXISTS;
        for (int attempt = 0; attempt < 100 && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
             ++attempt) {
            char suffix[40];
            std::snprintf(suffix, sizeof suffix, "%lu-%016llx", static_cast<unsigned long>(GetCurrentProcessId()),
                          static_cast<unsigned long long>(random()));
            path_ = SystemPath(folder + kTemporaryPrefix + FromAnsi(suffix) + u".tmp");
            handle_.Reset(
                CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
            if (handle_) return;
            error = GetLastError();
        }
        path_.clear();
        RaiseFileError(error, u"cannot create", target);
    }
    ~TemporaryFile() {
        handle_.Reset();
        if (!committed_ && !path_.empty()) DeleteFileW(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    HANDLE Handle() const { return handle_.Get(); }
    const std::wstring& Path() const { return path_; }
    bool Close() { return CloseReporting(handle_); }
    void Commit() { committed_ = true; }

private:
    std::wstring path_;
    FileHandle handle_;
    bool committed_ = false;
};

}  // namespace

// Only the POSIX tool ends on signals; on Windows a later copy into the folder removes what an
// ended program left.
void RemoveCopiesInProgress() noexcept {}

bool FindFirstNormalFile(const String& wanted) {
    if (wanted.empty() || HoldsNul(wanted)) return false;
    String pattern = wanted;
    // The search does not take a bare folder ("C:\Data\"): ask for its contents.
    if (IsSeparator(pattern.back())) pattern += u'*';
    WIN32_FIND_DATAW data;
    FindHandle search(FindFirstFileW(SystemPath(pattern).c_str(), &data));
    if (!search) {
        const DWORD error = GetLastError();
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_NO_MORE_FILES:
            case ERROR_INVALID_DRIVE:
            case ERROR_BAD_NETPATH:
            case ERROR_BAD_NET_NAME: return false;
            default: RaiseSearchError(error);
        }
    }
    do {
        if (!(data.dwFileAttributes & kNotNormal)) return true;
    } while (FindNextFileW(search.Get(), &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) RaiseSearchError(error);
    return false;
}

void CopyFile(const String& sourceName, const String& targetName) {
    if (HoldsNul(sourceName)) RaiseFileError(kBadFileName, u"cannot open", sourceName, kHoldsNul);
    if (HoldsNul(targetName)) RaiseFileError(kBadFileName, u"cannot create", targetName, kHoldsNul);
    size_t leaf = targetName.size();
    while (leaf > 0 && !IsSeparator(targetName[leaf - 1])) --leaf;
    if (leaf == 0 && targetName.size() >= 2 && targetName[1] == u':') leaf = 2;
    const String folder = targetName.substr(0, leaf);
    const String name = targetName.substr(leaf);
    if (name.empty() || name == u"." || name == u"..")
        RaiseFileError(kBadFileName, u"cannot create", targetName, u"not a file name");

    FileHandle in(CreateFileW(SystemPath(sourceName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) RaiseFileError(GetLastError(), u"cannot open", sourceName);
    BY_HANDLE_FILE_INFORMATION source;
    if (!GetFileInformationByHandle(in.Get(), &source)) RaiseFileError(GetLastError(), u"cannot open", sourceName);

    // The data reach a hidden temporary name first, so a failed copy never leaves a partial
    // target, and the move never replaces a target that appeared meanwhile.
    TemporaryFile copy(folder, targetName);
    constexpr DWORD kChunk = 1 << 16;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.Get(), buffer.get(), kChunk, &got, nullptr))
            RaiseFileError(GetLastError(), u"cannot read", sourceName);
        if (got == 0) break;
        for (DWORD done = 0; done < got;) {
            DWORD put = 0;
            if (!WriteFile(copy.Handle(), buffer.get() + done, got - done, &put, nullptr))
                RaiseFileError(GetLastError(), u"cannot write", targetName);
            done += put;
        }
    }
    // Like the system's copy, the target keeps the source's access and modification times.
    SetFileTime(copy.Handle(), nullptr, &source.ftLastAccessTime, &source.ftLastWriteTime);
    if (!FlushFileBuffers(copy.Handle()) || !copy.Close()) RaiseFileError(GetLastError(), u"cannot write", targetName);
    const std::wstring target = SystemPath(targetName);
    if (!MoveFileExW(copy.Path().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        RaiseFileError(GetLastError(), u"cannot create", targetName);
    copy.Commit();
    // Only the complete file in its place shows, and only then may it be read-only. A copy
    // that stayed hidden would pass for missing and block every later copy: it goes instead.
    const DWORD attributes = source.dwFileAttributes & kCarried;
    if (!SetFileAttributesW(target.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL)) {
        const DWORD error = GetLastError();
        DeleteFileW(target.c_str());
        RaiseFileError(error, u"cannot create", targetName);
    }
}

int64_t CreationTime(const String& name) {
    const String action = u"cannot read the creation time of";
    if (HoldsNul(name)) RaiseFileError(kBadFileName, action, name, kHoldsNul);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(SystemPath(name).c_str(), GetFileExInfoStandard, &data))
        RaiseFileError(GetLastError(), action, name);
    const uint64_t ticks = (uint64_t(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
    if (ticks == 0) RaiseFileError(kPathFileAccess, action, name, u"its file system keeps no creation time");
    // FILETIME counts 100 ns from 1601-01-01.
    constexpr int64_t kTicksFrom1601To1970 = 116444736000000000LL;
    return (static_cast<int64_t>(ticks) - kTicksFrom1601To1970) * 100;
}

}  // namespace varnholt::platform
