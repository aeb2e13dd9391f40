// The socket stack interface: the abstract stack TNetStack, whose Sys* calls
// are the only way the network code reaches the platform's sockets (IPv4,
// blocking calls), and the operations every stack shares on top of them
// (address texts, name resolution, checking call results). It holds no
// platform calls of its own beyond byte-order conversion; TNetStackPosix
// (net/posix_stack.h) is the implementation over POSIX sockets and
// TNetSocketHandle (net/socket_handle.h) the socket object built on a stack.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace corvane::net {

using TNetSocket = std::int32_t;
constexpr TNetSocket InvalidNetSocket = -1;

// Timeout values count milliseconds; WaitForever waits without limit.
constexpr std::int32_t WaitForever = -2;

// Numbers handed to the stack calls (the classic socket numbering).
constexpr int NetAddressFamilyIPv4 = 2;
constexpr int NetSocketStream = 1;
constexpr int NetLevelTCP = 6;
constexpr int NetOptionNoDelay = 1;
constexpr int NetShutdownSending = 1;
// A send flag: move what fits in the socket's buffer now and return, never
// wait for room (nothing fits: -1 with 10035, "would block").
constexpr int NetSendNoWait = 0x40;

// Integer rule shared by the address parsers: optional leading blanks, then a
// sign and decimal digits within the signed 32-bit range, or "$", "x" or "0x"
// and hexadecimal digits of at most 32 bits, which are the integer's two's
// complement bits ("$FFFFFFFF" is -1); nothing after. False for anything else.
bool TryParseNetInteger(const std::string& text, std::int32_t& value);

// IPv4 address in network byte order (the bytes in text order).
using TNetIPv4 = std::array<std::uint8_t, 4>;

// Base of the socket stacks. The Sys* calls are thin wrappers over the
// platform calls; they return -1 on failure and leave the error code for
// SysGetLastError, unless stated otherwise.
class TNetStack {
  public:
    TNetStack() = default;
    virtual ~TNetStack() = default;
    TNetStack(const TNetStack&) = delete;
    TNetStack& operator=(const TNetStack&) = delete;

    // Local addresses: every address of this host's name, formatted.
    virtual void FillLocalAddresses(std::vector<std::string>& list);
    std::string LocalAddress();
    const std::vector<std::string>& LocalAddresses();

    virtual TNetSocket SysAccept(TNetSocket socket, std::string& ip, std::int32_t& port) = 0;
    virtual std::int32_t SysBind(TNetSocket socket, int family, const std::string& ip,
                                 std::int32_t port) = 0;
    virtual std::int32_t SysCloseSocket(TNetSocket socket) = 0;
    // Connects within timeoutMs milliseconds (0: as long as the platform's own
    // attempt lasts); running out of time fails with 10060.
    virtual std::int32_t SysConnect(TNetSocket socket, int family, const std::string& ip,
                                    std::int32_t port, std::int32_t timeoutMs) = 0;
    // The first IPv4 address of the host, formatted; raises ENetSocketError
    // with the lookup's error code when there is none.
    virtual std::string SysGetHostByName(const std::string& host) = 0;
    virtual std::string SysGetHostName() = 0;
    virtual std::string SysGetHostByAddr(const std::string& ip) = 0;
    // The port of a service name; a name the platform does not know is read
    // as an integer, else ENetInvalidServiceName.
    virtual std::int32_t SysGetServByName(const std::string& name) = 0;
    // The service's official name followed by its aliases.
    virtual std::vector<std::string> SysGetServByPort(std::int32_t port) = 0;
    virtual std::uint16_t SysHostToNet16(std::uint16_t value);
    virtual std::int32_t SysListen(TNetSocket socket, std::int32_t backlog) = 0;
    virtual std::uint16_t SysNetToHost16(std::uint16_t value);
    virtual std::uint32_t SysHostToNet32(std::uint32_t value);
    virtual std::uint32_t SysNetToHost32(std::uint32_t value);
    virtual std::int32_t SysRecv(TNetSocket socket, void* buffer, std::int32_t capacity,
                                 int flags) = 0;
    virtual std::int32_t SysRecvFrom(TNetSocket socket, void* buffer, std::int32_t capacity,
                                     int flags, std::string& ip, std::int32_t& port) = 0;
    // Waits until a socket of a list is ready (read, write, exceptional
    // condition); each given list is replaced by its ready sockets. Returns the
    // number of ready entries, 0 when the time ran out, -1 on failure. More
    // than 64 sockets in one list raise ENetStackSetSizeExceeded.
    virtual std::int32_t SysSelect(std::vector<TNetSocket>* readList,
                                   std::vector<TNetSocket>* writeList, std::int32_t timeout,
                                   std::vector<TNetSocket>* exceptList) = 0;
    virtual std::int32_t SysSend(TNetSocket socket, const void* bytes, std::int32_t count,
                                 int flags) = 0;
    virtual std::int32_t SysSendTo(TNetSocket socket, const void* bytes, std::int32_t count,
                                   int flags, const std::string& ip, std::int32_t port) = 0;
    virtual std::int32_t SysSetSockOpt(TNetSocket socket, int level, int option, const void* value,
                                       std::int32_t length) = 0;
    virtual TNetSocket SysSocket(int family, int type, int protocol) = 0;
    virtual std::int32_t SysShutdown(TNetSocket socket, int how) = 0;
    virtual std::int32_t SysGetLastError() = 0;
    // Address and port of the connected peer / of the local end; a failure
    // raises ENetSocketError.
    virtual void SysGetPeerName(TNetSocket socket, int& family, std::string& ip,
                                std::int32_t& port) = 0;
    virtual void SysGetSockName(TNetSocket socket, int& family, std::string& ip,
                                std::int32_t& port) = 0;
    virtual std::string FormatIPv4(const TNetIPv4& address);
    // Raises EConvertError for a part that is not an integer.
    virtual TNetIPv4 ParseIPv4(const std::string& text);

    // Whole-file transmit: sends the file on the socket; the number of bytes
    // sent (the file's size), or 0 when the transfer failed. Stacks without
    // one answer false to HasTransmitFile.
    virtual bool HasTransmitFile() const { return false; }
    virtual std::int64_t SysTransmitFile(TNetSocket socket, const std::string& path);

    virtual std::string Name() const = 0;

    // Operations built on the calls above.
    // A stream socket or the like; ENetInvalidSocket when none can be had.
    TNetSocket OpenSocket(int type, int protocol);
    // "LOCALHOST" (any case) and dotted texts without a lookup, else a lookup.
    std::string ResolveAddress(const std::string& host);
    static bool IsIPv4Text(const std::string& text);
    // false when result is not -1; else true when the last error is one of the
    // tolerated codes, and ENetSocketError for any other.
    bool CheckSocketResult(std::int32_t result, std::initializer_list<std::int32_t> tolerated = {});
    [[noreturn]] static void ThrowSocketError(std::int32_t code);

  private:
    std::unique_ptr<std::vector<std::string>> localAddresses_;
};

}  // namespace corvane::net
