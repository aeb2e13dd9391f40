// What every launcher of a real server on loopback needs: a private folder
// for its configuration and logs, the check that its binary is installed,
// and the proof that the port the test talks to is the server's own
// listener, not another program's.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "tests/support/child_process.h"

namespace corvane::testing {

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

// The local ports of the listening IPv4 TCP sockets held by any process of
// the process group `group`.
std::set<int> ListeningPortsOfGroup(pid_t group);

// A port on 127.0.0.1 that was free a moment ago. Another program may take
// it before a server does: LaunchOnFreePort proves who holds it.
int PickFreePort();

struct LaunchedServer {
    std::unique_ptr<ChildProcess> Process;
    int Port = 0;
};

// Starts a server that must be told its port: `start(port)` writes the
// configuration for `port` and starts the server in a process group of its
// own. The launch counts once that group holds the listener on the port;
// when the server ends or does not listen there within a few seconds (the
// port was taken in between), it is stopped and started again on another
// port from `pick`. Throws std::runtime_error, with `log()`, when no attempt
// succeeds.
LaunchedServer LaunchOnFreePort(const std::string& name,
                                const std::function<std::unique_ptr<ChildProcess>(int)>& start,
                                const std::function<std::string()>& log,
                                const std::function<int()>& pick = PickFreePort);

// For a server told to listen on port 0: the port the system gave it, read
// from its process group's sockets. Throws std::runtime_error, with `log()`,
// when it ends or does not listen within a few seconds.
int WaitForOwnListener(const std::string& name, ChildProcess& process,
                       const std::function<std::string()>& log);

}  // namespace corvane::testing
