#pragma once
// IDispatch of the dual interfaces, driven by the type library.
#include <windows.h>
#include <oaidl.h>

#include "platform/win32/ComTypes.h"
#include "component/Module.h"

namespace varnholt::component {

using namespace varnholt::win32;

// Calls member id of instance (a pointer to the interface that info describes, the vtable half
// of a dual interface). Before the call the arguments are brought into the form the member
// declares, because script clients and ITypeInfo::Invoke do not agree on it everywhere:
//   - a by-reference parameter receives a reference to the caller's own variable when that
//     holds the declared type, otherwise a converted copy that is written back to the variable
//     when the member changed it;
//   - a string-array parameter receives a BSTR array, converted from a script's VARIANT array;
//   - omitted optional arguments receive their declared default, or an empty value of the
//     declared type when the library records none;
//   - the trailing arguments of a vararg member are packed into one VARIANT array (lower
//     bound 0).
// Members with a vararg list or a record result are then called directly through their
// vtable slot (the system's Invoke packs vararg lists differently on different hosts and
// cannot return records everywhere); all others go through ITypeInfo::Invoke.
HRESULT InvokeMember(ITypeInfo* info, void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* excepInfo, UINT* argErr);

// The vtable half of the dual interface iid.
HRESULT LoadInterfaceTypeInfo(REFIID iid, ComPtr<ITypeInfo>& out);

// IDispatch for Interface (a dual interface with identifier *iid), on top of its vtable.
template <class Interface>
class DispatchImpl : public Interface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ComPtr<ITypeInfo> dispatchInfo;
        const HRESULT hr = LoadTypeInfo(*iid_, dispatchInfo);
        if (SUCCEEDED(hr)) *info = dispatchInfo.Detach();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        const HRESULT hr = InterfaceInfo(info);
        if (FAILED(hr)) return hr;
        return DispGetIDsOfNames(info.Get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepInfo, UINT* argErr) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        const HRESULT hr = InterfaceInfo(info);
        if (FAILED(hr)) return hr;
        return InvokeMember(info.Get(), static_cast<Interface*>(this), id, flags, params, result, excepInfo, argErr);
    }

protected:
    explicit DispatchImpl(const IID& iid) : iid_(&iid) {}

private:
    HRESULT InterfaceInfo(ComPtr<ITypeInfo>& out) {
        if (!interfaceInfo_) {
            const HRESULT hr = LoadInterfaceTypeInfo(*iid_, interfaceInfo_);
            if (FAILED(hr)) return hr;
        }
        out = interfaceInfo_;
        return S_OK;
    }

    const IID* iid_;
    ComPtr<ITypeInfo> interfaceInfo_;
};

}  // namespace varnholt::component
