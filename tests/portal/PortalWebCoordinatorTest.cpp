#include "portal/web/PortalWebCoordinator.h"

#include "portal/PortalLinks.h"
#include "portal/web/PortalWebState.h"
#include "tests/support/ScriptedDesktop.h"

#include <QCoreApplication>
#include <QWebEngineLoadingInfo>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using Kind = PortalDialogRequest::Kind;

const QString untrustedLink = QStringLiteral("该链接未使用受信任的 HTTPS 地址。");

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

// One portal page: its state, the page, the workspace and the coordinator, on the shipped origin,
// showing the film guide unless made unbound. The answers outlive the coordinator, which answers
// a dialog still open when it goes.
struct Portal {
    std::vector<bool> answers;
    PortalWebState state;
    ScriptedWorkspace workspace;
    ScriptedPage page;
    PortalWebCoordinator coordinator{state, &workspace};

    enum Binding { showing, unbound };
    explicit Portal(Binding binding = showing) {
        if (binding == showing) {
            coordinator.attach(page, on(QStringLiteral("/guides/film.html")));
            settle();
        }
    }

    static QUrl on(const QString& path) {
        return QUrl(QString::fromStdString(PortalLinks::baseURL()) + path);
    }
    // Runs the steps deferred to the next turn of the event loop.
    static void settle() { QCoreApplication::processEvents(); }
    PortalDialogRequest dialog(Kind kind, const QString& message, const QUrl& origin) {
        return {kind, message, origin, [this](bool accepted) { answers.push_back(accepted); }};
    }
};

TEST(PortalWebCoordinator, TeardownVoidsScheduledLoadsRetryEventsAndDialogs) {
    Portal portal;
    portal.coordinator.runDialog(portal.dialog(Kind::confirm, "离开吗？", Portal::on({})));
    portal.coordinator.attach(portal.page, Portal::on("/donate.html"));
    portal.coordinator.invalidate(portal.page);
    EXPECT_EQ(portal.answers, std::vector{false}) << "the open confirm is answered no";
    EXPECT_FALSE(portal.coordinator.openDialog());
    portal.state.retry();
    Portal::settle();
    EXPECT_EQ(portal.page.loads.size(), 1U);
    EXPECT_EQ(portal.page.stops, 1);
    EXPECT_EQ(portal.state.page(), nullptr);
    EXPECT_FALSE(portal.coordinator.decideAction(Portal::on("/community.html"), true));
    portal.coordinator.contentProcessTerminated();
    EXPECT_EQ(portal.state.errorText(), "");
    portal.coordinator.runDialog(portal.dialog(Kind::alert, "之后", Portal::on({})));
    EXPECT_EQ(portal.answers, (std::vector{false, false}));
}

// One address of each disposition (the links' own table proves which address has which), asked
// for by the main frame, a new window (nothing, which counts as the main frame) or a subframe.
TEST(PortalWebCoordinator, NavigationActionsFollowTheTrustPolicy) {
    enum class Outcome { allowed, loadsHere, opensBrowser, refused, dropped };
    const QUrl otherSite("https://example.org/page.html");
    const QUrl plain("http://example.org/page.html");
    const QUrl community = Portal::on("/community.html?product=film&embed=center");
    const std::optional<bool> newWindow;
    const std::tuple<QUrl, std::optional<bool>, Outcome> cases[] = {
        {Portal::on("/frame.html"), false, Outcome::allowed},
        {community, newWindow, Outcome::loadsHere},
        {otherSite, true, Outcome::opensBrowser},
        {otherSite, newWindow, Outcome::opensBrowser},
        {otherSite, false, Outcome::dropped},
        {plain, newWindow, Outcome::refused},
    };
    for (const auto& [url, target, outcome] : cases) {
        SCOPED_TRACE(url.toString().toStdString());
        Portal portal;
        EXPECT_EQ(portal.coordinator.decideAction(url, target), outcome == Outcome::allowed);
        std::vector<QUrl> loads{Portal::on("/guides/film.html")};
        std::vector<std::string> opened;
        if (outcome == Outcome::loadsHere) {
            loads.push_back(url);
        } else if (outcome == Outcome::opensBrowser) {
            opened.push_back("openURL " + url.toString(QUrl::FullyEncoded).toStdString());
        }
        EXPECT_EQ(portal.page.loads, loads);
        EXPECT_EQ(portal.coordinator.activeNavigation(), portal.page.lastNavigation);
        EXPECT_EQ(portal.workspace.calls, opened);
        const bool refused = outcome == Outcome::refused;
        EXPECT_EQ(portal.state.errorText(), refused ? untrustedLink : QString());
        EXPECT_EQ(portal.state.isLoading(), !refused);
    }
}

// A response from elsewhere is the server's redirect; an empty sentence: no error is shown. A
// missing page and a redirect elsewhere in the main frame show theirs in PortalWebEngineTest.
TEST(PortalWebCoordinator, ResponsesShowOnlyTheMakersPagesWithoutAnErrorStatus) {
    const QString redirected = QStringLiteral("网页跳转到了未受信任的地址。");
    const QUrl missing = Portal::on("/missing.html");
    const QUrl elsewhere("https://example.org/landing.html");
    const std::tuple<QUrl, bool, std::optional<int>, bool, QString> cases[] = {
        {Portal::on("/guides/film.html"), true, 399, true, {}},
        {missing, false, 404, false, {}},
        {elsewhere, false, 200, false, {}},
        {QUrl(), true, std::nullopt, false, redirected},
    };
    for (const auto& [url, isMainFrame, status, allowed, error] : cases) {
        SCOPED_TRACE(url.toString().toStdString());
        Portal portal;
        EXPECT_EQ(portal.coordinator.decideResponse(url, isMainFrame, status), allowed);
        EXPECT_EQ(portal.state.errorText(), error);
        EXPECT_EQ(portal.state.isLoading(), error.isEmpty());
    }
}

// Only the latest of the addresses given in one turn loads, after the update; then the events
// of an earlier navigation are ignored.
TEST(PortalWebCoordinator, StartsOnlyTheLatestAddressAndIgnoresEarlierNavigations) {
    Portal portal(Portal::unbound);
    portal.coordinator.attach(portal.page, Portal::on("/guides/film.html"));
    portal.coordinator.attach(portal.page, Portal::on("/guides/audio.html"));
    EXPECT_TRUE(portal.page.loads.empty()) << "a load never starts inside the update";
    Portal::settle();
    EXPECT_EQ(portal.page.loads, std::vector{Portal::on("/guides/audio.html")});
    EXPECT_EQ(portal.state.requestedURL(), Portal::on("/guides/audio.html"));
    const PortalNavigationID first = portal.page.lastNavigation;
    EXPECT_EQ(portal.coordinator.activeNavigation(), first);
    portal.coordinator.started(first);
    ASSERT_FALSE(portal.coordinator.decideAction(Portal::on("/guides/film.html"), std::nullopt));
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

// Each way a load ends without its page has its Chinese sentence until the retry loads again; a
// cancellation (by a newer load or the time-out) has none. Only a load under way times out.
TEST(PortalWebCoordinator, AFailedTimedOutOrLostLoadShowsItsSentenceUntilRetry) {
    auto failing = [](QWebEngineLoadingInfo::ErrorDomain domain, int code) {
        return [domain, code](Portal& portal) {
            portal.coordinator.failed(portal.page.lastNavigation, {domain, code});
        };
    };
    const std::pair<std::function<void(Portal&)>, QString> cases[] = {
        {failing(QWebEngineLoadingInfo::ConnectionErrorDomain, -3), {}},
        {failing(QWebEngineLoadingInfo::InternalErrorDomain, -999),
         "网络连接未完成。载入页面时出现了问题（错误代码 -999）。"},
        {[](Portal& portal) {
             portal.coordinator.timedOut();
             portal.coordinator.timedOut();
             EXPECT_EQ(portal.page.stops, 1);
         },
         "网络连接未完成。服务器在 35 秒内没有送来这个页面。"},
        {[](Portal& portal) { portal.coordinator.contentProcessTerminated(); },
         "网页进程已停止，请重新载入。"},
    };
    for (const auto& [end, error] : cases) {
        SCOPED_TRACE(error.toStdString());
        Portal portal;
        end(portal);
        EXPECT_EQ(portal.state.errorText(), error);
        EXPECT_EQ(portal.state.isLoading(), error.isEmpty());
        portal.state.retry();
        Portal::settle();
        EXPECT_EQ(portal.page.loads.size(), 2U);
        EXPECT_EQ(portal.state.errorText(), "");
    }
}

// A dialog shows only for the maker's origin (any letter case, port 443) over a page in a window;
// every other request is answered at once: a question about leaving the page yes, the rest no.
TEST(PortalWebCoordinator, ShowsADialogOnlyForTheMakersOriginAndAnswersTheRestAtOnce) {
    QUrl secure = Portal::on({});
    secure.setHost(secure.host().toUpper());
    secure.setPort(443);
    QUrl otherPort = Portal::on({});
    otherPort.setPort(8443);
    QUrl plain = Portal::on({});
    plain.setScheme("http");
    // Nothing: the dialog is shown and not yet answered.
    const std::tuple<Kind, QUrl, bool, std::optional<bool>> cases[] = {
        {Kind::confirm, secure, true, std::nullopt},
        {Kind::confirm, QUrl("https://example.org"), true, false},
        {Kind::confirm, otherPort, true, false},
        {Kind::alert, plain, true, false},
        {Kind::confirm, Portal::on({}), false, false},
        {Kind::prompt, Portal::on({}), true, false},
        {Kind::leavePage, Portal::on({}), true, true},
    };
    for (const auto& [kind, origin, window, answer] : cases) {
        SCOPED_TRACE(origin.toString().toStdString());
        Portal portal;
        portal.page.window = window;
        portal.coordinator.runDialog(portal.dialog(kind, "继续吗？", origin));
        EXPECT_EQ(portal.answers, answer ? std::vector{*answer} : std::vector<bool>{});
        EXPECT_EQ(portal.coordinator.openDialog().has_value(), !answer);
    }
}

TEST(PortalWebCoordinator, ShowsOneDialogAtATimeAndTakesOneAnswer) {
    Portal portal;
    portal.coordinator.runDialog(portal.dialog(Kind::alert, "已保存。", Portal::on({})));
    ASSERT_TRUE(portal.coordinator.openDialog());
    EXPECT_EQ(portal.coordinator.openDialog()->rejectText, "") << "an alert has one button";

    portal.coordinator.runDialog(portal.dialog(Kind::confirm, "第二条", Portal::on({})));
    EXPECT_EQ(portal.answers, std::vector{false}) << "a second dialog is answered at once";
    EXPECT_EQ(portal.coordinator.openDialog()->text, "已保存。");
    portal.coordinator.answerDialog(true);
    portal.coordinator.answerDialog(true);
    EXPECT_EQ(portal.answers, (std::vector{false, true}));
    EXPECT_FALSE(portal.coordinator.openDialog());
}

} // namespace
