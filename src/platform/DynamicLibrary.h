#pragma once
// Entry points of libraries named as the component names them ("W3DBAV90.DLL"). A library is
// loaded by its bare file name through the platform's ordinary search, an entry point is
// resolved on its first call, and both are kept for the life of the process. Failures are not
// remembered: the next call tries again.
#include <atomic>
#include <string>
#include <utility>

namespace varnholt::platform {

// The file the platform's loader is asked for: the name itself on Windows; on POSIX
// "W3DBAV90.DLL" becomes "libw3dbav90.so".
std::string PlatformLibraryName(const std::string& fileName);

// Address of entryName in fileName. Raises 53 "File not found: <fileName>" when the library
// does not load and 453 "Can't find DLL entry point <entryName> in <fileName>" when it lacks
// the entry point.
void* ResolveEntryPoint(const std::string& fileName, const char* entryName);

// The platform's loader, under the cache ResolveEntryPoint keeps: the cache key of a file
// name, the loaded library (nullptr when it does not load), an entry's address (nullptr when
// the library lacks it), and whether the loader still has the library mapped.
namespace loader {
std::string Key(const std::string& fileName);
void* Open(const std::string& fileName);
void* Find(void* library, const char* entryName);
bool IsMapped(const std::string& fileName);
}  // namespace loader

// One entry point of function-pointer type Fn with its resolved address cached, so a call costs
// one atomic load once resolved. Calls are checked against Fn: a wrong argument does not
// compile. Objects of this type live in static tables.
template <class Fn>
class EntryPoint {
public:
    EntryPoint(const char* fileName, const char* entryName) : fileName_(fileName), entryName_(entryName) {}
    template <class... Args>
    auto operator()(Args&&... args) -> decltype(std::declval<Fn>()(std::forward<Args>(args)...)) {
        void* p = address_.load(std::memory_order_acquire);
        if (!p) {
            p = ResolveEntryPoint(fileName_, entryName_);
            address_.store(p, std::memory_order_release);
        }
        return reinterpret_cast<Fn>(p)(std::forward<Args>(args)...);
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
