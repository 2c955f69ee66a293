#include "core/PropertyList.h"

#include "core/FileContents.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

// A big-endian number of `width` bytes at `at`; nothing when it does not lie inside `bytes`.
std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at,
                                       std::uint64_t width) {
    if (width == 0 || width > 8 || at > bytes.size() || width > bytes.size() - at) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < width; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// Whether the string object at `at` of a binary list holds a NUL character, or cannot be read.
bool stringHoldsNUL(std::string_view bytes, std::uint64_t at) {
    const unsigned char marker = static_cast<unsigned char>(bytes[at]);
    const std::uint64_t unit = marker >> 4 == 0x5 ? 1 : marker >> 4 == 0x6 ? 2 : 0;
    if (unit == 0) {
        return false;
    }
    std::optional<std::uint64_t> count = marker & 0x0F;
    std::uint64_t start = at + 1;
    if (*count == 0x0F) {
        // The count follows as an integer object: marker 0x1N, then 2^N bytes.
        const std::optional<std::uint64_t> intMarker = bigEndian(bytes, start, 1);
        if (!intMarker || *intMarker >> 4 != 0x1 || (*intMarker & 0x0F) > 3) {
            return true;
        }
        const std::uint64_t width = std::uint64_t{1} << (*intMarker & 0x0F);
        count = bigEndian(bytes, start + 1, width);
        start += 1 + width;
    }
    if (!count || start > bytes.size() || *count > (bytes.size() - start) / unit) {
        return true;
    }
    const std::string_view text = bytes.substr(start, *count * unit);
    for (std::size_t i = 0; i < text.size(); i += unit) {
        if (text.substr(i, unit).find_first_not_of('\0') == std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// Whether a binary list holds a string with a NUL character, or an object table this check
// cannot read. libplist aborts the process on a dictionary key whose UTF-16 text holds U+0000
// (its length and strlen disagree) and silently cuts an ASCII one short, so neither is read.
bool binaryStringsHoldNUL(std::string_view bytes) {
    constexpr std::uint64_t trailerBytes = 32;
    if (!bytes.starts_with("bplist") || bytes.size() < 8 + trailerBytes) {
        return false;
    }
    const std::uint64_t trailer = bytes.size() - trailerBytes;
    const std::optional<std::uint64_t> offsetWidth = bigEndian(bytes, trailer + 6, 1);
    const std::optional<std::uint64_t> objects = bigEndian(bytes, trailer + 8, 8);
    const std::optional<std::uint64_t> table = bigEndian(bytes, trailer + 24, 8);
    if (!offsetWidth || *offsetWidth == 0 || *offsetWidth > 8 || !objects || !table ||
        *table > trailer || *objects > (trailer - *table) / *offsetWidth) {
        return true;
    }
    for (std::uint64_t i = 0; i < *objects; ++i) {
        const std::optional<std::uint64_t> at =
            bigEndian(bytes, *table + i * *offsetWidth, *offsetWidth);
        if (!at || *at >= trailer || stringHoldsNUL(bytes, *at)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<PropertyList> PropertyList::parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
        binaryStringsHoldNUL(bytes)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    return PropertyList(root);
}

std::optional<PropertyList> PropertyList::read(const std::filesystem::path& file) {
    // Real Info.plists are a few KiB; a huge one is not worth reading at every re-detection.
    constexpr std::size_t largestPropertyList = 16 * 1024 * 1024;
    std::string bytes;
    try {
        bytes = CenterCore::readFileContents(file, largestPropertyList);
    } catch (const std::filesystem::filesystem_error&) {
        return std::nullopt;
    }
    if (bytes.size() > largestPropertyList) {
        return std::nullopt;
    }
    return parse(bytes);
}

bool PropertyList::isDictionary() const {
    return plist_get_node_type(root()) == PLIST_DICT;
}

plist_t PropertyList::value(const char* key) const {
    return isDictionary() ? plist_dict_get_item(root(), key) : nullptr;
}

std::optional<std::string> PropertyList::string(const char* key) const {
    return stringOf(value(key));
}

std::optional<std::string> PropertyList::stringOf(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text, length);
}

void PropertyList::forEach(plist_t dictionary,
                           const std::function<void(const std::string&, plist_t)>& visit) {
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    CHandle<std::free> ownedIterator(iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &rawKey, &value);
        if (rawKey == nullptr) {
            return;
        }
        std::string key(rawKey);
        std::free(rawKey);
        visit(key, value);
    }
}
