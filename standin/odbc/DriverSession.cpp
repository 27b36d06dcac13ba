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

std::string HostName() {
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

// Whether folder holds an entry named fileName without regard to case.
bool FolderHasFile(const std::string& folder, std::string_view fileName) {
    if (folder.empty()) return false;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(NativePath(folder), error))
        if (SameText(Utf8Path(entry.path().filename()), fileName)) return true;
    return false;
}

// Journals the call and returns the status of a fault set for it, if any.
std::optional<int32_t> Begin(const std::string& home, const char* function, const std::string& argument) {
    const HomeFiles files = ProbeHomeFiles(home);
    if (files.journal) RecordCall(home, kLibrary, function, {JournalArg::Text(argument.c_str())});
    return files.faults ? TakeFault(home, function) : std::nullopt;
}

}  // namespace

DriverConnection DriverConnect(const std::string& text, LocalPathFn localPath) {
    const std::string home = EngineHome();
    if (const std::optional<int32_t> fault = Begin(home, "SQLDriverConnect", text)) {
        if (*fault == kOk) return {};
        return {EngineFailure("HY000", *fault, "Injected failure."), {}};
    }
    const std::string server = Attribute(text, "ServerName").value_or("");
    const std::string shownServer = server.empty() ? HostName() : server;
    const std::optional<std::string> folder = FindServerFolder(home, server);
    if (!folder)
        return {EngineFailure("08001", kServerUnreachable, "Server " + shownServer + " is not reachable."), {}};
    // A server whose engine is stopped: the driver names the engine but has no status to give.
    std::error_code error;
    if (std::filesystem::exists(NativePath(*folder + "/offline"), error))
        return {Failure("08001", 0,
                        std::string(kPrefix) + "The Btrieve engine on server " + shownServer + " is not running."),
                {}};

    std::string name = Attribute(text, "dbq").value_or("");
    if (!name.empty() && name.front() == '@') name.erase(0, 1);
    DatabaseName entry;
    const int32_t status = name.empty() ? kNameMissing : NameStore::ForFolder(*folder).Find(name, entry);
    if (status == kNameMissing)
        return {EngineFailure("08001", kUnknownDatabaseName,
                              "Database name " + name + " is not defined on server " + shownServer + "."),
                {}};
    if (status != kOk)
        return {EngineFailure("08001", status, "The database names of server " + shownServer + " are not available."),
                {}};
    if (!FolderHasFile(localPath(entry.dictionaryPath), "FILE.DDF"))
        return {EngineFailure("08001", kFileNotFound,
                              "The dictionary file FILE.DDF of " + entry.name + " is missing in " +
                                  entry.dictionaryPath + "."),
                {}};
    return {std::nullopt, localPath(entry.dataPath)};
}

std::optional<DriverFailure> DriverExecute(const std::string& dataFolder, const std::string& sql) {
    const std::string home = EngineHome();
    if (const std::optional<int32_t> fault = Begin(home, "SQLExecDirect", sql)) {
        if (*fault != kOk) return EngineFailure("HY000", *fault, "Injected failure.");
        return std::nullopt;
    }
    const std::optional<std::string> table = SelectTopTable(sql);
    if (!table) return Failure("42000", 0, std::string(kPrefix) + "Syntax error in the statement: " + sql);
    if (!FolderHasFile(dataFolder, *table + ".DAT")) return Failure("42S02", 0, "No such table or object.");
    return std::nullopt;
}

}  // namespace varnholt::standin
