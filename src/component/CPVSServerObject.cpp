#include "component/CPVSServerObject.h"

#include "component/ErrorRecord.h"
#include "component/Marshal.h"

namespace varnholt::component {

void* CPVSServerObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID__CPVSServer))
        return static_cast<_CPVSServer*>(this);
    if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT CPVSServerObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID__CPVSServer) ? S_OK : S_FALSE;
}

template <class Body>
HRESULT CPVSServerObject::Run(Body&& body) {
    return Guarded(IID__CPVSServer, std::forward<Body>(body));
}

HRESULT CPVSServerObject::get_Server(BSTR* Server) {
    return Run([&] { Return(Server, server_.Server); });
}

HRESULT CPVSServerObject::put_Server(BSTR Server) {
    return Run([&] { server_.Server = FromBstr(Server); });
}

HRESULT CPVSServerObject::get_User(BSTR* User) {
    return Run([&] { Return(User, server_.User); });
}

HRESULT CPVSServerObject::put_User(BSTR User) {
    return Run([&] { server_.User = FromBstr(User); });
}

HRESULT CPVSServerObject::get_Password(BSTR* Password) {
    return Run([&] { Return(Password, server_.Password); });
}

HRESULT CPVSServerObject::put_Password(BSTR Password) {
    return Run([&] { server_.Password = FromBstr(Password); });
}

HRESULT CPVSServerObject::get_lConn(LONG* lConn) {
    return Run([&] { Return(lConn, server_.lConn); });
}

HRESULT CPVSServerObject::put_lConn(LONG lConn) {
    return Run([&] { server_.lConn = lConn; });
}

HRESULT CPVSServerObject::get_Connected(VARIANT_BOOL* Connected) {
    return Run([&] { Return(Connected, server_.Connected); });
}

HRESULT CPVSServerObject::put_Connected(VARIANT_BOOL Connected) {
    return Run([&] { server_.Connected = FromVariantBool(Connected); });
}

HRESULT CPVSServerObject::get_Started(VARIANT_BOOL* Started) {
    return Run([&] { Return(Started, server_.Started); });
}

HRESULT CPVSServerObject::put_Started(VARIANT_BOOL Started) {
    return Run([&] { server_.Started = FromVariantBool(Started); });
}

HRESULT CPVSServerObject::Connect() {
    return Run([&] { server_.Connect(); });
}

HRESULT CPVSServerObject::DisConnect() {
    return Run([&] { server_.DisConnect(); });
}

HRESULT CPVSServerObject::GetDBName(LONG Index, LONG Attrib, BSTR DBName, VARIANT* Result) {
    return Run([&] { Return(Result, server_.GetDBName(Index, Attrib, FromBstr(DBName))); });
}

HRESULT CPVSServerObject::GetDBNamesCount(LONG* Result) {
    return Run([&] { Return(Result, server_.GetDBNamesCount()); });
}

HRESULT CPVSServerObject::GetDBNames(VARIANT_BOOL ReturnArray, VARIANT* Result) {
    return Run([&] { Return(Result, server_.GetDBNames(FromVariantBool(ReturnArray))); });
}

HRESULT CPVSServerObject::CreateDBName(BSTR Name, BSTR DDFs, BSTR DATs) {
    return Run([&] { server_.CreateDBName(FromBstr(Name), FromBstr(DDFs), FromBstr(DATs)); });
}

HRESULT CPVSServerObject::DropDBName(BSTR Name) {
    return Run([&] { server_.DropDBName(FromBstr(Name)); });
}

HRESULT CPVSServerObject::ModifyDataBase(BSTR Name, VARIANT NewName, VARIANT DDF, VARIANT DAT) {
    return Run(
        [&] { server_.ModifyDataBase(FromBstr(Name), FromVariant(NewName), FromVariant(DDF), FromVariant(DAT)); });
}

HRESULT CPVSServerObject::GetEngineMajorVersion(LONG* Result) {
    return Run([&] { Return(Result, server_.GetEngineMajorVersion()); });
}

HRESULT CPVSServerObject::GetEngineVersion(BSTR* Result) {
    return Run([&] { Return(Result, server_.GetEngineVersion()); });
}

HRESULT CPVSServerObject::GetEngineOS(BSTR* Result) {
    return Run([&] { Return(Result, server_.GetEngineOS()); });
}

HRESULT CPVSServerObject::get_EngineVersionMajor(LONG* Result) {
    return Run([&] { Return(Result, server_.EngineVersionMajor()); });
}

}  // namespace varnholt::component
