// The socket error numbering and its messages. Holds the error codes the
// network code tests for by number, the mapping of the platform's errno and
// name-lookup results onto the numbering of the message table (10004..10066,
// and 11001..11004 for failed name lookups), and the message texts. Pure
// functions: it touches no socket and no other part of the network code.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::net {

// Error codes the code tests for by number.
constexpr std::int32_t NetErrorWouldBlock = 10035;
constexpr std::int32_t NetErrorAddressInUse = 10048;
constexpr std::int32_t NetErrorShutdown = 10058;
constexpr std::int32_t NetErrorTimedOut = 10060;
constexpr std::int32_t NetErrorRefused = 10061;
constexpr std::int32_t NetErrorHostNotFound = 11001;
constexpr std::int32_t NetErrorTryAgain = 11002;
constexpr std::int32_t NetErrorNoRecovery = 11003;
constexpr std::int32_t NetErrorNoData = 11004;

// The socket error code for a platform errno value; values without a
// counterpart in the table are passed through unchanged.
std::int32_t SocketErrorFromErrno(int error);
// The socket error code for a failed getaddrinfo (its EAI_ result and the
// errno it left).
std::int32_t SocketErrorFromLookup(int lookupResult, int error);

// "Socket Error # <code>\r\n<text>", the text from the message table (empty
// for a code outside it).
std::string SocketErrorMessage(std::int32_t code);

}  // namespace corvane::net
