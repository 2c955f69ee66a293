#include "core/AtomicFile.h"

#include "core/FileDescriptor.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "core/Uuid.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace AtomicFile {
namespace {

namespace fs = std::filesystem;
using CenterCore::FileOperation;
using CenterCore::throwFileError;

FileDescriptor open(const fs::path& path, int flags, mode_t mode = 0) {
    FileDescriptor file(::open(path.c_str(), flags | O_CLOEXEC, mode));
    if (!file.valid()) {
        throwFileError(FileOperation::Open, path);
    }
    return file;
}

void writeAll(const FileDescriptor& file, std::string_view contents, const fs::path& path) {
    for (std::size_t written = 0; written < contents.size();) {
        const ssize_t count =
            ::write(file.get(), contents.data() + written, contents.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throwFileError(FileOperation::Write, path);
        }
        written += static_cast<std::size_t>(count);
    }
}

} // namespace

void write(const fs::path& file, std::string_view contents, mode_t mode) {
    const fs::path folder = file.parent_path().empty() ? "." : file.parent_path();
    const fs::path temporary =
        folder / ("." + file.filename().string() + "." + CenterCore::newUUID() + ".partial");
    try {
        FileDescriptor out = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
        writeAll(out, contents, temporary);
        if (::fsync(out.get()) != 0) {
            throwFileError(FileOperation::Flush, temporary);
        }
        if (!out.close()) {
            throwFileError(FileOperation::Write, temporary);
        }
        CenterCore::rename(temporary, file);
    } catch (const fs::filesystem_error& failure) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        // The hidden work file is the program's business; the user knows the file it becomes.
        throw CenterCore::FileOperationError(FileOperation::Write, file, failure.code());
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    // The rename itself reaches the disk only with its folder.
    FileDescriptor parent = open(folder, O_RDONLY | O_DIRECTORY);
    if (::fsync(parent.get()) != 0) {
        throwFileError(FileOperation::Flush, folder);
    }
}

} // namespace AtomicFile
