// Real web peers from the system's packages, started on 127.0.0.1 for one
// test with a generated configuration in a temporary folder and stopped with
// it: nginx serving files, and tinyproxy as an HTTP proxy. A missing binary,
// or a server that does not come up within a few seconds, throws
// std::runtime_error: the test fails, it is not skipped.
#pragma once

#include <memory>
#include <string>

#include "tests/support/server_launch.h"

namespace corvane::testing {

// The start of an nginx configuration that runs in the foreground with its
// pid, logs and temporary folders under `dir`: everything up to the server
// blocks inside "http {", which the caller adds and closes.
std::string NginxConfigHead(const std::string& dir);

// nginx in the foreground, one process, serving the folder DocRoot():
//   /<file>            the files written with AddFile (Content-Length)
//   /chunked/<file>    files processed for server-side includes, which
//                      nginx sends in chunks
//   /moved             301 to /index.html, with nginx's own page as body
//   anything missing   404 with nginx's error page
// Connections are kept alive between requests.
class NginxServer {
  public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";
    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path) const;
    std::string DocRoot() const { return folder_.Path() + "/www"; }
    // Writes a file below DocRoot (relative path; folders are created).
    void AddFile(const std::string& relativePath, const std::string& content) const;
    std::string Log() const;

  private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// tinyproxy in the foreground as an HTTP proxy for clients on 127.0.0.1;
// with a user name, clients must send it and the password as Basic
// Proxy-Authorization.
class TinyproxyServer {
  public:
    static constexpr const char* kBinary = "/usr/bin/tinyproxy";
    explicit TinyproxyServer(const std::string& user = std::string(),
                             const std::string& password = std::string());
    ~TinyproxyServer();
    TinyproxyServer(const TinyproxyServer&) = delete;
    TinyproxyServer& operator=(const TinyproxyServer&) = delete;

    int Port() const { return port_; }
    std::string Log() const;

  private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

}  // namespace corvane::testing
