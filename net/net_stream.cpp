#include "net/net_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/net_exceptions.h"

namespace corvane::net {

void ResizeKeepingPosition(TNetStream& stream, std::int64_t size) {
    const std::int64_t position = stream.Position();
    stream.SetSize(size);
    if (stream.Position() != position)
        stream.SetPosition(position);
}

// ---- TNetMemoryStream ----

void TNetMemoryStream::SetSize(std::int64_t size) {
    if (size < 0)
        size = 0;
    data_.resize(static_cast<std::size_t>(size));
    if (position_ > size)
        position_ = size;
}

std::size_t TNetMemoryStream::Write(const void* data, std::size_t count) {
    if (count == 0)
        return 0;
    const auto pos = static_cast<std::size_t>(position_);
    if (data_.size() < pos + count)
        data_.resize(pos + count);
    std::memcpy(data_.data() + pos, data, count);
    position_ += static_cast<std::int64_t>(count);
    return count;
}

std::size_t TNetMemoryStream::Read(void* data, std::size_t count) {
    const auto pos = static_cast<std::size_t>(position_);
    if (pos >= data_.size())
        return 0;
    const std::size_t n = std::min(count, data_.size() - pos);
    std::memcpy(data, data_.data() + pos, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

// ---- TNetBuffer ----

void TNetBuffer::SetSize(std::int64_t size) {
    Resize(size < 0 ? 0 : static_cast<std::size_t>(size));
    if (position_ > size)
        position_ = size;
}

void TNetBuffer::Resize(std::size_t size) {
    storage_.resize(head_ + size);
    if (position_ > static_cast<std::int64_t>(size))
        position_ = static_cast<std::int64_t>(size);
}

std::size_t TNetBuffer::Write(const void* data, std::size_t count) {
    if (count == 0)
        return 0;
    const auto pos = static_cast<std::size_t>(position_);
    if (Length() < pos + count)
        storage_.resize(head_ + pos + count);
    std::memcpy(Data() + pos, data, count);
    position_ += static_cast<std::int64_t>(count);
    return count;
}

std::size_t TNetBuffer::Read(void* data, std::size_t count) {
    const auto pos = static_cast<std::size_t>(position_);
    if (pos >= Length())
        return 0;
    const std::size_t n = std::min(count, Length() - pos);
    std::memcpy(data, Data() + pos, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

void TNetBuffer::Append(const void* data, std::size_t count) {
    if (count == 0)
        return;
    storage_.append(static_cast<const char*>(data), count);
}

void TNetBuffer::Remove(std::size_t count) {
    if (count > Length())
        throw ENetNotEnoughDataInBuffer();
    head_ += count;
    position_ = std::max<std::int64_t>(0, position_ - static_cast<std::int64_t>(count));
    if (head_ == storage_.size()) {
        storage_.clear();
        head_ = 0;
    } else if (head_ >= 4096 && head_ >= Length()) {
        Compact();
    }
}

void TNetBuffer::Clear() {
    storage_.clear();
    head_ = 0;
    position_ = 0;
}

void TNetBuffer::Compact() {
    storage_.erase(0, head_);
    head_ = 0;
}

// ---- TNetFileStream ----

TNetFileStream::TNetFileStream(const std::string& path) : path_(path) {
    if (path.find('\0') == std::string::npos)
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    else
        errno = EINVAL;
    if (fd_ < 0) {
        throw ENetException("Cannot open file \"" + path + "\". " + std::strerror(errno));
    }
}

TNetFileStream::~TNetFileStream() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::int64_t TNetFileStream::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_size);
}

void TNetFileStream::SetSize(std::int64_t) {
    throw ENetException("Stream write error");
}

std::size_t TNetFileStream::Write(const void*, std::size_t) {
    throw ENetException("Stream write error");
}

std::size_t TNetFileStream::Read(void* data, std::size_t count) {
    for (;;) {
        const ssize_t n = ::pread(fd_, data, count, static_cast<off_t>(position_));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ENetException("Stream read error");
        position_ += n;
        return static_cast<std::size_t>(n);
    }
}

}  // namespace corvane::net
