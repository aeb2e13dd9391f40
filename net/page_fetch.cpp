#include "net/page_fetch.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>

namespace corvane::net {

// ---- TextSink ----

namespace {

// Large bodies are asked to live on huge pages where the system offers them
// on request: thousands fewer page faults while the body arrives.
void AdviseHugePages(std::string& text) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    if (text.capacity() < 4 * kHuge)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + text.capacity()) & ~(kHuge - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

void TextSink::SetSize(std::int64_t size) {
    if (size < 0)
        size = 0;
    if (static_cast<std::size_t>(size) <= text_.size()) {
        text_.resize(static_cast<std::size_t>(size));
    } else if (static_cast<std::size_t>(size) > text_.capacity()) {
        text_.reserve(static_cast<std::size_t>(size));
        AdviseHugePages(text_);
    }
    size_ = size;
    if (position_ > size)
        position_ = size;
}

void TextSink::EndTextAtPosition() {
    const auto pos = static_cast<std::size_t>(position_);
    if (pos <= text_.size()) {
        text_.resize(pos);
    } else {
        text_.append(pos - text_.size(), '\0');
    }
}

std::size_t TextSink::Write(const void* data, std::size_t count) {
    // A write leaves exactly position + count bytes: what lay beyond is cut.
    EndTextAtPosition();
    text_.append(static_cast<const char*>(data), count);
    position_ += static_cast<std::int64_t>(count);
    size_ = position_;
    return count;
}

char* TextSink::WriteSpan(std::size_t count) {
    EndTextAtPosition();
    text_.resize(text_.size() + count);
    return text_.data() + position_;
}

void TextSink::CommitWrite(std::size_t filled) {
    text_.resize(static_cast<std::size_t>(position_) + filled);
    position_ += static_cast<std::int64_t>(filled);
    size_ = position_;
}

std::size_t TextSink::Read(void* data, std::size_t count) {
    const auto pos = static_cast<std::size_t>(position_);
    const auto size = static_cast<std::size_t>(size_);
    if (pos >= size)
        return 0;
    const std::size_t n = std::min(count, size - pos);
    const std::size_t stored = pos < text_.size() ? std::min(n, text_.size() - pos) : 0;
    if (stored > 0)
        std::memcpy(data, text_.data() + pos, stored);
    std::memset(static_cast<char*>(data) + stored, 0, n - stored);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

void TextSink::Materialize() {
    if (text_.size() < static_cast<std::size_t>(size_))
        text_.resize(static_cast<std::size_t>(size_));
}

const std::string& TextSink::Text() {
    Materialize();
    return text_;
}

std::string TextSink::TakeText() {
    Materialize();
    // A sink pre-sized for a length the server did not deliver gives the
    // unused room back before the text leaves.
    if (text_.capacity() > 2 * text_.size() + 4096)
        text_.shrink_to_fit();
    std::string text = std::move(text_);
    text_.clear();
    size_ = 0;
    position_ = 0;
    return text;
}

// ---- FetchPage ----

std::string FetchPage(const std::string& url, std::int32_t port) {
    return FetchPage(url, port, FetchOptions());
}

void FetchOptions::ClearProxies() {
    ProxyHost.clear();
    ProxyPort = 0;
    ProxyUser.clear();
    ProxyPassword.clear();
    SocksVersion = svNoSocks;
    SocksHost.clear();
    SocksPort = 0;
    SocksUser.clear();
    SocksPassword.clear();
}

std::string FetchPage(const std::string& url, std::int32_t /*port*/, const FetchOptions& options) {
    // The starting port only matters to a client that is told no other: the
    // exchange always uses the URL's own. Every failure of the exchange is
    // absorbed; the page is the bytes stored so far.
    TextSink sink;
    FetchTo(url, options, sink);
    return sink.TakeText();
}

}  // namespace corvane::net
