#pragma once

#include "core/PropertyList.h"
#include "core/Resources.h"
#include "platform/CenterPrompts.h"
#include "selfupdate/UpdaterBackend.h"

#include <QObject>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// The gate between the center and its updater. It starts an updater only for a complete HTTPS
// feed address on a host the center's Info.plist names as official, and only when that
// Info.plist demands signed feeds and verification before extraction; otherwise the updater
// stays stopped and `configurationIssue` says why in one sentence.
//
// Main thread only. Every checkForUpdates() ends with exactly one checkFinished (a call made
// while a check runs ends with that check), so a caller waits for that signal and shows its
// sentence; `status` follows the running check.
class CenterSelfUpdater : public QObject, private UpdaterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool isConfigured READ isConfigured NOTIFY isConfiguredChanged)
    Q_PROPERTY(QString configurationIssue READ configurationIssue NOTIFY configurationIssueChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)

  public:
    // Reads the host bundle's keys from `infoPlist` (an unreadable file counts as one without
    // keys) and configures the bundle's own SUFeedURL. `createUpdater` makes each updater;
    // `prompts` shows the alert of a check while nothing is configured.
    CenterSelfUpdater(CenterPlatform::CenterPrompts& prompts, UpdaterFactory createUpdater,
                      const std::filesystem::path& infoPlist = CenterCore::resourcesDirectory() /
                                                               "Info.plist",
                      QObject* parent = nullptr);
    ~CenterSelfUpdater() override;

    // The address, when it is a complete HTTPS address ("https://host/path", port 443 at most,
    // no user, password or fragment) on a host of the bundle's KESUpdateAllowedHosts or of its
    // SUFeedURL. Throws CenterSelfUpdateError with the user's sentence otherwise.
    [[nodiscard]] static std::string validatedFeedURL(const std::string& trimmedText,
                                                      const PropertyList& bundle);

    // Switches the updater to the address as entered (surrounding white space ignored): off for
    // an empty address, running for an accepted one (the running updater is kept for the same
    // address), refused with the reason otherwise; refused without any change while an update
    // session runs. Never throws.
    Q_INVOKABLE void configure(const QString& feedURL);
    // Starts a check by the running updater, or shows the alert that nothing is connected.
    Q_INVOKABLE void checkForUpdates();

    // Whether an updater runs for the configured feed.
    [[nodiscard]] bool isConfigured() const { return isConfigured_; }
    // Why the updater is not usable, or why a change was refused; empty otherwise.
    [[nodiscard]] QString configurationIssue() const { return configurationIssue_; }
    // The running or last check's state in one sentence; empty before the first check.
    [[nodiscard]] QString status() const { return status_; }

  Q_SIGNALS:
    void isConfiguredChanged();
    void configurationIssueChanged();
    void statusChanged();
    // A check ended: up to date, declined, or the verified package handed over (succeeded), or
    // it failed or nothing is configured; `sentence` is what the user was told.
    void checkFinished(bool succeeded, const QString& sentence);

  private:
    [[nodiscard]] std::optional<std::string> feedURLString() const override;
    void updaterStatusChanged(const std::string& sentence) override;
    void updaterFinished(bool succeeded, const std::string& sentence) override;

    // Drops the updater and the feed it was started with.
    void stop();
    void setConfigured(bool configured);
    void setConfigurationIssue(const QString& issue);
    void setStatus(const QString& status);

    CenterPlatform::CenterPrompts& prompts_;
    const UpdaterFactory createUpdater_;
    const PropertyList hostBundle_;
    bool isConfigured_ = false;
    QString configurationIssue_;
    QString status_;
    std::optional<std::string> configuredFeed_;
    // Last, so the updater goes before the state it reports to.
    std::unique_ptr<UpdaterBackend> updater_;
};
