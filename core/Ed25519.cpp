#include "core/Ed25519.h"

#include "core/CHandle.h"

#include <openssl/evp.h>

namespace CenterCore {
namespace {

constexpr std::size_t publicKeyBytes = 32;
constexpr std::size_t signatureBytes = 64;

CHandle<EVP_PKEY_free> ed25519Key(std::string_view raw) {
    return CHandle<EVP_PKEY_free>(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(raw.data()), raw.size()));
}

} // namespace

bool isEd25519PublicKey(std::string_view publicKey) {
    return publicKey.size() == publicKeyBytes && ed25519Key(publicKey) != nullptr;
}

bool ed25519Verifies(std::string_view message, std::string_view signature,
                     std::string_view publicKey) {
    if (publicKey.size() != publicKeyBytes || signature.size() != signatureBytes) {
        return false;
    }
    CHandle<EVP_PKEY_free> key = ed25519Key(publicKey);
    CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    return key && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

} // namespace CenterCore
