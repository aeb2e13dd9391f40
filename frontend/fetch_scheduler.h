// Runs page fetches concurrently for one survey: a pool of worker threads
// drives the blocking page fetch, at most `Jobs` fetches at once and at most
// `PerHost` to one origin, and hands each finished fetch to the owner's
// thread through a queue.
//
// Why threads and not one thread polling non-blocking sockets: the fetch is
// the project's blocking client with its proxy and SOCKS negotiation, time
// limits and body limits; a pool drives it unchanged, so a parallel survey
// fetches exactly as the serial one does. The concurrency is small (64 at
// most), so a thread per running fetch costs little, and a cancel only has
// to shut a socket down to end a blocked wait.
//
// The fetches of one scheduler share a pool of kept-alive connections: a
// fetch to an origin a finished fetch left a connection open to sends its
// request on that connection. The pool keeps at most `PerHost` idle
// connections per origin, holds at most twice `Jobs` open in all, idle or in
// use (at least 8, at most 64), and is closed by CancelAll.
//
// Threads: Submit, Cancel, CancelAll, Poll and WaitFor may be called from
// any thread (they share one lock); in practice the owner's thread calls
// them all. The fetch function and the wake-up run on worker threads.
// Completions are taken by one thread at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/connection_pool.h"
#include "net/fetch_cancel.h"
#include "net/page_fetch.h"

namespace corvane::frontend {

struct SchedulerLimits {
    static constexpr int kDefaultJobs = 8;
    static constexpr int kDefaultPerHost = 2;
    static constexpr int kMaxJobs = 64;

    int Jobs = kDefaultJobs;        // fetches at once, 1..64
    int PerHost = kDefaultPerHost;  // fetches at once to one origin, 1..64
};

// One finished fetch: the body, or the failure that left the fetch function.
// A fetch of a whole request (Submit with a net::FetchRequest) also tells
// how its exchange went; a plain one leaves Result as it is.
struct FetchCompletion {
    std::uint64_t Ticket = 0;
    std::string Body;
    std::exception_ptr Error;
    net::FetchResult Result;
};

// What a fetch of a whole request brings back: the body and how the
// exchange went.
struct RequestOutcome {
    std::string Body;
    net::FetchResult Result;
};

// What a worker hands the fetch function for one fetch: the fetch's cancel
// token, and the run's pool of kept-alive connections (for
// net::FetchOptions::Pool, which a fetch may leave unused).
class FetchContext : public net::FetchCancel {
  public:
    explicit FetchContext(net::ConnectionPool& pool) : pool_(pool) {}
    net::ConnectionPool& Pool() const { return pool_; }

  private:
    net::ConnectionPool& pool_;
};

// A blocking fetch: the response body of a GET of `url`. It runs on a worker
// and must end soon after `fetch` (its cancel token) is cancelled. A function
// that takes a plain net::FetchCancel& serves as well.
using FetchFunction =
    std::function<std::string(const std::string& url, int port, FetchContext& fetch)>;

// A blocking fetch of a whole request (a POST, extra headers), run on a
// worker like a FetchFunction.
using RequestFunction =
    std::function<RequestOutcome(const net::FetchRequest& request, FetchContext& fetch)>;

// The origin a fetch of `url` is counted against: its host, lower-cased, and
// its port (80 when it names none), whatever proxy the fetch goes through.
std::string OriginOf(const std::string& url);

class FetchScheduler {
  public:
    // Fetches with net::FetchPage (requests: net::FetchTo) and these options
    // (their Cancel and Pool are set per fetch). Limits out of range are
    // brought into 1..64.
    FetchScheduler(SchedulerLimits limits, net::FetchOptions options);
    // Without a request function, Submit of a request throws
    // std::logic_error.
    FetchScheduler(SchedulerLimits limits, FetchFunction fetch, RequestFunction request = {});
    // CancelAll.
    ~FetchScheduler();
    FetchScheduler(const FetchScheduler&) = delete;
    FetchScheduler& operator=(const FetchScheduler&) = delete;

    const SchedulerLimits& Limits() const { return limits_; }

    // Called on a worker thread each time a completion has been queued, with
    // no lock held; a window turns it into a queued signal. It must not wait
    // for the owner's thread. Set it before the first Submit.
    void SetWakeup(std::function<void()> wakeup);

    // Queues a fetch; fetches start in the order they were queued, as far as
    // the limits allow. Ignored once CancelAll has run.
    void Submit(std::uint64_t ticket, std::string url, int port);
    // The same for a whole request; its origin is the request URL's.
    void Submit(std::uint64_t ticket, net::FetchRequest request);
    // Drops these fetches: a queued one never starts, a running one is
    // cancelled, and neither is ever completed.
    void Cancel(const std::vector<std::uint64_t>& tickets);
    // Ends the run: drops every queued fetch and every completion not taken,
    // cancels the running fetches (their sockets are shut down), waits for
    // every worker to end and closes the kept-alive connections. When it
    // returns no fetch of this scheduler runs and none ever will. Safe to
    // call more than once.
    void CancelAll();

    // Connections the run's fetches opened and reused so far.
    net::ConnectionPool::Counts ConnectionCounts() const { return pool_.Stats(); }

    // The completions queued so far, in the order the fetches ended.
    std::vector<FetchCompletion> Poll();
    // The same, after waiting up to `timeout` for the first one.
    std::vector<FetchCompletion> WaitFor(std::chrono::milliseconds timeout);

  private:
    struct Job {
        std::uint64_t ticket;
        std::string url;
        int port;
        std::string origin;
        // Set for a whole request (then `url` is unused).
        std::optional<net::FetchRequest> request;
    };
    struct Running {
        std::string origin;
        net::FetchCancel* cancel;
    };

    void Enqueue(Job job);
    void WorkerLoop();
    // The first queued job whose origin is below its limit; end() when none.
    std::deque<Job>::iterator NextRunnable();

    const SchedulerLimits limits_;
    const FetchFunction fetch_;
    const RequestFunction request_;
    net::ConnectionPool pool_;
    std::function<void()> wakeup_;

    mutable std::mutex mutex_;
    std::condition_variable workReady_;  // workers: a job may be runnable
    std::condition_variable completed_;  // owner: a completion is queued
    std::deque<Job> queue_;
    std::map<std::uint64_t, Running> running_;
    std::map<std::string, int> perOrigin_;
    std::vector<FetchCompletion> completions_;
    std::vector<std::thread> workers_;
    int idle_ = 0;
    bool stopping_ = false;
};

}  // namespace corvane::frontend
