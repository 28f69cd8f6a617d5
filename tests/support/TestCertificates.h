#pragma once
// Certificates for the TLS tests, made in memory once per test process: no
// files from elsewhere, nothing to expire between runs.
//   Trusted    CN localhost, subjectAltName localhost, 127.0.0.1, ::1
//   OtherName  trusted, but for mail.example.org only
//   Expired    trusted, for localhost, but its time ended yesterday
//   Untrusted  self-signed for localhost, in no trust store
#include <string>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace pelko {

enum class TestCert { Trusted, OtherName, Expired, Untrusted };

struct TestIdentity {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    std::string certPem;
};

const TestIdentity& TestCertificate(TestCert which);

// Points SSL_CERT_FILE (OpenSSL's standard variable, read by the client
// when it makes its context) at a bundle of the trusted test certificates
// plus the test dovecot's certificate when that server runs. Returns the
// bundle's path. Call before the connection that should trust them.
std::string TrustTestCertificates();

// A bundle of the given PEM texts in a file of this process (removed at exit).
std::string WriteTrustFile(const std::string& name, const std::string& pemText);

} // namespace pelko
