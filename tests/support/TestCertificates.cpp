#include "TestCertificates.h"

#include "Dovecot.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

constexpr long kDay = 24L * 3600L;

void AddExtension(X509* x, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext || X509_add_ext(x, ext, -1) != 1)
        throw std::runtime_error("test certificate: cannot add extension");
    X509_EXTENSION_free(ext);
}

// A self-signed certificate; the organisation keeps the subjects apart so
// that no certificate is ever taken for another's issuer.
TestIdentity Make(const char* organisation, const char* altNames, long fromSeconds, long toSeconds, long serial)
{
    TestIdentity id;
    id.key = EVP_EC_gen("P-256");
    id.cert = X509_new();
    if (!id.key || !id.cert)
        throw std::runtime_error("test certificate: no key");
    X509* x = id.cert;
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(x), toSeconds);
    X509_set_pubkey(x, id.key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(organisation), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(x, name);
    AddExtension(x, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(x, NID_subject_key_identifier, "hash");
    AddExtension(x, NID_subject_alt_name, altNames);
    if (X509_sign(x, id.key, EVP_sha256()) == 0)
        throw std::runtime_error("test certificate: cannot sign");

    BIO* mem = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(mem, x);
    char* data = nullptr;
    const long n = BIO_get_mem_data(mem, &data);
    id.certPem.assign(data, static_cast<size_t>(n));
    BIO_free(mem);
    return id;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Files this process wrote, removed when it ends.
struct TempFiles {
    std::vector<std::string> paths;
    ~TempFiles()
    {
        for (const std::string& p : paths)
            ::unlink(p.c_str());
    }
};

TempFiles& Written()
{
    static TempFiles files;
    return files;
}

} // namespace

const TestIdentity& TestCertificate(TestCert which)
{
    // Kept for the whole process, never destroyed (the peers' contexts hold
    // on to the certificates and keys).
    static const std::map<TestCert, TestIdentity>& all = *new std::map<TestCert, TestIdentity>{
        {TestCert::Trusted, Make("Pelko test trusted", "DNS:localhost,IP:127.0.0.1,IP:::1", -kDay, 30 * kDay, 1)},
        {TestCert::OtherName, Make("Pelko test other name", "DNS:mail.example.org", -kDay, 30 * kDay, 2)},
        {TestCert::Expired, Make("Pelko test expired", "DNS:localhost,IP:127.0.0.1", -30 * kDay, -kDay, 3)},
        {TestCert::Untrusted, Make("Pelko test untrusted", "DNS:localhost,IP:127.0.0.1,IP:::1", -kDay, 30 * kDay, 4)},
    };
    return all.at(which);
}

std::string WriteTrustFile(const std::string& name, const std::string& pemText)
{
    const std::string path = "/tmp/pelko-" + name + "-" + std::to_string(::getpid()) + ".pem";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << pemText;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
    Written().paths.push_back(path);
    return path;
}

std::string TrustTestCertificates()
{
    static const std::string path = [] {
        std::string bundle = TestCertificate(TestCert::Trusted).certPem +
                             TestCertificate(TestCert::OtherName).certPem +
                             TestCertificate(TestCert::Expired).certPem;
        if (DovecotTlsAvailable())
            bundle += FileText(DovecotCertFile());
        return WriteTrustFile("trust", bundle);
    }();
    ::setenv("SSL_CERT_FILE", path.c_str(), 1);
    return path;
}

} // namespace pelko
