#include "net/fetch_cancel.h"

namespace corvane::net {

namespace {
constexpr int kShutdownBoth = 2;
}

void FetchCancel::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    if (stack_ && socket_ != InvalidNetSocket) {
        stack_->SysShutdown(socket_, kShutdownBoth);
    }
}

bool FetchCancel::Cancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

bool FetchCancel::Attach(TNetStack& stack, TNetSocket socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_)
        return false;
    stack_ = &stack;
    socket_ = socket;
    return true;
}

void FetchCancel::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    stack_ = nullptr;
    socket_ = InvalidNetSocket;
}

}  // namespace corvane::net
