#include "installer/LegacyIcon.h"

#include "core/CenterError.h"
#include "core/Digest.h"
#include "installer/PackageValidation.h"

#include <array>
#include <system_error>
#include <vector>

namespace CenterInstaller {
namespace {

const std::array<std::string, 2> iconAttributeNames = {"com.apple.FinderInfo",
                                                       "com.apple.ResourceFork"};

} // namespace

IconAttributes readIconAttributes(const std::filesystem::path& item,
                                  ExtendedAttributes& attributes) {
    IconAttributes found;
    for (const std::string& name : iconAttributeNames) {
        AttributeResult size = attributes.attributeSize(item, name);
        if (size.status == AttributeResult::Status::absent) {
            continue;
        }
        if (size.status != AttributeResult::Status::done) {
            throw CenterError::install("无法读取旧图标元数据，原软件保留。");
        }
        if (size.bytes > maximumIconAttributeBytes) {
            throw CenterError::install("旧图标元数据过大，请先检查应用。");
        }
        std::string value(size.bytes, '\0');
        AttributeResult read = attributes.readAttribute(item, name, value);
        if (read.status != AttributeResult::Status::done || read.bytes != size.bytes) {
            throw CenterError::install("旧图标元数据读取不完整，原软件保留。");
        }
        found.emplace(name, std::move(value));
    }
    return found;
}

LegacyIconState legacyIconState(const std::filesystem::path& bundle,
                                ExtendedAttributes& attributes) {
    const std::filesystem::path iconFile = bundle / legacyIconFileName;
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::symlink_status(iconFile, error);
    if (!error && std::filesystem::is_symlink(status)) {
        throw CenterError::install("旧自定义图标不能是符号链接，原软件未修改。");
    }
    LegacyIconState state;
    if (!std::filesystem::exists(status)) {
        state.folderAttributes = readIconAttributes(bundle, attributes);
        return state;
    }
    rejectSymlink(iconFile);
    if (!std::filesystem::is_regular_file(status)) {
        throw CenterError::install("旧自定义图标不是普通文件，原软件未修改。");
    }
    state.folderAttributes = readIconAttributes(bundle, attributes);
    state.iconFileAttributes = readIconAttributes(iconFile, attributes);
    state.iconFileDigest = CenterCore::sha256(iconFile);
    state.hasIconFile = true;
    return state;
}

void replaceIconAttributes(const std::filesystem::path& item, const IconAttributes& desired,
                           ExtendedAttributes& attributes) {
    IconAttributes current = readIconAttributes(item, attributes);
    for (const std::string& name : iconAttributeNames) {
        auto have = current.find(name);
        auto want = desired.find(name);
        bool haveIt = have != current.end();
        bool wantIt = want != desired.end();
        if (haveIt == wantIt && (!haveIt || have->second == want->second)) {
            continue;
        }
        if (wantIt) {
            if (attributes.writeAttribute(item, name, want->second).status !=
                AttributeResult::Status::done) {
                throw CenterError::install("无法恢复旧图标元数据，完整备份保留。");
            }
        } else if (attributes.removeAttribute(item, name).status ==
                   AttributeResult::Status::failed) {
            throw CenterError::install("无法移除旧图标元数据，原版将恢复。");
        }
    }
}

} // namespace CenterInstaller
