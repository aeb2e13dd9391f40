// TLS peers for the tests of the secure channel, on 127.0.0.1 only:
// nginx serving files over TLS with the certificates of a TestPki, one port
// per certificate, and a one-connection OpenSSL server on a thread of the
// test process that records what the client did. Both are bounded in time:
// a missing nginx, or one that does not come up, throws std::runtime_error.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/proxy_servers.h"
#include "tests/support/test_pki.h"

namespace corvane::testing {

// nginx in the foreground, one process, with one TLS listener per TestCert
// (TLS 1.2 and 1.3), each serving the folder DocRoot():
//   /<file>            the files written with AddFile (Content-Length)
//   /chunked/<file>    files processed for server-side includes (chunked)
//   /tls-info          "sni=<name> alpn=<protocol> protocol=<version>"
// A port counts only once the listening socket is seen to belong to the
// nginx process itself; a port taken by someone else meanwhile makes it
// start again on other ports.
class NginxTlsServer {
  public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";
    explicit NginxTlsServer(const TestPki& pki);
    ~NginxTlsServer();
    NginxTlsServer(const NginxTlsServer&) = delete;
    NginxTlsServer& operator=(const NginxTlsServer&) = delete;

    int Port(TestCert which) const { return ports_.at(which); }
    // "https://<host>:<port>" followed by path.
    std::string Url(TestCert which, const std::string& path,
                    const std::string& host = "localhost") const;
    std::string DocRoot() const { return folder_.Path() + "/www"; }
    void AddFile(const std::string& relativePath, const std::string& content) const;
    std::string Log() const;

  private:
    TempFolder folder_;
    std::map<TestCert, int> ports_;
    std::unique_ptr<ChildProcess> process_;
};

// Accepts one TLS connection on a port the system chose and records it.
// After the handshake it sends each of `Options::Records` as a record of its
// own, then reads until the client ends the channel, answering `Reply` once
// the bytes received so far end with `ReplyAfter`.
class TlsTestServer {
  public:
    struct Options {
        std::string ChainFile;
        std::string KeyFile;
        // Protocol range (OpenSSL's version numbers, 0: the library's).
        int MinVersion = 0;
        int MaxVersion = 0;
        // Cipher list for TLS 1.2 and below; empty: OpenSSL's default.
        std::string Ciphers;
        std::vector<std::string> Records;
        std::string ReplyAfter;
        std::string Reply;
        // After the reply, ask the client to renegotiate (TLS 1.2 only).
        bool RenegotiateAfterReply = false;
        // After the handshake and the records, read nothing until the
        // client closes or this many milliseconds have passed.
        int StallMs = 0;
    };
    // What the server saw of the one connection.
    struct Session {
        bool Accepted = false;
        bool HandshakeDone = false;
        std::string HandshakeError;
        std::string ServerName;                // SNI, empty when none was sent
        std::vector<std::string> OfferedAlpn;  // in the client's order
        std::string Version;                   // "TLSv1.3"
        std::string Received;
        bool CloseNotify = false;   // the client sent close_notify
        bool Eof = false;           // the connection ended without it
        std::string ReadError;      // why the last read failed, if it did
        bool Renegotiated = false;  // a renegotiation asked for completed
    };

    explicit TlsTestServer(Options options);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    int Port() const { return port_; }
    // Waits (at most 10 s) until the connection has ended.
    Session Wait();

  private:
    void Serve();

    Options options_;
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    Session session_;
    std::thread thread_;
};

}  // namespace corvane::testing
