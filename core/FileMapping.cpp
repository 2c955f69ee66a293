#include "core/FileMapping.h"

#include "core/FileContents.h"
#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"

#include <cerrno>
#include <cstdint>
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

void FileMapping::release(std::span<const unsigned char> part) const {
    const auto start = reinterpret_cast<std::uintptr_t>(part.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(address_);
    if (part.empty() || start < begin || start + part.size() > begin + size_) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (start + page - 1) / page * page;
    // The mapping's last page ends at the file's end, so a part that reaches the end takes it.
    const std::uintptr_t end = start + part.size() == begin + size_
                                   ? start + part.size()
                                   : (start + part.size()) / page * page;
    if (first < end) {
        // Only advice: a file mapping that is never written reads the same bytes afterwards.
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
    }
}

FileMapping::~FileMapping() {
    if (address_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(address_), size_);
    }
}

} // namespace CenterCore
