#include "cli/Verbs.h"
#include "core/CenterError.h"
#include "core/Detection.h"

#include <iostream>
#include <nlohmann/json.hpp>

int appInfoVerb(const Arguments& arguments) {
    std::filesystem::path bundle = arguments.positionals(1)[0];
    std::optional<InstalledApp> app = CenterCore::readInstalledApp(bundle);
    if (!app) {
        throw CenterError::invalid("无法读取该应用的版本信息。");
    }
    nlohmann::json info = {
        {"bundleID", app->bundleID}, {"version", app->version}, {"build", app->build}};
    std::cout << info.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return 0;
}
