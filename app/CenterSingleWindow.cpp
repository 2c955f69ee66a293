#include "app/CenterSingleWindow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <unistd.h>

namespace {

// How long a start waits for the running center; it answers at once unless it hangs.
constexpr int handOverMilliseconds = 2000;

void bringToFront(QWindow& window) {
    window.setWindowStates(window.windowStates() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.requestActivate();
}

} // namespace

QString CenterSingleWindow::socketName(const std::filesystem::path& supportDirectory) {
    const QByteArray folder = QByteArray::fromStdString(supportDirectory.string());
    const QString tag = QString::fromLatin1(
        QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + "/kestryn-center-" + tag + ".socket";
    }
    return QDir::tempPath() + "/kestryn-center-" + QString::number(::getuid()) + "-" + tag +
           ".socket";
}

CenterSingleWindow::CenterSingleWindow(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
}

bool CenterSingleWindow::handOver() const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    // The connection itself is the request; nothing more is said.
    if (!socket.waitForConnected(handOverMilliseconds)) {
        return false;
    }
    socket.disconnectFromServer();
    return true;
}

bool CenterSingleWindow::claim() {
    if (handOver()) {
        return false;
    }
    if (server_.listen(name_)) {
        return true;
    }
    // Another start listened first, or a killed center left its socket behind.
    if (handOver()) {
        return false;
    }
    QLocalServer::removeServer(name_);
    static_cast<void>(server_.listen(name_));
    return true;
}

void CenterSingleWindow::serve(QWindow& window) {
    const auto answer = [this, &window] {
        bool asked = false;
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            asked = true;
        }
        if (asked) {
            bringToFront(window);
        }
    };
    connect(&server_, &QLocalServer::newConnection, &window, answer);
    answer();
}
