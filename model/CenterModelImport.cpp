// Importing a package the user already has, the exported version list and the usage guide.
#include "core/AtomicFile.h"
#include "core/Digest.h"
#include "core/ErrorText.h"
#include "core/FileContents.h"
#include "core/FileSystem.h"
#include "core/Registry.h"
#include "core/Uuid.h"
#include "installer/PackageValidation.h"
#include "installer/PackagedApp.h"
#include "model/BackgroundWork.h"
#include "model/CenterModel.h"
#include "model/LocalLists.h"
#include "portal/PortalLinks.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>

namespace {

namespace fs = std::filesystem;

// "2026-12-07 08:30:00 +0000": the moment in UTC, as the exported list states it.
std::string exportDate() {
    return QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd HH:mm:ss +0000").toStdString();
}

// The entry of the product whose registered identifier the ZIP's application carries, so the
// likely answer is the one preselected; the first entry for anything else.
std::size_t packagedProductIndex(const fs::path& file, const std::vector<CenterProduct>& choices) {
    if (CenterRules::packageExtension(file) != "zip") {
        return 0;
    }
    std::optional<InstalledApp> app = CenterInstaller::readPackagedApp(file);
    for (std::size_t index = 0; app && index < choices.size(); ++index) {
        auto registered = CenterCore::productBundleIDs().find(choices[index].id);
        if (registered != CenterCore::productBundleIDs().end() &&
            registered->second == app->bundleID) {
            return index;
        }
    }
    return 0;
}

} // namespace

void CenterModel::importInstaller() {
    if (busy()) {
        return;
    }
    setWaiting(+1);
    setup_.prompts->chooseFile(
        {"导入 KESTRYN 安装包",
         "支持 ZIP、DMG 和 PKG，原有软件正在运行时不会被替换。",
         {"zip", "dmg", "pkg"}},
        [this](std::optional<fs::path> file) {
            if (!file) {
                setWaiting(-1);
                return;
            }
            std::vector<CenterProduct> choices;
            for (const CenterProduct& product : products_) {
                if (!CenterCore::previewOnlyProductIDs().contains(product.id)) {
                    choices.push_back(product);
                }
            }
            std::vector<std::string> names;
            for (const CenterProduct& product : choices) {
                names.push_back("KESTRYN " + product.name);
            }
            setup_.prompts->choose({"选择安装包对应的软件",
                                    file->filename().string(),
                                    names,
                                    {"导入", "取消"},
                                    packagedProductIndex(*file, choices)},
                                   [this, file = *file, choices](std::optional<std::size_t> index) {
                                       if (index && *index < choices.size()) {
                                           importPackage(file, choices[*index]);
                                       }
                                       setWaiting(-1);
                                   });
        });
}

void CenterModel::importPackage(const fs::path& file, const CenterProduct& product) {
    const std::string extension = CenterRules::packageExtension(file);
    fs::path copy;
    try {
        fs::path imported = setup_.supportDirectory / "Imported";
        CenterCore::createDirectories(imported);
        copy = imported / (product.id + "-" + CenterCore::newUUID() + "." + extension);
        CenterCore::copyRegularFile(file, copy);
    } catch (...) {
        setError(CenterCore::describeError(std::current_exception()));
        return;
    }
    setStatus("已导入" + product.name + "安装包");
    setSelected(std::nullopt);

    if (extension == "zip" && !CenterCore::plugInProduct(product)) {
        setBusyProduct(product.id);
        setStatus("正在读取安装包版本");
        runInBackground(
            this,
            [copy, product, stop = stoppableWork("已取消读取安装包，安装包未导入。")] {
                CenterRelease release = CenterInstaller::inspectLocalPackage(
                    copy, product, CenterInstaller::systemOperations(), stop);
                // What a repair or a differential update later proves the copy against.
                CenterRules::PackageProof proof{
                    static_cast<std::int64_t>(CenterCore::fileSize(copy)),
                    CenterCore::sha256(copy)};
                return std::pair(std::move(release), std::move(proof));
            },
            [this, product,
             copy](const Outcome<std::pair<CenterRelease, CenterRules::PackageProof>>& outcome) {
                try {
                    if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
                        std::rethrow_exception(*failure);
                    }
                    const auto& [release, proof] =
                        std::get<std::pair<CenterRelease, CenterRules::PackageProof>>(outcome);
                    localPackages_[product.id] = {copy.string(), proof};
                    localReleases_[product.id] = release;
                    LocalLists::writePackages(setup_.supportDirectory, localPackages_);
                    LocalLists::writeReleases(setup_.supportDirectory, localReleases_);
                    setProducts(mergedCatalog(products_));
                    setBusyProduct(std::nullopt);
                    confirmImport(product, release, copy);
                } catch (...) {
                    if (!endedByCancel()) {
                        setError(CenterCore::describeError(std::current_exception()));
                        setStatus("安装包未通过检查");
                    }
                    setBusyProduct(std::nullopt);
                }
            });
        return;
    }

    localPackages_[product.id] = {copy.string(), std::nullopt};
    try {
        LocalLists::writePackages(setup_.supportDirectory, localPackages_);
    } catch (...) {
        setError(CenterCore::describeError(std::current_exception()));
        return;
    }
    std::optional<CenterRelease> release = product.release;
    if (release) {
        release->artifact.reset();
    }
    startInstallation(product, release, copy);
}

void CenterModel::confirmImport(const CenterProduct& product, const CenterRelease& release,
                                const fs::path& copy) {
    std::string details = "安装包已通过标识与签名完整性检查。";
    if (std::optional<InstalledApp> installed = installedCopy(product)) {
        details += "\n本机版本：" + installed->version + "（" + installed->build + "）";
    }
    details += "\n安装包版本：" + release.version + "（" + release.build +
               "）\n更新会保留个人数据和旧版备份。";
    setWaiting(+1);
    setup_.prompts->ask(
        {"安装 KESTRYN " + product.name + " " + release.version + "？", details, {"安装", "取消"}},
        [this, product, release, copy](std::size_t button) {
            if (button == 0) {
                startInstallation(product, release, copy);
            } else {
                // The reading is over; the package stays recorded for a later installation.
                setStatus("已导入" + product.name + "安装包，尚未安装。");
            }
            setWaiting(-1);
        });
}

void CenterModel::exportDiagnostics() {
    setWaiting(+1);
    setup_.prompts->chooseSaveLocation({"KESTRYN_软件版本.txt", "txt"},
                                       [this](std::optional<fs::path> file) {
                                           if (file) {
                                               exportTo(*file);
                                           }
                                           setWaiting(-1);
                                       });
}

void CenterModel::exportTo(const fs::path& file) {
    try {
        AtomicFile::write(file, CenterRules::versionList(version_, exportDate(), sourceLabel_,
                                                         products_, installed_));
        setStatus("版本清单已导出");
    } catch (...) {
        setError(CenterCore::describeError(std::current_exception()));
    }
}

void CenterModel::openHelp() {
    const fs::path guide = setup_.resources / "使用与更新说明.html";
    std::error_code error;
    if (fs::is_regular_file(guide, error)) {
        static_cast<void>(setup_.workspace->openFile(guide));
    }
}

void CenterModel::openWebsite() {
    static_cast<void>(setup_.workspace->openURL(PortalLinks::baseURL()));
}

void CenterModel::openSupport() {
    static_cast<void>(setup_.workspace->openURL(PortalLinks::supportURL()));
}
