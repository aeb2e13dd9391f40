#include "platform/user_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSetup = "\\Software\\Vestrel\\Brindlemark\\Setup";

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

class UserStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-store-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        folder = root + "/config/corvane";
        file = folder + "/user-store.txt";
    }
    void TearDown() override { fs::remove_all(root); }
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    std::string root, folder, file;
};

TEST_F(UserStoreTest, DefaultFolderFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    UserStore store;
    EXPECT_EQ(store.FilePath(), file);
    if (old) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(UserStoreTest, MissingFolderReadsAsNoKeyAndIsCreatedOnlyByAWrite) {
    UserStore store(folder);
    EXPECT_FALSE(store.OpenKey(kSetup, false));
    EXPECT_FALSE(store.HasCurrentKey());
    EXPECT_FALSE(store.ValueExists("keyterm"));
    EXPECT_THROW(store.ReadString("keyterm"), UserStoreError);
    EXPECT_THROW(store.WriteString("keyterm", "x"), UserStoreError);
    EXPECT_FALSE(fs::exists(root + "/config"));

    ASSERT_TRUE(store.OpenKey(kSetup, true));
    EXPECT_TRUE(fs::exists(file));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(store.ValueExists("keyterm"));
    // The key now exists, with or without the leading backslash and in any case.
    UserStore other(folder);
    EXPECT_TRUE(other.OpenKey("software\\VESTREL\\Brindlemark\\Setup\\", false));
    EXPECT_FALSE(other.OpenKey("\\Software\\Other", false));
}

TEST_F(UserStoreTest, ValuesKeepTheirTypeAndReadingTheOtherTypeFails) {
    {
        UserStore store(folder);
        ASSERT_TRUE(store.OpenKey(kSetup, true));
        store.WriteString("keyterm", "garden sheds");
        store.WriteString("home", "");
        store.WriteInteger("skip", -5);
        store.WriteInteger("results", 20);
        store.WriteString("digits", "25");
    }
    const std::string text = Contents(file);
    EXPECT_NE(text.find("[Software\\Vestrel\\Brindlemark\\Setup]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"keyterm\" = string \"garden sheds\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"skip\" = integer -5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"digits\" = string \"25\"\n"), std::string::npos) << text;

    UserStore store(folder);
    ASSERT_TRUE(store.OpenKey(kSetup, false));
    EXPECT_EQ(store.ReadString("keyterm"), "garden sheds");
    EXPECT_EQ(store.ReadString("home"), "");
    EXPECT_EQ(store.ReadInteger("skip"), -5);
    EXPECT_EQ(store.ReadInteger("RESULTS"), 20);
    EXPECT_THROW(store.ReadInteger("keyterm"), UserStoreError);
    EXPECT_THROW(store.ReadInteger("digits"),
                 UserStoreError);  // a number in a string stays a string
    EXPECT_THROW(store.ReadString("skip"), UserStoreError);
    EXPECT_THROW(store.ReadString("missing"), UserStoreError);

    // Writing the other type changes the type; the value keeps its place and first spelling.
    store.WriteInteger("KEYTERM", 7);
    EXPECT_EQ(store.ReadInteger("keyterm"), 7);
    EXPECT_THROW(store.ReadString("keyterm"), UserStoreError);
    EXPECT_NE(Contents(file).find("\"keyterm\" = integer 7\n"), std::string::npos);
}

TEST_F(UserStoreTest, AnyBytesAndTheWholeIntegerRangeRoundTrip) {
    const std::string awkward = std::string("a \"quoted\" \\path\\\n\r\t\x01\x7f", 22) +
                                std::string(1, '\0') + "\xc3\xa9t\xc3\xa9 #=[]";
    {
        UserStore store(folder);
        ASSERT_TRUE(store.OpenKey(kSetup, true));
        store.WriteString("text", awkward);
        store.WriteString("name with \"quotes\" = and\nbreak", "v");
        store.WriteInteger("min", INT32_MIN);
        store.WriteInteger("max", INT32_MAX);
    }
    // One value a line: nothing written breaks the line structure.
    const std::string text = Contents(file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7) << text;

    UserStore store(folder);
    ASSERT_TRUE(store.OpenKey(kSetup, false));
    EXPECT_EQ(store.ReadString("text"), awkward);
    EXPECT_EQ(store.ReadString("name with \"quotes\" = and\nbreak"), "v");
    EXPECT_EQ(store.ReadInteger("min"), INT32_MIN);
    EXPECT_EQ(store.ReadInteger("max"), INT32_MAX);
}

TEST_F(UserStoreTest, HandWrittenFilesAreRead) {
    fs::create_directories(folder);
    Put(file,
        "corvane-user-store 1\r\n"
        "# edited by hand\r\n"
        "\r\n"
        "[\\Software\\Vestrel\\Brindlemark\\Setup]\r\n"
        "  \"keyterm\"=string \"first\"\r\n"
        "\"keyterm\" =\tstring   \"second\"   \r\n"
        "\"skip\" = integer 4294967295\n"
        "[Software\\Other]\n"
        "\"x\" = integer 1\n"
        "[software\\vestrel\\brindlemark\\setup]\n"
        "\"results\" = integer -2147483648\n");
    UserStore store(folder);
    ASSERT_TRUE(store.OpenKey(kSetup, false));
    EXPECT_EQ(store.ReadString("keyterm"), "second");  // the later line wins
    EXPECT_EQ(store.ReadInteger("skip"), -1);          // the 32 bits of a DWORD
    EXPECT_EQ(store.ReadInteger("results"), INT32_MIN);
    EXPECT_TRUE(store.OpenKey("Software\\Other", false));
    EXPECT_EQ(store.ReadInteger("x"), 1);

    Put(file, "");  // an empty file: no key, and nothing to keep aside
    EXPECT_FALSE(store.OpenKey(kSetup, false));
    ASSERT_TRUE(store.OpenKey(kSetup, true));
    EXPECT_FALSE(fs::exists(file + ".damaged"));
}

TEST_F(UserStoreTest, DamagedFilesReadAsNoKey) {
    const std::string good = "corvane-user-store 1\n[Software\\Vestrel\\Brindlemark\\Setup]\n";
    const char* damaged[] = {
        "[Software\\Vestrel\\Brindlemark\\Setup]\n\"skip\" = integer 1\n",  // no first line
        "corvane-user-store 2\n[Software\\Vestrel\\Brindlemark\\Setup]\n",  // another format
        "corvane-user-store 1\n\"skip\" = integer 1\n",                     // value before a key
        "corvane-user-store 1\nstray text\n",
        "corvane-user-store 1\n[Software\\A\n",
        "corvane-user-store 1\n[Software\\A]x\n",
    };
    const char* damagedLines[] = {
        "\"skip\" = dword 1",
        "\"skip\" = integer",
        "\"skip\" = integer 12x",
        "\"skip\" = integer 4294967296",
        "\"skip\" = integer -2147483649",
        "\"skip\" = integer +1",
        "\"keyterm\" = string \"open",
        "\"keyterm\" = string \"bad \\q escape\"",
        "\"keyterm\" = string \"\\x4\"",
        "\"keyterm\" = string \"a\" junk",
        "\"keyterm\" string \"a\"",
        "keyterm = string \"a\"",
        "\"keyterm\" = string \"raw\ttab\"",
    };
    fs::create_directories(folder);
    auto expectNoKey = [&](const std::string& contents) {
        Put(file, contents);
        UserStore store(folder);
        EXPECT_FALSE(store.OpenKey(kSetup, false)) << contents;
        EXPECT_FALSE(store.ValueExists("skip")) << contents;
        EXPECT_EQ(Contents(file), contents);  // reading never touches it
    };
    for (const char* c : damaged)
        expectNoKey(c);
    for (const char* line : damagedLines)
        expectNoKey(good + line + "\n");
    // The same lines, well formed, are read.
    Put(file, good + "\"skip\" = integer 12\n\"keyterm\" = string \"a\\x41\\t\"\n");
    UserStore store(folder);
    ASSERT_TRUE(store.OpenKey(kSetup, false));
    EXPECT_EQ(store.ReadInteger("skip"), 12);
    EXPECT_EQ(store.ReadString("keyterm"), "aA\t");
}

TEST_F(UserStoreTest, AWriteKeepsTheDamagedFileAside) {
    fs::create_directories(folder);
    const std::string broken =
        "corvane-user-store 1\n[Software\\Other]\n\"precious\" = string \"kept\"\n\"x\" = ???\n";
    Put(file, broken);

    UserStore store(folder);
    ASSERT_TRUE(store.OpenKey(kSetup, true));
    store.WriteInteger("skip", 3);
    EXPECT_EQ(Contents(file + ".damaged"), broken);
    EXPECT_TRUE(store.OpenKey(kSetup, false));
    EXPECT_EQ(store.ReadInteger("skip"), 3);
    EXPECT_FALSE(store.OpenKey("Software\\Other", false));

    // A second damage gets a name of its own; the first copy stays.
    Put(file, "garbage");
    ASSERT_TRUE(store.OpenKey(kSetup, true));
    EXPECT_EQ(Contents(file + ".damaged"), broken);
    EXPECT_EQ(Contents(file + ".damaged-2"), "garbage");
    EXPECT_FALSE(store.ValueExists("skip"));
}

TEST_F(UserStoreTest, WritesReplaceTheFileAndKeepWhatOthersWrote) {
    UserStore a(folder);
    UserStore b(folder);
    ASSERT_TRUE(a.OpenKey(kSetup, true));
    ASSERT_TRUE(b.OpenKey("Software\\Other", true));
    a.WriteString("keyterm", "one");
    const std::string first = Contents(file);
    std::ifstream held(file, std::ios::binary);  // the file as it was

    // b's view is older than a's write; its write reads the file afresh.
    b.WriteInteger("n", 1);
    a.WriteInteger("skip", 2);
    std::ostringstream old;
    old << held.rdbuf();
    EXPECT_EQ(old.str(), first);  // replaced by a rename, never rewritten in place
    EXPECT_EQ(Entries(), 1u);     // no temporary file left

    UserStore c(folder);
    ASSERT_TRUE(c.OpenKey(kSetup, false));
    EXPECT_EQ(c.ReadString("keyterm"), "one");
    EXPECT_EQ(c.ReadInteger("skip"), 2);
    ASSERT_TRUE(c.OpenKey("Software\\Other", false));
    EXPECT_EQ(c.ReadInteger("n"), 1);
}

TEST_F(UserStoreTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    fs::create_directories(file);  // a folder where the file should be
    UserStore store(folder);
    EXPECT_FALSE(store.OpenKey(kSetup, false));
    EXPECT_THROW(store.OpenKey(kSetup, true), UserStoreError);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(Entries(), 1u);

    // A key name no file line could carry.
    fs::remove(file);
    EXPECT_FALSE(store.OpenKey("Software\nX", false));
    EXPECT_THROW(store.OpenKey("Software\nX", true), UserStoreError);
}

}  // namespace
}  // namespace corvane::platform
