// A throwaway public-key infrastructure made with OpenSSL when a test starts:
// a root CA, an intermediate CA under it, and server certificates for the
// cases a TLS client must tell apart. Nothing is committed; the keys live in
// a temporary folder that goes away with the object.
#pragma once

#include <string>

#include "tests/support/proxy_servers.h"

namespace corvane::testing {

// Which server certificate (and which chain a server sends with it):
enum class TestCert {
    Valid,                // for "localhost" and 127.0.0.1, leaf + intermediate
    Expired,              // as Valid, but its validity ended yesterday
    WrongHost,            // valid, for "wrong.example" only
    SelfSigned,           // for "localhost" and 127.0.0.1, signed by itself
    MissingIntermediate,  // the Valid leaf sent without its intermediate
};

inline constexpr TestCert kAllTestCerts[] = {TestCert::Valid, TestCert::Expired,
                                             TestCert::WrongHost, TestCert::SelfSigned,
                                             TestCert::MissingIntermediate};

class TestPki {
  public:
    // Makes every key and certificate (EC P-256, SHA-256); std::runtime_error
    // when OpenSSL fails.
    TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    // The root CA's certificate (PEM): the one trust anchor clients need.
    std::string RootFile() const { return folder_.Path() + "/root.pem"; }
    // What a server sends (PEM, leaf first) and its private key.
    std::string ChainFile(TestCert which) const;
    std::string KeyFile(TestCert which) const;

    static const char* Name(TestCert which);

  private:
    TempFolder folder_;
};

}  // namespace corvane::testing
