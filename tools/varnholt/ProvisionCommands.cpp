// Provisioning a company folder and re-pointing a name at moved folders, as the applications do.
#include "CommandSupport.h"
#include "Output.h"

namespace varnholt::cli {

int Provision(Invocation& run) {
    const String dataPath = U(run.line.args[0]);
    const String name = U(Required(run, "name")), master = U(Required(run, "master"));
    const std::optional<std::string> table = run.line.Value("test-table");
    const bool givenCredentials = run.line.Has("user") || run.line.Has("password-stdin");
    if (table && givenCredentials)
        throw UsageError("--test-table cannot be combined with --user or --password-stdin", "provision");
    if (table && table->empty()) throw UsageError("--test-table needs a table name", "provision");
    String text;
    if (table)
        text = run.helper.GetCreateDB(name, dataPath, master, U(*table), run.texts.Lits);
    else if (givenCredentials)
        text = run.helper.CreateDBEntry(name, dataPath, master, run.texts.Lits, run.user, run.password);
    else
        text = run.helper.GetPSQLConnStr(name, dataPath, master, run.texts.Lits);
    const bool created = run.helper.DBWasCreated();
    if (run.json) {
        JsonObject json;
        json.Add("name", name).Add("created", created).Add("user", run.helper.userName());
        if (table)
            json.Add("testTable", U(*table));
        else
            json.AddNull("testTable");
        PrintLine(json.Add("connectionString", text).Text());
    } else {
        PrintLine(created ? "Created database name " + ToUtf8(name) + "."
                          : "Database name " + ToUtf8(name) + " already exists.");
        if (table) PrintLine("Test query on " + *table + " succeeded.");
        PrintLine(ToUtf8(text));
    }
    return kExitDone;
}

int Repoint(Invocation& run) {
    const String name = U(run.line.args[0]);
    const String data = U(Required(run, "data")), dictionary = U(Required(run, "dict")),
                 master = U(Required(run, "master")), newName = U(run.line.Value("new-name"));
    run.helper.ModifyDataBase(name, newName, master, dictionary, data, run.user, run.password, run.texts.Lits);

    // The member leaves a name it does not find alone and says nothing: what the engine holds
    // now tells whether the change happened.
    const String server = run.helper.GetServerName(data);
    const String finalName = newName.empty() ? name : newName;
    const String wantedDictionary = run.helper.PathToUNC(dictionary), wantedData = run.helper.PathToUNC(data);
    bool changed = false;
    {
        AdminSession session(server, server.empty() ? u"" : run.helper.userName(),
                             server.empty() ? u"" : run.helper.UserPassword());
        for (const Entry& entry : Entries(session->GetDBNames(true)))
            if (UCase(entry.name) == UCase(finalName))
                changed = entry.dictionary == wantedDictionary && entry.data == wantedData;
        session.Finish();
    }
    if (run.json) {
        PrintLine(JsonObject()
                      .Add("name", name)
                      .Add("newName", finalName)
                      .Add("server", server)
                      .Add("changed", changed)
                      .Add("dictionary", wantedDictionary)
                      .Add("data", wantedData)
                      .Text());
    } else if (changed) {
        PrintLine((newName.empty() ? "Re-pointed " + ToUtf8(name)
                                   : "Renamed " + ToUtf8(name) + " to " + ToUtf8(newName) + " and re-pointed it") +
                  ": dictionary " + ToUtf8(wantedDictionary) + ", data " + ToUtf8(wantedData) + ".");
    } else {
        PrintLine(ToUtf8(name) + " does not exist on " + Where(server) + ": nothing changed.");
    }
    return changed ? kExitDone : kExitNo;
}

}  // namespace varnholt::cli
