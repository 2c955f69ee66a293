#include "tests/support/HttpsServer.h"

#include "tests/support/ProgramRun.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <tuple>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t maximumRequestBytes = 64 * 1024;
constexpr std::size_t pieceBytes = 256 * 1024;

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

// The value of a request header, its name spelled as curl and browsers send it; empty when
// absent.
std::string requestHeader(const std::string& head, const std::string& name) {
    std::size_t start = head.find("\r\n" + name + ": ");
    if (start == std::string::npos) {
        return {};
    }
    start += name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
}

// The first and last byte of a body of `size` bytes that a single "bytes=A-B" or "bytes=A-"
// range asks for; nothing for any other form or a range that starts past the end.
std::optional<std::pair<std::uint64_t, std::uint64_t>> byteRange(std::string_view range,
                                                                 std::uint64_t size) {
    const std::size_t dash = range.find('-');
    if (!range.starts_with("bytes=") || dash == range.npos) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> start = wholeInteger(range.substr(6, dash - 6));
    const std::string_view last = range.substr(dash + 1);
    const std::optional<std::uint64_t> end =
        last.empty() ? std::optional(size - 1) : wholeInteger(last);
    if (!start || !end || *start > *end || *start >= size) {
        return std::nullopt;
    }
    return std::pair(*start, std::min(*end, size - 1));
}

// The file under `root` that a request path names; nothing for a path with escapes (the sites
// served have plain names) or one that would leave the folder, by ".." or by a link that leads
// out.
std::optional<fs::path> servedFile(const fs::path& root, std::string_view path) {
    std::error_code missing;
    const fs::path base = fs::canonical(root, missing);
    if (path.find('%') != path.npos || missing) {
        return std::nullopt;
    }
    fs::path file = fs::canonical(base / fs::path(path).relative_path(), missing);
    if (missing || !fs::is_regular_file(file, missing) ||
        std::mismatch(base.begin(), base.end(), file.begin(), file.end()).first != base.end()) {
        return std::nullopt;
    }
    return file;
}

// A fresh self-signed certificate for 127.0.0.1, "localhost" and `extraHosts` and its key,
// made by the openssl command line at run time so no key ever lies in the repository; installed
// in `context`, the certificate left as `caFile` for clients to trust.
void installCertificate(SSL_CTX* context, const fs::path& caFile,
                        const std::vector<std::string>& extraHosts) {
    std::string names = "subjectAltName=IP:127.0.0.1,DNS:localhost";
    for (const std::string& host : extraHosts) {
        names += ",DNS:" + host;
    }
    const fs::path key = caFile.parent_path() / "key.pem";
    ProgramResult made = runProgram(
        "/usr/bin/openssl",
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
         "7", "-subj", "/CN=localhost", "-addext", names, "-addext",
         "basicConstraints=critical,CA:TRUE", "-keyout", key.string(), "-out", caFile.string()});
    if (made.exitCode != 0 ||
        SSL_CTX_use_certificate_file(context, caFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("test certificate: " + made.err);
    }
}

// Returns once the client hangs up, or the server shuts the connection down as it stops.
void waitForHangUp(int socket) {
    char byte = 0;
    for (ssize_t count = 1; count > 0 || (count < 0 && errno == EINTR);) {
        count = ::recv(socket, &byte, 1, 0);
    }
}

} // namespace

std::optional<std::uint64_t> wholeInteger(std::string_view text, std::uint64_t maximum) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value <= maximum
               ? std::optional(value)
               : std::nullopt;
}

HttpsResponse HttpsResponse::bytes(std::string content) {
    return {.body = std::move(content)};
}

HttpsResponse HttpsResponse::fileContent(std::filesystem::path path) {
    return {.file = std::move(path)};
}

HttpsResponse HttpsResponse::redirect(std::string location, int status) {
    return {.status = status, .body = "moved", .headers = {{"Location", std::move(location)}}};
}

HttpsResponse HttpsResponse::error(int status) {
    return {.status = status, .body = "error"};
}

HttpsServer::HttpsServer(std::uint16_t port, const std::vector<std::string>& extraHosts)
    : tls_(SSL_CTX_new(TLS_server_method())) {
    // A client that hangs up must end a write with an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    require(tls_ != nullptr, "TLS context");
    installCertificate(tls_.get(), caFile_, extraHosts);

    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    require(listener_.valid(), "socket");
    int yes = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    require(::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(listener_.get(), 64) == 0 &&
                ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0,
            "bind");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpsServer::~HttpsServer() {
    // Shutting the sockets down wakes the threads waiting on them.
    ::shutdown(listener_.get(), SHUT_RDWR);
    acceptor_.join();
    for (const auto& connection : connections_) {
        ::shutdown(connection->socket.get(), SHUT_RDWR);
    }
    for (const auto& connection : connections_) {
        connection->thread.join();
    }
}

void HttpsServer::route(const std::string& path, HttpsResponse response) {
    std::lock_guard lock(mutex_);
    routes_.insert_or_assign(path, std::move(response));
}

void HttpsServer::serveDirectory(std::filesystem::path root, HttpsResponse misbehaviour) {
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
    rootMisbehaviour_ = std::move(misbehaviour);
}

std::string HttpsServer::url(std::string_view path, std::string_view host) const {
    return "https://" + std::string(host) + ":" + std::to_string(port_) + std::string(path);
}

std::vector<HttpsRequest> HttpsServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpsServer::acceptLoop() {
    for (;;) {
        FileDescriptor socket(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket.valid() && (errno == EINTR || errno == ECONNABORTED)) {
            continue;
        }
        if (!socket.valid()) {
            return;
        }
        std::lock_guard lock(mutex_);
        // Finished connections are joined here, so a long-running server does not pile them up.
        std::erase_if(connections_, [](const std::unique_ptr<Connection>& connection) {
            if (connection->done) {
                connection->thread.join();
            }
            return connection->done.load();
        });
        auto& started = *connections_.emplace_back(std::make_unique<Connection>());
        started.socket = std::move(socket);
        started.thread = std::thread([this, &started, number = ++accepted_] {
            serve(started.socket.get(), number);
            started.done = true;
        });
    }
}

HttpsResponse HttpsServer::responseFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    if (auto found = routes_.find(path); found != routes_.end()) {
        return found->second;
    }
    std::optional<fs::path> file = root_ ? servedFile(*root_, path) : std::nullopt;
    if (!file) {
        return HttpsResponse::error(404);
    }
    const std::string validator =
        std::to_string(fs::file_size(*file)) + "-" +
        std::to_string(fs::last_write_time(*file).time_since_epoch().count());
    HttpsResponse response = rootMisbehaviour_;
    response.file = file;
    response.etag = "\"" + validator + "\"";
    return response;
}

void HttpsServer::serve(int socket, std::size_t connection) {
    // An answer's head and body go out as written: a kept connection's next answer never waits
    // for the client's delayed acknowledgement.
    const int noDelay = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    CHandle<SSL_free> ssl(SSL_new(tls_.get()));
    if (!ssl || SSL_set_fd(ssl.get(), socket) != 1 || SSL_accept(ssl.get()) != 1) {
        return;
    }
    while (answer(ssl, socket, connection)) {
    }
}

bool HttpsServer::answer(const CHandle<SSL_free>& ssl, int socket, std::size_t connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        int count = SSL_read(ssl.get(), buffer, sizeof buffer);
        if (count <= 0 || request.size() > maximumRequestBytes) {
            return false;
        }
        request.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t pathStart = request.find(' ') + 1;
    HttpsRequest received{request.substr(pathStart, request.find(' ', pathStart) - pathStart),
                          request.substr(0, request.find("\r\n\r\n")), connection};
    HttpsResponse response = responseFor(received.path.substr(0, received.path.find('?')));
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        index = requests_.size();
        requests_.push_back(received);
    }
    if (response.silent) {
        waitForHangUp(socket);
        return false;
    }

    std::unique_ptr<std::istream> body;
    std::uint64_t size = response.body.size();
    if (response.file) {
        body = std::make_unique<std::ifstream>(*response.file, std::ios::binary);
        size = fs::file_size(*response.file);
    } else {
        body = std::make_unique<std::istringstream>(response.body);
    }
    const bool chunked = response.chunkBytes > 0;
    std::string head = response.keepAlive ? "\r\n" : "\r\nConnection: close\r\n";
    std::uint64_t offset = 0;
    std::uint64_t end = size;
    if (!chunked && response.status == 200 && response.ranges) {
        head += "Accept-Ranges: bytes\r\n";
        std::string validator = requestHeader(received.head, "If-Range");
        const auto range = byteRange(requestHeader(received.head, "Range"), size);
        if (range && (validator.empty() || validator == response.etag)) {
            offset = range->first;
            end = range->second + 1;
            response.status = 206;
            head += "Content-Range: bytes " + std::to_string(offset) + "-" +
                    std::to_string(range->second) + "/" + std::to_string(size) + "\r\n";
            body->seekg(static_cast<std::streamoff>(offset));
        }
    }
    if (response.etag) {
        head += "ETag: " + *response.etag + "\r\n";
    }
    head = "HTTP/1.1 " + std::to_string(response.status) + " " + head;
    head += chunked ? std::string("Transfer-Encoding: chunked\r\n")
                    : "Content-Length: " +
                          std::to_string(response.announcedLength.value_or(end) - offset) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    auto send = [&](std::string_view bytes) {
        return SSL_write(ssl.get(), bytes.data(), static_cast<int>(bytes.size())) > 0;
    };
    bool open = send(head + "\r\n");

    const bool cutting = response.cutAt && *response.cutAt > offset && *response.cutAt < end;
    const std::size_t limit = std::min<std::uint64_t>(
        cutting ? *response.cutAt - offset : response.stallAfter.value_or(SIZE_MAX), end - offset);
    const bool inverted = response.wrongRanges && response.status == 206;
    // Paced in pieces of a twentieth of a second's worth.
    const std::size_t pace = response.bytesPerSecond > 0
                                 ? std::max<std::size_t>(response.bytesPerSecond / 20, 1)
                                 : SIZE_MAX;
    const auto started = std::chrono::steady_clock::now();
    std::size_t sent = 0;
    std::string piece;
    while (open && sent < limit) {
        piece.resize(std::min({limit - sent, chunked ? response.chunkBytes : pieceBytes, pace}));
        body->read(piece.data(), static_cast<std::streamsize>(piece.size()));
        piece.resize(static_cast<std::size_t>(body->gcount()));
        if (piece.empty()) {
            break;
        }
        if (inverted) {
            std::transform(piece.begin(), piece.end(), piece.begin(),
                           [](char c) { return static_cast<char>(~c); });
        }
        {
            // Counted before it goes out, so a client that has it sees it counted.
            std::lock_guard lock(mutex_);
            requests_[index].bodyBytes += piece.size();
        }
        char digits[16];
        char* digitsEnd = std::to_chars(digits, std::end(digits), piece.size(), 16).ptr;
        open = send(chunked ? std::string(digits, digitsEnd) + "\r\n" + piece + "\r\n" : piece);
        sent += piece.size();
        if (response.bytesPerSecond > 0) {
            std::this_thread::sleep_until(
                started + std::chrono::microseconds(sent * 1'000'000 / response.bytesPerSecond));
        }
    }
    if (cutting && sent >= limit) {
        // No close_notify: the client sees the connection break mid-body.
        ::shutdown(socket, SHUT_RDWR);
    } else if (open && response.stallAfter && sent >= *response.stallAfter) {
        waitForHangUp(socket);
    } else if (open) {
        if (chunked) {
            send("0\r\n\r\n");
        }
        if (response.keepAlive) {
            return true;
        }
        SSL_shutdown(ssl.get());
    }
    return false;
}
