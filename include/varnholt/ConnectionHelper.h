#pragma once
// Connection strings, database-name lookup and provisioning, the login prompt, and the path
// and file helpers around them.
#include <cstdint>
#include <memory>
#include <vector>

#include "varnholt/DataAccess.h"
#include "varnholt/SafeArray.h"
#include "varnholt/String.h"
#include "varnholt/Types.h"
#include "varnholt/Variant.h"

namespace varnholt {

class CPVSServer;

class ConnectionHelper {
public:
    ConnectionHelper();
    ~ConnectionHelper();
    ConnectionHelper(const ConnectionHelper&) = delete;
    ConnectionHelper& operator=(const ConnectionHelper&) = delete;

    // A free string kept for the client; nothing here reads it.
    String gstrSystemName;

    // The user-visible texts, by subscript as the client built them: DefaultLiterals() until
    // the client gives its own, which replace them whole (a subscript the client's array lacks
    // raises 9 where it is needed; an unallocated array leaves none).
    void SetLiterals(const SafeArray<String>& value);
    SafeArray<String> GetLiterals() const;

    String ComputerName();
    String PSQLConnectionString(const String& DBName, const String& Server, const String& userName,
                                const String& Password);
    std::shared_ptr<Connection> CreatePSQLConnection(const String& DBName, const String& Server, const String& userName,
                                                     const String& Password, bool OpenDBNow);
    // userName and Password may be written back with what the user entered at the prompt.
    String GetDBName(const String& dataPath, const String& Server, String& userName, String& Password);
    String GetDBName(const String& dataPath, const String& Server);
    bool DBNameExists(const String& DBName, const String& Server, const String& userName = u"",
                      const String& Password = u"");
    String CreatePSQLDBName(const String& Name, const String& Server, const String& InstallPath,
                            const String& DDFFilePath, const String& DatFilePath, const String& User,
                            const String& Password, bool ForceLogin);
    bool DifferentDates(const SafeArray<String>& Files, const String& SourcePath, const String& TargetPath);
    String GetLabel(const String& prompt, const std::vector<Variant>& Parms = {});
    String PathToUNC(const String& Path);
    bool DoesFileExist(const String& strName, bool blnThrowException = false);
    String GetServerName(const String& ServerPath);
    // strServer is cut to the server part too.
    String RemoveDir(String& strServer);
    udtLoginCreds Login(int32_t Mode, const String& Caption = u"", const String& DefaultUser = u"",
                        const String& DefaultPswd = u"", const String& Server = u"");
    String MakeDBName(const String& Prefix, const String& dataPath);
    String FolderName(const String& Path);
    String LegitimiseDBName(const String& Name);
    [[noreturn]] void ThrowPSQLError(int32_t ErrNumber, const String& ProcName);
    String GetCreateDB(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                       const String& TestTableName, const SafeArray<String>& Lits);
    String GetPSQLConnStr(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                          const SafeArray<String>& Lits);
    String ModifyDataBase(const String& DBName, const String& NewDBName, const String& InstallPath,
                          const String& DDFFilePath, const String& DatFilePath, const String& User,
                          const String& Password, const SafeArray<String>& Lits);
    bool DBWasCreated() const { return bDBWasCreated; }
    String userName() const { return uLoginCreds.User; }
    String UserPassword() const { return uLoginCreds.Pswd; }
    String CreateDBEntry(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                         const SafeArray<String>& Lits, const String& userName, const String& Password);

    // Not on the automation interface: for C++ hosts and tools. Copies the four dictionary files
    // that TargetPath lacks from SourcePath (both ending in "\"); an existing file is kept.
    bool CopyDictionaryFiles(const String& SourcePath, const String& TargetPath);

private:
    friend struct FilesTestAccess;  // tests of the private dictionary-file and drive helpers
    // Literals(index); error 9 when the array lacks it.
    const String& Literal(int32_t index) const;
    int32_t DriveType(const String& drive);
    String GetUNCPathOfDriveLetter(const String& drive);
    bool CopyFiles(const SafeArray<String>& Files, const String& SourcePath, const String& TargetPath);
    static String AddBackslash(const String& path);
    // A new CPVSServer for a lookup, replacing (and disconnecting) the one a failed lookup left.
    CPVSServer& NewLookupServer(const String& server);
    void ReleaseLookupServer();
    // The folder checks and dictionary copy that creating or re-pointing a name starts with.
    void PrepareFolders(const String& source, const String& InstallPath, const String& DDFFilePath,
                        const String& DatFilePath);
    // Whether DBName exists on the named server, asked with the given or the default credentials,
    // which are left in uLoginCreds. With LitsForPrompt, a refused first lookup
    // prompts once and asks again; without, its failure passes out.
    bool LookUpWithCredentials(const String& DBName, const String& server, const String& User, const String& Password,
                               const SafeArray<String>* LitsForPrompt);
    // The provisioning steps GetPSQLConnStr and CreateDBEntry share.
    String Provision(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                     const String& userName, const String& Password, const SafeArray<String>* LitsForPrompt);

    SafeArray<String> literals_;
    udtLoginCreds uLoginCreds;
    bool bDBWasCreated = false;
    std::unique_ptr<CPVSServer> oPVSServer;
};

}  // namespace varnholt
