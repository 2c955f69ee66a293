#include "installer/PackageValidation.h"

#include "core/CenterError.h"
#include "core/Detection.h"
#include "core/FileContents.h"
#include "core/FileOperationError.h"
#include "core/PropertyList.h"
#include "core/Registry.h"
#include "core/Versions.h"
#include "installer/PackagedApp.h"
#include "installer/WorkFolder.h"
#include "installer/ZipCentralDirectory.h"

#include <optional>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace CenterInstaller {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t maximumInfoPlistBytes = 16 * 1024 * 1024;
const char* const missingApplication = "安装包缺少有效的应用程序。";
const char* const unmetRequirement = "当前 macOS 版本不满足此软件的要求。";
// Where a package is unpacked to read the release it holds.
const char* const inspectionPrefix = "kestryn-inspect-";

bool isValidExecutableName(const std::optional<std::string>& name) {
    return name && !name->empty() && name->find('/') == std::string::npos &&
           name->find('\\') == std::string::npos && *name != "." && *name != "..";
}

bool isExecutableFile(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

// The minimum system versions the application asks for, the product's own first.
std::vector<std::string> requirements(const CenterProduct& product, const PropertyList& info) {
    std::vector<std::string> found = {product.minOS};
    if (plist_t minimum = info.value("LSMinimumSystemVersion")) {
        std::optional<std::string> text = PropertyList::stringOf(minimum);
        if (!text) {
            throw CenterError::install("安装包的 macOS 版本要求无效。");
        }
        found.push_back(*text);
    }
    if (plist_t byArchitecture = info.value("LSMinimumSystemVersionByArchitecture")) {
        if (plist_get_node_type(byArchitecture) != PLIST_DICT) {
            throw CenterError::install("安装包的 macOS 版本要求无效。");
        }
        PropertyList::forEach(byArchitecture, [](const std::string&, plist_t value) {
            if (!PropertyList::stringOf(value)) {
                throw CenterError::install("安装包的 macOS 版本要求无效。");
            }
        });
        if (std::optional<std::string> arm =
                PropertyList::stringOf(plist_dict_get_item(byArchitecture, "arm64"))) {
            found.push_back(*arm);
        }
    }
    return found;
}

// The release a local package's application names, or nothing when its version or build is
// not numeric.
std::optional<CenterRelease> localRelease(const std::optional<InstalledApp>& app) {
    if (!app || !CenterCore::isNumericVersion(app->version) ||
        !CenterCore::isNumericVersion(app->build)) {
        return std::nullopt;
    }
    return CenterRelease{app->version, app->build, "local", {"本地导入的安装包"}, {}};
}

} // namespace

void validateIndependentProduct(const CenterProduct& product) {
    if (CenterCore::previewOnlyProductIDs().contains(product.id)) {
        throw CenterError::install("幻彩工坊目前仅为界面预览，尚无可安装插件。");
    }
    if (CenterCore::plugInProduct(product)) {
        throw CenterError::install(
            "澄光工坊包含 Final Cut Pro 插件，请退出 Final Cut Pro 后使用专用安装包。");
    }
    if (!CenterCore::isRegistered(product)) {
        throw CenterError::install("此安装器仅用于已登记的 KESTRYN 独立软件。");
    }
}

bool isLocalPath(const fs::path& location) {
    const std::string& text = location.native();
    std::size_t separator = text.find("://");
    if (text.empty()) {
        return false;
    }
    if (separator == std::string::npos || separator == 0) {
        return true;
    }
    // An address scheme: a letter, then letters, digits, "+", "-" or ".".
    for (std::size_t i = 0; i < separator; ++i) {
        char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) {
            return true;
        }
    }
    return false;
}

CenterRelease inspectLocalPackage(const fs::path& zip, const CenterProduct& product,
                                  InstallOperations& operations, std::stop_token stop) {
    validateIndependentProduct(product);
    if (!isLocalPath(zip)) {
        throw CenterError::invalid("安装包必须位于本机。");
    }
    std::string name = inspectZIP(zip);
    const fs::path temporary = fs::temp_directory_path();
    // A run that was killed left its folder behind, held by nobody any more.
    sweepWorkFolders(temporary, inspectionPrefix, operations);
    const WorkFolder folder(temporary, inspectionPrefix, operations);
    operations.unpack(zip, folder.path(), stop);

    fs::path app = folder.path() / name;
    std::optional<CenterRelease> release = localRelease(CenterCore::readInstalledApp(app));
    if (!release) {
        throw CenterError::install("安装包中的版本信息无效。");
    }
    validateApp(app, product, *release, operations);
    return *release;
}

CenterRelease packagedRelease(const fs::path& zip, const CenterProduct& product,
                              InstallOperations& operations, std::stop_token stop) {
    if (isLocalPath(zip)) {
        if (std::optional<CenterRelease> release = localRelease(readPackagedApp(zip))) {
            return *release;
        }
    }
    return inspectLocalPackage(zip, product, operations, stop);
}

void validateApp(const fs::path& app, const CenterProduct& product, const CenterRelease& release,
                 InstallOperations& operations) {
    std::optional<InstalledApp> installed = CenterCore::readInstalledApp(app);
    if (!installed || installed->bundleID != product.bundleID ||
        installed->version != release.version || installed->build != release.build) {
        throw CenterError::install("安装包的软件标识或版本与发布信息不一致。");
    }
    fs::path infoFile = app / "Contents" / "Info.plist";
    std::string bytes = CenterCore::readFileContents(infoFile, maximumInfoPlistBytes);
    std::optional<PropertyList> info;
    if (bytes.size() <= maximumInfoPlistBytes) {
        info = PropertyList::parse(bytes);
    }
    if (!info) {
        throw CenterCore::FileOperationError(
            CenterCore::FileOperation::Inspect, infoFile,
            std::make_error_code(std::errc::illegal_byte_sequence));
    }
    if (!info->isDictionary()) {
        throw CenterError::install(missingApplication);
    }
    std::optional<std::string> executable = info->string("CFBundleExecutable");
    if (!isValidExecutableName(executable) ||
        !isExecutableFile(app / "Contents" / "MacOS" / *executable)) {
        throw CenterError::install(missingApplication);
    }
    std::string system = currentSystemVersion();
    for (const std::string& requirement : requirements(product, *info)) {
        if (!CenterCore::isNumericVersion(requirement) ||
            CenterCore::numericCompare(requirement, system) == std::strong_ordering::greater) {
            throw CenterError::install(unmetRequirement);
        }
    }
    operations.verifySignature(app);
}

void rejectSymlink(const fs::path& item) {
    if (fs::is_symlink(fs::symlink_status(item))) {
        throw CenterError::install("安装目录不能是符号链接。");
    }
}

std::string currentSystemVersion() {
    const char* configured = std::getenv("KESTRYN_SYSTEM_VERSION");
    return configured != nullptr && *configured != '\0' ? configured : "13.0";
}

} // namespace CenterInstaller
