#include "cli/Verbs.h"
#include "core/CenterError.h"
#include "core/Detection.h"
#include "core/FileOperationError.h"

#include <iostream>
#include <nlohmann/json.hpp>

int appInfoVerb(const Arguments& arguments) {
    const std::filesystem::path bundle = arguments.positionals(1)[0];
    std::error_code unreadable;
    const std::filesystem::file_status status = std::filesystem::status(bundle, unreadable);
    if (!std::filesystem::exists(status)) {
        throw CenterCore::FileOperationError(
            CenterCore::FileOperation::Open, bundle,
            unreadable ? unreadable : std::make_error_code(std::errc::no_such_file_or_directory));
    }
    if (!std::filesystem::is_directory(status)) {
        throw CenterError::invalid("“" + bundle.string() + "”不是应用程序文件夹。");
    }
    std::optional<InstalledApp> app = CenterCore::readInstalledApp(bundle);
    if (!app) {
        throw CenterError::invalid(
            "无法读取“" + bundle.string() +
            "”的版本信息：Contents/Info.plist 缺少、无法读取或没有软件标识和版本。");
    }
    nlohmann::json info = {
        {"bundleID", app->bundleID}, {"version", app->version}, {"build", app->build}};
    std::cout << info.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return 0;
}
