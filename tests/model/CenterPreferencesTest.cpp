#include "model/CenterPreferences.h"

#include "tests/support/TemporaryDirectory.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>

namespace {

namespace fs = std::filesystem;

const CenterPreferences::Defaults defaults{"https://kestryn.example/catalog.json",
                                           "https://kestryn.example/appcast.xml"};

TEST(CenterPreferences, StoredValuesOfTheirOwnTypeWinOverTheDefaultsAndAnUnreadableFileIsKept) {
    const struct {
        std::string file;
        std::string feedURL;
        std::string centerFeedURL;
        bool autoCheck;
        std::optional<int> keepBackups;
        bool problem;
    } rows[] = {
        {"", defaults.feedURL, defaults.centerFeedURL, true, std::nullopt, false},
        // A stored empty address wins; a text under "autoCheck" and a limit of 0 count as absent.
        {R"({"catalogFeedURL":"","autoCheck":"no","keepBackups":0})", "", defaults.centerFeedURL,
         true, std::nullopt, false},
        {R"({"centerFeedURL":"https://a.example/x","autoCheck":false,"keepBackups":4})",
         defaults.feedURL, "https://a.example/x", false, 4, false},
        {"{not json", defaults.feedURL, defaults.centerFeedURL, true, std::nullopt, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        TemporaryDirectory temp;
        if (!row.file.empty()) {
            temp.write("config/settings.json", row.file);
        }
        CenterPreferences preferences(temp / "config/settings.json", defaults);
        EXPECT_EQ(preferences.feedURL(), row.feedURL);
        EXPECT_EQ(preferences.centerFeedURL(), row.centerFeedURL);
        EXPECT_EQ(preferences.autoCheck(), row.autoCheck);
        EXPECT_EQ(preferences.keepBackups(), row.keepBackups);
        EXPECT_EQ(preferences.problem().value_or("").starts_with("设置文件“"), row.problem);
        // The first change writes a new file beside the unreadable one, which stays as it was.
        preferences.setAutoCheck(false);
        if (row.problem) {
            std::vector<std::string> kept;
            std::ranges::transform(entries(temp / "config"), std::back_inserter(kept),
                                   fileContents);
            std::ranges::sort(kept);
            EXPECT_EQ(kept, (std::vector<std::string>{"{\"autoCheck\":false}", "{not json"}));
        }
    }
}

TEST(CenterPreferences, AChangeIsStoredAndSignalledOnceAndARefusedAddressStaysUnsaved) {
    TemporaryDirectory temp;
    const fs::path file = temp / "设置 文件夹/settings.json";
    CenterPreferences preferences(file, defaults);
    QSignalSpy changed(&preferences, &CenterPreferences::keepBackupsChanged);
    QSignalSpy saved(&preferences, &CenterPreferences::feedURLSaved);
    QSignalSpy failed(&preferences, &CenterPreferences::failed);
    preferences.setKeepBackups(4);
    preferences.setKeepBackups(4);
    EXPECT_EQ(changed.count(), 1);
    // A limit set from the command line that the list does not offer is offered in its place.
    QStringList offered;
    for (const QVariant& choice : preferences.keepBackupsChoices()) {
        offered << choice.toMap()["text"].toString();
    }
    EXPECT_EQ(offered, QStringList({"全部保留", "1 个", "2 个", "3 个", "4 个", "5 个", "10 个"}));

    preferences.setFeedURL("http://kestryn.example/catalog.json");
    preferences.saveFeedURL();
    preferences.setCenterFeedURL("ftp://kestryn.example/appcast.xml");
    preferences.saveCenterFeedURL();
    EXPECT_EQ(failed, (QList<QVariantList>{
                          {QVariant::fromValue<std::string>("请填写 HTTPS 更新目录地址。")},
                          {QVariant::fromValue<std::string>("请填写 HTTPS 软件中心更新地址。")}}));
    // Saved trimmed; the same address again replaces nothing.
    preferences.setFeedURL(" \thttps://a.example/catalog.json \r\n");
    preferences.saveFeedURL();
    preferences.saveFeedURL();
    EXPECT_EQ(saved, (QList<QVariantList>{{true}, {false}}));
    CenterPreferences again(file, defaults);
    EXPECT_EQ(again.feedURL(), "https://a.example/catalog.json");
    EXPECT_EQ(again.centerFeedURL(), defaults.centerFeedURL);
    EXPECT_EQ(again.keepBackups(), 4);
}

} // namespace
