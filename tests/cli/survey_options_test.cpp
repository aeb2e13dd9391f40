#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/survey_runner.h"
#include "frontend/user_settings.h"

namespace corvane::cli {
namespace {

// A survey's options start from the settings saved in the desktop program;
// the environment and the command line override them.
TEST(SurveyOptions, SavedSettingsComeFirst) {
    char tmpl[] = "/tmp/corvane-cli-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    frontend::UserSettings saved;
    saved.Profile = "mojeek";
    saved.Jobs = 5;
    saved.PerHost = 4;
    saved.UserAgent = "saved agent";
    frontend::SaveUserSettings(saved);
    ::setenv("CORVANE_JOBS", "7", 1);

    SurveyOptions options = SurveyOptionsFromEnvironment();
    const std::vector<std::string> args{"--profile", "brave"};
    for (std::size_t i = 0; i < args.size();) {
        ASSERT_TRUE(TakeSurveyOption(args, i, options));
    }
    EXPECT_EQ(options.Settings.Profile, "brave");
    EXPECT_EQ(options.Settings.Jobs, 7);
    EXPECT_EQ(options.Settings.PerHost, 4);
    EXPECT_EQ(options.Settings.Fetch.UserAgent, "saved agent");

    ::unsetenv("CORVANE_JOBS");
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace corvane::cli
