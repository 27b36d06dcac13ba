#include <windows.h>

#include "platform/DynamicLibrary.h"

namespace varnholt::platform {

std::string PlatformLibraryName(const std::string& fileName) { return fileName; }

namespace loader {

// The loader's names are case-insensitive.
std::string Key(const std::string& fileName) {
    std::string key = fileName;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

void* Open(const std::string& fileName) {
    // No message box for a missing or broken file: the caller reports it.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(fileName.c_str());
    SetErrorMode(previous);
    return module;
}

void* Find(void* library, const char* entryName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), entryName));
}

bool IsMapped(const std::string& fileName) { return GetModuleHandleA(fileName.c_str()) != nullptr; }

}  // namespace loader
}  // namespace varnholt::platform
