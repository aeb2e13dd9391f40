#include "history/history_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "history/sqlite_db.h"
#include "tests/history/history_fixture.h"

namespace corvane::history {
namespace {

using testing::Info;
using testing::Row;
using testing::Rows;
using testing::TempFolder;

std::vector<std::int64_t> Ids(const std::vector<SurveyInfo>& list) {
    std::vector<std::int64_t> ids;
    for (const SurveyInfo& s : list)
        ids.push_back(s.Id);
    return ids;
}

TEST(HistoryStore, NewFileIsConfiguredForSharedWriting) {
    TempFolder tmp;
    HistoryStore store(tmp / "sub/dir/history.sqlite");  // folders are created
    EXPECT_TRUE(store.Notice().empty());
    EXPECT_EQ(testing::Pragma(store, "user_version"), std::to_string(HistoryStore::kSchemaVersion));
    EXPECT_EQ(testing::Pragma(store, "journal_mode"), "wal");
    EXPECT_EQ(testing::Pragma(store, "foreign_keys"), "1");
    EXPECT_EQ(testing::Pragma(store, "busy_timeout"), "5000");
}

TEST(HistoryStore, RecordedSurveyReadsBackExactly) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    SurveyInfo info = Info("blue widgets", 3);
    info.Mode = engine::SurveyMode::Domain;
    info.Profile = "today";
    info.ResultCount = 30;
    info.Skip = -2;
    info.End = SurveyEnd::Stopped;
    std::vector<HistoryRow> rows = Rows(3);
    // Texts as a page may give them: empty caption, a rank that is no
    // figure, a NUL byte and UTF-8.
    rows.push_back(HistoryRow{"", {"x", "", "n/a", "0", std::string("a\0b", 3)}});
    rows.push_back(HistoryRow{"caf\xc3\xa9.example", {"5", "1", "2", "3", "4"}});
    const std::int64_t id = store.Record(info, rows);

    const std::optional<Survey> back = store.Find(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Info.Id, id);
    EXPECT_EQ(back->Info.Query, "blue widgets");
    EXPECT_EQ(back->Info.Mode, engine::SurveyMode::Domain);
    EXPECT_EQ(back->Info.Profile, "today");
    EXPECT_EQ(back->Info.ResultCount, 30);
    EXPECT_EQ(back->Info.Skip, -2);
    EXPECT_EQ(back->Info.StartedUtc, "2024-05-03T10:00:00Z");
    EXPECT_EQ(back->Info.EndedUtc, "2024-05-03T10:05:00Z");
    EXPECT_EQ(back->Info.End, SurveyEnd::Stopped);
    EXPECT_EQ(back->Info.RowCount, 5);
    ASSERT_EQ(back->Rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(back->Rows[i].Host, rows[i].Host) << i;
        EXPECT_EQ(back->Rows[i].Figures, rows[i].Figures) << i;
    }
    EXPECT_FALSE(store.Find(id + 1));
    EXPECT_FALSE(store.FindInfo(id + 1));
}

TEST(HistoryStore, RowsTravelBetweenTableAndRecord) {
    engine::ResultsTable table;
    FillTable(table, Rows(2));
    const auto h = table.Append();  // a row still being filled
    ASSERT_TRUE(table.SetCaption(h, "partial.example"));
    ASSERT_TRUE(table.AppendCell(h, "3"));
    const std::vector<HistoryRow> rows = RowsFromTable(table);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Host, "host0.example");
    EXPECT_EQ(rows[1].Figures, Rows(2)[1].Figures);
    EXPECT_EQ(rows[2].Figures, (std::array<std::string, 5>{"3", "", "", "", ""}));
    EXPECT_FALSE(table.Row(0).Checked);
}

TEST(HistoryStore, MalformedTimesAreRefusedAndNothingIsRecorded) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    for (const char* bad : {"", "2024-05-01 10:00:00", "2024-05-01T10:00:00+02:00",
                            "2024-05-01T10:00:00.5Z", "2024-5-01T10:00:00Z"}) {
        SurveyInfo info = Info("q", 1);
        info.StartedUtc = bad;
        EXPECT_THROW(store.Record(info, Rows(2)), HistoryError) << bad;
    }
    EXPECT_EQ(store.SurveyCount(), 0);
    EXPECT_TRUE(IsUtcTimestamp(UtcTimestamp(std::chrono::system_clock::now())));
    EXPECT_EQ(UtcTimestamp(std::chrono::system_clock::time_point{}), "1970-01-01T00:00:00Z");
}

TEST(HistoryStore, ListIsNewestFirstWithFilterAndLimit) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    // Recorded out of start order; two share a start time (id decides).
    const std::int64_t may5 = store.Record(Info("Blue Widgets", 5), Rows(2));
    const std::int64_t may1 = store.Record(Info("red widgets", 1), Rows(3));
    const std::int64_t may9 = store.Record(Info("100% cotton", 9), {});
    const std::int64_t may5b = store.Record(Info("green_things", 5), Rows(1));

    EXPECT_EQ(Ids(store.List()), (std::vector<std::int64_t>{may9, may5b, may5, may1}));
    EXPECT_EQ(Ids(store.List({"WIDGET", 0})), (std::vector<std::int64_t>{may5, may1}));
    EXPECT_EQ(Ids(store.List({"", 2})), (std::vector<std::int64_t>{may9, may5b}));
    // Substring, not a pattern: "%" and "_" match only themselves.
    EXPECT_EQ(Ids(store.List({"0%", 0})), (std::vector<std::int64_t>{may9}));
    EXPECT_EQ(Ids(store.List({"n_t", 0})), (std::vector<std::int64_t>{may5b}));
    EXPECT_TRUE(store.List({"nothing like it", 0}).empty());
    EXPECT_EQ(store.List({"red", 0}).at(0).RowCount, 3);
}

TEST(HistoryStore, PreviousSurveyIsTheLatestEarlierOneOfTheSameQueryModeAndProfile) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    const std::int64_t first = store.Record(Info("q", 1), Rows(3));
    const std::int64_t second = store.Record(Info("q", 2), Rows(3));
    SurveyInfo domain = Info("q", 3);
    domain.Mode = engine::SurveyMode::Domain;
    store.Record(domain, Rows(3));
    SurveyInfo otherProfile = Info("q", 4);
    otherProfile.Profile = "today";
    store.Record(otherProfile, Rows(3));
    SurveyInfo empty = Info("q", 5);  // a failed survey without rows
    empty.End = SurveyEnd::Failed;
    store.Record(empty, {});
    store.Record(Info("other", 6), Rows(3));
    const std::int64_t latest = store.Record(Info("q", 7), Rows(3));
    // Recorded last but started first: still earliest.
    const std::int64_t backdated = store.Record(Info("q", 1, 30), Rows(3));

    EXPECT_EQ(store.PreviousOf(latest), second);
    EXPECT_EQ(store.PreviousOf(second), backdated);
    EXPECT_EQ(store.PreviousOf(backdated), first);
    EXPECT_FALSE(store.PreviousOf(first));
    EXPECT_FALSE(store.PreviousOf(999));
}

TEST(HistoryStore, ForgetTakesTheRowsAlong) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    const std::int64_t keep = store.Record(Info("q", 1), Rows(4));
    const std::int64_t drop = store.Record(Info("q", 2), Rows(5));
    EXPECT_TRUE(store.Forget(drop));
    EXPECT_FALSE(store.Forget(drop));
    EXPECT_FALSE(store.Find(drop));
    EXPECT_EQ(store.Connection().QueryInt("SELECT count(*) FROM survey_rows"), 4);
    EXPECT_EQ(store.Find(keep)->Rows.size(), 4u);
}

TEST(HistoryStore, ForEachRowVisitsEverySurveyOldestFirstInTableOrder) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    const std::int64_t later = store.Record(Info("b", 2), Rows(2));
    store.Record(Info("empty", 3), {});
    const std::int64_t earlier = store.Record(Info("a", 1), Rows(3));
    std::vector<std::string> seen;
    store.ForEachRow([&](const SurveyInfo& info, std::size_t position, const HistoryRow& row) {
        seen.push_back(std::to_string(info.Id) + info.Query + std::to_string(position) + row.Host);
    });
    const std::string e = std::to_string(earlier), l = std::to_string(later);
    EXPECT_EQ(seen, (std::vector<std::string>{e + "a0host0.example", e + "a1host1.example",
                                              e + "a2host2.example", l + "b0host0.example",
                                              l + "b1host1.example"}));
}

TEST(HistoryStore, RankSeriesFollowsOneHostThroughOneQuery) {
    TempFolder tmp;
    HistoryStore store(tmp / "h.sqlite");
    const std::int64_t a = store.Record(Info("q", 1), {Row("x.com", 4), Row("y.com", 5)});
    const std::int64_t b = store.Record(Info("q", 2), {Row("y.com", 1)});  // x.com absent
    // Listed twice: its best rank counts.
    const std::int64_t c = store.Record(Info("q", 3), {Row("x.com", 9), Row("x.com", 2)});
    const std::int64_t d = store.Record(Info("q", 4), {HistoryRow{"x.com", {"?", "", "", "", ""}}});
    store.Record(Info("other", 2), {Row("x.com", 1)});

    const std::vector<RankPoint> series =
        store.RankSeries("x.com", "q", engine::SurveyMode::Keyword, kClassicProfile);
    ASSERT_EQ(series.size(), 4u);
    EXPECT_EQ(series[0].SurveyId, a);
    EXPECT_EQ(series[0].StartedUtc, "2024-05-01T10:00:00Z");
    EXPECT_EQ(series[0].Rank, 4);
    EXPECT_EQ(series[1].SurveyId, b);
    EXPECT_FALSE(series[1].Rank);
    EXPECT_EQ(series[2].SurveyId, c);
    EXPECT_EQ(series[2].Rank, 2);
    EXPECT_EQ(series[3].SurveyId, d);
    EXPECT_FALSE(series[3].Rank);  // listed, but its rank is no figure
    EXPECT_TRUE(
        store.RankSeries("x.com", "q", engine::SurveyMode::Domain, kClassicProfile).empty());
}

TEST(HistoryStore, DefaultPathFollowsXdgDataHome) {
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData ? oldData : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";

    ::setenv("XDG_DATA_HOME", "/data/here", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/data/here/corvane/history.sqlite");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/home/someone/.local/share/corvane/history.sqlite");

    oldData ? ::setenv("XDG_DATA_HOME", savedData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

// ---- schema versions ----

// The damaged files moved aside in `folder`.
std::vector<std::string> MovedAside(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".damaged-") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

// The layout of the first schema, written by hand as an older build left it.
void WriteVersion1File(const std::string& path) {
    SqliteConnection db(path, true);
    db.Exec(R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE surveys (
    id INTEGER PRIMARY KEY, query TEXT NOT NULL,
    mode TEXT NOT NULL CHECK (mode IN ('keyword', 'domain')),
    result_count INTEGER NOT NULL, skip INTEGER NOT NULL,
    started_at TEXT NOT NULL, ended_at TEXT NOT NULL,
    outcome TEXT NOT NULL CHECK (outcome IN ('done', 'stopped', 'failed')));
CREATE TABLE survey_rows (
    survey_id INTEGER NOT NULL REFERENCES surveys (id) ON DELETE CASCADE,
    position INTEGER NOT NULL, rank INTEGER, host TEXT NOT NULL,
    rank_text TEXT NOT NULL, inbound TEXT NOT NULL, outbound TEXT NOT NULL,
    link_value TEXT NOT NULL, traffic_rank TEXT NOT NULL,
    PRIMARY KEY (survey_id, position)) WITHOUT ROWID;
INSERT INTO surveys VALUES (1, 'old query', 'keyword', 20, 0,
    '2023-01-01T09:00:00Z', '2023-01-01T09:03:00Z', 'done');
INSERT INTO surveys VALUES (2, 'old query', 'keyword', 20, 0,
    '2023-01-08T09:00:00Z', '2023-01-08T09:03:00Z', 'stopped');
INSERT INTO survey_rows VALUES (1, 0, 1, 'a.com', '1', '10', '2', '5', '100');
INSERT INTO survey_rows VALUES (1, 1, 2, 'b.com', '2', '20', '3', '6', '200');
INSERT INTO survey_rows VALUES (2, 0, 1, 'b.com', '1', '21', '3', '10', '150');
PRAGMA user_version = 1;
)sql");
}

TEST(HistorySchema, OlderFileIsMigratedKeepingItsSurveys) {
    TempFolder tmp;
    const std::string path = tmp / "h.sqlite";
    WriteVersion1File(path);
    HistoryStore store(path);
    EXPECT_TRUE(store.Notice().empty());
    EXPECT_EQ(testing::Pragma(store, "user_version"), std::to_string(HistoryStore::kSchemaVersion));

    const std::vector<SurveyInfo> list = store.List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Id, 2);
    EXPECT_EQ(list[0].Profile, kClassicProfile);
    EXPECT_EQ(list[0].RowCount, 1);
    EXPECT_EQ(list[0].End, SurveyEnd::Stopped);
    EXPECT_EQ(list[1].RowCount, 2);
    EXPECT_EQ(store.Find(1)->Rows.at(1).Host, "b.com");
    EXPECT_EQ(store.PreviousOf(2), 1);
    EXPECT_EQ(
        store.RankSeries("b.com", "old query", engine::SurveyMode::Keyword, "classic").at(1).Rank,
        1);
    // The migrated file takes new surveys, and forgetting still cascades.
    EXPECT_EQ(store.Record(Info("old query", 1), Rows(2)), 3);
    EXPECT_TRUE(store.Forget(1));
    EXPECT_EQ(store.Connection().QueryInt("SELECT count(*) FROM survey_rows"), 3);
    // The indexes of the current schema are there.
    EXPECT_EQ(store.Connection().QueryInt(
                  "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name IN "
                  "('surveys_by_start', 'surveys_by_query', 'survey_rows_by_host')"),
              3);
}

TEST(HistorySchema, FileOfANewerSchemaIsRefusedAndLeftAlone) {
    TempFolder tmp;
    const std::string path = tmp / "h.sqlite";
    {
        SqliteConnection db(path, true);
        db.Exec("CREATE TABLE future (x); PRAGMA user_version = 99;");
    }
    const std::string before = testing::ReadAll(path);
    try {
        HistoryStore store(path);
        FAIL() << "opened a newer file";
    } catch (const HistoryError& e) {
        EXPECT_NE(std::string(e.what()).find("newer version"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(testing::ReadAll(path) == before);  // bytes, not printed
    EXPECT_TRUE(MovedAside(tmp.Path()).empty());
}

// ---- damaged files ----

// Whether an opening of `path` runs the whole-file check.
bool OpeningChecks(const std::string& path) {
    return HistoryStore(path).CheckedWholeFile();
}

// Opens a damaged file: it is moved aside whole, the notice says where, and
// the new history works. Its stamp goes with it: the new file is checked
// once and stamped afresh.
void ExpectReplaced(const TempFolder& tmp, const std::string& path, const std::string& damaged) {
    {
        HistoryStore store(path);
        EXPECT_TRUE(store.CheckedWholeFile());
        EXPECT_NE(store.Notice().find("damaged"), std::string::npos) << store.Notice();
        EXPECT_EQ(store.Notice().find('\n'), std::string::npos) << store.Notice();
        const std::vector<std::string> aside = MovedAside(tmp.Path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_NE(store.Notice().find(aside[0]), std::string::npos) << store.Notice();
        EXPECT_TRUE(testing::ReadAll(tmp / aside[0]) == damaged);  // bytes, not printed
        EXPECT_FALSE(std::filesystem::exists(SoundStampPath(tmp / aside[0])));
        EXPECT_EQ(store.SurveyCount(), 0);
        EXPECT_GT(store.Record(Info("fresh", 1), Rows(2)), 0);
        EXPECT_EQ(testing::Pragma(store, "integrity_check"), "ok");
    }
    HistoryStore again(path);
    EXPECT_FALSE(again.CheckedWholeFile());
    EXPECT_EQ(again.Notice(), "");
    EXPECT_EQ(again.SurveyCount(), 1);
}

TEST(HistoryDamage, RandomBytesAreMovedAside) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    std::mt19937 random(15);
    std::string bytes(8192, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    testing::WriteAll(path, bytes);
    ExpectReplaced(tmp, path, bytes);
}

// A database with enough surveys to span many pages, checkpointed so that
// everything is in the main file, and stamped as sound: what damages it
// afterwards must be seen through the stamp.
std::string WriteFullFile(const std::string& path) {
    {
        HistoryStore store(path);
        for (int i = 0; i < 60; ++i)
            store.Record(Info("q" + std::to_string(i % 7), 1 + i % 28), Rows(30));
        store.Connection().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    // The checkpoint above went round the store: the next opening checks
    // and stamps, the one after trusts the stamp.
    EXPECT_TRUE(OpeningChecks(path));
    EXPECT_FALSE(OpeningChecks(path));
    return testing::ReadAll(path);
}

TEST(HistoryDamage, TruncatedDatabaseIsMovedAside) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    const std::string whole = WriteFullFile(path);
    ASSERT_GT(whole.size(), 64u * 1024);
    const std::string half = whole.substr(0, whole.size() / 2);
    testing::WriteAll(path, half);
    ExpectReplaced(tmp, path, half);
}

TEST(HistoryDamage, OverwrittenPagesFailTheQuickCheck) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    std::string bytes = WriteFullFile(path);
    // Keep the header and the schema page; scribble over the rest.
    std::mt19937 random(7);
    for (std::size_t i = 8192; i < bytes.size(); i += 3)
        bytes[i] = static_cast<char>(random() & 0xFF);
    testing::WriteAll(path, bytes);
    ExpectReplaced(tmp, path, bytes);
}

// Scribbles over the pages past the schema, keeping the size, and puts the
// modification time back as it was.
std::string DamageInPlace(const std::string& path) {
    struct stat before {};
    EXPECT_EQ(::stat(path.c_str(), &before), 0);
    std::string bytes = testing::ReadAll(path);
    std::mt19937 random(3);
    for (std::size_t i = 8192; i < bytes.size(); i += 2)
        bytes[i] = static_cast<char>(random() & 0xFF);
    testing::WriteAll(path, bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    return bytes;
}

TEST(HistoryDamage, DamageKeepingSizeAndModificationTimeIsStillChecked) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    const std::size_t size = WriteFullFile(path).size();
    const std::string damaged = DamageInPlace(path);
    ASSERT_EQ(damaged.size(), size);
    ExpectReplaced(tmp, path, damaged);
}

// Damage the stamp cannot see (a failing disk, a write within the same tick
// of the file system's clock) shows when SQLite reads the page: the error is
// one clear line, and the next opening checks the file and moves it aside.
TEST(HistoryDamage, DamageFoundInUseIsCheckedAtTheNextOpening) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    WriteFullFile(path);
    const std::string damaged = DamageInPlace(path);
    ASSERT_TRUE(StampAsSound(path));
    {
        HistoryStore store(path);
        EXPECT_FALSE(store.CheckedWholeFile());
        EXPECT_EQ(store.Notice(), "");
        try {
            store.ForEachRow([](const SurveyInfo&, std::size_t, const HistoryRow&) {});
            FAIL() << "read every row of a damaged file";
        } catch (const SqliteError& e) {
            EXPECT_TRUE(e.IsDamage()) << e.what();
            const std::string message = e.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            EXPECT_NE(message.find("checked when next opened"), std::string::npos) << message;
        }
        EXPECT_FALSE(std::filesystem::exists(SoundStampPath(path)));
    }
    EXPECT_FALSE(std::filesystem::exists(SoundStampPath(path)));  // not put back at closing
    ExpectReplaced(tmp, path, damaged);
}

// ---- the stamp of a file found sound ----

TEST(HistoryStamp, FileIsCheckedOnceAndTrustedWhileOnlyTheStoreWritesIt) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    EXPECT_TRUE(OpeningChecks(path));  // new
    EXPECT_FALSE(OpeningChecks(path));
    {
        // A survey recorded by one store, a look by another while the
        // first still holds the file, then a forget.
        HistoryStore writer(path);
        EXPECT_FALSE(writer.CheckedWholeFile());
        const std::int64_t id = writer.Record(Info("q", 1), Rows(30));
        writer.Record(Info("q", 2), Rows(30));
        EXPECT_FALSE(OpeningChecks(path));
        EXPECT_TRUE(writer.Forget(id));
        HistoryStore reader(path);
        EXPECT_FALSE(reader.CheckedWholeFile());
        EXPECT_EQ(reader.SurveyCount(), 1);
    }
    // The last closing wrote the log back into the file.
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    EXPECT_FALSE(OpeningChecks(path));
    // Enough surveys for SQLite to checkpoint in the middle of recording.
    {
        HistoryStore store(path);
        for (int i = 0; i < 40; ++i)
            store.Record(Info("many", 1 + i % 28), Rows(30));
        EXPECT_FALSE(OpeningChecks(path));
    }
    EXPECT_FALSE(OpeningChecks(path));
}

TEST(HistoryStamp, MigratedFileIsCheckedOnceThenTrusted) {
    TempFolder tmp;
    const std::string path = tmp / "h.sqlite";
    WriteVersion1File(path);
    EXPECT_TRUE(OpeningChecks(path));
    EXPECT_FALSE(OpeningChecks(path));
    EXPECT_EQ(HistoryStore(path).SurveyCount(), 2);
}

TEST(HistoryStamp, StampThatDoesNotSpeakForTheFileMeansACheck) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    const std::string stamp = SoundStampPath(path);
    {
        HistoryStore store(path);
        store.Record(Info("q", 1), Rows(3));
    }
    const std::string good = testing::ReadAll(stamp);
    ASSERT_FALSE(good.empty());

    // Garbage, nothing, half of a stamp, a stamp with more after it.
    for (const std::string& bad : {std::string("\x01\xFFgarbage\n"), std::string(),
                                   good.substr(0, good.size() / 2), good + "wal none\n"}) {
        testing::WriteAll(stamp, bad);
        EXPECT_TRUE(OpeningChecks(path)) << bad;
        EXPECT_FALSE(OpeningChecks(path)) << bad;  // stamped again by the check
    }
    // A copy put in place of the file (another inode, another size).
    const std::string other = tmp / "other.sqlite";
    {
        HistoryStore store(other);
        store.Record(Info("other", 2), Rows(5));
        store.Record(Info("other", 3), Rows(5));
    }
    std::filesystem::rename(other, path);
    {
        HistoryStore store(path);
        EXPECT_TRUE(store.CheckedWholeFile());
        EXPECT_EQ(store.SurveyCount(), 2);
    }
    // A write that went round the store.
    {
        SqliteConnection db(path, false);
        db.Exec("DELETE FROM surveys WHERE query = 'other' AND started_at LIKE '%-02T%'");
    }
    EXPECT_TRUE(OpeningChecks(path));
    EXPECT_FALSE(OpeningChecks(path));
}

// A stamp that cannot be written costs a check at every opening, nothing
// more.
TEST(HistoryStamp, UnwritableStampIsNoError) {
    TempFolder tmp;
    const std::string path = tmp / "history.sqlite";
    std::filesystem::create_directory(SoundStampPath(path));
    {
        HistoryStore store(path);
        EXPECT_TRUE(store.CheckedWholeFile());
        EXPECT_GT(store.Record(Info("q", 1), Rows(3)), 0);
    }
    EXPECT_TRUE(OpeningChecks(path));
    EXPECT_EQ(HistoryStore(path).SurveyCount(), 1);
    EXPECT_FALSE(StampAsSound(path));
}

}  // namespace
}  // namespace corvane::history
