#include "transport/GrowingDigest.h"

#include "core/CHandle.h"
#include "core/CenterError.h"
#include "core/FileOperationError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// Read back in steps the size of the download's writes, which stay in a core's cache.
constexpr std::size_t chunkBytes = 256 * 1024;
// The reader yields to the transfer it checks: it hashes in the time the transfer leaves free,
// and catches up once the last byte is written.
constexpr int readerNiceness = 10;
constexpr std::size_t pageBytes = 4096;

std::string hexText(const unsigned char* digest, unsigned int length) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hex[digest[i] >> 4]);
        text.push_back(hex[digest[i] & 0x0F]);
    }
    return text;
}

} // namespace

GrowingDigest::~GrowingDigest() {
    stop();
}

void GrowingDigest::started(const std::filesystem::path& file, std::int64_t size) {
    stop();
    input_.reset(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!input_.valid()) {
        CenterCore::throwFileError(CenterCore::FileOperation::Open, file);
    }
    {
        std::lock_guard lock(mutex_);
        available_ = size;
        final_ = -1;
        stopping_ = false;
        hashed_ = 0;
        digest_.clear();
        failure_ = nullptr;
    }
    reader_ = std::thread([this] { read(); });
}

void GrowingDigest::grew(std::int64_t size) {
    {
        std::lock_guard lock(mutex_);
        available_ = size;
    }
    changed_.notify_one();
}

std::string GrowingDigest::finish(std::int64_t size) {
    {
        std::lock_guard lock(mutex_);
        final_ = size;
        available_ = std::max(available_, size);
    }
    changed_.notify_one();
    if (reader_.joinable()) {
        reader_.join();
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    struct stat status {};
    if (!input_.valid() || hashed_ != size || ::fstat(input_.get(), &status) != 0 ||
        status.st_size != size) {
        throw CenterError::checksum();
    }
    return digest_;
}

void GrowingDigest::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    if (reader_.joinable()) {
        reader_.join();
    }
}

void GrowingDigest::read() {
    // Best effort: refused, the proof holds all the same and only competes with the transfer.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), readerNiceness);
    try {
        CHandle<EVP_MD_CTX_free> context(EVP_MD_CTX_new());
        CHandle<std::free> memory(std::aligned_alloc(pageBytes, chunkBytes));
        if (!context || !memory || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
            throw std::bad_alloc();
        }
        auto* chunk = static_cast<unsigned char*>(memory.get());
        std::int64_t offset = 0;
        for (;;) {
            std::int64_t target = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stopping_ || available_ > offset || (final_ >= 0 && offset >= final_);
                });
                if (stopping_) {
                    return;
                }
                if (final_ >= 0 && offset >= final_) {
                    break;
                }
                target = final_ >= 0 ? std::min(available_, final_) : available_;
            }
            while (offset < target) {
                auto want = static_cast<std::size_t>(
                    std::min<std::int64_t>(target - offset, static_cast<std::int64_t>(chunkBytes)));
                ssize_t count = ::pread(input_.get(), chunk, want, offset);
                if (count < 0 && errno == EINTR) {
                    continue;
                }
                if (count < 0) {
                    throw CenterCore::FileOperationError(
                        CenterCore::FileOperation::Read,
                        std::error_code(errno, std::generic_category()));
                }
                if (count == 0) {
                    // Shorter on disk than written: not the file the download wrote.
                    throw CenterError::checksum();
                }
                EVP_DigestUpdate(context.get(), chunk, static_cast<std::size_t>(count));
                offset += count;
            }
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context.get(), digest, &length);
        std::lock_guard lock(mutex_);
        hashed_ = offset;
        digest_ = hexText(digest, length);
    } catch (...) {
        std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
    }
}
