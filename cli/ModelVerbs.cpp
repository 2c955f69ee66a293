// The verbs that drive the center model: the same operations the window offers.
#include "cli/ModelSession.h"
#include "cli/Products.h"
#include "cli/Verbs.h"
#include "model/CenterPreferences.h"
#include "selfupdate/CenterSelfUpdater.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

// The product of the shown list with this id; bad usage when there is none.
const CenterProduct& productNamed(const CenterModel& model, const std::string& id) {
    for (const CenterProduct& product : model.products()) {
        if (product.id == id) {
            return product;
        }
    }
    throw notAProduct(id);
}

std::string versionText(const std::string& version, const std::string& build) {
    return version + "（" + build + "）";
}

void printProducts(const CenterModel& model) {
    std::cout << "软件\t已安装版本\t目录中的版本\t操作\n";
    for (const CenterProduct& product : model.products()) {
        std::optional<InstalledApp> copy = model.installedCopy(product);
        std::cout << product.name << '\t'
                  << (copy ? versionText(copy->version, copy->build) : "未安装") << '\t'
                  << (product.release
                          ? versionText(product.release->version, product.release->build)
                          : "—")
                  << '\t' << model.actionTitle(product) << '\n';
    }
    std::cout << model.sourceLabel() << '\n';
}

void printJSON(const CenterModel& model) {
    nlohmann::json products = nlohmann::json::array();
    for (const CenterProduct& product : model.products()) {
        std::optional<InstalledApp> copy = model.installedCopy(product);
        nlohmann::json row = {{"id", product.id},
                              {"name", product.name},
                              {"action", model.actionTitle(product)},
                              {"detail", model.detailStatus(product)}};
        row["installed"] = copy ? nlohmann::json{{"version", copy->version},
                                                 {"build", copy->build},
                                                 {"path", copy->url.string()}}
                                : nlohmann::json(nullptr);
        row["release"] = product.release ? nlohmann::json{{"version", product.release->version},
                                                          {"build", product.release->build}}
                                         : nlohmann::json(nullptr);
        products.push_back(std::move(row));
    }
    nlohmann::json document = {
        {"status", model.status()},
        {"sourceLabel", model.sourceLabel()},
        {"error", model.error() ? nlohmann::json(*model.error()) : nlohmann::json(nullptr)},
        {"lastChecked",
         model.lastChecked().isValid()
             ? nlohmann::json(model.lastChecked().toUTC().toString(Qt::ISODate).toStdString())
             : nlohmann::json(nullptr)},
        {"products", std::move(products)}};
    std::cout << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

} // namespace

int checkVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    const bool json = arguments.flag("--json");
    return runModelVerb({.operation =
                             [](CenterModel& model) {
                                 // A check the start-up began already counts as this one.
                                 if (!model.lastChecked().isValid()) {
                                     model.checkUpdates();
                                 }
                             },
                         .report = json ? printJSON : printProducts,
                         .printStatus = !json});
}

int updateVerb(const Arguments& arguments) {
    const std::optional<std::string> named = arguments.optionalPositional();
    const bool all = arguments.flag("--all");
    if (all == named.has_value()) {
        throw UsageError(all ? "--all 不能与产品一同给出。" : "需要给出一个产品，或者加上 --all。");
    }
    if (all) {
        auto updatedAll = std::make_shared<bool>(false);
        return runModelVerb(
            {.operation = [](CenterModel& model) { model.updateAll(); },
             .report = [updatedAll](const CenterModel& model) { *updatedAll = model.updatedAll(); },
             .progressBar = true,
             .narrates = true,
             .succeeded = [updatedAll] { return *updatedAll; }});
    }
    // An unknown product is refused before the model starts: a typo never reaches the network.
    const std::string id = shippedProduct(*named).id;
    const bool wholePackage = arguments.flag("--full");
    return runModelVerb({.operation =
                             [id, wholePackage](CenterModel& model) {
                                 model.installOrUpdate(productNamed(model, id), wholePackage);
                             },
                         .progressBar = true,
                         .narrates = true});
}

int openVerb(const Arguments& arguments) {
    const std::string id = shippedProduct(arguments.positionals(1)[0]).id;
    return runModelVerb(
        {.operation = [id](CenterModel& model) { model.openProduct(productNamed(model, id)); }});
}

int importVerb(const Arguments& arguments) {
    const std::filesystem::path file = arguments.positionals(1)[0];
    const std::string choice = "KESTRYN " + shippedProduct(arguments.required("--product")).name;
    return runModelVerb(
        {.operation = [](CenterModel& model) { model.importInstaller(); },
         .answers = {std::filesystem::absolute(file), choice, arguments.flag("--yes")},
         .progressBar = true,
         .confirms = true});
}

int exportVerb(const Arguments& arguments) {
    const std::filesystem::path file = std::filesystem::absolute(arguments.positionals(1)[0]);
    return runModelVerb({.operation = [](CenterModel& model) { model.exportDiagnostics(); },
                         .report =
                             [file](const CenterModel& model) {
                                 if (!model.error()) {
                                     std::cout << "已将版本列表写入“" << file.string() << "”。\n";
                                 }
                             },
                         .answers = {file, std::nullopt, false}});
}

int settingsVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    std::optional<std::string> catalog = arguments.value("--catalog-url");
    std::optional<std::string> centerFeed = arguments.value("--center-feed");
    std::optional<std::string> autoCheck = arguments.value("--auto-check");
    if (autoCheck && *autoCheck != "on" && *autoCheck != "off") {
        throw UsageError("--auto-check 只能是 on 或 off。");
    }
    return runModelVerb({.operation =
                             [catalog, centerFeed, autoCheck](CenterModel& model) {
                                 CenterPreferences& preferences = *model.preferences();
                                 if (autoCheck) {
                                     preferences.setAutoCheck(*autoCheck == "on");
                                 }
                                 if (centerFeed) {
                                     preferences.setCenterFeedURL(*centerFeed);
                                     preferences.saveCenterFeedURL();
                                 }
                                 if (catalog) {
                                     preferences.setFeedURL(*catalog);
                                     preferences.saveFeedURL();
                                 }
                             },
                         .report =
                             [](const CenterModel& model) {
                                 const CenterPreferences& preferences = *model.preferences();
                                 std::cout
                                     << "catalogFeedURL\t" << preferences.feedURL() << '\n'
                                     << "centerFeedURL\t" << preferences.centerFeedURL() << '\n'
                                     << "autoCheck\t" << (preferences.autoCheck() ? "on" : "off")
                                     << '\n';
                             }});
}

int selfUpdateVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    auto succeeded = std::make_shared<bool>(true);
    return runModelVerb({.operation =
                             [succeeded](CenterModel& model) {
                                 QObject::connect(&model.selfUpdater(),
                                                  &CenterSelfUpdater::checkFinished, &model,
                                                  [succeeded](bool ok) { *succeeded = ok; });
                                 model.checkCenterUpdate();
                             },
                         .answers = {std::nullopt, std::nullopt, arguments.flag("--yes")},
                         .confirms = true,
                         .succeeded = [succeeded] { return *succeeded; }});
}
