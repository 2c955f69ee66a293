#pragma once

#include <string>

// The bytes that a text of hexadecimal digit pairs stands for, as test vectors write them.
inline std::string hexToBytes(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}
