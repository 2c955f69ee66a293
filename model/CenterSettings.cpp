#include "model/CenterSettings.h"

#include "core/AtomicFile.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/Uuid.h"

#include <limits>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Far beyond three settings; a larger file is not a settings file.
constexpr std::size_t maximumSettingsBytes = 1024 * 1024;

} // namespace

CenterSettings::CenterSettings(fs::path file) : file_(std::move(file)) {
    std::error_code missing;
    if (!fs::exists(fs::symlink_status(file_, missing))) {
        return;
    }
    try {
        std::string text = CenterCore::readFileContents(file_, maximumSettingsBytes);
        nlohmann::json document = nlohmann::json::parse(text);
        if (text.size() > maximumSettingsBytes || !document.is_object()) {
            throw nlohmann::json::type_error::create(302, "not an object", nullptr);
        }
        document_ = std::move(document);
    } catch (...) {
        corrupt_ = true;
        problem_ = "设置文件“" + file_.string() + "”无法读取，已改用默认设置：" +
                   CenterCore::describeError(std::current_exception());
    }
}

std::optional<std::string> CenterSettings::text(const std::string& key) const {
    auto found = document_.find(key);
    return found != document_.end() && found->is_string()
               ? std::optional<std::string>(found->get<std::string>())
               : std::nullopt;
}

std::optional<bool> CenterSettings::boolean(const std::string& key) const {
    auto found = document_.find(key);
    return found != document_.end() && found->is_boolean() ? std::optional<bool>(found->get<bool>())
                                                           : std::nullopt;
}

std::optional<int> CenterSettings::integer(const std::string& key) const {
    auto found = document_.find(key);
    if (found == document_.end() || !found->is_number_integer()) {
        return std::nullopt;
    }
    auto value = found->get<std::int64_t>();
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()
               ? std::optional<int>(static_cast<int>(value))
               : std::nullopt;
}

void CenterSettings::setInteger(const std::string& key, std::optional<int> value) {
    store(key, value ? std::optional<nlohmann::json>(*value) : std::nullopt);
}

void CenterSettings::setText(const std::string& key, const std::string& value) {
    store(key, value);
}

void CenterSettings::setBoolean(const std::string& key, bool value) {
    store(key, value);
}

void CenterSettings::store(const std::string& key, std::optional<nlohmann::json> value) {
    nlohmann::json changed = document_;
    if (value) {
        changed[key] = std::move(*value);
    } else {
        changed.erase(key);
    }
    CenterCore::createDirectories(file_.parent_path());
    if (corrupt_) {
        // The unreadable file is the user's: kept beside, never overwritten.
        fs::path aside = file_;
        aside += ".unreadable-" + CenterCore::newUUID();
        CenterCore::rename(file_, aside);
        corrupt_ = false;
    }
    AtomicFile::write(file_, changed.dump());
    document_ = std::move(changed);
}
