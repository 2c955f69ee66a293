#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/FileContents.h"
#include "core/Resources.h"
#include "installer/Install.h"
#include "installer/PackageValidation.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace {

constexpr std::size_t maximumCatalogBytes = 64 * 1024 * 1024;

// The center's support folder: $XDG_DATA_HOME, or ~/.local/share, then "KESTRYN Center".
std::filesystem::path supportFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::filesystem::path(data) / "KESTRYN Center";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        throw UsageError("HOME is not set; name the backup folder with --backups");
    }
    return std::filesystem::path(home) / ".local/share/KESTRYN Center";
}

CenterProduct shippedProduct(const std::string& id) {
    CenterCatalog catalog = CenterCore::decodeCatalog(CenterCore::readFileContents(
        CenterCore::resourcesDirectory() / "Catalog.json", maximumCatalogBytes));
    auto found = std::find_if(catalog.products.begin(), catalog.products.end(),
                              [&](const CenterProduct& product) { return product.id == id; });
    if (found == catalog.products.end()) {
        throw CenterError::install("此安装器仅用于已登记的 KESTRYN 独立软件。");
    }
    return *found;
}

} // namespace

int installVerb(const Arguments& arguments) {
    std::filesystem::path package = arguments.positionals(1)[0];
    CenterProduct product = shippedProduct(arguments.required("--product"));
    std::filesystem::path applications =
        arguments.value("--applications").value_or(CenterInstaller::defaultApplicationsDirectory());
    std::optional<std::string> backups = arguments.value("--backups");

    CenterRelease release = CenterInstaller::inspectLocalPackage(package, product);
    InstallReceipt receipt = CenterInstaller::install(package, product, release, applications,
                                                      backups ? std::filesystem::path(*backups)
                                                              : supportFolder() / "Backups");
    const InstalledApp& app = receipt.installedApp;
    std::cout << "已安装 " << product.name << ' ' << app.version << "（" << app.build << "）："
              << app.url.string() << '\n';
    if (receipt.backupURL) {
        std::cout << "完整原版备份位于：" << receipt.backupURL->string() << '\n';
    }
    return 0;
}
