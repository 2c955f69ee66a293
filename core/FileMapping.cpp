#include "core/FileMapping.h"

#include "core/FileContents.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"

#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {

FileMapping::FileMapping(const std::filesystem::path& file) {
    // Closed once the mapping exists or has failed; the mapping outlives it.
    const FileDescriptor fd = openRegularFile(file);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        throwFileError(FileOperation::Read, file);
    }
    size_ = static_cast<std::size_t>(status.st_size);
    if (size_ == 0) {
        return;
    }
    void* address = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address == MAP_FAILED) {
        throwFileError(FileOperation::Read, file);
    }
    address_ = static_cast<const unsigned char*>(address);
}

FileMapping::~FileMapping() {
    if (address_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(address_), size_);
    }
}

} // namespace CenterCore
