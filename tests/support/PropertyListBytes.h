#pragma once

#include "core/CHandle.h"

#include <cstdint>
#include <map>
#include <plist/plist.h>
#include <string>

// The bytes of a property list whose root dictionary holds these texts, written by libplist in
// XML or binary form, as the platform's tools would write an Info.plist.
inline std::string propertyListBytes(const std::map<std::string, std::string>& texts,
                                     bool binary = false) {
    CHandle<plist_free> dictionary(plist_new_dict());
    for (const auto& [key, value] : texts) {
        plist_dict_set_item(dictionary.get(), key.c_str(), plist_new_string(value.c_str()));
    }
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (binary) {
        plist_to_bin(dictionary.get(), &bytes, &length);
        return {CHandle<plist_to_bin_free>(bytes).get(), length};
    }
    plist_to_xml(dictionary.get(), &bytes, &length);
    return {CHandle<plist_to_xml_free>(bytes).get(), length};
}
