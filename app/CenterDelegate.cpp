#include "app/CenterDelegate.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>

CenterDelegate::CenterDelegate(QQuickWindow& window, WindowPrompts& prompts,
                               CenterActivation* activation, const std::filesystem::path& resources)
    : QObject(&window), window_(window), prompts_(prompts) {
    const QString iconFile = QString::fromStdString((resources / "KESAppIcon.png").string());
    if (QImage icon(iconFile); !icon.isNull()) {
        QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon)));
        window_.setIcon(QIcon(QPixmap::fromImage(icon)));
    }
    // The first activation is the start; every later one is the user coming back.
    connect(&window_, &QWindow::activeChanged, this, [this, activation] {
        if (!window_.isActive()) {
            return;
        }
        if (wasActive_ && activation != nullptr) {
            Q_EMIT activation->activated();
        }
        wasActive_ = true;
    });
    window_.installEventFilter(this);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    window_.requestActivate();
}

bool CenterDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Close) {
        prompts_.cancelAll();
    }
    return QObject::eventFilter(watched, event);
}
