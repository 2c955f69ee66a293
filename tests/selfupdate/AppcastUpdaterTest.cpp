#include "selfupdate/AppcastUpdater.h"

#include "core/Base64.h"
#include "core/FileContents.h"
#include "tests/support/HttpsServer.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestKeys.h"

#include <QtCore/qtestsupport_core.h>
#include <algorithm>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

const char* const badSignature = "软件中心更新源的签名无效，已拒绝使用。";

// The owner's side of a session: the feed address it gives, and what the updater tells it.
struct SessionRecord : UpdaterDelegate {
    std::optional<std::string> feed;
    std::optional<std::pair<bool, std::string>> finished;

    std::optional<std::string> feedURLString() const override { return feed; }
    void updaterStatusChanged(const std::string&) override {}
    void updaterFinished(bool succeeded, const std::string& sentence) override {
        finished = {succeeded, sentence};
    }
};

// A real updater of a center at version 1.2.0 (build 2) against a real HTTPS server, with the
// committed publisher key and a temporary directory of its own, so every leftover shows.
class AppcastSession : public ::testing::Test {
  protected:
    AppcastSession() {
        ::setenv("KESTRYN_CA_FILE", server.caFile().c_str(), 1);
        fs::create_directory(temporary);
        ::setenv("TMPDIR", temporary.c_str(), 1);
        std::string key = CenterCore::readFileContents(testKeys() / "PublicKey.txt", 100);
        scratch.write("Info.plist", infoPlist({{"CFBundleVersion", plistString("2")},
                                               {"CFBundleShortVersionString", plistString("1.2.0")},
                                               {"SUPublicEDKey", plistString(key.substr(0, 44))}}));
        record.feed = server.url("/appcast.xml");
        EXPECT_FALSE(updater->start());
    }
    ~AppcastSession() override {
        ::unsetenv("KESTRYN_CA_FILE");
        ::unsetenv("TMPDIR");
    }

    // The appcast kestryn-publish makes of `archive`, served at /center.deb.
    std::string publishedFeed(const std::string& archive, const std::string& build,
                              const std::string& version, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {
            "appcast",         scratch.write("center.deb", archive).string(),
            "--url",           server.url("/center.deb"),
            "--version",       build,
            "--short-version", version,
            "--key",           (testKeys() / "private.key").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return outputOf(KESTRYN_BIN_DIR "/kestryn-publish", arguments);
    }

    // The base64 signature `openssl pkeyutl` makes of the bytes with a committed key.
    std::string signatureOf(const std::string& bytes, const std::string& key = "publisher") {
        return CenterCore::base64Encode(opensslSignature(scratch.write("message", bytes), key));
    }

    // The document followed by a signature block signed with the openssl command line.
    std::string opensslSigned(const std::string& document) {
        return document + "<!-- sparkle-signatures:\nedSignature: " + signatureOf(document) +
               "\nlength: " + std::to_string(document.size()) + "\n-->\n";
    }

    // A feed of the items with the sparkle namespace bound to `prefix`, signed with openssl.
    std::string opensslFeed(const std::string& items, const std::string& prefix = "sparkle") {
        return opensslSigned("<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:" + prefix +
                             "=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>" +
                             items + "</channel></rss>");
    }

    // An item of build N, shown as "N.0", whose enclosure at `url` is `package`.
    std::string item(const std::string& build, const std::string& url,
                     const std::string& minimum = "", bool signedEnclosure = true) {
        return "<item><sparkle:minimumSystemVersion>" + minimum +
               "</sparkle:minimumSystemVersion><description><![CDATA[<b>构建 " + build +
               "</b>]]></description><enclosure url=\"" + url + "\" length=\"" +
               std::to_string(package.size()) + "\" sparkle:version=\"" + build +
               "\" sparkle:shortVersionString=\"" + build + ".0\"" +
               (signedEnclosure ? " sparkle:edSignature=\"" + signatureOf(package) + "\"" : "") +
               "/></item>";
    }

    // Serves the feed and runs one check to its end.
    void check(const std::string& feed) {
        server.route("/appcast.xml", HttpsResponse::bytes(feed));
        record.finished.reset();
        updater->checkForUpdates();
        EXPECT_TRUE(updater->sessionInProgress());
        ASSERT_TRUE(QTest::qWaitFor([&] { return record.finished.has_value(); }, 60'000));
        EXPECT_FALSE(updater->sessionInProgress());
    }

    [[nodiscard]] bool requested(const std::string& path) const {
        auto requests = server.requests();
        return std::any_of(requests.begin(), requests.end(),
                           [&](const HttpsRequest& request) { return request.path == path; });
    }

    // Every item left in the downloads folder and the temporary directory.
    [[nodiscard]] std::vector<fs::path> leftovers() const {
        std::vector<fs::path> items = entries(downloads);
        std::ranges::copy(entries(temporary), std::back_inserter(items));
        return items;
    }

    const std::string package = "a package for 14";
    HttpsServer server;
    TemporaryDirectory scratch;
    fs::path temporary = scratch / "tmp";
    fs::path downloads = scratch / "Downloads";
    ScriptedPrompts prompts{ScriptedPrompts::holdingUnanswered};
    ScriptedWorkspace workspace;
    SessionRecord record;
    std::unique_ptr<AppcastUpdater> updater = std::make_unique<AppcastUpdater>(
        record, prompts, workspace, scratch / "Info.plist", downloads);
};

// Items this system cannot run or whose enclosure is not HTTPS are passed over; an address
// relative to the feed is fetched from beside it.
TEST_F(AppcastSession, TakesTheNewestHttpsItemThisSystemRunsFromAFeedSignedWithOpenssl) {
    ::setenv("KESTRYN_SYSTEM_VERSION", "14.2", 1);
    server.route("/center.deb", HttpsResponse::bytes(package));
    prompts.willAnswer(0);
    check(opensslFeed(item("3", server.url("/center.deb"), "14.0") +
                      item("9", "center.deb", "15.0") + item("4", "center.deb", "14.2") +
                      item("1", "center.deb") + item("8", "file:///tmp/center.deb") +
                      item("7", "http://127.0.0.1/center.deb")));
    ::unsetenv("KESTRYN_SYSTEM_VERSION");

    ASSERT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(prompts.questions()[0].message, "发现软件中心新版本 4.0");
    EXPECT_EQ(prompts.questions()[0].details, "当前版本为 1.2.0。\n\n构建 4");
    EXPECT_EQ(*record.finished,
              std::pair(true, std::string("已验证的软件中心 4.0 安装包已交给系统的软件包安装程序，"
                                          "请按它的提示完成安装。")));
    ASSERT_EQ(workspace.opened.size(), 1u);
    EXPECT_EQ(workspace.opened[0].second, package);
    EXPECT_EQ(workspace.opened[0].first.parent_path(), downloads);
    EXPECT_EQ(leftovers(), std::vector{workspace.opened[0].first});
}

// Its page opens only on request, with the sparkle namespace under another prefix.
TEST_F(AppcastSession, AnInformationalReleaseOffersItsPageAndDownloadsNothing) {
    const std::string feed =
        opensslFeed("<item><s:version>7</s:version><s:shortVersionString>1.7</s:shortVersionString>"
                    "<link>releases/1.7.html</link><s:informationalUpdate/></item>",
                    "s");
    const std::string page = "软件中心 1.7 的网页“" + server.url("/releases/1.7.html") + "”";
    prompts.willAnswer(1);
    check(feed);
    EXPECT_EQ(*record.finished, std::pair(true, "已暂不打开" + page + "。"));
    prompts.willAnswer(0);
    check(feed);
    EXPECT_EQ(*record.finished, std::pair(true, "已打开" + page + "。"));
    EXPECT_EQ(prompts.questions()[0].details,
              "当前版本为 1.2.0。此版本请在网页“" + server.url("/releases/1.7.html") +
                  "”上获取，软件中心不会下载任何文件。\n\n此版本没有附带更新说明。");
    EXPECT_EQ(workspace.calls, std::vector{"openURL " + server.url("/releases/1.7.html")});
    EXPECT_TRUE(leftovers().empty());
}

// An up-to-date center or a declined update ends well, a feed without a valid signature or a
// release ends in its refusal; none downloads anything, and only the declined one asks.
TEST_F(AppcastSession, EndsWithoutADownloadWhenUpToDateDeclinedOrRefused) {
    const fs::path notes = scratch.write(
        "notes.html", "<p>修复了&lt;若干&gt;问题。</p><ul><li>更快</li></ul><script>x()</script>");
    const std::string feed = publishedFeed("package", "3", "1.3.0");
    const std::size_t block = feed.rfind("<!-- sparkle-signatures:");
    const std::string document = feed.substr(0, block);
    std::string tampered = feed;
    tampered.replace(tampered.find("1.3.0"), 5, "1.3.1");
    std::string longer = feed;
    longer.replace(longer.find("length: ") + 8, std::to_string(block).size(),
                   std::to_string(block + 1));
    const std::string unrecognised = "软件中心更新源的内容无法识别。";
    const std::tuple<std::string, bool, std::string> cases[] = {
        {publishedFeed("package", "2", "9.9"), true, "软件中心 1.2.0 已是最新版本。"},
        {publishedFeed("package", "10", "9.9", {"--notes", notes.string()}), true,
         "已暂不安装软件中心 9.9。"},
        {document, false, "软件中心更新源没有签名，已拒绝使用。"},
        {tampered, false, badSignature},
        {longer, false, badSignature},
        {feed + "\n", false, badSignature},
        {document + "<!-- sparkle-signatures:\nedSignature: " + signatureOf(document, "stranger") +
             "\nlength: " + std::to_string(block) + "\n-->\n",
         false, badSignature},
        {opensslSigned("<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">"
                       "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n"
                       "<rss><channel><title>&b;</title></channel></rss>"),
         false, unrecognised},
        {opensslSigned("<rss><channel><item>"), false, unrecognised},
        {opensslSigned("<rss version=\"2.0\"><channel><item><title>无安装包</title></item>"
                       "</channel></rss>"),
         false, "软件中心更新源中没有可用的版本。"},
        {opensslFeed(item("8", "center.deb", "", false)), false,
         "软件中心更新源中没有为本软件中心签名的版本，不能安装。"},
        {opensslFeed(item("8", "file:///tmp/center.deb") +
                     item("7", "http://127.0.0.1/center.deb")),
         false, "软件中心更新源中没有通过 HTTPS 提供的版本，不能安装。"},
    };
    for (const auto& [served, succeeded, sentence] : cases) {
        // Only the newer release asks, and is declined.
        prompts.willAnswer(1);
        check(served);
        EXPECT_EQ(*record.finished, std::pair(succeeded, sentence)) << served;
    }
    ASSERT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(prompts.questions()[0].details, "当前版本为 1.2.0。\n\n修复了<若干>问题。\n• 更快");
    EXPECT_FALSE(requested("/center.deb"));
    EXPECT_TRUE(workspace.opened.empty());
    EXPECT_TRUE(leftovers().empty());
}

// A package that fails its proof leaves no file and opens nothing (a wrong length is the
// transport's to refuse). One that passes but that the system cannot open is kept and named: the
// demonstration runs that without an installer.
TEST_F(AppcastSession, AnEnclosureThatFailsLeavesNoFileAndOpensNothing) {
    const std::string feed = publishedFeed("the signed package", "3", "1.3.0");
    server.route("/center.deb", HttpsResponse::bytes("The signed package"));
    prompts.willAnswer(0);
    check(feed);
    EXPECT_EQ(*record.finished,
              std::pair(false, std::string("下载的软件中心安装包签名无效，已删除。")));
    EXPECT_TRUE(leftovers().empty());
    EXPECT_TRUE(workspace.opened.empty());
}

TEST_F(AppcastSession, AnAnswerArrivingAfterTheUpdaterIsGoneDoesNothing) {
    server.route("/appcast.xml", HttpsResponse::bytes(publishedFeed("package", "3", "1.3.0")));
    updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(prompts.pending); }, 60'000));
    updater.reset();
    prompts.pending(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(requested("/center.deb"));
    EXPECT_FALSE(record.finished);
}

} // namespace
