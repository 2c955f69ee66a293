#pragma once

#include <algorithm>
#include <random>
#include <string>

// `size` incompressible bytes, the same for the same seed and different for another: a package
// stores them at their full size, and a piece put in the wrong place never matches.
inline std::string noise(unsigned seed, std::size_t size = 100'000) {
    std::independent_bits_engine<std::mt19937, 8, unsigned> bits(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(bits()); });
    return bytes;
}
