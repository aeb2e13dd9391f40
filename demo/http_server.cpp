#include "demo/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "base/ascii.h"
#include "base/integer_text.h"

namespace corvane::demo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeaderLines = 100;
constexpr int kLingerMs = 500;

bool IsTokenChar(char c) {
    if (base::IsLetterOrDigit(c))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (!IsTokenChar(c))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Does a comma-separated header value list `token`?
bool ListsToken(const std::string* value, std::string_view token) {
    if (value == nullptr)
        return false;
    std::string_view rest = *value;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        if (base::EqualsIgnoringCase(Trim(rest.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

// Length of the request head at the front of `in`, its blank line included;
// 0 while incomplete.
std::size_t HeadLength(std::string_view in) {
    for (std::size_t i = in.find('\n'); i != std::string_view::npos; i = in.find('\n', i + 1)) {
        if (i + 1 < in.size() && in[i + 1] == '\n')
            return i + 2;
        if (i + 2 < in.size() && in[i + 1] == '\r' && in[i + 2] == '\n')
            return i + 3;
    }
    return 0;
}

// Parses a complete request head. Answers 0, or the status to refuse it with.
int ParseHead(std::string_view head, HttpRequest& request) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const auto nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos)
            break;
        head.remove_prefix(nl + 1);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.empty())
        return 400;

    const std::string_view first = lines[0];
    const auto sp1 = first.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : first.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || first.find(' ', sp2 + 1) != std::string_view::npos) {
        return 400;
    }
    const std::string_view method = first.substr(0, sp1);
    const std::string_view target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = first.substr(sp2 + 1);
    if (!IsToken(method) || target.empty())
        return 400;
    for (char c : target) {
        if (c == ' ' || base::IsControl(c))
            return 400;
    }
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9') {
        return 400;
    }
    if (version[5] != '1')
        return 505;
    request.Method = std::string(method);
    request.Target = std::string(target);
    request.Version = version[7] == '0' ? "HTTP/1.0" : "HTTP/1.1";

    if (lines.size() - 1 > kMaxHeaderLines)
        return 431;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const auto colon = line.find(':');
        // No folded lines, no blank before the colon, no control bytes.
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
            return 400;
        const std::string_view value = Trim(line.substr(colon + 1));
        for (char c : value) {
            if (c != '\t' && base::IsControl(c))
                return 400;
        }
        request.Headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    std::size_t hosts = 0;
    for (const auto& [name, value] : request.Headers) {
        if (base::EqualsIgnoringCase(name, "Host"))
            ++hosts;
    }
    if (hosts > 1 || (hosts == 0 && request.Version == "HTTP/1.1"))
        return 400;
    return 0;
}

// The body length a request announces: -1 for none, -2 when unusable.
long long BodyLength(const HttpRequest& request) {
    long long length = -1;
    for (const auto& [name, value] : request.Headers) {
        if (!base::EqualsIgnoringCase(name, "Content-Length"))
            continue;
        std::uint64_t digits = 0;
        if (value.size() > 18 || !base::TryReadDecimalDigits(value, 999999999999999999u, digits))
            return -2;
        const auto v = static_cast<long long>(digits);
        if (length >= 0 && length != v)
            return -2;
        length = v;
    }
    return length;
}

std::string HttpDate() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday % 7],
                  tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return text;
}

std::string ErrorPage(int status) {
    const std::string title = std::to_string(status) + " " + ReasonPhrase(status);
    return "<html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1></body></html>\n";
}

std::string Serialise(const HttpResponse& response, bool keepAlive, bool headOnly) {
    std::string out = "HTTP/1.1 " + std::to_string(response.Status) + " " +
                      ReasonPhrase(response.Status) + "\r\n";
    out += "Server: corvane-demo-web\r\n";
    out += "Date: " + HttpDate() + "\r\n";
    out += "Content-Type: " + response.ContentType + "\r\n";
    out += "Content-Length: " + std::to_string(response.Body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    for (const auto& [name, value] : response.Headers) {
        out += name + ": " + value + "\r\n";
    }
    out += "\r\n";
    if (!headOnly)
        out += response.Body;
    return out;
}

HttpResponse Refusal(int status) {
    HttpResponse response;
    response.Status = status;
    response.Body = ErrorPage(status);
    return response;
}

// Whole milliseconds to a deadline, rounded up so that a wait never ends early.
int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : Headers) {
        if (base::EqualsIgnoringCase(n, name))
            return &v;
    }
    return nullptr;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {}

HttpServer::~HttpServer() {
    Stop();
}

int HttpServer::Start(const ServerOptions& options) {
    if (options.Port < 0 || options.Port > 65535) {
        throw std::invalid_argument("port out of range: " + std::to_string(options.Port));
    }
    if (options.LatencyMs < 0 || options.LatencyMs > 600000) {
        throw std::invalid_argument("latency out of range: " + std::to_string(options.LatencyMs));
    }
    if (Running())
        throw std::logic_error("server already running");

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(options.Port));
    socklen_t length = sizeof address;
    int pipeFds[2] = {-1, -1};
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(),
                                "listen on 127.0.0.1:" + std::to_string(options.Port));
    }
    options_ = options;
    stopRead_ = pipeFds[0];
    stopWrite_ = pipeFds[1];
    listenFd_ = fd;
    port_ = ntohs(address.sin_port);
    requests_ = 0;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return port_;
}

void HttpServer::Stop() {
    if (!Running())
        return;
    // The stop pipe is never drained: once written it wakes every wait.
    const char byte = 's';
    [[maybe_unused]] const auto written = ::write(stopWrite_, &byte, 1);
    acceptThread_.join();
    ::close(listenFd_);
    ReapFinished(true);
    ::close(stopRead_);
    ::close(stopWrite_);
    stopRead_ = stopWrite_ = -1;
    listenFd_ = -1;
    port_ = 0;
}

void HttpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_.load(), POLLIN, 0}, {stopRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, 1000);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            break;
        ReapFinished(false);
        if (ready <= 0 || (fds[0].revents & POLLIN) == 0)
            continue;

        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

        std::lock_guard lock(mutex_);
        if (connections_.size() >= options_.MaxConnections) {
            // Too busy: say so without a thread and close.
            const std::string answer = Serialise(Refusal(503), false, false);
            [[maybe_unused]] const auto sent =
                ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(fd);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->Fd = fd;
        Connection* c = connection.get();
        connections_.push_back(std::move(connection));
        c->Thread = std::thread([this, c] {
            Serve(*c);
            c->Done = true;
        });
    }
}

void HttpServer::ReapFinished(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->Done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // The thread is joined before its socket is closed, so a socket number
    // is never closed while still in use, nor twice.
    for (auto& c : finished) {
        c->Thread.join();
        ::close(c->Fd);
    }
}

bool HttpServer::WaitFor(int fd, short events, int timeoutMs) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {stopRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, MsLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[1].revents != 0 || ready == 0)
            return false;
        return fds[0].revents != 0;
    }
}

bool HttpServer::SendAll(int fd, std::string_view data) const {
    while (!data.empty()) {
        const auto sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, options_.IdleTimeoutMs))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool HttpServer::Delay() const {
    if (options_.LatencyMs <= 0)
        return true;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.LatencyMs);
    for (;;) {
        pollfd stop = {stopRead_, POLLIN, 0};
        const int ready = ::poll(&stop, 1, MsLeft(deadline));
        if (ready > 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return true;
        if (Clock::now() >= deadline)
            return true;
    }
}

void HttpServer::Serve(Connection& connection) {
    const int fd = connection.Fd;
    std::string in;
    char buffer[16384];

    // Reads more bytes into `in`; false at the end of the connection.
    auto readMore = [&]() {
        for (;;) {
            if (!WaitFor(fd, POLLIN, options_.IdleTimeoutMs))
                return false;
            const auto got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                in.append(buffer, static_cast<std::size_t>(got));
                return true;
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            return false;
        }
    };
    // Answers, then closes our side and lets the peer's remaining bytes
    // drain for a moment, so that the answer is not lost to a reset.
    auto refuseAndClose = [&](int status) {
        SendAll(fd, Serialise(Refusal(status), false, false));
        ::shutdown(fd, SHUT_WR);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
        while (MsLeft(deadline) > 0 && WaitFor(fd, POLLIN, MsLeft(deadline)) &&
               ::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    };

    for (;;) {
        std::size_t headLength = 0;
        for (;;) {
            // Blank lines before a request line are skipped.
            std::size_t lead = 0;
            while (lead < in.size() && (in[lead] == '\r' || in[lead] == '\n'))
                ++lead;
            in.erase(0, lead);
            headLength = HeadLength(in);
            if (headLength != 0)
                break;
            if (in.size() > options_.MaxHeaderBytes) {
                ++requests_;
                return refuseAndClose(431);
            }
            if (!readMore())
                return;
        }
        ++requests_;
        if (headLength > options_.MaxHeaderBytes)
            return refuseAndClose(431);
        HttpRequest request;
        if (const int refusal = ParseHead(std::string_view(in).substr(0, headLength), request)) {
            return refuseAndClose(refusal);
        }
        in.erase(0, headLength);

        if (request.Header("Transfer-Encoding") != nullptr)
            return refuseAndClose(501);
        const long long bodyLength = BodyLength(request);
        if (bodyLength == -2)
            return refuseAndClose(400);
        if (bodyLength > static_cast<long long>(options_.MaxBodyBytes))
            return refuseAndClose(413);
        if (bodyLength > 0) {
            const auto length = static_cast<std::size_t>(bodyLength);
            while (in.size() < length) {
                if (!readMore())
                    return;
            }
            request.Body.assign(in, 0, length);
            in.erase(0, length);
        }

        const std::string* connectionHeader = request.Header("Connection");
        const std::string* proxyConnection = request.Header("Proxy-Connection");
        const bool keepAlive =
            request.Version == "HTTP/1.1"
                ? !ListsToken(connectionHeader, "close") && !ListsToken(proxyConnection, "close")
                : ListsToken(connectionHeader, "keep-alive") ||
                      ListsToken(proxyConnection, "keep-alive");

        HttpResponse response;
        try {
            response = handler_(request);
        } catch (const std::exception&) {
            // A handler that fails answers this one request with a server
            // error; the connection and the server go on.
            response = Refusal(500);
        }
        if (!Delay())
            return;
        if (!SendAll(fd, Serialise(response, keepAlive, request.Method == "HEAD")))
            return;
        if (!keepAlive) {
            ::shutdown(fd, SHUT_WR);
            return;
        }
    }
}

}  // namespace corvane::demo
