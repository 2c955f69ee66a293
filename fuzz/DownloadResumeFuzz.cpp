// Resuming an artifact download: the validator stored beside the partial file, then the head of
// the server's answer line by line. Whatever they hold, the resume must ask for the rest with the
// stored validator, accept only a Content-Range that is exactly the rest of the file, and keep a
// validator that the next attempt reads back unchanged.
#include "fuzz/ScratchFolder.h"
#include "transport/DownloadFile.h"
#include "transport/DownloadResume.h"
#include "transport/ResponseHead.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The text up to the next line break, which stays with it, as libcurl hands a header over.
std::string_view nextLine(std::string_view& input) {
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end == input.npos ? input.size() : end + 1);
    input.remove_prefix(line.size());
    return line;
}

std::uint16_t twoBytes(std::string_view& input) {
    std::uint16_t value = 0;
    for (int i = 0; i < 2 && !input.empty(); ++i, input.remove_prefix(1)) {
        value = static_cast<std::uint16_t>(value << 8 | static_cast<unsigned char>(input[0]));
    }
    return value;
}

} // namespace

// The input: one byte of flags (a partial answer, an expected size), the partial file's size
// in two bytes, the stored validator up to a line break, then the answer's header lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::int64_t maxBytes = 20LL * 1024 * 1024 * 1024;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const unsigned char flags = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    input.remove_prefix(input.empty() ? 0 : 1);
    const std::uint16_t partialBytes = twoBytes(input);
    std::string_view stored = nextLine(input);
    if (stored.ends_with('\n')) {
        stored.remove_suffix(1);
    }
    const std::optional<std::int64_t> expectedBytes =
        flags & 2 ? std::optional<std::int64_t>(0x8000) : std::nullopt;

    static const ScratchFolder downloads("kestryn-fuzz-resume");
    const fs::path partial = downloads.path() / "回响工坊 1.5.zip.partial";
    std::ofstream(partial, std::ios::app).close();
    fs::resize_file(partial, partialBytes);
    std::ofstream(DownloadResume::validatorFile(partial), std::ios::binary | std::ios::trunc)
        .write(stored.data(), static_cast<std::streamsize>(stored.size()));

    DownloadResume resume;
    std::optional<DownloadFile> file;
    file.emplace(partial, true);
    const std::vector<std::string> request =
        resume.begin(*file, partial, expectedBytes.value_or(maxBytes));
    if (!request.empty() && request.back() != "If-Range: " + std::string(stored)) {
        std::abort();
    }

    ResponseHead head;
    for (std::string_view line = nextLine(input); !line.empty() && !head.add(line);
         line = nextLine(input)) {
    }
    head.status = flags & 1 ? 206 : 200;
    if (head.status == 206) {
        const std::optional<ByteRange> range = head.range();
        const std::optional<std::int64_t> total = resume.restOfFile(range, maxBytes, expectedBytes);
        if (total && !(range->first == resume.offset() && range->first <= range->last &&
                       range->last < *total && *total <= maxBytes)) {
            std::abort();
        }
    } else {
        resume.wholeFile(head.validator());
    }

    // An attempt that ends early keeps its validator for the next one.
    resume.keep(*file);
    file.reset();
    DownloadResume next;
    DownloadFile again(partial, true);
    const std::vector<std::string> nextRequest =
        next.begin(again, partial, expectedBytes.value_or(maxBytes));
    if (!nextRequest.empty() && nextRequest.back() != "If-Range: " + std::string(stored) &&
        nextRequest.back() != "If-Range: " + head.validator()) {
        std::abort();
    }
    return 0;
}
