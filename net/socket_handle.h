// The socket object: one platform socket with its local and remote address,
// opened, bound, connected and closed through the stack its owner hands it.
// It makes no platform call itself; everything goes through TNetStack.
#pragma once

#include <cstdint>
#include <string>

#include "net/socket_stack.h"

namespace corvane::net {

// One socket. Not a component: it uses the stack its owner hands it.
class TNetSocketHandle {
  public:
    explicit TNetSocketHandle(TNetStack& stack) : stack_(&stack) {}
    // Closes an open socket (sending side shut down first), with no reports.
    virtual ~TNetSocketHandle();
    TNetSocketHandle(const TNetSocketHandle&) = delete;
    TNetSocketHandle& operator=(const TNetSocketHandle&) = delete;

    TNetStack& Stack() const { return *stack_; }
    TNetSocket OsSocket() const { return osSocket_; }
    bool IsAllocated() const { return allocated_; }
    const std::string& IP() const { return ip_; }
    void SetIP(const std::string& ip) { ip_ = ip; }
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t port) { port_ = port; }
    const std::string& RemoteIP() const { return remoteIP_; }
    std::int32_t RemotePort() const { return remotePort_; }

    // Closes any open socket, then opens a new one (ENetInvalidSocket).
    void Allocate(int type, int protocol);
    virtual void CloseOsSocket(bool resetLocal = true);
    void ResetHandle(bool resetLocal);
    // Binds to IP:Port; ENetCouldNotBindSocket when in use, else ENetSocketError.
    void BindLocal();
    void SetRemote(const std::string& ip, std::int32_t port);
    // Connects to RemoteIP:RemotePort; returns the stack's result unchecked.
    virtual std::int32_t ConnectToRemote(int family, std::int32_t timeoutMs = 0);
    void RefreshLocal();
    void RefreshRemote();
    std::int32_t ReceiveBytes(void* buffer, std::int32_t capacity, int flags = 0);
    std::int32_t SendBytes(const void* bytes, std::int32_t count, int flags = 0);
    void SetOption(int level, int option, const void* value, std::int32_t length);
    // The stack's select result for this socket becoming readable: 1 ready,
    // 0 time up, -1 failed. ENetConnClosedGracefully when no socket is open.
    std::int32_t SelectReadable(std::int32_t timeout);
    // The same for room to send: 1 ready, 0 time up, -1 failed.
    std::int32_t SelectWritable(std::int32_t timeout);
    // Sends as much of the bytes as the socket takes before `timeout` ms
    // pass (negative: a plain send that waits as long as it must). Returns
    // the count sent; 0 with `timedOut` set when no room came in time; -1
    // when the send or the wait failed (the stack's error code kept).
    std::int32_t SendWithin(const void* bytes, std::int32_t count, std::int32_t timeout,
                            bool& timedOut);
    // True only when the socket became readable in time.
    bool WaitReadable(std::int32_t timeout) { return SelectReadable(timeout) == 1; }

  private:
    TNetStack* stack_;
    TNetSocket osSocket_ = InvalidNetSocket;
    bool allocated_ = false;
    std::string ip_;
    std::string remoteIP_;
    std::int32_t port_ = 0;
    std::int32_t remotePort_ = 0;
};

}  // namespace corvane::net
