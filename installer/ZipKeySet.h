#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace CenterInstaller {

// A set of entry keys for one inspection: open addressing over a table of small slots sized
// once for the largest number of keys, so that adding or finding a key touches one cache line
// in the usual case. It holds views: the keys' bytes must outlive the set.
class ZipKeySet {
  public:
    // A set for at most `capacity` keys.
    explicit ZipKeySet(std::size_t capacity);

    // Adds a key; false when it was already present.
    bool insert(std::string_view key);
    [[nodiscard]] bool contains(std::string_view key) const;

  private:
    // Part of the key's hash, to skip most comparisons, and 1 + the key's index in keys_
    // (0 marks a free slot).
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t key = 0;
    };

    // The slot that holds the key, or the free slot where it belongs.
    [[nodiscard]] std::size_t find(std::string_view key, std::size_t hash) const;

    std::vector<std::string_view> keys_;
    std::vector<Slot> slots_;
    std::size_t mask_;
};

} // namespace CenterInstaller
