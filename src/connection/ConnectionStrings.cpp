#include "connection/ErrorReporting.h"
#include "engine/StatusText.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt/Host.h"

namespace varnholt {

using namespace connection;

String ConnectionHelper::PSQLConnectionString(const String& DBName, const String& Server, const String&,
                                              const String&) {
    // Values go in as they are: no trimming, quoting or escaping, and never credentials.
    return u"Driver={Pervasive ODBC Client Interface};ServerName=" + (Server.empty() ? ComputerName() : Server) +
           u";dbq=" + DBName;
}

std::shared_ptr<Connection> ConnectionHelper::CreatePSQLConnection(const String& DBName, const String& Server,
                                                                   const String& userName, const String& Password,
                                                                   bool OpenDBNow) {
    try {
        auto connection = CreateConnection();
        connection->SetConnectionString(PSQLConnectionString(DBName, Server, userName, Password));
        if (OpenDBNow) connection->Open(u"", u"", u"", adOptionUnspecified);
        return connection;
    } catch (const Error& e) {
        RaiseConnectionFailure(e);
    }
}

namespace connection {

void RaiseConnectionFailure(const Error& caught) {
    const String source = SourceOf(u"CreatePSQLConnection");
    if (caught.Description().find(u"Btrieve") != String::npos) {
        const int32_t status = GetBtrieveErrorNumber(caught.Description());
        Raise(status, source, GetPSQLErrorText(status));
    }
    RaiseWithSource(caught, source);
}

}  // namespace connection

Error ConnectionFailure(const Error& driverFailure) {
    try {
        RaiseConnectionFailure(driverFailure);
    } catch (const Error& reported) {
        return reported;
    }
}

void ConnectionHelper::ThrowPSQLError(int32_t ErrNumber, const String& ProcName) {
    Raise(ErrNumber, SourceOf(ProcName), GetPSQLErrorText(ErrNumber));
}

}  // namespace varnholt
