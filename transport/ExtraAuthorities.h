#pragma once

#include "core/CHandle.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <vector>

// Certificate authorities trusted in addition to the system's, read from the PEM file that
// KESTRYN_CA_FILE names (a local test or demonstration server). They only add trust:
// certificate verification itself is never turned off.
class ExtraAuthorities {
  public:
    // The authorities of KESTRYN_CA_FILE, or none when it is unset. Throws
    // std::filesystem::filesystem_error when the file cannot be read and TransferError when it
    // holds no certificate.
    [[nodiscard]] static ExtraAuthorities fromEnvironment();

    [[nodiscard]] bool empty() const { return certificates_.empty(); }
    // Adds the authorities to the trust store of a TLS context that already holds the system's.
    void addTo(SSL_CTX* context) const;

  private:
    std::vector<CHandle<X509_free>> certificates_;
};
