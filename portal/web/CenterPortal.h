#pragma once

class QQmlEngine;

namespace CenterPlatform {
class Workspace;
}

// The program's side of the portal module.
namespace CenterPortal {

// Prepares the process for the web engine before the QGuiApplication exists, without loading it:
// the engine, loaded with the first portal page, renders with OpenGL contexts shared between
// threads, which only an application that has not started yet can set up.
void prepareApplication();

// Lets the portal views of `engine` open addresses in the default browser through `workspace`,
// which must outlive the engine's views. Call it before loading QML; without it "浏览器打开"
// does nothing.
void useWorkspace(QQmlEngine& engine, CenterPlatform::Workspace& workspace);

// The workspace given to `engine`; nothing when none was.
[[nodiscard]] CenterPlatform::Workspace* workspace(const QQmlEngine* engine);

} // namespace CenterPortal
