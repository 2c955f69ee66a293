#include "core/FileContents.h"

#include "core/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {

std::string readFileContents(const std::filesystem::path& file, std::size_t maximumBytes) {
    auto fail = [&](const char* what) {
        throw std::filesystem::filesystem_error(what, file,
                                                std::error_code(errno, std::generic_category()));
    };
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        fail("cannot open file");
    }
    std::string content;
    std::size_t limit = maximumBytes + 1;
    char buffer[65536];
    while (content.size() < limit) {
        ssize_t count = ::read(fd.get(), buffer, std::min(sizeof buffer, limit - content.size()));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            fail("cannot read file");
        }
        if (count == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    return content;
}

} // namespace CenterCore
