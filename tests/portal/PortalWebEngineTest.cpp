#include "portal/web/CenterPortal.h"
#include "portal/web/PortalWebState.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/WebTestMain.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>

Q_IMPORT_QML_PLUGIN(Kestryn_PortalPlugin)

namespace {

HttpsResponse page(const std::string& title, const std::string& body) {
    return {.body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
                    "</title><style>body{background:#0C0C0F;color:#EEEEF1;font-family:'Noto Sans "
                    "CJK SC';margin:0}a{position:fixed;left:0;right:0;top:90px;bottom:0;"
                    "padding:24px;color:#C7B3ED}</style></head><body>" +
                    body + "</body></html>",
            .headers = {{"Content-Type", "text/html; charset=utf-8"}}};
}

// The maker's site as the tests need it; the query "embed=center" plays no part in the routes.
void routeSite(HttpsServer& server) {
    server.route("/guides/film.html",
                 page("澄光工坊使用说明", "<h1>澄光工坊</h1><a id=\"next\" target=\"_blank\" "
                                          "href=\"/guides/audio.html\">回响工坊的使用说明</a>"));
    server.route("/guides/audio.html", page("回响工坊使用说明", "<h1>回响工坊</h1>"));
    server.route("/guides/subtitle.html", HttpsResponse::error(404));
    server.route("/guides/video.html", HttpsResponse::redirect("https://elsewhere.test/landing"));
    // The connection ends before the announced length: a network failure, not an HTTP status.
    HttpsResponse cut = page("回响工坊", "<h1>回响工坊</h1>");
    cut.announcedLength = cut.body.size() * 4;
    server.route("/community.html", cut);
}

// Whether the web engine's library is loaded into this process.
bool webEngineLoaded() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("libQt6WebEngineCore.so") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// One CenterPortalView in a window of its own, on the web test site, with a recording workspace.
class PortalWebPage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        routeSite(webTestServer());
        engine = new QQmlEngine;
        CenterPortal::useWorkspace(*engine, workspace);
    }
    static void TearDownTestSuite() {
        delete engine;
        engine = nullptr;
    }

    void show(const char* destination, const char* productID) {
        QQmlComponent component(engine);
        component.setData(QStringLiteral("import Kestryn.Portal\nCenterPortalView { destination: "
                                         "\"%1\"; productID: \"%2\" }")
                              .arg(destination, productID)
                              .toUtf8(),
                          {});
        view.reset(qobject_cast<QQuickItem*>(component.create()));
        ASSERT_TRUE(view) << component.errorString().toStdString();
        window.resize(900, 680);
        view->setParentItem(window.contentItem());
        view->setSize(window.size());
        window.show();
        workspace.calls.clear();
    }

    static bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 30000);
    }
    [[nodiscard]] QQuickItem* text(const QString& content) const {
        return find(window.contentItem(), [&](QQuickItem* item) {
            return item->isVisible() && item->property("text").toString() == content;
        });
    }
    [[nodiscard]] QString errorText() const { return view->property("errorText").toString(); }
    [[nodiscard]] QObject* webView() const {
        return find(window.contentItem(), [](QQuickItem* item) {
            return QByteArray(item->metaObject()->className()).contains("WebEngineView");
        });
    }
    static QQuickItem* find(QQuickItem* root, const std::function<bool(QQuickItem*)>& matches) {
        if (matches(root)) {
            return root;
        }
        for (QQuickItem* child : root->childItems()) {
            if (QQuickItem* found = find(child, matches)) {
                return found;
            }
        }
        return nullptr;
    }
    void click(QQuickItem* item) {
        const QPointF centre = item->mapToScene({item->width() / 2, item->height() / 2});
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
    }

    static inline QQmlEngine* engine = nullptr;
    static inline ScriptedWorkspace workspace;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;
};

// A product outside the portal's table gets a message and no web page, and the web engine stays
// unloaded until the first page shows. The first case, so that no page was shown before it in
// this process.
TEST_F(PortalWebPage, AnUnknownProductGetsNoPageAndTheFirstPageShownLoadsTheWebEngine) {
    ASSERT_FALSE(webEngineLoaded());
    ASSERT_NO_FATAL_FAILURE(show("guide", "Film"));
    EXPECT_TRUE(text("没有找到这款软件的页面。"));
    EXPECT_TRUE(text("使用说明"));
    EXPECT_EQ(view->property("page").value<QQuickItem*>(), nullptr);
    EXPECT_FALSE(webView());
    EXPECT_FALSE(view->property("isLoading").toBool());
    EXPECT_FALSE(webEngineLoaded());

    ASSERT_NO_FATAL_FAILURE(show("guide", "film"));
    ASSERT_TRUE(waitFor([this] { return !view->property("isLoading").toBool(); }));
    EXPECT_TRUE(webEngineLoaded());
}

// The maker's page loads, a link to a new window stays in the view, a JavaScript confirm is
// answered through the view's dialog, and the header's button opens the page in the browser.
TEST_F(PortalWebPage, ShowsTheMakersPageKeepsANewWindowLinkInTheViewAndAnswersItsConfirm) {
    ASSERT_NO_FATAL_FAILURE(show("guide", "film"));
    ASSERT_TRUE(waitFor([this] { return !view->property("isLoading").toBool(); }));
    EXPECT_EQ(webView()->property("title").toString(), "澄光工坊使用说明");
    EXPECT_TRUE(text("KESTRYN 澄光工坊")) << "the header names the product";

    // The link covers the page below its heading.
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(300, 400));
    ASSERT_TRUE(waitFor([this] {
        return webView()->property("title").toString() == "回响工坊使用说明" &&
               !view->property("isLoading").toBool();
    })) << webView()->property("url").toString().toStdString();
    EXPECT_EQ(errorText(), "");
    EXPECT_TRUE(workspace.calls.empty());

    QMetaObject::invokeMethod(
        webView(), "runJavaScript",
        Q_ARG(QString, "document.title = confirm('删除这条评论？') ? 'confirmed' : 'declined'"));
    ASSERT_TRUE(waitFor([this] { return text("确认") != nullptr; }));
    click(text("确认"));
    EXPECT_TRUE(waitFor([this] { return webView()->property("title").toString() == "confirmed"; }))
        << webView()->property("title").toString().toStdString();

    click(text("浏览器打开"));
    EXPECT_EQ(workspace.calls,
              std::vector<std::string>{"openURL https://" + std::string(webTestHost) +
                                       "/guides/film.html?embed=center"});
}

// The engine's answers reach the coordinator's rules: an error status, a server's redirect to
// another host (which never opens the browser either), and a cut connection, whose panel loads
// the page again on retry.
TEST_F(PortalWebPage, AMissingPageARedirectElsewhereOrANetworkFailureShowsTheErrorPanel) {
    for (const auto& [destination, productID, error] :
         {std::tuple{"guide", "subtitle", "服务器暂时未能提供此页面（404）。"},
          std::tuple{"guide", "video", "网页跳转到了未受信任的地址。"},
          std::tuple{"community", "audio", "网络连接未完成。"}}) {
        SCOPED_TRACE(productID);
        ASSERT_NO_FATAL_FAILURE(show(destination, productID));
        ASSERT_TRUE(waitFor([this] { return !errorText().isEmpty(); }));
        EXPECT_TRUE(errorText().startsWith(error)) << errorText().toStdString();
        EXPECT_TRUE(text("页面暂时无法打开"));
        EXPECT_TRUE(workspace.calls.empty());
    }
    const std::size_t requestsBefore = webTestServer().requests().size();
    click(text("重试"));
    EXPECT_TRUE(waitFor([&] { return webTestServer().requests().size() > requestsBefore; }));
    EXPECT_TRUE(waitFor([this] { return !errorText().isEmpty(); }));
}

} // namespace
