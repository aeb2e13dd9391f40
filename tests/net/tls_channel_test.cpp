// The TLS channel attached to a TCP client as its intercept, against nginx
// over TLS with the certificates of a test PKI, and against an OpenSSL
// server on a thread of the test that records what the client sent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "net/http_client.h"
#include "net/net_exceptions.h"
#include "net/page_fetch.h"
#include "net/tls_channel.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_pki.h"
#include "tests/support/tls_servers.h"
#include "tests/support/web_servers.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

std::unique_ptr<TNetTCPClient> Connect(TNetTLSChannel& channel, int port) {
    auto client = std::make_unique<TNetTCPClient>();
    client->Host = "127.0.0.1";
    client->Port = port;
    client->ConnectTimeout = 5000;
    client->ReadTimeout = 5000;
    channel.WaitTimeout = 5000;
    client->SetIntercept(&channel);
    client->SetInterceptEnabled(true);
    client->OpenConnection();
    return client;
}

// The message of the ENetTLSError that connecting raises, or a note that
// none came.
std::string FailureOf(TNetTLSChannel& channel, int port) {
    try {
        Connect(channel, port);
    } catch (const ENetTLSError& e) {
        return e.what();
    }
    return "(the handshake succeeded)";
}

std::string GetOverChannel(TNetTCPClient& client, const std::string& path) {
    client.WriteText("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    const std::string reply = client.ReadUntilClosed();
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? reply : reply.substr(end + 4);
}

// Sets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A page of n bytes that does not repeat in short periods.
std::string PageOf(std::size_t n) {
    std::string page;
    std::uint32_t x = 4711;
    while (page.size() < n) {
        x = x * 1103515245u + 12345u;
        page += static_cast<char>('a' + (x >> 16) % 26);
        if ((x >> 8) % 61 == 0)
            page += "\n";
    }
    return page;
}

TlsTestServer::Options ServerWith(const TestPki& pki) {
    TlsTestServer::Options o;
    o.ChainFile = pki.ChainFile(TestCert::Valid);
    o.KeyFile = pki.KeyFile(TestCert::Valid);
    return o;
}

}  // namespace

TEST(TlsChannel, ValidChainThroughTheExtraCaFileWithSniAndAlpn) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    {
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        auto client = Connect(channel, nginx.Port(TestCert::Valid));
        EXPECT_TRUE(channel.HandshakeDone());
        EXPECT_EQ(channel.NegotiatedProtocol(), "http/1.1");
        EXPECT_EQ(channel.ProtocolVersion(), "TLSv1.3");
        EXPECT_EQ(GetOverChannel(*client, "/tls-info"),
                  "sni=localhost alpn=http/1.1 protocol=TLSv1.3");
        EXPECT_TRUE(channel.PeerSentCloseNotify());
    }
    {
        // An address is verified as an address and sent without SNI.
        TNetTLSChannel channel;
        channel.HostName = "127.0.0.1";
        channel.CAFile = pki.RootFile();
        auto client = Connect(channel, nginx.Port(TestCert::Valid));
        EXPECT_EQ(GetOverChannel(*client, "/tls-info"), "sni= alpn=http/1.1 protocol=TLSv1.3");
    }
    {
        // Left for later, the handshake runs at the first write.
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        channel.HandshakeAtConnect = false;
        auto client = Connect(channel, nginx.Port(TestCert::Valid));
        EXPECT_FALSE(channel.HandshakeDone());
        EXPECT_EQ(GetOverChannel(*client, "/tls-info"),
                  "sni=localhost alpn=http/1.1 protocol=TLSv1.3");
    }
    {
        // Without a name the connected address is what the peer must prove.
        TNetTLSChannel channel;
        channel.CAFile = pki.RootFile();
        auto client = Connect(channel, nginx.Port(TestCert::Valid));
        EXPECT_TRUE(channel.HandshakeDone());
    }
}

TEST(TlsChannel, SystemStoreFollowsSslCertFileAndSslCertDir) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    const int port = nginx.Port(TestCert::Valid);
    {
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        EXPECT_NE(FailureOf(channel, port).find("unable to get local issuer certificate"),
                  std::string::npos);
    }
    {
        ScopedEnv file("SSL_CERT_FILE", pki.RootFile());
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        auto client = Connect(channel, port);
        EXPECT_EQ(GetOverChannel(*client, "/tls-info").substr(0, 14), "sni=localhost ");
    }
    {
        // The bundle is read when the extra CA file holds no issuer of the
        // chain, too.
        ScopedEnv file("SSL_CERT_FILE", pki.RootFile());
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.ChainFile(TestCert::SelfSigned);
        auto client = Connect(channel, port);
        EXPECT_TRUE(channel.HandshakeDone());
    }
    {
        // A hashed directory: <subject hash>.0 holds the root.
        TempFolder dir;
        X509* root = nullptr;
        if (FILE* f = std::fopen(pki.RootFile().c_str(), "r")) {
            root = PEM_read_X509(f, nullptr, nullptr, nullptr);
            std::fclose(f);
        }
        ASSERT_NE(root, nullptr);
        char hash[16];
        std::snprintf(hash, sizeof hash, "%08lx", X509_subject_name_hash(root));
        X509_free(root);
        std::filesystem::copy_file(pki.RootFile(), dir.Path() + "/" + hash + ".0");
        ScopedEnv file("SSL_CERT_FILE", dir.Path() + "/none.pem");
        ScopedEnv folder("SSL_CERT_DIR", dir.Path());
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        auto client = Connect(channel, port);
        EXPECT_TRUE(channel.HandshakeDone());
    }
}

TEST(TlsChannel, RejectedCertificatesNameTheirCause) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    const struct {
        TestCert cert;
        std::string host;
        std::string cause;
        long code;
    } cases[] = {
        {TestCert::Expired, "localhost", "certificate has expired", X509_V_ERR_CERT_HAS_EXPIRED},
        {TestCert::WrongHost, "localhost", "host name mismatch", X509_V_ERR_HOSTNAME_MISMATCH},
        {TestCert::Valid, "127.0.0.2", "IP address mismatch", X509_V_ERR_IP_ADDRESS_MISMATCH},
        {TestCert::Valid, "otherhost", "host name mismatch", X509_V_ERR_HOSTNAME_MISMATCH},
        {TestCert::SelfSigned, "localhost", "self-signed certificate",
         X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT},
        {TestCert::MissingIntermediate, "localhost", "unable to get local issuer certificate",
         X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(TestPki::Name(c.cert)) + " as " + c.host);
        TNetTLSChannel channel;
        channel.HostName = c.host;
        channel.CAFile = pki.RootFile();
        try {
            Connect(channel, nginx.Port(c.cert));
            ADD_FAILURE() << "the handshake succeeded";
        } catch (const ENetTLSError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("TLS certificate problem: " + c.cause, 0), 0u)
                << e.what();
            EXPECT_EQ(e.VerifyResult, c.code);
        }
        EXPECT_FALSE(channel.HandshakeDone());
    }
}

TEST(TlsChannel, InsecureModeAcceptsAnyCertificate) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    for (TestCert cert : {TestCert::SelfSigned, TestCert::WrongHost, TestCert::Expired}) {
        SCOPED_TRACE(TestPki::Name(cert));
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.Insecure = true;
        auto client = Connect(channel, nginx.Port(cert));
        EXPECT_EQ(GetOverChannel(*client, "/tls-info"),
                  "sni=localhost alpn=http/1.1 protocol=TLSv1.3");
    }
}

TEST(TlsChannel, PeerSeesSniAlpnAndCloseNotify) {
    TestPki pki;
    {
        auto options = ServerWith(pki);
        options.ReplyAfter = "\n";
        options.Reply = "pong\n";
        TlsTestServer server(options);
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        auto client = Connect(channel, server.Port());
        client->WriteLine("ping");
        EXPECT_EQ(client->ReadLine(), "pong");
        client->CloseConnection();
        const TlsTestServer::Session s = server.Wait();
        EXPECT_EQ(s.ServerName, "localhost");
        EXPECT_EQ(s.OfferedAlpn, std::vector<std::string>{"http/1.1"});
        EXPECT_EQ(s.Received, "ping\r\n");
        EXPECT_TRUE(s.CloseNotify);
    }
    {
        // A client dropped while connected still ends the channel cleanly.
        TlsTestServer server(ServerWith(pki));
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        Connect(channel, server.Port())->WriteText("bye");
        const TlsTestServer::Session s = server.Wait();
        EXPECT_EQ(s.Received, "bye");
        EXPECT_TRUE(s.CloseNotify);
    }
}

TEST(TlsChannel, RenegotiationIsRefused) {
    TestPki pki;
    auto options = ServerWith(pki);
    options.MaxVersion = TLS1_2_VERSION;
    options.ReplyAfter = "\n";
    options.Reply = "ok\n";
    options.RenegotiateAfterReply = true;
    TlsTestServer server(options);
    TNetTLSChannel channel;
    channel.HostName = "localhost";
    channel.CAFile = pki.RootFile();
    auto client = Connect(channel, server.Port());
    EXPECT_EQ(channel.ProtocolVersion(), "TLSv1.2");
    client->WriteLine("go");
    EXPECT_EQ(client->ReadLine(), "ok");
    // The next read meets the server's request and turns it down; the
    // server gives up on the connection.
    EXPECT_THROW(client->ReadLine(), ENetException);
    const TlsTestServer::Session s = server.Wait();
    EXPECT_FALSE(s.Renegotiated);
    EXPECT_NE(s.ReadError.find("no renegotiation"), std::string::npos) << s.ReadError;
}

TEST(TlsChannel, ProtocolFailuresSayWhatWentWrong) {
    TestPki pki;
    {
        // A peer that speaks at most TLS 1.1 is refused.
        auto options = ServerWith(pki);
        options.MinVersion = TLS1_VERSION;
        options.MaxVersion = TLS1_1_VERSION;
        options.Ciphers = "DEFAULT:@SECLEVEL=0";
        TlsTestServer server(options);
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.CAFile = pki.RootFile();
        const std::string failure = FailureOf(channel, server.Port());
        EXPECT_EQ(failure.rfind("TLS handshake failed: ", 0), 0u) << failure;
        EXPECT_NE(failure.find("protocol"), std::string::npos) << failure;
        EXPECT_FALSE(server.Wait().HandshakeDone);
    }
    {
        // A plain HTTP answer to the ClientHello.
        ScriptedPeer peer(
            PeerScript().ReadBytes(5).Send("HTTP/1.1 400 Bad Request\r\n\r\n").Close());
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        const std::string failure = FailureOf(channel, peer.Port());
        EXPECT_EQ(failure.rfind("TLS handshake failed: ", 0), 0u) << failure;
        EXPECT_GT(failure.size(), std::string("TLS handshake failed: ").size());
    }
    {
        // A peer that closes at once.
        ScriptedPeer peer(PeerScript().Close());
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        EXPECT_EQ(FailureOf(channel, peer.Port()),
                  "TLS handshake failed: connection closed by the peer");
    }
}

TEST(TlsChannel, SilentPeerRunsIntoTheWaitLimitAndTheDeadline) {
    ScriptedPeer peer(2, [](int) { return PeerScript().Pause(3000).Close(); });
    {
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        auto client = std::make_unique<TNetTCPClient>();
        client->Host = "127.0.0.1";
        client->Port = peer.Port();
        client->SetIntercept(&channel);
        client->SetInterceptEnabled(true);
        channel.WaitTimeout = 200;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(client->OpenConnection(), ENetReadTimeout);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    {
        TNetTLSChannel channel;
        channel.HostName = "localhost";
        channel.WaitTimeout = 0;
        channel.Deadline = TNetTLSChannel::Clock::now() + std::chrono::milliseconds(200);
        auto client = std::make_unique<TNetTCPClient>();
        client->Host = "127.0.0.1";
        client->Port = peer.Port();
        client->SetIntercept(&channel);
        client->SetInterceptEnabled(true);
        const auto start = std::chrono::steady_clock::now();
        try {
            client->OpenConnection();
            ADD_FAILURE() << "the handshake succeeded";
        } catch (const ENetReadTimeout& e) {
            EXPECT_STREQ(e.what(), "TLS handshake timed out.");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

// Bytes the channel has already taken from the socket must be readable
// without new bytes arriving: the rest of a record after a short read, and
// whole records that came in with an earlier one.
TEST(TlsChannel, ReadsWhatItHoldsWithoutWaitingForTheSocket) {
    TestPki pki;
    auto options = ServerWith(pki);
    options.Records = {"abcdefghij\n", "second\n", "third\n"};
    TlsTestServer server(options);
    TNetTLSChannel channel;
    channel.HostName = "localhost";
    channel.CAFile = pki.RootFile();
    auto client = Connect(channel, server.Port());
    client->ReadTimeout = 1000;
    channel.WaitTimeout = 1000;
    // Let every record arrive before the first read.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    TextSink sink;
    client->ReadToStream(sink, 3);
    EXPECT_EQ(sink.Text(), "abc");
    EXPECT_EQ(client->ReadLine(), "defghij");
    EXPECT_EQ(client->ReadLine(), "second");
    EXPECT_EQ(client->ReadLine(), "third");
}

TEST(TlsChannel, HttpExchangesOverTheChannel) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    const std::string page = PageOf(3 * 1024 * 1024 + 17);
    const std::string head = PageOf(70 * 1024);
    nginx.AddFile("page.html", page);
    nginx.AddFile("chunked/page.html", head + "<!--# echo var=\"request_method\" -->" + head);

    TNetTLSChannel channel;
    channel.HostName = "localhost";
    channel.CAFile = pki.RootFile();
    TNetHTTP http;
    http.ConnectTimeout = 5000;
    http.ReadTimeout = 5000;
    http.SetIntercept(&channel);
    TextSink body;
    http.SendGet(nginx.Url(TestCert::Valid, "/page.html"), &body);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_TRUE(body.Text() == page) << body.Text().size() << " bytes instead of " << page.size();

    // The same connection carries the next exchange, a chunked one.
    TextSink chunked;
    http.SendGet(nginx.Url(TestCert::Valid, "/chunked/page.html"), &chunked);
    EXPECT_EQ(http.ResponseInfo.ExtraHeaders.ValueOf("Transfer-Encoding"), "chunked");
    EXPECT_TRUE(chunked.Text() == head + "GET" + head) << chunked.Text().size() << " bytes";
    EXPECT_TRUE(http.IsConnected());
    EXPECT_EQ(nginx.Log().find("SSL_do_handshake"), std::string::npos) << nginx.Log();
}

TEST(TlsChannel, HandshakeRunsAfterTheProxyTunnel) {
    TestPki pki;
    NginxTlsServer nginx(pki);
    nginx.AddFile("index.html", "through the tunnel");
    TinyproxyServer proxy;
    TNetTLSChannel channel;
    channel.HostName = "localhost";
    channel.CAFile = pki.RootFile();
    TNetHTTP http;
    http.ConnectTimeout = 5000;
    http.ReadTimeout = 5000;
    http.Request.ProxyServer = "127.0.0.1";
    http.Request.ProxyPort = proxy.Port();
    http.SetIntercept(&channel);
    http.SetInterceptEnabled(true);
    TextSink body;
    http.SendGet(nginx.Url(TestCert::Valid, "/index.html"), &body);
    EXPECT_EQ(body.Text(), "through the tunnel");
    EXPECT_NE(proxy.Log().find("CONNECT"), std::string::npos);
}
