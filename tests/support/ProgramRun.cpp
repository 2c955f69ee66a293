#include "tests/support/ProgramRun.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace {

void require(bool condition, const std::string& what) {
    if (!condition) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

// The null-terminated pointers to the words that exec takes.
std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> result;
    for (std::string& word : words) {
        result.push_back(word.data());
    }
    result.push_back(nullptr);
    return result;
}

// An anonymous file for an output stream: it is read once the program has ended, so no full
// pipe can ever stall the program.
FileDescriptor capture(const char* name) {
    FileDescriptor file(::memfd_create(name, MFD_CLOEXEC));
    require(file.valid(), "memfd_create");
    return file;
}

std::string captured(int file) {
    std::string text;
    char buffer[65536];
    ::lseek(file, 0, SEEK_SET);
    for (ssize_t count = 0; (count = ::read(file, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

} // namespace

RunningProgram::RunningProgram(const std::filesystem::path& program,
                               const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment,
                               const std::filesystem::path& input)
    : out_(capture("out")), err_(capture("err")) {
    std::vector<std::string> argv = {program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (!environment.contains(text.substr(0, text.find('=')))) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err_.get(), 2);
    int spawned = ::posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, pointers(argv).data(),
                                pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    errno = spawned;
    require(spawned == 0, "posix_spawn " + argv[0]);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        signal(SIGKILL);
        static_cast<void>(wait());
    }
}

void RunningProgram::signal(int number) const {
    ::kill(pid_, number);
}

ProgramResult RunningProgram::wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), captured(out_.get()),
            captured(err_.get()), WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

ProgramResult runProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment) {
    return RunningProgram(program, arguments, environment).wait();
}
