#include "platform/LinuxWorkspace.h"

#include "core/FileContents.h"
#include "core/PropertyList.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QUrl>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace CenterPlatform {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t maximumInfoBytes = 16 * 1024 * 1024;

// The first executable file of that name in a folder of PATH.
std::optional<fs::path> onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        end = end == std::string::npos ? folders.size() : end;
        fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

// Starts a program with its output discarded; the process id, or nothing when it cannot start.
std::optional<pid_t> start(const fs::path& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

// Runs xdg-open on the target and waits for its verdict.
bool openWithDefaultApplication(const std::string& target) {
    std::optional<fs::path> opener = onPath("xdg-open");
    std::optional<pid_t> pid = opener ? start(*opener, {target}) : std::nullopt;
    if (!pid) {
        return false;
    }
    int status = 0;
    while (::waitpid(*pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::optional<std::string> LinuxWorkspace::openApplication(const fs::path& bundle) {
    const std::string name = bundle.filename().string();
    std::optional<PropertyList> info;
    try {
        info = PropertyList::parse(
            CenterCore::readFileContents(bundle / "Contents/Info.plist", maximumInfoBytes));
    } catch (const fs::filesystem_error&) {
        // Reported below like any bundle without a usable description.
    }
    std::optional<std::string> executable =
        info ? info->string("CFBundleExecutable") : std::nullopt;
    if (!executable || executable->empty() || executable->find('/') != std::string::npos) {
        return "无法打开“" + name + "”：应用程序缺少有效的可执行文件。";
    }
    std::optional<pid_t> pid = start(bundle / "Contents/MacOS" / *executable, {});
    if (!pid) {
        return "无法打开“" + name + "”：应用程序无法启动。";
    }
    // The application outlives nothing of ours; a waiting thread only reaps it when it ends.
    std::thread([child = *pid] { ::waitpid(child, nullptr, 0); }).detach();
    return std::nullopt;
}

bool LinuxWorkspace::openFile(const fs::path& file) {
    return openWithDefaultApplication(file.string());
}

bool LinuxWorkspace::openURL(const std::string& url) {
    return openWithDefaultApplication(url);
}

void LinuxWorkspace::reveal(const std::vector<fs::path>& items) {
    if (items.empty()) {
        return;
    }
    QStringList uris;
    for (const fs::path& item : items) {
        uris << QUrl::fromLocalFile(QString::fromStdString(item.string())).toString();
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << uris << QString();
    constexpr int answerMilliseconds = 3000;
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, answerMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // Without a file manager that answers, the folder holding the first item is opened.
        static_cast<void>(openFile(items.front().parent_path()));
    }
}

std::vector<CenterInstaller::RunningApplication> LinuxWorkspace::runningApplications() {
    return CenterInstaller::runningApplications();
}

} // namespace CenterPlatform
