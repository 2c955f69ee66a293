#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

// What an updater asks of the object that owns it, and what it tells it. Called on the thread
// the updater lives on.
class UpdaterDelegate {
  public:
    virtual ~UpdaterDelegate() = default;

    // The feed address to use; nothing lets the updater fall back to its own configuration.
    [[nodiscard]] virtual std::optional<std::string> feedURLString() const = 0;
    // The running session's state in one sentence ("正在检查……").
    virtual void updaterStatusChanged(const std::string& sentence) = 0;
    // The session began by checkForUpdates() has ended: the user's sentence, and whether it
    // ended well (up to date, declined by the user, or the verified package handed over).
    virtual void updaterFinished(bool succeeded, const std::string& sentence) = 0;
};

// An updater of the center itself: created stopped, started once, then asked for checks. It
// runs its own user interface for a check (asking before it installs anything).
class UpdaterBackend {
  public:
    virtual ~UpdaterBackend() = default;

    // Starts the updater; the user's sentence when it cannot start.
    [[nodiscard]] virtual std::optional<std::string> start() = 0;
    // Whether an update is being checked, downloaded or handed over right now.
    [[nodiscard]] virtual bool sessionInProgress() const = 0;
    // Begins a user-initiated check; it ends with exactly one updaterFinished. A call while a
    // session runs joins that session.
    virtual void checkForUpdates() = 0;
};

// Creates an updater that does not start by itself and asks `delegate`, which outlives it.
using UpdaterFactory = std::function<std::unique_ptr<UpdaterBackend>(UpdaterDelegate& delegate)>;
