#include "platform/user_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace corvane::platform {

namespace {

std::string AbsoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/') {
        return v;
    }
    return std::string();
}

std::string HomeFolder() {
    if (std::string home = AbsoluteEnv("HOME"); !home.empty()) {
        return home;
    }
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        return pw->pw_dir;
    }
    return "/tmp";
}

}  // namespace

std::string ConfigHome() {
    if (std::string dir = AbsoluteEnv("XDG_CONFIG_HOME"); !dir.empty()) {
        return dir;
    }
    return HomeFolder() + "/.config";
}

std::string DataHome() {
    if (std::string dir = AbsoluteEnv("XDG_DATA_HOME"); !dir.empty()) {
        return dir;
    }
    return HomeFolder() + "/.local/share";
}

std::string RuntimeDir() {
    if (std::string dir = AbsoluteEnv("XDG_RUNTIME_DIR"); !dir.empty()) {
        return dir;
    }
    std::string tmp = AbsoluteEnv("TMPDIR");
    if (tmp.empty())
        tmp = "/tmp";
    std::string dir = tmp + "/corvane-" + std::to_string(getuid());
    ::mkdir(dir.c_str(), 0700);
    // Only a folder of this user's own that nobody else may write to: a
    // name in /tmp can have been taken by someone else first.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 0077) != 0) {
        return std::string();
    }
    return dir;
}

std::string ProgramFolder() {
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(buf.data(), static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace corvane::platform
