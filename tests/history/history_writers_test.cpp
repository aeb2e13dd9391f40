// Several writers at once, and a writer killed in the middle of a survey.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <thread>

#include "history/history_store.h"
#include "tests/history/history_fixture.h"

namespace corvane::history {
namespace {

using testing::Info;
using testing::Rows;
using testing::TempFolder;

TEST(HistoryWriters, TwoConnectionsRecordingAtOnceBothLand) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    constexpr int kEach = 50;
    std::vector<std::int64_t> ids[2];
    std::string failures[2];
    auto writer = [&](int w) {
        try {
            // Both open the new file at the same time: creating it and
            // migrating it must not trip either.
            HistoryStore store(path);
            for (int i = 0; i < kEach; ++i) {
                ids[w].push_back(store.Record(
                    Info("writer " + std::to_string(w), 1 + i % 28, i % 60), Rows(30)));
            }
        } catch (const std::exception& e) {
            failures[w] = e.what();
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "");

    HistoryStore store(path);
    EXPECT_EQ(store.SurveyCount(), 2 * kEach);
    std::set<std::int64_t> all(ids[0].begin(), ids[0].end());
    all.insert(ids[1].begin(), ids[1].end());
    EXPECT_EQ(all.size(), 2u * kEach);
    EXPECT_EQ(store.List({"writer 1", 0}).size(), std::size_t{kEach});
    EXPECT_EQ(store.Connection().QueryInt("SELECT count(*) FROM survey_rows"), 2 * kEach * 30);
    EXPECT_EQ(testing::Pragma(store, "integrity_check"), "ok");
}

// The window and a batch from a timer are two processes, each with its own
// file locks: two children, released together, record into one new file.
TEST(HistoryWriters, TwoProcessesRecordingAtOnceBothLand) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    constexpr int kEach = 40;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        ASSERT_NE(children[w], -1);
        if (children[w] == 0) {
            ::close(start[1]);
            char go = 0;
            if (::read(start[0], &go, 1) != 1)
                ::_exit(3);
            try {
                HistoryStore store(path);
                for (int i = 0; i < kEach; ++i)
                    store.Record(Info("process " + std::to_string(w), 1 + i % 28), Rows(30));
            } catch (const std::exception&) {
                ::_exit(2);
            }
            ::_exit(0);
        }
    }
    ::close(start[0]);
    const char go[2] = {1, 1};
    ASSERT_EQ(::write(start[1], go, 2), 2);
    ::close(start[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    HistoryStore store(path);
    EXPECT_EQ(store.Notice(), "");
    EXPECT_EQ(store.List({"process 0", 0}).size(), std::size_t{kEach});
    EXPECT_EQ(store.List({"process 1", 0}).size(), std::size_t{kEach});
    EXPECT_EQ(store.Connection().QueryInt("SELECT count(*) FROM survey_rows"), 2 * kEach * 30);
    EXPECT_EQ(testing::Pragma(store, "integrity_check"), "ok");
}

// A child records surveys in a loop and reports each id once committed;
// it is killed at some point of a later survey. Every reported survey must
// survive whole, and at most the one in flight may be missing.
TEST(HistoryWriters, WriterKilledMidSurveyLosesNoCommittedSurvey) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    std::set<std::int64_t> committed;
    // Several rounds on the same file, each killed after a different pause.
    for (int round = 0; round < 4; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            ::close(pipeFds[0]);
            try {
                HistoryStore store(path);
                for (int i = 0;; ++i) {
                    const std::int64_t id = store.Record(Info("killed", 1 + i % 28), Rows(30));
                    if (::write(pipeFds[1], &id, sizeof id) != sizeof id)
                        ::_exit(3);
                }
            } catch (const std::exception&) {
                ::_exit(2);
            }
        }
        ::close(pipeFds[1]);
        auto readId = [&](std::int64_t& id) {
            return ::read(pipeFds[0], &id, sizeof id) == sizeof id;
        };
        std::int64_t id = 0;
        for (int seen = 0; seen < 20 && readId(id); ++seen)
            committed.insert(id);
        ::usleep(static_cast<useconds_t>(round * 700));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child ended early";
        // Ids written before the kill are committed too.
        while (readId(id))
            committed.insert(id);
        ::close(pipeFds[0]);
    }

    HistoryStore store(path);
    EXPECT_EQ(store.Notice(), "");
    EXPECT_EQ(testing::Pragma(store, "integrity_check"), "ok");
    for (const std::int64_t id : committed) {
        const std::optional<Survey> survey = store.Find(id);
        ASSERT_TRUE(survey) << "survey " << id << " was lost";
        EXPECT_EQ(survey->Rows.size(), 30u);
    }
    // Nothing half-written: every survey holds all its rows. Each round may
    // have committed one survey whose id it could not report any more.
    EXPECT_EQ(store.Connection().QueryInt(
                  "SELECT count(*) FROM surveys WHERE row_count <> "
                  "(SELECT count(*) FROM survey_rows WHERE survey_id = surveys.id)"),
              0);
    EXPECT_GE(store.SurveyCount(), static_cast<std::int64_t>(committed.size()));
    EXPECT_LE(store.SurveyCount(), static_cast<std::int64_t>(committed.size()) + 4);
}

}  // namespace
}  // namespace corvane::history
