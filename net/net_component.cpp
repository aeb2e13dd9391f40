#include "net/net_component.h"

#include <mutex>
#include <utility>

#include "net/net_exceptions.h"
#include "net/posix_stack.h"

namespace corvane::net {

namespace {

// The shared stack and its users. Components may live on several threads, so
// creation, counting and destruction happen under one lock.
struct SharedStackState {
    std::mutex lock;
    std::unique_ptr<TNetStack> stack;
    std::int32_t users = 0;
    TNetStackFactory factory;
};

SharedStackState& State() {
    static SharedStackState state;
    return state;
}

TNetStack* AcquireStack() {
    SharedStackState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.stack) {
        std::unique_ptr<TNetStack> created =
            s.factory ? s.factory() : std::make_unique<TNetStackPosix>();
        if (!created)
            throw ENetStackInitializationFailed();
        s.stack = std::move(created);
    }
    ++s.users;
    return s.stack.get();
}

void ReleaseStack() {
    std::unique_ptr<TNetStack> dead;
    {
        SharedStackState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        if (--s.users == 0)
            dead = std::move(s.stack);
    }
}

std::int32_t WrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

void SetNetStackFactory(TNetStackFactory factory) {
    SharedStackState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.factory = std::move(factory);
}

std::int32_t NetStackUseCount() {
    SharedStackState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.users;
}

TNetStack* SharedNetStack() {
    SharedStackState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.stack.get();
}

std::string StatusMessage(TNetStatus status, const std::string& argument) {
    switch (status) {
        case StatusResolving:
            return "Resolving hostname " + argument + ".";
        case StatusConnecting:
            return "Connecting to " + argument + ".";
        case StatusConnected:
            return "Connected.";
        case StatusDisconnecting:
            return "Disconnecting from " + argument + ".";
        case StatusDisconnected:
            return "Not connected.";
        case StatusText:
            return argument;
    }
    return argument;
}

TNetComponent::TNetComponent() : stack_(AcquireStack()) {}

TNetComponent::~TNetComponent() {
    ReleaseStack();
}

void TNetComponent::ReportStatus(TNetStatus status, const std::string& argument) {
    if (!OnStatus)
        return;
    OnStatus(*this, status, StatusMessage(status, argument));
}

void TNetComponent::StartWork(TWorkMode mode, std::int32_t total) {
    TWorkRecord& w = work_[mode == WorkWrite ? 1 : 0];
    ++w.Level;
    if (w.Level == 1) {
        w.Total = total;
        w.Count = 0;
        if (OnWorkBegin)
            OnWorkBegin(*this, mode, total);
    }
}

void TNetComponent::AddWork(TWorkMode mode, std::int32_t count) {
    TWorkRecord& w = work_[mode == WorkWrite ? 1 : 0];
    if (w.Level < 1)
        return;
    // The count is 32 bits wide; a transfer beyond 2 GiB wraps it.
    w.Count = WrappingAdd(w.Count, count);
    if (OnWork)
        OnWork(*this, mode, w.Count);
}

void TNetComponent::FinishWork(TWorkMode mode) {
    TWorkRecord& w = work_[mode == WorkWrite ? 1 : 0];
    if (w.Level < 1)
        return;  // unbalanced: never let the level go negative
    --w.Level;
    if (w.Level == 0 && OnWorkEnd)
        OnWorkEnd(*this, mode);
}

}  // namespace corvane::net
