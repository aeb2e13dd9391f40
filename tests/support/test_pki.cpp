#include "tests/support/test_pki.h"

#include <memory>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace corvane::testing {

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

constexpr long kDay = 24L * 60 * 60;

[[noreturn]] void Fail(const std::string& what) {
    char reason[256] = {};
    ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
    ERR_clear_error();
    throw std::runtime_error("test PKI: " + what + ": " + reason);
}

KeyPtr NewKey() {
    KeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    if (!key)
        Fail("key generation");
    return key;
}

void AddExtension(X509* cert, X509V3_CTX& ctx, int nid, const char* value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext || X509_add_ext(cert, ext, -1) != 1)
        Fail(std::string("extension ") + value);
    X509_EXTENSION_free(ext);
}

struct CertProfile {
    std::string commonName;
    bool ca = false;
    std::string altNames;    // subjectAltName value, empty for none
    long validFrom = -kDay;  // seconds from now
    long validTo = 30 * kDay;
};

// A certificate for `key`, signed by the issuer (itself when none).
CertPtr NewCert(const CertProfile& profile, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                long serial) {
    CertPtr cert(X509_new(), X509_free);
    if (!cert)
        Fail("certificate");
    X509* x = cert.get();
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), profile.validFrom);
    X509_gmtime_adj(X509_getm_notAfter(x), profile.validTo);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Corvane tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(profile.commonName.c_str()),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : x;
    X509_set_issuer_name(x, X509_get_subject_name(signer));

    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, signer, x, nullptr, nullptr, 0);
    AddExtension(x, ctx, NID_subject_key_identifier, "hash");
    if (issuer)
        AddExtension(x, ctx, NID_authority_key_identifier, "keyid:always");
    if (profile.ca) {
        AddExtension(x, ctx, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(x, ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(x, ctx, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(x, ctx, NID_key_usage, "critical,digitalSignature");
        AddExtension(x, ctx, NID_ext_key_usage, "serverAuth");
    }
    if (!profile.altNames.empty())
        AddExtension(x, ctx, NID_subject_alt_name, profile.altNames.c_str());
    if (X509_sign(x, issuer ? issuerKey : key, EVP_sha256()) <= 0)
        Fail("signing " + profile.commonName);
    return cert;
}

void WritePem(const std::string& path, std::initializer_list<X509*> certs, EVP_PKEY* key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new_file(path.c_str(), "w"), BIO_free);
    if (!out)
        Fail("writing " + path);
    for (X509* cert : certs) {
        if (PEM_write_bio_X509(out.get(), cert) != 1)
            Fail("writing " + path);
    }
    if (key &&
        PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        Fail("writing " + path);
    }
}

}  // namespace

const char* TestPki::Name(TestCert which) {
    switch (which) {
        case TestCert::Valid:
            return "valid";
        case TestCert::Expired:
            return "expired";
        case TestCert::WrongHost:
            return "wrong-host";
        case TestCert::SelfSigned:
            return "self-signed";
        case TestCert::MissingIntermediate:
            return "missing-intermediate";
    }
    return "unknown";
}

std::string TestPki::ChainFile(TestCert which) const {
    return folder_.Path() + "/" + Name(which) + ".chain.pem";
}

std::string TestPki::KeyFile(TestCert which) const {
    // The leaf without its intermediate is the valid one.
    const TestCert owner = which == TestCert::MissingIntermediate ? TestCert::Valid : which;
    return folder_.Path() + "/" + Name(owner) + ".key.pem";
}

TestPki::TestPki() {
    const KeyPtr rootKey = NewKey();
    const CertPtr root = NewCert({"Corvane Test Root CA", true, "", -kDay, 3650 * kDay},
                                 rootKey.get(), nullptr, nullptr, 1);
    const KeyPtr midKey = NewKey();
    const CertPtr mid = NewCert({"Corvane Test Intermediate CA", true, "", -kDay, 3650 * kDay},
                                midKey.get(), root.get(), rootKey.get(), 2);
    WritePem(RootFile(), {root.get()}, nullptr);

    const std::string local = "DNS:localhost,IP:127.0.0.1";
    long serial = 10;
    auto leaf = [&](TestCert which, const CertProfile& profile, bool selfSigned) {
        const KeyPtr key = NewKey();
        const CertPtr cert = selfSigned
                                 ? NewCert(profile, key.get(), nullptr, nullptr, serial++)
                                 : NewCert(profile, key.get(), mid.get(), midKey.get(), serial++);
        WritePem(KeyFile(which), {}, key.get());
        if (selfSigned) {
            WritePem(ChainFile(which), {cert.get()}, nullptr);
        } else {
            WritePem(ChainFile(which), {cert.get(), mid.get()}, nullptr);
        }
        if (which == TestCert::Valid)
            WritePem(ChainFile(TestCert::MissingIntermediate), {cert.get()}, nullptr);
    };
    leaf(TestCert::Valid, {"localhost", false, local}, false);
    leaf(TestCert::Expired, {"localhost", false, local, -30 * kDay, -kDay}, false);
    leaf(TestCert::WrongHost, {"wrong.example", false, "DNS:wrong.example"}, false);
    leaf(TestCert::SelfSigned, {"localhost", false, local}, true);
}

}  // namespace corvane::testing
