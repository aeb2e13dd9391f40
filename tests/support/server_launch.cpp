#include "tests/support/server_launch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kListenLimit = std::chrono::seconds(5);
constexpr int kLaunchAttempts = 3;

// The process group of a process, -1 when it cannot be read (it has gone).
pid_t GroupOf(const std::string& pidText) {
    const std::string stat = ReadFileText("/proc/" + pidText + "/stat");
    // "PID (NAME) STATE PPID PGRP ...": the name may hold blanks and
    // parentheses, so the fields are counted from its last ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long parent = 0, group = -1;
    fields >> state >> parent >> group;
    return fields ? static_cast<pid_t>(group) : -1;
}

// The inodes of the sockets the process holds open.
void AddSocketInodes(const std::string& pidText, std::set<std::string>& inodes) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + pidText + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0 && target.back() == ']') {
            inodes.insert(target.substr(8, target.size() - 9));
        }
    }
}

}  // namespace

// ---- TempFolder ----

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    }
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

// ---- files and ports ----

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void RequireExecutable(const char* path) {
    if (::access(path, X_OK) != 0) {
        throw std::runtime_error(std::string(path) +
                                 " is missing: install its package (scripts/packages.txt)");
    }
}

std::set<int> ListeningPortsOfGroup(pid_t group) {
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (GroupOf(name) == group)
            AddSocketInodes(name, inodes);
    }
    std::set<int> ports;
    std::istringstream table(ReadFileText("/proc/net/tcp"));
    std::string line;
    std::getline(table, line);  // heading
    while (std::getline(table, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        f >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
            inode;
        if (state != "0A" || !inodes.count(inode))
            continue;  // 0A: listening
        const auto colon = local.find(':');
        if (colon != std::string::npos) {
            ports.insert(static_cast<int>(std::stoul(local.substr(colon + 1), nullptr, 16)));
        }
    }
    return ports;
}

int PickFreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    ::close(s);
    if (!ok)
        throw std::runtime_error(std::string("no free port: ") + std::strerror(errno));
    return ntohs(a.sin_port);
}

// ---- launching ----

LaunchedServer LaunchOnFreePort(const std::string& name,
                                const std::function<std::unique_ptr<ChildProcess>(int)>& start,
                                const std::function<std::string()>& log,
                                const std::function<int()>& pick) {
    std::string failures;
    for (int attempt = 0; attempt < kLaunchAttempts; ++attempt) {
        LaunchedServer server;
        server.Port = pick();
        server.Process = start(server.Port);
        const auto deadline = Clock::now() + kListenLimit;
        while (server.Process->Running() && Clock::now() < deadline) {
            if (ListeningPortsOfGroup(server.Process->Pid()).count(server.Port))
                return server;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        server.Process.reset();  // stopped before its log is read
        failures += "\nport " + std::to_string(server.Port) + ": " + log();
    }
    throw std::runtime_error(name + " did not start listening:" + failures);
}

int WaitForOwnListener(const std::string& name, ChildProcess& process,
                       const std::function<std::string()>& log) {
    const auto deadline = Clock::now() + kListenLimit;
    while (process.Running() && Clock::now() < deadline) {
        const std::set<int> ports = ListeningPortsOfGroup(process.Pid());
        if (!ports.empty())
            return *ports.begin();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error(name + " did not start listening: " + log());
}

}  // namespace corvane::testing
