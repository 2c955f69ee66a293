#pragma once

#include "core/Records.h"
#include "installer/RunningApplications.h"
#include "model/CenterPage.h"
#include "model/CenterRules.h"
#include "platform/CenterPrompts.h"
#include "platform/Workspace.h"
#include "transport/DownloadTimeouts.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

class ArtifactRebuild;
class CenterHistory;
class CenterIntegrity;
class CenterPreferences;
class CenterSelfUpdater;
class CenterUpdateService;
namespace CenterInstaller::Backups {
struct Backup;
}

// Tells the model that the user came back to the center (its window became active again).
class CenterActivation : public QObject {
    Q_OBJECT

  signals:
    void activated();
};

// Everything the model takes from its surroundings. The defaults are the user's own folders;
// tests and the demo point them elsewhere.
struct CenterModelSetup {
    std::filesystem::path resources;
    std::filesystem::path supportDirectory;
    std::filesystem::path settingsFile;
    std::vector<std::filesystem::path> applicationDirectories;
    CenterPlatform::Workspace* workspace = nullptr;
    CenterPlatform::CenterPrompts* prompts = nullptr;
    // The window's activation; none without a window.
    CenterActivation* activation = nullptr;
    CenterInstaller::RunningCheck runningCheck = CenterInstaller::isRunning;
    DownloadTimeouts timeouts{};

    // The user's folders, the shipped resources and the real running check.
    static CenterModelSetup standard(CenterPlatform::Workspace& workspace,
                                     CenterPlatform::CenterPrompts& prompts);
};

// The center's one observable model: the products and their installed copies, the update
// check against the signed online catalog, installations, imports and the exported version
// list. It lives on the main thread and is the only writer of its state; long work runs on
// worker threads and its results come back to the main thread before anything is assigned.
class CenterModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList products READ productsForViews NOTIFY productsChanged)
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(QString status READ statusText NOTIFY statusChanged)
    Q_PROPERTY(QString error READ errorText WRITE setErrorText NOTIFY errorChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString sourceLabel READ sourceLabelText NOTIFY sourceLabelChanged)
    Q_PROPERTY(int installedCount READ installedCount NOTIFY installedChanged)
    // The window's view of the same state (below).
    Q_PROPERTY(QVariantList updates READ updatesForViews NOTIFY updatesChanged)
    Q_PROPERTY(QString pageName READ pageName WRITE openPage NOTIFY pageChanged)
    Q_PROPERTY(CenterDetailSection detailSection READ detailSection WRITE setDetailSection NOTIFY
                   detailSectionChanged)
    Q_PROPERTY(bool canCheck READ canCheck NOTIFY workChanged)
    Q_PROPERTY(bool isWorking READ isWorking NOTIFY workChanged)
    Q_PROPERTY(bool isInstalling READ isInstalling NOTIFY workChanged)
    Q_PROPERTY(bool canCancel READ canCancel NOTIFY workChanged)
    Q_PROPERTY(bool canUpdateAll READ canUpdateAll NOTIFY workChanged)
    Q_PROPERTY(QString lastCheckedLine READ lastCheckedLine NOTIFY lastCheckedChanged)
    Q_PROPERTY(QString installedLine READ installedLine NOTIFY installedChanged)
    Q_PROPERTY(QString versionLine READ versionLine CONSTANT)
    Q_PROPERTY(QUrl wordmarkURL READ wordmarkURL CONSTANT)
    // The product the feedback page shows first.
    Q_PROPERTY(QString firstFeedbackProduct READ firstFeedbackProduct CONSTANT)
    // The backups and disk use, read off the window's thread.
    Q_PROPERTY(CenterHistory* history READ history CONSTANT)
    Q_MOC_INCLUDE("model/CenterHistory.h")
    // The user's settings.
    Q_PROPERTY(CenterPreferences* preferences READ preferences CONSTANT)
    Q_MOC_INCLUDE("model/CenterPreferences.h")

  public:
    explicit CenterModel(CenterModelSetup setup, QObject* parent = nullptr);
    ~CenterModel() override;

    // State, as the views and the command line read it.
    [[nodiscard]] const std::vector<CenterProduct>& products() const { return products_; }
    [[nodiscard]] const std::map<std::string, InstalledApp>& installed() const {
        return installed_;
    }
    [[nodiscard]] std::optional<InstalledApp> installedCopy(const CenterProduct& product) const;
    [[nodiscard]] CenterPage page() const { return page_; }
    [[nodiscard]] const std::optional<CenterProduct>& selected() const { return selected_; }
    [[nodiscard]] CenterDetailSection detailSection() const { return detailSection_; }
    [[nodiscard]] bool isChecking() const { return isChecking_; }
    [[nodiscard]] const std::string& status() const { return status_; }
    [[nodiscard]] const std::optional<std::string>& error() const { return error_; }
    [[nodiscard]] const std::optional<std::string>& busyProduct() const { return busyProduct_; }
    [[nodiscard]] double progress() const { return progress_; }
    [[nodiscard]] QDateTime lastChecked() const { return lastChecked_; }
    [[nodiscard]] const std::string& sourceLabel() const { return sourceLabel_; }
    // The products with an installed copy for which a newer release is listed.
    [[nodiscard]] std::vector<CenterProduct> updates() const;
    [[nodiscard]] int installedCount() const { return static_cast<int>(installed_.size()); }
    // The center's own version.
    [[nodiscard]] const std::string& version() const { return version_; }
    [[nodiscard]] const std::filesystem::path& supportDirectory() const {
        return setup_.supportDirectory;
    }
    // The user's settings; the model follows their changes.
    [[nodiscard]] CenterPreferences* preferences() const { return preferences_; }

    void setPage(CenterPage page);
    void setSelected(std::optional<CenterProduct> product);
    void setDetailSection(CenterDetailSection section);
    void setError(std::optional<std::string> error);

    // Detects the installed copies again on a worker thread; installedChanged follows when they
    // changed.
    Q_INVOKABLE void refreshInstalled();
    void showDetails(const CenterProduct& product, CenterDetailSection section);

    // The online catalog and the center's own updates.
    Q_INVOKABLE void checkUpdates();
    Q_INVOKABLE void checkCenterUpdate();
    // The center's own updater, for views that show its state.
    [[nodiscard]] CenterSelfUpdater& selfUpdater() { return *selfUpdater_; }

    // A product's button, state line and actions.
    [[nodiscard]] std::string actionTitle(const CenterProduct& product) const;
    [[nodiscard]] std::string detailStatus(const CenterProduct& product) const;
    void performAction(const CenterProduct& product);
    // The installation flow alone, never opening the application: installs or updates the
    // product, or says that the installed version is current. An update fetches only what
    // changed since a package of the product kept on disk, unless `wholePackage` is set.
    void installOrUpdate(const CenterProduct& product, bool wholePackage = false);
    // Runs the listed updates one after another in catalog order, each as its own installation
    // flow: a failure is said and the next still runs, a cancel stops the rest, and the status
    // ends with one summary sentence.
    Q_INVOKABLE void updateAll();
    // Whether the last update-all updated every product it tried.
    [[nodiscard]] bool updatedAll() const {
        return updateAll_.failed.empty() && !updateAll_.cancelled;
    }
    void openProduct(const CenterProduct& product);
    void showPackage(const CenterProduct& product);

    // Imports, the version list and the maker's pages.
    Q_INVOKABLE void importInstaller();
    Q_INVOKABLE void exportDiagnostics();
    Q_INVOKABLE void openHelp();
    Q_INVOKABLE void openWebsite();
    Q_INVOKABLE void openSupport();

    // Whether nothing runs any more that will change the model by itself: no check, no
    // installation or inspection, no prompt waiting for its answer.
    [[nodiscard]] bool isIdle() const;

    // ---- Version history: the backups of replaced versions, restores, retention ----
    // (CenterModelHistory.cpp)
    Q_PROPERTY(QString diskUseLine READ diskUseLine NOTIFY historyChanged)
    Q_PROPERTY(bool canClean READ canClean NOTIFY historyChanged)
  public:
    // The product's backups, newest first, read now from the bundles themselves.
    [[nodiscard]] std::vector<CenterInstaller::Backups::Backup>
    backupsOf(const CenterProduct& product) const;
    // The history's last reading, for the views.
    [[nodiscard]] CenterHistory* history() const { return history_; }
    // Asks for a confirmation, then puts the backup back in place under `busyProduct`.
    void restoreBackup(const CenterProduct& product, const std::filesystem::path& backup);
    Q_INVOKABLE void restoreBackup(const QString& product, const QString& backup);
    // Asks for a confirmation that names where the copy goes, then moves the installed copy into
    // the backups under `busyProduct`, where restoreBackup brings it back. Not for preview-only
    // products; refused while the application runs.
    void removeProduct(const CenterProduct& product);
    Q_INVOKABLE void removeProduct(const QString& product);
    // What a cleaning removed: the backups and the packages (model/CenterCleaning.h).
    struct Cleaning;
    // Keeps the newest `preferences().keepBackups()` of each product (all when no limit is set) and
    // never the backup of the version installed before the current one; removes the packages that
    // no longer serve (PackageCleanup::unneeded); says how much space that freed and hands what
    // it removed to `done`. Off the window's thread, and nothing else starts meanwhile; does
    // nothing while other work runs.
    void pruneBackups(std::function<void(const Cleaning&)> done = {});
    Q_INVOKABLE void pruneBackupsNow();
    // Whether a cleaning could free anything: a limit is set or packages are kept.
    [[nodiscard]] bool canClean() const;
    // "历史版本占用 …，下载的安装包占用 …。", from the history's last reading.
    [[nodiscard]] QString diskUseLine() const;

  signals:
    void historyChanged();

  private:
    // After an installation: the artifact's partial download is of no use any more.
    void afterInstallation(const std::optional<ReleaseArtifact>& artifact);
    // The user's limit applied on the worker of a replacement that has just succeeded, never to
    // `spared`; a failure leaves the backups for the next cleaning.
    [[nodiscard]] std::function<void(const std::vector<std::filesystem::path>& spared)>
    retention() const;
    void setCleaning(bool cleaning);
    void runRestore(const CenterProduct& product, const std::filesystem::path& backup,
                    const std::string& version);
    void runRemoval(const CenterProduct& product, const InstalledApp& copy);
    void runRepair(const CenterProduct& product, const InstalledApp& copy);
    // Reads the history again off the window's thread; historyChanged follows a change.
    void reloadHistory();
    // ---- end of version history ----

    // ---- Integrity of the installed copies (CenterModelIntegrity.cpp) ----
    Q_PROPERTY(CenterIntegrity* integrity READ integrity CONSTANT)
    Q_MOC_INCLUDE("model/CenterIntegrity.h")
  public:
    // The last check of each installed copy, for the views.
    [[nodiscard]] CenterIntegrity* integrity() const { return integrity_; }
    // Checks the installed copy of `product`, or every installed copy, against its seal on a
    // worker thread; the status sums up what was found. Refused while an installation or
    // restore runs, and for a product with no installed copy.
    void checkIntegrity(const std::optional<CenterProduct>& product);
    Q_INVOKABLE void checkIntegrity(const QString& product);
    // Asks for a confirmation, then installs the installed version again over its copy under
    // `busyProduct`: from a kept package of that version, else from a backup of it that passes
    // the check; the damaged copy is kept as a backup first. Says when neither is there.
    void repairProduct(const CenterProduct& product);
    Q_INVOKABLE void repairProduct(const QString& product);
    // ---- end of integrity ----

  public:
    // ---- The window's face of the model (CenterModelViews.cpp) --------------------------------
    // The views address products by id and read every title, state and enabled flag from here,
    // so the rules stay in one place for the window and the command line.

    // The product with this id among the shown ones.
    [[nodiscard]] std::optional<CenterProduct> product(const QString& id) const;
    [[nodiscard]] QString pageName() const;
    // Shows the page ("all", "mine", …); the mine page detects installed copies again first.
    Q_INVOKABLE void openPage(const QString& name);
    // The View menu's check: the updates page, then a check.
    Q_INVOKABLE void checkToolUpdates();
    // The tab's title: "功能介绍", "使用说明", "建议评论".
    Q_INVOKABLE [[nodiscard]] static QString detailSectionTitle(CenterDetailSection section);
    // Opens the product's detail on this tab; closes it again.
    Q_INVOKABLE void showDetails(const QString& id, CenterDetailSection section);
    Q_INVOKABLE void closeDetails();
    Q_INVOKABLE void performAction(const QString& id);
    Q_INVOKABLE void showPackage(const QString& id);
    Q_INVOKABLE [[nodiscard]] QString actionTitle(const QString& id) const;
    Q_INVOKABLE [[nodiscard]] QString detailStatus(const QString& id) const;
    Q_INVOKABLE [[nodiscard]] bool isPreviewOnly(const QString& id) const;
    // Whether the product's main button takes a press: nothing busy and no preview.
    Q_INVOKABLE [[nodiscard]] bool canAct(const QString& id) const;
    // The product's icon file, or an empty address when the resources have none.
    Q_INVOKABLE [[nodiscard]] QUrl iconURL(const QString& id) const;
    [[nodiscard]] static QString firstFeedbackProduct();
    [[nodiscard]] QVariantList updatesForViews() const;
    // Nothing is checked or installed right now.
    [[nodiscard]] bool canCheck() const { return !isChecking_ && !busy(); }
    [[nodiscard]] bool isWorking() const { return !canCheck(); }
    // A product is being installed, restored or its package inspected, or a cleaning runs.
    [[nodiscard]] bool isInstalling() const { return busy(); }
    // The running download, installation, inspection or restore takes a stop request.
    [[nodiscard]] bool canCancel() const { return busyProduct_.has_value() && !cancelling_; }
    // Nothing runs and at least one update is listed.
    [[nodiscard]] bool canUpdateAll() const {
        return canCheck() && !updateAll_.current && updateAll_.waiting.empty() &&
               !updates().empty();
    }
    // Stops it at its next safe point: a download keeps its bytes for the next attempt, an
    // installation or restore leaves the installed copy as it was. The status then says so.
    Q_INVOKABLE void cancelWork();
    // "最近检查：…", or the line shown before the first check.
    [[nodiscard]] QString lastCheckedLine() const;
    [[nodiscard]] QString installedLine() const;
    [[nodiscard]] QString versionLine() const;
    [[nodiscard]] QUrl wordmarkURL() const;

  signals:
    void productsChanged();
    void installedChanged();
    void pageChanged();
    void selectedChanged();
    void detailSectionChanged();
    void isCheckingChanged();
    void statusChanged();
    void errorChanged();
    void busyProductChanged();
    void progressChanged();
    void lastCheckedChanged();
    void sourceLabelChanged();
    // Emitted whenever isIdle() may have become true.
    void settled();
    void updatesChanged();
    // A check or an installation started or ended.
    void workChanged();
    // These products' installed copies changed; the other products' rows stay as they are.
    void productsUpdated(const QStringList& ids);

  private:
    // Start-up.
    // The center's version, identifier and default feeds from its Info.plist, and the user's
    // settings over them.
    void readSettings();
    // What follows the user's settings: the catalog and the center's feed when they are saved,
    // the automatic checks and the history's cleaning.
    void followPreferences();
    // Drops the running check and the online catalog, which belong to the old address.
    void forgetCatalog();
    // Gives the center's updater the saved feed and says whether it took it.
    void configureCenterFeed();
    void createSelfUpdater();
    void loadCatalogSources();
    // Puts right what a run that was killed left in the applications and backup folders.
    void finishInterruptedWork();
    // Refreshes the installed copies when the center becomes active again and on a timer, and
    // checks for updates on another.
    void startTimers();
    [[nodiscard]] std::vector<CenterProduct>
    mergedCatalog(const std::vector<CenterProduct>& given) const;

    // Update checks.
    void applyCheck(int number, const std::stop_token& stop,
                    const std::variant<CenterCatalog, std::exception_ptr>& outcome);
    void failCheck(int number, const std::stop_token& stop, std::exception_ptr failure);

    // Installations.
    [[nodiscard]] bool hasPackage(const CenterProduct& product) const;
    // The product's recorded package when it is an imported one that still exists.
    [[nodiscard]] std::optional<std::filesystem::path>
    importedPackage(const CenterProduct& product) const;
    // Records the package the product's installed version came from; without a proof of its
    // own, a record of the same file keeps the one it has.
    void recordPackage(const CenterProduct& product, const std::filesystem::path& package,
                       std::optional<CenterRules::PackageProof> proof);
    void startInstallation(const CenterProduct& product, std::optional<CenterRelease> localRelease,
                           std::optional<std::filesystem::path> packageOverride,
                           bool wholePackage = false);
    // The differential update of the busy product's download, reporting to this model.
    [[nodiscard]] std::function<std::unique_ptr<ArtifactRebuild>()>
    differentialUpdate(const CenterProduct& product);
    void installPackage(const std::filesystem::path& package, const CenterProduct& product,
                        const CenterRelease& release);
    void finishInstallation(std::exception_ptr failure);
    // Whether the busy product, refused by the installer, is now current because another run
    // installed the release first.
    [[nodiscard]] bool currentAfterAll();
    // The download's progress callback, and its fraction as the main thread receives it.
    [[nodiscard]] std::function<void(double)> downloadProgress();
    void followDownload(double fraction);

    // The stop token of a new piece of work, and the status it leaves when the user cancels it.
    std::stop_token stoppableWork(std::string cancelledStatus);
    // Whether the user's cancel ended the work that failed; the status then says what stopped.
    bool endedByCancel();

    // Imports.
    void importPackage(const std::filesystem::path& file, const CenterProduct& product);
    void confirmImport(const CenterProduct& product, const CenterRelease& release,
                       const std::filesystem::path& copy);
    void exportTo(const std::filesystem::path& file);

    // Setters of the published state that only the model writes.
    void setProducts(std::vector<CenterProduct> products);
    // Takes the installed copies found now; a background detection started before is dropped.
    void setInstalled(std::map<std::string, InstalledApp> installed);
    void detectInstalledNow();
    void setIsChecking(bool checking);
    void setStatus(std::string text);
    void setBusyProduct(std::optional<std::string> product);
    // A product's work or a cleaning runs: nothing else may start.
    [[nodiscard]] bool busy() const { return busyProduct_ || cleaning_; }
    void setProgress(double fraction);
    void setLastChecked(QDateTime when);
    void setSourceLabel(std::string text);
    void setWaiting(int change);
    void announceIfIdle();
    // The resource file as an address, or an empty one when it is missing.
    [[nodiscard]] QUrl resourceURL(const std::string& name) const;

    // The published state as Qt values, for the views.
    [[nodiscard]] QVariantList productsForViews() const;
    [[nodiscard]] QString statusText() const { return QString::fromStdString(status_); }
    [[nodiscard]] QString errorText() const;
    void setErrorText(const QString& text);
    [[nodiscard]] QString sourceLabelText() const { return QString::fromStdString(sourceLabel_); }

    CenterModelSetup setup_;
    CenterPreferences* preferences_ = nullptr;
    CenterHistory* history_;
    CenterIntegrity* integrity_;
    std::unique_ptr<CenterUpdateService> service_;
    std::string version_;
    std::string ownBundleID_;

    std::vector<CenterProduct> products_;
    std::map<std::string, InstalledApp> installed_;
    CenterPage page_ = CenterPage::all;
    std::optional<CenterProduct> selected_;
    CenterDetailSection detailSection_ = CenterDetailSection::overview;
    bool isChecking_ = false;
    std::string status_ = "正在读取本机软件";
    std::optional<std::string> error_;
    std::optional<std::string> busyProduct_;
    // A cleaning runs: no installation may start beside it.
    bool cleaning_ = false;
    double progress_ = 0;
    QDateTime lastChecked_;
    std::string sourceLabel_ = "本机版本目录 · 尚未连接在线服务";

    std::vector<CenterProduct> knownProducts_;
    CenterRules::LocalPackages localPackages_;
    CenterRules::LocalReleases localReleases_;
    int checkGeneration_ = 0;
    // Counts the settings of the installed copies, so a detection that ran meanwhile is dropped.
    int installedGeneration_ = 0;
    bool detecting_ = false;
    std::stop_source checkTask_;
    // Stops the running download, installation, inspection or restore: when the user cancels
    // it, and when the model goes.
    std::stop_source work_;
    bool cancelling_ = false;
    // The updates an update-all still has to run, and how the ones it ran ended.
    struct UpdateAllRun {
        std::vector<std::string> waiting;
        std::optional<std::string> current;
        std::vector<std::string> updated;
        // Product name and the reason it failed.
        std::vector<std::pair<std::string, std::string>> failed;
        bool cancelled = false;
    } updateAll_;
    // Notes how the current update ended, then starts the next waiting one; the summary when
    // none is left.
    void updateNextOfAll();
    // Notes how the current one of an update-all ended, once it ended.
    void noteUpdateOfAll();
    std::string cancelledStatus_;
    // The installation asked only for the current version, which another run may bring first.
    bool updateOnly_ = false;
    QTimer refreshTimer_;
    QTimer updateTimer_;
    // Work on other threads and prompts whose results the model still waits for.
    int waiting_ = 0;
    std::unique_ptr<CenterSelfUpdater> selfUpdater_;
    bool selfUpdateRunning_ = false;
};
