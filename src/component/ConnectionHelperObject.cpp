#include "component/ConnectionHelperObject.h"

#include <vector>

#include "component/ErrorRecord.h"
#include "component/Identifiers.h"
#include "component/Marshal.h"

namespace varnholt::component {
namespace {

// The value of a by-reference argument; the caller must pass one.
String In(BSTR* p) { return FromBstr(Out(p)); }
int32_t In(LONG* p) { return Out(p); }
bool In(VARIANT_BOOL* p) { return FromVariantBool(Out(p)); }
SafeArray<String> In(SAFEARRAY** p) { return FromStringArray(Out(p)); }

bool IsConnectionHelperInterface(REFIID iid) {
    if (IsEqualIID(iid, IID__ConnectionHelper)) return true;
    for (const IID& alias : kConnectionHelperAliasIids)
        if (IsEqualIID(iid, alias)) return true;
    return false;
}

}  // namespace

void* ConnectionHelperObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsConnectionHelperInterface(iid))
        return static_cast<_ConnectionHelper*>(this);
    if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT ConnectionHelperObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsConnectionHelperInterface(iid) ? S_OK : S_FALSE;
}

template <class Body>
HRESULT ConnectionHelperObject::Run(Body&& body) {
    return Guarded(IID__ConnectionHelper, std::forward<Body>(body));
}

HRESULT ConnectionHelperObject::get_gstrSystemName(BSTR* gstrSystemName) {
    return Run([&] { Return(gstrSystemName, helper_.gstrSystemName); });
}

HRESULT ConnectionHelperObject::put_gstrSystemName(BSTR gstrSystemName) {
    return Run([&] { helper_.gstrSystemName = FromBstr(gstrSystemName); });
}

HRESULT ConnectionHelperObject::put_Literals(SAFEARRAY** Literals) {
    return Run([&] { helper_.SetLiterals(In(Literals)); });
}

HRESULT ConnectionHelperObject::get_Literals(SAFEARRAY** Literals) {
    return Run([&] {
        SAFEARRAY*& slot = Out(Literals);
        slot = nullptr;
        slot = ToStringArray(helper_.GetLiterals()).Detach();
    });
}

HRESULT ConnectionHelperObject::ComputerName(BSTR* Result) {
    return Run([&] { Return(Result, helper_.ComputerName()); });
}

HRESULT ConnectionHelperObject::PSQLConnectionString(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                                     BSTR* Result) {
    return Run(
        [&] { Return(Result, helper_.PSQLConnectionString(In(DBName), In(Server), In(userName), In(Password))); });
}

HRESULT ConnectionHelperObject::CreatePSQLConnection(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                                     VARIANT_BOOL* OpenDBNow, IDispatch** Result) {
    return Run([&] {
        IDispatch*& slot = Out(Result);
        slot = nullptr;
        const std::shared_ptr<Connection> connection =
            helper_.CreatePSQLConnection(In(DBName), In(Server), In(userName), In(Password), In(OpenDBNow));
        slot = NewDispatchReference(connection);
    });
}

HRESULT ConnectionHelperObject::GetDBName(BSTR* dataPath, BSTR* Server, BSTR* userName, BSTR* Password, BSTR* Result) {
    return Run([&] {
        const String path = In(dataPath), server = In(Server);
        // Omitted credentials (null) are empty; entered ones go back to the caller even when
        // the lookup fails afterwards.
        String user = userName ? FromBstr(*userName) : String();
        String password = Password ? FromBstr(*Password) : String();
        const String userBefore = user, passwordBefore = password;
        auto storeCredentials = [&] {
            if (userName && user != userBefore) StoreBstr(user, userName);
            if (Password && password != passwordBefore) StoreBstr(password, Password);
        };
        String name;
        try {
            name = helper_.GetDBName(path, server, user, password);
        } catch (...) {
            storeCredentials();
            throw;
        }
        storeCredentials();
        Return(Result, name);
    });
}

HRESULT ConnectionHelperObject::DBNameExists(BSTR* DBName, BSTR* Server, BSTR* userName, BSTR* Password,
                                             VARIANT_BOOL* Result) {
    return Run([&] {
        const String user = userName ? FromBstr(*userName) : String();
        const String password = Password ? FromBstr(*Password) : String();
        Return(Result, helper_.DBNameExists(In(DBName), In(Server), user, password));
    });
}

HRESULT ConnectionHelperObject::CreatePSQLDBName(BSTR Name, BSTR Server, BSTR InstallPath, BSTR DDFFilePath,
                                                 BSTR DatFilePath, BSTR User, BSTR Password, VARIANT_BOOL ForceLogin,
                                                 BSTR* Result) {
    return Run([&] {
        Return(Result, helper_.CreatePSQLDBName(FromBstr(Name), FromBstr(Server), FromBstr(InstallPath),
                                                FromBstr(DDFFilePath), FromBstr(DatFilePath), FromBstr(User),
                                                FromBstr(Password), FromVariantBool(ForceLogin)));
    });
}

HRESULT ConnectionHelperObject::DifferentDates(SAFEARRAY** Files, BSTR* SourcePath, BSTR* TargetPath,
                                               VARIANT_BOOL* Result) {
    return Run([&] { Return(Result, helper_.DifferentDates(In(Files), In(SourcePath), In(TargetPath))); });
}

HRESULT ConnectionHelperObject::GetLabel(BSTR* prompt, SAFEARRAY** Parms, BSTR* Result) {
    return Run([&] {
        // Each argument as a script's CStr shows it, in the user's locale.
        const SafeArray<String> texts = FromStringArray(Out(Parms));
        const std::vector<Variant> parms(texts.Elements().begin(), texts.Elements().end());
        Return(Result, helper_.GetLabel(In(prompt), parms));
    });
}

HRESULT ConnectionHelperObject::PathToUNC(BSTR Path, BSTR* Result) {
    return Run([&] { Return(Result, helper_.PathToUNC(FromBstr(Path))); });
}

HRESULT ConnectionHelperObject::DoesFileExist(BSTR strName, VARIANT_BOOL blnThrowException, VARIANT_BOOL* Result) {
    return Run([&] { Return(Result, helper_.DoesFileExist(FromBstr(strName), FromVariantBool(blnThrowException))); });
}

HRESULT ConnectionHelperObject::GetServerName(BSTR ServerPath, BSTR* Result) {
    return Run([&] { Return(Result, helper_.GetServerName(FromBstr(ServerPath))); });
}

HRESULT ConnectionHelperObject::RemoveDir(BSTR* strServer, BSTR* Result) {
    return Run([&] {
        String server = In(strServer);
        const String before = server;
        String result;
        try {
            result = helper_.RemoveDir(server);
        } catch (...) {
            if (server != before) StoreBstr(server, strServer);
            throw;
        }
        if (server != before) StoreBstr(server, strServer);
        Return(Result, result);
    });
}

HRESULT ConnectionHelperObject::Login(::eLoginModes Mode, BSTR Caption, BSTR DefaultUser, BSTR DefaultPswd, BSTR Server,
                                      ::udtLoginCreds* Result) {
    return Run([&] {
        ::udtLoginCreds& slot = Out(Result);
        const varnholt::udtLoginCreds creds =
            helper_.Login(static_cast<int32_t>(Mode), FromBstr(Caption), FromBstr(DefaultUser), FromBstr(DefaultPswd),
                          FromBstr(Server));
        ToRecord(creds, &slot);
    });
}

HRESULT ConnectionHelperObject::MakeDBName(BSTR* Prefix, BSTR* dataPath, BSTR* Result) {
    return Run([&] { Return(Result, helper_.MakeDBName(In(Prefix), In(dataPath))); });
}

HRESULT ConnectionHelperObject::FolderName(BSTR* Path, BSTR* Result) {
    return Run([&] { Return(Result, helper_.FolderName(In(Path))); });
}

HRESULT ConnectionHelperObject::LegitimiseDBName(BSTR Name, BSTR* Result) {
    return Run([&] { Return(Result, helper_.LegitimiseDBName(FromBstr(Name))); });
}

HRESULT ConnectionHelperObject::ThrowPSQLError(LONG* ErrNumber, BSTR* ProcName) {
    return Run([&] { helper_.ThrowPSQLError(In(ErrNumber), In(ProcName)); });
}

HRESULT ConnectionHelperObject::GetCreateDB(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, BSTR* TestTableName,
                                            SAFEARRAY** Lits, BSTR* Result) {
    return Run([&] {
        Return(Result,
               helper_.GetCreateDB(In(DBName), In(dataPath), In(KestrinInstallPath), In(TestTableName), In(Lits)));
    });
}

HRESULT ConnectionHelperObject::GetPSQLConnStr(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, SAFEARRAY** Lits,
                                               BSTR* Result) {
    return Run(
        [&] { Return(Result, helper_.GetPSQLConnStr(In(DBName), In(dataPath), In(KestrinInstallPath), In(Lits))); });
}

HRESULT ConnectionHelperObject::ModifyDataBase(BSTR DBName, BSTR NewDBName, BSTR InstallPath, BSTR DDFFilePath,
                                               BSTR DatFilePath, BSTR User, BSTR Password, SAFEARRAY** Lits,
                                               BSTR* Result) {
    return Run([&] {
        Return(Result, helper_.ModifyDataBase(FromBstr(DBName), FromBstr(NewDBName), FromBstr(InstallPath),
                                              FromBstr(DDFFilePath), FromBstr(DatFilePath), FromBstr(User),
                                              FromBstr(Password), In(Lits)));
    });
}

HRESULT ConnectionHelperObject::get_DBWasCreated(VARIANT_BOOL* Result) {
    return Run([&] { Return(Result, helper_.DBWasCreated()); });
}

HRESULT ConnectionHelperObject::get_userName(BSTR* Result) {
    return Run([&] { Return(Result, helper_.userName()); });
}

HRESULT ConnectionHelperObject::get_UserPassword(BSTR* Result) {
    return Run([&] { Return(Result, helper_.UserPassword()); });
}

HRESULT ConnectionHelperObject::CreateDBEntry(BSTR* DBName, BSTR* dataPath, BSTR* KestrinInstallPath, SAFEARRAY** Lits,
                                              BSTR* userName, BSTR* Password, BSTR* Result) {
    return Run([&] {
        Return(Result, helper_.CreateDBEntry(In(DBName), In(dataPath), In(KestrinInstallPath), In(Lits), In(userName),
                                             In(Password)));
    });
}

}  // namespace varnholt::component
