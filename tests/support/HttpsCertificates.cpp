#include "tests/support/HttpsCertificates.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeCertificate {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FreeBIO {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;
using Certificate = std::unique_ptr<X509, FreeCertificate>;

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::runtime_error(std::string("test certificates: ") + what);
    }
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    require(extension != nullptr, "extension");
    require(X509_add_ext(certificate, extension, -1) == 1, "extension");
    X509_EXTENSION_free(extension);
}

// A certificate for `key` named `commonName`; self-signed when there is no issuer.
Certificate newCertificate(EVP_PKEY* key, const char* commonName, long serial, X509* issuer,
                           EVP_PKEY* issuerKey) {
    Certificate certificate(X509_new());
    require(certificate != nullptr, "certificate");
    X509* raw = certificate.get();
    X509_set_version(raw, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(raw), serial);
    X509_gmtime_adj(X509_getm_notBefore(raw), -3600);
    X509_gmtime_adj(X509_getm_notAfter(raw), 7L * 24 * 3600);
    X509_set_pubkey(raw, key);
    X509_NAME* name = X509_get_subject_name(raw);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : raw;
    X509_set_issuer_name(raw, X509_get_subject_name(signer));
    addExtension(raw, signer, NID_subject_key_identifier, "hash");
    if (issuer == nullptr) {
        addExtension(raw, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(raw, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(raw, signer, NID_authority_key_identifier, "keyid:always");
        addExtension(raw, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(raw, signer, NID_key_usage, "critical,digitalSignature");
        addExtension(raw, signer, NID_ext_key_usage, "serverAuth");
        addExtension(raw, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    }
    require(X509_sign(raw, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signing");
    return certificate;
}

template <typename Write> std::string pem(Write write) {
    std::unique_ptr<BIO, FreeBIO> memory(BIO_new(BIO_s_mem()));
    require(memory != nullptr && write(memory.get()) == 1, "PEM encoding");
    char* data = nullptr;
    long length = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

} // namespace

HttpsCertificates HttpsCertificates::generate() {
    Key authorityKey = newKey();
    Certificate authority =
        newCertificate(authorityKey.get(), "KESTRYN Test Authority", 1, nullptr, nullptr);
    Key serverKey = newKey();
    Certificate server =
        newCertificate(serverKey.get(), "localhost", 2, authority.get(), authorityKey.get());
    return {
        pem([&](BIO* bio) { return PEM_write_bio_X509(bio, authority.get()); }),
        pem([&](BIO* bio) { return PEM_write_bio_X509(bio, server.get()); }),
        pem([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, serverKey.get(), nullptr, nullptr, 0, nullptr,
                                            nullptr);
        }),
    };
}
