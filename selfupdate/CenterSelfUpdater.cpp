#include "selfupdate/CenterSelfUpdater.h"

#include "core/Base64.h"
#include "core/CenterError.h"
#include "core/ErrorText.h"
#include "core/Unicode.h"
#include "core/Validation.h"
#include "core/WebAddress.h"
#include "selfupdate/CenterSelfUpdateError.h"

#include <set>

namespace {

const char* const incompleteAddress = "更新地址必须是完整的 HTTPS 官方地址。";
const char* const unofficialAddress =
    "该地址不属于此版本内置的 KESTRYN 官方更新源。正式域名尚未接入时，"
    "请使用本机管理功能。";
const char* const missingKey = "软件中心缺少有效的更新公钥，暂时不能连接在线更新。";
const char* const unverifiedUpdates = "软件中心的更新签名验证尚未配置完整，请安装正式发布版本。";
const char* const busy = "软件中心正在处理更新，请等待完成后再更换更新地址。";

// KESUpdateAllowedHosts (all of it, or nothing unless every entry is text) and the host of an
// https SUFeedURL, lower-cased.
std::set<std::string> allowedHosts(const PropertyList& bundle) {
    std::set<std::string> hosts;
    if (plist_t list = bundle.value("KESUpdateAllowedHosts");
        list != nullptr && plist_get_node_type(list) == PLIST_ARRAY) {
        std::set<std::string> listed;
        uint32_t count = plist_array_get_size(list);
        for (uint32_t index = 0; index < count; ++index) {
            std::optional<std::string> host =
                PropertyList::stringOf(plist_array_get_item(list, index));
            if (!host) {
                listed.clear();
                break;
            }
            listed.insert(CenterCore::lowercased(*host));
        }
        hosts = std::move(listed);
    }
    if (std::optional<std::string> feed = bundle.string("SUFeedURL")) {
        if (std::optional<CenterCore::WebAddress> address = CenterCore::WebAddress::parse(*feed);
            address && address->scheme == "https" && address->host) {
            hosts.insert(CenterCore::lowercased(*address->host));
        }
    }
    return hosts;
}

bool isTrue(const PropertyList& bundle, const char* key) {
    plist_t value = bundle.value(key);
    uint8_t flag = 0;
    if (value == nullptr || plist_get_node_type(value) != PLIST_BOOLEAN) {
        return false;
    }
    plist_get_bool_val(value, &flag);
    return flag != 0;
}

// The bundle must carry a 32-byte update key and demand both signature checks.
void requireVerifiedUpdates(const PropertyList& bundle) {
    std::optional<std::string> keyText = bundle.string("SUPublicEDKey");
    std::optional<std::string> key = keyText ? CenterCore::base64Decode(*keyText) : std::nullopt;
    if (!key || key->size() != 32) {
        throw CenterSelfUpdateError(missingKey);
    }
    if (!isTrue(bundle, "SUVerifyUpdateBeforeExtraction") ||
        !isTrue(bundle, "SURequireSignedFeed")) {
        throw CenterSelfUpdateError(unverifiedUpdates);
    }
}

PropertyList hostBundleAt(const std::filesystem::path& infoPlist) {
    if (std::optional<PropertyList> bundle = PropertyList::read(infoPlist)) {
        return std::move(*bundle);
    }
    return *PropertyList::parse("<plist version=\"1.0\"><dict/></plist>");
}

} // namespace

CenterSelfUpdater::CenterSelfUpdater(CenterPlatform::CenterPrompts& prompts,
                                     UpdaterFactory createUpdater,
                                     const std::filesystem::path& infoPlist, QObject* parent)
    : QObject(parent), prompts_(prompts), createUpdater_(std::move(createUpdater)),
      hostBundle_(hostBundleAt(infoPlist)) {
    configure(QString::fromStdString(hostBundle_.string("SUFeedURL").value_or("")));
}

CenterSelfUpdater::~CenterSelfUpdater() = default;

std::string CenterSelfUpdater::validatedFeedURL(const std::string& trimmedText,
                                                const PropertyList& bundle) {
    // The transport's own rules first: syntax, https, an authority with a host, no user,
    // password or fragment.
    try {
        CenterCore::validateHTTPS(trimmedText);
    } catch (const CenterError&) {
        throw CenterSelfUpdateError(incompleteAddress);
    }
    // Past the transport's rules the address parses and has a host.
    const CenterCore::WebAddress address = *CenterCore::WebAddress::parse(trimmedText);
    if ((address.port && *address.port != "443") || !address.afterAuthority.starts_with('/')) {
        throw CenterSelfUpdateError(incompleteAddress);
    }
    if (!allowedHosts(bundle).contains(CenterCore::lowercased(*address.host))) {
        throw CenterSelfUpdateError(unofficialAddress);
    }
    return trimmedText;
}

void CenterSelfUpdater::configure(const QString& feedURL) {
    const std::string text = feedURL.trimmed().toStdString();
    if (updater_ && updater_->sessionInProgress()) {
        setConfigurationIssue(QString::fromUtf8(busy));
        return;
    }
    if (text.empty()) {
        stop();
        setConfigured(false);
        setConfigurationIssue({});
        return;
    }
    try {
        std::string address = validatedFeedURL(text, hostBundle_);
        requireVerifiedUpdates(hostBundle_);
        if (configuredFeed_ == address && updater_) {
            setConfigured(true);
            setConfigurationIssue({});
            return;
        }
        stop();
        setConfigured(false);
        configuredFeed_ = address;
        updater_ = createUpdater_(*this);
        if (std::optional<std::string> refusal = updater_->start()) {
            throw CenterSelfUpdateError(*refusal);
        }
        setConfigured(true);
        setConfigurationIssue({});
    } catch (...) {
        stop();
        setConfigured(false);
        setConfigurationIssue(
            QString::fromStdString(CenterCore::describeError(std::current_exception())));
    }
}

void CenterSelfUpdater::checkForUpdates() {
    if (isConfigured_ && updater_) {
        updater_->checkForUpdates();
        return;
    }
    const std::string message = "尚未连接软件中心更新服务";
    const std::string details = configurationIssue_.isEmpty()
                                    ? "当前可使用本机软件管理功能。正式发布后，将通过已签名的更新服"
                                      "务检查和安装软件中心新版本。"
                                    : configurationIssue_.toStdString();
    prompts_.ask({message, details, {"好"}}, [](std::size_t) {});
    const QString sentence = QString::fromStdString(message + "。" + details);
    setStatus(sentence);
    Q_EMIT checkFinished(false, sentence);
}

std::optional<std::string> CenterSelfUpdater::feedURLString() const {
    return configuredFeed_;
}

void CenterSelfUpdater::updaterStatusChanged(const std::string& sentence) {
    setStatus(QString::fromStdString(sentence));
}

void CenterSelfUpdater::updaterFinished(bool succeeded, const std::string& sentence) {
    const QString text = QString::fromStdString(sentence);
    setStatus(text);
    Q_EMIT checkFinished(succeeded, text);
}

void CenterSelfUpdater::stop() {
    updater_.reset();
    configuredFeed_.reset();
}

void CenterSelfUpdater::setConfigured(bool configured) {
    if (isConfigured_ != configured) {
        isConfigured_ = configured;
        Q_EMIT isConfiguredChanged();
    }
}

void CenterSelfUpdater::setConfigurationIssue(const QString& issue) {
    if (configurationIssue_ != issue) {
        configurationIssue_ = issue;
        Q_EMIT configurationIssueChanged();
    }
}

void CenterSelfUpdater::setStatus(const QString& status) {
    if (status_ != status) {
        status_ = status;
        Q_EMIT statusChanged();
    }
}
