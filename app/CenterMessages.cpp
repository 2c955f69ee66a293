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
    if (type == QtWarningMsg && isValueTypeNotice(message)) {
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
