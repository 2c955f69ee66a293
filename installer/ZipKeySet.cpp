#include "installer/ZipKeySet.h"

#include <bit>
#include <functional>

namespace CenterInstaller {

// At most half full, so probe sequences stay short.
ZipKeySet::ZipKeySet(std::size_t capacity)
    : slots_(std::bit_ceil(2 * capacity + 2)), mask_(slots_.size() - 1) {
    keys_.reserve(capacity);
}

std::size_t ZipKeySet::find(std::string_view key, std::size_t hash) const {
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t index = hash & mask_;; index = (index + 1) & mask_) {
        const Slot& slot = slots_[index];
        if (slot.key == 0 || (slot.hash == tag && keys_[slot.key - 1] == key)) {
            return index;
        }
    }
}

bool ZipKeySet::insert(std::string_view key) {
    const std::size_t hash = std::hash<std::string_view>{}(key);
    Slot& slot = slots_[find(key, hash)];
    if (slot.key != 0) {
        return false;
    }
    keys_.push_back(key);
    slot = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(keys_.size())};
    return true;
}

bool ZipKeySet::contains(std::string_view key) const {
    return slots_[find(key, std::hash<std::string_view>{}(key))].key != 0;
}

} // namespace CenterInstaller
