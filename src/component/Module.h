#pragma once
// Module-wide state of the component: the counts DllCanUnloadNow answers from, and the type
// library embedded in the module.
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "platform/win32/ComTypes.h"

namespace varnholt::component {

using namespace varnholt::win32;

// Every live object (class factories included) and every LockServer(TRUE) keeps the module.
void AddModuleReference();
void ReleaseModuleReference();
// LockServer: an unlock beyond the locks taken is ignored.
void LockModule(bool lock);
bool CanUnloadModule();
long ModuleReferenceCount();

// The module that holds this code (the DLL, or a test program linking the component).
HMODULE ThisModule();
std::wstring ModulePath();

// The type library embedded as resource 1 of ThisModule(), loaded on first use and kept until
// the module may unload.
HRESULT LoadTypeLibrary(ComPtr<ITypeLib>& out);
HRESULT LoadTypeInfo(REFGUID guid, ComPtr<ITypeInfo>& out);
void ReleaseTypeLibrary();

// Counts one module reference for the life of the object that holds it.
class ModuleReference {
public:
    ModuleReference() { AddModuleReference(); }
    ModuleReference(const ModuleReference&) : ModuleReference() {}
    ModuleReference& operator=(const ModuleReference&) = default;
    ~ModuleReference() { ReleaseModuleReference(); }
};

}  // namespace varnholt::component
