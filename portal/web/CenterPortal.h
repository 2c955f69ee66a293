#pragma once

class QQmlEngine;

namespace CenterPlatform {
class Workspace;
}

// The program's side of the portal module.
namespace CenterPortal {

// Lets the portal views of `engine` open addresses in the default browser through `workspace`,
// which must outlive the engine's views. Call it before loading QML; without it "浏览器打开"
// does nothing.
void useWorkspace(QQmlEngine& engine, CenterPlatform::Workspace& workspace);

// The workspace given to `engine`; nothing when none was.
[[nodiscard]] CenterPlatform::Workspace* workspace(const QQmlEngine* engine);

} // namespace CenterPortal
