#include <dlfcn.h>

#include <cctype>

#include "platform/DynamicLibrary.h"

namespace varnholt::platform {

std::string PlatformLibraryName(const std::string& fileName) {
    std::string lower;
    for (char c : fileName) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) lower.resize(lower.size() - 4);
    return "lib" + lower + ".so";
}

namespace loader {

std::string Key(const std::string& fileName) { return PlatformLibraryName(fileName); }

void* Open(const std::string& fileName) { return dlopen(PlatformLibraryName(fileName).c_str(), RTLD_NOW | RTLD_LOCAL); }

void* Find(void* library, const char* entryName) {
    dlerror();
    return dlsym(library, entryName);
}

bool IsMapped(const std::string& fileName) {
    void* probe = dlopen(PlatformLibraryName(fileName).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!probe) return false;
    dlclose(probe);  // drops only the reference RTLD_NOLOAD took
    return true;
}

}  // namespace loader
}  // namespace varnholt::platform
