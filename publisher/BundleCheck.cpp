#include "publisher/BundleCheck.h"

#include "core/CenterError.h"
#include "core/PropertyList.h"

#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

namespace CenterPublisher {
namespace {

namespace fs = std::filesystem;

// A plain file name; anything else would lead the center outside Contents/MacOS.
bool isPlainName(const std::optional<std::string>& name) {
    return name && !name->empty() && name->find('/') == std::string::npos &&
           name->find('\\') == std::string::npos && *name != "." && *name != "..";
}

} // namespace

void requireApplication(const fs::path& app) {
    std::error_code error;
    if (!fs::is_directory(app / "Contents", error)) {
        throw CenterError::invalid("找不到应用程序文件夹（应含有 Contents 文件夹）：" +
                                   app.string());
    }
    const std::optional<PropertyList> info = PropertyList::read(app / "Contents" / "Info.plist");
    if (!info || !info->isDictionary()) {
        throw CenterError::invalid("应用程序缺少可读取的 Contents/Info.plist：" + app.string());
    }
    const std::optional<std::string> executable = info->string("CFBundleExecutable");
    if (!isPlainName(executable)) {
        throw CenterError::invalid(
            "应用程序的 Info.plist 未写明有效的可执行文件名（CFBundleExecutable）：" +
            app.string());
    }
    const fs::path program = app / "Contents" / "MacOS" / *executable;
    if (!fs::is_regular_file(program, error) || ::access(program.c_str(), X_OK) != 0) {
        throw CenterError::invalid("应用程序缺少可执行文件：" + program.string());
    }
}

} // namespace CenterPublisher
