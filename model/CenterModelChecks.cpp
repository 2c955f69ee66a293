// The online catalog: update checks, the rule by which a result counts, and the two addresses.
#include "core/CancellationError.h"
#include "core/Envelope.h"
#include "core/ErrorText.h"
#include "core/Validation.h"
#include "model/BackgroundWork.h"
#include "model/CenterModel.h"
#include "model/CenterPreferences.h"
#include "model/CenterUIError.h"
#include "selfupdate/CenterSelfUpdater.h"
#include "transport/CenterUpdateService.h"

namespace {

const char* const localSource = "本机版本目录 · 尚未连接在线服务";

} // namespace

void CenterModel::checkUpdates() {
    if (isChecking_) {
        return;
    }
    refreshInstalled();
    const std::string& feedURL = preferences_->feedURL();
    if (CenterRules::trimmed(feedURL).empty() || !CenterCore::isHTTPSAddress(feedURL)) {
        setSourceLabel(localSource);
        setStatus("本机检测完成；联网检查需在设置中连接更新服务");
        return;
    }
    setIsChecking(true);
    setStatus("正在检查更新");
    const int number = ++checkGeneration_;
    // A new stop source for this check; the previous check's handle is simply replaced.
    checkTask_ = std::stop_source();
    const std::stop_token stop = checkTask_.get_token();
    runInBackground(
        this,
        [url = feedURL, resources = setup_.resources, service = *service_, stop] {
            return service.fetchCatalog(url, CenterCore::loadPublicKey(resources), stop);
        },
        [this, number, stop](const Outcome<CenterCatalog>& outcome) {
            applyCheck(number, stop, outcome);
        });
}

void CenterModel::applyCheck(int number, const std::stop_token& stop,
                             const std::variant<CenterCatalog, std::exception_ptr>& outcome) {
    if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
        failCheck(number, stop, *failure);
        return;
    }
    // Overtaken by a newer check or an address change: this result changes nothing at all.
    if (stop.stop_requested() || checkGeneration_ != number) {
        return;
    }
    const CenterCatalog& catalog = std::get<CenterCatalog>(outcome);
    if (!CenterRules::matchesKnownProducts(catalog, knownProducts_)) {
        failCheck(number, stop,
                  std::make_exception_ptr(
                      CenterUIError::message("更新目录与 KESTRYN 产品不匹配，未采用此次目录。")));
        return;
    }
    setProducts(mergedCatalog(catalog.products));
    setLastChecked(QDateTime::currentDateTime());
    setSourceLabel("在线发布目录 · 签名已验证");
    const std::size_t count = updates().size();
    setStatus(count != 0 ? "发现 " + std::to_string(count) + " 款软件可更新"
                         : "在线检查完成，没有可用更新");
    setIsChecking(false);
}

void CenterModel::failCheck(int number, const std::stop_token& stop, std::exception_ptr failure) {
    if (stop.stop_requested() || checkGeneration_ != number) {
        return;
    }
    setError("更新检查失败：" + CenterCore::describeError(failure));
    setSourceLabel("在线检查失败 · 保留上次目录");
    setStatus("检查未完成");
    setIsChecking(false);
}

void CenterModel::followPreferences() {
    connect(preferences_, &CenterPreferences::failed, this,
            [this](const std::string& sentence) { setError(sentence); });
    connect(preferences_, &CenterPreferences::feedURLSaved, this, [this](bool replaced) {
        if (replaced) {
            forgetCatalog();
        }
        checkUpdates();
    });
    connect(preferences_, &CenterPreferences::centerFeedURLSaved, this,
            &CenterModel::configureCenterFeed);
    // Whether a cleaning can free anything depends on the limit too.
    connect(preferences_, &CenterPreferences::keepBackupsChanged, this,
            &CenterModel::historyChanged);
}

void CenterModel::forgetCatalog() {
    // The running check belongs to the old address: it is stopped and its result dropped.
    ++checkGeneration_;
    checkTask_.request_stop();
    setIsChecking(false);
    setProducts(mergedCatalog(knownProducts_));
    setSourceLabel(localSource);
}

void CenterModel::configureCenterFeed() {
    const std::string& address = preferences_->centerFeedURL();
    selfUpdater_->configure(QString::fromStdString(address));
    if (address.empty()) {
        setStatus("软件中心更新源已关闭");
    } else if (!selfUpdater_->isConfigured()) {
        const QString issue = selfUpdater_->configurationIssue();
        setError(issue.isEmpty()
                     ? "此地址尚未被登记为官方更新源。正式发布时需要在发行配置中加入自有域名。"
                     : issue.toStdString());
        setStatus("软件中心更新源尚未启用");
    } else {
        setStatus("已保存软件中心更新源");
    }
}

void CenterModel::checkCenterUpdate() {
    if (!selfUpdater_->isConfigured()) {
        setError("软件中心的在线更新地址尚未配置。当前为 " + version_ +
                 " 测试版；正式发布时会接入已签名的更新服务。");
        return;
    }
    selfUpdateRunning_ = true;
    selfUpdater_->checkForUpdates();
}
