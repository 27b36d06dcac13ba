#include "store/EngineHome.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "store/Files.h"
#include "store/Text.h"

namespace varnholt::standin {

std::string EngineHome() {
    if (const char* home = std::getenv("VARNHOLT_ENGINE_HOME"); home && *home) return home;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return std::string(data) + "/varnholt/engine";
    std::string user;
    if (const char* home = std::getenv("HOME"); home && *home) {
        user = home;
    } else if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        user = entry->pw_dir;
    }
    return user + "/.local/share/varnholt/engine";
}

std::string LocalServerFolder(const std::string& home) { return home + "/local"; }

HomeFiles ProbeHomeFiles(const std::string& home) {
    struct Snapshot {
        FileIdentity folder;
        HomeFiles files;
    };
    static std::mutex mutex;
    static std::map<std::string, Snapshot> snapshots;
    const FileIdentity folder = IdentifyFile(home);
    std::lock_guard lock(mutex);
    if (const auto found = snapshots.find(home); found != snapshots.end() && found->second.folder == folder)
        return found->second.files;
    const HomeFiles files{IdentifyFile(home + "/journal").exists, IdentifyFile(home + "/faults").exists,
                          IdentifyFile(home + "/answers").exists};
    // The folder's time has the kernel's coarse resolution: a file created within the same
    // tick as the change just seen would leave it unchanged. Only a folder whose last change
    // lies safely in the past vouches for the files it holds.
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    constexpr int64_t kMarginNs = 100'000'000;
    if (folder.exists && folder.mtimeNs < static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec - kMarginNs)
        snapshots[home] = {folder, files};
    else
        snapshots.erase(home);
    return files;
}

bool IsThisComputer(std::string_view serverName) {
    if (serverName.empty()) return true;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return false;
    return SameText(serverName, host);
}

std::optional<std::string> FindServerFolder(const std::string& home, std::string_view serverName) {
    if (IsThisComputer(serverName)) return LocalServerFolder(home);
    if (serverName.find('/') != std::string_view::npos || serverName == "." || serverName == "..") return std::nullopt;
    const std::string servers = home + "/servers";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(servers.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    const std::string wanted = FoldCase(serverName);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || FoldCase(name) != wanted) continue;
        const std::string folder = servers + "/" + entry->d_name;
        if (IdentifyFile(folder + "/.").exists) return folder;
    }
    return std::nullopt;
}

EngineVersionInfo ReadEngineConf(const std::string& home) {
    std::string content;
    FileIdentity identity;
    if (ReadFileContent(home + "/engine.conf", content, identity) != ReadOutcome::kRead) return {};
    return ParseEngineConf(content);
}

EngineVersionInfo ParseEngineConf(std::string_view content) {
    EngineVersionInfo info;
    for (std::string_view line : SplitLines(content)) {
        if (IsSkippedLine(line)) continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        const std::string_view value = TrimBlanks(line.substr(equals + 1));
        if (key == "platform" && !value.empty()) {
            info.platform = value.front();
        } else if (key == "version") {
            // "9.5.0"; missing trailing parts are 0, and a version that does not parse is ignored.
            int32_t parts[3] = {0, 0, 0};
            bool valid = !value.empty();
            std::string_view rest = value;
            for (size_t i = 0; i < 3 && valid && !rest.empty(); ++i) {
                const size_t dot = rest.find('.');
                const std::optional<int32_t> number = ParseInt32(rest.substr(0, dot));
                valid = number.has_value();
                parts[i] = number.value_or(0);
                rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
            }
            if (valid && rest.empty()) info.major = parts[0], info.minor = parts[1], info.build = parts[2];
        }
    }
    return info;
}

CredentialCheck CheckCredentials(const std::string& serverFolder, const char* user, const char* password) {
    std::string content;
    FileIdentity identity;
    const ReadOutcome outcome = ReadFileContent(serverFolder + "/users", content, identity);
    if (outcome == ReadOutcome::kMissing) return CredentialCheck::kAccepted;
    if (!user || !*user || !password || !*password) return CredentialCheck::kMissing;
    if (outcome == ReadOutcome::kFailed) return CredentialCheck::kRejected;
    return UsersAccept(content, user, password) ? CredentialCheck::kAccepted : CredentialCheck::kRejected;
}

bool UsersAccept(std::string_view content, std::string_view user, std::string_view password) {
    for (std::string_view line : SplitLines(content)) {
        if (IsSkippedLine(line)) continue;
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() >= 2 && SameText(fields[0], user) && fields[1] == password) return true;
    }
    return false;
}

}  // namespace varnholt::standin
