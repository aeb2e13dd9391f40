// A blocking, buffered TCP byte stream over one socket: line reads, exact and
// counted reads, reads into a stream, unbuffered writes, detection of the
// peer's close, status and progress through the component's events.
#pragma once

#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/net_component.h"
#include "net/net_exceptions.h"
#include "net/net_stream.h"
#include "net/socket_handle.h"
#include "net/socket_stack.h"

namespace corvane::net {

class TNetTCPConnection;

// Optional hook on a connection's data path (a secure channel, a tracer). The
// base class observes nothing and replaces nothing.
class TNetConnectionIntercept : public TNetBaseComponent {
  public:
    TNetConnectionIntercept() = default;
    // Detaches itself from every connection that uses it.
    ~TNetConnectionIntercept() override;

    std::function<void(TNetConnectionIntercept& sender)> OnConnect;
    bool HandlesReceive = false;
    bool HandlesSend = false;

    // The socket it is attached to, set at connect and cleared at disconnect.
    TNetSocketHandle* SocketHandle() const { return socketHandle_; }

    virtual void NotifyConnect(TNetSocketHandle& handle);
    virtual void NotifyReceived(const char* bytes, std::int32_t count);
    virtual void NotifySent(const char* bytes, std::int32_t count);
    virtual void NotifyDisconnect();
    virtual std::int32_t InterceptReceive(char* buffer, std::int32_t capacity);
    virtual std::int32_t InterceptSend(const char* bytes, std::int32_t count);
    // True while the hook holds received bytes it has not handed out yet
    // (a secure channel's decrypted record): the connection then reads from
    // the hook without waiting for the socket.
    virtual bool HasBufferedInput() const { return false; }
    // The connection is about to close its socket, which is still open: the
    // hook's last words (a secure channel's closing alert). Must not throw.
    virtual void NotifyClosing() {}

  private:
    friend class TNetTCPConnection;
    TNetSocketHandle* socketHandle_ = nullptr;
    std::vector<TNetTCPConnection*> users_;
};

using TNetReplyCodes = std::vector<std::int16_t>;

class TNetTCPConnection : public TNetComponent {
  public:
    static constexpr std::int32_t DefaultBufferSize = 32768;
    static constexpr std::int32_t DefaultMaxLineLength = 100 * 1024;

    TNetTCPConnection();
    ~TNetTCPConnection() override;

    // ---- settings ----
    // Clear bit 7 of every received byte.
    bool ASCIIFilter = false;
    std::function<void(TNetTCPConnection& sender)> OnDisconnected;
    // Idle-read limit in milliseconds for reads that would wait without limit
    // (0: none). A read that runs into it raises ENetReadTimeout.
    std::int32_t ReadTimeout = 0;
    // Longest line ReadLine accepts, terminator not counted (0: no limit).
    std::int32_t MaxLineLength = DefaultMaxLineLength;
    // No wait for the peer goes past this point: one that would raises
    // ENetDeadlineExceeded (default: no deadline).
    std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();
    // The milliseconds a wait of `wait` ms (negative: no limit) may last
    // under Deadline; ENetDeadlineExceeded once it has passed. `bound` tells
    // whether the deadline shortened the wait.
    std::int32_t WaitWithinDeadline(std::int32_t wait, bool& bound) const;

    std::int32_t RecvBufferSize() const {
        return static_cast<std::int32_t>(receiveBuffer_.Length());
    }
    // Resizes the receive buffer; values below 1 count as 1.
    void SetRecvBufferSize(std::int32_t size);
    std::int32_t SendBufferSize() const { return sendBufferSize_; }
    // Chunk size of WriteFromStream; values below 1 count as 1.
    void SetSendBufferSize(std::int32_t size) { sendBufferSize_ = size < 1 ? 1 : size; }

    TNetConnectionIntercept* Intercept() const { return intercept_; }
    // Not owned; the connection lets go when the intercept is destroyed.
    // Setting none also turns InterceptEnabled off.
    void SetIntercept(TNetConnectionIntercept* intercept);
    bool InterceptEnabled() const { return interceptEnabled_; }
    // ENetInterceptPropIsNil when turned on without an intercept.
    void SetInterceptEnabled(bool enabled);

    // ---- state ----
    TNetSocketHandle& SocketHandle() { return *socketHandle_; }
    const TNetSocketHandle& SocketHandle() const { return *socketHandle_; }
    const TNetBuffer& InputQueue() const { return inputQueue_; }
    std::int32_t InputSize() const { return static_cast<std::int32_t>(inputQueue_.Length()); }
    bool PeerClosed() const { return peerClosed_; }
    bool ReadLineTimedOut() const { return readLineTimedOut_; }
    std::int16_t LastReplyCode() const { return lastReplyCode_; }
    const std::vector<std::string>& ReplyLines() const { return replyLines_; }

    // ---- operations ----
    virtual void DoOnDisconnected();
    // Forgets the socket (closing nothing), empties the queue, clears PeerClosed.
    virtual void ResetForConnect();
    // Everything until the peer closes, queued bytes included.
    virtual std::string ReadUntilClosed();
    virtual void CheckPeerClosed(bool raiseIfClosed, bool ignoreInput);
    // A 1 ms receive into the queue: notices a close (or data) without waiting.
    virtual void PollPeerClosed(bool raiseIfClosed);
    virtual std::int16_t CheckReply(std::int16_t code, const TNetReplyCodes& allowed);
    virtual bool IsConnected();
    virtual void CloseConnection();
    virtual void CloseSocketAndNotify();
    virtual std::string TakeInput(std::int32_t count);
    virtual std::int16_t ReadReply(const TNetReplyCodes& allowed);
    [[noreturn]] virtual void RaiseReplyError();
    // RaiseReplyError with an exception class of the caller's choice, built
    // from the last reply line.
    template <class E>
    [[noreturn]] void RaiseReplyErrorAs() {
        throw E(replyLines_.empty() ? std::string() : replyLines_.back());
    }
    // Waits for the socket (timeout in ms, WaitForever) and receives once into
    // destination (the receive buffer when none), appending the bytes to the
    // input queue when toInputQueue. Returns the byte count; 0 when nothing
    // came in time or the peer closed.
    virtual std::int32_t ReceiveOnce(bool raiseIfClosed, std::int32_t timeout,
                                     TNetBuffer* destination, bool toInputQueue);
    // The next line without its terminator (empty terminator: LF, and a CR
    // before it is dropped). Empty with ReadLineTimedOut set when a receive
    // brought nothing.
    virtual std::string ReadLine(const std::string& terminator = std::string(),
                                 std::int32_t timeout = WaitForever);
    virtual void DropInput(std::int32_t count);
    virtual std::int16_t SendCommand(const std::string& command, const TNetReplyCodes& allowed);
    virtual void WriteText(const std::string& text);
    virtual void WriteLine(const std::string& text = std::string());
    virtual void WriteFromStream(TNetStream& source, bool fromStart = true, bool sendCount = false);
    // Sends a whole file; its size, or 0 when the system transfer failed.
    virtual std::int64_t WriteWholeFile(const std::string& path, bool allowSystemTransfer = true);

    std::string ReadLineNonEmpty();
    // count bytes (-1 with untilClosed false: a 4-byte length first), or
    // everything until the peer closes, written at the destination's position.
    // The destination ends at the last byte written.
    // With untilClosed, `untilClosedLimit` caps the bytes moved: the read
    // then also ends, quietly, once that many have been moved.
    void ReadToStream(TNetStream& destination, std::int32_t count = -1, bool untilClosed = false,
                      std::int32_t untilClosedLimit = INT32_MAX);
    // Exactly count bytes; ENetConnClosedGracefully when the connection ends
    // first (the bytes received stay queued).
    void ReadExact(void* destination, std::int32_t count);
    std::int32_t ReadInt32(bool convert = true);
    void WriteInt32(std::int32_t value, bool convert = true);
    void WriteBytes(const void* bytes, std::int32_t count);
    void WriteLines(const std::vector<std::string>& lines);
    std::string ReadAvailable();

  private:
    friend class TNetConnectionIntercept;

    [[noreturn]] void RaiseFailedWait();
    // ReceiveOnce into caller-given storage of `capacity` bytes.
    std::int32_t ReceiveInto(bool raiseIfClosed, std::int32_t timeout, char* data,
                             std::int32_t capacity, bool toInputQueue);

    bool UsesInterceptFor(bool receive) const;
    void QueueFrontMoved() { lineSearchFrom_ = 0; }

    std::unique_ptr<TNetSocketHandle> socketHandle_;
    TNetBuffer inputQueue_;
    bool peerClosed_ = false;
    std::vector<std::string> replyLines_;
    TNetConnectionIntercept* intercept_ = nullptr;
    bool interceptEnabled_ = false;
    bool readLineTimedOut_ = false;
    TNetBuffer receiveBuffer_;
    TNetBuffer scratch_;
    std::int16_t lastReplyCode_ = 0;
    std::int32_t sendBufferSize_ = DefaultBufferSize;
    // ReadLine resumes its search here: the queue's bytes before it hold no
    // terminator start. Reset whenever bytes leave the front of the queue.
    std::size_t lineSearchFrom_ = 0;
    std::string lineSearchTerm_;
};

}  // namespace corvane::net
