#include "portal/web/PortalWebCoordinator.h"

#include "platform/Workspace.h"
#include "portal/PortalLinks.h"
#include "portal/web/PortalWebState.h"

#include <QPointer>
#include <utility>

namespace {

// The most of a page's dialog text that is shown, in characters.
constexpr qsizetype dialogTextLimit = 1000;

std::string addressText(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded).toStdString();
}

// The first `limit` characters; a character outside the Basic Multilingual Plane is not split.
QString firstCharacters(const QString& text, qsizetype limit) {
    qsizetype units = 0;
    for (qsizetype characters = 0; characters < limit && units < text.size(); ++characters) {
        units += text.at(units).isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
    }
    return text.left(units);
}

QString trustedHost() {
    return QUrl(QString::fromStdString(PortalLinks::baseURL())).host().toLower();
}

} // namespace

PortalWebCoordinator::PortalWebCoordinator(PortalWebState& state,
                                           CenterPlatform::Workspace* workspace)
    : state_(state), workspace_(workspace) {}

PortalWebCoordinator::~PortalWebCoordinator() {
    if (dialogAnswer_) {
        std::exchange(dialogAnswer_, nullptr)(false);
    }
}

void PortalWebCoordinator::attach(PortalPage& page, const QUrl& url) {
    invalidated_ = false;
    initialURL_ = url;
    page_ = &page;
    bindingID_ = nextID_++;
    pendingLoadID_.reset();
    const std::uint64_t binding = bindingID_;
    QPointer<PortalWebCoordinator> coordinator(this);
    PortalPage* boundPage = &page;
    state_.bind(
        page, url,
        [coordinator, boundPage, url, binding] {
            if (coordinator) {
                coordinator->scheduleLoad(*boundPage, url, binding);
            }
        },
        workspace_);
    scheduleLoad(page, url, binding);
}

bool PortalWebCoordinator::isBound(const PortalPage& page, const QUrl& url,
                                   std::uint64_t binding) const {
    return !invalidated_ && binding == bindingID_ && initialURL_ == url && state_.page() == &page;
}

void PortalWebCoordinator::scheduleLoad(PortalPage& page, const QUrl& url, std::uint64_t binding) {
    if (!isBound(page, url, binding)) {
        return;
    }
    // A later schedule replaces this identifier and so cancels this load.
    const std::uint64_t loadID = nextID_++;
    pendingLoadID_ = loadID;
    // A load never starts inside the view's own update; the next turn of the event loop starts
    // it, unless anything changed meanwhile. Destroying the coordinator drops the step.
    QMetaObject::invokeMethod(
        this,
        [this, pagePointer = &page, url, binding, loadID] {
            if (!isBound(*pagePointer, url, binding) || pendingLoadID_ != loadID ||
                state_.requestedURL() != url) {
                return;
            }
            pendingLoadID_.reset();
            state_.setErrorText({});
            state_.setLoading(true);
            activeNavigation_ = pagePointer->load(url);
        },
        Qt::QueuedConnection);
}

void PortalWebCoordinator::invalidate(PortalPage& page) {
    invalidated_ = true;
    bindingID_ = nextID_++;
    pendingLoadID_.reset();
    if (openDialog_) {
        openDialog_.reset();
        Q_EMIT openDialogChanged();
    }
    if (dialogAnswer_) {
        std::exchange(dialogAnswer_, nullptr)(false);
    }
    page.stop();
    state_.unbind(page);
    activeNavigation_.reset();
    page_ = nullptr;
}

bool PortalWebCoordinator::decideAction(const QUrl& url, std::optional<bool> targetIsMainFrame) {
    if (invalidated_ || !url.isValid() || url.isEmpty()) {
        return false;
    }
    const bool isMainFrame = targetIsMainFrame.value_or(true);
    switch (PortalLinks::navigationDisposition(addressText(url), isMainFrame)) {
    case PortalNavigationDisposition::embedded:
        if (targetIsMainFrame) {
            return true;
        }
        // A link or script that would open a new window stays in this one page.
        if (page_ != nullptr) {
            activeNavigation_ = page_->load(url);
        }
        return false;
    case PortalNavigationDisposition::externalBrowser:
        if (workspace_ != nullptr) {
            workspace_->openURL(addressText(url));
        }
        return false;
    case PortalNavigationDisposition::blocked:
        if (isMainFrame) {
            fail(QStringLiteral("该链接未使用受信任的 HTTPS 地址。"));
        }
        return false;
    }
    return false;
}

bool PortalWebCoordinator::decideResponse(const QUrl& url, bool isMainFrame,
                                          std::optional<int> httpStatus) {
    if (invalidated_) {
        return false;
    }
    if (!url.isEmpty() && PortalLinks::isTrustedOrigin(addressText(url))) {
        if (httpStatus && *httpStatus >= 400) {
            if (isMainFrame) {
                fail(QStringLiteral("服务器暂时未能提供此页面（%1）。").arg(*httpStatus));
            }
            return false;
        }
        return true;
    }
    if (isMainFrame) {
        fail(QStringLiteral("网页跳转到了未受信任的地址。"));
    }
    return false;
}

bool PortalWebCoordinator::isStale(std::optional<PortalNavigationID> navigation) const {
    return navigation && activeNavigation_ && *navigation != *activeNavigation_;
}

void PortalWebCoordinator::started(PortalNavigationID navigation) {
    if (invalidated_) {
        return;
    }
    activeNavigation_ = navigation;
    state_.setErrorText({});
    state_.setLoading(true);
}

void PortalWebCoordinator::finished(std::optional<PortalNavigationID> navigation) {
    if (invalidated_ || isStale(navigation)) {
        return;
    }
    state_.setLoading(false);
    state_.setErrorText({});
}

void PortalWebCoordinator::failed(std::optional<PortalNavigationID> navigation,
                                  const PortalLoadError& error) {
    if (invalidated_ || isStale(navigation) || PortalLoadErrors::isCancellation(error)) {
        return;
    }
    fail(QStringLiteral("网络连接未完成。") + PortalLoadErrors::description(error));
}

void PortalWebCoordinator::timedOut() {
    if (invalidated_ || !state_.isLoading() || page_ == nullptr) {
        return;
    }
    page_->stop();
    fail(QStringLiteral("网络连接未完成。服务器在 35 秒内没有送来这个页面。"));
}

void PortalWebCoordinator::contentProcessTerminated() {
    if (!invalidated_) {
        fail(QStringLiteral("网页进程已停止，请重新载入。"));
    }
}

void PortalWebCoordinator::fail(const QString& text) {
    state_.setLoading(false);
    state_.setErrorText(text);
}

bool PortalWebCoordinator::mayShowDialog(const PortalDialogRequest& request) const {
    const QUrl& origin = request.securityOrigin;
    const int port = origin.port();
    const QString host = trustedHost();
    return !invalidated_ && origin.scheme().toLower() == QLatin1String("https") &&
           !host.isEmpty() && origin.host().toLower() == host &&
           (port == -1 || port == 0 || port == 443) && !openDialog_ && page_ != nullptr &&
           page_->hasWindow();
}

void PortalWebCoordinator::runDialog(PortalDialogRequest request) {
    using Kind = PortalDialogRequest::Kind;
    // Leaving a page is never held up by a question, and prompts are not supported: they get
    // no text.
    if (request.kind == Kind::leavePage) {
        request.answer(true);
        return;
    }
    if (request.kind == Kind::prompt || !mayShowDialog(request)) {
        request.answer(false);
        return;
    }
    const QString text = firstCharacters(request.message, dialogTextLimit);
    if (request.kind == Kind::alert) {
        openDialog_ = PortalDialog{QStringLiteral("KESTRYN"), text, QStringLiteral("知道了"), {}};
    } else {
        openDialog_ = PortalDialog{QStringLiteral("请确认操作"), text, QStringLiteral("确认"),
                                   QStringLiteral("取消")};
    }
    dialogAnswer_ = std::move(request.answer);
    Q_EMIT openDialogChanged();
}

void PortalWebCoordinator::answerDialog(bool accepted) {
    if (!dialogAnswer_) {
        return;
    }
    std::function<void(bool)> answer = std::exchange(dialogAnswer_, nullptr);
    openDialog_.reset();
    Q_EMIT openDialogChanged();
    answer(accepted);
}
