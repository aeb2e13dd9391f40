// The TCP connection that opens itself: resolves, binds, connects (with a
// time limit), optionally through a SOCKS 4, 4A or 5 proxy, and reports each
// stage through the status event.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/tcp_connection.h"

namespace corvane::net {

enum TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };
enum TSocksAuthentication { saNoAuthentication, saUsernamePassword };

// Proxy settings. Copying one copies all six settings.
struct TSocksInfo {
    TSocksAuthentication Authentication = saNoAuthentication;
    std::string Host;
    std::string Password;
    std::int32_t Port = 0;
    std::string UserID;
    TSocksVersion Version = svNoSocks;
};

class TNetTCPClient : public TNetTCPConnection {
  public:
    static constexpr std::int32_t DefaultConnectTimeout = 15000;
    static constexpr std::int32_t DefaultReadTimeout = 30000;

    TNetTCPClient();

    // Local address to bind before connecting; empty: any.
    std::string BoundIP;
    // Name or dotted address of the target.
    std::string Host;
    std::function<void(TNetTCPClient& sender)> OnConnected;
    std::int32_t Port = 0;
    TSocksInfo SocksInfo;
    // false sets the TCP no-delay option on each new socket.
    bool UseNagle = true;
    // Limit of one connect attempt in milliseconds (0: the platform's own).
    // Running into it raises ENetSocketError 10060. The idle-read limit is
    // ReadTimeout, 30 s by default on a client.
    std::int32_t ConnectTimeout = DefaultConnectTimeout;
    // Turns a host name into a dotted IPv4 address (raising when it cannot);
    // none: the stack's resolver.
    std::function<std::string(const std::string& host)> Resolver;

    virtual void DoOnConnected();
    // ENetAlreadyConnected while a socket is open. A failure before the proxy
    // negotiation closes the socket again; a failed negotiation leaves it open.
    virtual void OpenConnection();
    // OpenConnection, ReadUntilClosed, CloseConnection.
    virtual std::string OpenAndReadAll();

  private:
    std::string ResolveHost(const std::string& host);
    void NegotiateSocks4(bool withHostName);
    void NegotiateSocks5();
};

}  // namespace corvane::net
