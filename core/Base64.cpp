#include "core/Base64.h"

#include <array>

namespace CenterCore {
namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> decodingTable() {
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    }
    return table;
}

} // namespace

std::optional<std::string> base64Decode(std::string_view text) {
    static constexpr std::array<int, 256> table = decodingTable();
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') {
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    }
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        std::size_t digits = last ? 4 - padding : 4;
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            int value = 0;
            if (j < digits) {
                value = table[static_cast<unsigned char>(text[i + j])];
                if (value < 0) {
                    return std::nullopt;
                }
            }
            group = (group << 6) | static_cast<std::uint32_t>(value);
        }
        bytes.push_back(static_cast<char>(group >> 16));
        if (digits > 2) {
            bytes.push_back(static_cast<char>(group >> 8));
        }
        if (digits > 3) {
            bytes.push_back(static_cast<char>(group));
        }
        // Bits below the last full byte must be zero, so that each byte string has one encoding.
        if ((digits == 2 && (group & 0xFFFF) != 0) || (digits == 3 && (group & 0xFF) != 0)) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string base64Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0U);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            text.push_back(j <= count ? alphabet[(group >> (18 - 6 * j)) & 0x3F] : '=');
        }
    }
    return text;
}

} // namespace CenterCore
