// Real SOCKS 5 servers from the system's packages, started on 127.0.0.1 for
// one test and stopped with it. A missing binary, or a server that does not
// come up within a few seconds, throws std::runtime_error: the test fails,
// it is not skipped.
#pragma once

#include <memory>
#include <string>

#include "tests/support/server_launch.h"

namespace corvane::testing {

// microsocks, listening on a port the system chose; with a user name, clients
// must authenticate with it and the password.
class MicrosocksServer {
  public:
    static constexpr const char* kBinary = "/usr/bin/microsocks";
    explicit MicrosocksServer(const std::string& user = std::string(),
                              const std::string& password = std::string());
    int Port() const { return port_; }
    std::string Log() const;

  private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

// Dante's server with a generated configuration: no authentication, clients
// and targets on 127.0.0.0/8 only. It cannot be told to pick a port itself.
class DanteServer {
  public:
    static constexpr const char* kBinary = "/usr/sbin/danted";
    DanteServer();
    int Port() const { return port_; }
    std::string Log() const;

  private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
};

}  // namespace corvane::testing
