// The stand-in engine's administration library. One source serves every generation's file;
// VARNHOLT_STANDIN_LIBRARY names the file in the journal, and a version script decides which
// entry points the file exports (a .def file on Windows).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>

#include "engine/EntryPoints.h"
#include "store/Answers.h"
#include "store/EngineHome.h"
#include "store/Faults.h"
#include "store/Journal.h"
#include "store/NameStore.h"
#include "store/Status.h"
#include "store/Text.h"

#ifndef VARNHOLT_STANDIN_LIBRARY
#error "VARNHOLT_STANDIN_LIBRARY names the library in the journal"
#endif

#ifdef _WIN32
#define STANDIN_EXPORT extern "C"  // exported, undecorated, through the .def file
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace varnholt::standin;
using varnholt::engine::MkdeVersion;

constexpr char kLibrary[] = VARNHOLT_STANDIN_LIBRARY;
constexpr int32_t kLocalHandle = -1;

// Sessions of this process: handle -> server folder, and the names its last count saw. The
// local engine (-1) has one session per server folder: the home may change between calls.
class Connections {
public:
    int32_t Open(std::string folder) {
        std::lock_guard lock(mutex_);
        const int32_t handle = next_++;
        open_.emplace(handle, Session{std::move(folder), nullptr});
        return handle;
    }
    bool Close(int32_t handle) {
        std::lock_guard lock(mutex_);
        return open_.erase(handle) > 0;
    }
    // The folder behind a handle; -1 is the local engine of the current home.
    int32_t Folder(const std::string& home, int32_t handle, std::string& folder) {
        if (handle == kLocalHandle) {
            folder = LocalServerFolder(home);
            return kOk;
        }
        std::lock_guard lock(mutex_);
        const auto found = open_.find(handle);
        if (found == open_.end()) return kInvalidHandle;
        folder = found->second.folder;
        return kOk;
    }
    // The names the session's reads index until its next count; none (reads go to the store)
    // before its first count and after a change of its own.
    void SetListed(int32_t handle, const std::string& folder, NameSnapshot names) {
        std::lock_guard lock(mutex_);
        if (Session* session = Find(handle, folder)) session->listed = std::move(names);
    }
    NameSnapshot Listed(int32_t handle, const std::string& folder) {
        std::lock_guard lock(mutex_);
        const Session* session = Find(handle, folder);
        return session ? session->listed : nullptr;
    }

private:
    struct Session {
        std::string folder;
        NameSnapshot listed;
    };
    Session* Find(int32_t handle, const std::string& folder) {
        if (handle == kLocalHandle) return &local_.try_emplace(folder, Session{folder, nullptr}).first->second;
        const auto found = open_.find(handle);
        return found != open_.end() && found->second.folder == folder ? &found->second : nullptr;
    }

    std::mutex mutex_;
    std::map<int32_t, Session> open_;
    std::map<std::string, Session> local_;
    int32_t next_ = 1;
};

Connections& OpenConnections() {
    static Connections connections;
    return connections;
}

// What every entry point does first: journal the call, then look for a fault.
struct Call {
    std::string home;
    std::optional<int32_t> fault;
    bool answers = false;  // the home has an answers file
};

Call Begin(const char* function, std::initializer_list<JournalArg> args) {
    Call call{EngineHome(), std::nullopt};
    const HomeFiles files = ProbeHomeFiles(call.home);
    if (files.journal) RecordCall(call.home, kLibrary, function, args);
    if (files.faults) call.fault = TakeFault(call.home, function);
    call.answers = files.answers;
    return call;
}

// A scripted answer in place of the store's text: its bytes as far as the buffer reaches, no
// terminator added, and its size.
std::optional<int32_t> ScriptedAnswer(const Call& call, const char* function, int32_t* pBufSize, char* buffer) {
    if (!call.answers || !pBufSize || !buffer) return std::nullopt;
    const std::optional<Answer> answer = FindAnswer(call.home, function);
    if (!answer) return std::nullopt;
    std::memcpy(buffer, answer->bytes.data(),
                std::min(answer->bytes.size(), static_cast<size_t>(std::max(*pBufSize, 0))));
    *pBufSize = answer->size;
    return kOk;
}

// The store of the handle's server, or the status that stops the call.
int32_t StoreOf(const Call& call, int32_t handle, NameStore*& store, std::string* folderOut = nullptr) {
    std::string folder;
    if (const int32_t status = OpenConnections().Folder(call.home, handle, folder)) return status;
    store = &NameStore::ForFolder(folder);
    if (folderOut) *folderOut = std::move(folder);
    return kOk;
}

// A change of the session's own ends its listing: its next reads see the change.
int32_t Changed(int32_t handle, const std::string& folder, int32_t status) {
    if (status == kOk) OpenConnections().SetListed(handle, folder, nullptr);
    return status;
}

// Writes text and its NUL at the start of buffer, and nothing beyond them.
int32_t CopyOut(const std::string& utf8, int32_t* pBufSize, char* buffer) {
    const std::string text = Utf8ToAnsi(utf8);
    const int32_t needed = static_cast<int32_t>(text.size() + 1);
    if (*pBufSize < needed) {
        *pBufSize = needed;
        return kBufferTooSmall;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *pBufSize = needed;
    return kOk;
}

int32_t GetPath(const char* function, int32_t hConnection, const char* dbName, int32_t* pBufSize, char* path,
                std::string DatabaseName::*field) {
    const Call call = Begin(
        function, {JournalArg::Number(hConnection), JournalArg::AnsiText(dbName), JournalArg::NumberAt(pBufSize)});
    if (call.fault) return *call.fault;
    if (const std::optional<int32_t> answered = ScriptedAnswer(call, function, pBufSize, path)) return *answered;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!dbName || !pBufSize || !path) return kNullPointer;
    DatabaseName entry;
    const std::string name = AnsiToUtf8(dbName);
    int32_t status = store->Find(name, entry);
    // A name of the session's listing that another has dropped or renamed since still has its
    // paths: the listing stays whole.
    if (status == kNameMissing)
        if (const NameSnapshot listed = OpenConnections().Listed(hConnection, folder))
            status = listed->Find(name, entry);
    if (status != kOk) return status;
    return CopyOut(entry.*field, pBufSize, path);
}

}  // namespace

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvStart(int32_t reserved) {
    const Call call = Begin("PvStart", {JournalArg::Number(reserved)});
    return call.fault.value_or(kOk);
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvStop(int32_t reserved) {
    const Call call = Begin("PvStop", {JournalArg::Number(reserved)});
    return call.fault.value_or(kOk);
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvConnectServer(const char* serverName, const char* userName,
                                                           const char* password, int32_t* phConnection) {
    const Call call = Begin("PvConnectServer", {JournalArg::AnsiText(serverName), JournalArg::AnsiText(userName),
                                                JournalArg::SecretLength(password)});
    if (call.fault) return *call.fault;
    if (!serverName || !phConnection) return kNullPointer;
    const std::optional<std::string> folder = FindServerFolder(call.home, AnsiToUtf8(serverName));
    if (!folder) return kGeneralFailure;
    const std::string user = userName ? AnsiToUtf8(userName) : std::string();
    const std::string secret = password ? AnsiToUtf8(password) : std::string();
    switch (CheckCredentials(*folder, userName ? user.c_str() : nullptr, password ? secret.c_str() : nullptr)) {
        case CredentialCheck::kAccepted: break;
        case CredentialCheck::kMissing: return kNullPointer;
        case CredentialCheck::kRejected: return kInvalidUser;
    }
    *phConnection = OpenConnections().Open(*folder);
    return kOk;
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvDisconnect(int32_t hConnection) {
    const Call call = Begin("PvDisconnect", {JournalArg::Number(hConnection)});
    if (call.fault) return *call.fault;
    if (hConnection == kLocalHandle) return kOk;
    return OpenConnections().Close(hConnection) ? kOk : kInvalidHandle;
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvCreateDatabase(int32_t hConnection, const char* dbName,
                                                            const char* dictPath, const char* dataPath,
                                                            int32_t dbFlags) {
    const Call call = Begin("PvCreateDatabase", {JournalArg::Number(hConnection), JournalArg::AnsiText(dbName),
                                                 JournalArg::AnsiText(dictPath), JournalArg::AnsiText(dataPath),
                                                 JournalArg::Number(dbFlags)});
    if (call.fault) return *call.fault;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!dbName || !dictPath || !dataPath) return kNullPointer;
    return Changed(hConnection, folder,
                   store->Create({AnsiToUtf8(dbName), AnsiToUtf8(dictPath), AnsiToUtf8(dataPath), dbFlags}));
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvGetDbName(int32_t hConnection, int32_t sequence, int32_t* pBufSize,
                                                       char* dbName) {
    const Call call = Begin(
        "PvGetDbName", {JournalArg::Number(hConnection), JournalArg::Number(sequence), JournalArg::NumberAt(pBufSize)});
    if (call.fault) return *call.fault;
    if (const std::optional<int32_t> answered = ScriptedAnswer(call, "PvGetDbName", pBufSize, dbName)) return *answered;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!pBufSize || !dbName) return kNullPointer;
    DatabaseName entry;
    const NameSnapshot listed = OpenConnections().Listed(hConnection, folder);
    if (const int32_t status = listed ? listed->At(sequence, entry) : store->At(sequence, entry)) return status;
    return CopyOut(entry.name, pBufSize, dbName);
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvGetDbDataPath(int32_t hConnection, const char* dbName, int32_t* pBufSize,
                                                           char* dataPath) {
    return GetPath("PvGetDbDataPath", hConnection, dbName, pBufSize, dataPath, &DatabaseName::dataPath);
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvGetDbDictionaryPath(int32_t hConnection, const char* dbName,
                                                                 int32_t* pBufSize, char* dictPath) {
    return GetPath("PvGetDbDictionaryPath", hConnection, dbName, pBufSize, dictPath, &DatabaseName::dictionaryPath);
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvGetDbNamesData(int32_t hConnection, int32_t* pCount) {
    const Call call = Begin("PvGetDbNamesData", {JournalArg::Number(hConnection)});
    if (call.fault) return *call.fault;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!pCount) return kNullPointer;
    // A scripted count (its SIZE), for counts no store of test size could reach.
    if (call.answers)
        if (const std::optional<Answer> answer = FindAnswer(call.home, "PvGetDbNamesData")) {
            *pCount = answer->size;
            return kOk;
        }
    NameSnapshot names;
    if (const int32_t status = store->Snapshot(names)) return status;
    OpenConnections().SetListed(hConnection, folder, names);
    *pCount = names->Size();
    return kOk;
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvDropDatabase(int32_t hConnection, const char* dbName, int32_t option) {
    const Call call = Begin(
        "PvDropDatabase", {JournalArg::Number(hConnection), JournalArg::AnsiText(dbName), JournalArg::Number(option)});
    if (call.fault) return *call.fault;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!dbName) return kNullPointer;
    return Changed(hConnection, folder, store->Drop(AnsiToUtf8(dbName)));
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvModifyDatabase(int32_t hConnection, const char* dbNameExisting,
                                                            const char* dbNameNew, const char* dictPath,
                                                            const char* dataPath, int32_t dbFlags) {
    const Call call = Begin("PvModifyDatabase", {JournalArg::Number(hConnection), JournalArg::AnsiText(dbNameExisting),
                                                 JournalArg::AnsiText(dbNameNew), JournalArg::AnsiText(dictPath),
                                                 JournalArg::AnsiText(dataPath), JournalArg::Number(dbFlags)});
    if (call.fault) return *call.fault;
    NameStore* store = nullptr;
    std::string folder;
    if (const int32_t status = StoreOf(call, hConnection, store, &folder)) return status;
    if (!dbNameExisting || !dbNameNew || !dictPath || !dataPath) return kNullPointer;
    return Changed(hConnection, folder,
                   store->Modify(AnsiToUtf8(dbNameExisting), AnsiToUtf8(dbNameNew), AnsiToUtf8(dictPath),
                                 AnsiToUtf8(dataPath), dbFlags));
}

STANDIN_EXPORT int32_t VARNHOLT_ENGINE_API PvGetMkdeVersion(int32_t hConnection, MkdeVersion* version) {
    const Call call = Begin("PvGetMkdeVersion", {JournalArg::Number(hConnection)});
    if (call.fault) return *call.fault;
    // The version library has no connections of its own: it answers for the local engine.
    if (hConnection != kLocalHandle) return kInvalidHandle;
    if (!version) return kNullPointer;
    const EngineVersionInfo info = ReadEngineConf(call.home);
    version->major = info.major;
    version->minor = info.minor;
    version->build = info.build;
    version->platform = info.platform;
    std::memset(version->reserved, 0, sizeof version->reserved);
    return kOk;
}

// The entry points keep the declarations the component calls them through.
namespace engine = varnholt::engine;
static_assert(std::is_same_v<decltype(&PvStart), engine::PvStartFn>);
static_assert(std::is_same_v<decltype(&PvStop), engine::PvStopFn>);
static_assert(std::is_same_v<decltype(&PvConnectServer), engine::PvConnectServerFn>);
static_assert(std::is_same_v<decltype(&PvDisconnect), engine::PvDisconnectFn>);
static_assert(std::is_same_v<decltype(&PvCreateDatabase), engine::PvCreateDatabaseFn>);
static_assert(std::is_same_v<decltype(&PvGetDbName), engine::PvGetDbNameFn>);
static_assert(std::is_same_v<decltype(&PvGetDbDataPath), engine::PvGetDbPathFn>);
static_assert(std::is_same_v<decltype(&PvGetDbDictionaryPath), engine::PvGetDbPathFn>);
static_assert(std::is_same_v<decltype(&PvGetDbNamesData), engine::PvGetDbNamesDataFn>);
static_assert(std::is_same_v<decltype(&PvDropDatabase), engine::PvDropDatabaseFn>);
static_assert(std::is_same_v<decltype(&PvModifyDatabase), engine::PvModifyDatabaseFn>);
static_assert(std::is_same_v<decltype(&PvGetMkdeVersion), engine::PvGetMkdeVersionFn>);
