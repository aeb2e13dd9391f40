#include "frontend/user_settings.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "base/ascii.h"
#include "platform/user_paths.h"
#include "platform/user_store.h"

namespace corvane::frontend {

namespace {

// Names of the stored values.
constexpr const char* kProfile = "profile";
constexpr const char* kSearxng = "searxng";
constexpr const char* kProxy = "proxy";
constexpr const char* kProxyHost = "proxy host";
constexpr const char* kProxyPort = "proxy port";
constexpr const char* kProxyUser = "proxy user";
constexpr const char* kJobs = "jobs";
constexpr const char* kPerHost = "per host";
constexpr const char* kUserAgent = "user agent";

constexpr const char* kKindNames[] = {"none", "http", "socks4", "socks4a", "socks5"};

constexpr std::size_t kMostCredentialBytes = 255;

bool HasControl(const std::string& text) {
    for (char c : text) {
        if (base::IsControl(c)) {
            return true;
        }
    }
    return false;
}

bool HasBlankOrControl(const std::string& text) {
    for (char c : text) {
        if (base::IsBlankOrControl(c) || c == '\x7F') {
            return true;
        }
    }
    return false;
}

bool IsCount(int value) {
    return value >= 1 && value <= FrontEndSettings::kMaxJobs;
}

bool TakesPassword(ProxyKind kind) {
    return kind == ProxyKind::Http || kind == ProxyKind::Socks5;
}

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

std::string PasswordFile(const std::string& folder) {
    return folder + "/" + kPasswordFileName;
}

std::string ReadPassword(const std::string& folder) {
    std::ifstream in(PasswordFile(folder), std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A file written by hand may end in a line break; a password never does.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Replaces the password file as a whole: a new file, created readable and
// writable by the user alone, is written, flushed and renamed over the old
// one, so that the password is never readable by others, not even for a
// moment.
void WritePassword(const std::string& folder, const std::string& password) {
    const std::string path = PasswordFile(folder);
    if (password.empty()) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            throw UserSettingsError("Could not remove " + path + ": " + SystemReason(errno));
        }
        return;
    }
    std::string pattern = path + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    // mkostemp creates the file with mode 0600.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        throw UserSettingsError("Could not write " + path + ": " + SystemReason(errno));
    }
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.data());
        throw UserSettingsError("Could not write " + path + ": " + SystemReason(error));
    };
    std::size_t written = 0;
    while (written < password.size()) {
        const ssize_t n = ::write(fd, password.data() + written, password.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(n < 0 ? errno : EIO);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        fail(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.data());
        throw UserSettingsError("Could not write " + path + ": " + SystemReason(error));
    }
    if (::rename(temp.data(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.data());
        throw UserSettingsError("Could not write " + path + ": " + SystemReason(error));
    }
}

std::optional<UserSettingsProblem> Problem(UserSetting setting, std::string message) {
    return UserSettingsProblem{setting, std::move(message)};
}

std::optional<UserSettingsProblem> ProxyProblem(const UserSettings& s) {
    if (s.Proxy == ProxyKind::None) {
        return std::nullopt;
    }
    if (s.ProxyHost.empty()) {
        return Problem(UserSetting::ProxyHost, "Enter the proxy's host name or address.");
    }
    if (HasBlankOrControl(s.ProxyHost)) {
        return Problem(UserSetting::ProxyHost,
                       "The proxy's host holds a blank or a control character.");
    }
    if (s.ProxyPort < 1 || s.ProxyPort > 65535) {
        return Problem(UserSetting::ProxyPort, "The proxy's port must be 1 to 65535.");
    }
    if (HasControl(s.ProxyUser) || s.ProxyUser.size() > kMostCredentialBytes) {
        return Problem(UserSetting::ProxyUser,
                       "The proxy's user name must be at most 255 bytes without control "
                       "characters.");
    }
    if (!TakesPassword(s.Proxy)) {
        return std::nullopt;
    }
    if (HasControl(s.ProxyPassword) || s.ProxyPassword.size() > kMostCredentialBytes) {
        return Problem(UserSetting::ProxyPassword,
                       "The proxy's password must be at most 255 bytes without control "
                       "characters.");
    }
    if (!s.ProxyPassword.empty() && s.ProxyUser.empty()) {
        return Problem(UserSetting::ProxyUser, "A proxy password needs a user name.");
    }
    return std::nullopt;
}

}  // namespace

const char* ProxyKindName(ProxyKind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<ProxyKind> ProxyKindOf(const std::string& name) {
    const std::string lower = base::LowerAscii(name);
    for (std::size_t k = 0; k < std::size(kKindNames); ++k) {
        if (lower == kKindNames[k]) {
            return static_cast<ProxyKind>(k);
        }
    }
    return std::nullopt;
}

std::string UserSettingsFolder(const std::string& folder) {
    return folder.empty() ? platform::ConfigHome() + "/corvane" : folder;
}

UserSettings LoadUserSettings(const std::string& folder) {
    UserSettings s;
    const std::string where = UserSettingsFolder(folder);
    s.ProxyPassword = ReadPassword(where);
    platform::UserStore store(where);
    try {
        if (!store.OpenKey(kUserSettingsKey, false)) {
            return s;
        }
    } catch (const platform::UserStoreError&) {
        return s;  // a store that cannot be read holds nothing
    }
    // Each value on its own: one of the wrong type keeps its default alone.
    auto text = [&store](const char* name, std::string& value) {
        if (store.ValueExists(name)) {
            try {
                value = store.ReadString(name);
            } catch (const platform::UserStoreError&) {
                // Not a text: the default stays.
            }
        }
    };
    auto count = [&store](const char* name, int& value) {
        if (store.ValueExists(name)) {
            try {
                const std::int32_t n = store.ReadInteger(name);
                if (IsCount(n)) {
                    value = n;
                }
            } catch (const platform::UserStoreError&) {
                // Not a number: the default stays.
            }
        }
    };
    text(kProfile, s.Profile);
    text(kSearxng, s.SearxngUrl);
    std::string kind;
    text(kProxy, kind);
    s.Proxy = ProxyKindOf(kind).value_or(ProxyKind::None);
    text(kProxyHost, s.ProxyHost);
    int port = 0;
    if (store.ValueExists(kProxyPort)) {
        try {
            port = store.ReadInteger(kProxyPort);
        } catch (const platform::UserStoreError&) {
            port = 0;  // not a number: no port
        }
    }
    s.ProxyPort = port >= 0 && port <= 65535 ? port : 0;
    text(kProxyUser, s.ProxyUser);
    count(kJobs, s.Jobs);
    count(kPerHost, s.PerHost);
    text(kUserAgent, s.UserAgent);
    if (s.Profile.empty()) {
        s.Profile = FrontEndSettings::kDefaultProfile;
    }
    return s;
}

void SaveUserSettings(const UserSettings& s, const std::string& folder) {
    const std::string where = UserSettingsFolder(folder);
    try {
        platform::UserStore store(where);
        store.OpenKey(kUserSettingsKey, true);
        store.WriteString(kProfile, s.Profile);
        store.WriteString(kSearxng, s.SearxngUrl);
        store.WriteString(kProxy, ProxyKindName(s.Proxy));
        store.WriteString(kProxyHost, s.ProxyHost);
        store.WriteInteger(kProxyPort, s.ProxyPort);
        store.WriteString(kProxyUser, s.ProxyUser);
        store.WriteInteger(kJobs, s.Jobs);
        store.WriteInteger(kPerHost, s.PerHost);
        store.WriteString(kUserAgent, s.UserAgent);
    } catch (const platform::UserStoreError& e) {
        throw UserSettingsError(std::string("Could not save the settings: ") + e.what());
    }
    WritePassword(where, s.ProxyPassword);
}

std::optional<UserSettingsProblem> CheckUserSettings(const UserSettings& s) {
    if (s.Profile.empty() || HasControl(s.Profile)) {
        return Problem(UserSetting::Profile, "Choose a search profile.");
    }
    if (!s.SearxngUrl.empty()) {
        try {
            SearxngAddress(s.SearxngUrl, "SearXNG address");
        } catch (const UsageError& e) {
            return Problem(UserSetting::SearxngUrl, e.what());
        }
    }
    if (auto problem = ProxyProblem(s)) {
        return problem;
    }
    if (!IsCount(s.Jobs)) {
        return Problem(UserSetting::Jobs, "Jobs must be 1 to 64.");
    }
    if (!IsCount(s.PerHost)) {
        return Problem(UserSetting::PerHost, "Per host must be 1 to 64.");
    }
    if (HasControl(s.UserAgent)) {
        return Problem(UserSetting::UserAgent, "The User-Agent holds a control character.");
    }
    return std::nullopt;
}

void ApplyUserSettings(const UserSettings& s, FrontEndSettings& target) {
    if (!s.Profile.empty() && !HasControl(s.Profile)) {
        target.Profile = s.Profile;
    }
    if (!s.SearxngUrl.empty()) {
        try {
            target.SearxngUrl = SearxngAddress(s.SearxngUrl, "SearXNG address");
        } catch (const UsageError&) {
            // Left out; the Settings window shows the address to be mended.
        }
    }
    if (s.Proxy != ProxyKind::None && !ProxyProblem(s)) {
        net::FetchOptions& p = target.Fetch;
        const bool password = TakesPassword(s.Proxy) && !s.ProxyUser.empty();
        if (s.Proxy == ProxyKind::Http) {
            p.ProxyHost = s.ProxyHost;
            p.ProxyPort = s.ProxyPort;
            p.ProxyUser = s.ProxyUser;
            p.ProxyPassword = password ? s.ProxyPassword : std::string();
        } else {
            p.SocksVersion = s.Proxy == ProxyKind::Socks4    ? net::svSocks4
                             : s.Proxy == ProxyKind::Socks4A ? net::svSocks4A
                                                             : net::svSocks5;
            p.SocksHost = s.ProxyHost;
            p.SocksPort = s.ProxyPort;
            p.SocksUser = s.ProxyUser;
            p.SocksPassword = password ? s.ProxyPassword : std::string();
        }
        target.ProxyFromUserSettings = true;
    }
    if (IsCount(s.Jobs)) {
        target.Jobs = s.Jobs;
    }
    if (IsCount(s.PerHost)) {
        target.PerHost = s.PerHost;
    }
    if (!s.UserAgent.empty() && !HasControl(s.UserAgent)) {
        target.Fetch.UserAgent = s.UserAgent;
    }
}

}  // namespace corvane::frontend
