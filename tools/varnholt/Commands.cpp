// The command table (each command's help is written here once: the tool's help, the manual
// page and the shell completion come from it), the setup of an invocation, and the helpers the
// command files share.
#include <initializer_list>
#include <iterator>
#include <stdexcept>

#include "CommandSupport.h"
#include "Credentials.h"
#include "varnholt/Login.h"

namespace varnholt::cli {

std::string Required(const Invocation& run, const char* option) {
    const std::optional<std::string> value = run.line.Value(option);
    if (!value) throw UsageError(std::string(run.line.command->name) + " needs --" + option, run.line.command->name);
    return *value;
}

AdminSession::AdminSession(const String& server, const String& user, const String& password) {
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

void AdminSession::Close() noexcept {
    try {
        server_.DisConnect();
    } catch (...) {}
}

std::vector<Entry> Entries(const Variant& list) {
    std::vector<Entry> entries;
    if (!list.IsArray()) return entries;
    const SafeArray<Variant>& names = list.AsArray();
    for (int32_t n = names.LBound(2); n <= names.UBound(2); ++n)
        entries.push_back({n, names.At(1, n).ToText(), names.At(3, n).ToText(), names.At(2, n).ToText()});
    return entries;
}

namespace {

constexpr const char* kCredentialOptions[] = {"server", "user", "password-stdin"};

std::vector<const char*> With(std::initializer_list<const char*> own, bool credentials) {
    std::vector<const char*> options(own);
    if (credentials) options.insert(options.begin(), std::begin(kCredentialOptions), std::end(kCredentialOptions));
    return options;
}

}  // namespace

const std::vector<OptionInfo>& AllOptions() {
    static const std::vector<OptionInfo> options = {
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

const std::vector<CommandInfo>& AllCommands() {
    static const std::vector<CommandInfo> commands = {
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
    if (line.Has("password-stdin")) run.password = U(ReadLineWithoutEcho("Password: "));
    return line.command->run(run);
}

}  // namespace varnholt::cli
