#pragma once
// Echo off on a terminal for the life of the object, with the terminal's modes put back on every
// way out, including SIGINT, SIGTERM, SIGHUP and SIGQUIT: the handler restores them (async-
// signal-safe calls only) and lets the signal go on to what the process had installed before.
// One guard is active at a time.
#include <termios.h>

#include <csignal>

namespace varnholt::platform {

class EchoGuard {
public:
    explicit EchoGuard(int fd);
    ~EchoGuard();
    EchoGuard(const EchoGuard&) = delete;
    EchoGuard& operator=(const EchoGuard&) = delete;
    bool Active() const { return active_; }
    // Whether a signal arrived while echo was off (a read it broke must not be retried).
    static bool Interrupted();

private:
    static constexpr int kSignals = 4;
    int fd_;
    termios saved_{};
    bool installed_[kSignals] = {};
    bool active_ = false;
};

}  // namespace varnholt::platform
