// varnholt: the component's two public classes from a shell, for administrators and support
// staff of the desktop applications.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CommandLine.h"
#include "Commands.h"
#include "Credentials.h"
#include "Output.h"
#include "platform/FileSystem.h"
#include "server/EngineFailureReason.h"
#include "varnholt/Error.h"

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
// wins.
void SelectOdbcConfiguration() {
    if (std::getenv("ODBCSYSINI")) return;
    std::error_code error;
    const fs::path beside = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path installed = beside.empty() || fs::path(VARNHOLT_INSTALLED_ODBCSYSINI).empty()
                                   ? fs::path()
                                   : (beside / VARNHOLT_INSTALLED_ODBCSYSINI).lexically_normal();
    for (const fs::path& folder : {installed, fs::path(VARNHOLT_DEFAULT_ODBCSYSINI), beside}) {
        if (!folder.empty() && fs::is_regular_file(folder / "odbcinst.ini", error)) {
            setenv("ODBCSYSINI", folder.c_str(), 1);
            return;
        }
    }
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
    platform::RemoveCopiesInProgress();
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
        case ENOSPC: case EDQUOT: case EFBIG: case EIO: case EROFS: case EACCES: case EPERM: case EMFILE:
        case ENFILE: case ENOMEM: return std::strerror(err);
        default: return nullptr;
    }
}

int Main(int argc, char** argv) {
    try {
        const CommandLine line = Parse(argc, argv);
        if (line.version) {
            std::printf("varnholt %s\n", VARNHOLT_TOOL_VERSION);
            return kExitDone;
        }
        if (line.help) {
            std::fputs((line.command ? CommandHelp(*line.command) : ToolHelp()).c_str(), stdout);
            return kExitDone;
        }
        SelectEngineHome(line);
        SelectOdbcConfiguration();
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
        if (const char* reason = SystemReason(e)) std::fprintf(stderr, "varnholt: the system's reason: %s\n", reason);
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
