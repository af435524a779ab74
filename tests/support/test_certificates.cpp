#include "support/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace harbeat::test {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

constexpr long kDay = 24 * 60 * 60;

Key newKey() {
    Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) throw std::runtime_error("cannot make a test key");
    return key;
}

void addExtension(X509 *certificate, X509 *issuer, int nid, const char *value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension) throw std::runtime_error("cannot make a certificate extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for `subjectKey` named `commonName`, valid from now+fromDays to now+untilDays,
// signed by issuerKey (issuer null: self-signed). altNames empty makes a CA.
Certificate makeCertificate(EVP_PKEY *subjectKey, const char *commonName, const char *altNames, long fromDays,
                            long untilDays, X509 *issuer, EVP_PKEY *issuerKey, long serial) {
    Certificate certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), fromDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), untilDays * kDay);
    X509_set_pubkey(certificate.get(), subjectKey);
    X509_NAME *name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(commonName), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : name);
    X509 *signer = issuer ? issuer : certificate.get();
    if (*altNames == '\0') {
        addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(certificate.get(), signer, NID_subject_alt_name, altNames);
        addExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    addExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
    if (X509_sign(certificate.get(), issuerKey, EVP_sha256()) == 0) throw std::runtime_error("cannot sign");
    return certificate;
}

void writePem(const std::string &path, X509 *certificate, EVP_PKEY *key) {
    FILE *file = std::fopen(path.c_str(), "w");
    if (!file) throw std::runtime_error("cannot write " + path);
    const bool written = certificate ? PEM_write_X509(file, certificate) == 1
                                     : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(file);
    if (!written) throw std::runtime_error("cannot write " + path);
}

CertificateFiles writePair(const std::filesystem::path &folder, const std::string &name, X509 *certificate,
                           EVP_PKEY *key) {
    CertificateFiles files{(folder / (name + ".pem")).string(), (folder / (name + ".key")).string()};
    writePem(files.certificate, certificate, nullptr);
    writePem(files.key, nullptr, key);
    return files;
}

}  // namespace

TestCertificates::TestCertificates() {
    folder_ = std::filesystem::temp_directory_path() / ("harbeat-certs-" + std::to_string(::getpid()) + "-" +
                                                        std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(folder_);
    const char *local = "DNS:localhost,IP:127.0.0.1";

    const Key caKey = newKey();
    const Certificate ca = makeCertificate(caKey.get(), "Harbeat Test CA", "", -1, 365, nullptr, caKey.get(), 1);
    caFile_ = (folder_ / "ca.pem").string();
    writePem(caFile_, ca.get(), nullptr);

    const Key key = newKey();
    trusted_ =
        writePair(folder_, "trusted",
                  makeCertificate(key.get(), "localhost", local, -1, 365, ca.get(), caKey.get(), 2).get(), key.get());
    selfSigned_ =
        writePair(folder_, "self-signed",
                  makeCertificate(key.get(), "localhost", local, -1, 365, nullptr, key.get(), 3).get(), key.get());
    const Certificate old = makeCertificate(key.get(), "localhost", local, -30, -10, ca.get(), caKey.get(), 4);
    expired_ = writePair(folder_, "expired", old.get(), key.get());
    otherHost_ = writePair(
        folder_, "other-host",
        makeCertificate(key.get(), "news.example.net", "DNS:news.example.net", -1, 365, ca.get(), caKey.get(), 5).get(),
        key.get());

    std::tm until{};
    ASN1_TIME_to_tm(X509_get0_notAfter(old.get()), &until);
    char day[32];
    std::strftime(day, sizeof day, "%Y-%m-%d", &until);
    expiredOn_ = day;
}

TestCertificates::~TestCertificates() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace harbeat::test
