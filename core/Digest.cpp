#include "core/Digest.h"

#include "core/CHandle.h"
#include "core/CenterError.h"
#include "core/FileContents.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "core/Unicode.h"

#include <cerrno>
#include <cstdlib>
#include <openssl/evp.h>
#include <unistd.h>

namespace CenterCore {
namespace {

constexpr std::size_t chunkBytes = 1024 * 1024;
constexpr std::size_t pageBytes = 4096;

} // namespace

std::string sha256(const std::filesystem::path& file) {
    FileDescriptor input = openRegularFile(file);
    CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        throw std::bad_alloc();
    }
    // A page-aligned buffer: the kernel copies into it several times faster than into the
    // unaligned block malloc returns for this size.
    CHandle<std::free> memory(std::aligned_alloc(pageBytes, chunkBytes));
    auto* chunk = static_cast<unsigned char*>(memory.get());
    if (chunk == nullptr) {
        throw std::bad_alloc();
    }
    for (;;) {
        ssize_t count = ::read(input.get(), chunk, chunkBytes);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwFileError(FileOperation::Read, file);
        }
        if (count == 0) {
            break;
        }
        EVP_DigestUpdate(context.get(), chunk, static_cast<std::size_t>(count));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0x0F]);
    }
    return text;
}

void verifyFile(const std::filesystem::path& file, const ReleaseArtifact& artifact) {
    const std::uintmax_t size = fileSize(file);
    if (static_cast<std::int64_t>(size) != artifact.byteCount) {
        throw CenterError::checksum();
    }
    if (sha256(file) != lowercased(artifact.sha256)) {
        throw CenterError::checksum();
    }
}

} // namespace CenterCore
