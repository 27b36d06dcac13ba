// Self-registration: the two classes with their ProgIDs, the type library with its interfaces,
// and the earlier interface identifiers of ConnectionHelper. Unregistration removes the same.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "platform/win32/ComTypes.h"
#include "component/Identifiers.h"
#include "component/Module.h"
#include "varnholt_idl.h"

namespace varnholt::component {
namespace {

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* progId;
};

const ClassEntry kClasses[] = {
    {&CLSID_CPVSServer, L"Varnholt.CPVSServer"},
    {&CLSID_ConnectionHelper, L"Varnholt.ConnectionHelper"},
};

// The automation marshaler, which serves every dual interface from its type library.
constexpr wchar_t kOleAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
constexpr wchar_t kVersion[] = L"26.5";
// Type library versions in the registry are hexadecimal: 26.5 is "1a.5".
constexpr wchar_t kTypeLibraryVersionKey[] = L"1a.5";

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct RegistryKeyTraits {
    using Type = HKEY;
    static HKEY None() { return nullptr; }
    static void Free(HKEY key) { RegCloseKey(key); }
};

using RegistryKey = platform::Handle<RegistryKeyTraits>;

// Creates key path, or opens it when it is there, for writing.
LONG CreateRegistryKey(const std::wstring& path, RegistryKey& key) {
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                        nullptr, &created, nullptr);
    if (result == ERROR_SUCCESS) key.Reset(created);
    return result;
}

// Writes the default value (name "") or a named value of key path, creating the key.
HRESULT SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    RegistryKey key;
    LONG result = CreateRegistryKey(path, key);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT CreateKey(const std::wstring& path) {
    RegistryKey key;
    const LONG result = CreateRegistryKey(path, key);
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

// A key that is not there is already removed.
HRESULT DeleteTree(const std::wstring& path) {
    const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT RegisterClassEntry(const ClassEntry& entry, const std::wstring& modulePath) {
    const std::wstring clsid = GuidText(*entry.clsid);
    const std::wstring progId = entry.progId;
    const std::wstring versioned = progId + L".1";
    const std::wstring key = L"CLSID\\" + clsid;
    const std::wstring library = GuidText(LIBID_Varnholt);
    HRESULT hr = S_OK;
    auto step = [&](HRESULT result) {
        if (SUCCEEDED(hr)) hr = result;
    };
    step(SetValue(key, L"", progId));
    step(SetValue(key + L"\\InprocServer32", L"", modulePath));
    step(SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"));
    step(SetValue(key + L"\\ProgID", L"", versioned));
    step(SetValue(key + L"\\VersionIndependentProgID", L"", progId));
    step(SetValue(key + L"\\TypeLib", L"", library));
    step(SetValue(key + L"\\Version", L"", kVersion));
    step(CreateKey(key + L"\\Programmable"));
    step(SetValue(progId, L"", progId));
    step(SetValue(progId + L"\\CLSID", L"", clsid));
    step(SetValue(progId + L"\\CurVer", L"", versioned));
    step(SetValue(versioned, L"", progId));
    step(SetValue(versioned + L"\\CLSID", L"", clsid));
    return hr;
}

// The five earlier identifiers of _ConnectionHelper: RegisterTypeLib does not register alias
// types, so they are written like the interface itself.
HRESULT RegisterAliasInterfaces() {
    const std::wstring library = GuidText(LIBID_Varnholt);
    HRESULT hr = S_OK;
    auto step = [&](HRESULT result) {
        if (SUCCEEDED(hr)) hr = result;
    };
    for (size_t i = 0; i < std::size(kConnectionHelperAliasIids); ++i) {
        const std::wstring key = L"Interface\\" + GuidText(kConnectionHelperAliasIids[i]);
        step(SetValue(key, L"", L"ConnectionHelper___v" + std::to_wstring(i)));
        step(SetValue(key + L"\\ProxyStubClsid", L"", kOleAutomationProxy));
        step(SetValue(key + L"\\ProxyStubClsid32", L"", kOleAutomationProxy));
        step(SetValue(key + L"\\TypeLib", L"", library));
        step(SetValue(key + L"\\TypeLib", L"Version", kTypeLibraryVersionKey));
    }
    return hr;
}

HRESULT Unregister() {
    HRESULT hr = S_OK;
    auto step = [&](HRESULT result) {
        if (SUCCEEDED(hr)) hr = result;
    };
    for (const ClassEntry& entry : kClasses) {
        step(DeleteTree(L"CLSID\\" + GuidText(*entry.clsid)));
        step(DeleteTree(std::wstring(entry.progId) + L".1"));
        step(DeleteTree(entry.progId));
    }
    for (const IID& alias : kConnectionHelperAliasIids) step(DeleteTree(L"Interface\\" + GuidText(alias)));
    // Also removes the Interface keys of _CPVSServer and _ConnectionHelper. A library that is
    // not registered (any more) is not a failure.
    const HRESULT typeLib = UnRegisterTypeLib(LIBID_Varnholt, kTypeLibraryMajor, kTypeLibraryMinor, 0, kSysKind);
    if (typeLib != TYPE_E_REGISTRYACCESS) step(typeLib);
    return hr;
}

HRESULT Register() {
    const std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibrary(library);
    if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    for (const ClassEntry& entry : kClasses) {
        if (SUCCEEDED(hr)) hr = RegisterClassEntry(entry, path);
    }
    if (SUCCEEDED(hr)) hr = RegisterAliasInterfaces();
    return hr;
}

}  // namespace
}  // namespace varnholt::component

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() {
    const HRESULT hr = varnholt::component::Register();
    // Nothing half-written stays behind.
    if (FAILED(hr)) varnholt::component::Unregister();
    return hr;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() { return varnholt::component::Unregister(); }

}  // extern "C"
