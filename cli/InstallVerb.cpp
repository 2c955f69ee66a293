#include "cli/InterruptStop.h"
#include "cli/Products.h"
#include "cli/Verbs.h"
#include "core/CancellationError.h"
#include "installer/Install.h"
#include "installer/PackageValidation.h"

#include <cstdlib>
#include <iostream>

namespace {

// The center's support folder: $XDG_DATA_HOME, or ~/.local/share, then "KESTRYN Center".
std::filesystem::path supportFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::filesystem::path(data) / "KESTRYN Center";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        throw UsageError("未设置 HOME，请用 --backups 指定备份文件夹。");
    }
    return std::filesystem::path(home) / ".local/share/KESTRYN Center";
}

} // namespace

int installVerb(const Arguments& arguments) {
    InterruptStop interrupt;
    std::filesystem::path package = arguments.positionals(1)[0];
    CenterProduct product = shippedProduct(arguments.required("--product"));
    std::filesystem::path applications =
        arguments.value("--applications").value_or(CenterInstaller::defaultApplicationsDirectory());
    std::optional<std::string> backups = arguments.value("--backups");

    std::filesystem::path backupFolder =
        backups ? std::filesystem::path(*backups) : supportFolder() / "Backups";

    InstallReceipt receipt;
    try {
        CenterRelease release = CenterInstaller::packagedRelease(
            package, product, CenterInstaller::systemOperations(), interrupt.token());
        receipt = CenterInstaller::install(package, product, release, applications, backupFolder,
                                           CenterInstaller::isRunning,
                                           CenterInstaller::systemOperations(), interrupt.token());
    } catch (const CancellationError&) {
        // Stopped before the installed software was touched, with every work folder removed.
        std::cerr << "安装已取消，软件未作任何改动。\n";
        return interruptedExitCode;
    }
    const InstalledApp& app = receipt.installedApp;
    std::cout << "已安装 " << product.name << ' ' << app.version << "（" << app.build << "）："
              << app.url.string() << '\n';
    if (receipt.backupURL) {
        std::cout << "完整原版备份位于：" << receipt.backupURL->string() << '\n';
    }
    return 0;
}
