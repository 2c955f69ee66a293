#include "installer/ResourceSeal.h"

#include "core/AtomicFile.h"
#include "core/CHandle.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/FileContents.h"
#include "core/FileOperationError.h"
#include "core/FileSystem.h"
#include "core/PropertyList.h"
#include "installer/Process.h"

#include <algorithm>
#include <map>
#include <optional>
#include <system_error>

namespace CenterInstaller::ResourceSeal {
namespace {

namespace fs = std::filesystem;
using CenterCore::FileOperation;
using CenterCore::FileOperationError;

constexpr std::size_t maximumSealBytes = 64 * 1024 * 1024;
constexpr std::size_t digestBytes = 32;
const char* const sealFolder = "_CodeSignature";

// What the seal says about one path under Contents/.
struct SealedItem {
    std::optional<std::string> digest; // lower-case hex
    std::optional<std::string> linkTarget;
    bool optional = false;
    bool nestedCode = false;
};

using Node = CHandle<plist_free>;

[[noreturn]] void fail(const fs::path& app, const std::string& reason) {
    // The bundle's own name, never the temporary folder it may have been unpacked into.
    throw CenterError::install(incompleteMessage(app.filename().string() + "：" + reason));
}

fs::path linkTarget(const fs::path& link) {
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error) {
        throw FileOperationError(FileOperation::Read, link, error);
    }
    return target;
}

std::string hexToBytes(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string bytesToHex(const char* bytes, std::size_t count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

// Every regular file and link under Contents/ outside the seal folder, by relative path.
std::map<std::string, fs::directory_entry> contentsItems(const fs::path& contents) {
    std::map<std::string, fs::directory_entry> items;
    std::error_code error;
    fs::recursive_directory_iterator it(contents, error);
    if (error) {
        throw FileOperationError(FileOperation::Open, contents, error);
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (it.depth() == 0 && it->path().filename() == sealFolder) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink() || !it->is_directory()) {
            items.emplace(it->path().lexically_relative(contents).generic_string(), *it);
        }
    }
    if (error) {
        // A folder further down that cannot be read: the walk does not say which.
        throw FileOperationError(FileOperation::List, error);
    }
    return items;
}

// A seal key must name a path inside Contents/ without detours.
bool isSafeKey(const std::string& key) {
    if (key.empty() || key.front() == '/') {
        return false;
    }
    for (const fs::path& piece : fs::path(key)) {
        if (piece.empty() || piece == "." || piece == "..") {
            return false;
        }
    }
    return key.find("//") == std::string::npos && key.back() != '/';
}

std::optional<SealedItem> sealedItem(plist_t value) {
    if (plist_get_node_type(value) != PLIST_DICT) {
        return std::nullopt;
    }
    SealedItem item;
    item.nestedCode = plist_dict_get_item(value, "cdhash") != nullptr ||
                      plist_dict_get_item(value, "requirement") != nullptr;
    if (plist_t optional = plist_dict_get_item(value, "optional")) {
        if (plist_get_node_type(optional) != PLIST_BOOLEAN) {
            return std::nullopt;
        }
        std::uint8_t flag = 0;
        plist_get_bool_val(optional, &flag);
        item.optional = flag != 0;
    }
    if (plist_t hash = plist_dict_get_item(value, "hash2")) {
        std::uint64_t length = 0;
        const char* bytes =
            plist_get_node_type(hash) == PLIST_DATA ? plist_get_data_ptr(hash, &length) : nullptr;
        if (bytes == nullptr || length != digestBytes) {
            return std::nullopt;
        }
        item.digest = bytesToHex(bytes, digestBytes);
    } else if (plist_t link = plist_dict_get_item(value, "symlink")) {
        item.linkTarget = PropertyList::stringOf(link);
        if (!item.linkTarget) {
            return std::nullopt;
        }
    } else if (!item.nestedCode) {
        return std::nullopt;
    }
    return item;
}

std::map<std::string, SealedItem> readSeal(const fs::path& app) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(sealPath(app), error))) {
        fail(app, "未签名（缺少 Contents/_CodeSignature/CodeResources）。");
    }
    std::string bytes = CenterCore::readFileContents(sealPath(app), maximumSealBytes);
    std::optional<PropertyList> plist;
    if (bytes.size() <= maximumSealBytes) {
        plist = PropertyList::parse(bytes);
    }
    plist_t files = plist ? plist->value("files2") : nullptr;
    if (files == nullptr || plist_get_node_type(files) != PLIST_DICT) {
        fail(app, "签名文件无效。");
    }
    std::map<std::string, SealedItem> seal;
    PropertyList::forEach(files, [&](const std::string& key, plist_t value) {
        std::optional<SealedItem> item = sealedItem(value);
        if (!item || !isSafeKey(key)) {
            fail(app, "签名文件无效。");
        }
        seal.emplace(key, *item);
    });
    return seal;
}

bool linkStaysInside(const fs::path& link, const fs::path& bundleRoot) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(link, error);
    if (error) {
        return false;
    }
    auto [rootEnd, resolvedAt] =
        std::mismatch(bundleRoot.begin(), bundleRoot.end(), resolved.begin(), resolved.end());
    return rootEnd == bundleRoot.end();
}

// How the item at `key` departs from what the seal says of it, if it does.
std::optional<SealProblem::Kind>
itemProblem(const fs::path& app, const std::string& key, const SealedItem& sealed,
            const std::map<std::string, fs::directory_entry>& items) {
    if (sealed.nestedCode) {
        fail(app, "包含无法在本机验证的嵌套代码：" + key);
    }
    auto found = items.find(key);
    if (found == items.end()) {
        return sealed.optional ? std::nullopt : std::optional(SealProblem::Kind::missing);
    }
    const fs::directory_entry& entry = found->second;
    bool faithful = false;
    if (sealed.linkTarget) {
        faithful = entry.is_symlink() && linkTarget(entry.path()) == *sealed.linkTarget;
    } else {
        faithful = !entry.is_symlink() && entry.is_regular_file() &&
                   CenterCore::sha256(entry.path()) == *sealed.digest;
    }
    return faithful ? std::nullopt : std::optional(SealProblem::Kind::changed);
}

std::string problemSentence(const SealProblem& problem) {
    switch (problem.kind) {
    case SealProblem::Kind::missing:
        return "已签名的文件缺失：" + problem.path;
    case SealProblem::Kind::changed:
        return "已签名的文件被修改：" + problem.path;
    case SealProblem::Kind::unsealed:
        return "包含未签名的文件：" + problem.path;
    case SealProblem::Kind::linkOutside:
        break;
    }
    return "链接指向应用之外：" + problem.path;
}

} // namespace

fs::path sealPath(const fs::path& app) {
    return app / "Contents" / sealFolder / "CodeResources";
}

void write(const fs::path& app) {
    fs::path contents = app / "Contents";
    Node files(plist_new_dict());
    for (const auto& [key, entry] : contentsItems(contents)) {
        plist_t item = plist_new_dict();
        if (!entry.is_symlink() && !entry.is_regular_file()) {
            plist_free(item);
            throw FileOperationError(FileOperation::Inspect, entry.path(),
                                     std::make_error_code(std::errc::not_supported));
        }
        if (entry.is_symlink()) {
            plist_dict_set_item(item, "symlink",
                                plist_new_string(linkTarget(entry.path()).c_str()));
        } else {
            std::string digest = hexToBytes(CenterCore::sha256(entry.path()));
            plist_dict_set_item(item, "hash2", plist_new_data(digest.data(), digest.size()));
        }
        plist_dict_set_item(files.get(), key.c_str(), item);
    }
    Node rules(plist_new_dict());
    plist_dict_set_item(rules.get(), "^.*", plist_new_bool(1));
    Node root(plist_new_dict());
    plist_dict_set_item(root.get(), "files2", files.release());
    plist_dict_set_item(root.get(), "rules2", rules.release());

    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    CHandle<plist_to_xml_free> ownedXML(xml);
    CenterCore::createDirectories(sealPath(app).parent_path());
    // A failed or interrupted write keeps the earlier seal whole.
    AtomicFile::write(sealPath(app), std::string_view(xml, length));
}

std::vector<SealProblem> problems(const fs::path& app) {
    std::map<std::string, SealedItem> seal = readSeal(app);
    std::map<std::string, fs::directory_entry> items = contentsItems(app / "Contents");
    std::vector<SealProblem> found;
    for (const auto& [key, sealed] : seal) {
        if (std::optional<SealProblem::Kind> kind = itemProblem(app, key, sealed, items)) {
            found.push_back({*kind, key});
        }
    }
    fs::path bundleRoot = fs::canonical(app);
    for (const auto& [key, entry] : items) {
        if (!seal.contains(key)) {
            found.push_back({SealProblem::Kind::unsealed, key});
        } else if (entry.is_symlink() && !linkStaysInside(entry.path(), bundleRoot)) {
            found.push_back({SealProblem::Kind::linkOutside, key});
        }
    }
    return found;
}

void check(const fs::path& app) {
    if (std::vector<SealProblem> found = problems(app); !found.empty()) {
        fail(app, problemSentence(found.front()));
    }
}

} // namespace CenterInstaller::ResourceSeal
