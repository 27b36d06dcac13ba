// Lookups of database names, their connection strings, and connections opened to them.
#include "CommandSupport.h"
#include "Output.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Host.h"

namespace varnholt::cli {
namespace {

// A database name as the driver addresses it: "@" and the name, as the provisioning members
// build it. A name given with its "@" is kept.
String Addressed(const std::string& name) {
    if (name.rfind('@', 0) == 0) return U(name);
    String addressed(1, u'@');
    addressed += U(name);
    return addressed;
}

// Opening a query is the proof that a name, its dictionary and a table work; no row is read.
void TestQuery(Connection& connection, const String& table) {
    auto recordset = CreateRecordset();
    recordset->Open(u"Select Top 1 * From " + table, connection, adOpenForwardOnly, adLockReadOnly,
                    adOptionUnspecified);
    recordset->Close();
}

}  // namespace

int Find(Invocation& run) {
    const String dataPath = U(run.line.args[0]);
    // A prompt may fill these in; they are the caller's variables of the member.
    String user = run.user, password = run.password;
    const String name = run.helper.GetDBName(dataPath, run.server, user, password);
    if (run.json) {
        JsonObject json;
        json.Add("dataPath", dataPath).Add("server", run.server);
        if (name.empty())
            json.AddNull("name");
        else
            json.Add("name", name);
        PrintLine(json.Text());
    } else if (!name.empty()) {
        PrintLine(ToUtf8(name));
    } else {
        // No is an answer, and answers go to stdout.
        PrintLine("No database name on " + Where(run.server) + " has the data path " + ToUtf8(dataPath) + ".");
    }
    return name.empty() ? kExitNo : kExitDone;
}

int Exists(Invocation& run) {
    if (run.line.args[0].empty()) throw UsageError("NAME must not be empty", "exists");
    const String name = U(run.line.args[0]);
    const bool exists = run.helper.DBNameExists(name, run.server, run.user, run.password);
    if (run.json)
        PrintLine(JsonObject().Add("name", name).Add("server", run.server).Add("exists", exists).Text());
    else
        PrintLine(ToUtf8(name) + (exists ? " exists on " : " does not exist on ") + Where(run.server) + ".");
    return exists ? kExitDone : kExitNo;
}

int ConnectionString(Invocation& run) {
    const String text =
        run.helper.PSQLConnectionString(Addressed(run.line.args[0]), run.server, run.user, run.password);
    PrintLine(run.json ? JsonObject().Add("connectionString", text).Text() : ToUtf8(text));
    return kExitDone;
}

int Connect(Invocation& run) {
    const std::optional<std::string> table = run.line.Value("test-table");
    if (table && table->empty()) throw UsageError("--test-table needs a table name", "connect");
    // Opened here rather than by the member, which keeps only the engine status of a driver's
    // failure: its error stays the member's, and the driver's own words come beside it.
    auto connection =
        run.helper.CreatePSQLConnection(Addressed(run.line.args[0]), run.server, run.user, run.password, false);
    try {
        connection->Open(u"", u"", u"", adOptionUnspecified);
    } catch (const Error& driver) {
        const Error reported = ConnectionFailure(driver);
        if (reported.Description() == driver.Description()) throw reported;
        throw NotedError(reported, "varnholt: the driver's message: " + OneLine(driver.Description()));
    }
    if (table) TestQuery(*connection, U(*table));
    connection->Close();
    const String text = connection->ConnectionString();
    if (run.json) {
        JsonObject json;
        json.Add("connectionString", text).Add("opened", true);
        if (table)
            json.Add("testTable", U(*table));
        else
            json.AddNull("testTable");
        PrintLine(json.Text());
    } else {
        PrintLine("Opened " + ToUtf8(text));
        if (table) PrintLine("Test query on " + *table + " succeeded.");
    }
    return kExitDone;
}

}  // namespace varnholt::cli
