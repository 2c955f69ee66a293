// Info.plist files of bundles found on disk, in XML or binary form.
#include "core/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<PropertyList> plist =
        PropertyList::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (plist && plist->isDictionary()) {
        for (const char* key :
             {"CFBundleIdentifier", "CFBundleShortVersionString", "CFBundleVersion"}) {
            static_cast<void>(plist->string(key));
        }
    }
    return 0;
}
