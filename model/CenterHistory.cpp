#include "model/CenterHistory.h"

#include "model/BackgroundWork.h"
#include "model/CenterRules.h"

#include <system_error>
#include <utility>

namespace fs = std::filesystem;

CenterHistory::CenterHistory(fs::path supportDirectory, QObject* parent)
    : QObject(parent), supportDirectory_(std::move(supportDirectory)) {}

CenterHistory::Snapshot CenterHistory::read(const fs::path& supportDirectory,
                                            const std::vector<CenterProduct>& products) {
    Snapshot snapshot;
    snapshot.backups = CenterInstaller::Backups::list(supportDirectory / "Backups", products);
    snapshot.diskUse = measure(supportDirectory);
    std::error_code error;
    auto hasFiles = [&error](const fs::path& folder) {
        return fs::is_directory(folder, error) && !fs::is_empty(folder, error);
    };
    snapshot.hasPackages =
        hasFiles(supportDirectory / "Downloads") || hasFiles(supportDirectory / "Imported");
    return snapshot;
}

CenterHistory::DiskUse CenterHistory::measure(const fs::path& supportDirectory) {
    return {CenterInstaller::Backups::folderBytes(supportDirectory / "Backups"),
            CenterInstaller::Backups::folderBytes(supportDirectory / "Downloads")};
}

std::string CenterHistory::diskUseLine(const DiskUse& use) {
    return "历史版本占用 " + CenterRules::byteText(use.backups) + "，下载的安装包占用 " +
           CenterRules::byteText(use.downloads) + "。";
}

void CenterHistory::reload(std::vector<CenterProduct> products, std::function<void()> done) {
    products_ = std::move(products);
    waiting_.push_back(std::move(done));
    if (reading_) {
        again_ = true;
        return;
    }
    readInBackground();
}

void CenterHistory::readInBackground() {
    reading_ = true;
    again_ = false;
    std::vector<std::function<void()>> served = std::exchange(waiting_, {});
    runInBackground(
        this,
        [support = supportDirectory_, products = products_] { return read(support, products); },
        [this, served = std::move(served)](const Outcome<Snapshot>& outcome) {
            reading_ = false;
            // A folder that cannot be read shows as empty until it can again.
            Snapshot next;
            if (const auto* snapshot = std::get_if<Snapshot>(&outcome)) {
                next = *snapshot;
            }
            if (next != snapshot_) {
                snapshot_ = std::move(next);
                emit changed();
            }
            if (again_) {
                readInBackground();
            }
            for (const std::function<void()>& done : served) {
                done();
            }
        });
}

const std::vector<CenterInstaller::Backups::Backup>&
CenterHistory::backupsOf(const std::string& product) const {
    static const std::vector<CenterInstaller::Backups::Backup> none;
    auto found = snapshot_.backups.find(product);
    return found != snapshot_.backups.end() ? found->second : none;
}
