// The center's own update feed from the network: the signature block, the items of the document
// and the newest item's release notes must end in a result or the updater's own refusal, never
// a crash.
#include "core/Base64.h"
#include "installer/PackageValidation.h"
#include "selfupdate/AppcastFeed.h"
#include "selfupdate/CenterSelfUpdateError.h"
#include "selfupdate/ReleaseNotes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The test publisher's key, so the seeds' signature blocks verify.
    static const std::string publicKey =
        CenterCore::base64Decode("strK2cZ8lTiRa3mlrriYaFTsTSp3ZzwRzVp6V2e90a4=").value();
    static const std::string systemVersion = CenterInstaller::currentSystemVersion();
    const std::string_view feed(reinterpret_cast<const char*>(data), size);
    std::string_view document = feed;
    try {
        document = AppcastFeed::signedDocument(feed, publicKey);
    } catch (const CenterSelfUpdateError&) {
        // A changed document never verifies: it is read anyway, as if its block had.
    }
    try {
        std::optional<AppcastItem> newest = AppcastFeed::newestRunnable(
            AppcastFeed::items(document, "https://kestryn.example/updates/appcast.xml"),
            systemVersion);
        if (newest) {
            static_cast<void>(ReleaseNotes::plainText(newest->description));
        }
    } catch (const CenterSelfUpdateError&) {
    }
    return 0;
}
