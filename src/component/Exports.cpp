// The DLL's entry points for the COM runtime; registration is in Registration.cpp.
#include <windows.h>

#include "component/ClassFactory.h"
#include "component/Module.h"

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return varnholt::component::GetClassObject(clsid, iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    if (!varnholt::component::CanUnloadModule()) return S_FALSE;
    varnholt::component::ReleaseTypeLibrary();
    return S_OK;
}

}  // extern "C"
