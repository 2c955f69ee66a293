#include "app/CenterMessages.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdlib>
#include <iostream>

namespace {

QtMessageHandler standard = nullptr;
const char* startFailure = nullptr;
bool platformStarting = true;

bool isValueTypeNotice(const QString& message) {
    return message.startsWith("QWebEngine") &&
           message.endsWith("You should not use it as a QML type.");
}

// What the web engine says as it loads into a window drawn in software: that it found no OpenGL
// to share, which it then does without.
bool isSoftwareDrawingNotice(const QString& message) {
    return message.startsWith("Qt WebEngine seems to be initialized from a plugin.") ||
           message.startsWith("No suitable graphics backend found");
}

void filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (platformStarting) {
        if (type == QtFatalMsg) {
            std::cerr << startFailure;
            std::_Exit(1);
        }
        if (QByteArray(context.category).startsWith("qt.qpa")) {
            return;
        }
    }
    if (type == QtWarningMsg && (isValueTypeNotice(message) || isSoftwareDrawingNotice(message))) {
        return;
    }
    standard(type, context, message);
}

} // namespace

namespace CenterMessages {

void install(const char* noDisplay) {
    startFailure = noDisplay;
    standard = qInstallMessageHandler(filter);
}

void platformStarted() {
    platformStarting = false;
}

} // namespace CenterMessages
