#include "cli/interrupt_watch.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "cli/survey_runner.h"

namespace corvane::cli {

// The pipe lives as long as the program, so the handler never writes to a
// descriptor that was closed.
InterruptWatch::InterruptWatch(net::FetchCancel& cancel) {
    static int fds[2] = {-1, -1};
    if (fds[0] < 0 && ::pipe2(fds, O_CLOEXEC) != 0)
        return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    // The watcher never takes the signal itself: the handler runs on a
    // thread that is not the one it wakes.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    thread_ = std::thread([this, &cancel] { Watch(cancel); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    SetInterruptPipe(writeFd_);
}

void InterruptWatch::Stop() {
    if (!thread_.joinable())
        return;
    const char quit = 'q';
    while (::write(writeFd_, &quit, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
}

void InterruptWatch::Watch(net::FetchCancel& cancel) {
    for (;;) {
        char byte = 0;
        const ssize_t n = ::read(readFd_, &byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || byte != 'i')
            return;
        fired_ = true;
        cancel.Cancel();
    }
}

}  // namespace corvane::cli
