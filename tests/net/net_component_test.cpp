#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "net/net_component.h"
#include "net/net_exceptions.h"
#include "tests/support/client_helpers.h"
#include "tests/support/test_stacks.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

struct Component : TNetComponent {};

TEST(NetComponent, StatusTexts) {
    Component c;
    std::vector<std::pair<TNetStatus, std::string>> seen;
    c.ReportStatus(StatusResolving, "x");  // no handler: nothing happens
    c.OnStatus = [&](TNetComponent& sender, TNetStatus s, const std::string& text) {
        EXPECT_EQ(&sender, &c);
        seen.emplace_back(s, text);
    };
    c.ReportStatus(StatusResolving, "example.com");
    c.ReportStatus(StatusConnecting, "10.0.0.1");
    c.ReportStatus(StatusConnected, "10.0.0.1");
    c.ReportStatus(StatusDisconnecting, "10.0.0.1");
    c.ReportStatus(StatusDisconnected, "");
    c.ReportStatus(StatusText, "Chunk Started %s");
    const std::vector<std::pair<TNetStatus, std::string>> expected{
        {StatusResolving, "Resolving hostname example.com."},
        {StatusConnecting, "Connecting to 10.0.0.1."},
        {StatusConnected, "Connected."},
        {StatusDisconnecting, "Disconnecting from 10.0.0.1."},
        {StatusDisconnected, "Not connected."},
        {StatusText, "Chunk Started %s"}};
    EXPECT_EQ(seen, expected);
}

TEST(NetComponent, WorkSpansNestAndReportAtTheOutermostLevel) {
    Component c;
    EventLog log;
    log.AttachWork(c);
    c.AddWork(WorkRead, 5);  // outside a span: not counted
    c.StartWork(WorkRead, 100);
    c.StartWork(WorkRead, 7);
    c.AddWork(WorkRead, 10);
    c.StartWork(WorkWrite, 3);
    c.AddWork(WorkWrite, 3);
    c.FinishWork(WorkWrite);
    c.FinishWork(WorkRead);
    c.AddWork(WorkRead, 1);
    c.FinishWork(WorkRead);
    c.FinishWork(WorkRead);  // unbalanced: ignored, the level stays at 0
    c.StartWork(WorkRead, 1);
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"begin 0 100", "work 0 10", "begin 1 3", "work 1 3",
                                        "end 1", "work 0 11", "end 0", "begin 0 1"}));
    EXPECT_EQ(c.WorkRecord(WorkRead).Level, 1);
}

TEST(NetComponent, WorkCountWrapsAt32Bits) {
    Component c;
    c.StartWork(WorkRead, 0);
    c.AddWork(WorkRead, INT32_MAX);
    c.AddWork(WorkRead, 2);
    EXPECT_EQ(c.WorkRecord(WorkRead).Count, INT32_MIN + 1);
}

TEST(NetComponent, SharedStackLivesWhileAnyComponentDoes) {
    ScopedTestStack stack;
    ASSERT_EQ(NetStackUseCount(), 0);
    {
        auto first = std::make_unique<Component>();
        Component second;
        EXPECT_EQ(NetStackUseCount(), 2);
        EXPECT_EQ(&first->Stack(), &second.Stack());
        first.reset();
        EXPECT_EQ(stack.Plan().destroyed.load(), 0);
        EXPECT_NE(SharedNetStack(), nullptr);
    }
    EXPECT_EQ(NetStackUseCount(), 0);
    EXPECT_EQ(SharedNetStack(), nullptr);
    EXPECT_EQ(stack.Plan().created.load(), 1);
    EXPECT_EQ(stack.Plan().destroyed.load(), 1);
    Component again;  // a new stack for the next user
    EXPECT_EQ(stack.Plan().created.load(), 2);
}

TEST(NetComponent, FailedStackCreationReachesTheCreatorAndKeepsTheCount) {
    {
        ScopedStackFactory failing(FailingStackFactory(StackCreationFailure::CannotLoad));
        try {
            Component c;
            FAIL();
        } catch (const ENetStackCanNotLoadWinsock& e) {
            EXPECT_STREQ(e.what(), "wsock32.dll could not be loaded.");
        }
        EXPECT_EQ(NetStackUseCount(), 0);
    }
    {
        ScopedStackFactory failing(FailingStackFactory(StackCreationFailure::InitializationFails));
        try {
            TNetTCPClient client;
            FAIL();
        } catch (const ENetStackInitializationFailed& e) {
            EXPECT_STREQ(e.what(), "Winsock Initialization Error.");
        }
        EXPECT_EQ(NetStackUseCount(), 0);
    }
    Component fine;  // the default stack again
    EXPECT_EQ(NetStackUseCount(), 1);
}

TEST(NetComponent, UseCountIsSafeAcrossThreads) {
    ScopedTestStack stack;
    Component anchor;  // keeps the stack so that every thread shares it
    std::vector<std::thread> threads;
    std::atomic<bool> sameStack{true};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                Component c;
                if (&c.Stack() != &anchor.Stack())
                    sameStack = false;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE(sameStack);
    EXPECT_EQ(NetStackUseCount(), 1);
    EXPECT_EQ(stack.Plan().created.load(), 1);
}

TEST(NetComponent, StackComesAndGoesSafelyAcrossThreads) {
    ScopedTestStack stack;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                Component c;
                c.Stack().SysHostToNet16(1);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(NetStackUseCount(), 0);
    EXPECT_EQ(stack.Plan().created.load(), stack.Plan().destroyed.load());
}

}  // namespace
