#include "portal/web/CenterPortal.h"

#include <QLoggingCategory>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QVariant>
#include <cstring>

namespace CenterPortal {
namespace {

// Kept on the engine itself, so that two engines (two windows, two tests) never share it.
constexpr const char* workspaceProperty = "kestrynPortalWorkspace";

QLoggingCategory::CategoryFilter standardFilter = nullptr;

// The web engine's description of its graphics set-up is for its developers, and Qt WebEngine 6.4
// writes it from the OpenGL context shared with the window, which a window drawn in software does
// not have: it stays off whatever the logging rules say.
void withoutEngineContextLog(QLoggingCategory* category) {
    standardFilter(category);
    if (std::strcmp(category->categoryName(), "qt.webenginecontext") == 0) {
        category->setEnabled(QtDebugMsg, false);
        category->setEnabled(QtInfoMsg, false);
    }
}

} // namespace

void prepareApplication() {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    standardFilter = QLoggingCategory::installFilter(withoutEngineContextLog);
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
