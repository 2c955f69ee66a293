#pragma once

#include "app/WindowPrompts.h"
#include "model/CenterModel.h"

#include <QObject>
#include <QQuickWindow>
#include <filesystem>

// What the desktop asks of the program around its one window: the application icon, the
// activation the model listens for, and the end of the program when the window closes, after
// every open question has been answered as cancelled.
class CenterDelegate : public QObject {
    Q_OBJECT

  public:
    CenterDelegate(QQuickWindow& window, WindowPrompts& prompts, CenterActivation* activation,
                   const std::filesystem::path& resources);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QQuickWindow& window_;
    WindowPrompts& prompts_;
    bool wasActive_ = false;
};
