#include "Commands.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "Credentials.h"
#include "Output.h"
#include "connection/ErrorReporting.h"
#include "platform/FileSystem.h"
#include "platform/drivetable/DriveTable.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/DataAccess.h"

namespace varnholt::cli {
namespace {

constexpr const char* kCredentialOptions[] = {"server", "user", "password-stdin"};

String U(const std::string& utf8) { return FromUtf8(utf8); }
String U(const std::optional<std::string>& utf8) { return utf8 ? FromUtf8(*utf8) : String(); }

void Print(const std::string& text) { std::fputs(text.c_str(), stdout); }
void PrintLine(const std::string& text) { Print(text + "\n"); }

std::string Where(const String& server) { return server.empty() ? "the local engine" : "server " + ToUtf8(server); }

// An option the command cannot do without. An empty value is passed on: the members have
// their own errors for empty folders.
std::string Required(const Invocation& run, const char* option) {
    const std::optional<std::string> value = run.line.Value(option);
    if (!value) throw UsageError(std::string(run.line.command->name) + " needs --" + option, run.line.command->name);
    return *value;
}

// A database name as the driver addresses it: "@" and the name, as the provisioning members
// build it. A name given with its "@" is kept.
String Addressed(const std::string& name) {
    if (name.rfind('@', 0) == 0) return U(name);
    String addressed(1, u'@');
    addressed += U(name);
    return addressed;
}

// Folder arguments of the file members are prefixes that file names are appended to. An empty
// one would become the root folder.
String Folder(const Invocation& run, const std::string& path, const char* what) {
    if (path.empty()) throw UsageError(std::string(what) + " must not be empty", run.line.command->name);
    if (path.back() == '\\' || path.back() == '/') return U(path);
    const bool windowsForm = path.find('\\') != std::string::npos || (path.size() >= 2 && path[1] == ':');
    return U(path + (windowsForm ? "\\" : "/"));
}

// An administration session for one command: connected on creation, and disconnected on every
// way out (a failure to disconnect after a failure is not reported over the first one).
class AdminSession {
public:
    AdminSession(const String& server, const String& user, const String& password) {
        server_.Server = server;
        server_.User = user;
        server_.Password = password;
        try {
            server_.Connect();
        } catch (...) {
            Close();
            throw;
        }
    }
    explicit AdminSession(const Invocation& run) : AdminSession(run.server, run.user, run.password) {}
    ~AdminSession() { Close(); }
    AdminSession(const AdminSession&) = delete;
    AdminSession& operator=(const AdminSession&) = delete;
    CPVSServer* operator->() { return &server_; }
    void Finish() { server_.DisConnect(); }

private:
    void Close() noexcept {
        try {
            server_.DisConnect();
        } catch (...) {
        }
    }
    CPVSServer server_;
};

struct Entry {
    int32_t id;
    String name, dictionary, data;
};

// The array form of GetDBNames: (1, n) name, (2, n) data path, (3, n) dictionary path.
std::vector<Entry> Entries(const Variant& list) {
    std::vector<Entry> entries;
    if (!list.IsArray()) return entries;
    const SafeArray<Variant>& names = list.AsArray();
    for (int32_t n = names.LBound(2); n <= names.UBound(2); ++n)
        entries.push_back({n, names.At(1, n).ToText(), names.At(3, n).ToText(), names.At(2, n).ToText()});
    return entries;
}

std::string EntryJson(const Entry& entry) {
    return JsonObject()
        .Add("id", entry.id)
        .Add("name", entry.name)
        .Add("dictionary", entry.dictionary)
        .Add("data", entry.data)
        .Text();
}

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

// Opening a query is the proof that a name, its dictionary and a table work; no row is read.
void TestQuery(Connection& connection, const String& table) {
    auto recordset = CreateRecordset();
    recordset->Open(u"Select Top 1 * From " + table, connection, adOpenForwardOnly, adLockReadOnly,
                    adOptionUnspecified);
    recordset->Close();
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
        try {
            connection::RaiseConnectionFailure(driver);
        } catch (const Error& reported) {
            if (reported.Description() == driver.Description()) throw;
            throw NotedError(reported, "varnholt: the driver's message: " + OneLine(driver.Description()));
        }
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

int Path(Invocation& run) {
    const std::vector<std::string>& args = run.line.args;
    const std::string& kind = args[0];
    auto expect = [&](size_t count, const char* operands) {
        if (args.size() != count) throw UsageError("path " + kind + " takes " + operands, "path");
    };
    String value;
    if (kind == "computer-name") {
        expect(1, "no further argument");
        value = run.helper.ComputerName();
    } else if (kind == "unc") {
        expect(2, "PATH");
        value = run.helper.PathToUNC(U(args[1]));
    } else if (kind == "server") {
        expect(2, "PATH");
        value = run.helper.GetServerName(U(args[1]));
    } else if (kind == "folder") {
        expect(2, "PATH");
        value = run.helper.FolderName(U(args[1]));
    } else if (kind == "legit-name") {
        expect(3, "PREFIX FOLDER");
        value = run.helper.MakeDBName(U(args[1]), U(args[2]));
    } else if (kind == "exists") {
        expect(2, "PATTERN");
        const bool exists = run.helper.DoesFileExist(U(args[1]), false);
        PrintLine(run.json ? JsonObject().Add("pattern", U(args[1])).Add("exists", exists).Text()
                  : exists ? "yes"
                           : "no");
        return exists ? kExitDone : kExitNo;
    } else {
        throw UsageError("unknown path operation: the argument after 'path' names none", "path");
    }
    PrintLine(run.json ? JsonObject().Add("value", value).Text() : ToUtf8(value));
    return kExitDone;
}

// The dictionary files of a database, copied where the target lacks them; existing ones are kept.
int CopyDictionary(Invocation& run) {
    const String master = Folder(run, run.line.args[0], "MASTER"), target = Folder(run, run.line.args[1], "TARGET");
    static const char16_t* const kFiles[] = {u"File.ddf", u"Field.ddf", u"Index.ddf", u"Attrib.ddf"};
    std::vector<bool> present;
    try {
        for (const char16_t* file : kFiles) present.push_back(run.helper.DoesFileExist(target + file, false));
    } catch (const Error&) {
        // The copy below meets the same failure and reports it as the member does.
    }
    run.helper.CopyDictionaryFiles(master, target);
    std::vector<std::string> copied, kept;
    for (size_t i = 0; i < present.size(); ++i) {
        (present[i] ? kept : copied).push_back(ToUtf8(kFiles[i]));
        if (!run.json) PrintLine((present[i] ? "kept    " : "copied  ") + ToUtf8(target + kFiles[i]));
    }
    if (run.json) {
        auto list = [](const std::vector<std::string>& files) {
            std::vector<std::string> items;
            for (const std::string& file : files) items.push_back(JsonText(U(file)));
            return JsonArray(items);
        };
        PrintLine(JsonObject().AddJson("copied", list(copied)).AddJson("kept", list(kept)).Text());
    }
    return kExitDone;
}

// The member skips files it cannot find, so a mistyped folder would answer "no newer file".
void MustBeFolder(const String& folder, const char* what) {
    const std::string local = platform::DriveTable::Load().ToLocalPath(ToUtf8(folder));
    std::error_code error;
    if (local.empty() || !std::filesystem::is_directory(local, error))
        throw std::runtime_error(std::string(what) + " folder " + ToUtf8(folder) + " does not exist");
}

int Dates(Invocation& run) {
    const String sourcePath = Folder(run, run.line.args[0], "SOURCE"),
                 targetPath = Folder(run, run.line.args[1], "TARGET");
    MustBeFolder(sourcePath, "the SOURCE");
    MustBeFolder(targetPath, "the TARGET");
    std::vector<String> files;
    for (size_t i = 2; i < run.line.args.size(); ++i) files.push_back(U(run.line.args[i]));
    const bool different = run.helper.DifferentDates(SafeArray<String>::Vector(1, files), sourcePath, targetPath);
    if (run.json)
        PrintLine(JsonObject().Add("newer", different).Text());
    else
        PrintLine(different
                      ? "A file in " + ToUtf8(sourcePath) + " was created after its copy in " + ToUtf8(targetPath) + "."
                      : "No file in " + ToUtf8(sourcePath) + " was created after its copy in " + ToUtf8(targetPath) +
                            ".");
    return different ? kExitDone : kExitNo;
}

std::vector<const char*> With(std::initializer_list<const char*> own, bool credentials) {
    std::vector<const char*> options(own);
    if (credentials) options.insert(options.begin(), std::begin(kCredentialOptions), std::end(kCredentialOptions));
    return options;
}

}  // namespace

const std::vector<OptionSpec>& AllOptions() {
    static const std::vector<OptionSpec> options = {
        {"server", "NAME", "the database server (default: the local engine)"},
        {"user", "NAME", "user name for the server"},
        {"password-stdin", nullptr, "read the password from the first line of standard input"},
        {"engine-home", "DIR", "the engine's home folder (sets VARNHOLT_ENGINE_HOME)"},
        {"literals", "FILE", "user-visible texts, lines 'N<TAB>text' (Literals) and 'PN<TAB>text' (Lits)"},
        {"json", nullptr, "print one JSON value instead of text"},
        {"help", nullptr, "show help (also -h)"},
        {"version", nullptr, "show the tool's version"},
        {"new-name", "NAME", "the new database name"},
        {"dict", "DIR", "the dictionary folder (the DDF files)"},
        {"data", "DIR", "the data folder (the data files)"},
        {"master", "DIR", "the master dictionary folder the DDF files are copied from"},
        {"login", nullptr, "ask for the credentials before creating (with --master)"},
        {"test-table", "TABLE", "prove the connection with 'Select Top 1 * From TABLE'"},
        {"name", "NAME", "the database name"},
    };
    return options;
}

const std::vector<CommandSpec>& AllCommands() {
    static const std::vector<CommandSpec> commands = {
        {"list", "", "database names of a server with their dictionary and data folders",
         "Lists the database names of the server in the engine's order, with the dictionary folder and\n"
         "the data folder of each. With --json: {\"server\": S, \"names\": [{\"id\": N, \"name\": ...,\n"
         "\"dictionary\": ..., \"data\": ...}, ...]}.",
         0, 0, With({}, true), List},
        {"count", "", "number of database names of a server", "Prints how many database names the server has.", 0, 0,
         With({}, true), Count},
        {"create", "NAME DICT DATA", "create a database name",
         "Creates the database name NAME for the dictionary folder DICT and the data folder DATA, stored\n"
         "as given. With --master, as the applications create names: DATA must hold a *.DAT file, the\n"
         "DDF files DICT lacks are copied from the master folder, and folders on network drives are\n"
         "stored as UNC paths; --login then asks for the credentials first.",
         3, 3, With({"master", "login"}, true), Create},
        {"drop", "NAME", "remove a database name",
         "Removes the database name NAME from the server. Its folders and files stay.", 1, 1, With({}, true), Drop},
        {"modify", "NAME", "rename a database name or change its folders",
         "Changes the database name NAME: --new-name renames it, --dict and --data change its folders.\n"
         "What is not given stays as it is.",
         1, 1, With({"new-name", "dict", "data"}, true), Modify},
        {"version",
         "",
         "version and platform of the local engine",
         "Prints the local engine's version, major version and platform code, and which generation of\n"
         "the administration library this machine offers.",
         0,
         0,
         {},
         Version},
        {"find", "DATA-PATH", "the database name whose data folder is DATA-PATH",
         "Prints the first database name whose data folder is exactly DATA-PATH (same case, same\n"
         "trailing backslash). With --server and without a user name or password, asks for them.\n"
         "Exit status 3 when no name has that data folder.",
         1, 1, With({}, true), Find},
        {"exists", "NAME", "whether a database name exists",
         "Tells whether the database name NAME exists on the server (letter case does not matter).\n"
         "Exit status 3 when it does not.",
         1, 1, With({}, true), Exists},
        {"connection-string", "NAME", "the ODBC connection string of a database name",
         "Prints the connection string for the database name NAME on the server (the local computer\n"
         "without --server). The name is addressed as @NAME.",
         1, 1, With({}, true), ConnectionString},
        {"connect", "NAME", "open a connection to a database name",
         "Opens an ODBC connection to the database name NAME and closes it again; with --test-table,\n"
         "runs 'Select Top 1 * From TABLE' on it first.",
         1, 1, With({"test-table"}, true), Connect},
        {"provision",
         "DATA-PATH",
         "make sure a company folder has its database name",
         "Provisions the company folder DATA-PATH as the applications do: finds the server of the\n"
         "folder, creates the database name --name when it does not exist (the folder must hold a *.DAT\n"
         "file; the DDF files are copied into it from --master), and prints the connection string.\n"
         "On a server, the default credentials are tried first and a login is asked for when they are\n"
         "refused; with --user or --password-stdin those credentials are used and nothing is asked.\n"
         "--test-table proves the result with a query.",
         1,
         1,
         {"name", "master", "test-table", "user", "password-stdin"},
         Provision},
        {"repoint",
         "NAME",
         "point a database name at moved folders",
         "Re-points the database name NAME at the data folder --data and the dictionary folder --dict\n"
         "(DDF files it lacks are copied from --master), renaming it with --new-name. The server is\n"
         "the one of the data folder. A name that does not exist is left alone: exit status 3.",
         1,
         1,
         {"data", "dict", "master", "new-name", "user", "password-stdin"},
         Repoint},
        {"path",
         "OPERATION [ARGS]",
         "path helpers: computer-name, unc, server, folder, legit-name, exists",
         "  path computer-name               this computer's name\n"
         "  path unc PATH                    PATH with a network drive letter replaced by its share\n"
         "  path server PATH                 the server of a path on a network drive, else empty\n"
         "  path folder PATH                 the last folder of PATH\n"
         "  path legit-name PREFIX FOLDER    the database name made of PREFIX and FOLDER's last folder\n"
         "  path exists PATTERN              whether a normal file matches PATTERN (* and ?); exit\n"
         "                                   status 3 when none does\n"
         "Drive letters come from the drive table named by VARNHOLT_DRIVES.",
         1,
         3,
         {},
         Path},
        {"copy-dictionary",
         "MASTER TARGET",
         "copy the DDF files a dictionary folder lacks",
         "Copies File.ddf, Field.ddf, Index.ddf and Attrib.ddf from MASTER into TARGET where TARGET\n"
         "lacks them. Files TARGET has are never replaced. Stops at the first failure.",
         2,
         2,
         {},
         CopyDictionary},
        {"dates",
         "SOURCE TARGET FILE...",
         "whether a file in SOURCE was created after its copy in TARGET",
         "Compares the creation times of each FILE in SOURCE and TARGET (files missing on either side\n"
         "are skipped). Exit status 0 when a file in SOURCE is newer, 3 when none is; a folder that\n"
         "does not exist is an error.",
         3,
         -1,
         {},
         Dates},
    };
    return commands;
}

int Run(const CommandLine& line) {
    Invocation run{line, DefaultTexts(), {}, {}, {}, {}, line.Has("json")};
    if (const auto file = line.Value("literals")) {
        try {
            LoadTexts(*file, run.texts);
        } catch (const std::runtime_error& e) {
            throw UsageError(e.what(), line.command->name);
        }
    }
    run.helper.SetLiterals(run.texts.Literals);
    run.server = U(line.Value("server"));
    run.user = U(line.Value("user"));
    if (line.Has("password-stdin")) run.password = U(ReadPasswordLine());
    return line.command->run(run);
}

}  // namespace varnholt::cli
