#include "odbc/DriverSession.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <system_error>

#include "odbc/DriverText.h"
#include "store/EngineHome.h"
#include "store/Faults.h"
#include "store/Files.h"
#include "store/Journal.h"
#include "store/NameStore.h"
#include "store/Status.h"
#include "store/Text.h"

namespace varnholt::standin {
namespace {

constexpr char kLibrary[] = "ODBC";
constexpr char kPrefix[] = "[Varnholt][Stand-in ODBC] ";

// Engine statuses the driver reports inside its messages.
constexpr int32_t kServerUnreachable = 3012;
constexpr int32_t kUnknownDatabaseName = 2301;
constexpr int32_t kFileNotFound = 12;

DriverFailure Failure(std::string state, int32_t native, std::string message) {
    return {std::move(state), native, std::move(message)};
}

// An engine failure: the message ends with the engine's status, the one part clients parse.
DriverFailure EngineFailure(const char* state, int32_t status, const std::string& text) {
    return Failure(state, status, kPrefix + text + " (Btrieve Error " + std::to_string(status) + ")");
}

// The folder's entry named stem + extension without regard to case, as the folder spells the stem.
std::optional<std::string> FolderEntry(const std::string& folder, std::string_view stem, std::string_view extension) {
    if (folder.empty()) return std::nullopt;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(NativePath(folder), error)) {
        if (entry.is_directory(error)) continue;
        const std::string name = Utf8Path(entry.path().filename());
        if (name.size() <= extension.size()) continue;
        const std::string_view view = name;
        const std::string_view own = view.substr(0, view.size() - extension.size());
        if (SameText(view.substr(own.size()), extension) && SameText(own, stem)) return std::string(own);
    }
    return std::nullopt;
}

DriverConnection Refused(DriverFailure failure) {
    DriverConnection connection;
    connection.failure = std::move(failure);
    return connection;
}

// Journals the call and returns the status of a fault set for it, if any.
std::optional<int32_t> Begin(const std::string& home, const char* function, const std::string& argument) {
    const HomeFiles files = ProbeHomeFiles(home);
    if (files.journal) RecordCall(home, kLibrary, function, {JournalArg::Text(argument.c_str())});
    return files.faults ? TakeFault(home, function) : std::nullopt;
}

}  // namespace

std::string LocalHostName() {
#ifdef _WIN32
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(host, &length) ? Utf8Path(std::filesystem::path(std::wstring(host, length))) : "";
#else
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
#endif
}

DriverConnection DriverConnect(const std::string& text, LocalPathFn localPath) {
    const std::string home = EngineHome();
    if (const std::optional<int32_t> fault = Begin(home, "SQLDriverConnect", text)) {
        if (*fault == kOk) return {};
        return Refused(EngineFailure("HY000", *fault, "Injected failure."));
    }
    const std::string server = Attribute(text, "ServerName").value_or("");
    const std::string shownServer = server.empty() ? LocalHostName() : server;
    const std::optional<std::string> folder = FindServerFolder(home, server);
    if (!folder)
        return Refused(EngineFailure("08001", kServerUnreachable, "Server " + shownServer + " is not reachable."));
    // A server whose engine is stopped: the driver names the engine but has no status to give.
    std::error_code error;
    if (std::filesystem::exists(NativePath(*folder + "/offline"), error))
        return Refused(Failure(
            "08001", 0, std::string(kPrefix) + "The Btrieve engine on server " + shownServer + " is not running."));

    std::string name = Attribute(text, "dbq").value_or("");
    if (!name.empty() && name.front() == '@') name.erase(0, 1);
    DatabaseName entry;
    const int32_t status = name.empty() ? kNameMissing : NameStore::ForFolder(*folder).Find(name, entry);
    if (status == kNameMissing)
        return Refused(EngineFailure("08001", kUnknownDatabaseName,
                                     "Database name " + name + " is not defined on server " + shownServer + "."));
    if (status != kOk)
        return Refused(
            EngineFailure("08001", status, "The database names of server " + shownServer + " are not available."));
    if (!FolderEntry(localPath(entry.dictionaryPath), "FILE", ".DDF"))
        return Refused(EngineFailure(
            "08001", kFileNotFound,
            "The dictionary file FILE.DDF of " + entry.name + " is missing in " + entry.dictionaryPath + "."));
    return {std::nullopt, localPath(entry.dataPath), server, entry.name};
}

DriverExecution DriverExecute(const std::string& dataFolder, const std::string& sql, const char* function, bool check) {
    if (const std::optional<int32_t> fault = Begin(EngineHome(), function, sql)) {
        if (*fault != kOk) return {EngineFailure("HY000", *fault, "Injected failure."), {}};
        return {};
    }
    if (!check) return {};
    const std::optional<std::string> name = SelectTable(sql);
    if (!name) return {Failure("42000", 0, std::string(kPrefix) + "Syntax error in the statement: " + sql), {}};
    std::optional<std::string> table = FolderEntry(dataFolder, *name, ".DAT");
    if (!table) return {Failure("42S02", 0, "No such table or object."), {}};
    return {std::nullopt, std::move(*table)};
}

}  // namespace varnholt::standin
