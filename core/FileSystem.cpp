#include "core/FileSystem.h"

#include "core/FileOperationError.h"

#include <system_error>

namespace CenterCore {

namespace fs = std::filesystem;

void createDirectories(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        throw FileOperationError(FileOperation::Create, folder, error);
    }
}

void rename(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (error) {
        throw FileOperationError(FileOperation::Move, from, to, error);
    }
}

void removeAll(const fs::path& item) {
    std::error_code error;
    fs::remove_all(item, error);
    if (error) {
        throw FileOperationError(FileOperation::Remove, item, error);
    }
}

std::uintmax_t fileSize(const fs::path& file) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        throw FileOperationError(FileOperation::Inspect, file, error);
    }
    return size;
}

bool exists(const fs::path& item) {
    std::error_code error;
    const bool found = fs::exists(item, error);
    if (error) {
        throw FileOperationError(FileOperation::Inspect, item, error);
    }
    return found;
}

} // namespace CenterCore
