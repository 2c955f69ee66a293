#include "model/CenterPreferences.h"

#include "core/ErrorText.h"
#include "core/Validation.h"
#include "model/CenterRules.h"

#include <QVariantMap>
#include <algorithm>
#include <vector>

namespace {

const char* const feedKey = "catalogFeedURL";
const char* const centerFeedKey = "centerFeedURL";
const char* const autoCheckKey = "autoCheck";
const char* const keepBackupsKey = "keepBackups";

} // namespace

CenterPreferences::CenterPreferences(std::filesystem::path file, const Defaults& defaults,
                                     QObject* parent)
    : QObject(parent), settings_(std::move(file)),
      feedURL_(settings_.text(feedKey).value_or(defaults.feedURL)),
      centerFeedURL_(settings_.text(centerFeedKey).value_or(defaults.centerFeedURL)),
      autoCheck_(settings_.boolean(autoCheckKey).value_or(true)) {}

std::optional<int> CenterPreferences::keepBackups() const {
    std::optional<int> keep = settings_.integer(keepBackupsKey);
    return keep && *keep >= 1 ? keep : std::nullopt;
}

void CenterPreferences::setFeedURL(std::string text) {
    if (feedURL_ != text) {
        feedURL_ = std::move(text);
        emit feedURLChanged();
    }
}

void CenterPreferences::setCenterFeedURL(std::string text) {
    if (centerFeedURL_ != text) {
        centerFeedURL_ = std::move(text);
        emit centerFeedURLChanged();
    }
}

void CenterPreferences::setAutoCheck(bool on) {
    // The choice holds for this run even when the file cannot keep it.
    static_cast<void>(store([&] { settings_.setBoolean(autoCheckKey, on); }));
    if (autoCheck_ != on) {
        autoCheck_ = on;
        emit autoCheckChanged();
    }
}

void CenterPreferences::setKeepBackups(std::optional<int> keep) {
    if (keep && *keep < 1) {
        keep.reset();
    }
    const std::optional<int> before = keepBackups();
    static_cast<void>(store([&] { settings_.setInteger(keepBackupsKey, keep); }));
    if (keepBackups() != before) {
        emit keepBackupsChanged();
    }
}

void CenterPreferences::saveFeedURL() {
    std::optional<std::string> address = acceptedAddress(feedURL_, "请填写 HTTPS 更新目录地址。");
    if (!address) {
        return;
    }
    const bool replaced = settings_.text(feedKey) != *address;
    setFeedURL(*address);
    if (store([&] { settings_.setText(feedKey, *address); })) {
        emit feedURLSaved(replaced);
    }
}

void CenterPreferences::saveCenterFeedURL() {
    std::optional<std::string> address =
        acceptedAddress(centerFeedURL_, "请填写 HTTPS 软件中心更新地址。");
    if (!address) {
        return;
    }
    setCenterFeedURL(*address);
    if (store([&] { settings_.setText(centerFeedKey, *address); })) {
        emit centerFeedURLSaved();
    }
}

std::optional<std::string> CenterPreferences::acceptedAddress(const std::string& typed,
                                                              const char* refusal) {
    std::string address = CenterRules::trimmed(typed);
    if (!address.empty() && !CenterCore::isHTTPSAddress(address)) {
        emit failed(refusal);
        return std::nullopt;
    }
    return address;
}

bool CenterPreferences::store(const std::function<void()>& write) {
    try {
        write();
        return true;
    } catch (...) {
        emit failed(CenterCore::describeError(std::current_exception()));
        return false;
    }
}

QString CenterPreferences::centerFeedLine() const {
    return CenterRules::trimmed(centerFeedURL_).empty() ? "尚未连接在线更新服务"
                                                        : "使用已配置的更新订阅";
}

QVariantList CenterPreferences::keepBackupsChoices() const {
    std::vector<int> limits{1, 2, 3, 5, 10};
    // A limit set elsewhere (the command line takes any number) is offered too, so the list
    // always shows the limit in force.
    if (std::optional<int> keep = keepBackups();
        keep && std::find(limits.begin(), limits.end(), *keep) == limits.end()) {
        limits.insert(std::upper_bound(limits.begin(), limits.end(), *keep), *keep);
    }
    QVariantList choices{QVariantMap{{"text", "全部保留"}, {"value", 0}}};
    for (int keep : limits) {
        choices << QVariantMap{{"text", QString::number(keep) + " 个"}, {"value", keep}};
    }
    return choices;
}
