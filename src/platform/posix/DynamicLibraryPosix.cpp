#include <dlfcn.h>

#include <cctype>
#include <map>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "varnholt/Error.h"

namespace varnholt::platform {
namespace {

std::mutex gMutex;
std::map<std::string, void*>& Loaded() {
    static std::map<std::string, void*> loaded;  // never unloaded
    return loaded;
}

}  // namespace

std::string PlatformLibraryName(const std::string& fileName) {
    std::string lower;
    for (char c : fileName) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) lower.resize(lower.size() - 4);
    return "lib" + lower + ".so";
}

void* ResolveEntryPoint(const std::string& fileName, const char* entryName) {
    const std::string soname = PlatformLibraryName(fileName);
    std::lock_guard<std::mutex> lock(gMutex);
    void*& handle = Loaded()[soname];
    if (!handle) handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Loaded().erase(soname);
        Raise(kFileNotFound, kRuntimeSource, u"File not found: " + FromUtf8(fileName));
    }
    dlerror();
    void* address = dlsym(handle, entryName);
    if (!address)
        Raise(kDllEntryPointNotFound, kRuntimeSource,
              u"Can't find DLL entry point " + FromUtf8(entryName) + u" in " + FromUtf8(fileName));
    return address;
}

bool IsLibraryLoaded(const std::string& fileName) {
    const std::string soname = PlatformLibraryName(fileName);
    std::lock_guard<std::mutex> lock(gMutex);
    if (Loaded().count(soname) == 0) return false;
    // Ask the loader itself, so a test proves the library is still mapped.
    void* probe = dlopen(soname.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!probe) return false;
    dlclose(probe);  // drops only the reference RTLD_NOLOAD took
    return true;
}

}  // namespace varnholt::platform
