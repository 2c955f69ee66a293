#pragma once

#include "core/Records.h"

#include <memory>
#include <string>
#include <string_view>

struct evp_pkey_st;

// An Ed25519 key pair made for one test, and signed catalog envelopes made with it.
class CatalogSigner {
  public:
    CatalogSigner();
    ~CatalogSigner();

    // The 32 raw bytes of the public key.
    [[nodiscard]] std::string publicKey() const;
    // The envelope of exactly these catalog bytes.
    [[nodiscard]] std::string envelope(std::string_view payload) const;
    // The envelope of a catalog record.
    [[nodiscard]] std::string envelope(const CenterCatalog& catalog) const;

    // A small valid catalog: the registered product "audio" with one release.
    [[nodiscard]] static CenterCatalog sampleCatalog();

  private:
    struct FreeKey {
        void operator()(evp_pkey_st* key) const;
    };
    std::unique_ptr<evp_pkey_st, FreeKey> key_;
};
