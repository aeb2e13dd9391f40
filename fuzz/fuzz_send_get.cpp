// SendGet with arbitrary bytes as the server's whole response, served by the
// in-memory socket stack of fuzz/memory_stack.h (no real sockets). The first byte chooses client
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

#include "fuzz/memory_stack.h"
#include "net/http_client.h"
#include "net/net_component.h"
#include "net/page_fetch.h"

using namespace corvane::net;
using corvane::fuzzing::wire;

namespace {

constexpr std::int64_t kMaxBody = 1 << 20;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    static const bool installed = [] {
        SetNetStackFactory([] { return std::make_unique<corvane::fuzzing::MemoryStack>(); });
        return true;
    }();
    (void)installed;

    const std::uint8_t flags = data[0];
    static const std::size_t kPerReceive[] = {1, 2, 7, 64, 1000, 32768, 3, 13};
    wire.Reset(data + 1, size - 1, kPerReceive[(flags >> 4) & 7]);

    TextSink sink;
    {
        TNetHTTP client;
        client.MaxBodySize = kMaxBody;
        client.HandleRedirects = (flags & 1) != 0;
        if (flags & 2)
            client.ProtocolVersion = pv1_0;
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
