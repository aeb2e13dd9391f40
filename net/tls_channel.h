// The secure channel of a connection: TLS 1.2 or 1.3 run over the
// connection's own socket through its intercept hook. The peer's chain is
// verified against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR
// are honoured) plus an optional extra CA file, and its certificate against
// the host name or IP address the channel was aimed at. SNI is sent for
// names, ALPN offers "http/1.1", renegotiation is refused, and closing the
// connection sends a close_notify alert first.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"

struct ssl_st;
struct ssl_ctx_st;
struct bio_st;

namespace corvane::net {

class TNetTLSChannel : public TNetSSLConnectionIntercept {
  public:
    using Clock = std::chrono::steady_clock;

    TNetTLSChannel();
    ~TNetTLSChannel() override;
    TNetTLSChannel(const TNetTLSChannel&) = delete;
    TNetTLSChannel& operator=(const TNetTLSChannel&) = delete;

    bool ProvidesSecureChannel() const override { return true; }

    // ---- settings, read at the next handshake ----
    // The name (or IP address) the peer must prove; sent as SNI when it is
    // a name. Empty: the address the socket is connected to.
    std::string HostName;
    // PEM file of further trust anchors, on top of the system's store.
    std::string CAFile;
    // Accept any certificate for any name (no chain or name check).
    bool Insecure = false;
    // Handshake in NotifyConnect, right after the OnConnect hook (which may
    // open a proxy tunnel first). When false, the handshake runs at the
    // first read or write through the channel, or when Handshake is called.
    bool HandshakeAtConnect = true;
    // Longest single wait for the peer in milliseconds, in the handshake
    // and inside a record (0: none). Running into it raises ENetReadTimeout.
    std::int32_t WaitTimeout = 30000;
    // No wait of the channel goes past this point (default: no deadline).
    Clock::time_point Deadline = Clock::time_point::max();

    // ---- operations ----
    // Runs the handshake over the attached socket; ENetTLSError naming the
    // cause when it fails, ENetReadTimeout when the peer is too slow.
    void Handshake();
    bool HandshakeDone() const { return handshakeDone_; }
    // The protocol chosen through ALPN ("http/1.1"), empty when none.
    std::string NegotiatedProtocol() const;
    // "TLSv1.3" or "TLSv1.2" after a handshake, else empty.
    std::string ProtocolVersion() const;
    // The peer ended the channel with a close_notify alert.
    bool PeerSentCloseNotify() const { return closeNotifyReceived_; }

    // ---- the connection's hook ----
    void NotifyConnect(TNetSocketHandle& handle) override;
    void NotifyDisconnect() override;
    void NotifyClosing() override;
    std::int32_t InterceptReceive(char* buffer, std::int32_t capacity) override;
    std::int32_t InterceptSend(const char* bytes, std::int32_t count) override;
    bool HasBufferedInput() const override;

  private:
    void Release();
    void Start();
    // The milliseconds the next wait may last, or -1 for no limit;
    // ENetReadTimeout once the deadline has passed.
    std::int32_t NextWait(const char* what) const;
    // Sends everything the engine has written: 1, or the failed send's
    // result (0, or -1 with the stack's error code kept). A peer that takes
    // no bytes for as long as a wait may last raises ENetReadTimeout; when
    // `closing`, nothing is waited for and what does not fit is dropped.
    std::int32_t FlushOutput(bool closing = false);
    // Waits for the socket and moves what it has into the engine: the byte
    // count, 0 when the peer closed, -1 when the receive failed.
    std::int32_t FillInput(const char* what);
    [[noreturn]] void FailHandshake(int sslError);

    std::shared_ptr<ssl_ctx_st> context_;
    ssl_st* ssl_ = nullptr;
    bio_st* input_ = nullptr;   // owned by ssl_
    bio_st* output_ = nullptr;  // owned by ssl_
    std::vector<char> wire_;
    std::string verifiedName_;
    bool handshakeDone_ = false;
    bool failed_ = false;
    bool shutdownSent_ = false;
    bool closeNotifyReceived_ = false;
};

}  // namespace corvane::net
