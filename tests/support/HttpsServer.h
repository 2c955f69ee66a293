#pragma once

#include "core/CHandle.h"
#include "core/FileDescriptor.h"
#include "tests/support/TemporaryDirectory.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/ssl.h>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// The whole text as an integer no greater than `maximum`.
[[nodiscard]] std::optional<std::uint64_t> wholeInteger(std::string_view text,
                                                        std::uint64_t maximum = UINT64_MAX);

// How the test server answers one path. The builders cover the usual answers; the fields
// make it misbehave on purpose. A test may also name the fields it needs:
// `HttpsResponse{.body = bytes, .stallAfter = 100}`.
struct HttpsResponse {
    int status = 200;
    // The body: these bytes, or the content of `file` when it is set.
    std::string body{};
    std::optional<std::filesystem::path> file{};
    std::vector<std::pair<std::string, std::string>> headers{};
    // Send the body chunked, in pieces of this many bytes, with no length announced.
    std::size_t chunkBytes = 0;
    // Announce this Content-Length instead of the body's real size.
    std::optional<std::uint64_t> announcedLength{};
    // Send only this many body bytes, then wait silently until the client hangs up.
    std::optional<std::size_t> stallAfter{};
    // Read the request, then answer nothing at all until the client hangs up.
    bool silent = false;
    // The validator sent as ETag; a range request ("bytes=A-B" or "bytes=A-") whose If-Range, if
    // any, names it gets 206 with that range of the body.
    std::optional<std::string> etag{};
    // Whether range requests are answered at all; without, every answer is the whole body.
    bool ranges = true;
    // Cut the connection, without any closing message, once the content up to this offset has
    // been sent; an answer that starts at or after it (a range) is not cut.
    std::optional<std::uint64_t> cutAt{};
    // Keep the connection open after this answer for the client's next request.
    bool keepAlive = false;
    // Send the body at no more than this many bytes a second (0: as fast as possible).
    std::uint64_t bytesPerSecond = 0;
    // Answer range requests with every body byte inverted, the status and headers still right.
    bool wrongRanges = false;

    // A 200 answer with these bytes.
    static HttpsResponse bytes(std::string content);
    // A 200 answer with a file's content, streamed from disk.
    static HttpsResponse fileContent(std::filesystem::path path);
    // A redirect to `location`, which may be relative.
    static HttpsResponse redirect(std::string location, int status = 302);
    // An answer with only a status and a short text body.
    static HttpsResponse error(int status);
};

// One request the server received.
struct HttpsRequest {
    std::string path;
    // The request line and headers as they arrived.
    std::string head;
    // Which connection it came on, counted from 1 in the order they were accepted.
    std::size_t connection = 0;
    // The body bytes of the answer handed to the connection so far.
    std::uint64_t bodyBytes = 0;
};

// A real HTTPS/1.1 server on 127.0.0.1 for tests and demonstrations. It makes its own
// self-signed certificate for 127.0.0.1, "localhost" and any extra host names with the openssl
// command line and leaves it as `caFile()` for clients to trust. Each connection runs on its own
// thread and carries one request, or more after answers that keep it alive; a client that hangs
// up midway is fine.
class HttpsServer {
  public:
    // Starts listening on `port` (0: an ephemeral port), with a certificate that is also valid
    // for `extraHosts` (clients reach those names through a connect-to mapping). Throws
    // std::system_error when it cannot listen (a port in use: std::errc::address_in_use), or
    // std::runtime_error without a certificate, leaving nothing behind.
    explicit HttpsServer(std::uint16_t port = 0, const std::vector<std::string>& extraHosts = {});
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;
    ~HttpsServer();

    // Answers requests for `path` (query ignored) with `response` from now on.
    void route(const std::string& path, HttpsResponse response);
    // Serves the files under `root` for paths without a route, plain names only, each
    // answered as `misbehaviour` says with the file's content and an ETag made of its size and
    // modification time.
    void serveDirectory(std::filesystem::path root, HttpsResponse misbehaviour = {});

    [[nodiscard]] std::uint16_t port() const { return port_; }
    // The address of `path` on this server under `host` ("127.0.0.1" or "localhost").
    [[nodiscard]] std::string url(std::string_view path, std::string_view host = "127.0.0.1") const;
    // The PEM file of the certificate clients must trust.
    [[nodiscard]] const std::filesystem::path& caFile() const { return caFile_; }
    // Every request received so far, in order of arrival.
    [[nodiscard]] std::vector<HttpsRequest> requests() const;

  private:
    struct Connection {
        FileDescriptor socket;
        std::atomic<bool> done = false;
        std::thread thread;
    };

    void acceptLoop();
    void serve(int socket, std::size_t connection);
    // Reads one request and answers it; returns whether the connection stays open for another.
    [[nodiscard]] bool answer(const CHandle<SSL_free>& ssl, int socket, std::size_t connection);
    [[nodiscard]] HttpsResponse responseFor(const std::string& path) const;

    TemporaryDirectory folder_;
    std::filesystem::path caFile_ = folder_ / "ca.pem";
    CHandle<SSL_CTX_free> tls_;
    FileDescriptor listener_;
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    std::map<std::string, HttpsResponse> routes_;
    std::optional<std::filesystem::path> root_;
    HttpsResponse rootMisbehaviour_;
    std::vector<HttpsRequest> requests_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::size_t accepted_ = 0;
    std::thread acceptor_;
};
