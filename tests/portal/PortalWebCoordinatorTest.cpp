#include "portal/web/PortalWebCoordinator.h"

#include "portal/PortalLinks.h"
#include "portal/web/PortalWebState.h"
#include "tests/support/ScriptedDesktop.h"

#include <QCoreApplication>
#include <QWebEngineLoadingInfo>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

using Kind = PortalDialogRequest::Kind;

const QString untrustedLink = QStringLiteral("该链接未使用受信任的 HTTPS 地址。");
const QString untrustedRedirect = QStringLiteral("网页跳转到了未受信任的地址。");

// The page as a test scripts it: records what the coordinator asks of it.
class ScriptedPage : public PortalPage {
  public:
    std::vector<QUrl> loads;
    int stops = 0;
    bool window = true;
    PortalNavigationID lastNavigation = 100;

    PortalNavigationID load(const QUrl& url) override {
        loads.push_back(url);
        return ++lastNavigation;
    }
    void stop() override { ++stops; }
    bool hasWindow() const override { return window; }
};

// One portal page: its state, the page, the workspace and the coordinator, on the shipped origin.
// The answers outlive the coordinator, which answers a dialog still open when it goes.
struct Portal {
    std::vector<bool> answers;
    PortalWebState state;
    ScriptedWorkspace workspace;
    ScriptedPage page;
    PortalWebCoordinator coordinator{state, &workspace};

    static QUrl on(const QString& path) {
        return QUrl(QString::fromStdString(PortalLinks::baseURL()) + path);
    }
    static QString host() { return on({}).host(); }
    // Runs the steps deferred to the next turn of the event loop.
    static void settle() { QCoreApplication::processEvents(); }

    // Binds a page of the maker's origin and lets its load start; the load's navigation.
    PortalNavigationID shown(const QString& path = QStringLiteral("/guides/film.html")) {
        coordinator.attach(page, on(path));
        settle();
        return page.lastNavigation;
    }
    PortalDialogRequest dialog(Kind kind, const QString& message, const QUrl& origin) {
        return {kind, message, origin, [this](bool accepted) { answers.push_back(accepted); }};
    }
};

TEST(PortalWebCoordinator, StartsOnlyTheLatestOfTheAddressesGivenInOneTurn) {
    Portal portal;
    portal.coordinator.attach(portal.page, Portal::on("/guides/film.html"));
    portal.coordinator.attach(portal.page, Portal::on("/guides/audio.html"));
    EXPECT_TRUE(portal.page.loads.empty()) << "a load never starts inside the update";
    Portal::settle();
    EXPECT_EQ(portal.page.loads, std::vector{Portal::on("/guides/audio.html")});
    EXPECT_EQ(portal.state.requestedURL(), Portal::on("/guides/audio.html"));
    EXPECT_EQ(portal.coordinator.activeNavigation(), portal.page.lastNavigation);
    EXPECT_TRUE(portal.state.isLoading());
}

TEST(PortalWebCoordinator, TeardownVoidsScheduledLoadsRetryAndEvents) {
    Portal portal;
    portal.coordinator.attach(portal.page, Portal::on("/donate.html"));
    portal.coordinator.invalidate(portal.page);
    portal.state.retry();
    Portal::settle();
    EXPECT_TRUE(portal.page.loads.empty());
    EXPECT_EQ(portal.page.stops, 1);
    EXPECT_EQ(portal.state.page(), nullptr);
    EXPECT_FALSE(portal.coordinator.decideAction(Portal::on("/community.html"), true));
    portal.coordinator.contentProcessTerminated();
    EXPECT_EQ(portal.state.errorText(), "");
}

TEST(PortalWebCoordinator, NavigationActionsFollowTheTrustPolicy) {
    struct Case {
        QUrl url;
        // Nothing: a request to open a new window.
        std::optional<bool> targetIsMainFrame;
        bool allowed;
        bool loadsInThisPage;
        bool opensBrowser;
        QString error;
    };
    // One address of each disposition (the links' own table proves which address has which),
    // asked for by the main frame, a new window and a subframe.
    const QUrl otherSite("https://example.org/page.html");
    const QUrl plain("http://example.org/page.html");
    const QUrl community = Portal::on("/community.html?product=film&embed=center");
    const std::optional<bool> newWindow;
    const Case cases[] = {
        {Portal::on("/guides/audio.html"), true, true, false, false, {}},
        {Portal::on("/frame.html"), false, true, false, false, {}},
        {community, newWindow, false, true, false, {}},
        {otherSite, true, false, false, true, {}},
        {otherSite, newWindow, false, false, true, {}},
        {otherSite, false, false, false, false, {}},
        {plain, true, false, false, false, untrustedLink},
        {plain, newWindow, false, false, false, untrustedLink},
        {plain, false, false, false, false, {}},
    };
    for (const Case& c : cases) {
        const QUrl& url = c.url;
        const std::string row = url.toString().toStdString();
        Portal portal;
        portal.shown();
        EXPECT_EQ(portal.coordinator.decideAction(url, c.targetIsMainFrame), c.allowed) << row;
        EXPECT_EQ(portal.page.loads.size(), c.loadsInThisPage ? 2U : 1U) << row;
        EXPECT_EQ(portal.workspace.calls.size(), c.opensBrowser ? 1U : 0U) << row;
        EXPECT_EQ(portal.state.errorText(), c.error) << row;
        EXPECT_EQ(portal.state.isLoading(), c.error.isEmpty()) << row;
        if (c.loadsInThisPage) {
            EXPECT_EQ(portal.page.loads.back(), url) << row;
            EXPECT_EQ(portal.coordinator.activeNavigation(), portal.page.lastNavigation) << row;
        }
        if (c.opensBrowser) {
            EXPECT_EQ(portal.workspace.calls.front(),
                      "openURL " + url.toString(QUrl::FullyEncoded).toStdString())
                << row;
        }
    }
}

TEST(PortalWebCoordinator, ResponsesShowOnlyTheMakersPagesWithoutAnErrorStatus) {
    struct Case {
        QUrl url;
        bool isMainFrame;
        std::optional<int> status;
        bool allowed;
        QString error;
    };
    const Case cases[] = {
        {Portal::on("/guides/film.html"), true, 200, true, {}},
        {Portal::on("/guides/film.html"), true, std::nullopt, true, {}},
        {Portal::on("/guides/film.html"), true, 399, true, {}},
        {Portal::on("/missing.html"), true, 404, false, "服务器暂时未能提供此页面（404）。"},
        {Portal::on("/missing.html"), false, 404, false, {}},
        {QUrl("https://example.org/landing.html"), true, std::nullopt, false, untrustedRedirect},
        {QUrl("https://example.org/landing.html"), false, 200, false, {}},
        {QUrl(), true, std::nullopt, false, untrustedRedirect},
    };
    for (const Case& c : cases) {
        Portal portal;
        portal.shown();
        EXPECT_EQ(portal.coordinator.decideResponse(c.url, c.isMainFrame, c.status), c.allowed)
            << c.url.toString().toStdString();
        EXPECT_EQ(portal.state.errorText(), c.error) << c.url.toString().toStdString();
        EXPECT_EQ(portal.state.isLoading(), c.error.isEmpty());
    }
}

TEST(PortalWebCoordinator, EventsOfAnEarlierNavigationAreIgnored) {
    Portal portal;
    const PortalNavigationID first = portal.shown();
    portal.coordinator.started(first);
    ASSERT_FALSE(portal.coordinator.decideAction(Portal::on("/guides/audio.html"), std::nullopt));
    const PortalNavigationID second = portal.page.lastNavigation;
    portal.coordinator.started(second);

    portal.coordinator.finished(first);
    portal.coordinator.failed(first, {QWebEngineLoadingInfo::ConnectionErrorDomain, -102});
    EXPECT_TRUE(portal.coordinator.isStale(first));
    EXPECT_TRUE(portal.state.isLoading());
    EXPECT_EQ(portal.state.errorText(), "");

    portal.coordinator.finished(second);
    EXPECT_FALSE(portal.state.isLoading());
    portal.coordinator.started(second);
    portal.coordinator.finished(std::nullopt);
    EXPECT_FALSE(portal.state.isLoading()) << "an event without a navigation counts";
}

TEST(PortalWebCoordinator, FailuresAreReportedInChineseAndCancellationsNotAtAll) {
    struct Case {
        QWebEngineLoadingInfo::ErrorDomain domain;
        int code;
        QString error;
    };
    const Case cases[] = {
        {QWebEngineLoadingInfo::ConnectionErrorDomain, -3, {}},
        {QWebEngineLoadingInfo::InternalErrorDomain, -3, {}},
        {QWebEngineLoadingInfo::ConnectionErrorDomain, -102, "网络连接未完成。无法连接到服务器。"},
        {QWebEngineLoadingInfo::CertificateErrorDomain, -202,
         "网络连接未完成。无法确认服务器的身份，它的证书不受信任。"},
        {QWebEngineLoadingInfo::InternalErrorDomain, -999,
         "网络连接未完成。载入页面时出现了问题（错误代码 -999）。"},
    };
    for (const Case& c : cases) {
        Portal portal;
        const PortalNavigationID navigation = portal.shown();
        portal.coordinator.failed(navigation, {c.domain, c.code});
        EXPECT_EQ(portal.state.errorText(), c.error) << c.code;
        EXPECT_EQ(portal.state.isLoading(), c.error.isEmpty()) << c.code;
    }
}

TEST(PortalWebCoordinator, ALoadThatTakesTooLongOrALostPageProcessEndsInAnErrorUntilRetry) {
    Portal portal;
    portal.shown();
    portal.coordinator.timedOut();
    EXPECT_EQ(portal.page.stops, 1);
    EXPECT_EQ(portal.state.errorText(), "网络连接未完成。服务器在 35 秒内没有送来这个页面。");
    EXPECT_FALSE(portal.state.isLoading());
    portal.coordinator.timedOut();
    EXPECT_EQ(portal.page.stops, 1) << "only a load under way times out";

    portal.coordinator.contentProcessTerminated();
    EXPECT_EQ(portal.state.errorText(), "网页进程已停止，请重新载入。");

    portal.state.retry();
    EXPECT_EQ(portal.page.loads.size(), 1U) << "the retry loads on the next turn";
    Portal::settle();
    EXPECT_EQ(portal.page.loads.size(), 2U);
    EXPECT_TRUE(portal.state.isLoading());
    EXPECT_EQ(portal.state.errorText(), "");
}

TEST(PortalWebCoordinator, ShowsOneDialogOfTheMakersOriginAtATime) {
    Portal portal;
    portal.shown();
    portal.coordinator.runDialog(portal.dialog(Kind::alert, "已保存。", Portal::on({})));
    ASSERT_TRUE(portal.coordinator.openDialog());
    EXPECT_EQ(portal.coordinator.openDialog()->text, "已保存。");
    EXPECT_EQ(portal.coordinator.openDialog()->rejectText, "") << "an alert has one button";

    portal.coordinator.runDialog(portal.dialog(Kind::alert, "第二条", Portal::on({})));
    EXPECT_EQ(portal.answers, std::vector{false}) << "a second dialog is answered at once";
    EXPECT_EQ(portal.coordinator.openDialog()->text, "已保存。");

    portal.coordinator.answerDialog(true);
    portal.coordinator.answerDialog(true);
    EXPECT_EQ(portal.answers, (std::vector{false, true}));
    EXPECT_FALSE(portal.coordinator.openDialog());

    QUrl secure = Portal::on({});
    secure.setHost(Portal::host().toUpper());
    secure.setPort(443);
    portal.coordinator.runDialog(portal.dialog(Kind::confirm, "删除这条评论？", secure));
    ASSERT_TRUE(portal.coordinator.openDialog());
    EXPECT_EQ(portal.coordinator.openDialog()->rejectText, "取消");
    portal.coordinator.answerDialog(false);
    EXPECT_EQ(portal.answers, (std::vector{false, true, false}));
}

TEST(PortalWebCoordinator, AnswersDialogsItMayNotShowAtOnce) {
    QUrl otherPort = Portal::on({});
    otherPort.setPort(8443);
    QUrl plain = Portal::on({});
    plain.setScheme("http");
    struct Case {
        Kind kind;
        QUrl origin;
        bool window;
        bool answer;
    };
    const Case cases[] = {
        {Kind::confirm, QUrl("https://example.org"), true, false},
        {Kind::confirm, otherPort, true, false},
        {Kind::alert, plain, true, false},
        {Kind::confirm, Portal::on({}), false, false},
        {Kind::prompt, Portal::on({}), true, false},
        {Kind::leavePage, Portal::on({}), true, true},
    };
    for (const Case& c : cases) {
        Portal portal;
        portal.shown();
        portal.page.window = c.window;
        portal.coordinator.runDialog(portal.dialog(c.kind, "继续吗？", c.origin));
        EXPECT_EQ(portal.answers, std::vector{c.answer}) << c.origin.toString().toStdString();
        EXPECT_FALSE(portal.coordinator.openDialog());
    }
}

TEST(PortalWebCoordinator, CutsADialogsTextToAThousandCharacters) {
    Portal portal;
    portal.shown();
    portal.coordinator.runDialog(
        portal.dialog(Kind::alert, QString(1500, QChar(u'字')), Portal::on({})));
    EXPECT_EQ(portal.coordinator.openDialog()->text, QString(1000, QChar(u'字')));
    portal.coordinator.answerDialog(true);

    const QString wide = QString(999, QChar(u'a')) + QStringLiteral("😀😀");
    portal.coordinator.runDialog(portal.dialog(Kind::alert, wide, Portal::on({})));
    EXPECT_EQ(portal.coordinator.openDialog()->text,
              QString(999, QChar(u'a')) + QStringLiteral("😀"));
}

TEST(PortalWebCoordinator, TeardownAnswersTheOpenConfirmWithNo) {
    Portal portal;
    portal.shown();
    portal.coordinator.runDialog(portal.dialog(Kind::confirm, "离开吗？", Portal::on({})));
    portal.coordinator.invalidate(portal.page);
    EXPECT_EQ(portal.answers, std::vector{false});
    EXPECT_FALSE(portal.coordinator.openDialog());
    portal.coordinator.runDialog(portal.dialog(Kind::alert, "之后", Portal::on({})));
    EXPECT_EQ(portal.answers, (std::vector{false, false}));
}

TEST(PortalWebState, OpensOnlyTheMakersAddressesInTheBrowser) {
    Portal portal;
    portal.shown("/community.html?product=film&embed=center");
    portal.state.openInBrowser();
    EXPECT_EQ(portal.workspace.calls,
              std::vector<std::string>{"openURL " + PortalLinks::baseURL() +
                                       "/community.html?product=film&embed=center"});

    Portal untrusted;
    untrusted.coordinator.attach(untrusted.page, QUrl("http://example.org/guides/film.html"));
    untrusted.state.openInBrowser();
    EXPECT_TRUE(untrusted.workspace.calls.empty());

    PortalWebState unbound;
    unbound.openInBrowser();
    unbound.retry();
    EXPECT_TRUE(unbound.isLoading());
}

} // namespace
