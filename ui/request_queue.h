// The order in which the main window performs what the user asks of it: a
// survey confirmed in the Locate dialog, or a survey file chosen to open.
//
// A survey run waits for its pages inside the window's event pump, so a new
// request can arrive while an older one is still being performed. It is not
// performed inside the older one: the queue keeps it (a newer request
// replaces one kept before), asks the older one to give up, and performs the
// kept request once the older one has returned. Nothing here knows about
// widgets; the window says what performing and giving up mean.
#pragma once

#include <functional>
#include <optional>
#include <utility>

namespace corvane::ui {

template <typename Request>
class RequestQueue {
  public:
    using PerformFn = std::function<void(const Request&)>;
    using GiveUpFn = std::function<void()>;

    // `perform` carries a request out and returns when it is done; `giveUp`
    // asks the request being performed to end early (it may be called more
    // than once for the same request).
    RequestQueue(PerformFn perform, GiveUpFn giveUp)
        : perform_(std::move(perform)), giveUp_(std::move(giveUp)) {}

    RequestQueue(const RequestQueue&) = delete;
    RequestQueue& operator=(const RequestQueue&) = delete;

    // Performs `request` now, followed by every request submitted while it
    // is performed. Called while a request is being performed, keeps
    // `request` in place of any kept before, asks the one in progress to
    // give up, and returns at once.
    void Submit(Request request) {
        if (busy_) {
            pending_ = std::move(request);
            if (giveUp_) {
                giveUp_();
            }
            return;
        }
        const BusyScope scope(*this);
        Request next = std::move(request);
        for (;;) {
            perform_(next);
            if (!pending_) {
                break;
            }
            next = std::move(*pending_);
            pending_.reset();
        }
    }

    // Forgets the kept request, if any; the one in progress goes on.
    void DropPending() { pending_.reset(); }

    // True while a request is being performed.
    bool Busy() const { return busy_; }
    bool HasPending() const { return pending_.has_value(); }

  private:
    // Busy for the length of one Submit. Leaving it, also by an exception
    // out of `perform`, makes the queue idle with nothing kept, so that it
    // takes the next request as the first.
    class BusyScope {
      public:
        explicit BusyScope(RequestQueue& queue) : queue_(queue) { queue_.busy_ = true; }
        ~BusyScope() {
            queue_.busy_ = false;
            queue_.pending_.reset();
        }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        RequestQueue& queue_;
    };

    PerformFn perform_;
    GiveUpFn giveUp_;
    bool busy_ = false;
    std::optional<Request> pending_;
};

}  // namespace corvane::ui
