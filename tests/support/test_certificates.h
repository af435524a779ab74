// Throwaway certificates for TLS tests, made with OpenSSL at test time in a temporary folder (so
// nothing secret is ever committed): a test CA and server certificates signed by it or by
// themselves. The folder is removed with the object.
#pragma once

#include <filesystem>
#include <string>

namespace harbeat::test {

struct CertificateFiles {
    std::string certificate;  // PEM chain: the server certificate (and nothing else)
    std::string key;          // PEM private key
};

class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates &) = delete;
    TestCertificates &operator=(const TestCertificates &) = delete;

    // The test CA, to trust through the option "tls-ca-file".
    const std::string &caFile() const { return caFile_; }
    // For 127.0.0.1 and localhost, signed by the CA, valid from yesterday to next year.
    const CertificateFiles &trusted() const { return trusted_; }
    // For 127.0.0.1 and localhost, signed by its own key.
    const CertificateFiles &selfSigned() const { return selfSigned_; }
    // For 127.0.0.1 and localhost, signed by the CA, valid only in the past (expiredOn()).
    const CertificateFiles &expired() const { return expired_; }
    // For news.example.net only, signed by the CA.
    const CertificateFiles &otherHost() const { return otherHost_; }
    // The last day of the expired certificate, as "YYYY-MM-DD" (UTC).
    const std::string &expiredOn() const { return expiredOn_; }

private:
    std::filesystem::path folder_;
    std::string caFile_;
    CertificateFiles trusted_, selfSigned_, expired_, otherHost_;
    std::string expiredOn_;
};

}  // namespace harbeat::test
