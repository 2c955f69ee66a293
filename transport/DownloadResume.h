#pragma once

#include "transport/DownloadFile.h"
#include "transport/ResponseHead.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// How an artifact download picks up the bytes an earlier attempt kept: the server's validator
// (ETag or Last-Modified) stored beside the partial file, the range request guarded by If-Range
// that asks for the rest, and the proof that a partial answer is the rest of the same file.
class DownloadResume {
  public:
    // The validator file beside a partial file.
    [[nodiscard]] static std::filesystem::path validatorFile(const std::filesystem::path& partial);

    // Takes the validator stored beside the just opened partial file (removing it, so that bytes
    // and validator never disagree on disk) and returns the request headers that ask for the
    // rest. Starts the file over and returns none when there is nothing to resume, nothing to
    // prove it by, or more than `limit` bytes, the artifact's size.
    [[nodiscard]] std::vector<std::string>
    begin(DownloadFile& file, const std::filesystem::path& partial, std::int64_t limit);
    // Where a resumed answer must begin: the partial file's size, or 0 for a whole download.
    [[nodiscard]] std::int64_t offset() const { return offset_; }

    // The whole file's size when a partial answer's Content-Range is the rest of exactly the
    // file asked for; otherwise nothing, and the validator is of no use any more.
    [[nodiscard]] std::optional<std::int64_t> restOfFile(const std::optional<ByteRange>& range,
                                                         std::int64_t maxBytes,
                                                         std::optional<std::int64_t> expectedBytes);
    // The whole file arrives: its own validator is the one its bytes are kept with.
    void wholeFile(std::string validator);

    // Keeps the bytes of an attempt that ended early, with their validator, when the file may
    // outlive the attempt and a validator can prove later that they still belong to it.
    void keep(DownloadFile& file) const;

  private:
    std::int64_t offset_ = 0;
    std::string validator_;
};
