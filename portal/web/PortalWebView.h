#pragma once

#include "portal/web/PortalPage.h"
#include "portal/web/PortalWebCoordinator.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

class PortalWebState;

// The bridge between one WebEngineView and its coordinator: the view's QML hands every event of
// the engine to it, and carries out its loadRequested and stopRequested. It tells navigations
// apart by their addresses, since the engine's events carry no navigation handle. The engine's
// requests arrive as plain objects read through their properties and its load reports as values,
// so nothing here links the web engine: it is loaded with the first page that shows.
class PortalWebView : public QObject, public PortalPage, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    // The address to show; a new one rebinds the page.
    Q_PROPERTY(QUrl url READ url WRITE setURL NOTIFY urlChanged)
    // Set once, before the component completes.
    Q_PROPERTY(PortalWebState* state READ state WRITE setState NOTIFY stateChanged)
    Q_PROPERTY(bool windowPresent READ hasWindow WRITE setWindowPresent NOTIFY windowPresentChanged)
    Q_PROPERTY(bool dialogOpen READ dialogOpen NOTIFY dialogChanged)
    Q_PROPERTY(QString dialogTitle READ dialogTitle NOTIFY dialogChanged)
    Q_PROPERTY(QString dialogText READ dialogText NOTIFY dialogChanged)
    Q_PROPERTY(QString dialogAcceptText READ dialogAcceptText NOTIFY dialogChanged)
    // Empty when the dialog has one button.
    Q_PROPERTY(QString dialogRejectText READ dialogRejectText NOTIFY dialogChanged)

  public:
    using QObject::QObject;
    ~PortalWebView() override;

    [[nodiscard]] const QUrl& url() const { return url_; }
    void setURL(const QUrl& url);
    [[nodiscard]] PortalWebState* state() const { return state_; }
    void setState(PortalWebState* state);
    void setWindowPresent(bool present);
    [[nodiscard]] bool dialogOpen() const;
    [[nodiscard]] QString dialogTitle() const;
    [[nodiscard]] QString dialogText() const;
    [[nodiscard]] QString dialogAcceptText() const;
    [[nodiscard]] QString dialogRejectText() const;

    [[nodiscard]] PortalNavigationID load(const QUrl& url) override;
    void stop() override;
    [[nodiscard]] bool hasWindow() const override { return windowPresent_; }

    void classBegin() override {}
    void componentComplete() override;

    // The engine's events: a WebEngineNavigationRequest, always accepted or rejected here; a
    // WebEngineNewWindowRequest; the fields of a WebEngineLoadingInfo.
    Q_INVOKABLE void navigationRequested(QObject* request);
    Q_INVOKABLE void newWindowRequested(QObject* request);
    Q_INVOKABLE void loadingChanged(const QUrl& url, int status, int errorDomain, int errorCode);
    Q_INVOKABLE void renderProcessTerminated();
    // A JavaScriptDialogRequest of the engine; always taken over and answered by the coordinator.
    Q_INVOKABLE void javaScriptDialogRequested(QObject* request);

    // The user closed the open dialog, with its first button (`accepted`) or not.
    Q_INVOKABLE void answerDialog(bool accepted);
    // The load took too long.
    Q_INVOKABLE void loadTimedOut();
    // The page goes away: ends its binding for good.
    Q_INVOKABLE void dismantle();

  Q_SIGNALS:
    void urlChanged();
    void stateChanged();
    void windowPresentChanged();
    void dialogChanged();
    // The engine is to load `url` in the main frame.
    void loadRequested(const QUrl& url);
    // The engine is to stop loading.
    void stopRequested();

  private:
    // A new navigation of the main frame towards `url`.
    PortalNavigationID remember(const QUrl& url);
    // The latest navigation that went to `url`; nothing for an address none went to.
    [[nodiscard]] std::optional<PortalNavigationID> navigationAt(const QUrl& url) const;
    void follow(const QUrl& url);

    QUrl url_;
    QPointer<PortalWebState> state_;
    bool windowPresent_ = false;
    bool dismantled_ = false;
    std::unique_ptr<PortalWebCoordinator> coordinator_;
    PortalNavigationID nextNavigation_ = 1;
    // The recent navigations of the main frame and the address each is at, the latest last.
    std::deque<std::pair<PortalNavigationID, QUrl>> navigations_;
};
