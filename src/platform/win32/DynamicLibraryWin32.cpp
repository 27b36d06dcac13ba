#include <windows.h>

#include <map>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "varnholt/Error.h"

namespace varnholt::platform {
namespace {

std::mutex gMutex;
// Keys are upper-cased: the loader's names are case-insensitive.
std::map<std::string, HMODULE>& Loaded() {
    static std::map<std::string, HMODULE> loaded;  // never unloaded
    return loaded;
}

std::string Key(const std::string& fileName) {
    std::string key = fileName;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

}  // namespace

std::string PlatformLibraryName(const std::string& fileName) { return fileName; }

void* ResolveEntryPoint(const std::string& fileName, const char* entryName) {
    std::lock_guard<std::mutex> lock(gMutex);
    const std::string key = Key(fileName);
    HMODULE& module = Loaded()[key];
    if (!module) {
        // No message box for a missing or broken file: the caller reports it.
        const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module = LoadLibraryA(fileName.c_str());
        SetErrorMode(previous);
    }
    if (!module) {
        Loaded().erase(key);
        Raise(kFileNotFound, kRuntimeSource, u"File not found: " + FromAnsi(fileName));
    }
    FARPROC address = GetProcAddress(module, entryName);
    if (!address)
        Raise(kDllEntryPointNotFound, kRuntimeSource,
              u"Can't find DLL entry point " + FromAnsi(entryName) + u" in " + FromAnsi(fileName));
    return reinterpret_cast<void*>(address);
}

bool IsLibraryLoaded(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (Loaded().count(Key(fileName)) == 0) return false;
    // Ask the loader itself, so a test proves the library is still mapped.
    return GetModuleHandleA(fileName.c_str()) != nullptr;
}

}  // namespace varnholt::platform
