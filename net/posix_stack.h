// The socket stack over the platform's own POSIX sockets: each Sys* call of
// TNetStack made with the C library's socket calls, errno mapped onto the
// socket error numbering. The only file of the network code that calls the
// platform's socket, poll and name-lookup functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/socket_stack.h"

namespace corvane::net {

// The stack over the platform's own POSIX sockets. The error code of the last
// failed call is kept per thread.
class TNetStackPosix : public TNetStack {
  public:
    TNetStackPosix() = default;

    TNetSocket SysAccept(TNetSocket socket, std::string& ip, std::int32_t& port) override;
    std::int32_t SysBind(TNetSocket socket, int family, const std::string& ip,
                         std::int32_t port) override;
    std::int32_t SysCloseSocket(TNetSocket socket) override;
    std::int32_t SysConnect(TNetSocket socket, int family, const std::string& ip, std::int32_t port,
                            std::int32_t timeoutMs) override;
    std::string SysGetHostByName(const std::string& host) override;
    std::string SysGetHostName() override;
    std::string SysGetHostByAddr(const std::string& ip) override;
    std::int32_t SysGetServByName(const std::string& name) override;
    std::vector<std::string> SysGetServByPort(std::int32_t port) override;
    std::int32_t SysListen(TNetSocket socket, std::int32_t backlog) override;
    std::int32_t SysRecv(TNetSocket socket, void* buffer, std::int32_t capacity,
                         int flags) override;
    std::int32_t SysRecvFrom(TNetSocket socket, void* buffer, std::int32_t capacity, int flags,
                             std::string& ip, std::int32_t& port) override;
    std::int32_t SysSelect(std::vector<TNetSocket>* readList, std::vector<TNetSocket>* writeList,
                           std::int32_t timeout, std::vector<TNetSocket>* exceptList) override;
    std::int32_t SysSend(TNetSocket socket, const void* bytes, std::int32_t count,
                         int flags) override;
    std::int32_t SysSendTo(TNetSocket socket, const void* bytes, std::int32_t count, int flags,
                           const std::string& ip, std::int32_t port) override;
    std::int32_t SysSetSockOpt(TNetSocket socket, int level, int option, const void* value,
                               std::int32_t length) override;
    TNetSocket SysSocket(int family, int type, int protocol) override;
    std::int32_t SysShutdown(TNetSocket socket, int how) override;
    std::int32_t SysGetLastError() override;
    void SysGetPeerName(TNetSocket socket, int& family, std::string& ip,
                        std::int32_t& port) override;
    void SysGetSockName(TNetSocket socket, int& family, std::string& ip,
                        std::int32_t& port) override;
    bool HasTransmitFile() const override { return true; }
    std::int64_t SysTransmitFile(TNetSocket socket, const std::string& path) override;
    std::string Name() const override { return "POSIX sockets stack"; }

  protected:
    // Sets the code SysGetLastError reports on this thread.
    static void SetLastError(std::int32_t code);
    // Records errno's code and returns -1.
    static std::int32_t Fail();
};

}  // namespace corvane::net
