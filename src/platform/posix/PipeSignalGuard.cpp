#include "platform/posix/PipeSignalGuard.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace varnholt::platform {
namespace {

bool PipeSignalPending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

PipeSignalGuard::PipeSignalGuard() {
    wasPending_ = PipeSignalPending();
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe, &previousMask_) == 0;
}

PipeSignalGuard::~PipeSignalGuard() {
    if (!blocked_) return;
    const int savedErrno = errno;
    if (!wasPending_ && PipeSignalPending()) {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec now{};
        while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    errno = savedErrno;
}

}  // namespace varnholt::platform
