#include "frontend/fetch_scheduler.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "base/ascii.h"
#include "engine/text_ops.h"
#include "net/uri.h"

namespace corvane::frontend {

namespace {

SchedulerLimits Clamped(SchedulerLimits limits) {
    limits.Jobs = std::clamp(limits.Jobs, 1, SchedulerLimits::kMaxJobs);
    limits.PerHost = std::clamp(limits.PerHost, 1, SchedulerLimits::kMaxJobs);
    return limits;
}

FetchFunction PageFetch(net::FetchOptions options) {
    return [options = std::move(options)](const std::string& url, int port, FetchContext& fetch) {
        net::FetchOptions o = options;
        o.Cancel = &fetch;
        o.Pool = &fetch.Pool();
        return net::FetchPage(url, port, o);
    };
}

// Per origin no more idle connections than could be busy at once. Open in
// all, idle or busy, twice the run's jobs, so that idle connections survive
// while every worker is busy; at least 8, so that even a serial run keeps the
// connections to the services every row asks while it visits the sites; and
// never more than the most a run may have busy (64), which a server that
// caps its connections per client (the demo web among them) allows.
net::ConnectionPool::Limits PoolLimits(const SchedulerLimits& limits) {
    net::ConnectionPool::Limits l;
    l.PerKey = static_cast<std::size_t>(limits.PerHost);
    l.Total = static_cast<std::size_t>(std::clamp(2 * limits.Jobs, 8, SchedulerLimits::kMaxJobs));
    return l;
}

RequestFunction RequestFetch(net::FetchOptions options) {
    return [options = std::move(options)](const net::FetchRequest& request, FetchContext& fetch) {
        net::FetchOptions o = options;
        o.Cancel = &fetch;
        o.Pool = &fetch.Pool();
        net::TextSink sink;
        RequestOutcome outcome;
        outcome.Result = net::FetchTo(request, o, sink);
        outcome.Body = sink.TakeText();
        return outcome;
    };
}

}  // namespace

std::string OriginOf(const std::string& url) {
    const net::UriParts parts = net::SplitUri(url);
    return base::LowerAscii(parts.Host) + ":" + (parts.Port.empty() ? "80" : parts.Port);
}

FetchScheduler::FetchScheduler(SchedulerLimits limits, net::FetchOptions options)
    : FetchScheduler(limits, PageFetch(options), RequestFetch(options)) {}

FetchScheduler::FetchScheduler(SchedulerLimits limits, FetchFunction fetch, RequestFunction request)
    : limits_(Clamped(limits)),
      fetch_(std::move(fetch)),
      request_(std::move(request)),
      pool_(PoolLimits(limits_)) {}

FetchScheduler::~FetchScheduler() {
    CancelAll();
}

void FetchScheduler::SetWakeup(std::function<void()> wakeup) {
    std::lock_guard<std::mutex> lock(mutex_);
    wakeup_ = std::move(wakeup);
}

void FetchScheduler::Submit(std::uint64_t ticket, std::string url, int port) {
    std::string origin = OriginOf(url);
    Enqueue(Job{ticket, std::move(url), port, std::move(origin), std::nullopt});
}

void FetchScheduler::Submit(std::uint64_t ticket, net::FetchRequest request) {
    if (!request_) {
        throw std::logic_error("this fetch scheduler fetches plain URLs only");
    }
    std::string origin = OriginOf(request.Url);
    Enqueue(Job{ticket, std::string(), 0, std::move(origin), std::move(request)});
}

void FetchScheduler::Enqueue(Job job) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        return;
    }
    queue_.push_back(std::move(job));
    // A worker for every queued fetch, up to the limit; idle ones are reused.
    if (queue_.size() > static_cast<std::size_t>(idle_) &&
        workers_.size() < static_cast<std::size_t>(limits_.Jobs)) {
        workers_.emplace_back([this] { WorkerLoop(); });
    }
    workReady_.notify_all();
}

void FetchScheduler::Cancel(const std::vector<std::uint64_t>& tickets) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::uint64_t ticket : tickets) {
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [&](const Job& j) { return j.ticket == ticket; }),
                     queue_.end());
        if (const auto it = running_.find(ticket); it != running_.end()) {
            it->second.cancel->Cancel();
        }
        completions_.erase(
            std::remove_if(completions_.begin(), completions_.end(),
                           [&](const FetchCompletion& c) { return c.Ticket == ticket; }),
            completions_.end());
    }
}

void FetchScheduler::CancelAll() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
        completions_.clear();
        for (auto& [ticket, running] : running_) {
            running.cancel->Cancel();
        }
        workers.swap(workers_);
    }
    workReady_.notify_all();
    completed_.notify_all();
    for (std::thread& t : workers) {
        t.join();
    }
    // No fetch holds a connection now: the idle ones are all there are.
    pool_.Close();
    // A completion queued between the swap and the last join is dropped too.
    std::lock_guard<std::mutex> lock(mutex_);
    completions_.clear();
}

std::deque<FetchScheduler::Job>::iterator FetchScheduler::NextRunnable() {
    return std::find_if(queue_.begin(), queue_.end(), [&](const Job& j) {
        const auto it = perOrigin_.find(j.origin);
        return it == perOrigin_.end() || it->second < limits_.PerHost;
    });
}

void FetchScheduler::WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        workReady_.wait(lock, [&] { return stopping_ || NextRunnable() != queue_.end(); });
        --idle_;
        if (stopping_) {
            return;
        }
        const auto next = NextRunnable();
        Job job = std::move(*next);
        queue_.erase(next);
        FetchContext cancel(pool_);
        running_.emplace(job.ticket, Running{job.origin, &cancel});
        ++perOrigin_[job.origin];
        lock.unlock();

        FetchCompletion done{job.ticket, std::string(), nullptr, {}};
        try {
            if (job.request) {
                RequestOutcome outcome = request_(*job.request, cancel);
                done.Body = std::move(outcome.Body);
                done.Result = std::move(outcome.Result);
            } else {
                done.Body = fetch_(job.url, job.port, cancel);
            }
        } catch (...) {
            // Handed to the owner as the fetch's outcome.
            done.Error = std::current_exception();
        }

        lock.lock();
        running_.erase(job.ticket);
        if (--perOrigin_[job.origin] == 0) {
            perOrigin_.erase(job.origin);
        }
        // The origin has room again: another worker may start a fetch.
        workReady_.notify_all();
        if (stopping_ || cancel.Cancelled()) {
            continue;
        }
        completions_.push_back(std::move(done));
        completed_.notify_all();
        if (wakeup_) {
            const std::function<void()> wakeup = wakeup_;
            lock.unlock();
            wakeup();
            lock.lock();
        }
    }
}

std::vector<FetchCompletion> FetchScheduler::Poll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<FetchCompletion> out;
    out.swap(completions_);
    return out;
}

std::vector<FetchCompletion> FetchScheduler::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    completed_.wait_for(lock, timeout, [&] { return stopping_ || !completions_.empty(); });
    std::vector<FetchCompletion> out;
    out.swap(completions_);
    return out;
}

}  // namespace corvane::frontend
