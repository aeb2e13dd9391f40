// The socket object of net/socket_handle.h; every call goes to its stack.
#include "net/socket_handle.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "net/net_exceptions.h"
#include "net/socket_errors.h"

namespace corvane::net {

TNetSocketHandle::~TNetSocketHandle() {
    TNetSocketHandle::CloseOsSocket(true);
}

void TNetSocketHandle::Allocate(int type, int protocol) {
    CloseOsSocket(true);
    osSocket_ = stack_->OpenSocket(type, protocol);
    allocated_ = true;
}

void TNetSocketHandle::CloseOsSocket(bool resetLocal) {
    if (!allocated_)
        return;
    allocated_ = false;
    stack_->SysShutdown(osSocket_, NetShutdownSending);
    stack_->SysCloseSocket(osSocket_);
    ResetHandle(resetLocal);
}

void TNetSocketHandle::ResetHandle(bool resetLocal) {
    allocated_ = false;
    osSocket_ = InvalidNetSocket;
    if (resetLocal) {
        ip_.clear();
        port_ = 0;
    }
    remoteIP_.clear();
    remotePort_ = 0;
}

void TNetSocketHandle::BindLocal() {
    const std::int32_t r = stack_->SysBind(osSocket_, NetAddressFamilyIPv4, ip_, port_);
    if (stack_->CheckSocketResult(r, {NetErrorAddressInUse}))
        throw ENetCouldNotBindSocket();
    RefreshLocal();
}

void TNetSocketHandle::SetRemote(const std::string& ip, std::int32_t port) {
    remoteIP_ = ip;
    remotePort_ = port;
}

std::int32_t TNetSocketHandle::ConnectToRemote(int family, std::int32_t timeoutMs) {
    const std::int32_t r = stack_->SysConnect(osSocket_, family, remoteIP_, remotePort_, timeoutMs);
    if (r != -1) {
        RefreshLocal();
        RefreshRemote();
    }
    return r;
}

void TNetSocketHandle::RefreshLocal() {
    int family = 0;
    stack_->SysGetSockName(osSocket_, family, ip_, port_);
}

void TNetSocketHandle::RefreshRemote() {
    int family = 0;
    stack_->SysGetPeerName(osSocket_, family, remoteIP_, remotePort_);
}

std::int32_t TNetSocketHandle::ReceiveBytes(void* buffer, std::int32_t capacity, int flags) {
    return stack_->SysRecv(osSocket_, buffer, capacity, flags);
}

std::int32_t TNetSocketHandle::SendBytes(const void* bytes, std::int32_t count, int flags) {
    return stack_->SysSend(osSocket_, bytes, count, flags);
}

void TNetSocketHandle::SetOption(int level, int option, const void* value, std::int32_t length) {
    stack_->CheckSocketResult(stack_->SysSetSockOpt(osSocket_, level, option, value, length));
}

std::int32_t TNetSocketHandle::SelectReadable(std::int32_t timeout) {
    if (!allocated_)
        throw ENetConnClosedGracefully();
    std::vector<TNetSocket> readList{osSocket_};
    return stack_->SysSelect(&readList, nullptr, timeout, nullptr);
}

std::int32_t TNetSocketHandle::SelectWritable(std::int32_t timeout) {
    if (!allocated_)
        throw ENetConnClosedGracefully();
    std::vector<TNetSocket> writeList{osSocket_};
    return stack_->SysSelect(nullptr, &writeList, timeout, nullptr);
}

std::int32_t TNetSocketHandle::SendWithin(const void* bytes, std::int32_t count,
                                          std::int32_t timeout, bool& timedOut) {
    timedOut = false;
    if (timeout < 0)
        return SendBytes(bytes, count);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
                .count();
        const std::int32_t ready =
            SelectWritable(static_cast<std::int32_t>(std::max<std::int64_t>(0, left)));
        if (ready == 0) {
            timedOut = true;
            return 0;
        }
        if (ready < 0)
            return -1;
        // Room for some bytes: the send takes what fits and does not wait
        // for the rest, so that a peer that stops reading cannot hold it.
        const std::int32_t n = SendBytes(bytes, count, NetSendNoWait);
        if (n != -1 || stack_->SysGetLastError() != NetErrorWouldBlock)
            return n;
    }
}

}  // namespace corvane::net
