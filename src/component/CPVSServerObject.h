#pragma once
// The automation object of CPVSServer: _CPVSServer over varnholt::CPVSServer.
#include "component/Dispatch.h"
#include "component/Module.h"
#include "platform/win32/ComObject.h"
#include "varnholt/CPVSServer.h"
#include "varnholt_idl.h"

namespace varnholt::component {

class CPVSServerObject final : public win32::ComObject<CPVSServerObject, DispatchImpl<_CPVSServer>, ISupportErrorInfo> {
public:
    // IUnknown: _CPVSServer (and IDispatch) and ISupportErrorInfo
    void* Find(REFIID iid);

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    // _CPVSServer, in vtable order
    HRESULT STDMETHODCALLTYPE get_Server(BSTR* Server) override;
    HRESULT STDMETHODCALLTYPE put_Server(BSTR Server) override;
    HRESULT STDMETHODCALLTYPE get_User(BSTR* User) override;
    HRESULT STDMETHODCALLTYPE put_User(BSTR User) override;
    HRESULT STDMETHODCALLTYPE get_Password(BSTR* Password) override;
    HRESULT STDMETHODCALLTYPE put_Password(BSTR Password) override;
    HRESULT STDMETHODCALLTYPE get_lConn(LONG* lConn) override;
    HRESULT STDMETHODCALLTYPE put_lConn(LONG lConn) override;
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* Connected) override;
    HRESULT STDMETHODCALLTYPE put_Connected(VARIANT_BOOL Connected) override;
    HRESULT STDMETHODCALLTYPE get_Started(VARIANT_BOOL* Started) override;
    HRESULT STDMETHODCALLTYPE put_Started(VARIANT_BOOL Started) override;
    HRESULT STDMETHODCALLTYPE Connect() override;
    HRESULT STDMETHODCALLTYPE DisConnect() override;
    HRESULT STDMETHODCALLTYPE GetDBName(LONG Index, LONG Attrib, BSTR DBName, VARIANT* Result) override;
    HRESULT STDMETHODCALLTYPE GetDBNamesCount(LONG* Result) override;
    HRESULT STDMETHODCALLTYPE GetDBNames(VARIANT_BOOL ReturnArray, VARIANT* Result) override;
    HRESULT STDMETHODCALLTYPE CreateDBName(BSTR Name, BSTR DDFs, BSTR DATs) override;
    HRESULT STDMETHODCALLTYPE DropDBName(BSTR Name) override;
    HRESULT STDMETHODCALLTYPE ModifyDataBase(BSTR Name, VARIANT NewName, VARIANT DDF, VARIANT DAT) override;
    HRESULT STDMETHODCALLTYPE GetEngineMajorVersion(LONG* Result) override;
    HRESULT STDMETHODCALLTYPE GetEngineVersion(BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE GetEngineOS(BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE get_EngineVersionMajor(LONG* Result) override;

private:
    friend ComObject;
    CPVSServerObject() : ComObject(IID__CPVSServer) {}
    ~CPVSServerObject() = default;
    template <class Body>
    HRESULT Run(Body&& body);

    ModuleReference module_;
    varnholt::CPVSServer server_;
};

}  // namespace varnholt::component
