#include <gtest/gtest.h>

#include "net/net_exceptions.h"
#include "net/tcp_client.h"
#include "tests/support/client_helpers.h"
#include "tests/support/proxy_servers.h"
#include "tests/support/scripted_peer.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

using namespace std::string_literals;

// A client that goes through a proxy at 127.0.0.1:proxyPort to host:port.
std::unique_ptr<TNetTCPClient> ProxiedClient(TSocksVersion version, int proxyPort,
                                             const std::string& host, int port) {
    auto c = std::make_unique<TNetTCPClient>();
    c->Host = host;
    c->Port = port;
    c->SocksInfo.Version = version;
    c->SocksInfo.Host = "127.0.0.1";
    c->SocksInfo.Port = proxyPort;
    c->ConnectTimeout = 5000;
    c->ReadTimeout = 2000;
    return c;
}

const std::string kGreeting = "\x05\x01\x00"s;
std::string Socks5Request(const std::string& host, int port) {
    return "\x05\x01\x00\x03"s + static_cast<char>(host.size()) + host +
           static_cast<char>(port >> 8) + static_cast<char>(port & 0xFF);
}

// ---- SOCKS 4 and 4A against a scripted proxy ----

TEST(Socks4, RequestAndSuccess) {
    ScriptedPeer proxy(PeerScript()
                           .ReadBytes(11)
                           .Send("\x00\x5a\x00\x00\x00\x00\x00\x00"s)
                           .ReadUntil("ping\r\n")
                           .Send("pong\n")
                           .ReadUntilClosed());
    auto c = ProxiedClient(svSocks4, proxy.Port(), "localhost", 8080);
    c->SocksInfo.UserID = "me";
    EventLog log;
    log.AttachStatus(*c);
    c->OpenConnection();
    c->WriteLine("ping");
    EXPECT_EQ(c->ReadLine(), "pong");
    c->CloseConnection();
    EXPECT_EQ(proxy.Received(0), "\x04\x01\x1f\x90\x7f\x00\x00\x01me\x00ping\r\n"s);
    // The status reports name the proxy: the target is not looked up as a name.
    EXPECT_EQ(log.events[0], "status 1: Connecting to 127.0.0.1.");
    EXPECT_EQ(log.events[1], "status 2: Connected.");
}

TEST(Socks4, HostNameForm) {
    ScriptedPeer proxy(PeerScript()
                           .ReadUntil("example.com"s + '\0')
                           .Send("\x00\x5a\x00\x00\x00\x00\x00\x00"s)
                           .ReadUntilClosed());
    auto c = ProxiedClient(svSocks4A, proxy.Port(), "example.com", 80);
    c->SocksInfo.UserID = "me";
    c->OpenConnection();
    c->CloseConnection();
    EXPECT_EQ(proxy.Received(0), "\x04\x01\x00\x50\x00\x00\x00\x01me\x00"s + "example.com" + '\0');
}

TEST(Socks4, EveryReplyCode) {
    struct Case {
        char code;
        std::string message;
    };
    const std::vector<Case> cases{
        {91, "Request rejected or failed."},
        {92, "Request rejected because SOCKS server cannot connect."},
        {93, "Request rejected because the client program and identd report different user-ids."},
        {0x10, "Unknown socks error."},
    };
    ScriptedPeer proxy(static_cast<int>(cases.size()), [&](int i) {
        return PeerScript()
            .ReadBytes(9)
            .Send("\x00"s + cases[static_cast<std::size_t>(i)].code + "\x00\x00\x00\x00\x00\x00"s)
            .ReadUntilClosed();
    });
    for (const Case& k : cases) {
        auto c = ProxiedClient(svSocks4, proxy.Port(), "127.0.0.1", 80);
        try {
            c->OpenConnection();
            ADD_FAILURE() << "code " << int(k.code);
        } catch (const ENetSocksError& e) {
            EXPECT_EQ(e.what(), k.message);
        }
        EXPECT_TRUE(
            c->SocketHandle().IsAllocated());  // a failed negotiation leaves the socket open
    }
}

TEST(Socks4, BadNamesAreRefusedBeforeSending) {
    ScriptedPeer proxy(PeerScript().ReadUntilClosed(), 3);
    auto c = ProxiedClient(svSocks4A, proxy.Port(), std::string(256, 'h'), 80);
    EXPECT_THROW(c->OpenConnection(), ENetSocksError);
    c->CloseConnection();
    c->Host = "evil\0host"s;
    EXPECT_THROW(c->OpenConnection(), ENetSocksError);
    c->CloseConnection();
    c->Host = "example.com";
    c->SocksInfo.UserID = "me\0example.org"s;
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksError& e) {
        EXPECT_STREQ(e.what(), "SOCKS user name contains a zero byte.");
    }
    c->CloseConnection();
    c.reset();
    ASSERT_TRUE(proxy.WaitAllDone());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(proxy.Received(i), "");
}

// ---- SOCKS 5 against a scripted proxy ----

TEST(Socks5, RepliesAreReadExactlyForEachAddressType) {
    // After its reply the proxy waits for the client's request: a client that
    // read one byte too many would wait for the read limit.
    const std::vector<std::string> replies{
        "\x05\x00\x00\x01\x7f\x00\x00\x01\x1f\x90"s,
        "\x05\x00\x00\x03\x09localhost\x1f\x90"s,
        "\x05\x00\x00\x04"s + std::string(16, '\x01') + "\x1f\x90"s,
    };
    ScriptedPeer proxy(static_cast<int>(replies.size()), [&](int i) {
        return PeerScript()
            .ReadUntil(kGreeting)
            .Send("\x05\x00"s)
            .ReadUntil(Socks5Request("example.com", 80))
            .Send(replies[static_cast<std::size_t>(i)])
            .ReadUntil("GET\r\n")
            .Send("answer\n")
            .ReadUntilClosed();
    });
    for (std::size_t i = 0; i < replies.size(); ++i) {
        auto c = ProxiedClient(svSocks5, proxy.Port(), "example.com", 80);
        c->OpenConnection();
        c->WriteLine("GET");
        EXPECT_EQ(c->ReadLine(), "answer") << "reply " << i;
        EXPECT_EQ(c->InputSize(), 0);
    }
}

TEST(Socks5, EveryReplyCode) {
    const std::vector<std::string> messages{
        "General SOCKS server failure.", "Connection not allowed by ruleset.",
        "Network unreachable.",          "Host unreachable.",
        "Connection refused.",           "TTL expired.",
        "Command not supported.",        "Address type not supported.",
        "Unknown socks error.",
    };
    ScriptedPeer proxy(static_cast<int>(messages.size()) + 1, [&](int i) {
        // Codes 1 to 9, then success with an address type that does not exist.
        const char code = static_cast<char>(i < 9 ? i + 1 : 0);
        const char type = static_cast<char>(i < 9 ? 1 : 7);
        return PeerScript()
            .ReadBytes(3)
            .Send("\x05\x00"s)
            .ReadBytes(7 + 9)
            .Send("\x05"s + code + '\0' + type + "\x7f\x00\x00\x01\x00\x50"s)
            .ReadUntilClosed();
    });
    for (std::size_t i = 0; i <= messages.size(); ++i) {
        auto c = ProxiedClient(svSocks5, proxy.Port(), "127.0.0.1", 80);
        try {
            c->OpenConnection();
            ADD_FAILURE() << "reply " << i;
        } catch (const ENetSocksError& e) {
            EXPECT_EQ(e.what(), i < messages.size() ? messages[i] : "Address type not supported.");
        }
    }
}

TEST(Socks5, UserNameAndPassword) {
    ScriptedPeer proxy({
        PeerScript()
            .ReadUntil("\x05\x01\x02"s)
            .Send("\x05\x02"s)
            .ReadUntil("\x01\x04user\x06secret"s)
            .Send("\x01\x00"s)
            .ReadUntil(Socks5Request("example.com", 443))
            .Send("\x05\x00\x00\x01\x7f\x00\x00\x01\x01\xbb"s)
            .ReadUntilClosed(),
        PeerScript()
            .ReadBytes(3)
            .Send("\x05\x02"s)
            .ReadBytes(13)
            .Send("\x01\x01"s)
            .ReadUntilClosed(),
        PeerScript().ReadBytes(3).Send("\x05\xff"s).ReadUntilClosed(),
    });
    auto c = ProxiedClient(svSocks5, proxy.Port(), "example.com", 443);
    c->SocksInfo.Authentication = saUsernamePassword;
    c->SocksInfo.UserID = "user";
    c->SocksInfo.Password = "secret";
    c->OpenConnection();
    EXPECT_TRUE(c->IsConnected());
    c->CloseConnection();
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksAuthError& e) {
        EXPECT_STREQ(e.what(), "Authentication error to socks server.");
    }
    c->CloseConnection();
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksAuthMethodError& e) {
        EXPECT_STREQ(e.what(), "Invalid socks authentication method.");
    }
}

TEST(Socks5, ProxyThatStopsAnsweringIsNoHang) {
    ScriptedPeer proxy({
        PeerScript().ReadBytes(3).Close(),
        PeerScript()
            .ReadBytes(3)
            .Send("\x05\x00"s)
            .ReadBytes(16)
            .Send("\x05\x00\x00\x01\x7f"s)
            .Close(),
        PeerScript().ReadBytes(3).Pause(3000),
    });
    for (int i = 0; i < 3; ++i) {
        auto c = ProxiedClient(svSocks5, proxy.Port(), "127.0.0.1", 80);
        c->ReadTimeout = 200;
        try {
            c->OpenConnection();
            ADD_FAILURE() << "connection " << i;
        } catch (const ENetSocksServerRespondError& e) {
            EXPECT_STREQ(e.what(), "Socks server did not respond.");
        }
    }
}

TEST(Socks5, NameLimits) {
    const std::string longest(255, 'n');
    ScriptedPeer proxy({PeerScript()
                            .ReadBytes(3)
                            .Send("\x05\x00"s)
                            .ReadUntil(Socks5Request(longest, 80))
                            .Send("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50"s)
                            .ReadUntilClosed(),
                        PeerScript().ReadUntilClosed(), PeerScript().ReadUntilClosed(),
                        PeerScript().ReadUntilClosed()});
    auto c = ProxiedClient(svSocks5, proxy.Port(), longest, 80);
    c->OpenConnection();  // 255 bytes: the most a length byte holds
    c->CloseConnection();

    c->Host = longest + "n";
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksError& e) {
        EXPECT_STREQ(e.what(), "SOCKS host name is longer than 255 bytes.");
    }
    c->CloseConnection();
    c->Host = "example.com\0.evil"s;
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksError& e) {
        EXPECT_STREQ(e.what(), "SOCKS host name contains a zero byte.");
    }
    c->CloseConnection();
    c->Host = "example.com";
    c->SocksInfo.Authentication = saUsernamePassword;
    c->SocksInfo.UserID = "u";
    c->SocksInfo.Password = std::string(300, 'p');
    EXPECT_THROW(c->OpenConnection(), ENetSocksError);
    c->CloseConnection();
    c.reset();
    ASSERT_TRUE(proxy.WaitAllDone());
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(proxy.Received(i), "") << i;
}

// ---- real SOCKS 5 servers ----

void PingThrough(TNetTCPClient& c) {
    c.OpenConnection();
    c.WriteLine("ping");
    EXPECT_EQ(c.ReadLine(), "pong");
    c.CloseConnection();
}

TEST(RealSocks5, MicrosocksWithoutAuthentication) {
    MicrosocksServer server;
    ScriptedPeer target(PeerScript().ReadUntil("ping\r\n").Send("pong\n").ReadUntilClosed());
    auto c = ProxiedClient(svSocks5, server.Port(), "127.0.0.1", target.Port());
    PingThrough(*c);
    EXPECT_EQ(target.Received(0), "ping\r\n");
}

TEST(RealSocks5, MicrosocksWithUserNameAndPassword) {
    MicrosocksServer server("corvane", "s3cret");
    ScriptedPeer target(PeerScript().ReadUntil("ping\r\n").Send("pong\n").ReadUntilClosed());
    auto c = ProxiedClient(svSocks5, server.Port(), "localhost", target.Port());
    c->SocksInfo.Authentication = saUsernamePassword;
    c->SocksInfo.UserID = "corvane";
    c->SocksInfo.Password = "wrong";
    EXPECT_THROW(c->OpenConnection(), ENetSocksAuthError);
    c->CloseConnection();
    c->SocksInfo.Password = "s3cret";
    PingThrough(*c);
    c->SocksInfo.Authentication = saNoAuthentication;  // the server insists on a password
    EXPECT_THROW(c->OpenConnection(), ENetSocksAuthMethodError);
}

TEST(RealSocks5, MicrosocksRefusedTarget) {
    MicrosocksServer server;
    RefusingPort closed;
    auto c = ProxiedClient(svSocks5, server.Port(), "127.0.0.1", closed.Port());
    EXPECT_THROW(c->OpenConnection(), ENetSocksServerConnectionRefusedError);
}

TEST(RealSocks5, DanteConnectionAndRefusedTarget) {
    DanteServer server;
    ScriptedPeer target(PeerScript().ReadUntil("ping\r\n").Send("pong\n").ReadUntilClosed());
    auto c = ProxiedClient(svSocks5, server.Port(), "127.0.0.1", target.Port());
    c->ReadTimeout = 5000;
    PingThrough(*c);
    RefusingPort closed;
    c->Port = closed.Port();
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetSocksError& e) {
        EXPECT_STREQ(e.what(), "Connection refused.") << server.Log();
    }
}

}  // namespace
