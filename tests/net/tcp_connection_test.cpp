#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "net/net_exceptions.h"
#include "net/tcp_client.h"
#include "tests/support/client_helpers.h"
#include "tests/support/proxy_servers.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_stacks.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

const std::string kDisconnectEvents[] = {"status 3: Disconnecting from 127.0.0.1.",
                                         "status 4: Not connected.", "disconnected"};

std::vector<std::string> DisconnectEvents() {
    return {std::begin(kDisconnectEvents), std::end(kDisconnectEvents)};
}

// Every read below runs through the plain POSIX stack and through stacks that
// move one byte per receive or per send; the results must be the same.
enum class StackMode { Posix, OneByteReceive, OneByteSend };

class ConnectionReads : public ::testing::TestWithParam<StackMode> {
  protected:
    ConnectionReads() {
        stack_.Plan().oneBytePerReceive = GetParam() == StackMode::OneByteReceive;
        stack_.Plan().oneBytePerSend = GetParam() == StackMode::OneByteSend;
    }
    ScopedTestStack stack_;
};

INSTANTIATE_TEST_SUITE_P(Stacks, ConnectionReads,
                         ::testing::Values(StackMode::Posix, StackMode::OneByteReceive,
                                           StackMode::OneByteSend),
                         [](const auto& paramInfo) {
                             switch (paramInfo.param) {
                                 case StackMode::Posix:
                                     return std::string("Posix");
                                 case StackMode::OneByteReceive:
                                     return std::string("OneByteReceive");
                                 case StackMode::OneByteSend:
                                     return std::string("OneByteSend");
                             }
                             return std::string();
                         });

TEST_P(ConnectionReads, LineTerminators) {
    ScriptedPeer peer(PeerScript()
                          .Send("abc\r\nabc\nabc\r\r\n\r\nabc\r\na||b|")
                          .Pause(30)
                          .Send("|c")
                          .Pause(30)
                          .Send("||\n")
                          .ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "abc");
    EXPECT_EQ(c->ReadLine(), "abc");
    EXPECT_EQ(c->ReadLine(), "abc\r");  // one CR dropped
    EXPECT_EQ(c->ReadLine(), "");       // an empty line is not a timeout
    EXPECT_FALSE(c->ReadLineTimedOut());
    EXPECT_EQ(c->ReadLine("\n"), "abc\r");  // an explicit terminator is literal
    EXPECT_EQ(c->ReadLine("||"), "a");
    EXPECT_EQ(c->ReadLine("||"), "b");  // terminator split across receives
    EXPECT_EQ(c->ReadLine("||"), "c");
    EXPECT_EQ(c->ReadLine(), "");
}

TEST_P(ConnectionReads, CloseInTheMiddleOfALineLeavesTheBytesQueued) {
    ScriptedPeer peer(PeerScript().Send("abc").Close());
    auto c = ClientFor(peer);
    EventLog log;
    log.AttachStatus(*c);
    EXPECT_EQ(c->ReadLine(), "");
    EXPECT_TRUE(c->ReadLineTimedOut());
    EXPECT_EQ(log.events, DisconnectEvents());
    EXPECT_FALSE(c->IsConnected());
    EXPECT_EQ(c->InputSize(), 3);
    EXPECT_THROW(c->ReadLine(), ENetConnClosedGracefully);
    EXPECT_EQ(c->TakeInput(3), "abc");  // still readable
}

TEST_P(ConnectionReads, CloseWithNothingQueuedRaises) {
    ScriptedPeer peer(PeerScript().Send("line\n").Close());
    auto c = ClientFor(peer);
    EventLog log;
    log.AttachStatus(*c);
    EXPECT_EQ(c->ReadLine(), "line");
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetConnClosedGracefully& e) {
        EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(log.events, DisconnectEvents());
    EXPECT_FALSE(c->SocketHandle().IsAllocated());
}

TEST_P(ConnectionReads, CountedReadsTakeExactlyTheCount) {
    ScriptedPeer peer(PeerScript().Send("hdr\nABCDEFGH0123456789tail\n").ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "hdr");
    TNetMemoryStream s;
    c->ReadToStream(s, 3);
    EXPECT_EQ(s.Text(), "ABC");
    c->ReadToStream(s, 5);
    EXPECT_EQ(s.Text(), "ABCDEFGH");
    c->ReadToStream(s, 10);  // beyond what was queued: the rest from the socket
    EXPECT_EQ(s.Text(), "ABCDEFGH0123456789");
    EXPECT_EQ(c->ReadLine(), "tail");  // bytes beyond the count stay unread
}

TEST_P(ConnectionReads, CountedReadWritesAtThePositionAndCutsThere) {
    ScriptedPeer peer(PeerScript().Send("bcd").ReadUntilClosed());
    auto c = ClientFor(peer);
    TNetMemoryStream s(std::string("AAAAAAAA"));
    s.SetPosition(2);
    c->ReadToStream(s, 3);
    EXPECT_EQ(s.Text(), "AAbcd");
    s.SetPosition(1);
    c->ReadToStream(s, 0);  // nothing received; cut at the position
    EXPECT_EQ(s.Text(), "A");
}

TEST_P(ConnectionReads, CountedReadCutShortByTheClose) {
    ScriptedPeer peer(PeerScript().Send("abc").Close());
    auto c = ClientFor(peer);
    TNetMemoryStream s;
    EXPECT_THROW(c->ReadToStream(s, 10), ENetConnClosedGracefully);
    EXPECT_EQ(s.Text(), "abc");  // only the bytes that arrived, not the pre-sized length
    EXPECT_FALSE(c->IsConnected());
}

TEST_P(ConnectionReads, CountedReadAfterTheCloseWasSeenTakesTheQueue) {
    ScriptedPeer peer(PeerScript().Send("0123456789").Close());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "");  // sees the close, keeps the 10 bytes
    TNetMemoryStream s;
    c->ReadToStream(s, 100);
    EXPECT_EQ(s.Text(), "0123456789");
}

TEST_P(ConnectionReads, ReadUntilClosed) {
    ScriptedPeer peer(PeerScript().Send("hello ").Pause(30).Send("world").Close());
    auto c = ClientFor(peer);
    EventLog log;
    log.AttachStatus(*c);
    TNetMemoryStream s;
    c->ReadToStream(s, -1, true);
    EXPECT_EQ(s.Text(), "hello world");
    EXPECT_EQ(log.events, DisconnectEvents());
    c->ReadToStream(s, -1, true);  // already closed: nothing more, no exception
    EXPECT_EQ(s.Text(), "hello world");
}

TEST_P(ConnectionReads, UntilClosedAfterTheCloseWasSeenReturnsTheQueue) {
    ScriptedPeer peer(PeerScript().Send("head\npartial").Close());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "head");
    EXPECT_EQ(c->ReadLine(), "");
    TNetMemoryStream s;
    c->ReadToStream(s, -1, true);
    EXPECT_EQ(s.Text(), "partial");
}

TEST_P(ConnectionReads, LengthPrefixedReadAndInt32) {
    ScriptedPeer peer(
        PeerScript().Send(std::string("\0\0\0\x05hello\x01\x02\x03\x04", 13)).ReadUntilClosed());
    auto c = ClientFor(peer);
    TNetMemoryStream s;
    c->ReadToStream(s);
    EXPECT_EQ(s.Text(), "hello");
    EXPECT_EQ(c->ReadInt32(true), 0x01020304);
}

TEST_P(ConnectionReads, ReadExactEndsWhenThePeerClosesShort) {
    ScriptedPeer peer(PeerScript().Send("ab").Close());
    auto c = ClientFor(peer);
    char buffer[4];
    EXPECT_THROW(c->ReadExact(buffer, 4), ENetConnClosedGracefully);
    EXPECT_EQ(c->InputSize(), 2);
}

TEST_P(ConnectionReads, ReadUntilClosedKeepsWhatWasQueued) {
    ScriptedPeer open(PeerScript().Send("line\npart").Pause(30).Send("ial").Close());
    auto c = ClientFor(open);
    EXPECT_EQ(c->ReadLine(), "line");
    EXPECT_EQ(c->ReadUntilClosed(), "partial");

    // The close was already seen by a line read: the queued bytes still count.
    ScriptedPeer closed(PeerScript().Send("line\npartial").Close());
    c = ClientFor(closed);
    EXPECT_EQ(c->ReadLine(), "line");
    EXPECT_EQ(c->ReadLine(), "");
    EXPECT_EQ(c->ReadUntilClosed(), "partial");
}

TEST_P(ConnectionReads, ReplyLines) {
    ScriptedPeer peer(PeerScript()
                          .ReadUntil("HELO\r\n")
                          .Send("220-first\r\n\r\n220-second\r\n220 last\r\n")
                          .Send("+OK ready\r\n-ERR nope\r\n550 denied\r\n")
                          .ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->SendCommand("HELO", {220}), 220);
    EXPECT_EQ(c->ReplyLines(), (std::vector<std::string>{"220-first", "220-second", "220 last"}));
    EXPECT_EQ(c->ReadReply({}), 1);
    EXPECT_EQ(c->ReadReply({}), 0);
    try {
        c->ReadReply({250, 251});
        FAIL();
    } catch (const ENetProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, 550);
        EXPECT_STREQ(e.what(), "550 denied");
    }
    EXPECT_EQ(c->LastReplyCode(), 550);
}

TEST_P(ConnectionReads, WritesSendExactlyTheirBytes) {
    ScriptedPeer peer(PeerScript().ReadUntilClosed());
    auto c = ClientFor(peer);
    c->WriteText("");
    c->WriteLine("");
    c->WriteLine("GET /");
    c->WriteLines({"a", "b"});
    c->WriteInt32(0x01020304, true);
    TNetMemoryStream source(std::string("0123456789"));
    source.SetPosition(7);
    c->WriteFromStream(source, false, true);  // from the position, with its length
    c->WriteFromStream(source, true, false);
    c->CloseConnection();
    EXPECT_EQ(peer.Received(0), std::string("\r\nGET /\r\na\r\nb\r\n\x01\x02\x03\x04\0\0\0\x03"
                                            "7890123456789",
                                            36));
}

TEST(Connection, LongLinesAreBounded) {
    ScriptedPeer peer(
        PeerScript().Send("0123456789\r\n0123456789X\n" + std::string(200, 'y')).ReadUntilClosed());
    auto c = ClientFor(peer);
    c->MaxLineLength = 10;
    EXPECT_EQ(c->ReadLine(), "0123456789");  // exactly the limit, CR not counted
    EXPECT_THROW(c->ReadLine(), ENetLineTooLong);
    c->DropInput(12);
    // No terminator in sight: raises as soon as the limit is passed, without
    // waiting for more (the read limit would raise ENetReadTimeout instead).
    c->ReadTimeout = 0;
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetLineTooLong& e) {
        EXPECT_STREQ(e.what(), "Line too long.");
    }
}

TEST(Connection, LongLineAtTheDefaultLimit) {
    const std::string line(TNetTCPConnection::DefaultMaxLineLength, 'z');
    ScriptedPeer peer(PeerScript().Send(line + "\r\n" + line + "z\n").ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), line);
    EXPECT_THROW(c->ReadLine(), ENetLineTooLong);
}

TEST(Connection, IdleReadLimit) {
    ScriptedPeer peer(PeerScript().Pause(3000).Send("late\n"));
    auto c = ClientFor(peer);
    c->ReadTimeout = 100;
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetReadTimeout& e) {
        EXPECT_STREQ(e.what(), "Read timed out.");
    }
    EXPECT_TRUE(c->IsConnected());
    // An explicit wait that runs out is no error.
    EXPECT_EQ(c->ReadLine("", 20), "");
    EXPECT_TRUE(c->ReadLineTimedOut());
    TNetMemoryStream s;
    EXPECT_THROW(c->ReadToStream(s, 5), ENetReadTimeout);
    EXPECT_EQ(s.Size(), 0);
}

TEST(Connection, AsciiFilter) {
    ScriptedPeer peer(PeerScript().Send("\xC1\xE2\n").ReadUntilClosed());
    auto c = ClientFor(peer);
    c->ASCIIFilter = true;
    EXPECT_EQ(c->ReadLine(), "Ab");
}

TEST(Connection, PollNoticesTheCloseWithoutWaiting) {
    ScriptedPeer peer(PeerScript().Send("x").Pause(100).Close());
    auto c = ClientFor(peer);
    c->PollPeerClosed(false);
    EXPECT_TRUE(c->IsConnected());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (c->IsConnected() && std::chrono::steady_clock::now() < deadline)
        c->PollPeerClosed(false);
    EXPECT_FALSE(c->IsConnected());
    EXPECT_EQ(c->TakeInput(1), "x");
    EXPECT_THROW(c->PollPeerClosed(true), ENetConnClosedGracefully);
}

TEST(Connection, WritesAfterThePeerClosed) {
    ScriptedPeer peer(PeerScript().Send("bye").Close());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "");  // the close is seen; "bye" stays queued
    c->WriteText("");              // nothing to send: no check
    EXPECT_THROW(c->WriteText("x"), ENetConnClosedGracefully);
    EXPECT_THROW(c->WriteLine(""), ENetConnClosedGracefully);
}

// The peer resets only after the client's first byte, so that the reset
// cannot race the connect itself (which would then fail with 10054).
// Both ways of sending: waiting as long as it takes, and under a deadline.
TEST(Connection, WritingToAResetPeerIsAnErrorNotASignal) {
    for (const bool deadline : {false, true}) {
        ScriptedPeer peer(PeerScript().ReadBytes(1).Reset());
        auto c = ClientFor(peer);
        if (deadline)
            c->Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        c->WriteText("x");
        ASSERT_TRUE(peer.WaitDone(0));
        const std::string block(65536, 'x');
        try {
            for (int i = 0; i < 100; ++i)
                c->WriteText(block);
            ADD_FAILURE() << "deadline " << deadline;
        } catch (const ENetSocketError& e) {
            EXPECT_TRUE(e.ErrorCode == 10054 || e.ErrorCode == 10058) << e.ErrorCode;
        } catch (const ENetConnClosedGracefully&) {
            // the reset was read as the end of the stream first
        }
        // Writing on after the reset was told meets a connection the system
        // knows is gone (EPIPE, which would come with SIGPIPE).
        if (c->IsConnected()) {
            try {
                c->WriteText(block);
                ADD_FAILURE() << "deadline " << deadline;
            } catch (const ENetSocketError& e) {
                EXPECT_EQ(e.ErrorCode, 10058);
            }
        }
    }
}

TEST(Connection, ResetWhileReadingRaisesAndKeepsTheSocket) {
    ScriptedPeer peer(PeerScript().ReadBytes(1).Reset());
    auto c = ClientFor(peer);
    c->WriteText("x");
    ASSERT_TRUE(peer.WaitDone(0));
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10054);
        EXPECT_STREQ(e.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_TRUE(c->SocketHandle().IsAllocated());
}

TEST(Connection, CloseReportsAndWorkEvents) {
    ScriptedPeer peer(PeerScript().Send("ab\ncdefg").ReadUntilClosed());
    auto c = ClientFor(peer);
    EventLog log;
    log.AttachStatus(*c);
    log.AttachWork(*c);
    c->StartWork(WorkRead, 0);
    EXPECT_EQ(c->ReadLine(), "ab");  // counted when taken from the queue
    c->FinishWork(WorkRead);
    TNetMemoryStream s;
    c->ReadToStream(s, 5);
    c->WriteText("xyz");  // outside a span: no work events
    c->CloseConnection();
    c->CloseConnection();  // already closed: no second report
    ASSERT_GE(log.events.size(), 4u);
    EXPECT_EQ(log.events[0], "begin 0 0");
    EXPECT_EQ(log.events[1], "work 0 3");
    EXPECT_EQ(log.events[2], "end 0");
    EXPECT_EQ(log.events[3], "begin 0 5");
    const std::vector<std::string> tail(log.events.end() - 4, log.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"end 0", kDisconnectEvents[0], kDisconnectEvents[1],
                                              "disconnected"}));
    EXPECT_EQ(s.Text(), "cdefg");
}

TEST(Connection, WholeFileBothWays) {
    TempFolder folder;
    std::string content;
    for (int i = 0; i < 30000; ++i)
        content += std::to_string(i);
    const std::string path = folder.Write("data.bin", content);
    ScriptedPeer peer(PeerScript().ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->WriteWholeFile(path, true), static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(c->WriteWholeFile(path, false), static_cast<std::int64_t>(content.size()));
    EXPECT_THROW(c->WriteWholeFile(folder.Path() + "/missing", false), ENetException);
    c->CloseConnection();
    EXPECT_EQ(peer.Received(0), content + content);
}

TEST(Connection, WholeFileToAResetPeerIsAFailureNotASignal) {
    TempFolder folder;
    const std::string path = folder.Write("big.bin", std::string(4 << 20, 'f'));
    ScriptedPeer peer(PeerScript().ReadBytes(1).Reset());
    auto c = ClientFor(peer);
    c->WriteText("x");
    ASSERT_TRUE(peer.WaitDone(0));
    EXPECT_EQ(c->WriteWholeFile(path, true), 0);
}

class RecordingIntercept : public TNetConnectionIntercept {
  public:
    void NotifyReceived(const char* bytes, std::int32_t count) override {
        received.append(bytes, static_cast<std::size_t>(count));
    }
    void NotifySent(const char* bytes, std::int32_t count) override {
        sent.append(bytes, static_cast<std::size_t>(count));
    }
    void NotifyDisconnect() override {
        ++disconnects;
        TNetConnectionIntercept::NotifyDisconnect();
    }
    std::string received, sent;
    int disconnects = 0;
};

TEST(Connection, InterceptSettingsAndNotifications) {
    TNetTCPClient c;
    EXPECT_THROW(c.SetInterceptEnabled(true), ENetInterceptPropIsNil);
    EXPECT_FALSE(c.InterceptEnabled());
    {
        RecordingIntercept gone;
        c.SetIntercept(&gone);
        c.SetInterceptEnabled(true);
    }
    EXPECT_EQ(c.Intercept(), nullptr);  // told of the intercept's end
    EXPECT_FALSE(c.InterceptEnabled());

    RecordingIntercept rec;
    int connects = 0;
    rec.OnConnect = [&](TNetConnectionIntercept&) { ++connects; };
    ScriptedPeer peer(PeerScript().ReadUntil("ping\r\n").Send("pong\n").ReadUntilClosed());
    c.Host = peer.Host();
    c.Port = peer.Port();
    c.SetIntercept(&rec);
    c.SetInterceptEnabled(true);
    c.OpenConnection();
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(rec.SocketHandle(), &c.SocketHandle());
    c.WriteLine("ping");
    EXPECT_EQ(c.ReadLine(), "pong");
    c.CloseConnection();
    EXPECT_EQ(rec.sent, "ping\r\n");
    EXPECT_EQ(rec.received, "pong\n");
    EXPECT_EQ(rec.disconnects, 1);
    EXPECT_EQ(rec.SocketHandle(), nullptr);
    c.SetIntercept(nullptr);
    EXPECT_FALSE(c.InterceptEnabled());
}

TEST(Connection, BufferSizesStayUsable) {
    TNetTCPClient c;
    EXPECT_EQ(c.RecvBufferSize(), 32768);
    EXPECT_EQ(c.SendBufferSize(), 32768);
    c.SetRecvBufferSize(0);  // a receive of capacity 0 would look like a close
    EXPECT_EQ(c.RecvBufferSize(), 1);
    c.SetSendBufferSize(-5);
    EXPECT_EQ(c.SendBufferSize(), 1);
}

// ---- faults injected through the stack ----

TEST(ConnectionFaults, ReceiveErrorRaisesAndKeepsTheSocket) {
    ScopedTestStack stack;
    stack.Plan().FailCall(StackCall::Recv, 1, 10054);
    ScriptedPeer peer(PeerScript().Send("abc\n").ReadUntilClosed());
    auto c = ClientFor(peer);
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10054);
    }
    EXPECT_TRUE(c->IsConnected());
    EXPECT_EQ(c->ReadLine(), "abc");  // the next receive works
}

TEST(ConnectionFaults, ShutdownCodeWithQueuedBytesCountsAsTheClose) {
    ScopedTestStack stack;
    stack.Plan().FailCall(StackCall::Recv, 2, 10058);
    ScriptedPeer peer(PeerScript().Send("abc").Pause(50).Send("def").ReadUntilClosed());
    auto c = ClientFor(peer);
    EventLog log;
    log.AttachStatus(*c);
    EXPECT_EQ(c->ReadLine(), "");  // first receive: "abc"; second: 10058
    EXPECT_EQ(log.events, DisconnectEvents());
    EXPECT_EQ(c->TakeInput(3), "abc");
}

TEST(ConnectionFaults, ShutdownCodeWithNothingQueuedRaises) {
    ScopedTestStack stack;
    stack.Plan().FailCall(StackCall::Recv, 1, 10058);
    ScriptedPeer peer(PeerScript().Send("abc").ReadUntilClosed());
    auto c = ClientFor(peer);
    try {
        c->ReadLine();
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10058);
        EXPECT_STREQ(e.what(),
                     "Socket Error # 10058\r\nCannot send or receive after socket is closed.");
    }
    EXPECT_FALSE(c->IsConnected());
}

TEST(ConnectionFaults, SendErrors) {
    ScopedTestStack stack;
    stack.Plan().FailCall(StackCall::Send, 1, 10054);
    stack.Plan().FailCall(StackCall::Send, 2, 0);  // moves nothing
    ScriptedPeer peer(PeerScript().ReadUntilClosed(), 2);
    auto c = ClientFor(peer);
    try {
        c->WriteText("x");
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10054);
    }
    EXPECT_TRUE(c->IsConnected());
    EXPECT_THROW(c->WriteText("x"), ENetConnClosedGracefully);  // ends instead of retrying forever
    EXPECT_FALSE(c->IsConnected());

    stack.Plan().FailCall(StackCall::Send, 3, 10058);
    c->OpenConnection();
    EventLog log;
    log.AttachStatus(*c);
    try {
        c->WriteText("x");
        FAIL();
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10058);
    }
    EXPECT_EQ(log.events, DisconnectEvents());
}

TEST(ConnectionFaults, FailedWaitCountsAsNothingReceived) {
    ScopedTestStack stack;
    stack.Plan().FailCall(StackCall::Select, 1, 10022);
    ScriptedPeer peer(PeerScript().Send("abc\n").ReadUntilClosed());
    auto c = ClientFor(peer);
    EXPECT_EQ(c->ReadLine(), "");
    EXPECT_TRUE(c->ReadLineTimedOut());
    EXPECT_EQ(c->ReadLine(), "abc");
}

TEST(ConnectionFaults, FailedWaitWithoutAReadLimitRaisesInsteadOfSpinning) {
    for (int mode = 0; mode < 3; ++mode) {
        ScopedTestStack stack;
        ScriptedPeer peer(PeerScript().ReadUntilClosed());
        auto c = ClientFor(peer);
        c->ReadTimeout = 0;
        stack.Plan().FailCall(StackCall::Select, 1, 10022);
        TNetMemoryStream s;
        char buf[4];
        try {
            if (mode == 0)
                c->ReadToStream(s, 6);
            if (mode == 1)
                c->ReadToStream(s, -1, true);
            if (mode == 2)
                c->ReadExact(buf, 4);
            FAIL() << mode;
        } catch (const ENetSocketError& e) {
            EXPECT_EQ(e.ErrorCode, 10022) << mode;
        }
    }
}

TEST(ConnectionFaults, CountedReadFailingPartWayKeepsTheBytesThatArrived) {
    ScopedTestStack stack;
    stack.Plan().oneBytePerReceive = true;
    stack.Plan().FailCall(StackCall::Recv, 4, 10054);
    ScriptedPeer peer(PeerScript().Send("abcdef").ReadUntilClosed());
    auto c = ClientFor(peer);
    TNetMemoryStream s;
    EXPECT_THROW(c->ReadToStream(s, 6), ENetSocketError);
    EXPECT_EQ(s.Text(), "abc");
}

}  // namespace
