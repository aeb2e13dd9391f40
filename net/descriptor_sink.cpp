#include "net/descriptor_sink.h"

#include <unistd.h>

#include <cerrno>

namespace corvane::net {

DescriptorSink::~DescriptorSink() {
    if (fd_ > STDERR_FILENO)
        ::close(fd_);
}

std::size_t DescriptorSink::Write(const void* data, std::size_t count) {
    taken_ += static_cast<std::int64_t>(count);
    if (!discard_) {
        Emit(static_cast<const char*>(data), count);
        if (OnBytes && !discard_)
            OnBytes(taken_);
    }
    return count;
}

char* DescriptorSink::WriteSpan(std::size_t count) {
    if (count > kMostLent)
        return nullptr;
    if (count > lentSize_) {
        lent_ = std::make_unique<char[]>(count);
        lentSize_ = count;
    }
    return lent_.get();
}

bool DescriptorSink::Close() {
    if (fd_ > STDERR_FILENO) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            Fail(errno);
    }
    return error_ == 0;
}

void DescriptorSink::Fail(int error) {
    if (error_ != 0)
        return;
    error_ = error;
    discard_ = true;
    if (OnFailure)
        OnFailure();
}

void DescriptorSink::Emit(const char* data, std::size_t count) {
    if (count == 0 || !Open())
        return;
    while (count > 0 && error_ == 0) {
        const ssize_t n = ::write(fd_, data, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : EIO);
            return;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
    }
}

}  // namespace corvane::net
