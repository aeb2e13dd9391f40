// A small HTTP/1.1 server on 127.0.0.1 over POSIX sockets.
//
// One thread accepts; each connection gets a thread of its own that reads
// requests one after another (pipelined ones included), hands each to the
// handler and writes the answer with a Content-Length. Connections are kept
// alive as HTTP/1.1 and HTTP/1.0 clients ask. Every wait of every thread
// also watches a stop pipe, so Stop() ends idle and busy connections alike
// at once instead of waiting for their keep-alive time to run out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace corvane::demo {

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string Method;
    std::string Target;
    std::string Version;  // "HTTP/1.0" or "HTTP/1.1"
    HeaderLines Headers;
    std::string Body;  // as sent, Content-Length bytes

    // First value of a header, names compared without regard to case.
    const std::string* Header(std::string_view name) const;
};

struct HttpResponse {
    int Status = 200;
    std::string ContentType = "text/html; charset=utf-8";
    HeaderLines Headers;  // extra lines; Content-Length and Connection are added
    std::string Body;
};

struct ServerOptions {
    int Port = 0;               // 0: a free port chosen by the system
    int LatencyMs = 0;          // delay before every answer
    int IdleTimeoutMs = 15000;  // a kept-alive connection with no request is closed
    std::size_t MaxConnections = 64;
    std::size_t MaxHeaderBytes = 32 * 1024;
    std::size_t MaxBodyBytes = 1024 * 1024;
};

// The reason phrase of a status code.
const char* ReasonPhrase(int status);

class HttpServer {
  public:
    // Answers one request. A handler that throws (a std::exception) gets the
    // request answered with 500 and the server goes on.
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds 127.0.0.1 and starts serving; returns the port. Throws
    // std::system_error when the port cannot be had, std::logic_error when
    // already running, std::invalid_argument for a port or latency out of
    // range.
    int Start(const ServerOptions& options);
    // Ends every connection and the listener; waits for their threads.
    // Safe to call more than once; not from inside the handler.
    void Stop();

    bool Running() const { return listenFd_.load() >= 0; }
    int Port() const { return port_.load(); }
    // Requests read since Start, answered or refused.
    std::uint64_t RequestCount() const { return requests_.load(); }

  private:
    struct Connection {
        int Fd = -1;
        std::thread Thread;
        std::atomic<bool> Done{false};
    };

    void AcceptLoop();
    void Serve(Connection& connection);
    void ReapFinished(bool all);
    // Waits until fd is ready for `events` or the stop pipe fires; false on
    // stop, timeout or error.
    bool WaitFor(int fd, short events, int timeoutMs) const;
    bool SendAll(int fd, std::string_view data) const;
    // Sleeps for the latency unless stopped first; false when stopped.
    bool Delay() const;

    Handler handler_;
    ServerOptions options_;
    std::atomic<int> listenFd_{-1};
    std::atomic<int> port_{0};
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::thread acceptThread_;
    std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::atomic<std::uint64_t> requests_{0};
};

}  // namespace corvane::demo
