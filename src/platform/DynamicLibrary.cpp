#include "platform/DynamicLibrary.h"

#include <map>
#include <mutex>

#include "varnholt/Error.h"

namespace varnholt::platform {
namespace {

std::mutex gMutex;
// By loader::Key; never unloaded.
std::map<std::string, void*>& Loaded() {
    static std::map<std::string, void*> loaded;
    return loaded;
}

}  // namespace

void* ResolveEntryPoint(const std::string& fileName, const char* entryName) {
    const std::string key = loader::Key(fileName);
    std::lock_guard<std::mutex> lock(gMutex);
    void*& library = Loaded()[key];
    if (!library) library = loader::Open(fileName);
    if (!library) {
        Loaded().erase(key);
        Raise(kFileNotFound, kRuntimeSource, u"File not found: " + FromAnsi(fileName));
    }
    void* address = loader::Find(library, entryName);
    if (!address)
        Raise(kDllEntryPointNotFound, kRuntimeSource,
              u"Can't find DLL entry point " + FromAnsi(entryName) + u" in " + FromAnsi(fileName));
    return address;
}

bool IsLibraryLoaded(const std::string& fileName) {
    const std::string key = loader::Key(fileName);
    std::lock_guard<std::mutex> lock(gMutex);
    // Asks the loader itself too, so a test proves the library is still mapped.
    return Loaded().count(key) != 0 && loader::IsMapped(fileName);
}

}  // namespace varnholt::platform
