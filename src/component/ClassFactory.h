#pragma once
// The class factory of one creatable class.
#include <windows.h>
#include <unknwn.h>

#include "component/Module.h"
#include "platform/win32/ComObject.h"

namespace varnholt::component {

// Makes a new object and queries it for iid; the object's only reference goes to *object.
using CreateInstanceFn = HRESULT (*)(REFIID iid, void** object);

class ClassFactory final : public win32::ComObject<ClassFactory, IClassFactory> {
public:
    void* Find(REFIID iid);
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    friend ComObject;
    explicit ClassFactory(CreateInstanceFn create) : create_(create) {}
    ~ClassFactory() = default;

    CreateInstanceFn create_;
    ModuleReference module_;
};

// DllGetClassObject: a factory for CPVSServer or ConnectionHelper.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace varnholt::component
