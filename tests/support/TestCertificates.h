// Certificates made for the tests of https: a test CA that the process trusts through
// OpenSSL's SSL_CERT_FILE, and server certificates signed by it (good, for another host,
// expired) or by nobody (self-signed).
#pragma once

#include <string>

namespace ocelis::test {

struct TestCert {
    std::string CertPem;
    std::string KeyPem;
};

struct TestCertificates {
    std::string CaFile;
    TestCert Good;       // localhost and 127.0.0.1
    TestCert OtherHost;  // cam.other.example only
    TestCert Expired;    // localhost and 127.0.0.1, ended yesterday
    TestCert SelfSigned; // localhost and 127.0.0.1, not signed by the CA
};

// Made on the first call, which also sets SSL_CERT_FILE: call it before the first https
// request of the process.
const TestCertificates& TrustedTestCertificates();

} // namespace ocelis::test
