#pragma once

#include "model/CenterModel.h"

#include <QQuickWindow>
#include <QString>

// Pictures of the window for the documentation: once start-up and its first check have
// settled, every page and the three tabs of the first product's detail are rendered into the
// folder as PNG files (all, mine, updates, feedback, settings, detail-overview, detail-guide,
// detail-comments). Embedded web pages get a limited time to load or show their error.
namespace CenterScreenshots {

// The files' names without ".png", in the order they are taken.
[[nodiscard]] QStringList names();

// Takes the pictures; the user's sentence on failure, empty on success.
[[nodiscard]] QString take(CenterModel& model, QQuickWindow& window, const QString& folder);

} // namespace CenterScreenshots
