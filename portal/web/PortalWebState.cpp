#include "portal/web/PortalWebState.h"

#include "platform/Workspace.h"
#include "portal/PortalLinks.h"

void PortalWebState::retry() {
    if (load_) {
        // A copy: the load may rebind and so replace the closure while it runs.
        std::function<void()> load = load_;
        load();
    }
}

void PortalWebState::openInBrowser() {
    if (workspace_ == nullptr || requestedURL_.isEmpty()) {
        return;
    }
    const std::string address = requestedURL_.toString(QUrl::FullyEncoded).toStdString();
    if (PortalLinks::isTrustedOrigin(address)) {
        workspace_->openURL(address);
    }
}

void PortalWebState::setLoading(bool loading) {
    if (isLoading_ != loading) {
        isLoading_ = loading;
        Q_EMIT isLoadingChanged();
    }
}

void PortalWebState::setErrorText(const QString& text) {
    if (errorText_ != text) {
        errorText_ = text;
        Q_EMIT errorTextChanged();
    }
}

void PortalWebState::bind(const PortalPage& page, const QUrl& url, std::function<void()> load,
                          CenterPlatform::Workspace* workspace) {
    page_ = &page;
    requestedURL_ = url;
    load_ = std::move(load);
    workspace_ = workspace;
}

void PortalWebState::unbind(const PortalPage& page) {
    if (page_ == &page) {
        page_ = nullptr;
        load_ = nullptr;
    }
}
