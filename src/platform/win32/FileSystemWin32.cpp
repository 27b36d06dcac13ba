#include <windows.h>

#include <memory>

#include "platform/FileSystem.h"
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

// The system's text for error, without its closing period and line break.
String Reason(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::unique_ptr<char, decltype(&LocalFree)> owner(text, &LocalFree);
    std::string reason = n ? std::string(text, n) : "error " + std::to_string(error);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ' ||
                               reason.back() == '.'))
        reason.pop_back();
    return FromAnsi(reason);
}

// "Path not found: cannot create C:\Dict\File.ddf (The system cannot find the path specified)".
[[noreturn]] void RaiseFileError(DWORD error, const String& action, const String& path) {
    const int32_t number = NumberOf(error);
    Raise(number, kRuntimeSource, RuntimeErrorText(number) + u": " + action + u" " + path + u" (" + Reason(error) + u")");
}

struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

constexpr DWORD kNotNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_DEVICE;

// An empty file beside the target that disappears unless committed.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const String& target) {
        char name[MAX_PATH + 1] = {};
        if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "vhc", 0, name))
            RaiseFileError(GetLastError(), u"cannot create", target);
        path_ = name;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!committed_) DeleteFileA(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    void Commit() { committed_ = true; }

private:
    std::string path_;
    bool committed_ = false;
};

}  // namespace

bool FindFirstNormalFile(const std::string& ansiPattern) {
    if (ansiPattern.empty()) return false;
    // The search does not take a bare folder ("C:\Data\"): ask for its contents.
    const std::string pattern = IsSeparator(ansiPattern.back()) ? ansiPattern + "*" : ansiPattern;
    WIN32_FIND_DATAA data;
    FindHandle search(FindFirstFileA(pattern.c_str(), &data));
    if (search.get() == INVALID_HANDLE_VALUE) {
        search.release();
        const DWORD error = GetLastError();
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_NO_MORE_FILES:
            case ERROR_INVALID_DRIVE:
            case ERROR_BAD_NETPATH:
            case ERROR_BAD_NET_NAME: return false;
            default: Raise(NumberOf(error), kRuntimeSource, RuntimeErrorText(NumberOf(error)));
        }
    }
    do {
        if (!(data.dwFileAttributes & kNotNormal)) return true;
    } while (FindNextFileA(search.get(), &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) Raise(NumberOf(error), kRuntimeSource, RuntimeErrorText(NumberOf(error)));
    return false;
}

void CopyFile(const std::string& ansiSource, const std::string& ansiTarget) {
    const String sourceName = FromAnsi(ansiSource);
    const String targetName = FromAnsi(ansiTarget);
    size_t leaf = ansiTarget.size();
    while (leaf > 0 && !IsSeparator(ansiTarget[leaf - 1])) --leaf;
    if (leaf == 0 && ansiTarget.size() >= 2 && ansiTarget[1] == ':') leaf = 2;
    const std::string folder = ansiTarget.substr(0, leaf);
    const std::string name = ansiTarget.substr(leaf);
    if (name.empty() || name == "." || name == "..") Raise(kBadFileName, kRuntimeSource,
                                                           RuntimeErrorText(kBadFileName) + u": cannot create " + targetName +
                                                               u" (not a file name)");
    if (GetFileAttributesA(ansiSource.c_str()) == INVALID_FILE_ATTRIBUTES) RaiseFileError(GetLastError(), u"cannot open", sourceName);
    // The data reach a temporary name first, so a failed copy never leaves a partial target,
    // and the move never replaces a target that appeared meanwhile.
    TemporaryFile copy(folder, targetName);
    if (!::CopyFileA(ansiSource.c_str(), copy.Path().c_str(), FALSE))
        RaiseFileError(GetLastError(), u"cannot copy to", targetName);
    if (!MoveFileExA(copy.Path().c_str(), ansiTarget.c_str(), MOVEFILE_WRITE_THROUGH))
        RaiseFileError(GetLastError(), u"cannot create", targetName);
    copy.Commit();
}

int64_t CreationTime(const std::string& ansiPath) {
    const String name = FromAnsi(ansiPath);
    const String action = u"cannot read the creation time of";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(ansiPath.c_str(), GetFileExInfoStandard, &data))
        RaiseFileError(GetLastError(), action, name);
    const uint64_t ticks = (uint64_t(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
    if (ticks == 0)
        Raise(kPathFileAccess, kRuntimeSource,
              RuntimeErrorText(kPathFileAccess) + u": " + action + u" " + name + u" (its file system keeps no creation time)");
    // FILETIME counts 100 ns from 1601-01-01.
    constexpr int64_t kTicksFrom1601To1970 = 116444736000000000LL;
    return (static_cast<int64_t>(ticks) - kTicksFrom1601To1970) * 100;
}

}  // namespace varnholt::platform
