#include "net/tls_channel.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace corvane::net {

namespace {

// Ciphertext moves between the socket and the engine in pieces of this size.
constexpr std::size_t kWireChunk = 64 * 1024;
// A TLS record starts with a 5-byte header whose last two bytes give the
// length of the rest.
constexpr std::size_t kRecordHeader = 5;

// The reason of the oldest queued OpenSSL error, and the queue emptied.
std::string TakeOpenSslReason() {
    const unsigned long code = ERR_get_error();
    std::string text;
    if (code != 0) {
        const char* reason = ERR_reason_error_string(code);
        if (reason) {
            text = reason;
        } else {
            char buffer[256] = {};
            ERR_error_string_n(code, buffer, sizeof buffer);
            text = buffer;
        }
    }
    ERR_clear_error();
    return text;
}

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsIpLiteral(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The system's trust store is the one OpenSSL's default paths name (as
// SSL_CERT_FILE and SSL_CERT_DIR set them): a directory of certificates
// under hashed names, read one issuer at a time as a chain needs it, and a
// bundle file of every trusted root, which OpenSSL would read whole when a
// context is made (about 20 ms of CPU, more than a small fetch takes). Here
// the bundle is read the first time an issuer is found neither among the
// certificates loaded so far (an extra CA file) nor in the directory, and
// the search is then made again: a verification never misses a root of the
// bundle, and one that needs none never pays for it.
struct DeferredBundle {
    std::string Path;
    std::once_flag Once;
    std::atomic<bool> Loaded{false};
};

// The store holds its bundle by a plain pointer; the bundle belongs to the
// context (see NewContext). No free function here: OpenSSL forgets its
// ex-data functions at its own clean-up, which may come before the last
// context goes.
int DeferredBundleIndex() {
    static const int index = X509_STORE_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The bundle of `store`, none when the store has none deferred.
DeferredBundle* BundleOf(X509_STORE* store) {
    return static_cast<DeferredBundle*>(X509_STORE_get_ex_data(store, DeferredBundleIndex()));
}

// Adds every certificate and CRL of a PEM file to the store, as OpenSSL's
// file lookup does; a missing or unreadable file adds nothing.
void AddPemFile(X509_STORE* store, const std::string& path) {
    BIO* in = BIO_new_file(path.c_str(), "r");
    if (in) {
        STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(in, nullptr, nullptr, nullptr);
        BIO_free(in);
        for (int i = 0; infos && i < sk_X509_INFO_num(infos); ++i) {
            const X509_INFO* info = sk_X509_INFO_value(infos, i);
            if (info->x509)
                X509_STORE_add_cert(store, info->x509);
            if (info->crl)
                X509_STORE_add_crl(store, info->crl);
        }
        sk_X509_INFO_pop_free(infos, X509_INFO_free);
    }
    ERR_clear_error();
}

// Reads the bundle once; other threads asking meanwhile wait for it.
void LoadBundle(X509_STORE* store, DeferredBundle& bundle) {
    std::call_once(bundle.Once, [&] {
        AddPemFile(store, bundle.Path);
        bundle.Loaded = true;
    });
}

int IssuerLoadingBundle(X509** issuer, X509_STORE_CTX* ctx, X509* cert) {
    X509_STORE* store = X509_STORE_CTX_get0_store(ctx);
    DeferredBundle* bundle = BundleOf(store);
    // Read before the search: a bundle loaded meanwhile is searched again.
    const bool complete = !bundle || bundle->Loaded;
    const int found = X509_STORE_CTX_get1_issuer(issuer, ctx, cert);
    if (found != 0 || complete)
        return found;
    LoadBundle(store, *bundle);
    return X509_STORE_CTX_get1_issuer(issuer, ctx, cert);
}

STACK_OF(X509) * CertsLoadingBundle(X509_STORE_CTX* ctx, const X509_NAME* name) {
    X509_STORE* store = X509_STORE_CTX_get0_store(ctx);
    DeferredBundle* bundle = BundleOf(store);
    const bool complete = !bundle || bundle->Loaded;
    STACK_OF(X509)* found = X509_STORE_CTX_get1_certs(ctx, name);
    if (found || complete)
        return found;
    LoadBundle(store, *bundle);
    return X509_STORE_CTX_get1_certs(ctx, name);
}

// OpenSSL's default verify paths, with the bundle deferred; `bundle` must
// outlive the store.
void UseSystemStore(X509_STORE* store, DeferredBundle& bundle) {
    if (X509_LOOKUP* dir = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir()))
        X509_LOOKUP_ctrl(dir, X509_L_ADD_DIR, nullptr, X509_FILETYPE_DEFAULT, nullptr);
    const char* fromEnvironment = std::getenv(X509_get_default_cert_file_env());
    bundle.Path = fromEnvironment ? fromEnvironment : X509_get_default_cert_file();
    if (X509_STORE_set_ex_data(store, DeferredBundleIndex(), &bundle) != 1)
        return;
    X509_STORE_set_get_issuer(store, IssuerLoadingBundle);
    X509_STORE_set_lookup_certs(store, CertsLoadingBundle);
}

// The client settings every channel shares: TLS 1.2 and 1.3 only, ALPN
// "http/1.1", no renegotiation, no compression; with verification, the
// system's store (SSL_CERT_FILE and SSL_CERT_DIR as the process has them
// now) plus the extra CA file.
std::shared_ptr<ssl_ctx_st> NewContext(const std::string& caFile, bool insecure) {
    // The deferred bundle of the context's store goes with the context.
    const auto bundle = std::make_shared<DeferredBundle>();
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()),
                                     [bundle](SSL_CTX* c) { SSL_CTX_free(c); });
    if (!context)
        throw ENetTLSError("TLS setup failed: " + TakeOpenSslReason());
    SSL_CTX* ctx = context.get();
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION) != 1) {
        throw ENetTLSError("TLS setup failed: " + TakeOpenSslReason());
    }
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    static const unsigned char kAlpn[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
    if (SSL_CTX_set_alpn_protos(ctx, kAlpn, sizeof kAlpn) != 0) {  // 0 is success here
        throw ENetTLSError("TLS setup failed: " + TakeOpenSslReason());
    }
    if (insecure) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        return context;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // A missing system store is no error of its own: the chain then fails
    // to verify, with the reason.
    UseSystemStore(SSL_CTX_get_cert_store(ctx), *bundle);
    ERR_clear_error();
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        throw ENetTLSError("cannot load the CA file " + caFile + ": " + TakeOpenSslReason());
    }
    return context;
}

// One context per option set for the whole process. A context is never
// changed after it was made, and OpenSSL lets any number of threads create
// connections from one unchanged context at once, so sharing it is safe;
// the map itself is guarded by the mutex. The store's environment is part
// of the key because the store is read when the context is made.
std::shared_ptr<ssl_ctx_st> SharedContext(const std::string& caFile, bool insecure) {
    using Key = std::tuple<bool, std::string, std::string, std::string>;
    static std::mutex mutex;
    static std::map<Key, std::shared_ptr<ssl_ctx_st>> contexts;
    Key key = insecure ? Key(true, "", "", "")
                       : Key(false, caFile, EnvText("SSL_CERT_FILE"), EnvText("SSL_CERT_DIR"));
    const std::lock_guard<std::mutex> lock(mutex);
    auto found = contexts.find(key);
    if (found != contexts.end())
        return found->second;
    std::shared_ptr<ssl_ctx_st> context = NewContext(caFile, insecure);
    contexts.emplace(std::move(key), context);
    return context;
}

}  // namespace

TNetTLSChannel::TNetTLSChannel() : wire_(kWireChunk) {
    HandlesReceive = true;
    HandlesSend = true;
}

TNetTLSChannel::~TNetTLSChannel() {
    Release();
}

void TNetTLSChannel::Release() {
    if (ssl_)
        SSL_free(ssl_);  // frees both memory BIOs too
    ssl_ = nullptr;
    input_ = nullptr;
    output_ = nullptr;
    context_.reset();
    verifiedName_.clear();
    handshakeDone_ = false;
    failed_ = false;
    shutdownSent_ = false;
    closeNotifyReceived_ = false;
}

std::string TNetTLSChannel::NegotiatedProtocol() const {
    if (!ssl_ || !handshakeDone_)
        return std::string();
    const unsigned char* data = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(ssl_, &data, &length);
    return data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
}

std::string TNetTLSChannel::ProtocolVersion() const {
    return ssl_ && handshakeDone_ ? std::string(SSL_get_version(ssl_)) : std::string();
}

void TNetTLSChannel::NotifyConnect(TNetSocketHandle& handle) {
    Release();
    // Remembers the socket and runs OnConnect, which may open a tunnel
    // through a proxy with the channel switched off.
    TNetSSLConnectionIntercept::NotifyConnect(handle);
    if (HandshakeAtConnect)
        Handshake();
}

void TNetTLSChannel::NotifyDisconnect() {
    // The engine stays for questions about the finished channel; the next
    // connect starts a new one.
    TNetSSLConnectionIntercept::NotifyDisconnect();
}

void TNetTLSChannel::Start() {
    TNetSocketHandle* handle = SocketHandle();
    std::string host = HostName.empty() ? handle->RemoteIP() : HostName;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const bool literal = IsIpLiteral(host);
    // "example.org." names the same host; the certificate and SNI name it
    // without the dot.
    if (!literal && !host.empty() && host.back() == '.')
        host.pop_back();
    if (host.empty())
        throw ENetTLSError("TLS needs a host name to verify");

    context_ = SharedContext(CAFile, Insecure);
    ssl_ = SSL_new(context_.get());
    input_ = BIO_new(BIO_s_mem());
    output_ = BIO_new(BIO_s_mem());
    if (!ssl_ || !input_ || !output_) {
        if (input_)
            BIO_free(input_);
        if (output_)
            BIO_free(output_);
        input_ = output_ = nullptr;
        throw ENetTLSError("TLS setup failed: " + TakeOpenSslReason());
    }
    SSL_set_bio(ssl_, input_, output_);
    SSL_set_connect_state(ssl_);
    verifiedName_ = host;
    bool ok = true;
    if (literal) {
        // No SNI for an address (RFC 6066); the certificate must name it.
        if (!Insecure)
            ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) == 1;
    } else {
        ok = SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                      const_cast<char*>(host.c_str())) == 1;
        if (ok && !Insecure) {
            SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            ok = SSL_set1_host(ssl_, host.c_str()) == 1;
        }
    }
    if (!ok) {
        ERR_clear_error();
        throw ENetTLSError("TLS cannot verify the host name " + host);
    }
}

void TNetTLSChannel::Handshake() {
    TNetSocketHandle* handle = SocketHandle();
    if (!handle || !handle->IsAllocated())
        throw ENetTLSError("TLS handshake without an open connection");
    Release();
    Start();
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl_, result);
        // The ClientHello, the Finished message or an alert.
        const std::int32_t sent = FlushOutput();
        if (error != SSL_ERROR_NONE && error != SSL_ERROR_WANT_READ)
            FailHandshake(error);
        if (sent <= 0) {
            failed_ = true;
            if (sent == 0)
                throw ENetTLSError("TLS handshake failed: connection closed by the peer");
            TNetStack::ThrowSocketError(handle->Stack().SysGetLastError());
        }
        if (error == SSL_ERROR_NONE)
            break;
        const std::int32_t received = FillInput("TLS handshake");
        if (received > 0)
            continue;
        failed_ = true;
        if (received == 0)
            throw ENetTLSError("TLS handshake failed: connection closed by the peer");
        TNetStack::ThrowSocketError(handle->Stack().SysGetLastError());
    }
    handshakeDone_ = true;
}

void TNetTLSChannel::FailHandshake(int sslError) {
    failed_ = true;
    const long verify = SSL_get_verify_result(ssl_);
    if (!Insecure && verify != X509_V_OK) {
        ERR_clear_error();
        std::string cause;
        switch (verify) {
            case X509_V_ERR_HOSTNAME_MISMATCH:
                cause =
                    "host name mismatch (the certificate is not valid for " + verifiedName_ + ")";
                break;
            case X509_V_ERR_IP_ADDRESS_MISMATCH:
                cause =
                    "IP address mismatch (the certificate is not valid for " + verifiedName_ + ")";
                break;
            default:
                cause = X509_verify_cert_error_string(verify);
                break;
        }
        throw ENetTLSError("TLS certificate problem: " + cause, verify);
    }
    std::string reason = TakeOpenSslReason();
    if (reason.empty()) {
        reason = sslError == SSL_ERROR_SYSCALL ? "connection closed by the peer"
                                               : "error " + std::to_string(sslError);
    }
    throw ENetTLSError("TLS handshake failed: " + reason);
}

std::int32_t TNetTLSChannel::NextWait(const char* what) const {
    std::int64_t wait = WaitTimeout > 0 ? WaitTimeout : -1;
    if (Deadline != Clock::time_point::max()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now()).count();
        if (left <= 0)
            throw ENetReadTimeout(std::string(what) + " timed out.");
        if (wait < 0 || left < wait)
            wait = left;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(wait, INT32_MAX));
}

std::int32_t TNetTLSChannel::FlushOutput(bool closing) {
    TNetSocketHandle* handle = SocketHandle();
    for (;;) {
        const int n = BIO_read(output_, wire_.data(), static_cast<int>(wire_.size()));
        if (n <= 0)
            return 1;  // nothing left to send
        const char* data = wire_.data();
        std::int32_t left = n;
        while (left > 0) {
            if (!handle)
                return -1;
            bool timedOut = false;
            const std::int32_t sent =
                handle->SendWithin(data, left, closing ? 0 : NextWait("TLS write"), timedOut);
            if (timedOut) {
                if (closing)
                    return 0;
                throw ENetReadTimeout("TLS write timed out.");
            }
            if (sent <= 0)
                return sent;
            data += sent;
            left -= sent;
        }
    }
}

std::int32_t TNetTLSChannel::FillInput(const char* what) {
    TNetSocketHandle* handle = SocketHandle();
    if (!handle)
        return 0;
    const std::int32_t ready = handle->SelectReadable(NextWait(what));
    if (ready == 0)
        throw ENetReadTimeout(std::string(what) + " timed out.");
    if (ready < 0)
        return -1;
    const std::int32_t n =
        handle->ReceiveBytes(wire_.data(), static_cast<std::int32_t>(wire_.size()));
    if (n > 0 && BIO_write(input_, wire_.data(), n) != n) {
        failed_ = true;
        throw ENetTLSError("TLS error: out of memory");
    }
    return n;
}

std::int32_t TNetTLSChannel::InterceptReceive(char* buffer, std::int32_t capacity) {
    if (!handshakeDone_) {
        if (failed_)
            throw ENetTLSError("TLS channel is not usable after a failed handshake");
        Handshake();
    }
    if (capacity <= 0)
        return 0;
    for (;;) {
        ERR_clear_error();
        std::size_t got = 0;
        const int result = SSL_read_ex(ssl_, buffer, static_cast<std::size_t>(capacity), &got);
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl_, result);
        // Reading may have to answer (a key update); a failed send shows at
        // the next read or write.
        FlushOutput();
        if (error == SSL_ERROR_NONE)
            return static_cast<std::int32_t>(got);
        if (error == SSL_ERROR_ZERO_RETURN) {
            closeNotifyReceived_ = true;
            return 0;
        }
        if (error != SSL_ERROR_WANT_READ) {
            failed_ = true;
            std::string reason = TakeOpenSslReason();
            throw ENetTLSError("TLS error: " +
                               (reason.empty() ? "error " + std::to_string(error) : reason));
        }
        const std::int32_t n = FillInput("TLS read");
        // 0: the peer closed without close_notify, which ends the stream
        // as a plain close would (the body's length or chunks tell whether
        // it was complete).
        if (n <= 0)
            return n;
    }
}

std::int32_t TNetTLSChannel::InterceptSend(const char* bytes, std::int32_t count) {
    if (!handshakeDone_) {
        if (failed_)
            throw ENetTLSError("TLS channel is not usable after a failed handshake");
        Handshake();
    }
    if (count <= 0)
        return 0;
    ERR_clear_error();
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl_, bytes, static_cast<std::size_t>(count), &written);
    if (result != 1) {
        const int error = SSL_get_error(ssl_, result);
        failed_ = true;
        std::string reason = TakeOpenSslReason();
        throw ENetTLSError("TLS error: " +
                           (reason.empty() ? "error " + std::to_string(error) : reason));
    }
    const std::int32_t sent = FlushOutput();
    return sent <= 0 ? sent : static_cast<std::int32_t>(written);
}

bool TNetTLSChannel::HasBufferedInput() const {
    if (!ssl_ || !handshakeDone_)
        return false;
    if (SSL_pending(ssl_) > 0)
        return true;
    // A whole record waiting in the engine's input can be read without the
    // socket; part of one cannot.
    char* data = nullptr;
    const long length = BIO_ctrl(input_, BIO_CTRL_INFO, 0, &data);
    if (length < static_cast<long>(kRecordHeader) || !data)
        return false;
    const std::size_t body = (static_cast<std::size_t>(static_cast<unsigned char>(data[3])) << 8) |
                             static_cast<unsigned char>(data[4]);
    return static_cast<std::size_t>(length) >= kRecordHeader + body;
}

void TNetTLSChannel::NotifyClosing() {
    if (!ssl_ || !handshakeDone_ || failed_ || shutdownSent_ || !SocketHandle())
        return;
    shutdownSent_ = true;
    ERR_clear_error();
    SSL_shutdown(ssl_);  // puts the close_notify alert into the output
    // The socket closes right after, whether or not the alert got out; a
    // peer that takes no more bytes is not waited for.
    FlushOutput(true);
    ERR_clear_error();
}

}  // namespace corvane::net
