#pragma once

#include "app/CenterDelegate.h"
#include "app/WindowPrompts.h"
#include "model/CenterModel.h"
#include "platform/Workspace.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <filesystem>
#include <memory>

// The program's one window over the one model: loads the window (Kestryn.Center's
// CenterMainWindow) with the model and the prompts and puts the delegate beside it.
class KestrynCenterApp {
  public:
    // The portal pages open addresses in the browser through `workspace`, which must outlive
    // the window.
    KestrynCenterApp(CenterModel& model, CenterPlatform::Workspace& workspace,
                     WindowPrompts& prompts, CenterActivation* activation,
                     const std::filesystem::path& resources);

    // The window; null only when the QML could not be loaded.
    [[nodiscard]] QQuickWindow* window() const { return window_; }
    [[nodiscard]] QQmlApplicationEngine& engine() { return engine_; }

  private:
    // The fixed look and language: dark controls, Noto Sans CJK SC, Qt's own texts in Chinese.
    static void applyStyle();

    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
};
