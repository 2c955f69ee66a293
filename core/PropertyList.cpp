#include "core/PropertyList.h"

#include "core/FileContents.h"

#include <cstdlib>
#include <limits>

std::optional<PropertyList> PropertyList::parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
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
