#include "store/EngineHome.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

#include "store/Files.h"
#include "store/Text.h"

namespace varnholt::standin {

#ifdef _WIN32
namespace {

// Environment values as UTF-8: the narrow environment would pass them through the code page.
std::optional<std::string> Variable(const wchar_t* name) {
    const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (needed <= 1) return std::nullopt;
    std::wstring value(needed, L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), needed));
    return Utf8Path(std::filesystem::path(value));
}

}  // namespace

std::string EngineHome() {
    if (auto home = Variable(L"VARNHOLT_ENGINE_HOME")) return *home;
    return Variable(L"LOCALAPPDATA").value_or(".") + "\\varnholt\\engine";
}
#else
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
#endif

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
    const int64_t nowNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    constexpr int64_t kMarginNs = 100'000'000;
    if (folder.exists && folder.mtimeNs < nowNs - kMarginNs)
        snapshots[home] = {folder, files};
    else
        snapshots.erase(home);
    return files;
}

bool IsThisComputer(std::string_view serverName) {
    if (serverName.empty()) return true;
#ifdef _WIN32
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(host, &length)) return false;
    return SameText(serverName, Utf8Path(std::filesystem::path(std::wstring(host, length))));
#else
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return false;
    return SameText(serverName, host);
#endif
}

std::optional<std::string> FindServerFolder(const std::string& home, std::string_view serverName) {
    if (IsThisComputer(serverName)) return LocalServerFolder(home);
    std::error_code error;
    const std::string wanted = FoldCase(serverName);
    for (const auto& entry : std::filesystem::directory_iterator(NativePath(home + "/servers"), error)) {
        if (FoldCase(Utf8Path(entry.path().filename())) == wanted && entry.is_directory(error))
            return Utf8Path(entry.path());
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
