// An in-memory socket stack for the fuzz targets: every socket reads from
// one stretch of bytes (the fuzzer's input, as the peer's whole answer), the
// end of which is the peer's close; what the client sends is counted and
// its first bytes kept. No real socket, no name lookup, no waiting. Touches
// only the process-wide `wire` below, which a target sets up per input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "net/socket_stack.h"

namespace corvane::fuzzing {

struct Wire {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;         // bytes handed out by receives so far
    std::size_t perReceive = 1;  // at most this many bytes per receive
    std::size_t sent = 0;        // bytes the client sent
    std::string sentBytes;       // the first kSentKept of them
    net::TNetSocket nextSocket = 1000;

    static constexpr std::size_t kSentKept = 4096;

    void Reset(const std::uint8_t* bytes, std::size_t count, std::size_t chunk) {
        *this = Wire();
        data = bytes;
        size = count;
        perReceive = chunk;
    }
};
inline Wire wire;

class MemoryStack : public net::TNetStack {
  public:
    net::TNetSocket SysAccept(net::TNetSocket, std::string&, std::int32_t&) override { return -1; }
    std::int32_t SysBind(net::TNetSocket, int, const std::string&, std::int32_t) override {
        return 0;
    }
    std::int32_t SysCloseSocket(net::TNetSocket) override { return 0; }
    std::int32_t SysConnect(net::TNetSocket, int, const std::string&, std::int32_t,
                            std::int32_t) override {
        return 0;
    }
    std::string SysGetHostByName(const std::string&) override { return "127.0.0.1"; }
    std::string SysGetHostName() override { return "localhost"; }
    std::string SysGetHostByAddr(const std::string&) override { return "localhost"; }
    std::int32_t SysGetServByName(const std::string&) override { return 80; }
    std::vector<std::string> SysGetServByPort(std::int32_t) override { return {"http"}; }
    std::int32_t SysListen(net::TNetSocket, std::int32_t) override { return -1; }
    std::int32_t SysRecv(net::TNetSocket, void* buffer, std::int32_t capacity, int) override {
        const std::size_t left = wire.size - wire.pos;
        const std::size_t n = std::min(
            {left, wire.perReceive, static_cast<std::size_t>(capacity < 0 ? 0 : capacity)});
        if (n > 0)
            std::memcpy(buffer, wire.data + wire.pos, n);
        wire.pos += n;
        return static_cast<std::int32_t>(n);
    }
    std::int32_t SysRecvFrom(net::TNetSocket, void*, std::int32_t, int, std::string&,
                             std::int32_t&) override {
        return -1;
    }
    std::int32_t SysSelect(std::vector<net::TNetSocket>*, std::vector<net::TNetSocket>*,
                           std::int32_t, std::vector<net::TNetSocket>*) override {
        return 1;
    }
    std::int32_t SysSend(net::TNetSocket, const void* bytes, std::int32_t count, int) override {
        const auto n = static_cast<std::size_t>(count < 0 ? 0 : count);
        const std::size_t keep = std::min(n, Wire::kSentKept - wire.sentBytes.size());
        wire.sentBytes.append(static_cast<const char*>(bytes), keep);
        wire.sent += n;
        return count;
    }
    std::int32_t SysSendTo(net::TNetSocket, const void*, std::int32_t, int, const std::string&,
                           std::int32_t) override {
        return -1;
    }
    std::int32_t SysSetSockOpt(net::TNetSocket, int, int, const void*, std::int32_t) override {
        return 0;
    }
    net::TNetSocket SysSocket(int, int, int) override { return wire.nextSocket++; }
    std::int32_t SysShutdown(net::TNetSocket, int) override { return 0; }
    std::int32_t SysGetLastError() override { return 10054; }
    void SysGetPeerName(net::TNetSocket, int& family, std::string& ip,
                        std::int32_t& port) override {
        family = net::NetAddressFamilyIPv4;
        ip = "127.0.0.1";
        port = 80;
    }
    void SysGetSockName(net::TNetSocket, int& family, std::string& ip,
                        std::int32_t& port) override {
        family = net::NetAddressFamilyIPv4;
        ip = "127.0.0.1";
        port = 40000;
    }
    std::string Name() const override { return "memory stack"; }
};

}  // namespace corvane::fuzzing
