#pragma once
// SIGPIPE held back on the calling thread for the life of the object. A write to a socket whose
// peer has gone (an X server that dropped the connection between libxcb's poll and its writev)
// then fails with EPIPE instead of ending the host process. A SIGPIPE raised meanwhile is
// consumed; one that was already pending, and the thread's mask, are left as they were.
#include <signal.h>

namespace varnholt::platform {

class PipeSignalGuard {
public:
    PipeSignalGuard();
    ~PipeSignalGuard();
    PipeSignalGuard(const PipeSignalGuard&) = delete;
    PipeSignalGuard& operator=(const PipeSignalGuard&) = delete;

private:
    sigset_t previousMask_{};
    bool wasPending_ = false;
    bool blocked_ = false;
};

}  // namespace varnholt::platform
