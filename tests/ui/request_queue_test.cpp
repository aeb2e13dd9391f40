#include "ui/request_queue.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::ui {
namespace {

// A queue of named requests. Performing one logs "begin NAME" and "end NAME"
// and, in between, runs what the test gave for that name: the moment a run
// would be waiting in the event pump.
struct Harness {
    std::vector<std::string> log;
    std::map<std::string, std::function<void()>> during;
    int giveUps = 0;
    RequestQueue<std::string> queue{[this](const std::string& r) { Perform(r); },
                                    [this] { ++giveUps; }};

    void Perform(const std::string& r) {
        log.push_back("begin " + r);
        if (const auto it = during.find(r); it != during.end()) {
            it->second();
        }
        log.push_back("end " + r);
    }
};

using Log = std::vector<std::string>;

TEST(RequestQueue, AnIdleQueuePerformsAtOnce) {
    Harness h;
    bool busyInside = false;
    h.during["a"] = [&] { busyInside = h.queue.Busy(); };
    h.queue.Submit("a");
    h.queue.Submit("b");
    EXPECT_EQ(h.log, (Log{"begin a", "end a", "begin b", "end b"}));
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(h.queue.Busy());
    EXPECT_EQ(h.giveUps, 0);
}

TEST(RequestQueue, ARequestDuringAnotherWaitsAndTheOlderIsGivenUp) {
    Harness h;
    h.during["a"] = [&] {
        h.queue.Submit("b");
        EXPECT_TRUE(h.queue.HasPending());
        EXPECT_EQ(h.giveUps, 1);
        h.log.push_back("a goes on");
    };
    // A request made while the kept one is performed waits for it in turn.
    h.during["b"] = [&] { h.queue.Submit("c"); };
    h.queue.Submit("a");
    EXPECT_EQ(h.log,
              (Log{"begin a", "a goes on", "end a", "begin b", "end b", "begin c", "end c"}));
    EXPECT_EQ(h.giveUps, 2);
    EXPECT_FALSE(h.queue.HasPending());
}

TEST(RequestQueue, TheNewestKeptRequestWinsAndDroppingForgetsIt) {
    Harness h;
    h.during["a"] = [&] {
        h.queue.Submit("b");
        h.queue.Submit("c");  // replaces b
    };
    h.queue.Submit("a");
    EXPECT_EQ(h.log, (Log{"begin a", "end a", "begin c", "end c"}));
    EXPECT_EQ(h.giveUps, 2);

    h.log.clear();
    h.during["d"] = [&] {
        h.queue.Submit("e");
        h.queue.DropPending();  // the window closes
    };
    h.queue.Submit("d");
    EXPECT_EQ(h.log, (Log{"begin d", "end d"}));
}

TEST(RequestQueue, AFailureLeavesTheQueueIdleWithNothingKept) {
    Harness h;
    h.during["a"] = [&] {
        h.queue.Submit("b");
        throw std::runtime_error("failed");
    };
    EXPECT_THROW(h.queue.Submit("a"), std::runtime_error);
    EXPECT_FALSE(h.queue.Busy());
    EXPECT_FALSE(h.queue.HasPending());
    h.log.clear();
    h.queue.Submit("c");
    EXPECT_EQ(h.log, (Log{"begin c", "end c"}));
}

}  // namespace
}  // namespace corvane::ui
