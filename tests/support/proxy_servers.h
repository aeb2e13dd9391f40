// Real SOCKS 5 servers from the system's packages, started on 127.0.0.1 for
// one test and stopped with it. A missing binary, or a server that does not
// come up within a few seconds, throws std::runtime_error: the test fails,
// it is not skipped.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane::testing {

// A child process in a process group of its own, its output in a log file;
// stopped (the whole group) on destruction.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& logPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    pid_t Pid() const { return pid_; }
    bool Running();
    void Stop();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// A fresh folder under the system's temporary folder, removed with its files
// on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileText(const std::string& path);
// Throws std::runtime_error naming the package list when `path` is not an
// executable: a test that needs a real server fails without it.
void RequireExecutable(const char* path);
// A port on 127.0.0.1 that was free a moment ago, for servers that cannot be
// told to pick one themselves.
int PickFreePort();
// Waits up to timeoutMs for a listener on 127.0.0.1:port; false when none
// came up or the process ended first.
bool WaitForListener(int port, ChildProcess& process, int timeoutMs = 5000);

// microsocks, listening on a port the system chose; with a user name, clients
// must authenticate with it and the password.
class MicrosocksServer {
public:
    static constexpr const char* kBinary = "/usr/bin/microsocks";
    explicit MicrosocksServer(const std::string& user = std::string(), const std::string& password = std::string());
    int Port() const { return port_; }
    std::string Log() const;

private:
    TempFolder folder_;
    ChildProcess process_;
    int port_ = 0;
};

// Dante's server with a generated configuration: no authentication, clients
// and targets on 127.0.0.0/8 only.
class DanteServer {
public:
    static constexpr const char* kBinary = "/usr/sbin/danted";
    DanteServer();
    int Port() const { return port_; }
    std::string Log() const;

private:
    TempFolder folder_;
    int port_;
    std::string config_;
    ChildProcess process_;
};

}  // namespace corvane::testing
