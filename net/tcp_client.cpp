#include "net/tcp_client.h"

#include <cstring>

#include "base/scope_guard.h"

namespace corvane::net {

namespace {

constexpr std::size_t kMaxSocksField = 255;

void AppendPort(std::string& packet, std::int32_t port) {
    packet.push_back(static_cast<char>((port >> 8) & 0xFF));
    packet.push_back(static_cast<char>(port & 0xFF));
}

// A field the proxy reads up to a zero byte, or behind a one-byte length:
// checked before anything is sent, so that nothing is cut short or spills
// into the next field.
void CheckSocksField(const std::string& value, const char* what, bool lengthByte,
                     bool zeroTerminated) {
    if (lengthByte && value.size() > kMaxSocksField) {
        throw ENetSocksError(std::string("SOCKS ") + what + " is longer than 255 bytes.");
    }
    if (zeroTerminated && value.find('\0') != std::string::npos) {
        throw ENetSocksError(std::string("SOCKS ") + what + " contains a zero byte.");
    }
}

void CheckSocksPort(std::int32_t port) {
    if (port < 0 || port > 65535)
        throw ENetSocksError("SOCKS target port is out of range.");
}

}  // namespace

TNetTCPClient::TNetTCPClient() {
    ReadTimeout = DefaultReadTimeout;
}

void TNetTCPClient::DoOnConnected() {
    if (OnConnected)
        OnConnected(*this);
}

void TNetTCPClient::OpenConnection() {
    if (SocketHandle().IsAllocated())
        throw ENetAlreadyConnected();
    ResetForConnect();
    SocketHandle().Allocate(NetSocketStream, 0);
    {
        // A failure from here to the connect closes the socket again (with its
        // reports); should the close fail too, the caller still sees the step
        // that failed.
        const base::OnUnwind closeOnFailure([this] { CloseConnection(); });
        SocketHandle().SetIP(BoundIP);
        SocketHandle().BindLocal();
        const bool direct = SocksInfo.Version == svNoSocks;
        const std::string& host = direct ? Host : SocksInfo.Host;
        const std::int32_t port = direct ? Port : SocksInfo.Port;
        if (!TNetStack::IsIPv4Text(host))
            ReportStatus(StatusResolving, host);
        SocketHandle().SetRemote(ResolveHost(host), port);
        if (!UseNagle) {
            const std::int32_t one = 1;
            SocketHandle().SetOption(NetLevelTCP, NetOptionNoDelay, &one, sizeof one);
        }
        ReportStatus(StatusConnecting, SocketHandle().RemoteIP());
        // The connect attempt ends by the deadline too.
        bool bound = false;
        const std::int32_t limit =
            WaitWithinDeadline(ConnectTimeout > 0 ? ConnectTimeout : -1, bound);
        Stack().CheckSocketResult(
            SocketHandle().ConnectToRemote(NetAddressFamilyIPv4, limit < 0 ? 0 : limit));
    }
    if (SocksInfo.Version != svNoSocks) {
        // The proxy is spoken to in clear; a secure channel starts inside
        // the tunnel once it stands.
        const bool intercepted = InterceptEnabled();
        SetInterceptEnabled(false);
        switch (SocksInfo.Version) {
            case svSocks4:
                NegotiateSocks4(false);
                break;
            case svSocks4A:
                NegotiateSocks4(true);
                break;
            case svSocks5:
                NegotiateSocks5();
                break;
            case svNoSocks:
                break;
        }
        if (intercepted)
            SetInterceptEnabled(true);
    }
    if (InterceptEnabled() && Intercept())
        Intercept()->NotifyConnect(SocketHandle());
    ReportStatus(StatusConnected, SocketHandle().RemoteIP());
    DoOnConnected();
}

std::string TNetTCPClient::OpenAndReadAll() {
    OpenConnection();
    std::string all;
    {
        const base::OnUnwind closeOnFailure([this] { CloseConnection(); });
        all = ReadUntilClosed();
    }
    CloseConnection();
    return all;
}

std::string TNetTCPClient::ResolveHost(const std::string& host) {
    return Resolver ? Resolver(host) : Stack().ResolveAddress(host);
}

void TNetTCPClient::NegotiateSocks4(bool withHostName) {
    CheckSocksPort(Port);
    CheckSocksField(SocksInfo.UserID, "user name", false, true);
    if (withHostName)
        CheckSocksField(Host, "host name", true, true);
    TNetIPv4 address{0, 0, 0, 1};
    if (!withHostName)
        address = Stack().ParseIPv4(ResolveHost(Host));

    std::string request;
    request.push_back(4);
    request.push_back(1);
    AppendPort(request, Port);
    request.append(reinterpret_cast<const char*>(address.data()), 4);
    request += SocksInfo.UserID;
    request.push_back('\0');
    if (withHostName) {
        request += Host;
        request.push_back('\0');
    }
    WriteText(request);

    unsigned char reply[8];
    ReadExact(reply, sizeof reply);
    // The reply's version byte is 0; anything else is no SOCKS 4 reply.
    if (reply[0] != 0)
        throw ENetSocksServerRespondError();
    switch (reply[1]) {
        case 90:
            return;
        case 91:
            throw ENetSocksRequestFailed();
        case 92:
            throw ENetSocksRequestServerFailed();
        case 93:
            throw ENetSocksRequestIdentFailed();
        default:
            throw ENetSocksUnknownError();
    }
}

void TNetTCPClient::NegotiateSocks5() {
    const bool withPassword = SocksInfo.Authentication == saUsernamePassword;
    CheckSocksPort(Port);
    CheckSocksField(Host, "host name", true, true);
    if (withPassword) {
        CheckSocksField(SocksInfo.UserID, "user name", true, false);
        CheckSocksField(SocksInfo.Password, "password", true, false);
    }
    // Any failure to read a reply means the proxy did not answer properly.
    auto readReply = [this](unsigned char* bytes, std::int32_t count) {
        try {
            ReadExact(bytes, count);
        } catch (const ENetException&) {
            throw ENetSocksServerRespondError();
        }
    };

    const char method = withPassword ? 2 : 0;
    WriteText(std::string{5, 1, method});
    unsigned char reply[32];
    readReply(reply, 2);
    if (reply[0] != 5)
        throw ENetSocksServerRespondError();
    if (reply[1] != static_cast<unsigned char>(method))
        throw ENetSocksAuthMethodError();

    if (withPassword) {
        std::string auth;
        auth.push_back(1);
        auth.push_back(static_cast<char>(SocksInfo.UserID.size()));
        auth += SocksInfo.UserID;
        auth.push_back(static_cast<char>(SocksInfo.Password.size()));
        auth += SocksInfo.Password;
        WriteText(auth);
        readReply(reply, 2);
        if (reply[0] != 1)
            throw ENetSocksServerRespondError();
        if (reply[1] != 0)
            throw ENetSocksAuthError();
    }

    std::string request{5, 1, 0, 3};
    request.push_back(static_cast<char>(Host.size()));
    request += Host;
    AppendPort(request, Port);
    WriteText(request);

    // Version, reply code, reserved, address type and the address's first
    // byte; the rest is read exactly as long as the address type makes it, so
    // that nothing waits for bytes the proxy will not send.
    readReply(reply, 5);
    if (reply[0] != 5)
        throw ENetSocksServerRespondError();
    switch (reply[1]) {
        case 0:
            break;
        case 1:
            throw ENetSocksServerGeneralError();
        case 2:
            throw ENetSocksServerPermissionError();
        case 3:
            throw ENetSocksServerNetUnreachableError();
        case 4:
            throw ENetSocksServerHostUnreachableError();
        case 5:
            throw ENetSocksServerConnectionRefusedError();
        case 6:
            throw ENetSocksServerTTLExpiredError();
        case 7:
            throw ENetSocksServerCommandError();
        case 8:
            throw ENetSocksServerAddressError();
        default:
            throw ENetSocksUnknownError();
    }
    std::int32_t rest = 0;
    switch (reply[3]) {
        case 1:
            rest = 4 - 1 + 2;
            break;  // IPv4 address and port
        case 3:
            rest = reply[4] + 2;
            break;  // name of that length and port
        case 4:
            rest = 16 - 1 + 2;
            break;  // IPv6 address and port
        default:
            throw ENetSocksServerAddressError();
    }
    unsigned char tail[256 + 2];
    readReply(tail, rest);
}

}  // namespace corvane::net
