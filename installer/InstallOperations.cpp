#include "installer/InstallOperations.h"

#include "core/AtomicFile.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "installer/BundleCopy.h"
#include "installer/SignatureCheck.h"
#include "installer/Unpack.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;
using CenterCore::FileOperation;
using CenterCore::FileOperationError;

} // namespace

void SystemInstallOperations::createDirectory(const fs::path& folder) {
    std::error_code error;
    if (!fs::create_directory(folder, error)) {
        throw FileOperationError(FileOperation::Create, folder,
                                 error ? error : std::make_error_code(std::errc::file_exists));
    }
}

void SystemInstallOperations::createDirectories(const fs::path& folder) {
    CenterCore::createDirectories(folder);
}

void SystemInstallOperations::move(const fs::path& from, const fs::path& to) {
    // A move never replaces what it finds: that would be someone else's item.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throw FileOperationError(FileOperation::Move, from, to,
                                 std::error_code(errno, std::generic_category()));
    }
    std::error_code error;
    const fs::file_status found = fs::symlink_status(to, error);
    if (!fs::status_known(found)) {
        throw FileOperationError(FileOperation::Inspect, to, error);
    }
    if (fs::exists(found)) {
        throw FileOperationError(FileOperation::Move, from, to,
                                 std::make_error_code(std::errc::file_exists));
    }
    CenterCore::rename(from, to);
}

void SystemInstallOperations::remove(const fs::path& item) {
    CenterCore::removeAll(item);
}

void SystemInstallOperations::unpack(const fs::path& zip, const fs::path& destination,
                                     std::stop_token stop) {
    unpackZIP(zip, destination, std::move(stop));
}

void SystemInstallOperations::copyBundle(const fs::path& from, const fs::path& to,
                                         std::stop_token stop) {
    CenterInstaller::copyBundle(from, to, std::move(stop));
}

void SystemInstallOperations::verifySignature(const fs::path& app) {
    verifyCodeSignature(app);
}

bool isPresent(const fs::path& item) {
    std::error_code error;
    return fs::exists(fs::symlink_status(item, error));
}

void SystemInstallOperations::writeDurably(const fs::path& file, std::string_view contents) {
    AtomicFile::write(file, contents, S_IRUSR | S_IWUSR);
}

AttributeResult SystemInstallOperations::attributeSize(const fs::path& item,
                                                       const std::string& name) {
    return attributes_.attributeSize(item, name);
}

AttributeResult SystemInstallOperations::readAttribute(const fs::path& item,
                                                       const std::string& name,
                                                       std::span<char> buffer) {
    return attributes_.readAttribute(item, name, buffer);
}

AttributeResult SystemInstallOperations::writeAttribute(const fs::path& item,
                                                        const std::string& name,
                                                        std::span<const char> value) {
    return attributes_.writeAttribute(item, name, value);
}

AttributeResult SystemInstallOperations::removeAttribute(const fs::path& item,
                                                         const std::string& name) {
    return attributes_.removeAttribute(item, name);
}

InstallOperations& systemOperations() {
    static SystemInstallOperations operations;
    return operations;
}

} // namespace CenterInstaller
