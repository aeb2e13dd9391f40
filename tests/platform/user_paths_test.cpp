#include "platform/user_paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace corvane::platform {
namespace {

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(UserPaths, ConfigHomeFollowsTheEnvironment) {
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(ConfigHome(), "/somewhere/config");
    }
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/path");  // not absolute: ignored
    EXPECT_EQ(ConfigHome(), "/home/someone/.config");
}

TEST(UserPaths, RuntimeDirOnlyTrustsAFolderOfOurOwn) {
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", "/run/user/4242");
        EXPECT_EQ(RuntimeDir(), "/run/user/4242");
    }
    ScopedEnv none("XDG_RUNTIME_DIR", nullptr);
    char tmpl[] = "/tmp/corvane-paths-test-XXXXXX";
    const std::string tmp = mkdtemp(tmpl);
    ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    const std::string expected = tmp + "/corvane-" + std::to_string(getuid());
    EXPECT_EQ(RuntimeDir(), expected);
    struct stat st {};
    ASSERT_EQ(stat(expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A folder others may write to is not used.
    chmod(expected.c_str(), 0777);
    EXPECT_EQ(RuntimeDir(), "");
    // Nor is a file in its place.
    std::filesystem::remove_all(expected);
    {
        FILE* f = fopen(expected.c_str(), "w");
        fclose(f);
    }
    EXPECT_EQ(RuntimeDir(), "");
    std::filesystem::remove_all(tmp);
}

TEST(UserPaths, ProgramFolderEndsInASlash) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace corvane::platform
