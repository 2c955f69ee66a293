#include "tests/transport/CatalogSigner.h"

#include "core/Base64.h"
#include "core/CatalogJSON.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <stdexcept>

void CatalogSigner::FreeKey::operator()(evp_pkey_st* key) const {
    EVP_PKEY_free(key);
}

CatalogSigner::CatalogSigner() {
    EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &key) != 1) {
        throw std::runtime_error("Ed25519 key generation failed");
    }
    key_.reset(key);
}

CatalogSigner::~CatalogSigner() = default;

std::string CatalogSigner::publicKey() const {
    std::string raw(32, '\0');
    std::size_t length = raw.size();
    EVP_PKEY_get_raw_public_key(key_.get(), reinterpret_cast<unsigned char*>(raw.data()), &length);
    return raw;
}

std::string CatalogSigner::envelope(std::string_view payload) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(payload.data()),
                       payload.size()) != 1) {
        throw std::runtime_error("Ed25519 signing failed");
    }
    return nlohmann::json{{"payload", CenterCore::base64Encode(payload)},
                          {"signature", CenterCore::base64Encode(signature)}}
        .dump();
}

std::string CatalogSigner::envelope(const CenterCatalog& catalog) const {
    return envelope(CenterCore::toJSON(catalog).dump());
}

CenterCatalog CatalogSigner::sampleCatalog() {
    CenterProduct product;
    product.id = "audio";
    product.bundleID = "local.soundlink";
    product.name = "回响工坊";
    product.kind = "音频";
    product.minOS = "13.0";
    product.release = CenterRelease{"2.1.0", "210", "2026-12-01T00:00:00Z", {"更稳定的降噪"}, {}};
    return {1, "2026-12-01T00:00:00Z", {product}};
}
