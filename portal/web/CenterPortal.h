#pragma once

class QQmlEngine;

namespace CenterPlatform {
class Workspace;
}

// The program's side of the portal module.
namespace CenterPortal {

// Chooses, before the QGuiApplication exists, how the window and its portal pages are drawn: by
// Qt Quick's software renderer, so that no OpenGL driver is loaded (a software one maps tens of
// megabytes at start). The web engine, loaded with the first page, then composes its pages in
// software too and needs no OpenGL context shared with the window.
void prepareApplication();

// Lets the portal views of `engine` open addresses in the default browser through `workspace`,
// which must outlive the engine's views. Call it before loading QML; without it "浏览器打开"
// does nothing.
void useWorkspace(QQmlEngine& engine, CenterPlatform::Workspace& workspace);

// The workspace given to `engine`; nothing when none was.
[[nodiscard]] CenterPlatform::Workspace* workspace(const QQmlEngine* engine);

} // namespace CenterPortal
