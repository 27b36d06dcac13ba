// Writes to a pipe nobody reads, inside the guard: the process lives, the write says EPIPE, and
// the thread's mask and an earlier pending SIGPIPE are as they were afterwards.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "TestSupport.h"
#include "platform/posix/PipeSignalGuard.h"

namespace varnholt::test {
namespace {

using platform::PipeSignalGuard;

sigset_t PipeOnly() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool Blocked() {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, SIGPIPE) == 1;
}

bool Pending() {
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

// errno of a write to a pipe whose reading end is closed.
int WriteToBrokenPipe() {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    close(fds[0]);
    errno = 0;
    const ssize_t written = write(fds[1], "x", 1);
    const int error = written < 0 ? errno : 0;
    close(fds[1]);
    return error;
}

class PipeSignalGuardTest : public ::testing::Test {
protected:
    void SetUp() override { pthread_sigmask(SIG_SETMASK, nullptr, &saved_); }
    void TearDown() override { Restore(); }
    // Nothing pending and the mask of before the test, for the next row too.
    void Restore() {
        const sigset_t pipe = PipeOnly();
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const timespec now{};
        while (Pending()) sigtimedwait(&pipe, nullptr, &now);
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    sigset_t saved_{};
};

TEST_F(PipeSignalGuardTest, ABrokenPipeFailsQuietlyAndLeavesTheThreadAsItWas) {
    struct Row {
        const char* name;
        bool blockedBefore;
        bool pendingBefore;
        bool nested;
    };
    const Row rows[] = {
        {"unblocked", false, false, false},
        {"already blocked", true, false, false},
        {"blocked with one pending", true, true, false},
        {"nested guards", false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const sigset_t pipe = PipeOnly();
        pthread_sigmask(row.blockedBefore ? SIG_BLOCK : SIG_UNBLOCK, &pipe, nullptr);
        if (row.pendingBefore) pthread_kill(pthread_self(), SIGPIPE);
        {
            const PipeSignalGuard outer;
            if (row.nested) {
                const PipeSignalGuard inner;
                EXPECT_EQ(WriteToBrokenPipe(), EPIPE);
            }
            EXPECT_EQ(WriteToBrokenPipe(), EPIPE);
        }
        EXPECT_EQ(Blocked(), row.blockedBefore);
        EXPECT_EQ(Pending(), row.pendingBefore);
        Restore();
    }
}

}  // namespace
}  // namespace varnholt::test
