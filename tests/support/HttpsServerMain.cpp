// kestryn-test-server: serves a folder over HTTPS on 127.0.0.1 with a freshly made certificate
// authority, for demonstrations and benchmarks. Prints "port=N" and "ca=PATH" (pass PATH as
// KESTRYN_CA_FILE to clients), then serves until SIGINT or SIGTERM. Each "--host NAME" makes the
// certificate valid for that name too, for clients that reach it through KESTRYN_CONNECT_TO.
// "--cut-at BYTES" breaks every answer that has not reached that offset of its file there, so a
// client's next range request resumes past it. "--rate BYTES_PER_SECOND" paces every answer;
// "--wrong-ranges" answers range requests with every body byte inverted; "--keep-alive" keeps each
// connection open for the client's next request, as a production server does. Files carry an
// ETag and answer range requests.
#include "core/ErrorText.h"
#include "tests/support/HttpsServer.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

const char* const usage =
    "用法：kestryn-test-server 文件夹 [端口]\n"
    "在 127.0.0.1 上通过 HTTPS 提供该文件夹，证书由它自己生成的证书颁发机构签发。\n"
    "端口省略或为 0 时由系统选择空闲端口。启动后输出 port=端口 和 ca=证书文件，\n"
    "把证书文件交给客户端的 KESTRYN_CA_FILE；按 Ctrl+C 停止。\n"
    "在文件夹前可以加一个或多个 --host 主机名，让证书也对这些主机名有效，\n"
    "客户端再通过 KESTRYN_CONNECT_TO 把这些主机名的连接指向这里。\n"
    "加 --cut-at 字节数 时，每个尚未到达文件中该位置的应答都在那里断开连接，\n"
    "客户端下一次的范围请求可以从断点续传。\n"
    "加 --rate 每秒字节数 时，每个应答都不超过这个速度。\n"
    "加 --wrong-ranges 时，范围请求的应答状态和标头正确，内容的每个字节却都被取反。\n"
    "加 --keep-alive 时，每个应答之后保持连接，供客户端发送下一个请求。\n";

// Letters, digits, hyphens and dots: a DNS name that fits the certificate's name list.
bool isHostName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.front() != '-' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
           });
}

int badUsage(const char* reason) {
    std::cerr << "kestryn-test-server：" << reason << '\n' << usage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    if (std::any_of(words.begin(), words.end(),
                    [](std::string_view word) { return word == "-h" || word == "--help"; })) {
        std::cout << usage;
        return 0;
    }
    std::vector<std::string> hosts;
    HttpsResponse misbehaviour;
    while (!words.empty() && words.front().starts_with("--")) {
        const std::string_view option = words.front();
        const std::optional<std::string_view> value =
            words.size() >= 2 ? std::optional(words[1]) : std::nullopt;
        if (option == "--wrong-ranges" || option == "--keep-alive") {
            (option == "--wrong-ranges" ? misbehaviour.wrongRanges : misbehaviour.keepAlive) = true;
            words.erase(words.begin());
            continue;
        }
        if (option == "--host") {
            if (!value || !isHostName(*value)) {
                return badUsage("--host 后面需要一个主机名（字母、数字、连字符和点）。");
            }
            hosts.emplace_back(*value);
        } else if (option == "--cut-at") {
            if (!value || !(misbehaviour.cutAt = wholeInteger(*value))) {
                return badUsage("--cut-at 后面需要一个以字节计的整数。");
            }
        } else if (option == "--rate") {
            const std::optional<std::uint64_t> rate = value ? wholeInteger(*value) : std::nullopt;
            if (!rate || *rate == 0) {
                return badUsage("--rate 后面需要一个大于零的每秒字节数。");
            }
            misbehaviour.bytesPerSecond = *rate;
        } else {
            return badUsage("不认识的选项。");
        }
        words.erase(words.begin(), words.begin() + 2);
    }
    if (words.empty() || words.size() > 2) {
        return badUsage("需要一个文件夹，端口可以省略。");
    }
    const std::optional<std::uint64_t> port = words.size() == 2 ? wholeInteger(words[1], 65535) : 0;
    if (!port) {
        return badUsage("端口必须是 0 到 65535 之间的整数。");
    }
    const std::filesystem::path folder = words[0];
    std::error_code unreadable;
    if (!std::filesystem::is_directory(folder, unreadable)) {
        std::cerr << "要提供的文件夹“" << folder.string()
                  << (std::filesystem::exists(folder, unreadable) ? "”不是文件夹。\n"
                                                                  : "”不存在。\n");
        return 1;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Blocked before any thread starts, so only the wait below receives them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        HttpsServer server(static_cast<std::uint16_t>(*port), hosts);
        server.serveDirectory(folder, misbehaviour);
        std::cout << "port=" << server.port() << '\n'
                  << "ca=" << server.caFile().string() << std::endl;
        int received = 0;
        sigwait(&signals, &received);
    } catch (const std::system_error& error) {
        std::cerr << (error.code() == std::errc::address_in_use
                          ? "端口 " + std::to_string(*port) + " 已被占用。"
                          : CenterCore::describeError(std::current_exception()))
                  << '\n';
        return 1;
    } catch (...) {
        std::cerr << CenterCore::describeError(std::current_exception()) << '\n';
        return 1;
    }
    return 0;
}
