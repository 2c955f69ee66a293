#include "model/CenterModel.h"

#include "core/CatalogJSON.h"
#include "core/Detection.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/PropertyList.h"
#include "core/Resources.h"
#include "core/Versions.h"
#include "installer/Recovery.h"
#include "model/BackgroundWork.h"
#include "model/CenterHistory.h"
#include "model/CenterIntegrity.h"
#include "model/CenterLocations.h"
#include "model/CenterPreferences.h"
#include "model/CenterUIError.h"
#include "model/LocalLists.h"
#include "portal/PortalLinks.h"
#include "selfupdate/AppcastUpdater.h"
#include "selfupdate/CenterSelfUpdater.h"
#include "transport/CenterUpdateService.h"

#include <QVariantMap>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t maximumCatalogBytes = 64 * 1024 * 1024;
constexpr std::size_t maximumInfoBytes = 16 * 1024 * 1024;
constexpr int refreshMilliseconds = 15 * 1000;
constexpr int updateCheckMilliseconds = 21600 * 1000;

bool fileExists(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The center's own Info.plist; nothing when it cannot be read.
std::optional<PropertyList> ownInformation(const fs::path& resources) {
    try {
        return PropertyList::parse(
            CenterCore::readFileContents(resources / "Info.plist", maximumInfoBytes));
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
}

QVariantMap productForViews(const CenterProduct& product) {
    QVariantMap map;
    map["id"] = QString::fromStdString(product.id);
    map["name"] = QString::fromStdString(product.name);
    map["kind"] = QString::fromStdString(product.kind);
    map["summary"] = QString::fromStdString(product.summary);
    map["detail"] = QString::fromStdString(product.detail);
    QStringList features;
    for (const std::string& feature : product.features) {
        features << QString::fromStdString(feature);
    }
    map["features"] = features;
    if (product.release) {
        map["releaseVersion"] = QString::fromStdString(product.release->version);
        map["releaseBuild"] = QString::fromStdString(product.release->build);
    }
    return map;
}

} // namespace

CenterModelSetup CenterModelSetup::standard(CenterPlatform::Workspace& workspace,
                                            CenterPlatform::CenterPrompts& prompts) {
    CenterModelSetup setup;
    setup.resources = CenterCore::resourcesDirectory();
    setup.supportDirectory = CenterLocations::supportDirectory();
    setup.settingsFile = CenterLocations::settingsFile();
    setup.applicationDirectories = CenterCore::applicationDirectories();
    setup.workspace = &workspace;
    setup.prompts = &prompts;
    return setup;
}

CenterModel::CenterModel(CenterModelSetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)),
      history_(new CenterHistory(setup_.supportDirectory, this)),
      integrity_(new CenterIntegrity(this)),
      service_(std::make_unique<CenterUpdateService>(setup_.timeouts)) {
    readSettings();
    createSelfUpdater();
    followPreferences();
    connect(this, &CenterModel::productsChanged, this, &CenterModel::updatesChanged);
    connect(this, &CenterModel::installedChanged, this, &CenterModel::updatesChanged);
    connect(this, &CenterModel::isCheckingChanged, this, &CenterModel::workChanged);
    connect(this, &CenterModel::busyProductChanged, this, &CenterModel::workChanged);
    connect(history_, &CenterHistory::changed, this, &CenterModel::historyChanged);
    connect(this, &CenterModel::updatesChanged, this, &CenterModel::workChanged);
    connect(this, &CenterModel::busyProductChanged, this, [this] {
        // The finished one stays current until the next step, so no one sees the model idle
        // before the summary.
        if (!busyProduct_ && updateAll_.current) {
            // After the finished one's own steps, as a user pressing the next button would.
            QMetaObject::invokeMethod(this, &CenterModel::updateNextOfAll, Qt::QueuedConnection);
        }
    });

    loadCatalogSources();
    finishInterruptedWork();
    detectInstalledNow();
    reloadHistory();
    selfUpdater_->configure(QString::fromStdString(preferences_->centerFeedURL()));
    startTimers();
    if (preferences_->autoCheck() && !preferences_->feedURL().empty()) {
        checkUpdates();
    }
}

void CenterModel::readSettings() {
    std::optional<PropertyList> info = ownInformation(setup_.resources);
    auto infoText = [&](const char* key) {
        return info ? info->string(key) : std::optional<std::string>();
    };
    version_ = infoText("CFBundleShortVersionString").value_or("0.1.4");
    ownBundleID_ = infoText("CFBundleIdentifier").value_or("");
    preferences_ = new CenterPreferences(
        setup_.settingsFile,
        {infoText("KESProductCatalogURL").value_or(""), infoText("SUFeedURL").value_or("")}, this);
    if (preferences_->problem()) {
        error_ = preferences_->problem();
    }
}

void CenterModel::createSelfUpdater() {
    const fs::path infoFile = setup_.resources / "Info.plist";
    selfUpdater_ = std::make_unique<CenterSelfUpdater>(
        *setup_.prompts,
        AppcastUpdater::factory(*setup_.prompts, *setup_.workspace, infoFile,
                                setup_.supportDirectory / "Downloads", setup_.timeouts),
        infoFile);
    connect(selfUpdater_.get(), &CenterSelfUpdater::checkFinished, this,
            [this](bool, const QString& sentence) {
                setStatus(sentence.toStdString());
                selfUpdateRunning_ = false;
                announceIfIdle();
            });
}

void CenterModel::finishInterruptedWork() {
    // An installation cut short by a crash is finished or undone before anything is detected.
    for (const fs::path& folder : setup_.applicationDirectories) {
        CenterInstaller::recoverInterruptedInstallations(folder);
    }
    // So are the partial backup copies of a killed run, whatever this run goes on to do.
    CenterInstaller::Backups::sweepWork(setup_.supportDirectory / "Backups");
}

void CenterModel::startTimers() {
    if (setup_.activation != nullptr) {
        connect(setup_.activation, &CenterActivation::activated, this,
                &CenterModel::refreshInstalled);
    }
    // Owned timers stop with the model, so no tick ever reaches a model that is gone.
    refreshTimer_.setInterval(refreshMilliseconds);
    connect(&refreshTimer_, &QTimer::timeout, this, &CenterModel::refreshInstalled);
    refreshTimer_.start();
    updateTimer_.setInterval(updateCheckMilliseconds);
    connect(&updateTimer_, &QTimer::timeout, this, [this] {
        if (!preferences_->feedURL().empty()) {
            checkUpdates();
        }
    });
    // The automatic checks run while the user wants them.
    auto followAutoCheck = [this] {
        if (preferences_->autoCheck()) {
            updateTimer_.start();
        } else {
            updateTimer_.stop();
        }
    };
    connect(preferences_, &CenterPreferences::autoCheckChanged, this, followAutoCheck);
    followAutoCheck();
}

CenterModel::~CenterModel() {
    checkTask_.request_stop();
    work_.request_stop();
}

void CenterModel::loadCatalogSources() {
    try {
        fs::path catalogFile = setup_.resources / "Catalog.json";
        if (!fileExists(catalogFile)) {
            throw CenterUIError::message("软件目录缺失，请重新安装软件中心。");
        }
        CenterCatalog catalog = CenterCore::decodeCatalog(
            CenterCore::readFileContents(catalogFile, maximumCatalogBytes));
        knownProducts_ = catalog.products;
        setProducts(catalog.products);
        CenterCore::createDirectories(setup_.supportDirectory);
        localPackages_ = LocalLists::readPackages(setup_.supportDirectory);
        localReleases_ = LocalLists::readReleases(setup_.supportDirectory);
        setProducts(mergedCatalog(knownProducts_));
    } catch (...) {
        setError(CenterCore::describeError(std::current_exception()));
    }
}

std::vector<CenterProduct>
CenterModel::mergedCatalog(const std::vector<CenterProduct>& given) const {
    return CenterRules::mergedCatalog(given, knownProducts_, localPackages_, localReleases_,
                                      fileExists);
}

void CenterModel::refreshInstalled() {
    // One detection at a time: the timer, the window's return and a check may ask together.
    if (detecting_) {
        return;
    }
    detecting_ = true;
    setWaiting(+1);
    runInBackground(
        this,
        [products = products_, folders = setup_.applicationDirectories] {
            return CenterCore::detectAllInstalled(products, folders);
        },
        [this, generation = installedGeneration_](
            const Outcome<std::map<std::string, InstalledApp>>& outcome) {
            detecting_ = false;
            const auto* found = std::get_if<std::map<std::string, InstalledApp>>(&outcome);
            // An installation or restore set the copies it made meanwhile: they are newer.
            if (found != nullptr && generation == installedGeneration_) {
                setInstalled(*found);
            }
            setWaiting(-1);
        });
}

void CenterModel::detectInstalledNow() {
    setInstalled(CenterCore::detectAllInstalled(products_, setup_.applicationDirectories));
    if (status_ == "正在读取本机软件") {
        setStatus("已检测到 " + std::to_string(installed_.size()) + " 款软件");
    }
}

void CenterModel::showDetails(const CenterProduct& product, CenterDetailSection section) {
    setDetailSection(section);
    setSelected(product);
}

std::optional<InstalledApp> CenterModel::installedCopy(const CenterProduct& product) const {
    auto found = installed_.find(product.id);
    return found != installed_.end() ? std::optional<InstalledApp>(found->second) : std::nullopt;
}

std::vector<CenterProduct> CenterModel::updates() const {
    std::vector<CenterProduct> found;
    for (const CenterProduct& product : products_) {
        std::optional<InstalledApp> copy = installedCopy(product);
        if (copy && CenterCore::availableUpdate(product, copy)) {
            found.push_back(product);
        }
    }
    return found;
}

bool CenterModel::isIdle() const {
    return !isChecking_ && !busy() && waiting_ == 0 && !selfUpdateRunning_ &&
           updateAll_.waiting.empty() && !updateAll_.current;
}

void CenterModel::setWaiting(int change) {
    waiting_ += change;
    announceIfIdle();
}

void CenterModel::announceIfIdle() {
    // Checked again once the current step is over: a flow often ends one piece of work and
    // starts the next in the same step.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isIdle()) {
                emit settled();
            }
        },
        Qt::QueuedConnection);
}

// Published state: every setter announces its change.

void CenterModel::setProducts(std::vector<CenterProduct> products) {
    if (products_ != products) {
        products_ = std::move(products);
        emit productsChanged();
    }
}

void CenterModel::setInstalled(std::map<std::string, InstalledApp> installed) {
    ++installedGeneration_;
    QStringList changed;
    for (const CenterProduct& product : products_) {
        auto before = installed_.find(product.id);
        auto after = installed.find(product.id);
        const bool had = before != installed_.end();
        const bool has = after != installed.end();
        if (had != has || (had && has && !(before->second == after->second))) {
            changed << QString::fromStdString(product.id);
        }
    }
    installed_ = std::move(installed);
    if (!changed.isEmpty()) {
        emit installedChanged();
        emit productsUpdated(changed);
    }
}

void CenterModel::setPage(CenterPage page) {
    if (page_ != page) {
        page_ = page;
        emit pageChanged();
    }
}

void CenterModel::setSelected(std::optional<CenterProduct> product) {
    if (selected_ != product) {
        selected_ = std::move(product);
        emit selectedChanged();
    }
}

void CenterModel::setDetailSection(CenterDetailSection section) {
    if (detailSection_ != section) {
        detailSection_ = section;
        emit detailSectionChanged();
    }
}

void CenterModel::setIsChecking(bool checking) {
    if (isChecking_ != checking) {
        isChecking_ = checking;
        emit isCheckingChanged();
        announceIfIdle();
    }
}

void CenterModel::setStatus(std::string text) {
    if (status_ != text) {
        status_ = std::move(text);
        emit statusChanged();
    }
}

void CenterModel::setError(std::optional<std::string> error) {
    error_ = std::move(error);
    emit errorChanged();
}

void CenterModel::setBusyProduct(std::optional<std::string> product) {
    if (!product) {
        // A cancel pressed after the work's last safe point is over with the work.
        cancelling_ = false;
    }
    if (busyProduct_ != product) {
        busyProduct_ = std::move(product);
        emit busyProductChanged();
    }
    announceIfIdle();
}

void CenterModel::setProgress(double fraction) {
    if (progress_ != fraction) {
        progress_ = fraction;
        emit progressChanged();
    }
}

void CenterModel::setLastChecked(QDateTime when) {
    if (lastChecked_ != when) {
        lastChecked_ = std::move(when);
        emit lastCheckedChanged();
    }
}

void CenterModel::setSourceLabel(std::string text) {
    if (sourceLabel_ != text) {
        sourceLabel_ = std::move(text);
        emit sourceLabelChanged();
    }
}

QVariantList CenterModel::productsForViews() const {
    QVariantList list;
    for (const CenterProduct& product : products_) {
        list << productForViews(product);
    }
    return list;
}

QVariantList CenterModel::updatesForViews() const {
    QVariantList list;
    for (const CenterProduct& product : updates()) {
        list << productForViews(product);
    }
    return list;
}

QString CenterModel::errorText() const {
    return error_ ? QString::fromStdString(*error_) : QString();
}

void CenterModel::setErrorText(const QString& text) {
    setError(text.isEmpty() ? std::nullopt : std::optional<std::string>(text.toStdString()));
}
