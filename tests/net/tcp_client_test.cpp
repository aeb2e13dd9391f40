#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "net/net_exceptions.h"
#include "net/tcp_client.h"
#include "tests/support/client_helpers.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_stacks.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

std::vector<std::string> Events(std::initializer_list<std::string> e) {
    return e;
}

TEST(TcpClient, StatusReportsOfAConnection) {
    ScriptedPeer peer(PeerScript().ReadUntilClosed(), 2);
    TNetTCPClient c;
    EventLog log;
    log.AttachStatus(c);
    log.AttachConnected(c);
    c.Host = "LocalHost";  // no lookup, but still reported as a name being resolved
    c.Port = peer.Port();
    c.OpenConnection();
    EXPECT_EQ(c.SocketHandle().RemoteIP(), "127.0.0.1");
    EXPECT_EQ(c.SocketHandle().RemotePort(), peer.Port());
    c.CloseConnection();
    EXPECT_EQ(log.events, Events({"status 0: Resolving hostname LocalHost.",
                                  "status 1: Connecting to 127.0.0.1.", "status 2: Connected.",
                                  "connected", "status 3: Disconnecting from 127.0.0.1.",
                                  "status 4: Not connected.", "disconnected"}));

    log.events.clear();
    c.Host = "127.0.0.1";
    c.OpenConnection();
    EXPECT_EQ(log.events,
              Events({"status 1: Connecting to 127.0.0.1.", "status 2: Connected.", "connected"}));
}

TEST(TcpClient, AlreadyConnected) {
    ScriptedPeer peer(PeerScript().ReadUntilClosed());
    auto c = ClientFor(peer);
    try {
        c->OpenConnection();
        FAIL();
    } catch (const ENetAlreadyConnected& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    EXPECT_TRUE(c->IsConnected());
}

TEST(TcpClient, RefusedConnection) {
    RefusingPort port;
    TNetTCPClient c;
    EventLog log;
    log.AttachStatus(c);
    c.Host = "127.0.0.1";
    c.Port = port.Port();
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());
    EXPECT_EQ(log.events, Events({"status 1: Connecting to 127.0.0.1.",
                                  "status 3: Disconnecting from 127.0.0.1.",
                                  "status 4: Not connected.", "disconnected"}));
}

TEST(TcpClient, UnresolvableHost) {
    TNetTCPClient c;
    EventLog log;
    log.AttachStatus(c);
    c.Host = "no-such-host..invalid";
    c.Port = 80;
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\n");
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());
    EXPECT_EQ(log.events, Events({"status 0: Resolving hostname no-such-host..invalid.",
                                  "status 3: Disconnecting from .", "status 4: Not connected.",
                                  "disconnected"}));
}

TEST(TcpClient, ConnectTimeLimit) {
    UnansweredPort port;
    ASSERT_TRUE(port.Ready());
    TNetTCPClient c;
    EXPECT_EQ(c.ConnectTimeout, 15000);
    EXPECT_EQ(c.ReadTimeout, 30000);
    c.Host = "127.0.0.1";
    c.Port = port.Port();
    c.ConnectTimeout = 200;
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10060);
        EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());
}

TEST(TcpClient, OpeningAgainStartsAfresh) {
    ScriptedPeer peer(
        {PeerScript().Send("old").Close(), PeerScript().Send("new\n").ReadUntilClosed()});
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "");  // close seen, "old" queued
    EXPECT_TRUE(c->PeerClosed());
    c->OpenConnection();
    EXPECT_FALSE(c->PeerClosed());
    EXPECT_EQ(c->InputSize(), 0);
    EXPECT_EQ(c->ReadLine(), "new");
}

TEST(TcpClient, OpenAndReadAll) {
    ScriptedPeer peer(PeerScript().Send("all ").Pause(20).Send("of it").Close());
    auto c = ClientFor(peer, false);
    EXPECT_EQ(c->OpenAndReadAll(), "all of it");
    EXPECT_FALSE(c->SocketHandle().IsAllocated());
}

TEST(TcpClient, NoDelayAndBoundAddress) {
    ScopedTestStack stack;
    ScriptedPeer peer(PeerScript().ReadUntilClosed(), 2);
    auto c = ClientFor(peer, false);
    c->OpenConnection();
    EXPECT_EQ(stack.Plan().Calls(StackCall::SetSockOpt), 0);
    c->CloseConnection();
    c->UseNagle = false;
    c->BoundIP = "127.0.0.1";
    c->OpenConnection();
    EXPECT_EQ(stack.Plan().Calls(StackCall::SetSockOpt), 1);
    int value = 0;
    socklen_t len = sizeof value;
    ASSERT_EQ(getsockopt(c->SocketHandle().OsSocket(), IPPROTO_TCP, TCP_NODELAY, &value, &len), 0);
    EXPECT_NE(value, 0);
    EXPECT_EQ(c->SocketHandle().IP(), "127.0.0.1");
    EXPECT_GT(c->SocketHandle().Port(), 0);
}

TEST(TcpClient, FailuresBeforeConnectingCloseTheSocketAgain) {
    ScopedTestStack stack;
    ScriptedPeer peer(PeerScript().ReadUntilClosed());
    TNetTCPClient c;
    EventLog log;
    log.AttachStatus(c);
    c.Host = "127.0.0.1";
    c.Port = peer.Port();

    stack.Plan().FailCall(StackCall::Socket, 1, 10024);
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetInvalidSocket& e) {
        EXPECT_STREQ(e.what(), "Cannot allocate socket.");
    }
    EXPECT_TRUE(log.events.empty());

    stack.Plan().FailCall(StackCall::Bind, 1, 10048);
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetCouldNotBindSocket& e) {
        EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());
    EXPECT_EQ(stack.Plan().Calls(StackCall::CloseSocket), 1);

    c.Host = "some.name";
    stack.Plan().FailCall(StackCall::GetHostByName, 1, 11002);
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 11002);
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());

    c.Host = "127.0.0.1";
    stack.Plan().FailCall(StackCall::Connect, 1, 10065);
    try {
        c.OpenConnection();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10065);
        EXPECT_STREQ(e.what(), "Socket Error # 10065\r\nNo route to host.");
    }
    EXPECT_FALSE(c.SocketHandle().IsAllocated());
    EXPECT_EQ(stack.Plan().Calls(StackCall::CloseSocket), 3);
    c.OpenConnection();  // and then it works
    EXPECT_TRUE(c.IsConnected());
}

}  // namespace
