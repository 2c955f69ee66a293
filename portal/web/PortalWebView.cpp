#include "portal/web/PortalWebView.h"

#include "portal/web/CenterPortal.h"
#include "portal/web/PortalWebState.h"

#include <QQmlEngine>
#include <QSignalBlocker>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNavigationRequest>
#include <algorithm>

namespace {

// Enough to recognise the events of the navigations a page can have under way at once.
constexpr std::size_t rememberedNavigations = 16;

// QQuickWebEngineJavaScriptDialogRequest::DialogType, whose header is private.
PortalDialogRequest::Kind dialogKind(int type) {
    switch (type) {
    case 0:
        return PortalDialogRequest::Kind::alert;
    case 1:
        return PortalDialogRequest::Kind::confirm;
    case 2:
        return PortalDialogRequest::Kind::prompt;
    default:
        return PortalDialogRequest::Kind::leavePage;
    }
}

bool sameAddress(const QUrl& first, const QUrl& second) {
    return first.adjusted(QUrl::NormalizePathSegments) ==
           second.adjusted(QUrl::NormalizePathSegments);
}

} // namespace

PortalWebView::~PortalWebView() {
    // The state is a sibling in QML and may be destroyed first; without it there is no binding
    // left to end, and the coordinator's own destructor answers an open dialog.
    if (coordinator_ && !dismantled_ && state_) {
        // QML may already be gone: nothing is signalled to it any more.
        const QSignalBlocker blocker(this);
        coordinator_->invalidate(*this);
    }
}

void PortalWebView::setURL(const QUrl& url) {
    if (url_ == url) {
        return;
    }
    url_ = url;
    Q_EMIT urlChanged();
    if (coordinator_ && !dismantled_ && !url_.isEmpty() && coordinator_->initialURL() != url_) {
        coordinator_->attach(*this, url_);
    }
}

void PortalWebView::setState(PortalWebState* state) {
    if (state_ != state && !coordinator_) {
        state_ = state;
        Q_EMIT stateChanged();
    }
}

void PortalWebView::setWindowPresent(bool present) {
    if (windowPresent_ != present) {
        windowPresent_ = present;
        Q_EMIT windowPresentChanged();
    }
}

bool PortalWebView::dialogOpen() const {
    return coordinator_ && coordinator_->openDialog();
}

QString PortalWebView::dialogTitle() const {
    return dialogOpen() ? coordinator_->openDialog()->title : QString();
}

QString PortalWebView::dialogText() const {
    return dialogOpen() ? coordinator_->openDialog()->text : QString();
}

QString PortalWebView::dialogAcceptText() const {
    return dialogOpen() ? coordinator_->openDialog()->acceptText : QString();
}

QString PortalWebView::dialogRejectText() const {
    return dialogOpen() ? coordinator_->openDialog()->rejectText : QString();
}

void PortalWebView::componentComplete() {
    if (!state_) {
        return;
    }
    coordinator_ =
        std::make_unique<PortalWebCoordinator>(*state_, CenterPortal::workspace(qmlEngine(this)));
    connect(coordinator_.get(), &PortalWebCoordinator::openDialogChanged, this,
            &PortalWebView::dialogChanged);
    if (!url_.isEmpty()) {
        coordinator_->attach(*this, url_);
    }
}

PortalNavigationID PortalWebView::load(const QUrl& url) {
    const PortalNavigationID navigation = remember(url);
    Q_EMIT loadRequested(url);
    return navigation;
}

void PortalWebView::stop() {
    Q_EMIT stopRequested();
}

PortalNavigationID PortalWebView::remember(const QUrl& url) {
    navigations_.emplace_back(nextNavigation_++, url);
    if (navigations_.size() > rememberedNavigations) {
        navigations_.pop_front();
    }
    return navigations_.back().first;
}

std::optional<PortalNavigationID> PortalWebView::navigationAt(const QUrl& url) const {
    auto found = std::find_if(navigations_.rbegin(), navigations_.rend(),
                              [&](const auto& entry) { return sameAddress(entry.second, url); });
    return found == navigations_.rend() ? std::nullopt : std::optional(found->first);
}

void PortalWebView::follow(const QUrl& url) {
    std::optional<PortalNavigationID> active = coordinator_->activeNavigation();
    auto found = std::find_if(navigations_.begin(), navigations_.end(),
                              [&](const auto& entry) { return entry.first == active; });
    if (found != navigations_.end()) {
        found->second = url;
    }
}

void PortalWebView::navigationRequested(QObject* request) {
    if (request == nullptr) {
        return;
    }
    const auto answer = [request](bool allowed) {
        QMetaObject::invokeMethod(request, allowed ? "accept" : "reject");
    };
    if (!coordinator_ || dismantled_) {
        answer(false);
        return;
    }
    const QUrl target = request->property("url").toUrl();
    const bool isMainFrame = request->property("isMainFrame").toBool();
    bool allowed = false;
    if (request->property("navigationType").toInt() ==
        QWebEngineNavigationRequest::RedirectNavigation) {
        // A redirect is the server's answer to the request under way: the response rule judges
        // where it leads, so a server never opens the browser.
        allowed = coordinator_->decideResponse(target, isMainFrame, std::nullopt);
        if (allowed && isMainFrame) {
            follow(target);
        }
    } else {
        allowed = coordinator_->decideAction(target, isMainFrame);
        if (allowed && isMainFrame &&
            (navigations_.empty() || !sameAddress(navigations_.back().second, target))) {
            remember(target);
        }
    }
    answer(allowed);
}

void PortalWebView::newWindowRequested(QObject* request) {
    // The request is never opened in a new view: an allowed address loads in this one.
    if (request != nullptr && coordinator_ && !dismantled_) {
        (void)coordinator_->decideAction(request->property("requestedUrl").toUrl(), std::nullopt);
    }
}

void PortalWebView::loadingChanged(const QUrl& url, int status, int errorDomain, int errorCode) {
    if (!coordinator_ || dismantled_) {
        return;
    }
    switch (status) {
    case QWebEngineLoadingInfo::LoadStartedStatus: {
        std::optional<PortalNavigationID> navigation = navigationAt(url);
        coordinator_->started(navigation ? *navigation : remember(url));
        break;
    }
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // The engine's cancellation: by the policy, a newer load or the time-out.
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus: {
        std::optional<PortalNavigationID> navigation = navigationAt(url);
        if (!coordinator_->isStale(navigation) &&
            coordinator_->decideResponse(url, true, std::nullopt)) {
            coordinator_->finished(navigation);
        }
        break;
    }
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        std::optional<PortalNavigationID> navigation = navigationAt(url);
        if (errorDomain == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
            if (!coordinator_->isStale(navigation)) {
                (void)coordinator_->decideResponse(url, true, errorCode);
            }
        } else {
            coordinator_->failed(navigation, {errorDomain, errorCode});
        }
        break;
    }
    }
}

void PortalWebView::renderProcessTerminated() {
    if (coordinator_ && !dismantled_) {
        coordinator_->contentProcessTerminated();
    }
}

void PortalWebView::javaScriptDialogRequested(QObject* request) {
    if (request == nullptr) {
        return;
    }
    // Taken over so the engine shows none of its own dialogs, and kept alive until answered.
    request->setProperty("accepted", true);
    QQmlEngine::setObjectOwnership(request, QQmlEngine::CppOwnership);
    QPointer<QObject> guarded(request);
    PortalDialogRequest dialog{
        dialogKind(request->property("type").toInt()),
        request->property("message").toString(),
        request->property("securityOrigin").toUrl(),
        [guarded](bool accepted) {
            if (guarded) {
                QMetaObject::invokeMethod(guarded, accepted ? "dialogAccept" : "dialogReject");
                guarded->deleteLater();
            }
        },
    };
    if (!coordinator_ || dismantled_) {
        dialog.answer(false);
        return;
    }
    coordinator_->runDialog(std::move(dialog));
}

void PortalWebView::answerDialog(bool accepted) {
    if (coordinator_) {
        coordinator_->answerDialog(accepted);
    }
}

void PortalWebView::loadTimedOut() {
    if (coordinator_ && !dismantled_) {
        coordinator_->timedOut();
    }
}

void PortalWebView::dismantle() {
    if (coordinator_ && !dismantled_ && state_) {
        dismantled_ = true;
        coordinator_->invalidate(*this);
    }
}
