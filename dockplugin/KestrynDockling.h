#pragma once

#include "dockplugin/DockTilePlugIn.h"

#include <QObject>

// The center's dock-tile plug-in: shows the application's icon from the plug-in's own bundle.
class KestrynDockling : public QObject, public DockTilePlugIn {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DockTilePlugIn_iid)
    Q_INTERFACES(DockTilePlugIn)

  public:
    void setDockTile(DockTile* tile) override;
};
