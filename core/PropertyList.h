#pragma once

#include "core/CHandle.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <plist/plist.h>
#include <string>
#include <string_view>

// An owned property list parsed from XML or binary form.
class PropertyList {
  public:
    // Nothing when the bytes are not a property list in either form, or are a binary one with a
    // NUL character in a string, which libplist cannot read safely.
    [[nodiscard]] static std::optional<PropertyList> parse(std::string_view bytes);
    // Nothing when the file cannot be read or parsed.
    [[nodiscard]] static std::optional<PropertyList> read(const std::filesystem::path& file);

    [[nodiscard]] plist_t root() const { return root_.get(); }
    [[nodiscard]] bool isDictionary() const;
    // The value under `key` of the root dictionary, or null when absent.
    [[nodiscard]] plist_t value(const char* key) const;
    // The text under `key` of the root dictionary; nothing when absent or not text.
    [[nodiscard]] std::optional<std::string> string(const char* key) const;

    // Calls `visit` with each key and value of a dictionary node, in stored order.
    static void forEach(plist_t dictionary,
                        const std::function<void(const std::string&, plist_t)>& visit);

    // The text of a string node; nothing for any other node.
    [[nodiscard]] static std::optional<std::string> stringOf(plist_t node);

  private:
    explicit PropertyList(plist_t root) : root_(root) {}

    CHandle<plist_free> root_;
};
