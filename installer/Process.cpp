#include "installer/Process.h"

#include "core/CenterError.h"
#include "core/FileDescriptor.h"
#include "core/Unicode.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace CenterInstaller {
namespace {

// Owns the spawn attributes that describe the child's descriptors.
class FileActions {
  public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }

    [[nodiscard]] posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

[[noreturn]] void throwErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

std::string readToEnd(int fd) {
    std::string output;
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            return output;
        } else if (errno != EINTR) {
            return output;
        }
    }
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throwErrno(errno, "waitpid");
        }
    }
    return status;
}

// The first `count` code points of valid UTF-8 text.
std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        bool leadByte = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (leadByte && seen++ == count) {
            break;
        }
    }
    return text.substr(0, end);
}

} // namespace

std::string incompleteMessage(std::string_view output) {
    std::string_view text = CenterCore::isValidUTF8(output) ? output : std::string_view();
    return "验证或安装未完成：" + std::string(leadingCharacters(text, maximumReportedCharacters));
}

std::string run(const std::filesystem::path& executable,
                const std::vector<std::string>& arguments) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throwErrno(errno, "pipe");
    }
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);

    FileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), writing.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), writing.get(), STDERR_FILENO);

    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(executable.string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    int error =
        posix_spawn(&child, executable.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (error != 0) {
        throwErrno(error, "posix_spawn " + executable.string());
    }
    // Only the child may hold the writing end, or reading would never see its end.
    writing.reset();
    std::string output = readToEnd(reading.get());
    int status = waitFor(child);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw CenterError::install(incompleteMessage(output));
    }
    return output;
}

} // namespace CenterInstaller
