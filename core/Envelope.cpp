#include "core/Envelope.h"

#include "core/Base64.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Ed25519.h"
#include "core/FileContents.h"
#include "core/Registry.h"
#include "core/Validation.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace CenterCore {
namespace {

constexpr std::size_t publicKeyBytes = 32;
constexpr std::size_t signatureBytes = 64;
// A key file holds 44 characters; anything far larger is not one.
constexpr std::size_t largestKeyFile = 4096;

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\n\r\v\f";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// The decoded payload bytes once the signature over them has verified; nothing otherwise.
std::optional<std::string> signedPayload(std::string_view envelope, std::string_view publicKey) {
    if (envelope.size() > maximumEnvelopeBytes || publicKey.size() != publicKeyBytes) {
        return std::nullopt;
    }
    nlohmann::json document = nlohmann::json::parse(envelope, nullptr, false);
    if (!document.is_object()) {
        return std::nullopt;
    }
    auto payloadText = document.find("payload");
    auto signatureText = document.find("signature");
    if (payloadText == document.end() || !payloadText->is_string() ||
        signatureText == document.end() || !signatureText->is_string()) {
        return std::nullopt;
    }
    std::optional<std::string> payload = base64Decode(payloadText->get_ref<const std::string&>());
    std::optional<std::string> signature =
        base64Decode(signatureText->get_ref<const std::string&>());
    if (!payload || !signature || signature->size() != signatureBytes) {
        return std::nullopt;
    }
    if (!ed25519Verifies(*payload, *signature, publicKey)) {
        return std::nullopt;
    }
    return payload;
}

// The raw key of a file in the `PublicKey.txt` format, or nothing when it holds none.
std::optional<std::string> publicKeyOf(std::string_view content) {
    std::optional<std::string> key = base64Decode(trimmed(content));
    if (!key || !isEd25519PublicKey(*key)) {
        return std::nullopt;
    }
    return key;
}

} // namespace

std::string loadPublicKey(const std::filesystem::path& resources) {
    const CenterError unavailable = CenterError::invalid("尚未配置发布公钥，线上更新暂不可用。");
    std::string content;
    try {
        content = readFileContents(resources / "PublicKey.txt", largestKeyFile);
    } catch (const std::filesystem::filesystem_error&) {
        throw unavailable;
    }
    std::optional<std::string> key = publicKeyOf(content);
    if (!key) {
        throw unavailable;
    }
    return *key;
}

std::string loadPublicKeyFile(const std::filesystem::path& keyFile) {
    const CenterError notAKey =
        CenterError::invalid("“" + keyFile.string() + "”不是发布公钥文件。");
    std::string content;
    try {
        content = readFileContents(keyFile, largestKeyFile);
    } catch (const std::filesystem::filesystem_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            throw CenterError::invalid("公钥文件“" + keyFile.string() + "”不存在。");
        }
        if (error.code() == std::errc::is_a_directory) {
            throw notAKey;
        }
        throw;
    }
    std::optional<std::string> key = publicKeyOf(content);
    if (!key) {
        throw notAKey;
    }
    return *key;
}

CenterCatalog verifyCatalog(std::string_view envelope, std::string_view publicKey) {
    std::optional<std::string> payload = signedPayload(envelope, publicKey);
    if (!payload) {
        throw CenterError::signature();
    }
    CenterCatalog catalog = decodeCatalog(*payload);
    validateCatalog(catalog);
    validateRegistered(catalog);
    return catalog;
}

} // namespace CenterCore
