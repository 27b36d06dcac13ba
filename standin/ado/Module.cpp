// The module: class factories, registration under the two ProgIDs, and the leak report. A test
// process that ends with objects of this server alive has leaked them: the report goes to
// stderr and the process's exit code becomes kLeakExitCode, so CTest and run.sh see it fail.
#include <olectl.h>

#include <string>

#include "Objects.h"

namespace adoserver {
namespace {

constexpr UINT kLeakExitCode = 86;
HINSTANCE gModule = nullptr;
std::atomic<long> gLocks{0};

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* Put() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LSTATUS SetValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    RegistryKey key;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring ReadValue(HKEY root, const std::wstring& path) {
    wchar_t buffer[128] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return {};
    return buffer;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct Class {
    const wchar_t* progId;
    const CLSID* clsid;
    IDispatch* (*create)();
};
const Class kClasses[] = {
    {L"ADODB.Connection", &kConnectionClsid, NewConnection},
    {L"ADODB.Recordset", &kRecordsetClsid, NewRecordset},
};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const Class& c) : class_(c) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    // Static objects: their references do not keep the module.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            ComPtr<IDispatch> object = ComPtr<IDispatch>::Adopt(class_.create());
            return object->QueryInterface(iid, out);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        gLocks += lock ? 1 : -1;
        return S_OK;
    }

private:
    const Class& class_;
};

ClassFactory gFactories[] = {ClassFactory(kClasses[0]), ClassFactory(kClasses[1])};

void ReportLeaks() {
    if (LiveObjects() == 0) return;
    const std::string line = "ADODB test server: objects still alive at exit: " + Utf8(LiveObjectsText()) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), kLeakExitCode);
}

}  // namespace
}  // namespace adoserver

using namespace adoserver;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        ReportLeaks();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < std::size(kClasses); ++i)
        if (IsEqualCLSID(clsid, *kClasses[i].clsid)) return gFactories[i].QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LiveObjects() == 0 && gLocks == 0 ? S_OK : S_FALSE; }

// The ProgIDs replace whatever held them before: in a test prefix, Wine's own ADO.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;
    for (const Class& c : kClasses) {
        const std::wstring clsid = GuidText(*c.clsid), key = L"CLSID\\" + clsid;
        RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
        const LSTATUS failed =
            SetValue(HKEY_CLASSES_ROOT, c.progId, nullptr, std::wstring(c.progId) + L" (test server)") |
            SetValue(HKEY_CLASSES_ROOT, std::wstring(c.progId) + L"\\CLSID", nullptr, clsid) |
            SetValue(HKEY_CLASSES_ROOT, key, nullptr, c.progId) |
            SetValue(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, c.progId) |
            SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path) |
            SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Both");
        if (failed != ERROR_SUCCESS) return SELFREG_E_CLASS;
    }
    return S_OK;
}

// Removes only what points at this server.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    for (const Class& c : kClasses) {
        const std::wstring clsid = GuidText(*c.clsid);
        if (ReadValue(HKEY_CLASSES_ROOT, std::wstring(c.progId) + L"\\CLSID") == clsid)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
    }
    return S_OK;
}
