#include "platform/posix/EchoGuard.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>

#include "varnholt/Login.h"

namespace varnholt::platform {
namespace {

// What the handler needs to put the terminal back.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
std::atomic<int> gQuietFd{-1};
std::atomic<bool> gInterrupted{false};
termios gSavedModes;
struct sigaction gPreviousActions[std::size(kFatalSignals)];

extern "C" void RestoreTerminalAndReraise(int signal) {
    gInterrupted = true;
    if (const int fd = gQuietFd.load(); fd >= 0) tcsetattr(fd, TCSANOW, &gSavedModes);
    // Delivered again under what the process had before, once this handler returns.
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        if (kFatalSignals[i] == signal) sigaction(signal, &gPreviousActions[i], nullptr);
    raise(signal);
}

}  // namespace

static_assert(std::size(kFatalSignals) == 4);

EchoGuard::EchoGuard(int fd) : fd_(fd) {
    if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
    gSavedModes = saved_;
    gInterrupted = false;
    gQuietFd = fd_;
    struct sigaction action {};
    action.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
        sigaction(kFatalSignals[i], nullptr, &gPreviousActions[i]);
        // A signal the process ignores cannot end the prompt, so it needs no handler.
        installed_[i] = gPreviousActions[i].sa_handler != SIG_IGN && sigaction(kFatalSignals[i], &action, nullptr) == 0;
    }
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
}

EchoGuard::~EchoGuard() {
    if (gQuietFd != fd_) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    gQuietFd = -1;
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        if (installed_[i]) sigaction(kFatalSignals[i], &gPreviousActions[i], nullptr);
}

bool EchoGuard::Interrupted() { return gInterrupted; }

}  // namespace varnholt::platform

namespace varnholt {

std::string ReadLineWithoutEcho(const char* prompt) {
    std::string line;
    {
        platform::EchoGuard quiet(STDIN_FILENO);
        if (quiet.Active()) std::fputs(prompt, stderr);
        std::getline(std::cin, line);
        if (quiet.Active()) std::fputs("\n", stderr);  // the Enter that was not echoed
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace varnholt
