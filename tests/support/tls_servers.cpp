#include "tests/support/tls_servers.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "tests/support/web_servers.h"

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::string NginxTlsConfig(const std::string& dir, const TestPki& pki,
                           const std::map<TestCert, int>& ports) {
    std::string c = NginxConfigHead(dir);
    // Compressed answers for clients that ask for them (text/html only).
    c += "  gzip on;\n  gzip_min_length 1;\n";
    c += "  ssl_protocols TLSv1.2 TLSv1.3;\n";
    for (const auto& [which, port] : ports) {
        c += "  server {\n";
        c += "    listen 127.0.0.1:" + std::to_string(port) + " ssl;\n";
        c += "    ssl_certificate " + pki.ChainFile(which) + ";\n";
        c += "    ssl_certificate_key " + pki.KeyFile(which) + ";\n";
        c += "    root " + dir + "/www;\n";
        c += "    location = /tls-info {\n";
        c += "      default_type text/plain;\n";
        c += "      return 200 \"sni=$ssl_server_name alpn=$ssl_alpn_protocol "
             "protocol=$ssl_protocol\";\n";
        c += "    }\n";
        c += "    location /chunked/ { ssi on; }\n";
        c += "  }\n";
    }
    c += "}\n";
    return c;
}

}  // namespace

// ---- NginxTlsServer ----

NginxTlsServer::NginxTlsServer(const TestPki& pki) {
    RequireExecutable(kBinary);
    const std::string dir = folder_.Path();
    std::filesystem::create_directories(dir + "/www/chunked");
    for (int attempt = 0; attempt < 5; ++attempt) {
        ports_.clear();
        std::set<int> wanted;
        for (TestCert which : kAllTestCerts) {
            int port = PickFreePort();
            while (wanted.count(port))
                port = PickFreePort();
            ports_[which] = port;
            wanted.insert(port);
        }
        const std::string config = folder_.Write("nginx.conf", NginxTlsConfig(dir, pki, ports_));
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{kBinary, "-p", dir, "-c", config, "-e", dir + "/error.log"},
            ChildOptions::Server(dir + "/nginx.out"));
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        bool up = false;
        while (Clock::now() < deadline && process_->Running()) {
            const std::set<int> held = ListeningPortsOfGroup(process_->Pid());
            up = std::includes(held.begin(), held.end(), wanted.begin(), wanted.end());
            if (up)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (up)
            return;
        const std::string log = Log();
        process_.reset();
        // Another program took one of the ports between the pick and the
        // start: try other ports. Anything else is a real failure.
        if (log.find("Address already in use") == std::string::npos) {
            throw std::runtime_error("nginx did not start listening over TLS: " + log);
        }
    }
    throw std::runtime_error("nginx found no free ports for TLS: " + Log());
}

NginxTlsServer::~NginxTlsServer() = default;

std::string NginxTlsServer::Url(TestCert which, const std::string& path,
                                const std::string& host) const {
    return "https://" + host + ":" + std::to_string(Port(which)) + path;
}

void NginxTlsServer::AddFile(const std::string& relativePath, const std::string& content) const {
    const std::filesystem::path path = std::filesystem::path(DocRoot()) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string NginxTlsServer::Log() const {
    return ReadFileText(folder_.Path() + "/nginx.out") +
           ReadFileText(folder_.Path() + "/error.log");
}

// ---- TlsTestServer ----

namespace {

std::string SslReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "no OpenSSL error";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "unknown";
}

int SelectAlpn(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
               unsigned int inLength, void* arg) {
    auto* offered = static_cast<std::vector<std::string>*>(arg);
    int result = SSL_TLSEXT_ERR_NOACK;
    for (unsigned int i = 0; i < inLength;) {
        const unsigned int n = in[i];
        if (i + 1 + n > inLength)
            break;
        offered->emplace_back(reinterpret_cast<const char*>(in + i + 1), n);
        if (offered->back() == "http/1.1") {
            *out = in + i + 1;
            *outLength = static_cast<unsigned char>(n);
            result = SSL_TLSEXT_ERR_OK;
        }
        i += 1 + n;
    }
    return result;
}

}  // namespace

TlsTestServer::TlsTestServer(Options options) : options_(std::move(options)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0 ||
        ::listen(listener_, 4) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        throw std::runtime_error("TLS test server: no listener");
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

TlsTestServer::~TlsTestServer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

TlsTestServer::Session TlsTestServer::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; });
    return session_;
}

void TlsTestServer::Serve() {
    // OpenSSL writes with write(): a client that has gone must give EPIPE
    // here, not a SIGPIPE that ends the test process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    Session s;
    auto finish = [&] {
        const std::lock_guard<std::mutex> lock(mutex_);
        session_ = s;
        done_ = true;
        ended_.notify_all();
    };
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1 || !(p.revents & POLLIN))
        return finish();
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return finish();
    s.Accepted = true;
    // A client that stalls cannot hold the test for long.
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL* ssl = nullptr;
    std::vector<std::string> offered;
    bool ok = ctx != nullptr;
    if (ok && !options_.Ciphers.empty()) {
        ok = SSL_CTX_set_cipher_list(ctx, options_.Ciphers.c_str()) == 1;
    }
    if (ok && options_.MinVersion)
        ok = SSL_CTX_set_min_proto_version(ctx, options_.MinVersion) == 1;
    if (ok && options_.MaxVersion)
        ok = SSL_CTX_set_max_proto_version(ctx, options_.MaxVersion) == 1;
    ok = ok && SSL_CTX_use_certificate_chain_file(ctx, options_.ChainFile.c_str()) == 1 &&
         SSL_CTX_use_PrivateKey_file(ctx, options_.KeyFile.c_str(), SSL_FILETYPE_PEM) == 1;
    if (ok) {
        SSL_CTX_set_alpn_select_cb(ctx, SelectAlpn, &offered);
        ssl = SSL_new(ctx);
        ok = ssl && SSL_set_fd(ssl, fd) == 1;
    }
    if (!ok) {
        s.HandshakeError = "server setup: " + SslReason();
    } else if (SSL_accept(ssl) != 1) {
        s.HandshakeError = SslReason();
    } else {
        s.HandshakeDone = true;
        const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
        s.ServerName = name ? name : "";
        s.Version = SSL_get_version(ssl);
        for (const std::string& record : options_.Records) {
            SSL_write(ssl, record.data(), static_cast<int>(record.size()));
        }
        if (options_.StallMs > 0) {
            pollfd closed{fd, POLLRDHUP, 0};
            ::poll(&closed, 1, options_.StallMs);
        }
        bool replied = false;
        bool renegotiating = false;
        char buffer[4096];
        for (;;) {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n > 0) {
                s.Received.append(buffer, static_cast<std::size_t>(n));
                const std::string& after = options_.ReplyAfter;
                if (!replied && !options_.Reply.empty() && s.Received.size() >= after.size() &&
                    s.Received.compare(s.Received.size() - after.size(), after.size(), after) ==
                        0) {
                    replied = true;
                    SSL_write(ssl, options_.Reply.data(), static_cast<int>(options_.Reply.size()));
                    if (options_.RenegotiateAfterReply) {
                        // Sends the HelloRequest; the client's answer comes with the next read.
                        SSL_renegotiate(ssl);
                        SSL_do_handshake(ssl);
                        renegotiating = true;
                    }
                }
                if (renegotiating && !SSL_renegotiate_pending(ssl))
                    s.Renegotiated = true;
                continue;
            }
            if (SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN) {
                s.CloseNotify = true;
                SSL_shutdown(ssl);
            } else {
                s.Eof = true;
                s.ReadError = SslReason();
            }
            break;
        }
    }
    s.OfferedAlpn = offered;
    ERR_clear_error();
    if (ssl)
        SSL_free(ssl);
    if (ctx)
        SSL_CTX_free(ctx);
    ::close(fd);
    finish();
}

}  // namespace corvane::testing
