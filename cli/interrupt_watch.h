// Ctrl-C during a fetch that runs on the main thread: the signal handler
// wakes a watcher thread through a pipe, and the watcher cancels the fetch
// from there (the token takes a lock, which a signal handler must not).
#pragma once

#include <atomic>
#include <thread>

#include "net/fetch_cancel.h"

namespace corvane::cli {

class InterruptWatch {
  public:
    // From now until Stop, the first Ctrl-C cancels `cancel`. Without a
    // pipe, Ctrl-C ends the program the default way.
    explicit InterruptWatch(net::FetchCancel& cancel);
    ~InterruptWatch() { Stop(); }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    void Stop();
    // True once Ctrl-C cancelled the fetch.
    bool Fired() const { return fired_.load(); }

  private:
    void Watch(net::FetchCancel& cancel);

    int readFd_ = -1;
    int writeFd_ = -1;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

}  // namespace corvane::cli
