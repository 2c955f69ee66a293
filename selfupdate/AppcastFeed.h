#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One release of the center listed in an appcast.
struct AppcastItem {
    // sparkle:version, the build compared with the running center's CFBundleVersion.
    std::string version;
    // sparkle:shortVersionString, the version the user sees; empty when not given.
    std::string shortVersionString;
    // sparkle:minimumSystemVersion; empty when any system runs it.
    std::string minimumSystemVersion;
    std::string releaseNotesLink;
    // The item's <link>, absolute; for an informational item, the page that offers the release.
    std::string link;
    // sparkle:informationalUpdate: the release is announced on its page, nothing is downloaded.
    bool informational = false;
    // The item's description as written (often HTML).
    std::string description;
    // Absolute: an address relative to the feed is resolved against the feed's own address.
    std::string enclosureURL;
    std::int64_t enclosureLength = 0;
    // The raw 64-byte Ed25519 signature of the enclosure's bytes.
    std::string enclosureSignature;

    // The version to show: the short version when given, otherwise the build.
    [[nodiscard]] const std::string& displayVersion() const {
        return shortVersionString.empty() ? version : shortVersionString;
    }
};

// The appcast format: an RSS 2.0 feed with the sparkle: namespace, ending with a signature
// block over the bytes before it. Stateless; failures throw CenterSelfUpdateError with the
// user's sentence.
namespace AppcastFeed {

// The largest feed that is fetched at all.
inline constexpr std::int64_t maximumBytes = 8 * 1024 * 1024;

// The document before the trailing "<!-- sparkle-signatures:\nedSignature: B64\nlength: N\n-->\n"
// block, once the block is well formed, N is exactly the number of bytes before it, and the
// signature verifies with the 32-byte Ed25519 `publicKey`.
[[nodiscard]] std::string_view signedDocument(std::string_view feed, std::string_view publicKey);

// The items of `rss/channel`, fetched from `feedURL`, that this center can offer: those with a
// version and a complete enclosure (an HTTPS address, a length of 1 byte to 20 GiB, a 64-byte
// signature), and informational ones with an HTTPS page; other items are passed over. Refuses a
// document with a DTD, so no entity is ever declared or expanded, and one without any such item,
// saying whether its enclosures lacked signatures or HTTPS.
[[nodiscard]] std::vector<AppcastItem> items(std::string_view document, std::string_view feedURL);

// The item with the greatest version among those `systemVersion` can run; ties keep the first.
[[nodiscard]] std::optional<AppcastItem> newestRunnable(const std::vector<AppcastItem>& items,
                                                        std::string_view systemVersion);

} // namespace AppcastFeed
