#include <gtest/gtest.h>

#include <netdb.h>
#include <cerrno>

#include "net/net_component.h"
#include "net/net_exceptions.h"
#include "net/posix_stack.h"
#include "net/socket_errors.h"
#include "net/socket_handle.h"
#include "net/socket_stack.h"
#include "tests/support/scripted_peer.h"

using namespace corvane::net;

namespace {

// Keeps the shared stack alive for a test.
struct StackUser : TNetComponent {};

TEST(SocketStack, IPv4TextRecognition) {
    EXPECT_TRUE(TNetStack::IsIPv4Text("1.2.3.4"));
    EXPECT_TRUE(TNetStack::IsIPv4Text(" 1.2.3.4"));
    EXPECT_TRUE(TNetStack::IsIPv4Text("$7F.0.0.1"));
    EXPECT_TRUE(TNetStack::IsIPv4Text("0x7f.0.0.x1"));
    EXPECT_TRUE(TNetStack::IsIPv4Text("+1.-0.3.255"));
    EXPECT_FALSE(TNetStack::IsIPv4Text("1.2.3"));
    EXPECT_FALSE(TNetStack::IsIPv4Text("1.2.3.4.5"));  // the fourth part is "4.5"
    EXPECT_FALSE(TNetStack::IsIPv4Text("256.0.0.1"));
    EXPECT_FALSE(TNetStack::IsIPv4Text("-1.0.0.1"));
    EXPECT_FALSE(TNetStack::IsIPv4Text("1..3.4"));
    EXPECT_FALSE(TNetStack::IsIPv4Text("1.2.3.4 "));
    EXPECT_FALSE(TNetStack::IsIPv4Text(std::string("1.2.3.4\0evil", 12)));
    EXPECT_FALSE(TNetStack::IsIPv4Text("example.com"));
    EXPECT_FALSE(TNetStack::IsIPv4Text(""));
}

TEST(SocketStack, IntegerRule) {
    std::int32_t v = 0;
    EXPECT_TRUE(TryParseNetInteger("  42", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryParseNetInteger("$FFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryParseNetInteger("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(TryParseNetInteger("2147483648", v));
    EXPECT_FALSE(TryParseNetInteger("$100000000", v));
    EXPECT_FALSE(TryParseNetInteger("", v));
    EXPECT_FALSE(TryParseNetInteger("$", v));
    EXPECT_FALSE(TryParseNetInteger("-$1", v));
    EXPECT_FALSE(TryParseNetInteger("12a", v));
    EXPECT_FALSE(TryParseNetInteger("+", v));
}

// The integer rule at its edges. Unlike a survey figure, a hexadecimal text
// here is 32 bits of two's complement: "$FFFFFFFF" is -1 (and so no address
// part, while ParseIPv4 keeps its low 8 bits).
TEST(SocketStack, IntegerRuleAtTheBoundaries) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {"$FFFFFFFF", true, -1},
        {"0x7FFFFFFF", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"+5", true, 5},
        {" 5", true, 5},
        {"", false, 0},
        {"x10", true, 16},
    };
    for (const auto& c : cases) {
        std::int32_t v = 99;
        EXPECT_EQ(TryParseNetInteger(c.text, v), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(v, c.ok ? c.value : 99) << '"' << c.text << '"';
    }
    EXPECT_FALSE(TNetStack::IsIPv4Text("$FFFFFFFF.0.0.1"));
    TNetStackPosix stack;
    EXPECT_EQ(stack.ParseIPv4("$FFFFFFFF.0.0.1"), (TNetIPv4{255, 0, 0, 1}));
}

TEST(SocketStack, ParseAndFormatIPv4) {
    TNetStackPosix stack;
    EXPECT_EQ(stack.FormatIPv4({127, 0, 0, 1}), "127.0.0.1");
    EXPECT_EQ(stack.FormatIPv4({10, 200, 0, 9}), "10.200.0.9");
    EXPECT_EQ(stack.ParseIPv4("$7F.0.0.1"), (TNetIPv4{127, 0, 0, 1}));
    EXPECT_EQ(stack.ParseIPv4("1.2.3.4.5"),
              (TNetIPv4{1, 2, 3, 4}));  // the fourth stops at the next dot
    EXPECT_EQ(stack.ParseIPv4("257.0.0.1"), (TNetIPv4{1, 0, 0, 1}));  // low 8 bits
    try {
        stack.ParseIPv4("1.x2z.3.4");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x2z' is not a valid integer value");
    }
    EXPECT_THROW(stack.ParseIPv4("1.2.3"), EConvertError);
}

TEST(SocketStack, ErrorMessages) {
    EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(SocketErrorMessage(10035), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorMessage(10066), "Socket Error # 10066\r\nDirectory not empty");
    EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\n");
    EXPECT_EQ(SocketErrorMessage(-5), "Socket Error # -5\r\n");
    try {
        TNetStack::ThrowSocketError(10054);
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10054);
        EXPECT_STREQ(e.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
}

TEST(SocketStack, ErrnoAndLookupNumbering) {
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10058);
    EXPECT_EQ(SocketErrorFromErrno(ESHUTDOWN), 10058);
    EXPECT_EQ(SocketErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(SocketErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(SocketErrorFromErrno(EINTR), 10004);
    EXPECT_EQ(SocketErrorFromErrno(ENOTEMPTY), 10066);
    EXPECT_EQ(SocketErrorFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(SocketErrorFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(SocketErrorFromLookup(EAI_FAIL, 0), 11003);
    EXPECT_EQ(SocketErrorFromLookup(EAI_NODATA, 0), 11004);
    EXPECT_EQ(SocketErrorFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketStack, ResolveAddress) {
    TNetStackPosix stack;
    EXPECT_EQ(stack.ResolveAddress("LocalHost"), "127.0.0.1");
    EXPECT_EQ(stack.ResolveAddress("LOCALHOST"), "127.0.0.1");
    EXPECT_EQ(stack.ResolveAddress("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(stack.ResolveAddress(" 1.2.3.4"), " 1.2.3.4");  // unchanged, no lookup
    try {
        stack.ResolveAddress("no-such-host..invalid");
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\n");
    }
    // A zero byte would make the lookup see only "localhost".
    EXPECT_THROW(stack.ResolveAddress(std::string("localhost\0.evil", 15)), ENetSocketError);
}

TEST(SocketStack, SelectLimitsAndPolling) {
    TNetStackPosix stack;
    std::vector<TNetSocket> tooMany(65, 0);
    EXPECT_THROW(stack.SysSelect(&tooMany, nullptr, 0, nullptr), ENetStackSetSizeExceeded);

    corvane::testing::ScriptedPeer peer(
        corvane::testing::PeerScript().Pause(200).Send("x").ReadUntilClosed());
    const TNetSocket s = stack.OpenSocket(NetSocketStream, 0);
    ASSERT_EQ(stack.SysConnect(s, NetAddressFamilyIPv4, "127.0.0.1", peer.Port(), 0), 0);
    std::vector<TNetSocket> read{s, s};
    EXPECT_EQ(stack.SysSelect(&read, nullptr, 0, nullptr), 0);  // a poll: nothing yet
    EXPECT_TRUE(read.empty());
    read = {s};
    std::vector<TNetSocket> write{s};
    EXPECT_EQ(stack.SysSelect(&read, &write, WaitForever, nullptr), 1);  // writable at once
    EXPECT_EQ(write, std::vector<TNetSocket>{s});
    read = {s};
    EXPECT_EQ(stack.SysSelect(&read, nullptr, 5000, nullptr), 1);
    EXPECT_EQ(read, std::vector<TNetSocket>{s});
    stack.SysShutdown(s, NetShutdownSending);
    stack.SysCloseSocket(s);
    std::vector<TNetSocket> closed{s};
    EXPECT_EQ(stack.SysSelect(&closed, nullptr, 0, nullptr), -1);
}

TEST(SocketStack, SocketHandleBindConnectAndWait) {
    StackUser user;
    TNetSocketHandle handle(user.Stack());
    EXPECT_THROW(handle.WaitReadable(0), ENetConnClosedGracefully);

    corvane::testing::ScriptedPeer peer(
        corvane::testing::PeerScript().Send("hi").ReadUntilClosed());
    handle.Allocate(NetSocketStream, 0);
    handle.SetIP("127.0.0.1");
    handle.BindLocal();
    EXPECT_GT(handle.Port(), 0);
    handle.SetRemote("127.0.0.1", peer.Port());
    ASSERT_EQ(handle.ConnectToRemote(NetAddressFamilyIPv4), 0);
    EXPECT_EQ(handle.RemoteIP(), "127.0.0.1");
    EXPECT_EQ(handle.RemotePort(), peer.Port());
    EXPECT_TRUE(handle.WaitReadable(5000));
    char buffer[8];
    EXPECT_EQ(handle.ReceiveBytes(buffer, sizeof buffer), 2);

    // Same address and port again: in use.
    TNetSocketHandle second(user.Stack());
    second.Allocate(NetSocketStream, 0);
    second.SetIP("127.0.0.1");
    second.SetPort(handle.Port());
    EXPECT_THROW(second.BindLocal(), ENetCouldNotBindSocket);

    handle.CloseOsSocket(true);
    EXPECT_FALSE(handle.IsAllocated());
    EXPECT_EQ(handle.OsSocket(), InvalidNetSocket);
    EXPECT_EQ(handle.IP(), "");
    EXPECT_EQ(handle.RemotePort(), 0);
}

TEST(SocketStack, PortsOutsideSixteenBitsAreRejected) {
    TNetStackPosix stack;
    const TNetSocket s = stack.OpenSocket(NetSocketStream, 0);
    // 65536 + 80 must not quietly become port 80.
    EXPECT_EQ(stack.SysConnect(s, NetAddressFamilyIPv4, "127.0.0.1", 65536 + 80, 1000), -1);
    EXPECT_EQ(stack.SysGetLastError(), 10022);
    EXPECT_EQ(stack.SysBind(s, NetAddressFamilyIPv4, "", -1), -1);
    stack.SysCloseSocket(s);
}

TEST(SocketStack, ServiceNames) {
    TNetStackPosix stack;
    EXPECT_EQ(stack.SysGetServByName("8080"), 8080);
    try {
        stack.SysGetServByName("no-such-service-name");
        FAIL();
    } catch (const ENetInvalidServiceName& e) {
        EXPECT_STREQ(e.what(), "no-such-service-name is not a valid service.");
    }
}

}  // namespace
