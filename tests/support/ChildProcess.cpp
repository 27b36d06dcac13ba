#include "ChildProcess.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#endif

#include <cerrno>

namespace varnholt::test {

#ifdef _WIN32
namespace {
constexpr DWORD kKilled = 0xDEAD;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args)
    : job_(::CreateJobObjectW(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    std::string command = "\"" + program + "\"";
    for (const std::string& arg : args) command += " \"" + arg + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that no moment of it outlives the test.
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &info)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", command.c_str(), ::GetLastError());
        return;
    }
    ::AssignProcessToJobObject(job_, info.hProcess);
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
}

ChildProcess::~ChildProcess() {
    if (process_) ::CloseHandle(process_);
    if (job_) ::CloseHandle(job_);  // kills what is left
}

ChildEnd ChildProcess::Kill() {
    if (process_) ::TerminateProcess(process_, kKilled);
    return Wait();
}

ChildEnd ChildProcess::Wait() {
    DWORD code = 1;
    if (!process_ || ::WaitForSingleObject(process_, INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process_, &code))
        return ChildEnd::Failed;
    return code == kKilled ? ChildEnd::Killed : code == 0 ? ChildEnd::Succeeded : ChildEnd::Failed;
}
#else
ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) Kill();
}

ChildEnd ChildProcess::Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    return Wait();
}

ChildEnd ChildProcess::Wait() {
    if (pid_ <= 0) return ChildEnd::Failed;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return ChildEnd::Killed;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ChildEnd::Succeeded : ChildEnd::Failed;
}
#endif

}  // namespace varnholt::test
