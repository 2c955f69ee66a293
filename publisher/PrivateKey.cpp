#include "publisher/PrivateKey.h"

#include "core/CenterError.h"
#include "core/FileContents.h"

#include <openssl/err.h>
#include <openssl/pem.h>

namespace {

// Answers OpenSSL's request for a pass phrase with none, so an encrypted key is refused instead
// of prompting on the terminal; notes that the key asked for one.
int refusePassphrase(char*, int, int, void* asked) {
    *static_cast<bool*>(asked) = true;
    return -1;
}

} // namespace

PrivateKey::PrivateKey(const std::filesystem::path& file) {
    std::string pem = CenterCore::readFileContents(file, 64 * 1024);
    CHandle<BIO_free> memory(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    bool encrypted = false;
    key.reset(memory ? PEM_read_bio_PrivateKey(memory.get(), nullptr, &refusePassphrase, &encrypted)
                     : nullptr);
    ERR_clear_error();
    if (!key && encrypted) {
        throw CenterError::invalid("签名私钥已加密，请改用未加密的私钥：" + file.string());
    }
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        throw CenterError::invalid("签名私钥无效：" + file.string());
    }
}

std::string PrivateKey::sign(std::string_view message, const std::string& failure) const {
    CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1) {
        throw CenterError::invalid(failure);
    }
    return signature;
}
