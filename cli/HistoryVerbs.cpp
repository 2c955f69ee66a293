// The verbs of the version history: the backups, restoring one, and their retention.
#include "cli/CatalogFile.h"
#include "cli/ModelSession.h"
#include "cli/Products.h"
#include "cli/Verbs.h"
#include "core/Resources.h"
#include "model/CenterCleaning.h"
#include "model/CenterHistory.h"
#include "model/CenterPreferences.h"
#include "model/CenterRules.h"

#include <QDateTime>
#include <charconv>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using CenterInstaller::Backups::Backup;

// The shipped products, or only the one named; bad usage for a name that is none of them.
std::vector<std::string> productIDs(const std::optional<std::string>& named) {
    if (named) {
        return {shippedProduct(*named).id};
    }
    std::vector<std::string> ids;
    for (const CenterProduct& product :
         readCatalogFile(CenterCore::resourcesDirectory() / "Catalog.json").products) {
        ids.push_back(product.id);
    }
    return ids;
}

const CenterProduct* shown(const CenterModel& model, const std::string& id) {
    for (const CenterProduct& product : model.products()) {
        if (product.id == id) {
            return &product;
        }
    }
    return nullptr;
}

// "2026-12-07 08:30"; UTC with --json.
std::string dateText(const Backup& backup, bool utc) {
    QDateTime date = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(backup.date.time_since_epoch())
            .count());
    return (utc ? date.toUTC().toString(Qt::ISODate) : date.toString("yyyy-MM-dd HH:mm"))
        .toStdString();
}

void printBackups(const CenterModel& model, const std::vector<std::string>& ids, bool json) {
    nlohmann::json rows = nlohmann::json::array();
    if (!json) {
        std::cout << "软件\t版本\t日期\t大小\t位置\n";
    }
    for (const std::string& id : ids) {
        const CenterProduct* product = shown(model, id);
        if (product == nullptr) {
            continue;
        }
        for (const Backup& backup : model.backupsOf(*product)) {
            if (json) {
                rows.push_back({{"product", backup.product},
                                {"path", backup.path.string()},
                                {"version", backup.version},
                                {"build", backup.build},
                                {"date", dateText(backup, true)},
                                {"bytes", backup.bytes}});
            } else {
                std::cout << product->name << '\t' << backup.version << "（" << backup.build
                          << "）\t" << dateText(backup, false) << '\t'
                          << CenterRules::byteText(backup.bytes) << '\t' << backup.path.string()
                          << '\n';
            }
        }
    }
    if (json) {
        std::cout << rows.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    std::cout << CenterHistory::diskUseLine(CenterHistory::measure(model.supportDirectory()))
              << '\n';
}

int keepCount(const std::string& text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1) {
        throw UsageError("--keep 必须是不小于 1 的整数。");
    }
    return value;
}

} // namespace

int backupsVerb(const Arguments& arguments) {
    const std::vector<std::string> ids = productIDs(arguments.optionalPositional());
    const bool json = arguments.flag("--json");
    return runModelVerb(
        {.operation = [](CenterModel&) {},
         .report = [ids, json](const CenterModel& model) { printBackups(model, ids, json); },
         .printStatus = !json});
}

int restoreVerb(const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positionals(2);
    const std::string id = productIDs(words[0]).front();
    const fs::path backup = fs::absolute(words[1]);
    return runModelVerb({.operation =
                             [id, backup](CenterModel& model) {
                                 if (const CenterProduct* product = shown(model, id)) {
                                     model.restoreBackup(*product, backup);
                                 }
                             },
                         .answers = {std::nullopt, std::nullopt, arguments.flag("--yes")},
                         .confirms = true});
}

int removeVerb(const Arguments& arguments) {
    const std::string id = productIDs(arguments.positionals(1)[0]).front();
    return runModelVerb({.operation =
                             [id](CenterModel& model) {
                                 if (const CenterProduct* product = shown(model, id)) {
                                     model.removeProduct(*product);
                                 }
                             },
                         .answers = {std::nullopt, std::nullopt, arguments.flag("--yes")},
                         .confirms = true});
}

int pruneVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    const int keep = keepCount(arguments.required("--keep"));
    auto removed = std::make_shared<CenterModel::Cleaning>();
    return runModelVerb(
        {.operation =
             [keep, removed](CenterModel& model) {
                 model.preferences()->setKeepBackups(keep);
                 model.pruneBackups(
                     [removed](const CenterModel::Cleaning& cleaning) { *removed = cleaning; });
             },
         .report =
             [removed](const CenterModel&) {
                 for (const Backup& backup : removed->backups) {
                     std::cout << "已删除\t" << backup.product << '\t' << backup.version << "（"
                               << backup.build << "）\t" << CenterRules::byteText(backup.bytes)
                               << '\t' << backup.path.string() << '\n';
                 }
                 for (const auto& package : removed->packages) {
                     std::cout << "已删除\t安装包\t" << CenterRules::byteText(package.bytes) << '\t'
                               << package.file.string() << '\n';
                 }
             }});
}
