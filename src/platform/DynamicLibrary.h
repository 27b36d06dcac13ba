#pragma once
// Entry points of libraries named as the component names them ("W3DBAV90.DLL"). A library is
// loaded by its bare file name through the platform's ordinary search, an entry point is
// resolved on its first call, and both are kept for the life of the process. Failures are not
// remembered: the next call tries again.
#include <atomic>
#include <string>

namespace varnholt::platform {

// The file the platform's loader is asked for: the name itself on Windows; on POSIX
// "W3DBAV90.DLL" becomes "libw3dbav90.so".
std::string PlatformLibraryName(const std::string& fileName);

// Address of entryName in fileName. Raises 53 "File not found: <fileName>" when the library
// does not load and 453 "Can't find DLL entry point <entryName> in <fileName>" when it lacks
// the entry point.
void* ResolveEntryPoint(const std::string& fileName, const char* entryName);

// One entry point with its resolved address cached, so a call costs one atomic load once
// resolved. Objects of this type live in static tables.
class EntryPoint {
public:
    EntryPoint(const char* fileName, const char* entryName) : fileName_(fileName), entryName_(entryName) {}
    void* Address() {
        if (void* p = address_.load(std::memory_order_acquire)) return p;
        void* p = ResolveEntryPoint(fileName_, entryName_);
        address_.store(p, std::memory_order_release);
        return p;
    }
    template <class Fn>
    Fn As() {
        return reinterpret_cast<Fn>(Address());
    }

private:
    std::string fileName_;
    const char* entryName_;
    std::atomic<void*> address_{nullptr};
};

// Libraries this process has loaded through ResolveEntryPoint (the platform file names).
// They stay loaded; tests use this to prove it.
bool IsLibraryLoaded(const std::string& fileName);

}  // namespace varnholt::platform
