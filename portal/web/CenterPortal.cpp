#include "portal/web/CenterPortal.h"

#include <QCoreApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QVariant>

namespace CenterPortal {
namespace {

// Kept on the engine itself, so that two engines (two windows, two tests) never share it.
constexpr const char* workspaceProperty = "kestrynPortalWorkspace";

} // namespace

void prepareApplication() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
}

void useWorkspace(QQmlEngine& engine, CenterPlatform::Workspace& workspace) {
    engine.setProperty(workspaceProperty, QVariant::fromValue(static_cast<void*>(&workspace)));
}

CenterPlatform::Workspace* workspace(const QQmlEngine* engine) {
    if (engine == nullptr) {
        return nullptr;
    }
    return static_cast<CenterPlatform::Workspace*>(
        engine->property(workspaceProperty).value<void*>());
}

} // namespace CenterPortal
