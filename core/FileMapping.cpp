#include "core/FileMapping.h"

#include "core/FileContents.h"
#include "core/FileDescriptor.h"

#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {
namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& file, int error) {
    throw std::filesystem::filesystem_error(what, file,
                                            std::error_code(error, std::generic_category()));
}

} // namespace

FileMapping::FileMapping(const std::filesystem::path& file) {
    // Closed once the mapping exists or has failed; the mapping outlives it.
    const FileDescriptor fd = openRegularFile(file);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        fail("cannot read file", file, errno);
    }
    size_ = static_cast<std::size_t>(status.st_size);
    if (size_ == 0) {
        return;
    }
    void* address = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address == MAP_FAILED) {
        fail("cannot map file", file, errno);
    }
    address_ = static_cast<const unsigned char*>(address);
}

FileMapping::~FileMapping() {
    if (address_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(address_), size_);
    }
}

} // namespace CenterCore
