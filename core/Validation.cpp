#include "core/Validation.h"

#include "core/CenterError.h"
#include "core/Registry.h"
#include "core/Unicode.h"
#include "core/Versions.h"
#include "core/WebAddress.h"

#include <set>
#include <string>

namespace CenterCore {
namespace {

constexpr std::int64_t supportedSchemaVersion = 1;
constexpr std::size_t maximumProducts = 100;
constexpr std::size_t maximumNameCharacters = 120;

const char* const unsupportedFormat = "发布清单格式不受支持。";
const char* const invalidProduct = "发布清单中有无效的产品信息。";
const char* const invalidVersion = "发布清单版本号无效。";
const char* const previewWithRelease = "幻彩工坊目前仅为界面预览，不能包含安装或更新版本。";
const char* const invalidArtifact = "安装包的地址、大小或校验值无效。";
const char* const insecureAddress = "更新地址必须使用 HTTPS，且不能包含用户名或密码。";

bool isLowerLetter(char c) {
    return c >= 'a' && c <= 'z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return isLowerLetter(c) || (c >= 'A' && c <= 'Z');
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// ^[a-z][a-z0-9-]{0,63}$ over the whole text: a trailing line break does not match.
bool isProductID(std::string_view id) {
    if (id.empty() || id.size() > 64 || !isLowerLetter(id[0])) {
        return false;
    }
    for (char c : id.substr(1)) {
        if (!isLowerLetter(c) && !isDigit(c) && c != '-') {
            return false;
        }
    }
    return true;
}

// ^[A-Za-z0-9][A-Za-z0-9.-]{2,200}$, whole text.
bool isBundleID(std::string_view id) {
    if (id.size() < 3 || id.size() > 201 || !(isLetter(id[0]) || isDigit(id[0]))) {
        return false;
    }
    for (char c : id.substr(1)) {
        if (!isLetter(c) && !isDigit(c) && c != '.' && c != '-') {
            return false;
        }
    }
    return true;
}

bool isProductName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos && isValidUTF8(name) &&
           graphemeCount(name) <= maximumNameCharacters;
}

// An absolute or relative URI reference in RFC 3986 syntax: printable ASCII without the
// characters the grammar excludes, and well-formed percent escapes.
bool isAddressSyntax(std::string_view address) {
    if (address.empty()) {
        return false;
    }
    for (std::size_t i = 0; i < address.size(); ++i) {
        char c = address[i];
        if (c <= ' ' || c >= 0x7F ||
            std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
            return false;
        }
        if (c == '%' && (i + 2 >= address.size() || !isHexDigit(address[i + 1]) ||
                         !isHexDigit(address[i + 2]))) {
            return false;
        }
    }
    return true;
}

void validateProduct(const CenterProduct& product) {
    if (previewOnlyProductIDs().contains(product.id) && product.release) {
        throw CenterError::invalid(previewWithRelease);
    }
    if (!isProductID(product.id) || !isBundleID(product.bundleID) || !isProductName(product.name) ||
        !isNumericVersion(product.minOS)) {
        throw CenterError::invalid(invalidProduct);
    }
    if (product.release) {
        if (!isNumericVersion(product.release->version) ||
            !isNumericVersion(product.release->build)) {
            throw CenterError::invalid(invalidVersion);
        }
        if (product.release->artifact) {
            validateArtifact(*product.release->artifact);
        }
    }
}

} // namespace

bool isDigestText(std::string_view digest) {
    if (digest.size() != 64) {
        return false;
    }
    for (char c : digest) {
        if (!isHexDigit(c)) {
            return false;
        }
    }
    return true;
}

bool isHTTPSAddress(std::string_view address) {
    if (!isAddressSyntax(address)) {
        return false;
    }
    std::optional<WebAddress> parsed = WebAddress::parse(address);
    return parsed && parsed->isHTTPS();
}

void validateHTTPS(std::string_view address) {
    // Every way an address can fail the rule gets the one sentence, malformed ones included:
    // an address that does not parse has no HTTPS scheme and host to speak of.
    if (address.find('#') != std::string_view::npos || !isHTTPSAddress(address)) {
        throw CenterError::invalid(insecureAddress);
    }
}

void validateArtifactSize(std::int64_t byteCount) {
    if (byteCount < 1 || byteCount > maximumArtifactBytes) {
        throw CenterError::invalid(invalidArtifact);
    }
}

void validateArtifact(const ReleaseArtifact& artifact) {
    validateArtifactSize(artifact.byteCount);
    if (!isAddressSyntax(artifact.url) || !isDigestText(artifact.sha256)) {
        throw CenterError::invalid(invalidArtifact);
    }
    validateHTTPS(artifact.url);
}

void validateCatalog(const CenterCatalog& catalog) {
    if (catalog.schemaVersion != supportedSchemaVersion || catalog.products.empty() ||
        catalog.products.size() > maximumProducts) {
        throw CenterError::invalid(unsupportedFormat);
    }
    std::set<std::string_view> ids;
    std::set<std::string_view> bundleIDs;
    for (const CenterProduct& product : catalog.products) {
        ids.insert(product.id);
        bundleIDs.insert(product.bundleID);
    }
    if (ids.size() != catalog.products.size() || bundleIDs.size() != catalog.products.size()) {
        throw CenterError::invalid(unsupportedFormat);
    }
    for (const CenterProduct& product : catalog.products) {
        validateProduct(product);
    }
}

} // namespace CenterCore
