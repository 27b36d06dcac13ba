#include "component/ClassFactory.h"

#include "component/CPVSServerObject.h"
#include "component/ConnectionHelperObject.h"
#include "varnholt_idl.h"

namespace varnholt::component {

void* ClassFactory::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) return static_cast<IClassFactory*>(this);
    return nullptr;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    LockModule(lock != FALSE);
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    CreateInstanceFn create = nullptr;
    if (IsEqualCLSID(clsid, CLSID_CPVSServer))
        create = &CPVSServerObject::Create<>;
    else if (IsEqualCLSID(clsid, CLSID_ConnectionHelper))
        create = &ConnectionHelperObject::Create<>;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory::Create(iid, object, create);
}

}  // namespace varnholt::component
