#include "app/CenterScreenshots.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QImageWriter>
#include <QQuickItem>
#include <QTimer>

namespace {

// Limits that keep a broken page or server from holding the program forever.
constexpr int startLimitMilliseconds = 120'000;
constexpr int pageLimitMilliseconds = 20'000;
// Time for animations and layout to come to rest after a change.
constexpr int restMilliseconds = 400;
constexpr int pollMilliseconds = 100;

void runEvents(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntilIdle(CenterModel& model) {
    QElapsedTimer clock;
    clock.start();
    while (!model.isIdle() && clock.elapsed() < startLimitMilliseconds) {
        runEvents(pollMilliseconds);
    }
    return model.isIdle();
}

// Whether every embedded page shown has loaded or shows its error panel. A view that does not
// report its state counts as settled.
bool portalsSettled(const QQuickWindow& window) {
    const QList<QQuickItem*> items = window.contentItem()->findChildren<QQuickItem*>("portalView");
    for (const QQuickItem* item : items) {
        if (!item->isVisible()) {
            continue;
        }
        const bool loading = item->property("isLoading").toBool();
        const bool failed = !item->property("errorText").toString().isEmpty();
        if (loading && !failed) {
            return false;
        }
    }
    return true;
}

void waitForPortals(const QQuickWindow& window) {
    QElapsedTimer clock;
    clock.start();
    runEvents(restMilliseconds);
    while (!portalsSettled(window) && clock.elapsed() < pageLimitMilliseconds) {
        runEvents(pollMilliseconds);
    }
    runEvents(restMilliseconds);
}

bool save(QQuickWindow& window, const QString& file) {
    // Without an alpha channel and fully compressed, the flat dark pictures stay small.
    QImage image = window.grabWindow().convertToFormat(QImage::Format_RGB32);
    QImageWriter writer(file, "png");
    // Quality 0 is the PNG writer's strongest compression.
    writer.setQuality(0);
    return !image.isNull() && writer.write(image);
}

} // namespace

namespace CenterScreenshots {

QStringList names() {
    return {"all",          "mine",           "updates", "feedback", "settings", "detail-overview",
            "detail-guide", "detail-comments"};
}

QString take(CenterModel& model, QQuickWindow& window, const QString& folder) {
    if (!QDir().mkpath(folder)) {
        return "无法创建截图文件夹“" + folder + "”。";
    }
    if (!waitUntilIdle(model)) {
        return "软件中心在限定时间内没有完成启动检查，未能截图。";
    }
    if (model.products().empty()) {
        return "软件目录中没有软件，无法截取详情页。";
    }
    const QStringList files = names();
    const QString first = QString::fromStdString(model.products().front().id);
    for (int index = 0; index < files.size(); ++index) {
        const QString& name = files.at(index);
        if (name.startsWith("detail-")) {
            model.openPage("all");
            model.showDetails(first, static_cast<CenterDetailSection>(index - 5));
        } else {
            model.closeDetails();
            model.openPage(name);
        }
        waitForPortals(window);
        const QString file = QDir(folder).filePath(name + ".png");
        if (!save(window, file)) {
            return "无法写入截图“" + file + "”。";
        }
    }
    model.closeDetails();
    return {};
}

} // namespace CenterScreenshots
