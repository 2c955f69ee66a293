#include "core/Base64.h"
#include "core/CHandle.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/Registry.h"
#include "core/Validation.h"
#include "publisher/Verbs.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

// Answers OpenSSL's request for a pass phrase with none, so an encrypted key is refused instead
// of prompting on the terminal; notes that the key asked for one.
int refusePassphrase(char*, int, int, void* asked) {
    *static_cast<bool*>(asked) = true;
    return -1;
}

CHandle<EVP_PKEY_free> readPrivateKey(const std::filesystem::path& file) {
    std::string pem = CenterCore::readFileContents(file, 64 * 1024);
    CHandle<BIO_free> memory(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    bool encrypted = false;
    CHandle<EVP_PKEY_free> key(
        memory ? PEM_read_bio_PrivateKey(memory.get(), nullptr, &refusePassphrase, &encrypted)
               : nullptr);
    ERR_clear_error();
    if (!key && encrypted) {
        throw CenterError::invalid("签名私钥已加密，请改用未加密的私钥：" + file.string());
    }
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        throw CenterError::invalid("签名私钥无效：" + file.string());
    }
    return key;
}

std::string sign(EVP_PKEY* key, const std::string& message) {
    CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        throw CenterError::invalid("无法签署发布清单。");
    }
    return signature;
}

} // namespace

int signVerb(const Arguments& arguments) {
    std::filesystem::path catalogFile = arguments.positionals(1)[0];
    auto key = readPrivateKey(arguments.required("--key"));
    std::string document =
        CenterCore::readFileContents(catalogFile, CenterCore::maximumEnvelopeBytes);
    if (document.size() > CenterCore::maximumEnvelopeBytes) {
        throw CenterError::invalid("签名后的发布清单超过 8 MiB，软件中心不会接受。");
    }

    // The same checks the center makes, so a publisher never ships a catalog it would reject.
    CenterCatalog catalog = CenterCore::decodeCatalog(document);
    CenterCore::validateCatalog(catalog);
    CenterCore::validateRegistered(catalog);

    nlohmann::json envelope = {{"payload", CenterCore::base64Encode(document)},
                               {"signature", CenterCore::base64Encode(sign(key.get(), document))}};
    std::string text = envelope.dump();
    if (text.size() + 1 > CenterCore::maximumEnvelopeBytes) {
        throw CenterError::invalid("签名后的发布清单超过 8 MiB，软件中心不会接受。");
    }
    std::cout << text << '\n';
    return 0;
}
