#include "tests/support/HttpsServer.h"

#include "tests/support/HttpsCertificates.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t maximumRequestBytes = 64 * 1024;
constexpr std::size_t pieceBytes = 256 * 1024;

[[noreturn]] void failSystem(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct FreeBIO {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

std::unique_ptr<BIO, FreeBIO> memoryBIO(const std::string& text) {
    return std::unique_ptr<BIO, FreeBIO>(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

const char* reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t\r");
    return first == std::string_view::npos ? std::string()
                                           : std::string(text.substr(first, last - first + 1));
}

// The body of a response as a series of pieces, from memory or streamed from a file.
class BodySource {
  public:
    explicit BodySource(const HttpsResponse& response) : response_(response) {
        if (response.file) {
            stream_.open(*response.file, std::ios::binary);
            if (!stream_) {
                throw std::runtime_error("cannot open " + response.file->string());
            }
        }
    }

    [[nodiscard]] std::uint64_t size() const {
        return response_.file ? std::filesystem::file_size(*response_.file) : response_.body.size();
    }

    // The next piece of at most `limit` bytes; empty at the end (or for an empty body).
    std::string_view next(std::size_t limit) {
        if (!response_.file) {
            std::size_t count = std::min(limit, response_.body.size() - offset_);
            std::string_view piece(response_.body.data() + offset_, count);
            offset_ += count;
            return piece;
        }
        buffer_.resize(std::min(limit, pieceBytes));
        stream_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        return {buffer_.data(), static_cast<std::size_t>(stream_.gcount())};
    }

    void rewind() {
        offset_ = 0;
        stream_.clear();
        stream_.seekg(0);
    }

  private:
    const HttpsResponse& response_;
    std::ifstream stream_;
    std::size_t offset_ = 0;
    std::string buffer_;
};

} // namespace

HttpsResponse HttpsResponse::bytes(std::string content) {
    HttpsResponse response;
    response.body = std::move(content);
    return response;
}

HttpsResponse HttpsResponse::fileContent(std::filesystem::path path) {
    HttpsResponse response;
    response.file = std::move(path);
    return response;
}

HttpsResponse HttpsResponse::redirect(std::string location, int status) {
    HttpsResponse response;
    response.status = status;
    response.body = "moved";
    response.headers.emplace_back("Location", std::move(location));
    return response;
}

HttpsResponse HttpsResponse::error(int status) {
    HttpsResponse response;
    response.status = status;
    response.body = reason(status);
    return response;
}

struct HttpsServer::Tls {
    SSL_CTX* context = nullptr;
    ~Tls() { SSL_CTX_free(context); }
};

struct HttpsServer::Connection {
    int socket = -1;
    std::atomic<bool> done = false;
    std::thread thread;
};

HttpsServer::HttpsServer(std::uint16_t port) : tls_(std::make_unique<Tls>()) {
    // A client that hangs up must end a write with an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    HttpsCertificates certificates = HttpsCertificates::generate();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestryn-https-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        failSystem("mkdtemp");
    }
    folder_ = pattern;
    caFile_ = folder_ / "ca.pem";
    std::ofstream(caFile_) << certificates.authorityPEM;

    tls_->context = SSL_CTX_new(TLS_server_method());
    auto certificateBIO = memoryBIO(certificates.certificatePEM);
    auto keyBIO = memoryBIO(certificates.privateKeyPEM);
    X509* certificate = PEM_read_bio_X509(certificateBIO.get(), nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBIO.get(), nullptr, nullptr, nullptr);
    bool loaded = tls_->context != nullptr && certificate != nullptr && key != nullptr &&
                  SSL_CTX_use_certificate(tls_->context, certificate) == 1 &&
                  SSL_CTX_use_PrivateKey(tls_->context, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (!loaded) {
        throw std::runtime_error("test server: TLS context");
    }

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        failSystem("socket");
    }
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failSystem("bind");
    }
    port_ = ntohs(address.sin_port);
    stopEvent_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopEvent_ < 0) {
        failSystem("eventfd");
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpsServer::~HttpsServer() {
    std::uint64_t one = 1;
    if (::write(stopEvent_, &one, sizeof one) != sizeof one) {
        std::abort();
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (const auto& connection : connections_) {
        ::shutdown(connection->socket, SHUT_RDWR);
    }
    for (const auto& connection : connections_) {
        connection->thread.join();
        ::close(connection->socket);
    }
    ::close(listener_);
    ::close(stopEvent_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void HttpsServer::route(const std::string& path, HttpsResponse response) {
    std::lock_guard lock(mutex_);
    routes_.insert_or_assign(path, std::move(response));
}

void HttpsServer::serveDirectory(std::filesystem::path root) {
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
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
        pollfd waits[] = {{listener_, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            return;
        }
        int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        reapFinished();
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        Connection& started = *connection;
        connection->thread = std::thread([this, &started] {
            serve(started);
            started.done = true;
        });
        std::lock_guard lock(mutex_);
        connections_.push_back(std::move(connection));
    }
}

void HttpsServer::reapFinished() {
    std::lock_guard lock(mutex_);
    std::erase_if(connections_, [](const std::unique_ptr<Connection>& connection) {
        if (!connection->done) {
            return false;
        }
        connection->thread.join();
        ::close(connection->socket);
        return true;
    });
}

HttpsResponse HttpsServer::responseFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    if (auto found = routes_.find(path); found != routes_.end()) {
        return found->second;
    }
    if (root_) {
        std::filesystem::path relative = std::filesystem::path(path).relative_path();
        bool escapes = std::any_of(relative.begin(), relative.end(),
                                   [](const std::filesystem::path& part) { return part == ".."; });
        std::filesystem::path file = *root_ / relative;
        if (!escapes && std::filesystem::is_regular_file(file)) {
            return HttpsResponse::fileContent(file);
        }
    }
    return HttpsResponse::error(404);
}

void HttpsServer::waitForHangUp(int socket) const {
    pollfd waits[] = {{socket, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
    while (::poll(waits, 2, -1) < 0 && errno == EINTR) {
    }
}

void HttpsServer::serve(Connection& connection) {
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(tls_->context), SSL_free);
    if (!ssl || SSL_set_fd(ssl.get(), connection.socket) != 1 || SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        return;
    }
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        int count = SSL_read(ssl.get(), buffer, sizeof buffer);
        if (count <= 0 || request.size() > maximumRequestBytes) {
            ERR_clear_error();
            return;
        }
        request.append(buffer, static_cast<std::size_t>(count));
    }

    HttpsRequest received;
    std::size_t lineEnd = request.find("\r\n");
    std::string_view requestLine(request.data(), lineEnd);
    std::size_t pathStart = requestLine.find(' ') + 1;
    received.path =
        std::string(requestLine.substr(pathStart, requestLine.find(' ', pathStart) - pathStart));
    for (std::size_t start = lineEnd + 2; start < request.size();) {
        std::size_t end = request.find("\r\n", start);
        std::string_view line(request.data() + start, end - start);
        if (std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            received.headers[lowercased(std::string(line.substr(0, colon)))] =
                trimmed(line.substr(colon + 1));
        }
        start = end + 2;
    }
    std::string path = received.path.substr(0, received.path.find('?'));
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(received);
    }

    HttpsResponse response = responseFor(path);
    if (response.silent) {
        waitForHangUp(connection.socket);
        return;
    }
    BodySource source(response);
    bool chunked = response.chunked || response.endless;
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       reason(response.status) + "\r\nConnection: close\r\n";
    head += chunked ? std::string("Transfer-Encoding: chunked\r\n")
                    : "Content-Length: " +
                          std::to_string(response.announcedLength.value_or(source.size())) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";

    auto send = [&](std::string_view bytes) {
        return bytes.empty() ||
               SSL_write(ssl.get(), bytes.data(), static_cast<int>(bytes.size())) > 0;
    };
    if (!send(head)) {
        ERR_clear_error();
        return;
    }

    std::size_t limit =
        std::min(response.stallAfter.value_or(SIZE_MAX), response.closeAfter.value_or(SIZE_MAX));
    std::size_t sent = 0;
    bool open = true;
    for (;;) {
        std::string_view piece =
            source.next(std::min({limit - sent, chunked ? response.chunkBytes : pieceBytes}));
        if (piece.empty() && response.endless && sent < limit) {
            source.rewind();
            continue;
        }
        if (piece.empty()) {
            break;
        }
        if (chunked) {
            char size[32];
            int written = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            open = send({size, static_cast<std::size_t>(written)}) && send(piece) && send("\r\n");
        } else {
            open = send(piece);
        }
        sent += piece.size();
        if (!open) {
            break;
        }
    }
    if (open && response.stallAfter && sent >= *response.stallAfter) {
        waitForHangUp(connection.socket);
    } else if (open && response.closeAfter && sent >= *response.closeAfter) {
        ::shutdown(connection.socket, SHUT_RDWR);
    } else if (open) {
        if (chunked) {
            send("0\r\n\r\n");
        }
        SSL_shutdown(ssl.get());
    }
    ERR_clear_error();
}
