#include "selfupdate/AppcastFeed.h"

#include "core/Base64.h"
#include "core/CenterError.h"
#include "core/Ed25519.h"
#include "core/Validation.h"
#include "core/Versions.h"
#include "selfupdate/CenterSelfUpdateError.h"

#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <charconv>

namespace AppcastFeed {
namespace {

const char* const unsignedFeed = "软件中心更新源没有签名，已拒绝使用。";
const char* const badSignature = "软件中心更新源的签名无效，已拒绝使用。";
const char* const unreadable = "软件中心更新源的内容无法识别。";
const char* const noRelease = "软件中心更新源中没有可用的版本。";
const char* const noSignedRelease = "软件中心更新源中没有为本软件中心签名的版本，不能安装。";
const char* const noHTTPSRelease = "软件中心更新源中没有通过 HTTPS 提供的版本，不能安装。";

const QString sparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// Removes `prefix` from the front of `text`; whether it was there.
bool consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

// The text up to the next line break, which is consumed; nothing without a line break.
std::optional<std::string_view> line(std::string_view& text) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view found = text.substr(0, end);
    text.remove_prefix(end + 1);
    return found;
}

// A decimal count without sign or leading zeros, at most `ceiling`.
std::optional<std::int64_t> count(std::string_view digits, std::int64_t ceiling) {
    std::int64_t value = 0;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value > ceiling) {
        return std::nullopt;
    }
    return value;
}

std::string text(QStringView value) {
    return value.toString().trimmed().toStdString();
}

// Reads the enclosure's attributes; a build or short version given there fills what the item's
// own elements left empty.
void readEnclosure(const QXmlStreamAttributes& attributes, AppcastItem& item) {
    item.enclosureURL = text(attributes.value(QStringLiteral("url")));
    std::optional<std::int64_t> length =
        count(text(attributes.value(QStringLiteral("length"))), CenterCore::maximumArtifactBytes);
    item.enclosureLength = length.value_or(0);
    item.enclosureSignature =
        CenterCore::base64Decode(
            text(attributes.value(sparkleNamespace, QStringLiteral("edSignature"))))
            .value_or("");
    if (item.version.empty()) {
        item.version = text(attributes.value(sparkleNamespace, QStringLiteral("version")));
    }
    if (item.shortVersionString.empty()) {
        item.shortVersionString =
            text(attributes.value(sparkleNamespace, QStringLiteral("shortVersionString")));
    }
}

AppcastItem readItem(QXmlStreamReader& reader) {
    AppcastItem item;
    std::optional<QXmlStreamAttributes> enclosure;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        const bool sparkle = reader.namespaceUri() == sparkleNamespace;
        const bool plain = reader.namespaceUri().isEmpty();
        std::string* field = nullptr;
        if (sparkle && name == QLatin1String("version")) {
            field = &item.version;
        } else if (sparkle && name == QLatin1String("shortVersionString")) {
            field = &item.shortVersionString;
        } else if (sparkle && name == QLatin1String("minimumSystemVersion")) {
            field = &item.minimumSystemVersion;
        } else if (sparkle && name == QLatin1String("releaseNotesLink")) {
            field = &item.releaseNotesLink;
        } else if (sparkle && name == QLatin1String("informationalUpdate")) {
            item.informational = true;
        } else if (plain && name == QLatin1String("link")) {
            field = &item.link;
        } else if (plain && name == QLatin1String("description")) {
            // Notes written as markup rather than text or CDATA still count as notes.
            item.description =
                reader.readElementText(QXmlStreamReader::IncludeChildElements).toStdString();
            continue;
        } else if (plain && name == QLatin1String("enclosure") && !enclosure) {
            enclosure = reader.attributes();
        }
        if (field != nullptr) {
            *field = reader.readElementText(QXmlStreamReader::IncludeChildElements)
                         .trimmed()
                         .toStdString();
        } else {
            reader.skipCurrentElement();
        }
    }
    if (enclosure) {
        readEnclosure(*enclosure, item);
    }
    return item;
}

// `address` as written when it is absolute, otherwise resolved against the feed's address.
std::string absolute(const std::string& address, const QUrl& feed) {
    const QUrl url(QString::fromStdString(address));
    if (address.empty() || !url.isValid() || !url.isRelative()) {
        return address;
    }
    return feed.resolved(url).toString(QUrl::FullyEncoded).toStdString();
}

// Whether the transport will fetch the address.
bool fetchable(const std::string& address) {
    try {
        CenterCore::validateHTTPS(address);
        return true;
    } catch (const CenterError&) {
        return false;
    }
}

// How near an item comes to being offered, in increasing order: the nearest an unusable feed
// came picks its sentence.
enum class Standing { incomplete, unsignedEnclosure, notHTTPS, offerable };

Standing standingOf(const AppcastItem& item) {
    if (item.version.empty()) {
        return Standing::incomplete;
    }
    if (item.informational) {
        if (item.link.empty()) {
            return Standing::incomplete;
        }
        return CenterCore::isHTTPSAddress(item.link) ? Standing::offerable : Standing::notHTTPS;
    }
    if (item.enclosureURL.empty() || item.enclosureLength <= 0) {
        return Standing::incomplete;
    }
    if (item.enclosureSignature.size() != 64) {
        return Standing::unsignedEnclosure;
    }
    return fetchable(item.enclosureURL) ? Standing::offerable : Standing::notHTTPS;
}

} // namespace

std::string_view signedDocument(std::string_view feed, std::string_view publicKey) {
    constexpr std::string_view opening = "<!-- sparkle-signatures:\n";
    std::size_t start = feed.rfind(opening);
    if (start == std::string_view::npos) {
        throw CenterSelfUpdateError(unsignedFeed);
    }
    std::string_view block = feed.substr(start + opening.size());
    std::optional<std::string_view> signatureLine = line(block);
    std::optional<std::string_view> lengthLine = line(block);
    if (!signatureLine || !lengthLine || !consume(*signatureLine, "edSignature: ") ||
        !consume(*lengthLine, "length: ") || block != "-->\n") {
        throw CenterSelfUpdateError(badSignature);
    }
    std::optional<std::string> signature = CenterCore::base64Decode(*signatureLine);
    std::optional<std::int64_t> length = count(*lengthLine, maximumBytes);
    if (!signature || !length || static_cast<std::size_t>(*length) != start) {
        throw CenterSelfUpdateError(badSignature);
    }
    std::string_view document = feed.substr(0, start);
    if (!CenterCore::ed25519Verifies(document, *signature, publicKey)) {
        throw CenterSelfUpdateError(badSignature);
    }
    return document;
}

std::vector<AppcastItem> items(std::string_view document, std::string_view feedURL) {
    const QUrl feed(QString::fromUtf8(feedURL.data(), static_cast<qsizetype>(feedURL.size())));
    // QXmlStreamReader: QtCore is linked here already, and it never loads an external entity.
    // Refusing the DTD as well means no entity can be declared at all, so nothing is expanded
    // beyond the five predefined ones.
    QXmlStreamReader reader(QByteArray(document.data(), static_cast<qsizetype>(document.size())));
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
        if (reader.tokenType() == QXmlStreamReader::DTD) {
            throw CenterSelfUpdateError(unreadable);
        }
    }
    if (reader.tokenType() != QXmlStreamReader::StartElement ||
        reader.name() != QLatin1String("rss")) {
        throw CenterSelfUpdateError(unreadable);
    }
    std::vector<AppcastItem> found;
    Standing nearest = Standing::incomplete;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("channel")) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (reader.name() == QLatin1String("item") && reader.namespaceUri().isEmpty()) {
                AppcastItem item = readItem(reader);
                item.enclosureURL = absolute(item.enclosureURL, feed);
                item.link = absolute(item.link, feed);
                const Standing standing = standingOf(item);
                nearest = std::max(nearest, standing);
                if (standing == Standing::offerable) {
                    found.push_back(std::move(item));
                }
            } else {
                reader.skipCurrentElement();
            }
        }
    }
    // Reading on to the end proves the whole document well formed, not just its first part.
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (reader.hasError()) {
        throw CenterSelfUpdateError(unreadable);
    }
    if (found.empty()) {
        throw CenterSelfUpdateError(nearest == Standing::notHTTPS            ? noHTTPSRelease
                                    : nearest == Standing::unsignedEnclosure ? noSignedRelease
                                                                             : noRelease);
    }
    return found;
}

std::optional<AppcastItem> newestRunnable(const std::vector<AppcastItem>& items,
                                          std::string_view systemVersion) {
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : items) {
        bool runnable = item.minimumSystemVersion.empty() ||
                        CenterCore::numericCompare(systemVersion, item.minimumSystemVersion) >= 0;
        if (runnable &&
            (newest == nullptr || CenterCore::numericCompare(item.version, newest->version) > 0)) {
            newest = &item;
        }
    }
    return newest ? std::optional(*newest) : std::nullopt;
}

} // namespace AppcastFeed
