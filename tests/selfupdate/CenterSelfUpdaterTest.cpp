#include "selfupdate/CenterSelfUpdater.h"

#include "selfupdate/AppcastUpdater.h"
#include "selfupdate/CenterSelfUpdateError.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/TemporaryDirectory.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const char* const incomplete = "更新地址必须是完整的 HTTPS 官方地址。";
const char* const unofficial =
    "该地址不属于此版本内置的 KESTRYN 官方更新源。正式域名尚未接入时，请使用本机管理功能。";
const char* const missingKey = "软件中心缺少有效的更新公钥，暂时不能连接在线更新。";
const char* const unverified = "软件中心的更新签名验证尚未配置完整，请安装正式发布版本。";
const char* const defaultFeed = "https://updates.kestryn.com/center/appcast.xml";
const std::string validKey = "pT5Y0Rj6IP1bvbgE/bWhiRscUn8SUNTPJ+QpRJ9yTm0=";

using Entries = std::vector<std::pair<std::string, std::string>>;

// The keys of a published build; a case replaces or drops single keys.
Entries publishedKeys() {
    return {{"CFBundleVersion", plistString("2")},
            {"SUFeedURL", plistString(defaultFeed)},
            {"SUPublicEDKey", plistString(validKey)},
            {"SUVerifyUpdateBeforeExtraction", "<true/>"},
            {"SURequireSignedFeed", "<true/>"},
            {"KESUpdateAllowedHosts",
             "<array><string>Mirror.KESTRYN.com</string><string>localhost</string></array>"}};
}

// The published keys with one replaced, or dropped when there is no value.
Entries changed(const std::string& key, std::optional<std::string> value) {
    Entries entries = publishedKeys();
    std::erase_if(entries, [&](const auto& entry) { return entry.first == key; });
    if (value) {
        entries.emplace_back(key, *value);
    }
    return entries;
}

// A self-updater over real appcast updaters, counting how many it creates.
class SelfUpdater : public ::testing::Test {
  protected:
    std::unique_ptr<CenterSelfUpdater> make(const Entries& entries) {
        std::filesystem::path plist = folder.write("Info.plist", infoPlist(entries));
        UpdaterFactory appcast = AppcastUpdater::factory(prompts, workspace, plist, folder / "dl");
        return std::make_unique<CenterSelfUpdater>(
            prompts,
            [this, appcast](UpdaterDelegate& delegate) {
                ++created;
                return appcast(delegate);
            },
            plist);
    }

    TemporaryDirectory folder;
    ScriptedPrompts prompts{ScriptedPrompts::holdingUnanswered};
    ScriptedWorkspace workspace;
    int created = 0;
};

std::string refusal(const std::string& address, const Entries& entries) {
    std::optional<PropertyList> bundle = PropertyList::parse(infoPlist(entries));
    try {
        return CenterSelfUpdater::validatedFeedURL(address, *bundle) == address ? "" : "changed";
    } catch (const CenterSelfUpdateError& error) {
        return error.what();
    }
}

// The transport's refusals (credentials, a fragment, no address at all) are the core's
// AddressValidation table; one of them shows they count as incomplete here.
TEST(ValidatedFeedURL, AdmitsOnlyCompleteHttpsAddressesOnOfficialHosts) {
    const Entries keys = publishedKeys();
    const Entries feedHostOnly = changed("KESUpdateAllowedHosts", std::nullopt);
    const Entries mixedList =
        changed("KESUpdateAllowedHosts", "<array><string>localhost</string><true/></array>");
    const std::tuple<std::string, Entries, std::string> cases[] = {
        {"https://updates.kestryn.com/", keys, ""},
        {"https://updates.kestryn.com:443/feed?channel=beta", keys, ""},
        {"https://mirror.kestryn.com/appcast.xml", keys, ""},
        {"https://updates.kestryn.com/x", feedHostOnly, ""},
        {"https://updates.kestryn.com", keys, incomplete},
        {"https://updates.kestryn.com:8443/x", keys, incomplete},
        {"http://updates.kestryn.com/x", keys, incomplete},
        {"https://kestryn.com/x", keys, unofficial},
        {"https://updates.kestryn.com.evil.example/x", keys, unofficial},
        {"https://mirror.kestryn.com/x", feedHostOnly, unofficial},
        {"https://localhost/x", mixedList, unofficial},
    };
    for (const auto& [address, entries, expected] : cases) {
        EXPECT_EQ(refusal(address, entries), expected) << address;
    }
}

// A build without a valid key, both signature checks, a version or a feed has no updater and
// says why; a check then explains it in an alert and ends.
TEST_F(SelfUpdater, ABuildWithoutAKeySignatureChecksOrAFeedExplainsWhyAndEndsAnyCheck) {
    const std::string fallback =
        "当前可使用本机软件管理功能。正式发布后，将通过已签名的更新服务检查和安装软件中心新版本。";
    const std::pair<Entries, std::string> cases[] = {
        {changed("SUPublicEDKey", std::nullopt), missingKey},
        {changed("SUPublicEDKey", plistString(validKey.substr(4))), missingKey},
        {changed("SURequireSignedFeed", plistString("YES")), unverified},
        {changed("SUVerifyUpdateBeforeExtraction", "<false/>"), unverified},
        {changed("CFBundleVersion", std::nullopt), "软件中心缺少版本信息，不能检查更新。"},
        {changed("SUFeedURL", std::nullopt), ""},
    };
    for (const auto& [entries, issue] : cases) {
        prompts.alerts.clear();
        auto updater = make(entries);
        EXPECT_FALSE(updater->isConfigured()) << issue;
        EXPECT_EQ(updater->configurationIssue().toStdString(), issue);
        QSignalSpy finished(updater.get(), &CenterSelfUpdater::checkFinished);
        updater->checkForUpdates();
        const std::string details = issue.empty() ? fallback : issue;
        ASSERT_EQ(prompts.alerts.size(), 1u);
        EXPECT_EQ(prompts.alerts[0].message, "尚未连接软件中心更新服务");
        EXPECT_EQ(prompts.alerts[0].details, details);
        EXPECT_EQ(prompts.alerts[0].buttons, std::vector<std::string>{"好"});
        ASSERT_EQ(finished.count(), 1);
        EXPECT_EQ(finished[0][1].toString().toStdString(), "尚未连接软件中心更新服务。" + details);
    }
}

// The address is kept for the same one, refused while a session runs, switched for another
// accepted one and switched off when blank.
TEST_F(SelfUpdater, KeepsAnAcceptedAddressRefusesChangesDuringASessionAndSwitchesOffWhenBlank) {
    // Nothing listens on localhost's port 443, so a check ends on its own once events run.
    auto updater = make(changed("SUFeedURL", plistString("https://localhost/feed")));
    QSignalSpy configuredChanges(updater.get(), &CenterSelfUpdater::isConfiguredChanged);
    EXPECT_TRUE(updater->isConfigured());
    EXPECT_TRUE(updater->configurationIssue().isEmpty());
    updater->configure(QStringLiteral("  https://localhost/feed\n"));
    EXPECT_TRUE(updater->isConfigured());
    EXPECT_EQ(created, 1);

    QSignalSpy finished(updater.get(), &CenterSelfUpdater::checkFinished);
    updater->checkForUpdates();
    for (const QString& address : {QString(), QString::fromUtf8(defaultFeed)}) {
        updater->configure(address);
        EXPECT_TRUE(updater->isConfigured());
        EXPECT_EQ(updater->configurationIssue().toStdString(),
                  "软件中心正在处理更新，请等待完成后再更换更新地址。");
    }
    EXPECT_EQ(created, 1);
    ASSERT_TRUE(finished.wait(60'000));
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_EQ(updater->status(), finished[0][1].toString());

    updater->configure(QStringLiteral("https://evil.example/x"));
    EXPECT_FALSE(updater->isConfigured());
    EXPECT_EQ(updater->configurationIssue().toStdString(), unofficial);
    updater->configure(QStringLiteral("https://mirror.kestryn.com/feed"));
    EXPECT_TRUE(updater->isConfigured());
    EXPECT_TRUE(updater->configurationIssue().isEmpty());
    EXPECT_EQ(created, 2);
    updater->configure(QStringLiteral(" \n"));
    EXPECT_FALSE(updater->isConfigured());
    EXPECT_TRUE(updater->configurationIssue().isEmpty());
    EXPECT_EQ(configuredChanges.count(), 3);
}

} // namespace
