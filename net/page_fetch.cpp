#include "net/page_fetch.h"

#include <algorithm>
#include <cstring>

namespace corvane::net {

// ---- TextSink ----

void TextSink::SetSize(std::int64_t size) {
    if (size < 0) size = 0;
    text_.resize(static_cast<std::size_t>(size));
    if (position_ > size) position_ = size;
}

std::size_t TextSink::Write(const void* data, std::size_t count) {
    // Cutting keeps the capacity, so a sink pre-sized for a stated length
    // takes every later piece without growing; a gap before the position
    // becomes zero bytes.
    text_.resize(static_cast<std::size_t>(position_));
    text_.append(static_cast<const char*>(data), count);
    position_ += static_cast<std::int64_t>(count);
    return count;
}

std::size_t TextSink::Read(void* data, std::size_t count) {
    const auto pos = static_cast<std::size_t>(position_);
    if (pos >= text_.size()) return 0;
    const std::size_t n = std::min(count, text_.size() - pos);
    std::memcpy(data, text_.data() + pos, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

std::string TextSink::TakeText() {
    // A sink pre-sized for a length the server did not deliver gives the
    // unused room back before the text leaves.
    if (text_.capacity() > 2 * text_.size() + 4096) text_.shrink_to_fit();
    std::string text = std::move(text_);
    text_.clear();
    position_ = 0;
    return text;
}

// ---- FetchPage ----

std::string FetchPage(const std::string& url, std::int32_t port) { return FetchPage(url, port, FetchOptions()); }

std::string FetchPage(const std::string& url, std::int32_t port, const FetchOptions& options) {
    // Creating the client may start the socket library; that failure is the
    // caller's to see.
    TNetHTTP client;
    client.Port = port;
    client.ConnectTimeout = options.ConnectTimeoutMs;
    client.ReadTimeout = options.ReadTimeoutMs;
    client.MaxBodySize = options.MaxBodySize;
    if (!options.ProxyHost.empty()) {
        client.Request.ProxyServer = options.ProxyHost;
        client.Request.ProxyPort = options.ProxyPort;
        client.Request.ProxyUsername = options.ProxyUser;
        client.Request.ProxyPassword = options.ProxyPassword;
    }
    if (options.SocksVersion != svNoSocks) {
        client.SocksInfo.Version = options.SocksVersion;
        client.SocksInfo.Host = options.SocksHost;
        client.SocksInfo.Port = options.SocksPort;
        client.SocksInfo.UserID = options.SocksUser;
        client.SocksInfo.Password = options.SocksPassword;
        client.SocksInfo.Authentication =
            options.SocksVersion == svSocks5 && !options.SocksUser.empty() ? saUsernamePassword : saNoAuthentication;
    }

    TextSink sink;
    try {
        client.SendGet(url, &sink);
    } catch (...) {
        // Every failure of the exchange ends in the bytes stored so far.
    }
    return sink.TakeText();
}

}  // namespace corvane::net
