#pragma once

#include "core/CHandle.h"

#include <filesystem>
#include <openssl/evp.h>
#include <string>
#include <string_view>

// The publisher's unencrypted Ed25519 signing key, read from its PEM file.
class PrivateKey {
  public:
    // Reads `file`. Throws CenterError::invalid for an encrypted key (never prompting for a pass
    // phrase) and for anything that is not an Ed25519 private key.
    explicit PrivateKey(const std::filesystem::path& file);

    // The raw 64-byte signature of `message`; throws CenterError::invalid with `failure` when
    // OpenSSL cannot sign.
    [[nodiscard]] std::string sign(std::string_view message, const std::string& failure) const;

  private:
    CHandle<EVP_PKEY_free> key;
};
