// A small Windows build of the stand-in engine for the Wine tests: the administration entry
// points over the engine home's plain text files (engine.conf, local/dbnames,
// servers/NAME/dbnames, servers/NAME/users), with the stand-in's statuses. The folder comes
// from VARNHOLT_ENGINE_HOME in Windows form.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EntryPoints.h"

namespace {

using varnholt::engine::MkdeVersion;

constexpr int32_t kOk = 0, kInvalidHandle = 7001, kNullPointer = 7002, kBufferTooSmall = 7003,
                  kGeneralFailure = 7004, kBadSequence = 7008, kNameExists = 7012, kNameMissing = 7013,
                  kInvalidUser = 7029;
constexpr int32_t kLocalHandle = -1;

struct Entry {
    std::string name, dictionary, data, flags;
};

std::string Home() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("VARNHOLT_ENGINE_HOME", buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string(".");
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

std::vector<std::vector<std::string>> ReadTable(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

std::vector<Entry> ReadNames(const std::string& folder) {
    std::vector<Entry> names;
    for (const auto& row : ReadTable(folder + "\\dbnames"))
        if (row.size() >= 3) names.push_back({row[0], row[1], row[2], row.size() > 3 ? row[3] : "0"});
    return names;
}

// Whole file written beside, then moved over the old one.
bool WriteNames(const std::string& folder, const std::vector<Entry>& names) {
    const std::string path = folder + "\\dbnames", temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const Entry& e : names) out << e.name << '\t' << e.dictionary << '\t' << e.data << '\t' << e.flags << '\n';
        if (!out.flush()) return false;
    }
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::map<int32_t, std::string>& Connections() {
    static std::map<int32_t, std::string> open;
    return open;
}

int32_t FolderOf(int32_t handle, std::string& folder) {
    if (handle == kLocalHandle) {
        folder = Home() + "\\local";
        return kOk;
    }
    const auto found = Connections().find(handle);
    if (found == Connections().end()) return kInvalidHandle;
    folder = found->second;
    return kOk;
}

std::optional<size_t> FindName(const std::vector<Entry>& names, const char* name) {
    for (size_t i = 0; i < names.size(); ++i)
        if (Upper(names[i].name) == Upper(name)) return i;
    return std::nullopt;
}

int32_t CopyOut(const std::string& text, int32_t* size, char* buffer) {
    const int32_t needed = static_cast<int32_t>(text.size() + 1);
    if (*size < needed) {
        *size = needed;
        return kBufferTooSmall;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = needed;
    return kOk;
}

int32_t GetPath(int32_t handle, const char* name, int32_t* size, char* buffer, std::string Entry::*field) {
    std::string folder;
    if (const int32_t status = FolderOf(handle, folder)) return status;
    if (!name || !size || !buffer) return kNullPointer;
    const std::vector<Entry> names = ReadNames(folder);
    const std::optional<size_t> at = FindName(names, name);
    return at ? CopyOut(names[*at].*field, size, buffer) : kNameMissing;
}

}  // namespace

extern "C" {

int32_t VARNHOLT_ENGINE_API PvStart(int32_t) { return kOk; }
int32_t VARNHOLT_ENGINE_API PvStop(int32_t) { return kOk; }

int32_t VARNHOLT_ENGINE_API PvConnectServer(const char* serverName, const char* userName, const char* password,
                                            int32_t* phConnection) {
    if (!serverName || !phConnection) return kNullPointer;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = sizeof computer;
    std::string folder = Home() + "\\servers\\" + serverName;
    if (GetComputerNameA(computer, &n) && Upper(computer) == Upper(serverName)) folder = Home() + "\\local";
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return kGeneralFailure;
    const auto users = ReadTable(folder + "\\users");
    if (GetFileAttributesA((folder + "\\users").c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (!userName || !password || !*userName || !*password) return kNullPointer;
        bool accepted = false;
        for (const auto& row : users)
            if (row.size() >= 2 && Upper(row[0]) == Upper(userName) && row[1] == password) accepted = true;
        if (!accepted) return kInvalidUser;
    }
    static int32_t next = 1;
    *phConnection = next;
    Connections()[next++] = folder;
    return kOk;
}

int32_t VARNHOLT_ENGINE_API PvDisconnect(int32_t hConnection) {
    if (hConnection == kLocalHandle) return kOk;
    return Connections().erase(hConnection) ? kOk : kInvalidHandle;
}

int32_t VARNHOLT_ENGINE_API PvCreateDatabase(int32_t hConnection, const char* dbName, const char* dictPath,
                                             const char* dataPath, int32_t dbFlags) {
    std::string folder;
    if (const int32_t status = FolderOf(hConnection, folder)) return status;
    if (!dbName || !dictPath || !dataPath) return kNullPointer;
    std::vector<Entry> names = ReadNames(folder);
    if (FindName(names, dbName)) return kNameExists;
    names.push_back({dbName, dictPath, dataPath, std::to_string(dbFlags)});
    return WriteNames(folder, names) ? kOk : kGeneralFailure;
}

int32_t VARNHOLT_ENGINE_API PvGetDbName(int32_t hConnection, int32_t sequence, int32_t* pBufSize, char* dbName) {
    std::string folder;
    if (const int32_t status = FolderOf(hConnection, folder)) return status;
    if (!pBufSize || !dbName) return kNullPointer;
    const std::vector<Entry> names = ReadNames(folder);
    if (sequence < 1 || sequence > static_cast<int32_t>(names.size())) return kBadSequence;
    return CopyOut(names[static_cast<size_t>(sequence - 1)].name, pBufSize, dbName);
}

int32_t VARNHOLT_ENGINE_API PvGetDbDataPath(int32_t hConnection, const char* dbName, int32_t* pBufSize,
                                            char* dataPath) {
    return GetPath(hConnection, dbName, pBufSize, dataPath, &Entry::data);
}

int32_t VARNHOLT_ENGINE_API PvGetDbDictionaryPath(int32_t hConnection, const char* dbName, int32_t* pBufSize,
                                                  char* dictPath) {
    return GetPath(hConnection, dbName, pBufSize, dictPath, &Entry::dictionary);
}

int32_t VARNHOLT_ENGINE_API PvGetDbNamesData(int32_t hConnection, int32_t* pCount) {
    std::string folder;
    if (const int32_t status = FolderOf(hConnection, folder)) return status;
    if (!pCount) return kNullPointer;
    *pCount = static_cast<int32_t>(ReadNames(folder).size());
    return kOk;
}

int32_t VARNHOLT_ENGINE_API PvDropDatabase(int32_t hConnection, const char* dbName, int32_t) {
    std::string folder;
    if (const int32_t status = FolderOf(hConnection, folder)) return status;
    if (!dbName) return kNullPointer;
    std::vector<Entry> names = ReadNames(folder);
    const std::optional<size_t> at = FindName(names, dbName);
    if (!at) return kNameMissing;
    names.erase(names.begin() + static_cast<ptrdiff_t>(*at));
    return WriteNames(folder, names) ? kOk : kGeneralFailure;
}

int32_t VARNHOLT_ENGINE_API PvModifyDatabase(int32_t hConnection, const char* dbNameExisting, const char* dbNameNew,
                                             const char* dictPath, const char* dataPath, int32_t) {
    std::string folder;
    if (const int32_t status = FolderOf(hConnection, folder)) return status;
    if (!dbNameExisting || !dbNameNew || !dictPath || !dataPath) return kNullPointer;
    std::vector<Entry> names = ReadNames(folder);
    const std::optional<size_t> at = FindName(names, dbNameExisting);
    if (!at) return kNameMissing;
    // Empty texts keep what the name had.
    if (*dbNameNew) names[*at].name = dbNameNew;
    if (*dictPath) names[*at].dictionary = dictPath;
    if (*dataPath) names[*at].data = dataPath;
    return WriteNames(folder, names) ? kOk : kGeneralFailure;
}

int32_t VARNHOLT_ENGINE_API PvGetMkdeVersion(int32_t hConnection, MkdeVersion* version) {
    if (hConnection != kLocalHandle) return kInvalidHandle;
    if (!version) return kNullPointer;
    std::memset(version, 0, sizeof *version);
    for (const auto& row : ReadTable(Home() + "\\engine.conf")) {
        const std::string& line = row[0];
        if (line.rfind("version=", 0) == 0) {
            std::sscanf(line.c_str() + 8, "%d.%d.%d", &version->major, &version->minor, &version->build);
        } else if (line.rfind("platform=", 0) == 0 && line.size() > 9) {
            version->platform = line[9];
        }
    }
    return kOk;
}

}  // extern "C"
