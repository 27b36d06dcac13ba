#pragma once
// The engine's home folder and what lies directly in it: the version file, the local engine
// and the named servers with their accepted credentials.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnholt::standin {

// VARNHOLT_ENGINE_HOME, else $XDG_DATA_HOME/varnholt/engine, else ~/.local/share/varnholt/engine.
// Read on every call: a process may be pointed at another engine between calls.
std::string EngineHome();

std::string LocalServerFolder(const std::string& home);

// Which of the optional files (journal, faults) the home holds now. Costs one stat of the home
// folder while nothing was created, removed or renamed in it.
struct HomeFiles {
    bool journal = false;
    bool faults = false;
    bool answers = false;
};
HomeFiles ProbeHomeFiles(const std::string& home);

// An empty name or this computer's name (without regard to case) means the local engine.
bool IsThisComputer(std::string_view serverName);

// The folder of a server: the local engine for this computer, else the folder under servers/
// whose name matches without regard to case. None when no such folder exists.
std::optional<std::string> FindServerFolder(const std::string& home, std::string_view serverName);

struct EngineVersionInfo {
    int32_t major = 9;
    int32_t minor = 5;
    int32_t build = 0;
    char platform = 'L';
};

// engine.conf; missing file or keys keep the defaults.
EngineVersionInfo ReadEngineConf(const std::string& home);
// The same from the file's content: "version=MAJOR[.MINOR[.BUILD]]", "platform=C"; a version
// that does not parse is ignored, and a later line overrides an earlier one.
EngineVersionInfo ParseEngineConf(std::string_view content);

enum class CredentialCheck { kAccepted, kMissing, kRejected };

// Checks user and password (UTF-8, may be null) against the server folder's users file. Without
// that file every caller is accepted. User names compare without regard to case, passwords
// exactly.
CredentialCheck CheckCredentials(const std::string& serverFolder, const char* user, const char* password);
// Whether a users file's content (USER PASSWORD lines) holds this user with this password.
bool UsersAccept(std::string_view content, std::string_view user, std::string_view password);

}  // namespace varnholt::standin
