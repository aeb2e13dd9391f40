#include "platform/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-atomic-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        ::chmod(dir.c_str(), 0700);
        fs::remove_all(dir);
    }
    // Names in the folder, so that a stray temporary file shows.
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    std::string dir;
};

TEST_F(AtomicFile, CreatesAndReplacesKeepingTheMode) {
    const std::string file = dir + "/survey.cvn";
    ReplaceFileAtomically(file, std::string("first\0line", 10));
    EXPECT_EQ(Contents(file), std::string("first\0line", 10));

    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ReplaceFileAtomically(file, "second");
    EXPECT_EQ(Contents(file), "second");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    ReplaceFileAtomically(file, "");
    EXPECT_EQ(Contents(file), "");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, WritesThroughASymbolicLink) {
    const std::string real = dir + "/real.cvn";
    const std::string link = dir + "/link.cvn";
    std::ofstream(real) << "old";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ReplaceFileAtomically(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(real), "new");
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(AtomicFile, FailuresAreReportedAndLeaveNoTrace) {
    // A folder that does not exist.
    try {
        ReplaceFileAtomically(dir + "/no/such/folder/a.cvn", "x");
        FAIL() << "no error";
    } catch (const AtomicFileError& e) {
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
        EXPECT_EQ(e.Path(), dir + "/no/such/folder/a.cvn");
        EXPECT_NE(std::string(e.what()).find("cannot write " + dir + "/no/such/folder/a.cvn"),
                  std::string::npos);
    }
    // A folder where the file should be: it stays a folder.
    const std::string sub = dir + "/sub";
    fs::create_directory(sub);
    EXPECT_THROW(ReplaceFileAtomically(sub, "x"), AtomicFileError);
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_THROW(ReplaceFileAtomically("", "x"), AtomicFileError);
    EXPECT_THROW(ReplaceFileAtomically(dir + "/", "x"), AtomicFileError);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, ReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const std::string file = dir + "/survey.cvn";
    std::ofstream(file) << "old";
    ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
    EXPECT_THROW(ReplaceFileAtomically(file, "new"), AtomicFileError);
    EXPECT_EQ(Contents(file), "old");
    EXPECT_EQ(Entries(), 1u);
}

}  // namespace
}  // namespace corvane::platform
