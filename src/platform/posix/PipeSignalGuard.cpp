#include "platform/posix/PipeSignalGuard.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace varnholt::platform {
namespace {

sigset_t PipeOnly() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool PipeSignalPending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

PipeSignalGuard::PipeSignalGuard() {
    wasPending_ = PipeSignalPending();
    const sigset_t pipe = PipeOnly();
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe, &previousMask_) == 0;
}

PipeSignalGuard::~PipeSignalGuard() {
    if (!blocked_) return;
    const int savedErrno = errno;
    if (!wasPending_ && PipeSignalPending()) {
        const sigset_t pipe = PipeOnly();
        const timespec now{};
        while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {}
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    errno = savedErrno;
}

}  // namespace varnholt::platform
