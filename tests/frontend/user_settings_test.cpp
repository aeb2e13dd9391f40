#include "frontend/user_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvane::frontend {
namespace {

namespace fs = std::filesystem;

UserSettings Full() {
    UserSettings s;
    s.Profile = "searxng";
    s.SearxngUrl = "https://searx.example.org/base";
    s.Proxy = ProxyKind::Socks5;
    s.ProxyHost = "proxy.lan";
    s.ProxyPort = 1080;
    s.ProxyUser = "ann";
    s.ProxyPassword = "s3cret \"quoted\" \xc3\xa9";
    s.Jobs = 12;
    s.PerHost = 3;
    s.UserAgent = "Mozilla/5.0 (X11; Linux x86_64)";
    return s;
}

class UserSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        folder_ = root_ + "/corvane";
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string PasswordPath() const { return folder_ + "/" + kPasswordFileName; }
    std::string Slurp(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string root_;
    std::string folder_;
};

TEST_F(UserSettingsTest, SavedSettingsReadBackAndThePasswordStaysOutOfTheStore) {
    EXPECT_EQ(LoadUserSettings(folder_), UserSettings{});  // nothing saved yet
    const UserSettings full = Full();
    SaveUserSettings(full, folder_);
    EXPECT_EQ(LoadUserSettings(folder_), full);
    EXPECT_EQ(Slurp(PasswordPath()), full.ProxyPassword);
    EXPECT_EQ(Slurp(folder_ + "/user-store.txt").find("s3cret"), std::string::npos);

    // Saved again without a password: the file goes, the rest is replaced.
    UserSettings other = full;
    other.ProxyPassword.clear();
    other.Proxy = ProxyKind::None;
    other.UserAgent.clear();
    SaveUserSettings(other, folder_);
    EXPECT_FALSE(fs::exists(PasswordPath()));
    EXPECT_EQ(LoadUserSettings(folder_), other);
}

TEST_F(UserSettingsTest, PasswordFileIsCreatedForTheUserAlone) {
    // Even with a umask that lets everyone read new files, and over an old
    // file anyone could read.
    fs::create_directories(folder_);
    std::ofstream(PasswordPath()) << "old";
    ::chmod(PasswordPath().c_str(), 0644);
    const mode_t oldMask = ::umask(0);
    SaveUserSettings(Full(), folder_);
    ::umask(oldMask);
    struct stat st {};
    ASSERT_EQ(::stat(PasswordPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Slurp(PasswordPath()), Full().ProxyPassword);
    // Nothing left behind beside the two files.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{kPasswordFileName, "user-store.txt"}));
}

TEST_F(UserSettingsTest, ValuesThatCannotBeUsedReadAsTheirDefaults) {
    fs::create_directories(folder_);
    std::ofstream(folder_ + "/user-store.txt") << "corvane-user-store 1\n"
                                               << "[Software\\Vestrel\\Brindlemark\\Settings]\n"
                                               << "\"jobs\" = integer 65\n"
                                               << "\"per host\" = string \"3\"\n"
                                               << "\"proxy\" = string \"gopher\"\n"
                                               << "\"proxy port\" = integer 70000\n"
                                               << "\"profile\" = string \"\"\n"
                                               << "\"user agent\" = string \"UA\"\n";
    std::ofstream(PasswordPath()) << "typed by hand\n";
    UserSettings expected;
    expected.UserAgent = "UA";
    expected.ProxyPassword = "typed by hand";
    EXPECT_EQ(LoadUserSettings(folder_), expected);
}

TEST_F(UserSettingsTest, AFailedSaveSaysWhy) {
    std::ofstream(root_ + "/plain") << "x";
    try {
        SaveUserSettings(Full(), root_ + "/plain/corvane");
        ADD_FAILURE() << "saved under a plain file";
    } catch (const UserSettingsError& e) {
        EXPECT_NE(std::string(e.what()).find("Could not save the settings"), std::string::npos);
    }
}

TEST(UserSettingsCheck, NamesTheFirstSettingThatCannotBeUsed) {
    struct Case {
        UserSettings settings;
        UserSetting setting;
    };
    auto with = [](auto change) {
        UserSettings s;
        s.Proxy = ProxyKind::Http;
        s.ProxyHost = "proxy";
        s.ProxyPort = 3128;
        change(s);
        return s;
    };
    const std::vector<Case> cases = {
        {with([](UserSettings& s) { s.Profile.clear(); }), UserSetting::Profile},
        {with([](UserSettings& s) { s.SearxngUrl = "searx.example.org"; }),
         UserSetting::SearxngUrl},
        {with([](UserSettings& s) { s.SearxngUrl = "ftp://searx.example.org"; }),
         UserSetting::SearxngUrl},
        {with([](UserSettings& s) { s.ProxyHost.clear(); }), UserSetting::ProxyHost},
        {with([](UserSettings& s) { s.ProxyHost = "a b"; }), UserSetting::ProxyHost},
        {with([](UserSettings& s) { s.ProxyPort = 0; }), UserSetting::ProxyPort},
        {with([](UserSettings& s) { s.ProxyUser = std::string(256, 'u'); }),
         UserSetting::ProxyUser},
        {with([](UserSettings& s) { s.ProxyPassword = "pw"; }), UserSetting::ProxyUser},
        {with([](UserSettings& s) {
             s.ProxyUser = "u";
             s.ProxyPassword = "a\nb";
         }),
         UserSetting::ProxyPassword},
        {with([](UserSettings& s) { s.Jobs = 65; }), UserSetting::Jobs},
        {with([](UserSettings& s) { s.PerHost = 0; }), UserSetting::PerHost},
        {with([](UserSettings& s) { s.UserAgent = "UA\r\nX-Evil: 1"; }), UserSetting::UserAgent},
    };
    for (const Case& c : cases) {
        const auto problem = CheckUserSettings(c.settings);
        ASSERT_TRUE(problem.has_value()) << static_cast<int>(c.setting);
        EXPECT_EQ(problem->Setting, c.setting) << problem->Message;
        EXPECT_FALSE(problem->Message.empty());
    }
    // Without a proxy its fields are not looked at; SOCKS 4 keeps a
    // password it does not use.
    EXPECT_FALSE(CheckUserSettings(with([](UserSettings& s) {
        s.Proxy = ProxyKind::None;
        s.ProxyHost.clear();
        s.ProxyPort = 0;
    })));
    EXPECT_FALSE(CheckUserSettings(with([](UserSettings& s) {
        s.Proxy = ProxyKind::Socks4;
        s.ProxyPassword = "unused";
    })));
    EXPECT_FALSE(CheckUserSettings(Full()));
}

// Saved settings first, then the environment, then the command line.
class Precedence : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const char* v :
             {"CORVANE_PROXY", "CORVANE_JOBS", "CORVANE_PROFILE", "CORVANE_SEARXNG"})
            ::unsetenv(v);
    }
    static FrontEndSettings Layered(const UserSettings& saved, std::vector<std::string> args) {
        FrontEndSettings s;
        ApplyUserSettings(saved, s);
        ApplyEnvironment(s);
        ApplyJobsEnvironment(s);
        for (std::size_t i = 0; i < args.size();) {
            if (!TakeSharedOption(args, i, s) && !TakeJobsOption(args, i, s))
                throw UsageError("unknown " + args[i]);
        }
        ValidateSettings(s);
        return s;
    }
};

TEST_F(Precedence, SavedSettingsApplyWhereNothingElseIsGiven) {
    const FrontEndSettings s = Layered(Full(), {});
    EXPECT_EQ(s.Profile, "searxng");
    EXPECT_EQ(s.SearxngUrl, "https://searx.example.org/base");
    EXPECT_EQ(s.Fetch.SocksVersion, net::svSocks5);
    EXPECT_EQ(s.Fetch.SocksHost, "proxy.lan");
    EXPECT_EQ(s.Fetch.SocksPort, 1080);
    EXPECT_EQ(s.Fetch.SocksUser, "ann");
    EXPECT_EQ(s.Fetch.SocksPassword, Full().ProxyPassword);
    EXPECT_EQ(s.Jobs, 12);
    EXPECT_EQ(s.PerHost, 3);
    EXPECT_EQ(s.Fetch.UserAgent, Full().UserAgent);

    // An HTTP proxy takes the user and password as its own; SOCKS 4 takes
    // the user ID and leaves a password out.
    UserSettings http = Full();
    http.Proxy = ProxyKind::Http;
    const FrontEndSettings h = Layered(http, {});
    EXPECT_EQ(h.Fetch.ProxyHost, "proxy.lan");
    EXPECT_EQ(h.Fetch.ProxyUser, "ann");
    EXPECT_EQ(h.Fetch.ProxyPassword, Full().ProxyPassword);
    EXPECT_EQ(h.Fetch.SocksVersion, net::svNoSocks);
    UserSettings socks4 = Full();
    socks4.Proxy = ProxyKind::Socks4;
    const FrontEndSettings f = Layered(socks4, {});
    EXPECT_EQ(f.Fetch.SocksVersion, net::svSocks4);
    EXPECT_EQ(f.Fetch.SocksUser, "ann");
    EXPECT_EQ(f.Fetch.SocksPassword, "");

    // A proxy that cannot be used is left out as a whole.
    UserSettings broken = Full();
    broken.ProxyPort = 0;
    broken.UserAgent = "bad\r\n";
    const FrontEndSettings b = Layered(broken, {});
    EXPECT_EQ(b.Fetch.SocksVersion, net::svNoSocks);
    EXPECT_EQ(b.Fetch.SocksUser, "");
    EXPECT_EQ(b.Fetch.UserAgent, "");
    EXPECT_EQ(b.Jobs, 12);
}

TEST_F(Precedence, EnvironmentThenCommandLineWin) {
    ::setenv("CORVANE_JOBS", "6", 1);
    ::setenv("CORVANE_PROFILE", "mojeek", 1);
    ::setenv("CORVANE_SEARXNG", "http://127.0.0.1:8888/", 1);
    FrontEndSettings s = Layered(Full(), {});
    EXPECT_EQ(s.Jobs, 6);
    EXPECT_EQ(s.PerHost, 3);
    EXPECT_EQ(s.Profile, "mojeek");
    EXPECT_EQ(s.SearxngUrl, "http://127.0.0.1:8888");
    s = Layered(Full(), {"--jobs", "2", "--profile", "brave", "--searxng", "https://s.example",
                         "-A", "cli"});
    EXPECT_EQ(s.Jobs, 2);
    EXPECT_EQ(s.Profile, "brave");
    EXPECT_EQ(s.SearxngUrl, "https://s.example");
    EXPECT_EQ(s.Fetch.UserAgent, "cli");
}

TEST_F(Precedence, AnyProxyGivenReplacesTheSavedOneAsAWhole) {
    // An HTTP proxy from the environment: no saved SOCKS proxy in front.
    ::setenv("CORVANE_PROXY", "envproxy:8080", 1);
    FrontEndSettings s = Layered(Full(), {});
    EXPECT_EQ(s.Fetch.ProxyHost, "envproxy");
    EXPECT_EQ(s.Fetch.SocksVersion, net::svNoSocks);
    EXPECT_EQ(s.Fetch.SocksUser, "");
    ::unsetenv("CORVANE_PROXY");

    // Options: a SOCKS 4 proxy drops the saved user and password (SOCKS 4
    // with a password would be refused); the saved HTTP proxy goes too.
    UserSettings http = Full();
    http.Proxy = ProxyKind::Http;
    s = Layered(http, {"--socks4", "s4:1080"});
    EXPECT_EQ(s.Fetch.ProxyHost, "");
    EXPECT_EQ(s.Fetch.ProxyUser, "");
    EXPECT_EQ(s.Fetch.SocksVersion, net::svSocks4);
    EXPECT_EQ(s.Fetch.SocksUser, "");

    // On the command line alone the two proxies still combine.
    s = Layered(UserSettings{}, {"--proxy", "h:1", "--socks5", "s:2"});
    EXPECT_EQ(s.Fetch.ProxyHost, "h");
    EXPECT_EQ(s.Fetch.SocksHost, "s");
    // A user name given alone no longer has the saved proxy to go with.
    EXPECT_THROW(Layered(Full(), {"--socks-user", "bob"}), UsageError);
}

}  // namespace
}  // namespace corvane::frontend
