#include "selfupdate/Ed25519.h"

#include "installer/ZipMapping.h"

#include <memory>
#include <openssl/evp.h>

namespace Ed25519 {
namespace {

struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeContext {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

bool verifies(std::string_view message, std::string_view signature, std::string_view publicKey) {
    if (publicKey.size() != 32 || signature.size() != 64) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, FreeKey> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.data()),
        publicKey.size()));
    std::unique_ptr<EVP_MD_CTX, FreeContext> context(EVP_MD_CTX_new());
    return key && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

bool verifiesFile(const std::filesystem::path& file, std::string_view signature,
                  std::string_view publicKey) {
    // Ed25519 hashes the message twice, so the whole file must be at hand; a mapping keeps it
    // out of the heap.
    CenterInstaller::ZipMapping mapping(file);
    auto bytes = mapping.bytes();
    return verifies(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    signature, publicKey);
}

} // namespace Ed25519
