#pragma once

#include "core/LocalizedError.h"

#include <curl/curl.h>
#include <filesystem>
#include <string>
#include <string_view>

// A failure of the transfer itself (connection, TLS, time-out, cancellation midway), carrying
// libcurl's code and, as what(), the user's sentence built from it; the service passes it
// through unchanged.
class TransferError : public LocalizedError {
  public:
    // The failure `code` of a transfer of `url` (empty before any address is known), told with
    // the useful detail: the host and port, and `httpStatus`, the status of the answer that had
    // arrived (0 when none had).
    TransferError(CURLcode code, std::string_view url, long httpStatus = 0);

    // The file of extra certificate authorities holds no certificate.
    [[nodiscard]] static TransferError unusableAuthorities(const std::filesystem::path& file);

    [[nodiscard]] CURLcode code() const noexcept { return code_; }
    // Whether the transfer was stopped because its caller asked it to stop.
    [[nodiscard]] bool cancelled() const noexcept { return code_ == CURLE_ABORTED_BY_CALLBACK; }

  private:
    struct Sentence {
        std::string text;
    };
    TransferError(CURLcode code, const Sentence& told);

    CURLcode code_;
};
