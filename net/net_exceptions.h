// The exception family of the web-access code, with the program's message
// texts. Every failure of the network code is an ENetException (or, for a
// number that does not convert, an EConvertError).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane::net {

class ENetException : public std::runtime_error {
  public:
    explicit ENetException(const std::string& message) : std::runtime_error(message) {}
};

// A text that should be a decimal number and is not.
class EConvertError : public std::runtime_error {
  public:
    explicit EConvertError(const std::string& text)
        : std::runtime_error("'" + text + "' is not a valid integer value") {}
};

// Declares a class of the family whose default message is fixed.
#define CORVANE_NET_EXCEPTION(Name, Base, Text)                      \
    class Name : public Base {                                       \
      public:                                                        \
        Name() : Base(Text) {}                                       \
        explicit Name(const std::string& message) : Base(message) {} \
    }

// Declares an intermediate class that only carries a message.
#define CORVANE_NET_EXCEPTION_BASE(Name, Base)                       \
    class Name : public Base {                                       \
      public:                                                        \
        explicit Name(const std::string& message) : Base(message) {} \
    }

CORVANE_NET_EXCEPTION(ENetAlreadyConnected, ENetException, "Already connected.");
CORVANE_NET_EXCEPTION(ENetInvalidSocket, ENetException, "Cannot allocate socket.");
CORVANE_NET_EXCEPTION(ENetFailedToRetreiveTimeZoneInfo, ENetException,
                      "Failed attempting to retrieve time zone information.");
CORVANE_NET_EXCEPTION_BASE(ENetTableNotFound, ENetException);
CORVANE_NET_EXCEPTION(ENetReadTimeout, ENetException, "Read timed out.");
// The connection's deadline passed while it waited (see
// TNetTCPConnection::Deadline).
CORVANE_NET_EXCEPTION(ENetDeadlineExceeded, ENetReadTimeout, "Operation timed out.");
// A host name that could not be turned into an address.
CORVANE_NET_EXCEPTION(ENetNameNotResolved, ENetException, "Could not resolve host.");

class ENetInvalidServiceName : public ENetException {
  public:
    explicit ENetInvalidServiceName(const std::string& name)
        : ENetException(name + " is not a valid service.") {}
};

class ENetStackCanNotLoadWinsock : public ENetException {
  public:
    explicit ENetStackCanNotLoadWinsock(const std::string& library)
        : ENetException(library + " could not be loaded.") {}
};

CORVANE_NET_EXCEPTION_BASE(ENetSilentException, ENetException);
CORVANE_NET_EXCEPTION(ENetConnClosedGracefully, ENetSilentException,
                      "Connection Closed Gracefully.");

class ENetSocketError : public ENetException {
  public:
    ENetSocketError(std::int32_t code, const std::string& message)
        : ENetException(message), ErrorCode(code) {}
    std::int32_t ErrorCode;
};

class ENetProtocolReplyError : public ENetException {
  public:
    ENetProtocolReplyError(std::int32_t code, const std::string& message)
        : ENetException(message), ReplyCode(code) {}
    std::int32_t ReplyCode;
};

CORVANE_NET_EXCEPTION_BASE(ENetSocketHandleError, ENetException);
CORVANE_NET_EXCEPTION(ENetCouldNotBindSocket, ENetSocketHandleError,
                      "Could not bind socket. Address and port are already in use.");

CORVANE_NET_EXCEPTION_BASE(ENetStackError, ENetException);
CORVANE_NET_EXCEPTION(ENetStackInitializationFailed, ENetStackError,
                      "Winsock Initialization Error.");
CORVANE_NET_EXCEPTION(ENetStackSetSizeExceeded, ENetStackError, "Set Size Exceeded.");

CORVANE_NET_EXCEPTION_BASE(ENetTCPConnectionError, ENetException);
CORVANE_NET_EXCEPTION(ENetNotEnoughDataInBuffer, ENetTCPConnectionError,
                      "Not enough data in buffer.");
CORVANE_NET_EXCEPTION(ENetNoDataToRead, ENetTCPConnectionError, "No data to read.");
CORVANE_NET_EXCEPTION(ENetInterceptPropIsNil, ENetTCPConnectionError,
                      "InterceptEnabled cannot be set to true when Intercept is nil.");
CORVANE_NET_EXCEPTION(ENetInterceptPropInvalid, ENetTCPConnectionError,
                      "Intercept value is not valid");
CORVANE_NET_EXCEPTION(ENetObjectTypeNotSupported, ENetTCPConnectionError,
                      "Object type not supported.");
CORVANE_NET_EXCEPTION(ENetLineTooLong, ENetTCPConnectionError, "Line too long.");

// A secure channel could not be set up or broke down: the handshake failed,
// the peer's certificate was not accepted (VerifyResult then holds the
// verification code, else it is 0), or a record could not be read.
class ENetTLSError : public ENetException {
  public:
    explicit ENetTLSError(const std::string& message, long verifyResult = 0)
        : ENetException(message), VerifyResult(verifyResult) {}
    long VerifyResult;
};

CORVANE_NET_EXCEPTION_BASE(ENetSocksError, ENetException);
CORVANE_NET_EXCEPTION(ENetSocksRequestFailed, ENetSocksError, "Request rejected or failed.");
CORVANE_NET_EXCEPTION(ENetSocksRequestServerFailed, ENetSocksError,
                      "Request rejected because SOCKS server cannot connect.");
CORVANE_NET_EXCEPTION(
    ENetSocksRequestIdentFailed, ENetSocksError,
    "Request rejected because the client program and identd report different user-ids.");
CORVANE_NET_EXCEPTION(ENetSocksUnknownError, ENetSocksError, "Unknown socks error.");
CORVANE_NET_EXCEPTION(ENetSocksServerRespondError, ENetSocksError, "Socks server did not respond.");
CORVANE_NET_EXCEPTION(ENetSocksAuthMethodError, ENetSocksError,
                      "Invalid socks authentication method.");
CORVANE_NET_EXCEPTION(ENetSocksAuthError, ENetSocksError, "Authentication error to socks server.");
CORVANE_NET_EXCEPTION(ENetSocksServerGeneralError, ENetSocksError, "General SOCKS server failure.");
CORVANE_NET_EXCEPTION(ENetSocksServerPermissionError, ENetSocksError,
                      "Connection not allowed by ruleset.");
CORVANE_NET_EXCEPTION(ENetSocksServerNetUnreachableError, ENetSocksError, "Network unreachable.");
CORVANE_NET_EXCEPTION(ENetSocksServerHostUnreachableError, ENetSocksError, "Host unreachable.");
CORVANE_NET_EXCEPTION(ENetSocksServerConnectionRefusedError, ENetSocksError, "Connection refused.");
CORVANE_NET_EXCEPTION(ENetSocksServerTTLExpiredError, ENetSocksError, "TTL expired.");
CORVANE_NET_EXCEPTION(ENetSocksServerCommandError, ENetSocksError, "Command not supported.");
CORVANE_NET_EXCEPTION(ENetSocksServerAddressError, ENetSocksError, "Address type not supported.");

#undef CORVANE_NET_EXCEPTION
#undef CORVANE_NET_EXCEPTION_BASE

}  // namespace corvane::net
