#include "cli/CatalogFile.h"
#include "cli/Verbs.h"
#include "core/Detection.h"
#include "core/Resources.h"
#include "core/Versions.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace {

std::string installedText(const std::optional<InstalledApp>& app) {
    return app ? app->version + "（" + app->build + "）" : "未安装";
}

std::string updateText(const CenterProduct& product, const std::optional<InstalledApp>& app) {
    if (!CenterCore::availableUpdate(product, app)) {
        return "—";
    }
    const CenterRelease& release = *product.release;
    return std::string(app ? "可更新到 " : "可安装 ") + release.version + "（" + release.build +
           "）";
}

// The line under the table that names the folders the installed copies were looked for in,
// marking those that are not there, so an empty table is not mistaken for nothing installed.
std::string searchedText(const std::vector<std::filesystem::path>& folders) {
    std::string text = "已查找的应用程序文件夹：";
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::error_code unreadable;
        text += (i == 0 ? "" : "、") + folders[i].string();
        if (!std::filesystem::is_directory(folders[i], unreadable)) {
            text +=
                std::filesystem::exists(folders[i], unreadable) ? "（不是文件夹）" : "（不存在）";
        }
    }
    return text + "。";
}

} // namespace

int statusVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    std::vector<std::filesystem::path> folders;
    for (const std::string& folder : arguments.values("--applications")) {
        folders.emplace_back(folder);
    }
    if (folders.empty()) {
        folders = CenterCore::applicationDirectories();
    }
    CenterCatalog catalog = readCatalogFile(CenterCore::resourcesDirectory() / "Catalog.json");

    nlohmann::json rows = nlohmann::json::array();
    if (!arguments.flag("--json")) {
        std::cout << "软件\t已安装版本\t可用更新\n";
    }
    for (const CenterProduct& product : catalog.products) {
        std::optional<InstalledApp> app = CenterCore::detectInstalled(product, folders);
        bool update = CenterCore::availableUpdate(product, app);
        if (!arguments.flag("--json")) {
            std::cout << product.name << '\t' << installedText(app) << '\t'
                      << updateText(product, app) << '\n';
            continue;
        }
        nlohmann::json row = {{"id", product.id}, {"name", product.name}, {"update", update}};
        row["installed"] = app ? nlohmann::json{{"version", app->version},
                                                {"build", app->build},
                                                {"path", app->url.string()}}
                               : nlohmann::json(nullptr);
        if (product.release) {
            row["release"] = {{"version", product.release->version},
                              {"build", product.release->build}};
        }
        rows.push_back(std::move(row));
    }
    // The JSON form stays the array of rows that readers of it expect.
    if (arguments.flag("--json")) {
        std::cout << rows.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        std::cout << searchedText(folders) << '\n'
                  << "可用更新只取自随软件中心附带的发布清单；要从网上检查更新，请运行 kestryn "
                     "check。\n";
    }
    return 0;
}
