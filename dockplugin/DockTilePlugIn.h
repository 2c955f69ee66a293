#pragma once

#include <QtPlugin>

class DockTile;

// What the Dock asks of a dock-tile plug-in it loads for an application.
class DockTilePlugIn {
  public:
    virtual ~DockTilePlugIn() = default;
    // Draws into the application's tile; without a tile, does nothing.
    virtual void setDockTile(DockTile* tile) = 0;
};

#define DockTilePlugIn_iid "com.kestryn.DockTilePlugIn/1.0"
Q_DECLARE_INTERFACE(DockTilePlugIn, DockTilePlugIn_iid)
