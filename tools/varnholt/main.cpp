// varnholt: the component's two public classes from a shell, for administrators and support
// staff of the desktop applications.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "Credentials.h"
#include "Output.h"
#include "varnholt/Error.h"
#include "varnholt/Host.h"

namespace fs = std::filesystem;
using namespace varnholt;
using namespace varnholt::cli;

namespace {

#ifndef VARNHOLT_DEFAULT_ODBCSYSINI
#define VARNHOLT_DEFAULT_ODBCSYSINI ""
#endif
#ifndef VARNHOLT_INSTALLED_ODBCSYSINI
#define VARNHOLT_INSTALLED_ODBCSYSINI ""
#endif

// The stand-in engine's driver is registered in an odbcinst.ini of its own: an installed tool's
// lies in its private library folder (relative to the program, like its runpath), a built tool's
// in the build tree, else one may lie beside the program. The driver manager reads ODBCSYSINI
// once, at the first ODBC call, so it is settled before any command runs; a value the user set
// wins. Returns whether the user's own value is in force.
bool SelectOdbcConfiguration() {
    if (std::getenv("ODBCSYSINI")) return true;
    std::error_code error;
    const fs::path beside = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path installed = beside.empty() || fs::path(VARNHOLT_INSTALLED_ODBCSYSINI).empty()
                                   ? fs::path()
                                   : (beside / VARNHOLT_INSTALLED_ODBCSYSINI).lexically_normal();
    for (const fs::path& folder : {installed, fs::path(VARNHOLT_DEFAULT_ODBCSYSINI), beside}) {
        if (!folder.empty() && fs::is_regular_file(folder / "odbcinst.ini", error)) {
            setenv("ODBCSYSINI", folder.c_str(), 1);
            return false;
        }
    }
    return false;
}

void SelectEngineHome(const CommandLine& line) {
    const auto home = line.Value("engine-home");
    if (!home) return;
    std::error_code error;
    if (home->empty() || !fs::is_directory(*home, error))
        throw UsageError("engine home '" + *home + "' is not a folder", line.command->name);
    setenv("VARNHOLT_ENGINE_HOME", fs::absolute(*home, error).c_str(), 1);
}

// A copy cut short by a signal would leave a hidden temporary as large as its source. The
// password prompt's echo guard runs before this, then hands the signal on to it.
extern "C" void RemoveCopiesAndEnd(int signal) {
    RemoveCopiesInProgress();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void EndCleanlyOnSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // What the caller ignores (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveCopiesAndEnd;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

// The engine reports a full disk, a file size limit or a read-only folder only as its general
// failure 7004; the system's reason it left behind says why. Other leftovers (a file that was
// merely looked for) say nothing about the failure.
const char* SystemReason(const Error& e) {
    constexpr int32_t kGeneralFailure = 7004;
    if (e.Number() != kGeneralFailure) return nullptr;
    switch (const int err = LastEngineFailureErrno()) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EIO:
        case EROFS:
        case EACCES:
        case EPERM:
        case EMFILE:
        case ENFILE:
        case ENOMEM: return std::strerror(err);
        default: return nullptr;
    }
}

bool HoldsControl(const std::string& text) {
    auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    return std::any_of(text.begin(), text.end(), control);
}

// What to do about the mistakes that the engine and the driver answer only with a bare status
// or a library's complaint; empty when the error says enough by itself.
std::string Hint(const Error& e, const CommandLine& line, bool ownOdbcConfiguration) {
    const std::string server = line.Value("server").value_or("");
    constexpr int32_t kNullPointer = 7002, kGeneralFailure = 7004;
    if (e.Number() == kNullPointer && !server.empty() && !LoginWasAsked() &&
        !(line.Has("user") && line.Has("password-stdin")))
        return "the server needs credentials: give them with --user NAME --password-stdin";
    if (e.Number() == kGeneralFailure && !SystemReason(e)) {
        // The database names of this invocation: a NAME argument, --name and --new-name.
        std::vector<std::string> names;
        for (const char* option : {"name", "new-name"})
            if (const auto value = line.Value(option)) names.push_back(*value);
        if (std::string_view(line.command->arguments).starts_with("NAME") && !line.args.empty())
            names.push_back(line.args[0]);
        if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.empty() || HoldsControl(n); }))
            return "a database name must not be empty or hold control characters";
        if (HoldsControl(server)) return "the server name given with --server holds a control character";
        if (!server.empty()) return "no engine answers as server " + server + ": check the name given with --server";
    }
    if (ToUtf8(e.Description()).find("Can't open lib") != std::string::npos) {
        const char* folder = std::getenv("ODBCSYSINI");
        if (!folder) return "no odbcinst.ini registers the driver: set ODBCSYSINI to the folder of one";
        return ownOdbcConfiguration ? "ODBCSYSINI=" + std::string(folder) +
                                          " names a driver that does not load: unset it to use the tool's own driver"
                                    : "the driver registered in " + std::string(folder) + "/odbcinst.ini does not load";
    }
    return {};
}

int Main(int argc, char** argv) {
    std::optional<CommandLine> parsed;
    bool ownOdbcConfiguration = false;
    try {
        parsed = Parse(argc, argv);
        const CommandLine& line = *parsed;
        if (line.version) {
            std::printf("varnholt %s\n", VARNHOLT_TOOL_VERSION);
            return kExitDone;
        }
        if (line.help) {
            std::fputs((line.command ? CommandHelp(*line.command) : ToolHelp()).c_str(), stdout);
            return kExitDone;
        }
        SelectEngineHome(line);
        ownOdbcConfiguration = SelectOdbcConfiguration();
        InstallLoginView();
        EndCleanlyOnSignals();
        return Run(line);
    } catch (const UsageError& e) {
        std::fflush(stdout);
        const std::string hint = e.Command().empty() ? "varnholt --help" : "varnholt " + e.Command() + " --help";
        std::fprintf(stderr, "varnholt: %s\nTry '%s'.\n", e.what(), hint.c_str());
        return kExitUsage;
    } catch (const Error& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "error %d (%s): %s\n", e.Number(), OneLine(e.Source()).c_str(),
                     OneLine(e.Description()).c_str());
        if (const auto* noted = dynamic_cast<const NotedError*>(&e))
            std::fprintf(stderr, "%s\n", noted->Note().c_str());
        if (const char* reason = SystemReason(e)) std::fprintf(stderr, "varnholt: the system's reason: %s\n", reason);
        if (const std::string hint = parsed && parsed->command ? Hint(e, *parsed, ownOdbcConfiguration) : "";
            !hint.empty())
            std::fprintf(stderr, "hint: %s\n", hint.c_str());
        return kExitRaised;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "varnholt: %s\n", OneLine(FromUtf8(e.what())).c_str());
        return kExitRaised;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int status = Main(argc, argv);
    // Output that could not be written is a failure too (a full disk, a closed pipe).
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "varnholt: cannot write the output\n");
        return kExitRaised;
    }
    return status;
}
