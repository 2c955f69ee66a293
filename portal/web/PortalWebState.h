#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <functional>

class PortalPage;

namespace CenterPlatform {
class Workspace;
}

// What one portal view shows of its embedded page (loading, the error) and what it can do with it
// (load again, open it in the browser). Written by the page's coordinator.
class PortalWebState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    // A complete Chinese sentence saying why the page is not shown; empty when it is.
    Q_PROPERTY(QString errorText READ errorText NOTIFY errorTextChanged)

  public:
    using QObject::QObject;

    [[nodiscard]] bool isLoading() const { return isLoading_; }
    [[nodiscard]] const QString& errorText() const { return errorText_; }
    // The address the page was last bound to.
    [[nodiscard]] const QUrl& requestedURL() const { return requestedURL_; }
    // The page currently bound to this state; compared, never owned.
    [[nodiscard]] const PortalPage* page() const { return page_; }

    // Runs the bound load again; nothing when no page is bound.
    Q_INVOKABLE void retry();
    // Opens the requested address in the default browser, only when it is on the maker's origin.
    Q_INVOKABLE void openInBrowser();

    void setLoading(bool loading);
    // Empty clears the error.
    void setErrorText(const QString& text);
    // Binds the page, its address and the load that shows it.
    void bind(const PortalPage& page, const QUrl& url, std::function<void()> load,
              CenterPlatform::Workspace* workspace);
    // Unbinds `page` when it is the bound one: its load can no longer be run.
    void unbind(const PortalPage& page);

  Q_SIGNALS:
    void isLoadingChanged();
    void errorTextChanged();

  private:
    bool isLoading_ = true;
    QString errorText_;
    const PortalPage* page_ = nullptr;
    QUrl requestedURL_;
    std::function<void()> load_;
    CenterPlatform::Workspace* workspace_ = nullptr;
};
