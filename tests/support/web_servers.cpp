#include "tests/support/web_servers.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace corvane::testing {

std::string NginxConfigHead(const std::string& dir) {
    std::string c;
    c += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    // A server started by root drops to another user unless told otherwise;
    // that user could not read the private temporary folder.
    if (::geteuid() == 0)
        c += "user root;\n";
    c += "pid " + dir + "/nginx.pid;\n";
    c += "error_log " + dir + "/error.log info;\n";
    c += "events { worker_connections 64; }\n";
    c += "http {\n";
    c += "  access_log " + dir + "/access.log;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        c += std::string("  ") + t + "_temp_path " + dir + "/" + t + "_temp;\n";
    }
    c += "  default_type text/html;\n";
    c += "  keepalive_timeout 30;\n";
    return c;
}

namespace {

std::string NginxConfig(const std::string& dir, int port) {
    std::string c = NginxConfigHead(dir);
    c += "  server {\n";
    c += "    listen 127.0.0.1:" + std::to_string(port) + ";\n";
    c += "    root " + dir + "/www;\n";
    c += "    location = /moved { return 301 /index.html; }\n";
    c += "    location /chunked/ { ssi on; }\n";
    c += "  }\n";
    c += "}\n";
    return c;
}

std::string TinyproxyConfig(const std::string& dir, int port, const std::string& user,
                            const std::string& password) {
    std::string c;
    c += "Port " + std::to_string(port) + "\n";
    c += "Listen 127.0.0.1\n";
    c += "Timeout 30\n";
    c += "LogFile \"" + dir + "/tinyproxy.log\"\n";
    c += "LogLevel Info\n";
    c += "PidFile \"" + dir + "/tinyproxy.pid\"\n";
    c += "MaxClients 20\n";
    c += "Allow 127.0.0.1\n";
    c += "DisableViaHeader Yes\n";
    if (!user.empty())
        c += "BasicAuth " + user + " " + password + "\n";
    return c;
}

}  // namespace

// ---- NginxServer ----

NginxServer::NginxServer() {
    RequireExecutable(kBinary);
    const std::string dir = folder_.Path();
    std::filesystem::create_directories(dir + "/www/chunked");
    LaunchedServer s = LaunchOnFreePort(
        "nginx",
        [&dir, this](int port) {
            const std::string config = folder_.Write("nginx.conf", NginxConfig(dir, port));
            return std::make_unique<ChildProcess>(
                std::vector<std::string>{kBinary, "-p", dir, "-c", config, "-e",
                                         dir + "/error.log"},
                ChildOptions::Server(dir + "/nginx.out"));
        },
        [this] { return Log(); });
    process_ = std::move(s.Process);
    port_ = s.Port;
}

NginxServer::~NginxServer() = default;

std::string NginxServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void NginxServer::AddFile(const std::string& relativePath, const std::string& content) const {
    const std::filesystem::path path = std::filesystem::path(DocRoot()) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string NginxServer::Log() const {
    return ReadFileText(folder_.Path() + "/nginx.out") +
           ReadFileText(folder_.Path() + "/error.log");
}

// ---- TinyproxyServer ----

TinyproxyServer::TinyproxyServer(const std::string& user, const std::string& password) {
    RequireExecutable(kBinary);
    const std::string dir = folder_.Path();
    LaunchedServer s = LaunchOnFreePort(
        "tinyproxy",
        [&](int port) {
            const std::string config =
                folder_.Write("tinyproxy.conf", TinyproxyConfig(dir, port, user, password));
            return std::make_unique<ChildProcess>(
                std::vector<std::string>{kBinary, "-d", "-c", config},
                ChildOptions::Server(dir + "/tinyproxy.out"));
        },
        [this] { return Log(); });
    process_ = std::move(s.Process);
    port_ = s.Port;
}

TinyproxyServer::~TinyproxyServer() = default;

std::string TinyproxyServer::Log() const {
    return ReadFileText(folder_.Path() + "/tinyproxy.out") +
           ReadFileText(folder_.Path() + "/tinyproxy.log");
}

}  // namespace corvane::testing
