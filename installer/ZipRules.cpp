#include "installer/ZipRules.h"

#include "core/CenterError.h"
#include "core/Unicode.h"

#include <algorithm>

namespace CenterInstaller {
namespace {

constexpr std::uint32_t fileTypeMask = 0xF000;
constexpr std::uint32_t regularFileType = 0x8000;
constexpr std::uint32_t folderType = 0x4000;

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool hasForbiddenCharacter(std::string_view name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return c == '\\' || c == '\0' || c == ':'; });
}

} // namespace

void checkZipEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/' || hasForbiddenCharacter(name) ||
        (!isASCII(name) && !CenterCore::isValidUTF8(name))) {
        throw CenterError::invalid("ZIP 包含无效路径或加密内容。");
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string_view piece = name.substr(start, slash - start);
        const bool last = slash == name.npos;
        if (piece == "." || piece == ".." || (piece.empty() && !last)) {
            throw CenterError::invalid("ZIP 包含不安全路径。");
        }
        if (last) {
            return;
        }
        start = slash + 1;
    }
}

void checkZipEntryType(std::uint32_t unixMode) {
    const std::uint32_t type = unixMode & fileTypeMask;
    if (type != 0 && type != regularFileType && type != folderType) {
        throw CenterError::invalid("此安装方式不支持符号链接或特殊文件，请使用专用安装包。");
    }
}

std::pmr::string zipEntryKey(std::string_view name, std::pmr::memory_resource* memory) {
    const std::size_t first = name.find_first_not_of('/');
    if (first == name.npos) {
        return std::pmr::string(memory);
    }
    name = name.substr(first, name.find_last_not_of('/') - first + 1);
    // ASCII is already composed and lower-cases byte by byte; this spares ICU nearly every name.
    if (isASCII(name)) {
        std::pmr::string key(name, memory);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        return key;
    }
    return std::pmr::string(CenterCore::lowercased(CenterCore::nfc(name)), memory);
}

std::string_view zipTopLevelName(std::string_view name) {
    return name.substr(0, name.find('/'));
}

} // namespace CenterInstaller
