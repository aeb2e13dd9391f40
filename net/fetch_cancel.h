// A way for another thread to end one page fetch at once.
#pragma once

#include <mutex>

#include "net/socket_stack.h"

namespace corvane::net {

// Cancel() shuts the socket of the fetch in flight down in both directions,
// so that a connect, send or receive blocked on it returns at once, and makes
// any socket the fetch opens afterwards fail before it connects. The fetch
// then ends as any failed exchange does, with the bytes that had arrived.
//
// Thread-safe: Cancel may be called from any thread while the fetch runs on
// another. The socket is registered and released under the token's lock, so
// a cancel never touches a socket number that has been closed (and possibly
// reused). A token serves one fetch at a time and is not reset.
class FetchCancel {
  public:
    void Cancel();
    bool Cancelled() const;

    // Used by the fetch: registers the socket it is about to connect. False,
    // registering nothing, when the fetch has been cancelled already.
    bool Attach(TNetStack& stack, TNetSocket socket);
    // Releases the socket before it is closed.
    void Detach();

  private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    TNetStack* stack_ = nullptr;
    TNetSocket socket_ = InvalidNetSocket;
};

}  // namespace corvane::net
