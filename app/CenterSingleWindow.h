#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QWindow>
#include <filesystem>

// The center has one window: the first start listens on a local socket of the user's own, and
// a later start asks it to bring its window to the front instead of opening a second one.
class CenterSingleWindow : public QObject {
    Q_OBJECT

  public:
    // The socket of the center that keeps its files in `supportDirectory`: in the session's
    // runtime folder, or in the temporary folder under the user's id. Centers of other folders
    // (a demo beside the user's own) stay apart.
    [[nodiscard]] static QString socketName(const std::filesystem::path& supportDirectory);

    explicit CenterSingleWindow(QString name, QObject* parent = nullptr);

    // Whether this start is the center's window: it now listens under the name. False when a
    // running center answered, which was asked to show its window. A socket that no center
    // answers any more (one ended by a kill) is replaced; of two starts at once, one listens and
    // the other hands over to it. Without a socket the window still works, unreachable.
    [[nodiscard]] bool claim();
    // From now on, and for starts that came while the window was made, a later start brings
    // `window` to the front.
    void serve(QWindow& window);

  private:
    // Whether a center already listens under the name; it was asked to show its window.
    [[nodiscard]] bool handOver() const;

    QString name_;
    QLocalServer server_;
};
