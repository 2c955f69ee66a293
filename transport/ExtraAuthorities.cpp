#include "transport/ExtraAuthorities.h"

#include "core/FileContents.h"
#include "transport/TransferError.h"

#include <cstdlib>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <string>

namespace {

constexpr std::size_t maximumBundleBytes = 16 * 1024 * 1024;

} // namespace

ExtraAuthorities ExtraAuthorities::fromEnvironment() {
    ExtraAuthorities authorities;
    const char* file = std::getenv("KESTRYN_CA_FILE");
    if (file == nullptr || *file == '\0') {
        return authorities;
    }
    std::string pem = CenterCore::readFileContents(file, maximumBundleBytes);
    CHandle<BIO_free> input(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    while (input && pem.size() <= maximumBundleBytes) {
        X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr) {
            break;
        }
        authorities.certificates_.emplace_back(certificate);
    }
    // The loop ends on the end-of-file error that PEM reading always leaves behind.
    ERR_clear_error();
    if (authorities.certificates_.empty()) {
        throw TransferError::unusableAuthorities(file);
    }
    return authorities;
}

void ExtraAuthorities::addTo(SSL_CTX* context) const {
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    for (const auto& certificate : certificates_) {
        // A certificate the system already trusts is refused as a duplicate, which is harmless.
        X509_STORE_add_cert(store, certificate.get());
    }
    ERR_clear_error();
}
