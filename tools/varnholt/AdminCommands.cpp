// The administration commands: one CPVSServer session each, or the engine's version.
#include "CommandSupport.h"
#include "Output.h"

namespace varnholt::cli {
namespace {

std::string EntryJson(const Entry& entry) {
    return JsonObject()
        .Add("id", entry.id)
        .Add("name", entry.name)
        .Add("dictionary", entry.dictionary)
        .Add("data", entry.data)
        .Text();
}

}  // namespace

int List(Invocation& run) {
    AdminSession session(run);
    const std::vector<Entry> entries = Entries(session->GetDBNames(true));
    session.Finish();
    if (run.json) {
        std::vector<std::string> items;
        for (const Entry& entry : entries) items.push_back(EntryJson(entry));
        PrintLine(JsonObject().Add("server", run.server).AddJson("names", JsonArray(items)).Text());
    } else if (entries.empty()) {
        PrintLine("No database names on " + Where(run.server) + ".");
    } else {
        std::vector<std::vector<String>> rows = {{u"NAME", u"DICTIONARY", u"DATA"}};
        for (const Entry& entry : entries) rows.push_back({entry.name, entry.dictionary, entry.data});
        Print(Table(rows));
    }
    return kExitDone;
}

int Count(Invocation& run) {
    AdminSession session(run);
    const int32_t count = session->GetDBNamesCount();
    session.Finish();
    PrintLine(run.json ? JsonObject().Add("count", count).Text() : std::to_string(count));
    return kExitDone;
}

int Create(Invocation& run) {
    const String name = U(run.line.args[0]), dictionary = U(run.line.args[1]), data = U(run.line.args[2]);
    if (run.line.Has("master")) {
        // Folder checks, the dictionary copy and UNC paths, as the applications create names.
        run.helper.CreatePSQLDBName(name, run.server, U(Required(run, "master")), dictionary, data, run.user,
                                    run.password, run.line.Has("login"));
    } else {
        if (run.line.Has("login")) throw UsageError("--login needs --master", "create");
        AdminSession session(run);
        session->CreateDBName(name, dictionary, data);
        session.Finish();
    }
    if (run.json)
        PrintLine(JsonObject().Add("name", name).Add("server", run.server).Add("created", true).Text());
    else
        PrintLine("Created database name " + ToUtf8(name) + " on " + Where(run.server) + ".");
    return kExitDone;
}

int Drop(Invocation& run) {
    const String name = U(run.line.args[0]);
    AdminSession session(run);
    session->DropDBName(name);
    session.Finish();
    if (run.json)
        PrintLine(JsonObject().Add("name", name).Add("server", run.server).Add("dropped", true).Text());
    else
        PrintLine("Dropped database name " + ToUtf8(name) + " from " + Where(run.server) + ".");
    return kExitDone;
}

int Modify(Invocation& run) {
    const String name = U(run.line.args[0]);
    if (!run.line.Has("new-name") && !run.line.Has("dict") && !run.line.Has("data"))
        throw UsageError("modify needs --new-name, --dict or --data", "modify");
    const String newName = U(run.line.Value("new-name")), dictionary = U(run.line.Value("dict")),
                 data = U(run.line.Value("data"));
    AdminSession session(run);
    session->ModifyDataBase(name, Variant(newName), Variant(dictionary), Variant(data));
    session.Finish();
    if (run.json)
        PrintLine(JsonObject().Add("name", name).Add("server", run.server).Add("modified", true).Text());
    else
        PrintLine("Modified database name " + ToUtf8(name) + " on " + Where(run.server) + ".");
    return kExitDone;
}

int Version(Invocation& run) {
    // The version queries ask the local engine directly; no session is opened or closed.
    CPVSServer server;
    const String version = server.GetEngineVersion();
    const int32_t major = server.GetEngineMajorVersion();
    const String platform = server.GetEngineOS();
    const int32_t generation = server.EngineVersionMajor();
    if (run.json) {
        JsonObject json;
        json.Add("version", version).Add("major", major).Add("platform", platform);
        if (generation < 0)
            json.AddNull("generation");
        else
            json.Add("generation", generation);
        PrintLine(json.Text());
    } else {
        Print(Pairs({{"Engine version", version},
                     {"Major version", Decimal(major)},
                     {"Platform", platform},
                     {"Administration", generation < 0 ? u"no library loads" : u"generation " + Decimal(generation)}}));
    }
    return kExitDone;
}

}  // namespace varnholt::cli
