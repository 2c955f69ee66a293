#include "tests/support/HttpsServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t maximumRequestBytes = 64 * 1024;
constexpr std::size_t pieceBytes = 256 * 1024;

// The bytes a request path stands for; nothing when an escape is malformed or yields a NUL.
std::optional<std::string> percentDecoded(std::string_view path) {
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            decoded.push_back(path[i]);
            continue;
        }
        unsigned value = 0;
        const char* end = path.data() + std::min(i + 3, path.size());
        auto [parsed, error] = std::from_chars(path.data() + i + 1, end, value, 16);
        if (i + 2 >= path.size() || error != std::errc() || parsed != end || value == 0) {
            return std::nullopt;
        }
        decoded.push_back(static_cast<char>(value));
        i += 2;
    }
    return decoded;
}

// The value of a request header, its name matched case-insensitively; empty when absent.
std::string requestHeader(const std::string& head, std::string name) {
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::size_t start = lower(head).find(lower("\r\n" + name + ":"));
    if (start == std::string::npos) {
        return {};
    }
    start = head.find_first_not_of(' ', start + name.size() + 3);
    return start == std::string::npos ? std::string()
                                      : head.substr(start, head.find("\r\n", start) - start);
}

// Where a "bytes=N-" range starts; nothing for any other form.
std::optional<std::uint64_t> rangeStart(const std::string& range) {
    if (!range.starts_with("bytes=") || !range.ends_with("-")) {
        return std::nullopt;
    }
    try {
        std::size_t used = 0;
        std::uint64_t start = std::stoull(range.substr(6), &used);
        return used == range.size() - 7 ? std::optional(start) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void require(bool condition, const char* what) {
    if (!condition) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    bool added = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    require(added, "test certificate extension");
}

// A fresh self-signed certificate for 127.0.0.1, "localhost" and `extraHosts`, made at run time
// so no key ever lies in the repository. Installs it in `context` and writes it to `caFile`.
void installCertificate(SSL_CTX* context, const std::filesystem::path& caFile,
                        const std::vector<std::string>& extraHosts) {
    CHandle<EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    CHandle<X509_free> certificate(X509_new());
    require(key && certificate, "test certificate");
    X509* raw = certificate.get();
    X509_set_version(raw, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(raw), 1);
    X509_gmtime_adj(X509_getm_notBefore(raw), -3600);
    X509_gmtime_adj(X509_getm_notAfter(raw), 7L * 24 * 3600);
    X509_set_pubkey(raw, key.get());
    X509_NAME_add_entry_by_txt(X509_get_subject_name(raw), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(raw, X509_get_subject_name(raw));
    addExtension(raw, NID_basic_constraints, "critical,CA:TRUE");
    std::string names = "IP:127.0.0.1,DNS:localhost";
    for (const std::string& host : extraHosts) {
        names += ",DNS:" + host;
    }
    addExtension(raw, NID_subject_alt_name, names.c_str());
    require(X509_sign(raw, key.get(), EVP_sha256()) > 0 &&
                SSL_CTX_use_certificate(context, raw) == 1 &&
                SSL_CTX_use_PrivateKey(context, key.get()) == 1,
            "test certificate signing");
    CHandle<std::fclose> out(std::fopen(caFile.c_str(), "w"));
    require(out != nullptr, "test certificate file");
    bool written = PEM_write_X509(out.get(), raw) == 1;
    require(std::fclose(out.release()) == 0 && written, "test certificate file");
}

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
    HttpsResponse response = bytes("moved");
    response.status = status;
    response.headers.emplace_back("Location", std::move(location));
    return response;
}

HttpsResponse HttpsResponse::error(int status) {
    HttpsResponse response = bytes("error");
    response.status = status;
    return response;
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
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 64) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::system_error(errno, std::generic_category(), "bind");
    }
    port_ = ntohs(address.sin_port);
    stopEvent_.reset(::eventfd(0, EFD_CLOEXEC));
    require(stopEvent_.valid(), "eventfd");
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpsServer::~HttpsServer() {
    std::uint64_t one = 1;
    if (::write(stopEvent_.get(), &one, sizeof one) != sizeof one) {
        std::abort();
    }
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

void HttpsServer::serveDirectory(std::filesystem::path root, std::optional<std::uint64_t> cutAt) {
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
    rootCutAt_ = cutAt;
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
        pollfd waits[] = {{listener_.get(), POLLIN, 0}, {stopEvent_.get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno == EINTR) {
            continue;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            return;
        }
        FileDescriptor socket(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket.valid()) {
            continue;
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
        started.thread = std::thread([this, &started] {
            serve(started.socket.get());
            started.done = true;
        });
    }
}

HttpsResponse HttpsServer::responseFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    if (auto found = routes_.find(path); found != routes_.end()) {
        return found->second;
    }
    if (std::optional<std::filesystem::path> file = servedFile(path)) {
        HttpsResponse response = HttpsResponse::fileContent(*file);
        response.etag =
            "\"" + std::to_string(std::filesystem::file_size(*file)) + "-" +
            std::to_string(std::filesystem::last_write_time(*file).time_since_epoch().count()) +
            "\"";
        response.cutAt = rootCutAt_;
        return response;
    }
    return HttpsResponse::error(404);
}

std::optional<std::filesystem::path> HttpsServer::servedFile(std::string_view path) const {
    std::optional<std::string> decoded = percentDecoded(path);
    if (!root_ || !decoded) {
        return std::nullopt;
    }
    // Checked after decoding, so an escaped ".." or "/" cannot climb out of the folder either;
    // a link inside it that leads out is refused as well.
    std::filesystem::path relative = std::filesystem::path(*decoded).relative_path();
    if (std::find(relative.begin(), relative.end(), "..") != relative.end()) {
        return std::nullopt;
    }
    std::error_code missing;
    std::filesystem::path root = std::filesystem::canonical(*root_, missing);
    if (missing) {
        return std::nullopt;
    }
    std::filesystem::path file = std::filesystem::canonical(root / relative, missing);
    if (missing || !std::filesystem::is_regular_file(file, missing) ||
        std::mismatch(root.begin(), root.end(), file.begin(), file.end()).first != root.end()) {
        return std::nullopt;
    }
    return file;
}

void HttpsServer::waitForHangUp(int socket) const {
    pollfd waits[] = {{socket, POLLIN, 0}, {stopEvent_.get(), POLLIN, 0}};
    while (::poll(waits, 2, -1) < 0 && errno == EINTR) {
    }
}

void HttpsServer::serve(int socket) {
    CHandle<SSL_free> ssl(SSL_new(tls_.get()));
    if (!ssl || SSL_set_fd(ssl.get(), socket) != 1 || SSL_accept(ssl.get()) != 1) {
        return;
    }
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        int count = SSL_read(ssl.get(), buffer, sizeof buffer);
        if (count <= 0 || request.size() > maximumRequestBytes) {
            return;
        }
        request.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t pathStart = request.find(' ') + 1;
    HttpsRequest received{request.substr(pathStart, request.find(' ', pathStart) - pathStart),
                          request.substr(0, request.find("\r\n\r\n"))};
    HttpsResponse response = responseFor(received.path.substr(0, received.path.find('?')));
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(received);
    }
    if (response.silent) {
        waitForHangUp(socket);
        return;
    }

    std::unique_ptr<std::istream> body;
    std::uint64_t size = response.body.size();
    if (response.file) {
        body = std::make_unique<std::ifstream>(*response.file, std::ios::binary);
        size = std::filesystem::file_size(*response.file);
    } else {
        body = std::make_unique<std::istringstream>(response.body);
    }
    bool chunked = response.chunkBytes > 0 || response.endless;
    std::string head = "\r\nConnection: close\r\n";
    std::uint64_t offset = 0;
    if (!chunked && response.status == 200 && response.ranges) {
        head += "Accept-Ranges: bytes\r\n";
        std::string validator = requestHeader(received.head, "If-Range");
        std::optional<std::uint64_t> start = rangeStart(requestHeader(received.head, "Range"));
        bool current = validator.empty() || validator == response.etag;
        if (start && *start < size && current) {
            offset = *start;
            response.status = 206;
            head += "Content-Range: bytes " + std::to_string(offset) + "-" +
                    std::to_string(size - 1) + "/" + std::to_string(size) + "\r\n";
            body->seekg(static_cast<std::streamoff>(offset));
        }
    }
    if (response.etag) {
        head += "ETag: " + *response.etag + "\r\n";
    }
    head = "HTTP/1.1 " + std::to_string(response.status) + " " + head;
    head += chunked ? std::string("Transfer-Encoding: chunked\r\n")
                    : "Content-Length: " +
                          std::to_string(response.announcedLength.value_or(size) - offset) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    auto send = [&](std::string_view bytes) {
        return SSL_write(ssl.get(), bytes.data(), static_cast<int>(bytes.size())) > 0;
    };
    bool open = send(head + "\r\n");

    std::size_t limit = response.stallAfter.value_or(SIZE_MAX);
    const bool cutting = response.cutAt && *response.cutAt > offset;
    if (cutting) {
        limit = static_cast<std::size_t>(*response.cutAt - offset);
    }
    std::size_t sent = 0;
    std::string piece;
    while (open && sent < limit) {
        piece.resize(
            std::min(limit - sent, response.chunkBytes > 0 ? response.chunkBytes : pieceBytes));
        body->read(piece.data(), static_cast<std::streamsize>(piece.size()));
        piece.resize(static_cast<std::size_t>(body->gcount()));
        if (piece.empty() && response.endless) {
            body->clear();
            body->seekg(0);
        } else if (piece.empty()) {
            break;
        } else if (chunked) {
            char prefix[32];
            int written = std::snprintf(prefix, sizeof prefix, "%zx\r\n", piece.size());
            open = send({prefix, static_cast<std::size_t>(written)}) && send(piece) && send("\r\n");
        } else {
            open = send(piece);
        }
        sent += piece.size();
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
        SSL_shutdown(ssl.get());
    }
}
