// SendGet with arbitrary bytes as the server's whole response, served by an
// in-memory socket stack (no real sockets). The first byte chooses client
// settings and how many bytes one receive hands out; the rest is what the
// "server" sends, over as many connections as the client opens.
// fuzz-libs: corvane_net
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/net_component.h"
#include "net/page_fetch.h"

using namespace corvane::net;

namespace {

constexpr std::int64_t kMaxBody = 1 << 20;

struct Wire {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::size_t perReceive = 1;
    std::size_t sent = 0;
    TNetSocket nextSocket = 1000;
};
Wire wire;

void Check(bool condition) {
    if (!condition) std::abort();
}

// Every socket reads from the same response; the end of it is the server's
// close. Sends are swallowed.
class MemoryStack : public TNetStack {
public:
    TNetSocket SysAccept(TNetSocket, std::string&, std::int32_t&) override { return -1; }
    std::int32_t SysBind(TNetSocket, int, const std::string&, std::int32_t) override { return 0; }
    std::int32_t SysCloseSocket(TNetSocket) override { return 0; }
    std::int32_t SysConnect(TNetSocket, int, const std::string&, std::int32_t, std::int32_t) override { return 0; }
    std::string SysGetHostByName(const std::string&) override { return "127.0.0.1"; }
    std::string SysGetHostName() override { return "localhost"; }
    std::string SysGetHostByAddr(const std::string&) override { return "localhost"; }
    std::int32_t SysGetServByName(const std::string&) override { return 80; }
    std::vector<std::string> SysGetServByPort(std::int32_t) override { return {"http"}; }
    std::int32_t SysListen(TNetSocket, std::int32_t) override { return -1; }
    std::int32_t SysRecv(TNetSocket, void* buffer, std::int32_t capacity, int) override {
        const std::size_t left = wire.size - wire.pos;
        const std::size_t n = std::min({left, wire.perReceive, static_cast<std::size_t>(capacity < 0 ? 0 : capacity)});
        if (n > 0) std::memcpy(buffer, wire.data + wire.pos, n);
        wire.pos += n;
        return static_cast<std::int32_t>(n);
    }
    std::int32_t SysRecvFrom(TNetSocket, void*, std::int32_t, int, std::string&, std::int32_t&) override { return -1; }
    std::int32_t SysSelect(std::vector<TNetSocket>*, std::vector<TNetSocket>*, std::int32_t,
                           std::vector<TNetSocket>*) override {
        return 1;
    }
    std::int32_t SysSend(TNetSocket, const void*, std::int32_t count, int) override {
        wire.sent += static_cast<std::size_t>(count);
        return count;
    }
    std::int32_t SysSendTo(TNetSocket, const void*, std::int32_t, int, const std::string&, std::int32_t) override {
        return -1;
    }
    std::int32_t SysSetSockOpt(TNetSocket, int, int, const void*, std::int32_t) override { return 0; }
    TNetSocket SysSocket(int, int, int) override { return wire.nextSocket++; }
    std::int32_t SysShutdown(TNetSocket, int) override { return 0; }
    std::int32_t SysGetLastError() override { return 10054; }
    void SysGetPeerName(TNetSocket, int& family, std::string& ip, std::int32_t& port) override {
        family = NetAddressFamilyIPv4;
        ip = "127.0.0.1";
        port = 80;
    }
    void SysGetSockName(TNetSocket, int& family, std::string& ip, std::int32_t& port) override {
        family = NetAddressFamilyIPv4;
        ip = "127.0.0.1";
        port = 40000;
    }
    std::string Name() const override { return "memory stack"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const bool installed = [] {
        SetNetStackFactory([] { return std::make_unique<MemoryStack>(); });
        return true;
    }();
    (void)installed;

    const std::uint8_t flags = data[0];
    static const std::size_t kPerReceive[] = {1, 2, 7, 64, 1000, 32768, 3, 13};
    wire = Wire();
    wire.data = data + 1;
    wire.size = size - 1;
    wire.perReceive = kPerReceive[(flags >> 4) & 7];

    TextSink sink;
    {
        TNetHTTP client;
        client.MaxBodySize = kMaxBody;
        client.HandleRedirects = (flags & 1) != 0;
        if (flags & 2) client.ProtocolVersion = pv1_0;
        if (flags & 4) {
            client.Request.ProxyServer = "proxy.example";
            client.Request.ProxyPort = 3128;
        }
        try {
            client.SendGet("http://www.example.com/search?p=x", (flags & 8) ? nullptr : &sink);
        } catch (const ENetException&) {
        } catch (const EConvertError&) {
        }
        Check(client.RedirectDepth() <= client.RedirectMaximum);
    }
    // The body never holds more than was received, nor more than the limit.
    Check(sink.Size() <= static_cast<std::int64_t>(wire.size));
    Check(sink.Size() <= kMaxBody);
    Check(sink.Text().capacity() <= static_cast<std::size_t>(kMaxBody) + 64);
    Check(NetStackUseCount() == 0);
    return 0;
}
