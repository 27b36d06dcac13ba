#include "automation/IntegerLoop.h"
#include "connection/ErrorReporting.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

using namespace connection;

CPVSServer& ConnectionHelper::NewLookupServer(const String& server) {
    ReleaseLookupServer();
    oPVSServer = std::make_unique<CPVSServer>();
    oPVSServer->Server = server;
    return *oPVSServer;
}

void ConnectionHelper::ReleaseLookupServer() {
    if (!oPVSServer) return;
    // A lookup's engine connection is closed before its session goes, whatever that costs.
    try {
        oPVSServer->DisConnect();
    } catch (...) {}
    oPVSServer.reset();
}

String ConnectionHelper::GetDBName(const String& dataPath, const String& Server) {
    String userName, password;
    return GetDBName(dataPath, Server, userName, password);
}

String ConnectionHelper::GetDBName(const String& dataPath, const String& Server, String& userName, String& Password) {
    try {
        String result;
        CPVSServer& session = NewLookupServer(Server);
        if (!Server.empty() && (userName.empty() || Password.empty())) {
            const udtLoginCreds entered = Login(eUserPswd, Literal(10), kDefaultUser, kDefaultPassword, Server);
            if (!entered.Cancelled) {
                userName = entered.User;
                Password = entered.Pswd;
            }
        }
        if (!Server.empty() && !userName.empty() && !Password.empty()) {
            session.User = userName;
            session.Password = Password;
        }
        session.Connect();
        const Variant list = session.GetDBNames(true);
        // A server without names has nothing to find.
        if (!list.IsEmpty()) {
            const SafeArray<Variant>& names = list.AsArray();
            ForInteger(names.LBound(2), names.UBound(2), [&](int16_t n) {
                if (names.At(2, n).ToText() != dataPath) return true;
                result = names.At(1, n).ToText();
                return false;
            });
        }
        ReleaseLookupServer();
        return result;
    } catch (const Error& e) {
        RaiseWithSource(e, SourceOf(u"GetDBName"));
    }
}

bool ConnectionHelper::DBNameExists(const String& DBName, const String& Server, const String& userName,
                                    const String& Password) {
    try {
        bool result = false;
        CPVSServer& session = NewLookupServer(Server);
        if (!Server.empty() && !userName.empty() && !Password.empty()) {
            session.User = userName;
            session.Password = Password;
        }
        session.Connect();
        Variant list;
        try {
            list = session.GetDBNames(true);
        } catch (const Error& e) {
            // A type mismatch while the list is read, whoever raised it, means no names.
            if (e.Number() == kTypeMismatch) return false;
            throw;
        }
        // No names: the list is empty rather than an array, and the name does not exist.
        if (!list.IsArray()) return false;
        const SafeArray<Variant>& names = list.AsArray();
        const String wanted = UCase(DBName);
        ForInteger(names.LBound(2), names.UBound(2), [&](int16_t n) {
            result = UCase(names.At(1, n).ToText()) == wanted;
            return !result;
        });
        ReleaseLookupServer();
        return result;
    } catch (const Error& e) {
        RaiseWithSource(e, SourceOf(u"DBNameExists"));
    }
}

}  // namespace varnholt
