// The settings a user keeps between runs, edited in the desktop program's
// Settings window and read by both front ends at start-up: the search
// profile, the SearXNG instance, the proxy, the jobs limits and the
// User-Agent.
//
// They live in the per-user store (platform::UserStore, under
// $XDG_CONFIG_HOME/corvane) under kUserSettingsKey, except the proxy
// password, which has a file of its own, "proxy-password" in the same
// folder, that only the user can read and write (mode 0600 from its
// creation).
//
// Where they are applied: ui::ParseDesktopOptions (desktop_program.cpp) and
// cli::SurveyOptionsFromEnvironment (survey_runner.cpp) call
// ApplyUserSettings before the environment and the command line, which
// therefore win for that run. The desktop program applies them again, in
// the same order, when the Settings window saves new ones.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "frontend/settings.h"

namespace corvane::frontend {

enum class ProxyKind { None, Http, Socks4, Socks4A, Socks5 };

// "none", "http", "socks4", "socks4a", "socks5": the stored names.
const char* ProxyKindName(ProxyKind kind);
// The kind of a stored name (ASCII case ignored); nullopt for another text.
std::optional<ProxyKind> ProxyKindOf(const std::string& name);

struct UserSettings {
    std::string Profile = FrontEndSettings::kDefaultProfile;
    std::string SearxngUrl;  // empty: none
    ProxyKind Proxy = ProxyKind::None;
    // Kept whatever the kind, so that switching the proxy off and on again
    // loses nothing.
    std::string ProxyHost;
    std::int32_t ProxyPort = 0;
    std::string ProxyUser;  // for SOCKS 4 and 4A, the user ID
    std::string ProxyPassword;
    int Jobs = FrontEndSettings::kDefaultJobs;
    int PerHost = FrontEndSettings::kDefaultPerHost;
    std::string UserAgent;  // empty: the program's own

    bool operator==(const UserSettings&) const = default;
};

// Where the settings are kept, under the current user's root of the store.
inline constexpr const char* kUserSettingsKey = "\\Software\\Vestrel\\Brindlemark\\Settings";
inline constexpr const char* kPasswordFileName = "proxy-password";

// A failure to save; the message is meant for the user.
class UserSettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The folder the settings are kept in: `folder`, or when it is empty
// platform::ConfigHome() + "/corvane".
std::string UserSettingsFolder(const std::string& folder = {});

// The saved settings; defaults for whatever is not saved. A value of the
// wrong type or a count outside 1..64 reads as its default; a store or
// password file that cannot be read reads as holding nothing.
UserSettings LoadUserSettings(const std::string& folder = {});

// Saves every setting, the store's values first, then the password file
// (replaced as a whole; removed when the password is empty). Throws
// UserSettingsError when the store or the file cannot be written.
void SaveUserSettings(const UserSettings& settings, const std::string& folder = {});

// Which setting a problem is with.
enum class UserSetting {
    Profile,
    SearxngUrl,
    ProxyHost,
    ProxyPort,
    ProxyUser,
    ProxyPassword,
    Jobs,
    PerHost,
    UserAgent
};

struct UserSettingsProblem {
    UserSetting Setting = UserSetting::Profile;
    std::string Message;
};

// The first setting that cannot be used, in the order of the enumeration,
// with why; nullopt when all can. The proxy's host, port, user and password
// are checked only when a proxy kind is chosen. A password needs a user
// name with the kinds that take one (HTTP, SOCKS 5); SOCKS 4 and 4A keep a
// password but do not use it.
std::optional<UserSettingsProblem> CheckUserSettings(const UserSettings& settings);

// Fills `target` from `settings`: profile, SearXNG address, proxy (marked
// as saved, see FrontEndSettings::ProxyFromUserSettings), jobs, per-host
// and a User-Agent that is not empty. A setting that CheckUserSettings
// would refuse (say, a store edited by hand) is left out, the proxy as a
// whole; a password goes with a user name and a kind that takes one only.
void ApplyUserSettings(const UserSettings& settings, FrontEndSettings& target);

}  // namespace corvane::frontend
