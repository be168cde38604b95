#include "support/TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

namespace ocelis::test {

namespace {

using TKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using TCert = std::unique_ptr<X509, decltype(&X509_free)>;

constexpr long kDay = 24 * 3600;

void Check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificates: ") + what);
}

TKey NewKey() {
    TKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", const_cast<char*>("P-256")), EVP_PKEY_free);
    Check(key != nullptr, "key");
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    Check(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, value);
    X509_EXTENSION_free(ext);
}

// issuer null: self-signed.
TCert MakeCert(EVP_PKEY* key, const char* commonName, const char* altNames, X509* issuer,
               EVP_PKEY* issuerKey, long fromSec, long toSec, bool ca) {
    static long serial = 1;
    TCert cert(X509_new(), X509_free);
    X509* x = cert.get();
    Check(x != nullptr, "new");
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), fromSec);
    X509_gmtime_adj(X509_getm_notAfter(x), toSec);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : x;
    AddExtension(x, signer, NID_subject_key_identifier, "hash");
    if (ca) {
        AddExtension(x, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(x, signer, NID_basic_constraints, "CA:FALSE");
        AddExtension(x, signer, NID_ext_key_usage, "serverAuth");
        AddExtension(x, signer, NID_subject_alt_name, altNames);
        if (issuer)
            AddExtension(x, signer, NID_authority_key_identifier, "keyid");
    }
    Check(X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

std::string Pem(X509* cert) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string out(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    return out;
}

std::string Pem(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string out(data, static_cast<std::size_t>(n));
    BIO_free(bio);
    return out;
}

TestCert Leaf(const char* altNames, X509* ca, EVP_PKEY* caKey, long fromSec, long toSec) {
    TKey key = NewKey();
    TCert cert =
        MakeCert(key.get(), "Ocelis test server", altNames, ca, caKey, fromSec, toSec, false);
    return {Pem(cert.get()), Pem(key.get())};
}

TestCertificates Make() {
    TestCertificates out;
    TKey caKey = NewKey();
    TCert ca =
        MakeCert(caKey.get(), "Ocelis test CA", nullptr, nullptr, nullptr, -kDay, kDay, true);
    const char* local = "DNS:localhost,IP:127.0.0.1";
    out.Good = Leaf(local, ca.get(), caKey.get(), -kDay, kDay);
    out.OtherHost = Leaf("DNS:cam.other.example", ca.get(), caKey.get(), -kDay, kDay);
    out.Expired = Leaf(local, ca.get(), caKey.get(), -3 * kDay, -kDay);
    out.SelfSigned = Leaf(local, nullptr, nullptr, -kDay, kDay);

    const char* tmp = std::getenv("TMPDIR");
    out.CaFile = std::string(tmp && *tmp ? tmp : "/tmp") + "/ocelis-test-ca-" +
                 std::to_string(getpid()) + ".pem";
    std::ofstream(out.CaFile) << Pem(ca.get());
    Check(setenv("SSL_CERT_FILE", out.CaFile.c_str(), 1) == 0, "SSL_CERT_FILE");
    return out;
}

} // namespace

const TestCertificates& TrustedTestCertificates() {
    static const TestCertificates certs = Make();
    static const struct Remover {
        ~Remover() { unlink(certs.CaFile.c_str()); }
    } remover;
    return certs;
}

} // namespace ocelis::test
