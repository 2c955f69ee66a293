#pragma once

#include "portal/web/PortalLoadErrors.h"
#include "portal/web/PortalPage.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>

class PortalWebState;

namespace CenterPlatform {
class Workspace;
}

// A JavaScript dialog a page asks for, with the page's way to receive the answer.
struct PortalDialogRequest {
    enum class Kind { alert, confirm, prompt, leavePage };

    Kind kind = Kind::alert;
    QString message;
    // The origin of the frame that asks.
    QUrl securityOrigin;
    // Called exactly once: for an alert whatever the user did, for a confirm whether the user
    // confirmed, for a prompt false (no text).
    std::function<void(bool)> answer;
};

// The dialog that is open over the page, as the view shows it.
struct PortalDialog {
    QString title;
    QString text;
    QString acceptText;
    // Empty for an alert, which has one button.
    QString rejectText;
};

// Keeps one embedded page under the portal's trust policy: schedules its loads, turns its
// navigation, response and failure events into the state, and holds the one JavaScript dialog
// that may be open. Events of an earlier navigation and work of an earlier binding are dropped by
// comparing identifiers. Main thread only.
class PortalWebCoordinator : public QObject {
    Q_OBJECT

  public:
    // Without a workspace nothing opens in the browser.
    PortalWebCoordinator(PortalWebState& state, CenterPlatform::Workspace* workspace);
    ~PortalWebCoordinator() override;

    // The address of the current binding.
    [[nodiscard]] const std::optional<QUrl>& initialURL() const { return initialURL_; }
    [[nodiscard]] std::optional<PortalNavigationID> activeNavigation() const {
        return activeNavigation_;
    }
    [[nodiscard]] const std::optional<PortalDialog>& openDialog() const { return openDialog_; }

    // Binds `page` and `url` and schedules the load for the next turn of the event loop.
    void attach(PortalPage& page, const QUrl& url);
    // Ends the binding for good: scheduled loads are void, an open dialog is answered false, the
    // page stops.
    void invalidate(PortalPage& page);

    // Whether the page may go to `url`. `targetIsMainFrame` is nothing for a request to open a
    // new window, which is loaded in the same page instead.
    [[nodiscard]] bool decideAction(const QUrl& url, std::optional<bool> targetIsMainFrame);
    // Whether a response from `url` may be shown; `httpStatus` is nothing for a response whose
    // status is not known to be an error (a redirect, a page that loaded).
    [[nodiscard]] bool decideResponse(const QUrl& url, bool isMainFrame,
                                      std::optional<int> httpStatus);

    // Whether the event of `navigation` comes from another navigation than the active one.
    [[nodiscard]] bool isStale(std::optional<PortalNavigationID> navigation) const;
    void started(PortalNavigationID navigation);
    void finished(std::optional<PortalNavigationID> navigation);
    void failed(std::optional<PortalNavigationID> navigation, const PortalLoadError& error);
    // The load took longer than the portal waits for a page.
    void timedOut();
    void contentProcessTerminated();

    void runDialog(PortalDialogRequest request);
    // The user closed the open dialog, with its first button or not.
    void answerDialog(bool accepted);

  Q_SIGNALS:
    void openDialogChanged();

  private:
    void scheduleLoad(PortalPage& page, const QUrl& url, std::uint64_t binding);
    [[nodiscard]] bool isBound(const PortalPage& page, const QUrl& url,
                               std::uint64_t binding) const;
    void fail(const QString& text);
    [[nodiscard]] bool mayShowDialog(const PortalDialogRequest& request) const;

    PortalWebState& state_;
    CenterPlatform::Workspace* workspace_;
    std::optional<QUrl> initialURL_;
    PortalPage* page_ = nullptr;
    std::optional<PortalNavigationID> activeNavigation_;
    bool invalidated_ = false;
    // Identifiers instead of locks: a renewed one voids everything that carries an older one.
    std::uint64_t nextID_ = 1;
    std::uint64_t bindingID_ = 0;
    std::optional<std::uint64_t> pendingLoadID_;
    std::optional<PortalDialog> openDialog_;
    std::function<void(bool)> dialogAnswer_;
};
