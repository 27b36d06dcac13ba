#pragma once
// The class factory of one creatable class.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "component/Module.h"

namespace varnholt::component {

// Makes a new object and queries it for iid; the object's only reference goes to *object.
using CreateInstanceFn = HRESULT (*)(REFIID iid, void** object);

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFn create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;

    std::atomic<ULONG> references_{1};
    CreateInstanceFn create_;
    ModuleReference module_;
};

// DllGetClassObject: a factory for CPVSServer or ConnectionHelper.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace varnholt::component
