#include "cli/Arguments.h"
#include "core/Base64.h"
#include "core/CenterError.h"
#include "core/FileContents.h"
#include "core/FileMapping.h"
#include "core/Unicode.h"
#include "core/Validation.h"
#include "core/Versions.h"
#include "publisher/PrivateKey.h"
#include "publisher/Verbs.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace {

// The feed the center accepts at most; larger notes would make an unusable feed.
constexpr std::size_t largestFeed = 8 * 1024 * 1024;

// The base64 signature of `message`, as the feed carries it.
std::string signedText(const PrivateKey& key, std::string_view message) {
    return CenterCore::base64Encode(key.sign(message, "无法签署更新源。"));
}

// Text as XML character data or attribute value. Refuses what XML 1.0 cannot carry at all.
std::string escaped(std::string_view text, const char* what) {
    if (!CenterCore::isValidUTF8(text)) {
        throw CenterError::invalid(std::string(what) + "不是有效的 UTF-8 文本。");
    }
    std::string result;
    for (char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                throw CenterError::invalid(std::string(what) + "含有不能写入更新源的控制字符。");
            }
            result += c;
        }
    }
    return result;
}

std::string numericVersion(const Arguments& arguments, const std::string& option) {
    std::string version = arguments.required(option);
    if (!CenterCore::isNumericVersion(version)) {
        throw UsageError(option + " 必须是由数字和点组成的版本号。");
    }
    return version;
}

// What the publisher says about the release, checked before any key or archive is read.
struct Release {
    std::filesystem::path archive;
    std::string url;
    std::string build;
    std::string shortVersion;
    std::optional<std::string> minimumSystem;
    std::string notes;
};

Release releaseFrom(const Arguments& arguments) {
    Release release;
    release.archive = arguments.positionals(1)[0];
    release.url = arguments.required("--url");
    CenterCore::validateHTTPS(release.url);
    release.build = numericVersion(arguments, "--version");
    release.shortVersion = arguments.required("--short-version");
    if (!CenterCore::isVersionText(release.shortVersion)) {
        throw UsageError("--short-version 必须是以数字开头的版本号，例如 1.1.0。");
    }
    if (arguments.value("--min-system")) {
        release.minimumSystem = numericVersion(arguments, "--min-system");
    }
    if (std::optional<std::string> notesFile = arguments.value("--notes")) {
        release.notes = CenterCore::readFileContents(*notesFile, largestFeed);
        if (release.notes.size() > largestFeed) {
            throw CenterError::invalid("更新说明超过 8 MiB，软件中心不会接受。");
        }
    }
    return release;
}

// The archive as the feed's enclosure names it: its byte count and its signature.
struct Enclosure {
    std::size_t length = 0;
    std::string signature;
};

Enclosure signedEnclosure(const std::filesystem::path& archive, const PrivateKey& key) {
    const CenterCore::FileMapping mapping(archive);
    auto bytes = mapping.bytes();
    CenterCore::validateArtifactSize(static_cast<std::int64_t>(bytes.size()));
    return {bytes.size(),
            signedText(key, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})};
}

// The feed with its one item, everything the signature block covers.
std::string feedDocument(const Release& release, const Enclosure& enclosure) {
    const std::string version = escaped(release.shortVersion, "--short-version ");
    std::string document =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<rss version=\"2.0\" "
        "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
        "  <channel>\n"
        "    <title>KESTRYN 软件中心</title>\n"
        "    <item>\n"
        "      <title>KESTRYN 软件中心 " +
        version +
        "</title>\n"
        "      <sparkle:version>" +
        release.build +
        "</sparkle:version>\n"
        "      <sparkle:shortVersionString>" +
        version + "</sparkle:shortVersionString>\n";
    if (release.minimumSystem) {
        document += "      <sparkle:minimumSystemVersion>" + *release.minimumSystem +
                    "</sparkle:minimumSystemVersion>\n";
    }
    if (!release.notes.empty()) {
        document += "      <description>" + escaped(release.notes, "更新说明") + "</description>\n";
    }
    document += "      <enclosure url=\"" + escaped(release.url, "--url ") + "\" length=\"" +
                std::to_string(enclosure.length) +
                "\" type=\"application/octet-stream\" sparkle:edSignature=\"" +
                enclosure.signature +
                "\"/>\n"
                "    </item>\n"
                "  </channel>\n"
                "</rss>\n";
    return document;
}

// The block that ends the feed: the signature of every byte before it, and their count.
std::string signatureBlock(const PrivateKey& key, const std::string& document) {
    return "<!-- sparkle-signatures:\nedSignature: " + signedText(key, document) +
           "\nlength: " + std::to_string(document.size()) + "\n-->\n";
}

} // namespace

int appcastVerb(const Arguments& arguments) {
    const Release release = releaseFrom(arguments);
    const PrivateKey key(arguments.required("--key"));
    const std::string document = feedDocument(release, signedEnclosure(release.archive, key));
    const std::string block = signatureBlock(key, document);
    if (document.size() + block.size() > largestFeed) {
        throw CenterError::invalid("签名后的更新源超过 8 MiB，软件中心不会接受。");
    }
    std::cout << document << block;
    return 0;
}
