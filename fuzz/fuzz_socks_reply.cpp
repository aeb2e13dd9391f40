// The SOCKS 4, 4A and 5 negotiation of TNetTCPClient::OpenConnection with
// arbitrary bytes as the proxy's replies, served by the in-memory socket
// stack of fuzz/memory_stack.h. The first byte chooses the SOCKS version,
// whether credentials are given, the target host and how many bytes one
// receive hands out; the rest is all the proxy ever sends.
//
// Beyond "no crash, no leak", each input is checked against the protocol:
// the request bytes the client sent, whether the negotiation succeeds, and
// that it consumes exactly the reply bytes the protocol gives it, no more
// (the connection's own data follows) and no fewer.
// fuzz-libs: corvane_net
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/memory_stack.h"
#include "net/net_component.h"
#include "net/net_exceptions.h"
#include "net/tcp_client.h"

using namespace corvane::net;
using corvane::fuzzing::wire;

namespace {

constexpr std::int32_t kTargetPort = 8080;
const std::string kUser = "fuzz-user";
const std::string kPassword = "secret";

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::string PortBytes(std::int32_t port) {
    return std::string{static_cast<char>((port >> 8) & 0xFF), static_cast<char>(port & 0xFF)};
}

// The reply bytes a successful negotiation reads, or none when the replies
// (all of `reply`, the proxy's whole answer) make it fail. Every reply
// starts with its version: 0 for SOCKS 4, 1 for the password exchange, 5
// for the rest of SOCKS 5.
std::optional<std::size_t> ExpectedConsumption(TSocksVersion version, bool withPassword,
                                               const std::uint8_t* reply, std::size_t size) {
    if (version != svSocks5) {
        if (size < 8 || reply[0] != 0 || reply[1] != 90)
            return std::nullopt;
        return 8;
    }
    std::size_t at = 0;
    if (size < at + 2 || reply[at] != 5 || reply[at + 1] != (withPassword ? 2 : 0))
        return std::nullopt;
    at += 2;
    if (withPassword) {
        if (size < at + 2 || reply[at] != 1 || reply[at + 1] != 0)
            return std::nullopt;
        at += 2;
    }
    if (size < at + 5 || reply[at] != 5 || reply[at + 1] != 0)
        return std::nullopt;
    std::size_t rest = 0;
    switch (reply[at + 3]) {
        case 1:
            rest = 4 - 1 + 2;
            break;
        case 3:
            rest = std::size_t{reply[at + 4]} + 2;
            break;
        case 4:
            rest = 16 - 1 + 2;
            break;
        default:
            return std::nullopt;
    }
    at += 5;
    if (size < at + rest)
        return std::nullopt;
    return at + rest;
}

// The first request the client sends, as the published form has it.
std::string ExpectedFirstRequest(TSocksVersion version, bool withPassword, bool withUser,
                                 const std::string& host) {
    if (version == svSocks5)
        return std::string{5, 1, static_cast<char>(withPassword ? 2 : 0)};
    std::string request{4, 1};
    request += PortBytes(kTargetPort);
    // SOCKS 4 sends the address the memory stack resolves every name to (or
    // the dotted target itself); 4A sends 0.0.0.1 and the name after the user.
    const bool dotted = host == "10.1.2.3";
    request += version == svSocks4A ? std::string{0, 0, 0, 1}
               : dotted             ? std::string{10, 1, 2, 3}
                                    : std::string{127, 0, 0, 1};
    request += withUser ? kUser : std::string();
    request.push_back('\0');
    if (version == svSocks4A) {
        request += host;
        request.push_back('\0');
    }
    return request;
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
    static constexpr TSocksVersion kVersions[] = {svSocks4, svSocks4A, svSocks5, svSocks5};
    static constexpr std::size_t kPerReceive[] = {1, 2, 3, 5, 7, 64, 1000, 32768};
    const TSocksVersion version = kVersions[flags & 3];
    const bool credentials = (flags & 4) != 0;
    const std::string host = (flags & 8) != 0 ? "10.1.2.3" : "www.example.com";
    wire.Reset(data + 1, size - 1, kPerReceive[(flags >> 4) & 7]);

    const bool withPassword = version == svSocks5 && credentials;
    bool connected = false;
    std::size_t consumed = 0;
    {
        TNetTCPClient client;
        client.Host = host;
        client.Port = kTargetPort;
        client.SocksInfo.Version = version;
        client.SocksInfo.Host = "proxy.example";
        client.SocksInfo.Port = 1080;
        if (credentials) {
            client.SocksInfo.UserID = kUser;
            client.SocksInfo.Password = kPassword;
            client.SocksInfo.Authentication =
                withPassword ? saUsernamePassword : saNoAuthentication;
        }
        try {
            client.OpenConnection();
            connected = true;
        } catch (const ENetSocksError&) {
        } catch (const ENetException&) {
            // Only SOCKS 4 lets a failed read of its reply pass unchanged;
            // SOCKS 5 reports it as a proxy that did not respond.
            Check(version != svSocks5);
        }
        // What the connection read beyond the replies stays queued for it.
        consumed = wire.pos - static_cast<std::size_t>(client.InputSize());
    }

    const std::optional<std::size_t> expected =
        ExpectedConsumption(version, withPassword, data + 1, size - 1);
    Check(connected == expected.has_value());
    if (expected)
        Check(consumed == *expected);

    const std::string first = ExpectedFirstRequest(version, withPassword, credentials, host);
    Check(wire.sentBytes.compare(0, first.size(), first) == 0);
    if (withPassword && wire.sent > first.size()) {
        // The credentials follow the greeting once the proxy chose the method.
        std::string auth{1};
        auth.push_back(static_cast<char>(kUser.size()));
        auth += kUser;
        auth.push_back(static_cast<char>(kPassword.size()));
        auth += kPassword;
        Check(wire.sentBytes.compare(first.size(), auth.size(), auth) == 0);
    }
    Check(NetStackUseCount() == 0);
    return 0;
}
