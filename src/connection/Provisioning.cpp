#include "connection/ErrorReporting.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

using namespace connection;

namespace {

constexpr int32_t kNoDictionaryFolder = 2306;
constexpr int32_t kNoDataFiles = 2305;
constexpr int32_t kUserCancelled = -1;
constexpr int32_t kNullPointerLookup = 10008;

// An engine session for one change. Released without a DisConnect (a failure on the way), it
// still closes its engine connection, ignoring what that reports, so nothing is left open.
class ChangeSession {
public:
    ChangeSession(const String& server, const String& user, const String& password) {
        session_.Server = server;
        session_.User = user;
        session_.Password = password;
        try {
            session_.Connect();
        } catch (...) {
            Close();
            throw;
        }
    }
    ~ChangeSession() { Close(); }
    ChangeSession(const ChangeSession&) = delete;
    ChangeSession& operator=(const ChangeSession&) = delete;
    CPVSServer* operator->() { return &session_; }

private:
    void Close() noexcept {
        try {
            session_.DisConnect();
        } catch (...) {}
    }
    CPVSServer session_;
};

}  // namespace

String ConnectionHelper::LegitimiseDBName(const String& Name) {
    String result;
    for (char16_t c : Name) {
        const auto code = static_cast<unsigned char>(ToAnsi(StringView(&c, 1)).front());
        if ((code >= 48 && code <= 57) || (code >= 65 && code <= 90) || (code >= 97 && code <= 122)) result += c;
    }
    return result;
}

String ConnectionHelper::MakeDBName(const String& Prefix, const String& dataPath) {
    return UCase(Trim(Prefix)) + UCase(LegitimiseDBName(FolderName(dataPath)));
}

void ConnectionHelper::PrepareFolders(const String& source, const String& InstallPath, const String& DDFFilePath,
                                      const String& DatFilePath) {
    if (DDFFilePath.empty()) Raise(kNoDictionaryFolder, source, Literal(11));
    if (!DoesFileExist(AddBackslash(DatFilePath) + u"*.DAT", false))
        Raise(kNoDataFiles, source, Literal(12) + u" " + DatFilePath + u".");
    CopyDictionaryFiles(AddBackslash(InstallPath), AddBackslash(DDFFilePath));
}

String ConnectionHelper::CreatePSQLDBName(const String& Name, const String& Server, const String& InstallPath,
                                          const String& DDFFilePath, const String& DatFilePath, const String& User,
                                          const String& Password, bool ForceLogin) {
    const String source = SourceOf(u"CreatePSQLDBName");
    PrepareFolders(source, InstallPath, DDFFilePath, DatFilePath);
    String user = User, password = Password;
    if (ForceLogin) {
        uLoginCreds = Login(eUserPswd, Literal(13) + u" " + Server, Literal(14), u"", u"");
        if (uLoginCreds.Cancelled) Raise(kUserCancelled, source, u"USER_CANCELLED");
        user = uLoginCreds.User;
        password = uLoginCreds.Pswd;
    }
    ChangeSession session(Server, user, password);
    // The dictionary folder first: its failure is the one to report when both would fail.
    const String dictionary = PathToUNC(DDFFilePath);
    const String data = PathToUNC(DatFilePath);
    session->CreateDBName(Name, dictionary, data);
    session->DisConnect();
    return {};
}

bool ConnectionHelper::LookUpWithCredentials(const String& DBName, const String& server, const String& User,
                                             const String& Password, const SafeArray<String>* LitsForPrompt) {
    uLoginCreds.User = User.empty() ? kDefaultUser : User;
    uLoginCreds.Pswd = Password.empty() ? kDefaultPassword : Password;
    if (!LitsForPrompt) return DBNameExists(DBName, server, uLoginCreds.User, uLoginCreds.Pswd);

    bool bNeedLogin = false;
    try {
        const bool found = DBNameExists(DBName, server, uLoginCreds.User, uLoginCreds.Pswd);
        if (found) return true;
    } catch (const Error&) {
        // Refused (or failed) with these credentials: ask the user instead of reporting it.
        bNeedLogin = true;
    }
    if (!bNeedLogin) return false;
    // A cancelled prompt leaves empty credentials, and the lookup goes on without them.
    uLoginCreds = Login(eUserPswd, LitsForPrompt->At(31), u"", u"", server);
    return DBNameExists(DBName, server, uLoginCreds.User, uLoginCreds.Pswd);
}

String ConnectionHelper::Provision(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                                   const String& userName, const String& Password,
                                   const SafeArray<String>* LitsForPrompt) {
    const String server = GetServerName(dataPath);
    bool found;
    if (server.empty()) {
        // The local engine is asked without credentials; the caller's are kept for the record.
        uLoginCreds.User = userName;
        uLoginCreds.Pswd = Password;
        found = DBNameExists(DBName, u"", u"", u"");
    } else {
        found = LookUpWithCredentials(DBName, server, userName, Password, LitsForPrompt);
    }
    bDBWasCreated = false;
    if (!found) {
        CreatePSQLDBName(DBName, server, KestrinInstallPath, dataPath, dataPath, uLoginCreds.User, uLoginCreds.Pswd,
                         false);
        bDBWasCreated = true;
    }
    return PSQLConnectionString(u"@" + DBName, server, u"", u"");
}

String ConnectionHelper::GetPSQLConnStr(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                                        const SafeArray<String>& Lits) {
    try {
        return Provision(DBName, dataPath, KestrinInstallPath, u"", u"", &Lits);
    } catch (const Error& e) {
        // The engine's "Call with NULL pointer" after the prompt: credentials still missing.
        if (UCase(e.Description()).find(u"NULL POINTER") != String::npos)
            Raise(kNullPointerLookup, u"PSQL.DBNameExists", Lits.At(32));
        throw;
    }
}

String ConnectionHelper::CreateDBEntry(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                                       const SafeArray<String>&, const String& userName, const String& Password) {
    return Provision(DBName, dataPath, KestrinInstallPath, userName, Password, nullptr);
}

String ConnectionHelper::GetCreateDB(const String& DBName, const String& dataPath, const String& KestrinInstallPath,
                                     const String& TestTableName, const SafeArray<String>& Lits) {
    const String connectionString = GetPSQLConnStr(DBName, dataPath, KestrinInstallPath, Lits);
    if (connectionString.empty()) return connectionString;
    // Opening the query proves the name, its dictionary and the table; no row is read.
    auto connection = CreateConnection();
    connection->SetConnectionString(connectionString);
    connection->Open(u"", u"", u"", adOptionUnspecified);
    auto recordset = CreateRecordset();
    recordset->Open(u"Select Top 1 * From " + TestTableName, *connection, adOpenForwardOnly, adLockReadOnly,
                    adOptionUnspecified);
    recordset->Close();
    connection->Close();
    return connectionString;
}

String ConnectionHelper::ModifyDataBase(const String& DBName, const String& NewDBName, const String& InstallPath,
                                        const String& DDFFilePath, const String& DatFilePath, const String& User,
                                        const String& Password, const SafeArray<String>& Lits) {
    PrepareFolders(SourceOf(u"ModifyDatabase"), InstallPath, DDFFilePath, DatFilePath);
    const String server = GetServerName(DatFilePath);
    bool found;
    if (server.empty()) {
        uLoginCreds.User.clear();
        uLoginCreds.Pswd.clear();
        found = DBNameExists(DBName, u"", u"", u"");
    } else {
        found = LookUpWithCredentials(DBName, server, User, Password, &Lits);
    }
    if (!found) return {};
    ChangeSession session(server, uLoginCreds.User, uLoginCreds.Pswd);
    const String dictionary = PathToUNC(DDFFilePath);  // before the data folder, as at creation
    const String data = PathToUNC(DatFilePath);
    session->ModifyDataBase(DBName, Variant(NewDBName), Variant(dictionary), Variant(data));
    session->DisConnect();
    return {};
}

}  // namespace varnholt
