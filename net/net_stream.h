// Byte streams: what the connection reads into and writes from. A stream has
// a size and a position; a write lands at the position, extends the stream as
// needed and moves the position past it; a read takes bytes from the position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::net {

class TNetStream {
  public:
    virtual ~TNetStream() = default;

    virtual std::int64_t Size() const = 0;
    // Cuts or extends the stream (new bytes are zero); a position beyond the
    // new size is pulled back to it.
    virtual void SetSize(std::int64_t size) = 0;
    virtual std::int64_t Position() const = 0;
    // Any position from 0 up is allowed; a write beyond the end fills the gap
    // with zero bytes. Negative positions count as 0.
    virtual void SetPosition(std::int64_t position) = 0;
    // Writes count bytes at the position; returns the number written.
    virtual std::size_t Write(const void* data, std::size_t count) = 0;
    // Reads up to count bytes from the position; returns the number read,
    // 0 at the end of the stream.
    virtual std::size_t Read(void* data, std::size_t count) = 0;

    // Room for up to count bytes at the position, lent for a receive to fill
    // in place; nullptr when the stream keeps no such storage (then the bytes
    // go through Write). A lent stretch is settled by CommitWrite with the
    // number of bytes filled (0 when none were), which then counts as a Write
    // of those bytes.
    virtual char* WriteSpan(std::size_t /*count*/) { return nullptr; }
    virtual void CommitWrite(std::size_t /*filled*/) {}
};

// Sets the size and puts the position back where it was if the resize moved it.
void ResizeKeepingPosition(TNetStream& stream, std::int64_t size);

// A growable stream held in memory; its content is a byte text.
class TNetMemoryStream : public TNetStream {
  public:
    TNetMemoryStream() = default;
    explicit TNetMemoryStream(std::string content) : data_(std::move(content)) {}

    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
    std::size_t Write(const void* data, std::size_t count) override;
    std::size_t Read(void* data, std::size_t count) override;

    const std::string& Text() const { return data_; }

  private:
    std::string data_;
    std::int64_t position_ = 0;
};

// The connection's byte buffer: a memory stream that also works as a queue,
// appending at the end and removing from the front. Removing from the front
// only moves an offset; the storage is compacted once the dead front is at
// least as large as the live bytes, so a stream of small removals stays linear.
class TNetBuffer : public TNetStream {
  public:
    TNetBuffer() = default;
    explicit TNetBuffer(std::size_t size) { Resize(size); }

    std::int64_t Size() const override { return static_cast<std::int64_t>(Length()); }
    void SetSize(std::int64_t size) override;
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
    std::size_t Write(const void* data, std::size_t count) override;
    std::size_t Read(void* data, std::size_t count) override;

    std::size_t Length() const { return storage_.size() - head_; }
    bool Empty() const { return Length() == 0; }
    char* Data() { return storage_.data() + head_; }
    const char* Data() const { return storage_.data() + head_; }
    std::string_view View() const { return {Data(), Length()}; }

    void Append(const void* data, std::size_t count);
    void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }
    // Removes count bytes from the front; ENetNotEnoughDataInBuffer when
    // fewer are held (the buffer is left unchanged).
    void Remove(std::size_t count);
    void Clear();
    void Resize(std::size_t size);

  private:
    void Compact();

    std::string storage_;
    std::size_t head_ = 0;  // live bytes start here
    std::int64_t position_ = 0;
};

// A read-only stream over a file, for sending files.
class TNetFileStream : public TNetStream {
  public:
    // Raises ENetException when the file cannot be opened.
    explicit TNetFileStream(const std::string& path);
    ~TNetFileStream() override;
    TNetFileStream(const TNetFileStream&) = delete;
    TNetFileStream& operator=(const TNetFileStream&) = delete;

    std::int64_t Size() const override;
    void SetSize(std::int64_t size) override;  // raises: the stream is read-only
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
    std::size_t Write(const void* data, std::size_t count) override;  // raises
    std::size_t Read(void* data, std::size_t count) override;

    int Descriptor() const { return fd_; }

  private:
    int fd_ = -1;
    std::string path_;
    std::int64_t position_ = 0;
};

}  // namespace corvane::net
