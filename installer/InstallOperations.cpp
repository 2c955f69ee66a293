#include "installer/InstallOperations.h"

#include "core/FileDescriptor.h"
#include "installer/BundleCopy.h"
#include "installer/SignatureCheck.h"
#include "installer/Unpack.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const fs::path& path, const char* what) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

void syncDescriptor(const FileDescriptor& fd, const fs::path& path) {
    if (::fsync(fd.get()) != 0) {
        fail(path, "cannot flush to disk");
    }
}

void syncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        fail(folder, "cannot open folder");
    }
    syncDescriptor(fd, folder);
}

} // namespace

void SystemInstallOperations::createDirectory(const fs::path& folder) {
    if (!fs::create_directory(folder)) {
        throw fs::filesystem_error("cannot create folder", folder,
                                   std::make_error_code(std::errc::file_exists));
    }
}

void SystemInstallOperations::createDirectories(const fs::path& folder) {
    fs::create_directories(folder);
}

void SystemInstallOperations::move(const fs::path& from, const fs::path& to) {
    // A move never replaces what it finds: that would be someone else's item.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throw fs::filesystem_error("cannot move", from, to,
                                   std::error_code(errno, std::generic_category()));
    }
    if (fs::exists(fs::symlink_status(to))) {
        throw fs::filesystem_error("cannot move", from, to,
                                   std::make_error_code(std::errc::file_exists));
    }
    fs::rename(from, to);
}

void SystemInstallOperations::remove(const fs::path& item) {
    fs::remove_all(item);
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
    fs::path temporary = file;
    temporary += ".partial";
    FileDescriptor fd(::open(temporary.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                             S_IRUSR | S_IWUSR));
    if (!fd.valid()) {
        fail(temporary, "cannot create file");
    }
    for (std::size_t written = 0; written < contents.size();) {
        ssize_t count = ::write(fd.get(), contents.data() + written, contents.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            fail(temporary, "cannot write file");
        }
        written += static_cast<std::size_t>(count);
    }
    syncDescriptor(fd, temporary);
    fd.reset();
    fs::rename(temporary, file);
    syncFolder(file.parent_path());
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
