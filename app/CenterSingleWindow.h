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

    // Whether a center already listens under the name; it was asked to show its window.
    [[nodiscard]] bool handOver() const;
    // From now on a later start brings `window` to the front. A socket that no center answers
    // any more (one ended by a kill) is replaced. False when no socket could be made.
    bool serve(QWindow& window);

  private:
    QString name_;
    QLocalServer server_;
};
