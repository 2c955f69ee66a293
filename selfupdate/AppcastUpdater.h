#pragma once

#include "platform/CenterPrompts.h"
#include "platform/Workspace.h"
#include "selfupdate/AppcastFeed.h"
#include "selfupdate/UpdaterBackend.h"
#include "transport/DownloadTimeouts.h"

#include <QObject>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

// The center's updater on Linux, for feeds in the common appcast format. A check fetches the
// feed with the guarded download, refuses it unless its signature block verifies with
// SUPublicEDKey, picks the newest item this system can run and, when it is newer than the
// running center, asks the user. On consent it downloads the enclosure (its length the ceiling
// and the exact size), verifies the enclosure's Ed25519 signature before anything opens the
// file, and hands the verified package to the system's package installer; an informational
// release downloads nothing and has its page opened on request instead. Every outcome is one
// Chinese sentence: shown in an alert and passed to the delegate's updaterFinished.
//
// Lives on the main thread; network and signature work run on a worker thread whose results
// come back through the event loop. Destroying the updater stops and waits for that worker.
class AppcastUpdater : public QObject, public UpdaterBackend {
  public:
    // `infoPlist` is the running center's Info.plist (CFBundleVersion,
    // CFBundleShortVersionString, SUPublicEDKey, SUFeedURL); verified packages are kept in
    // `downloads`, created when missing.
    AppcastUpdater(UpdaterDelegate& delegate, CenterPlatform::CenterPrompts& prompts,
                   CenterPlatform::Workspace& workspace, std::filesystem::path infoPlist,
                   std::filesystem::path downloads, DownloadTimeouts timeouts = {});
    ~AppcastUpdater() override;

    // A factory for CenterSelfUpdater that makes updaters of this kind.
    [[nodiscard]] static UpdaterFactory factory(CenterPlatform::CenterPrompts& prompts,
                                                CenterPlatform::Workspace& workspace,
                                                std::filesystem::path infoPlist,
                                                std::filesystem::path downloads,
                                                DownloadTimeouts timeouts = {});

    // Reads the center's version and update key; the sentence when either is missing.
    [[nodiscard]] std::optional<std::string> start() override;
    [[nodiscard]] bool sessionInProgress() const override { return inSession_; }
    void checkForUpdates() override;

  private:
    // What a worker hands back: a value, or the user's sentence for its failure.
    template <typename Value> struct Outcome {
        std::optional<Value> value;
        std::string failure;
    };

    void checked(const Outcome<std::optional<AppcastItem>>& outcome);
    void offer(const AppcastItem& item);
    // Announces an informational release and opens its page if the user asks to.
    void inform(const AppcastItem& item);
    void download(const AppcastItem& item);
    void downloaded(const AppcastItem& item, const Outcome<std::filesystem::path>& outcome);
    void finish(bool succeeded, const std::string& message, const std::string& sentence);

    // Runs `work` on the worker thread and `deliver` with its outcome on this object's thread.
    template <typename Value, typename Work, typename Deliver>
    void runInBackground(Work work, Deliver deliver);

    UpdaterDelegate& delegate_;
    CenterPlatform::CenterPrompts& prompts_;
    CenterPlatform::Workspace& workspace_;
    const std::filesystem::path infoPlist_;
    const std::filesystem::path downloads_;
    const DownloadTimeouts timeouts_;

    // Read by start().
    std::string publicKey_;
    std::string version_;
    std::string shortVersion_;
    std::string ownFeed_;

    bool inSession_ = false;
    // Last, so it is stopped and joined before anything it was given goes away.
    std::jthread worker_;
};
