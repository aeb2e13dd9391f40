#include "net/tcp_connection.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <arpa/inet.h>

#include "base/ascii.h"
#include "base/scope_guard.h"
#include "net/socket_errors.h"

namespace corvane::net {

namespace {

// Clamps a byte count of a buffer to what one 32-bit call may move.
std::int32_t Capacity(std::size_t size) {
    return size > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(size);
}

}  // namespace

// ---- TNetConnectionIntercept ----

TNetConnectionIntercept::~TNetConnectionIntercept() {
    for (TNetTCPConnection* c : users_) {
        c->intercept_ = nullptr;
        c->interceptEnabled_ = false;
    }
}

void TNetConnectionIntercept::NotifyConnect(TNetSocketHandle& handle) {
    socketHandle_ = &handle;
    if (OnConnect)
        OnConnect(*this);
}

void TNetConnectionIntercept::NotifyReceived(const char*, std::int32_t) {}
void TNetConnectionIntercept::NotifySent(const char*, std::int32_t) {}
void TNetConnectionIntercept::NotifyDisconnect() {
    socketHandle_ = nullptr;
}
std::int32_t TNetConnectionIntercept::InterceptReceive(char*, std::int32_t) {
    return 0;
}
std::int32_t TNetConnectionIntercept::InterceptSend(const char*, std::int32_t) {
    return 0;
}

// ---- TNetTCPConnection ----

TNetTCPConnection::TNetTCPConnection()
    : socketHandle_(std::make_unique<TNetSocketHandle>(Stack())),
      receiveBuffer_(DefaultBufferSize) {}

TNetTCPConnection::~TNetTCPConnection() {
    // The socket closes quietly below; an attached hook still says its last
    // words and lets go of the socket, which goes away with this object.
    if (intercept_ && intercept_->socketHandle_ == socketHandle_.get()) {
        if (interceptEnabled_ && socketHandle_->IsAllocated())
            intercept_->NotifyClosing();
        intercept_->NotifyDisconnect();
    }
    SetIntercept(nullptr);
    // socketHandle_ closes an open socket quietly; the component part then
    // releases the stack.
}

void TNetTCPConnection::SetRecvBufferSize(std::int32_t size) {
    // A receive of capacity 0 would look like the peer's close.
    receiveBuffer_.Resize(static_cast<std::size_t>(size < 1 ? 1 : size));
}

void TNetTCPConnection::SetIntercept(TNetConnectionIntercept* intercept) {
    if (intercept_ == intercept) {
        if (!intercept)
            interceptEnabled_ = false;
        return;
    }
    if (intercept_) {
        auto& users = intercept_->users_;
        users.erase(std::remove(users.begin(), users.end(), this), users.end());
    }
    intercept_ = intercept;
    if (intercept_)
        intercept_->users_.push_back(this);
    else
        interceptEnabled_ = false;
}

void TNetTCPConnection::SetInterceptEnabled(bool enabled) {
    if (enabled && !intercept_)
        throw ENetInterceptPropIsNil();
    interceptEnabled_ = enabled;
}

bool TNetTCPConnection::UsesInterceptFor(bool receive) const {
    return interceptEnabled_ && intercept_ &&
           (receive ? intercept_->HandlesReceive : intercept_->HandlesSend);
}

void TNetTCPConnection::DoOnDisconnected() {
    if (OnDisconnected)
        OnDisconnected(*this);
}

void TNetTCPConnection::ResetForConnect() {
    socketHandle_->ResetHandle(true);
    inputQueue_.Clear();
    QueueFrontMoved();
    peerClosed_ = false;
}

void TNetTCPConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreInput) {
    if (!peerClosed_ && socketHandle_->IsAllocated())
        return;
    if (socketHandle_->IsAllocated())
        CloseSocketAndNotify();
    if (raiseIfClosed && (ignoreInput || inputQueue_.Empty()))
        throw ENetConnClosedGracefully();
}

void TNetTCPConnection::PollPeerClosed(bool raiseIfClosed) {
    ReceiveOnce(raiseIfClosed, 1, nullptr, true);
}

bool TNetTCPConnection::IsConnected() {
    CheckPeerClosed(false, false);
    return socketHandle_->IsAllocated();
}

void TNetTCPConnection::CloseConnection() {
    CloseSocketAndNotify();
}

void TNetTCPConnection::CloseSocketAndNotify() {
    if (socketHandle_->IsAllocated()) {
        if (interceptEnabled_ && intercept_)
            intercept_->NotifyClosing();
        ReportStatus(StatusDisconnecting, socketHandle_->RemoteIP());
        socketHandle_->CloseOsSocket(true);
        peerClosed_ = true;
        ReportStatus(StatusDisconnected, socketHandle_->RemoteIP());
        DoOnDisconnected();
    }
    if (interceptEnabled_ && intercept_)
        intercept_->NotifyDisconnect();
}

std::int32_t TNetTCPConnection::WaitWithinDeadline(std::int32_t wait, bool& bound) const {
    bound = false;
    if (Deadline == std::chrono::steady_clock::time_point::max())
        return wait;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0)
        throw ENetDeadlineExceeded();
    if (wait < 0 || left < wait) {
        bound = true;
        return static_cast<std::int32_t>(std::min<std::int64_t>(left, INT32_MAX));
    }
    return wait;
}

std::int32_t TNetTCPConnection::ReceiveOnce(bool raiseIfClosed, std::int32_t timeout,
                                            TNetBuffer* destination, bool toInputQueue) {
    TNetBuffer& target = destination ? *destination : receiveBuffer_;
    return ReceiveInto(raiseIfClosed, timeout, target.Data(), Capacity(target.Length()),
                       toInputQueue);
}

std::int32_t TNetTCPConnection::ReceiveInto(bool raiseIfClosed, std::int32_t timeout, char* data,
                                            std::int32_t capacity, bool toInputQueue) {
    CheckPeerClosed(raiseIfClosed, false);
    if (!IsConnected())
        return 0;

    // A wait without limit is bounded by the idle-read limit, when one is set.
    const bool idleLimited = timeout < 0 && ReadTimeout > 0;
    bool deadlineBound = false;
    const std::int32_t wait =
        WaitWithinDeadline(idleLimited ? ReadTimeout : timeout, deadlineBound);
    // Bytes a hook already holds are read without waiting for the socket.
    const bool buffered = UsesInterceptFor(true) && intercept_->HasBufferedInput();
    const std::int32_t ready = buffered ? 1 : socketHandle_->SelectReadable(wait);
    if (ready != 1) {
        if (ready == 0 && deadlineBound)
            throw ENetDeadlineExceeded();
        if (ready == 0 && idleLimited)
            throw ENetReadTimeout();
        return 0;  // time up, or the wait itself failed
    }

    std::int32_t n = UsesInterceptFor(true) ? intercept_->InterceptReceive(data, capacity)
                                            : socketHandle_->ReceiveBytes(data, capacity);
    peerClosed_ = n == 0;
    if (n == -1) {
        if (Stack().CheckSocketResult(n, {NetErrorShutdown})) {
            n = 0;
            if (socketHandle_->IsAllocated())
                CloseSocketAndNotify();
            if (inputQueue_.Empty())
                TNetStack::ThrowSocketError(NetErrorShutdown);
        }
    }
    if (n < 0)
        n = 0;  // a hook that misreports; nothing was received
    if (ASCIIFilter) {
        for (std::int32_t i = 0; i < n; ++i)
            data[i] = static_cast<char>(data[i] & 0x7F);
    }
    if (toInputQueue)
        inputQueue_.Append(data, static_cast<std::size_t>(n));
    else
        AddWork(WorkRead, n);
    if (interceptEnabled_ && intercept_)
        intercept_->NotifyReceived(data, n);
    CheckPeerClosed(raiseIfClosed, false);
    return n;
}

std::string TNetTCPConnection::TakeInput(std::int32_t count) {
    if (count < 0)
        count = 0;
    if (static_cast<std::size_t>(count) > inputQueue_.Length())
        throw ENetNotEnoughDataInBuffer();
    std::string bytes(inputQueue_.Data(), static_cast<std::size_t>(count));
    DropInput(count);
    return bytes;
}

void TNetTCPConnection::DropInput(std::int32_t count) {
    if (count < 0)
        count = 0;
    inputQueue_.Remove(static_cast<std::size_t>(count));
    QueueFrontMoved();
    AddWork(WorkRead, count);
}

std::string TNetTCPConnection::ReadLine(const std::string& terminator, std::int32_t timeout) {
    const bool defaultTerminator = terminator.empty();
    const std::string term = defaultTerminator ? std::string("\n") : terminator;
    readLineTimedOut_ = false;
    if (term != lineSearchTerm_) {
        lineSearchTerm_ = term;
        lineSearchFrom_ = 0;
    }
    const std::size_t limit =
        MaxLineLength > 0 ? static_cast<std::size_t>(MaxLineLength) : SIZE_MAX;
    for (;;) {
        const std::string_view queued = inputQueue_.View();
        if (!queued.empty()) {
            const std::size_t p = queued.find(term, std::min(lineSearchFrom_, queued.size()));
            if (p != std::string_view::npos) {
                std::size_t length = p;
                if (defaultTerminator && length > 0 && queued[length - 1] == '\r')
                    --length;
                if (length > limit)
                    throw ENetLineTooLong();
                std::string line = TakeInput(static_cast<std::int32_t>(p + term.size()));
                line.resize(length);
                return line;
            }
            // The next search starts where a terminator could still begin.
            lineSearchFrom_ = queued.size() >= term.size() ? queued.size() - term.size() + 1 : 0;
            // Shortest the line can still turn out to be.
            std::size_t shortest = queued.size() - std::min(queued.size(), term.size() - 1);
            if (defaultTerminator && shortest > 0)
                --shortest;
            if (shortest > limit)
                throw ENetLineTooLong();
        }
        CheckPeerClosed(true, true);
        const std::int32_t n = ReceiveOnce(true, timeout, nullptr, true);
        readLineTimedOut_ = n == 0;
        if (n == 0)
            return std::string();
    }
}

std::string TNetTCPConnection::ReadLineNonEmpty() {
    for (;;) {
        std::string line = std::string(base::TrimBlanks(ReadLine()));
        if (!line.empty())
            return line;
    }
}

// A wait without limit that ends with nothing received while the socket is
// still open can only be a failed wait; the loops that wait again would spin
// on it, so it is raised with the stack's error code instead.
void TNetTCPConnection::RaiseFailedWait() {
    const std::int32_t code = Stack().SysGetLastError();
    TNetStack::ThrowSocketError(code != 0 ? code : 10022);
}

void TNetTCPConnection::ReadToStream(TNetStream& destination, std::int32_t count, bool untilClosed,
                                     std::int32_t untilClosedLimit) {
    if (count == -1 && !untilClosed)
        count = ReadInt32(true);
    if (count >= 0)
        ResizeKeepingPosition(destination, destination.Position() + count);
    std::int32_t remaining = untilClosed ? std::max(untilClosedLimit, 0) : count;
    StartWork(WorkRead, untilClosed ? 0 : count);
    // The destination ends at the last byte written, also when the read
    // fails part way: it never shows bytes that did not arrive.
    auto finish = [&] {
        FinishWork(WorkRead);
        if (destination.Size() > destination.Position())
            destination.SetSize(destination.Position());
    };
    {
        const base::OnUnwind finishOnFailure(finish);
        if (remaining > 0 && !inputQueue_.Empty()) {
            const std::size_t take =
                std::min(inputQueue_.Length(), static_cast<std::size_t>(remaining));
            destination.Write(inputQueue_.Data(), take);
            inputQueue_.Remove(take);
            QueueFrontMoved();
            remaining -= static_cast<std::int32_t>(take);
        }
        while (IsConnected() && remaining >= 1) {
            const std::int32_t chunk = std::min(remaining, RecvBufferSize());
            std::int32_t n = 0;
            if (char* span = destination.WriteSpan(static_cast<std::size_t>(chunk))) {
                // Straight into the destination's own storage; a failed
                // receive commits nothing.
                {
                    const base::OnUnwind commitNothing([&] { destination.CommitWrite(0); });
                    n = ReceiveInto(!untilClosed, WaitForever, span, chunk, false);
                }
                destination.CommitWrite(static_cast<std::size_t>(n));
            } else {
                scratch_.Resize(static_cast<std::size_t>(chunk));
                n = ReceiveOnce(!untilClosed, WaitForever, &scratch_, false);
                if (n > 0)
                    destination.Write(scratch_.Data(), static_cast<std::size_t>(n));
            }
            if (n == 0 && IsConnected())
                RaiseFailedWait();
            remaining -= n;
        }
    }
    finish();
}

void TNetTCPConnection::ReadExact(void* destination, std::int32_t count) {
    if (count <= 0 || !destination)
        return;
    while (inputQueue_.Length() < static_cast<std::size_t>(count)) {
        if (ReceiveOnce(true, WaitForever, nullptr, true) == 0 && IsConnected())
            RaiseFailedWait();
        // Once the socket is gone no more bytes can come.
        if (inputQueue_.Length() < static_cast<std::size_t>(count) &&
            !socketHandle_->IsAllocated()) {
            throw ENetConnClosedGracefully();
        }
    }
    std::memcpy(destination, inputQueue_.Data(), static_cast<std::size_t>(count));
    DropInput(count);
}

std::int32_t TNetTCPConnection::ReadInt32(bool convert) {
    std::uint32_t v = 0;
    ReadExact(&v, 4);
    if (convert)
        v = Stack().SysNetToHost32(v);
    return static_cast<std::int32_t>(v);
}

void TNetTCPConnection::WriteInt32(std::int32_t value, bool convert) {
    std::uint32_t v = static_cast<std::uint32_t>(value);
    if (convert)
        v = Stack().SysHostToNet32(v);
    WriteBytes(&v, 4);
}

void TNetTCPConnection::WriteBytes(const void* bytes, std::int32_t count) {
    if (count <= 0 || !bytes)
        return;
    const char* data = static_cast<const char*>(bytes);
    CheckPeerClosed(true, true);
    std::int32_t offset = 0;
    while (offset < count) {
        std::int32_t n = 0;
        if (UsesInterceptFor(false)) {
            n = intercept_->InterceptSend(data + offset, count - offset);
        } else {
            // Under a deadline a peer that takes no more bytes cannot hold
            // the send past it.
            bool bound = false;
            const std::int32_t wait = WaitWithinDeadline(-1, bound);
            bool timedOut = false;
            n = socketHandle_->SendWithin(data + offset, count - offset, bound ? wait : -1,
                                          timedOut);
            if (timedOut)
                throw ENetDeadlineExceeded();
        }
        peerClosed_ = n == 0;
        CheckPeerClosed(true, false);
        if (n == 0)
            throw ENetConnClosedGracefully();  // a send that moves nothing would repeat forever
        if (n == -1) {
            if (Stack().CheckSocketResult(n, {NetErrorShutdown})) {
                CloseSocketAndNotify();
                TNetStack::ThrowSocketError(NetErrorShutdown);
            }
        }
        if (n < 0)
            throw ENetSocketError(n, SocketErrorMessage(n));  // a hook that misreports
        AddWork(WorkWrite, n);
        if (interceptEnabled_ && intercept_)
            intercept_->NotifySent(data + offset, count - offset);
        offset += n;
    }
}

void TNetTCPConnection::WriteText(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const std::int32_t n = Capacity(text.size() - done);
        WriteBytes(text.data() + done, n);
        done += static_cast<std::size_t>(n);
    }
}

void TNetTCPConnection::WriteLine(const std::string& text) {
    WriteText(text + "\r\n");
}

void TNetTCPConnection::WriteLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        WriteLine(line);
}

void TNetTCPConnection::WriteFromStream(TNetStream& source, bool fromStart, bool sendCount) {
    if (fromStart)
        source.SetPosition(0);
    const std::int64_t size = std::max<std::int64_t>(0, source.Size() - source.Position());
    // Counts are 32 bits wide on the wire and in the work events.
    const auto size32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
    if (sendCount)
        WriteInt32(size32, true);
    StartWork(WorkWrite, size32);
    {
        const base::OnUnwind finishOnFailure([this] { FinishWork(WorkWrite); });
        std::vector<char> chunk(static_cast<std::size_t>(sendBufferSize_));
        for (;;) {
            const std::int64_t left = source.Size() - source.Position();
            const std::int64_t n = std::min<std::int64_t>(left, sendBufferSize_);
            if (n <= 0)
                break;
            const std::size_t got = source.Read(chunk.data(), static_cast<std::size_t>(n));
            if (got == 0)
                throw ENetNoDataToRead();
            WriteBytes(chunk.data(), static_cast<std::int32_t>(got));
        }
    }
    FinishWork(WorkWrite);
}

std::int64_t TNetTCPConnection::WriteWholeFile(const std::string& path, bool allowSystemTransfer) {
    if (Stack().HasTransmitFile() && !interceptEnabled_ && allowSystemTransfer) {
        return Stack().SysTransmitFile(socketHandle_->OsSocket(), path);
    }
    TNetFileStream file(path);
    WriteFromStream(file, true, false);
    return file.Size();
}

std::string TNetTCPConnection::ReadAvailable() {
    if (!IsConnected())
        return std::string();
    ReceiveOnce(false, WaitForever, nullptr, true);
    return TakeInput(InputSize());
}

std::string TNetTCPConnection::ReadUntilClosed() {
    std::string result;
    StartWork(WorkRead, 0);
    {
        const base::OnUnwind finishOnFailure([this] { FinishWork(WorkRead); });
        while (IsConnected())
            result += ReadAvailable();
        // Bytes that were queued when the close was seen belong to the result.
        if (!inputQueue_.Empty())
            result += TakeInput(InputSize());
    }
    FinishWork(WorkRead);
    return result;
}

std::int16_t TNetTCPConnection::SendCommand(const std::string& command,
                                            const TNetReplyCodes& allowed) {
    if (!command.empty())
        WriteLine(command);
    return ReadReply(allowed);
}

std::int16_t TNetTCPConnection::ReadReply(const TNetReplyCodes& allowed) {
    replyLines_.clear();
    replyLines_.push_back(ReadLineNonEmpty());
    const std::string first = replyLines_.front();
    if (first.size() > 3 && first[3] == '-') {
        const std::string marker = first.substr(0, 3) + " ";
        for (;;) {
            std::string line = ReadLineNonEmpty();
            replyLines_.push_back(line);
            if (line.size() < 4 || base::StartsWithIgnoringCase(line, marker))
                break;
        }
    }
    const std::string& last = replyLines_.back();
    std::int32_t code = 0;
    if (base::StartsWithIgnoringCase(last, "+OK"))
        code = 1;
    else if (base::StartsWithIgnoringCase(last, "-ERR"))
        code = 0;
    else if (!TryParseNetInteger(last.substr(0, 3), code))
        code = 0;
    lastReplyCode_ = static_cast<std::int16_t>(code);
    return CheckReply(lastReplyCode_, allowed);
}

std::int16_t TNetTCPConnection::CheckReply(std::int16_t code, const TNetReplyCodes& allowed) {
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end())
        RaiseReplyError();
    return code;
}

void TNetTCPConnection::RaiseReplyError() {
    throw ENetProtocolReplyError(lastReplyCode_,
                                 replyLines_.empty() ? std::string() : replyLines_.back());
}

}  // namespace corvane::net
