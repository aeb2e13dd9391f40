#include "engine/survey_file.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/profile_reader.h"

namespace corvane::engine {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Row {
    std::string caption;
    std::vector<std::string> cells;
    bool checked;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Row& r) {
        os << '{' << ::testing::PrintToString(r.caption);
        for (const std::string& c : r.cells)
            os << ", " << ::testing::PrintToString(c);
        return os << (r.checked ? ", checked}" : ", unchecked}");
    }
};

std::vector<Row> Rows(const ResultsTable& table) {
    std::vector<Row> out;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const ResultRow& r = table.Row(i);
        out.push_back(Row{r.Caption, r.Cells, r.Checked});
    }
    return out;
}

void Fill(ResultsTable& table, const std::vector<Row>& rows) {
    table.Clear();
    for (const Row& r : rows) {
        const RowHandle h = table.Append();
        EXPECT_TRUE(table.SetCaption(h, r.caption));
        for (const std::string& c : r.cells)
            EXPECT_TRUE(table.AppendCell(h, c));
        EXPECT_TRUE(table.SetChecked(h, r.checked));
    }
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::vector<std::string> kNoCells = {"", "", "", "", ""};

class SurveyFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-survey-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file = dir + "/survey.cvn";
    }
    void TearDown() override { fs::remove_all(dir); }

    void Write(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::vector<Row> Load(const std::string& text) {
        Write(text);
        EXPECT_TRUE(LoadSurvey(table, file));
        return Rows(table);
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    std::string dir;
    std::string file;
    ResultsTable table;
};

TEST_F(SurveyFile, RowsAreReadByCountWithDefaults) {
    // item0 and item2: two rows, the second from the missing item1.
    EXPECT_EQ(Load("[item0]\nurl=a.com\nrank=1\nin=20\nout=3\nval=6\nalex=999999999\ncheck=0\n"
                   "[item2]\nurl=c.com\n"),
              (std::vector<Row>{{"a.com", {"1", "20", "3", "6", "999999999"}, false},
                                {"", kNoCells, true}}));
    // Section names do not matter, only their number; figures are not
    // validated; names are case-blind.
    EXPECT_EQ(Load("[zz]\n[ITEM1]\nURL=b.com\nRank=first\n[x]\n"),
              (std::vector<Row>{{"", kNoCells, true},
                                {"b.com", {"first", "", "", "", ""}, true},
                                {"", kNoCells, true}}));
}

TEST_F(SurveyFile, CheckIsAnIntegerOtherwiseTrue) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"check=0", false},     {"check=1", true},    {"check=-7", true},
        {"check=0x1", true},    {"check=0X0", false}, {"check=0x", true},
        {"check=yes", true},    {"check=", true},     {"check= 00 ", false},
        {"check=\"0\"", false}, {"check=0.0", true},  {"check=4294967296", true},
        {"check=$0", true},     {"check=-0", false},  {"check=0x000000000000000000000000", false},
        {"url=x", true},
    };
    for (const auto& [line, expected] : cases) {
        const std::vector<Row> rows = Load("[item0]\n" + line + "\n");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].checked, expected) << line;
    }
}

TEST_F(SurveyFile, LoadingReplacesTheTableAlsoWithNothing) {
    Fill(table, {{"old", kNoCells, false}});
    EXPECT_EQ(Load(""), std::vector<Row>{});

    Fill(table, {{"old", kNoCells, false}});
    EXPECT_EQ(Load("no section here\nurl=x\n"), std::vector<Row>{});

    Fill(table, {{"old", kNoCells, false}});
    std::error_code error;
    EXPECT_FALSE(LoadSurvey(table, dir + "/missing.cvn", &error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(table.Count(), 0u);

    Fill(table, {{"old", kNoCells, false}});
    EXPECT_FALSE(LoadSurvey(table, dir));
    EXPECT_EQ(table.Count(), 0u);
}

// What is saved reads back as it was: blanks at the ends of a value and
// quotation marks of its own survive, and so do bytes the format gives a
// meaning elsewhere.
TEST_F(SurveyFile, SavedValuesReadBackAsWritten) {
    const std::vector<Row> rows = {
        {"  padded  ", {"\"1\"", "'2'", "\"", "", " "}, true},
        {"[item9]", {"=", ";comment", "a=b", "#x", "\t tab \t"}, false},
        {std::string("nul\0byte", 8), {"\xEF\xBB\xBF", "\xFF\xFE", "caf\xE9", "\"a", "b\""}, true},
        {std::string(platform::kProfileValueLimit, 'w'), {"1", "2", "3", "4", "5"}, false},
    };
    Fill(table, rows);
    SaveSurvey(table, file);
    Fill(table, {});
    ASSERT_TRUE(LoadSurvey(table, file));
    EXPECT_EQ(Rows(table), rows);
}

// A CR or LF inside a value is written as a blank, so that a caption cannot
// smuggle in lines or sections of its own.
TEST_F(SurveyFile, LineBreaksInValuesBecomeBlanks) {
    Fill(table, {{"a.com\r\n[item1]\nurl=evil\rcheck=0", {"1\n", "\r2", "3", "4", "5"}, true}});
    SaveSurvey(table, file);
    const std::string text = Contents(file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    ASSERT_TRUE(LoadSurvey(table, file));
    EXPECT_EQ(
        Rows(table),
        (std::vector<Row>{{"a.com  [item1] url=evil check=0", {"1 ", " 2", "3", "4", "5"}, true}}));
}

TEST_F(SurveyFile, PartialRowsAreSavedWithEmptyCells) {
    const RowHandle h = table.Append();
    EXPECT_TRUE(table.SetCaption(h, "filling.com"));
    EXPECT_TRUE(table.AppendCell(h, "7"));
    SaveSurvey(table, file);
    ASSERT_TRUE(LoadSurvey(table, file));
    EXPECT_EQ(Rows(table), (std::vector<Row>{{"filling.com", {"7", "", "", "", ""}, false}}));
}

// Random tables of arbitrary bytes (CR and LF aside) read back the same.
// Most rounds go through the text SaveSurvey writes, a few through files.
TEST_F(SurveyFile, RandomTablesRoundTrip) {
    std::mt19937 rng(4242);
    auto text = [&]() {
        const std::size_t length =
            rng() % 10 == 0 ? rng() % (platform::kProfileValueLimit + 1) : rng() % 12;
        std::string s;
        for (std::size_t i = 0; i < length; ++i) {
            char c;
            do {
                // Bias towards the bytes the format cares about.
                static const char kSpecial[] = " \t\"'=;[]#\0\xEF";
                c = rng() % 3 == 0 ? kSpecial[rng() % (sizeof kSpecial - 1)]
                                   : static_cast<char>(rng());
            } while (c == '\r' || c == '\n');
            s += c;
        }
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<Row> rows(rng() % 40);
        for (Row& r : rows) {
            r.caption = text();
            for (int c = 0; c < kCellCount; ++c)
                r.cells.push_back(text());
            r.checked = rng() % 2 == 0;
        }
        Fill(table, rows);
        if (round % 60 == 0) {
            SaveSurvey(table, file);
            ASSERT_TRUE(LoadSurvey(table, file));
        } else {
            platform::ProfileFile profile;
            profile.Parse(FormatSurvey(table));
            ReadSurvey(table, profile);
        }
        ASSERT_EQ(Rows(table), rows) << "round " << round;
    }
}

// Restores the file-size limit and the SIGXFSZ disposition on the way out.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// A save that fails half-way (here: the file-size limit, as a full disk
// would) reports the failure and leaves the old file whole.
TEST_F(SurveyFile, AFailedSaveKeepsTheOldFile) {
    Fill(table, {{"kept.com", {"1", "2", "3", "4", "5"}, false}});
    SaveSurvey(table, file);
    const std::string old = Contents(file);

    std::vector<Row> big(500, Row{std::string(100, 'b'), {"1", "2", "3", "4", "5"}, true});
    Fill(table, big);
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(SaveSurvey(table, file), platform::AtomicFileError);
    }
    EXPECT_EQ(Contents(file), old);
    EXPECT_EQ(Entries(), 1u);  // no temporary file left behind

    EXPECT_THROW(SaveSurvey(table, dir + "/missing/survey.cvn"), platform::AtomicFileError);
    EXPECT_THROW(SaveSurvey(table, dir), platform::AtomicFileError);
}

TEST_F(SurveyFile, BadInputGivesAnEmptyTableOrTheRowsFound) {
    // Binary garbage with the format's own bytes sprinkled in.
    std::mt19937 rng(99);
    std::string garbage;
    for (int i = 0; i < 300000; ++i) {
        garbage += rng() % 8 == 0 ? "[]\n=\r\""[rng() % 6] : static_cast<char>(rng());
    }
    Write(garbage);
    EXPECT_TRUE(LoadSurvey(table, file));
    for (std::size_t i = 0; i < table.Count(); ++i)
        EXPECT_EQ(table.Row(i).Cells.size(), 5u);

    // NUL bytes are bytes of a value; a NUL before "[" spoils the header.
    EXPECT_EQ(Load(std::string("[item0]\nurl=a\0b\n\0[item1]\n", 25)),
              (std::vector<Row>{{std::string("a\0b", 3), kNoCells, true}}));

    // A value of 10,000 characters is cut to the reader's limit.
    const std::vector<Row> rows = Load("[item0]\nurl=" + std::string(10000, 'v') + "\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].caption, std::string(platform::kProfileValueLimit, 'v'));
}

// 100,000 sections: the list of names holds 1944 of them in its 16384 bytes,
// and those are the rows.
TEST_F(SurveyFile, ManySectionsAreBoundedByTheNameList) {
    std::string text;
    for (int i = 0; i < 100000; ++i) {
        text += "[item" + std::to_string(i) + "]\nurl=h" + std::to_string(i) + "\ncheck=0\n";
    }
    Write(text);
    ASSERT_TRUE(LoadSurvey(table, file));
    ASSERT_EQ(table.Count(), 1944u);
    EXPECT_EQ(table.Row(0).Caption, "h0");
    EXPECT_EQ(table.Row(1943).Caption, "h1943");
    EXPECT_FALSE(table.Row(1943).Checked);
}

// A 50 MB file: read once, quickly, within a small multiple of its size.
TEST_F(SurveyFile, FiftyMegabyteFile) {
    const std::size_t kSize = 50u << 20;
    {
        std::ofstream out(file, std::ios::binary);
        out << "[item0]\r\nurl=\"big.com\"\r\nin=";
        const std::string chunk(1 << 20, 'z');
        for (std::size_t i = 0; i < kSize / chunk.size(); ++i)
            out << chunk;
        out << "\r\n[item1]\r\nrank=2\r\n";
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    ASSERT_TRUE(LoadSurvey(table, file));
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);

    ASSERT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Row(0).Caption, "big.com");
    EXPECT_EQ(table.Row(0).Cells[1], std::string(platform::kProfileValueLimit, 'z'));
    EXPECT_EQ(table.Row(1).Cells[0], "2");
    if (!kSanitized) {
        const long grownKb = after.ru_maxrss - before.ru_maxrss;
        EXPECT_LT(grownKb, static_cast<long>(3 * (kSize >> 10)))
            << "peak grew by " << grownKb << " KB";
    }
}

}  // namespace
}  // namespace corvane::engine
