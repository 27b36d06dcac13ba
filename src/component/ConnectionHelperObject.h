#pragma once
// The automation object of ConnectionHelper: _ConnectionHelper (and its five earlier
// identifiers) over varnholt::ConnectionHelper.
#include "component/Dispatch.h"
#include "component/Module.h"
#include "platform/win32/ComObject.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt_idl.h"

namespace varnholt::component {

class ConnectionHelperObject final
    : public win32::ComObject<ConnectionHelperObject, DispatchImpl<_ConnectionHelper>, ISupportErrorInfo> {
public:
    // IUnknown: _ConnectionHelper (and IDispatch) and ISupportErrorInfo
    void* Find(REFIID iid);

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    // _ConnectionHelper, in vtable order
    HRESULT STDMETHODCALLTYPE get_gstrSystemName(BSTR* gstrSystemName) override;
    HRESULT STDMETHODCALLTYPE put_gstrSystemName(BSTR gstrSystemName) override;
    HRESULT STDMETHODCALLTYPE put_Literals(SAFEARRAY** Literals) override;
    HRESULT STDMETHODCALLTYPE get_Literals(SAFEARRAY** Literals) override;
    HRESULT STDMETHODCALLTYPE ComputerName(BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE PSQLConnectionString(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                                   BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE CreatePSQLConnection(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                                   VARIANT_BOOL* OpenDBNow, IDispatch** Result) override;
    HRESULT STDMETHODCALLTYPE GetDBName(BSTR* dataPath, BSTR* Server, BSTR* userName, BSTR* Password,
                                        BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE DBNameExists(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                           VARIANT_BOOL* Result) override;
    HRESULT STDMETHODCALLTYPE CreatePSQLDBName(BSTR Name, BSTR Server, BSTR InstallPath, BSTR DDFFilePath,
                                               BSTR DatFilePath, BSTR User, BSTR Password, VARIANT_BOOL ForceLogin,
                                               BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE DifferentDates(SAFEARRAY** Files, BSTR* SourcePath, BSTR* TargetPath,
                                             VARIANT_BOOL* Result) override;
    HRESULT STDMETHODCALLTYPE GetLabel(BSTR* prompt, SAFEARRAY** Parms, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE PathToUNC(BSTR Path, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE DoesFileExist(BSTR strName, VARIANT_BOOL blnThrowException,
                                            VARIANT_BOOL* Result) override;
    HRESULT STDMETHODCALLTYPE GetServerName(BSTR ServerPath, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE RemoveDir(BSTR* strServer, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE Login(::eLoginModes Mode, BSTR Caption, BSTR DefaultUser, BSTR DefaultPswd, BSTR Server,
                                    ::udtLoginCreds* Result) override;
    HRESULT STDMETHODCALLTYPE MakeDBName(BSTR* Prefix, BSTR* dataPath, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE FolderName(BSTR* Path, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE LegitimiseDBName(BSTR Name, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE ThrowPSQLError(LONG* ErrNumber, BSTR* ProcName) override;
    HRESULT STDMETHODCALLTYPE GetCreateDB(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, BSTR* TestTableName,
                                          SAFEARRAY** Lits, BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE GetPSQLConnStr(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, SAFEARRAY** Lits,
                                             BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE ModifyDataBase(BSTR DBName, BSTR NewDBName, BSTR InstallPath, BSTR DDFFilePath,
                                             BSTR DatFilePath, BSTR User, BSTR Password, SAFEARRAY** Lits,
                                             BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE get_DBWasCreated(VARIANT_BOOL* Result) override;
    HRESULT STDMETHODCALLTYPE get_userName(BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE get_UserPassword(BSTR* Result) override;
    HRESULT STDMETHODCALLTYPE CreateDBEntry(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, SAFEARRAY** Lits,
                                            BSTR* userName, BSTR* Password, BSTR* Result) override;

private:
    // Automation clients give every text themselves: until they assign Literals there is no
    // array (Get returns none, a text that is needed raises 9), not the library's English one.
    friend ComObject;
    ConnectionHelperObject() : ComObject(IID__ConnectionHelper) { helper_.SetLiterals(SafeArray<String>()); }
    ~ConnectionHelperObject() = default;
    template <class Body>
    HRESULT Run(Body&& body);

    ModuleReference module_;
    varnholt::ConnectionHelper helper_;
};

}  // namespace varnholt::component
