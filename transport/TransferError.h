#pragma once

#include <curl/curl.h>
#include <stdexcept>
#include <string>

// A failure of the transfer itself (connection, TLS, time-out, cancellation midway), carrying
// libcurl's code and message; the service passes it through unchanged.
class TransferError : public std::runtime_error {
  public:
    TransferError(CURLcode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}

    [[nodiscard]] CURLcode code() const noexcept { return code_; }
    // Whether the transfer was stopped because its caller asked it to stop.
    [[nodiscard]] bool cancelled() const noexcept { return code_ == CURLE_ABORTED_BY_CALLBACK; }

  private:
    CURLcode code_;
};
