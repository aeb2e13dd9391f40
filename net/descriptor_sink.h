// A body's way to a file descriptor: every byte written as it comes,
// through one reusable buffer the receive fills in place. Nothing is kept,
// so memory stays flat for any size. The stream is append-only: its
// position is the count of body bytes taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/net_stream.h"

namespace corvane::net {

class DescriptorSink : public TNetStream {
  public:
    DescriptorSink() = default;
    // Closes a descriptor the sink still holds (never standard output or
    // standard error).
    ~DescriptorSink() override;
    DescriptorSink(const DescriptorSink&) = delete;
    DescriptorSink& operator=(const DescriptorSink&) = delete;

    // Runs once when the output cannot be opened or written (to end the
    // fetch); and after each body write with the body bytes taken so far.
    std::function<void()> OnFailure;
    std::function<void(std::int64_t)> OnBytes;

    std::int64_t Size() const override { return size_ > taken_ ? size_ : taken_; }
    // A size stated ahead (a Content-Length) or cut back changes nothing
    // that was written.
    void SetSize(std::int64_t size) override { size_ = size < taken_ ? taken_ : size; }
    std::int64_t Position() const override { return taken_; }
    void SetPosition(std::int64_t /*position*/) override {}
    std::size_t Read(void* /*data*/, std::size_t /*count*/) override { return 0; }
    std::size_t Write(const void* data, std::size_t count) override;
    char* WriteSpan(std::size_t count) override;
    void CommitWrite(std::size_t filled) override { Write(lent_.get(), filled); }

    // Bytes that are not body (a header block).
    void EmitText(const std::string& text) { Emit(text.data(), text.size()); }
    // From now on body bytes are taken and dropped.
    void Discard() { discard_ = true; }
    bool Failed() const { return error_ != 0; }
    // The errno value of the failure; 0 without one.
    int Error() const { return error_; }

  protected:
    // The descriptor to write to, opened on first need; false (after Fail)
    // when it cannot be.
    virtual bool Open() { return fd_ >= 0 && error_ == 0; }
    // Closes the descriptor the sink holds; false (as Failed) when that or
    // an earlier write failed.
    bool Close();
    void Fail(int error);

    int fd_ = -1;
    int error_ = 0;

  private:
    static constexpr std::size_t kMostLent = std::size_t{4} << 20;

    void Emit(const char* data, std::size_t count);

    bool discard_ = false;
    std::int64_t taken_ = 0;
    std::int64_t size_ = 0;
    std::unique_ptr<char[]> lent_;
    std::size_t lentSize_ = 0;
};

}  // namespace corvane::net
