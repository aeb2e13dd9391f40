// The operations every socket stack shares, built on its Sys* calls; see
// net/socket_stack.h.
#include "net/socket_stack.h"

#include <arpa/inet.h>

#include <algorithm>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "net/net_exceptions.h"
#include "net/socket_errors.h"

namespace corvane::net {

bool TryParseNetInteger(const std::string& text, std::int32_t& value) {
    // Hexadecimal texts cover the whole 32 bits ("$FFFFFFFF" is -1); address
    // parts are range-checked or cut to 8 bits by their callers.
    return base::TryReadInt32Bits(text, value);
}

void TNetStack::FillLocalAddresses(std::vector<std::string>& list) {
    list.clear();
    list.push_back(SysGetHostByName(SysGetHostName()));
}

std::string TNetStack::LocalAddress() {
    const auto& list = LocalAddresses();
    return list.empty() ? std::string() : list.front();
}

const std::vector<std::string>& TNetStack::LocalAddresses() {
    if (!localAddresses_)
        localAddresses_ = std::make_unique<std::vector<std::string>>();
    FillLocalAddresses(*localAddresses_);
    return *localAddresses_;
}

std::uint16_t TNetStack::SysHostToNet16(std::uint16_t value) {
    return htons(value);
}
std::uint16_t TNetStack::SysNetToHost16(std::uint16_t value) {
    return ntohs(value);
}
std::uint32_t TNetStack::SysHostToNet32(std::uint32_t value) {
    return htonl(value);
}
std::uint32_t TNetStack::SysNetToHost32(std::uint32_t value) {
    return ntohl(value);
}

std::string TNetStack::FormatIPv4(const TNetIPv4& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

TNetIPv4 TNetStack::ParseIPv4(const std::string& text) {
    TNetIPv4 out{};
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        std::size_t dot = start <= text.size() ? text.find('.', start) : std::string::npos;
        const std::string piece =
            start <= text.size()
                ? text.substr(start, dot == std::string::npos ? std::string::npos : dot - start)
                : std::string();
        std::int32_t v = 0;
        if (!TryParseNetInteger(piece, v))
            throw EConvertError(piece);
        out[static_cast<std::size_t>(part)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFFu);
        start = dot == std::string::npos ? text.size() + 1 : dot + 1;
    }
    return out;
}

std::int64_t TNetStack::SysTransmitFile(TNetSocket, const std::string&) {
    return 0;
}

TNetSocket TNetStack::OpenSocket(int type, int protocol) {
    const TNetSocket s = SysSocket(NetAddressFamilyIPv4, type, protocol);
    if (s == InvalidNetSocket)
        throw ENetInvalidSocket();
    return s;
}

std::string TNetStack::ResolveAddress(const std::string& host) {
    if (base::EqualsIgnoringCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (IsIPv4Text(host))
        return host;
    return SysGetHostByName(host);
}

bool TNetStack::IsIPv4Text(const std::string& text) {
    std::string parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = text.find('.', start);
        if (dot == std::string::npos)
            return false;  // a missing part is empty
        parts[i] = text.substr(start, dot - start);
        start = dot + 1;
    }
    parts[3] = text.substr(start);
    for (const std::string& p : parts) {
        std::int32_t v = 0;
        if (!TryParseNetInteger(p, v) || v < 0 || v > 255)
            return false;
    }
    return true;
}

bool TNetStack::CheckSocketResult(std::int32_t result,
                                  std::initializer_list<std::int32_t> tolerated) {
    if (result != -1)
        return false;
    const std::int32_t code = SysGetLastError();
    if (std::find(tolerated.begin(), tolerated.end(), code) != tolerated.end())
        return true;
    ThrowSocketError(code);
}

void TNetStack::ThrowSocketError(std::int32_t code) {
    throw ENetSocketError(code, SocketErrorMessage(code));
}

}  // namespace corvane::net
