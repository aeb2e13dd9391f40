#include "tests/support/proxy_servers.h"

#include <unistd.h>

#include <vector>

namespace corvane::testing {

// ---- MicrosocksServer ----

MicrosocksServer::MicrosocksServer(const std::string& user, const std::string& password) {
    RequireExecutable(kBinary);
    // Port 0: the system chooses the port, read from the server's own sockets.
    std::vector<std::string> argv{kBinary, "-i", "127.0.0.1", "-p", "0"};
    if (!user.empty()) {
        argv.insert(argv.end(), {"-u", user, "-P", password});
    }
    process_ = std::make_unique<ChildProcess>(
        argv, ChildOptions::Server(folder_.Path() + "/microsocks.log"));
    port_ = WaitForOwnListener("microsocks", *process_, [this] { return Log(); });
}

std::string MicrosocksServer::Log() const {
    return ReadFileText(folder_.Path() + "/microsocks.log");
}

// ---- DanteServer ----

namespace {

std::string DanteConfig(const std::string& folder, int port) {
    std::string c;
    c += "logoutput: " + folder + "/danted.log\n";
    c += "internal: 127.0.0.1 port = " + std::to_string(port) + "\n";
    c += "external: 127.0.0.1\n";
    c += "socksmethod: none\n";
    c += "clientmethod: none\n";
    if (::geteuid() == 0)
        c += "user.privileged: root\nuser.unprivileged: nobody\n";
    c += "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n";
    c += "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n";
    c += "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
    return c;
}

}  // namespace

DanteServer::DanteServer() {
    RequireExecutable(kBinary);
    const std::string dir = folder_.Path();
    LaunchedServer s = LaunchOnFreePort(
        "danted",
        [&dir, this](int port) {
            const std::string config = folder_.Write("danted.conf", DanteConfig(dir, port));
            return std::make_unique<ChildProcess>(
                std::vector<std::string>{kBinary, "-f", config, "-N", "1", "-p",
                                         dir + "/danted.pid"},
                ChildOptions::Server(dir + "/danted.out"));
        },
        [this] { return Log(); });
    process_ = std::move(s.Process);
    port_ = s.Port;
}

std::string DanteServer::Log() const {
    return ReadFileText(folder_.Path() + "/danted.out") +
           ReadFileText(folder_.Path() + "/danted.log");
}

}  // namespace corvane::testing
