#pragma once

#include "core/CHandle.h"

#include <openssl/evp.h>
#include <stdexcept>
#include <string>

// A fresh Ed25519 key pair for one test, signing as a publisher would.
class Ed25519Signer {
  public:
    Ed25519Signer() {
        CHandle<EVP_PKEY_CTX_free> context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
        EVP_PKEY* key = nullptr;
        if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
            EVP_PKEY_keygen(context.get(), &key) != 1) {
            throw std::runtime_error("cannot make an Ed25519 key");
        }
        key_.reset(key);
    }

    // The 32 raw bytes of the public key, the form the center's resources hold (in base64).
    [[nodiscard]] std::string publicKey() const {
        std::string raw(32, '\0');
        std::size_t length = raw.size();
        EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char*>(raw.data()),
                                    &length);
        return raw;
    }

    // The 64-byte signature of the message.
    [[nodiscard]] std::string sign(const std::string& message) const {
        std::string signature(64, '\0');
        std::size_t length = signature.size();
        CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get());
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        return signature;
    }

  private:
    CHandle<EVP_PKEY_free> key_;
};
