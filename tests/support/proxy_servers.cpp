#include "tests/support/proxy_servers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Local ports of the listening TCP sockets that the process holds.
std::set<int> ListeningPorts(pid_t pid) {
    std::set<std::string> inodes;
    std::error_code ec;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(fdDir, ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::set<int> ports;
    std::istringstream table(ReadFileText("/proc/" + std::to_string(pid) + "/net/tcp"));
    std::string line;
    std::getline(table, line);  // heading
    while (std::getline(table, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        f >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (state != "0A" || !inodes.count(inode)) continue;
        const auto colon = local.find(':');
        if (colon != std::string::npos) ports.insert(static_cast<int>(std::stoul(local.substr(colon + 1), nullptr, 16)));
    }
    return ports;
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

}  // namespace

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void RequireExecutable(const char* path) {
    if (::access(path, X_OK) != 0) {
        throw std::runtime_error(std::string(path) + " is missing: install its package (scripts/packages.txt)");
    }
}

int PickFreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool WaitForListener(int port, ChildProcess& process, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (Accepts(port)) return true;
        if (!process.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// ---- ChildProcess ----

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int r = ::posix_spawn(&pid_, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (r != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(r));
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Running() {
    if (reaped_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);  // the group: servers that fork take their helpers along
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (Running() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (Running()) {
        ::kill(-pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
    }
    ::kill(-pid_, SIGKILL);  // helpers that outlived their parent
    pid_ = -1;
}

// ---- TempFolder ----

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::Write(const std::string& name, const std::string& content) const {
    const std::string path = path_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// ---- MicrosocksServer ----

namespace {

std::vector<std::string> MicrosocksArgs(const std::string& user, const std::string& password) {
    RequireExecutable(MicrosocksServer::kBinary);
    std::vector<std::string> argv{MicrosocksServer::kBinary, "-i", "127.0.0.1", "-p", "0"};
    if (!user.empty()) {
        argv.insert(argv.end(), {"-u", user, "-P", password});
    }
    return argv;
}

}  // namespace

MicrosocksServer::MicrosocksServer(const std::string& user, const std::string& password)
    : process_(MicrosocksArgs(user, password), folder_.Path() + "/microsocks.log") {
    // Port 0: the system chose the port; read it from the process's sockets.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        const std::set<int> ports = ListeningPorts(process_.Pid());
        if (!ports.empty()) {
            port_ = *ports.begin();
            return;
        }
        if (!process_.Running()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("microsocks did not start listening: " + Log());
}

std::string MicrosocksServer::Log() const { return ReadFileText(folder_.Path() + "/microsocks.log"); }

// ---- DanteServer ----

namespace {

std::string DanteConfig(const std::string& folder, int port) {
    std::string c;
    c += "logoutput: " + folder + "/danted.log\n";
    c += "internal: 127.0.0.1 port = " + std::to_string(port) + "\n";
    c += "external: 127.0.0.1\n";
    c += "socksmethod: none\n";
    c += "clientmethod: none\n";
    if (::geteuid() == 0) c += "user.privileged: root\nuser.unprivileged: nobody\n";
    c += "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n";
    c += "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n";
    c += "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
    return c;
}

}  // namespace

// Dante cannot listen on port 0, so the system picks a free port first and
// the server takes it over a moment later.
DanteServer::DanteServer()
    : port_((RequireExecutable(kBinary), PickFreePort())),
      config_(folder_.Write("danted.conf", DanteConfig(folder_.Path(), port_))),
      process_({kBinary, "-f", config_, "-N", "1", "-p", folder_.Path() + "/danted.pid"},
               folder_.Path() + "/danted.out") {
    if (!WaitForListener(port_, process_)) throw std::runtime_error("danted did not start listening: " + Log());
}

std::string DanteServer::Log() const {
    return ReadFileText(folder_.Path() + "/danted.out") + ReadFileText(folder_.Path() + "/danted.log");
}

}  // namespace corvane::testing
