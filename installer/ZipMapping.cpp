#include "installer/ZipMapping.h"

#include "core/FileContents.h"
#include "core/FileDescriptor.h"

#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterInstaller {
namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& file, int error) {
    throw std::filesystem::filesystem_error(what, file,
                                            std::error_code(error, std::generic_category()));
}

} // namespace

ZipMapping::ZipMapping(const std::filesystem::path& file) {
    // Closed once the mapping exists or has failed; the mapping outlives it.
    const FileDescriptor fd = CenterCore::openRegularFile(file);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        fail("cannot read package", file, errno);
    }
    size_ = static_cast<std::size_t>(status.st_size);
    if (size_ == 0) {
        return;
    }
    void* address = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address == MAP_FAILED) {
        fail("cannot map package", file, errno);
    }
    address_ = static_cast<const unsigned char*>(address);
}

ZipMapping::~ZipMapping() {
    if (address_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(address_), size_);
    }
}

} // namespace CenterInstaller
