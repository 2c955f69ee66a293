#include "core/Base64.h"
#include "core/CHandle.h"
#include "core/CenterError.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "publisher/Verbs.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

namespace {

CHandle<EVP_PKEY_free> generateKey() {
    EVP_PKEY* key = nullptr;
    CHandle<EVP_PKEY_CTX_free> context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &key) != 1) {
        throw CenterError::invalid("无法生成签名密钥。");
    }
    return CHandle<EVP_PKEY_free>(key);
}

// PKCS #8 PEM, the form `openssl pkeyutl` reads as well.
std::string privateKeyPEM(EVP_PKEY* key) {
    CHandle<BIO_free> memory(BIO_new(BIO_s_mem()));
    if (!memory ||
        PEM_write_bio_PrivateKey(memory.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw CenterError::invalid("无法生成签名密钥。");
    }
    char* data = nullptr;
    long length = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string rawPublicKey(EVP_PKEY* key) {
    std::string raw(32, '\0');
    std::size_t length = raw.size();
    if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(raw.data()), &length) !=
            1 ||
        length != raw.size()) {
        throw CenterError::invalid("无法生成签名密钥。");
    }
    return raw;
}

// Creates the file only if nothing is there yet, readable by its owner alone.
void writeNewFile(const std::filesystem::path& file, const std::string& content, mode_t mode) {
    FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid()) {
        if (errno == EEXIST) {
            throw CenterError::invalid("密钥文件已存在，未覆盖：" + file.string());
        }
        CenterCore::throwFileError(CenterCore::FileOperation::Create, file);
    }
    ssize_t written = ::write(fd.get(), content.data(), content.size());
    int saved = errno;
    bool synced = ::fsync(fd.get()) == 0;
    fd.reset();
    if (written != static_cast<ssize_t>(content.size()) || !synced) {
        CenterCore::throwFileError(CenterCore::FileOperation::Write, file, saved);
    }
}

} // namespace

int keygenVerb(const Arguments& arguments) {
    std::filesystem::path folder = arguments.positionals(1)[0];
    CenterCore::createDirectories(folder);
    auto key = generateKey();
    std::filesystem::path privateFile = folder / "private.key";
    std::filesystem::path publicFile = folder / "PublicKey.txt";
    if (CenterCore::exists(publicFile)) {
        throw CenterError::invalid("密钥文件已存在，未覆盖：" + publicFile.string());
    }
    writeNewFile(privateFile, privateKeyPEM(key.get()), 0600);
    writeNewFile(publicFile, CenterCore::base64Encode(rawPublicKey(key.get())) + "\n", 0644);
    std::cout << publicFile.string() << '\n';
    return 0;
}
