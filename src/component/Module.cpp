#include "component/Module.h"

#include <atomic>
#include <mutex>

namespace varnholt::component {
namespace {

std::atomic<long> gReferences{0};
// LockServer(TRUE) calls not yet balanced; an unlock without a lock is ignored, so a client's
// extra unlock cannot keep the module loaded for good.
std::atomic<long> gLocks{0};

std::mutex gTypeLibraryMutex;
ComPtr<ITypeLib>& CachedTypeLibrary() {
    static ComPtr<ITypeLib> library;
    return library;
}

}  // namespace

void AddModuleReference() { ++gReferences; }
void ReleaseModuleReference() { --gReferences; }
void LockModule(bool lock) {
    if (lock) {
        ++gLocks;
        return;
    }
    long held = gLocks.load();
    while (held > 0 && !gLocks.compare_exchange_weak(held, held - 1)) {}
}
bool CanUnloadModule() { return gReferences.load() == 0 && gLocks.load() == 0; }
long ModuleReferenceCount() { return gReferences.load() + gLocks.load(); }

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT LoadTypeLibrary(ComPtr<ITypeLib>& out) {
    std::lock_guard<std::mutex> lock(gTypeLibraryMutex);
    ComPtr<ITypeLib>& cached = CachedTypeLibrary();
    if (!cached) {
        const std::wstring path = ModulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, cached.Put());
        if (FAILED(hr)) return hr;
    }
    out = cached;
    return S_OK;
}

HRESULT LoadTypeInfo(REFGUID guid, ComPtr<ITypeInfo>& out) {
    ComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibrary(library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(guid, out.Put());
}

void ReleaseTypeLibrary() {
    std::lock_guard<std::mutex> lock(gTypeLibraryMutex);
    CachedTypeLibrary().Reset();
}

}  // namespace varnholt::component
