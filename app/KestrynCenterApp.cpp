#include "app/KestrynCenterApp.h"

#include <QFont>
#include <QGuiApplication>
#include <QQuickStyle>
#include <QUrl>

KestrynCenterApp::KestrynCenterApp(CenterModel& model, WindowPrompts& prompts,
                                   CenterActivation* activation,
                                   const std::filesystem::path& resources) {
    applyStyle();
    engine_.setInitialProperties(
        {{"center", QVariant::fromValue(&model)}, {"prompts", QVariant::fromValue(&prompts)}});
    engine_.load(QUrl("qrc:/qt-project.org/imports/Kestryn/Center/CenterMainWindow.qml"));
    if (!engine_.rootObjects().isEmpty()) {
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().front());
    }
    if (window_ != nullptr) {
        new CenterDelegate(*window_, prompts, activation, resources);
    }
}

void KestrynCenterApp::applyStyle() {
    // Once per process, before the first window: the style cannot change afterwards.
    static const bool applied = [] {
        // Never the desktop's theme: our colours hold only over the Basic style.
        QQuickStyle::setStyle("Basic");
        QFont font("Noto Sans CJK SC");
        font.setPixelSize(13);
        QGuiApplication::setFont(font);
        return true;
    }();
    static_cast<void>(applied);
}
