// A tiny HTTP/1.1 client on raw sockets for the demo web's tests, and a
// SurveyHost whose pages come from a running demo web used as a proxy.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "engine/survey_host.h"

namespace corvane::demo::testing {

struct RawResponse {
    int Status = 0;
    std::string Head;  // status line and header lines, lower-cased
    std::string Body;
    bool Has(std::string_view lowerHeaderLine) const {
        return Head.find(lowerHeaderLine) != std::string::npos;
    }
};

class RawConnection {
  public:
    explicit RawConnection(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawConnection() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Connected() const { return fd_ >= 0; }

    bool Send(std::string_view data) {
        while (!data.empty()) {
            const auto n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads one response (by its Content-Length); nothing on close, error
    // or when `timeoutMs` passes.
    std::optional<RawResponse> Read(int timeoutMs = 5000, bool headOnly = false) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!Fill(deadline))
                return std::nullopt;
        }
        RawResponse r;
        r.Head = buffer_.substr(0, end + 2);
        base::LowerAsciiInPlace(r.Head);
        buffer_.erase(0, end + 4);
        if (r.Head.rfind("http/1.", 0) != 0 || r.Head.size() < 12)
            return std::nullopt;
        r.Status = std::stoi(r.Head.substr(9, 3));
        std::size_t length = 0;
        if (const auto at = r.Head.find("\r\ncontent-length:"); at != std::string::npos) {
            length = std::stoul(r.Head.substr(at + 17));
        }
        if (headOnly)
            length = 0;
        while (buffer_.size() < length) {
            if (!Fill(deadline))
                return std::nullopt;
        }
        r.Body = buffer_.substr(0, length);
        buffer_.erase(0, length);
        return r;
    }

    // True when the peer closes (or resets) within `timeoutMs`, with no
    // further bytes.
    bool PeerCloses(int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        const std::size_t before = buffer_.size();
        while (Fill(deadline)) {
        }
        return closed_ && buffer_.size() == before;
    }

    std::string Unread() const { return buffer_; }

  private:
    bool Fill(std::chrono::steady_clock::time_point deadline) {
        if (closed_)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            return false;
        char chunk[8192];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

// One request on a fresh connection.
inline std::optional<RawResponse> Exchange(int port, std::string_view request,
                                           int timeoutMs = 5000) {
    RawConnection c(port);
    if (!c.Connected() || !c.Send(request))
        return std::nullopt;
    return c.Read(timeoutMs);
}

// GET of an absolute URL through the demo web as a proxy, the way a client
// configured with a proxy asks: absolute target, Host header of the origin.
inline std::optional<RawResponse> ProxyGet(int port, const std::string& url) {
    if (url.rfind("http://", 0) != 0)
        return std::nullopt;
    const std::size_t slash = url.find('/', 7);
    const std::string host =
        url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    const std::string target = slash == std::string::npos ? url + "/" : url;
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: " + host +
                              "\r\nAccept: text/html, */*\r\nConnection: close\r\n\r\n");
}

// A survey host: pages from a fetch function, the rest inert.
template <typename Fetch>
class PageHost : public engine::SurveyHost {
  public:
    explicit PageHost(Fetch fetch) : fetch_(std::move(fetch)) {}
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string& url, int) override { return fetch_(url); }
    engine::ResultsTable& Table() override { return table_; }
    std::atomic<bool>& Stop() override { return stop_; }

  private:
    Fetch fetch_;
    engine::ResultsTable table_;
    std::atomic<bool> stop_{false};
};

}  // namespace corvane::demo::testing
