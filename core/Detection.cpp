#include "core/Detection.h"

#include "core/PropertyList.h"
#include "core/Registry.h"
#include "core/Unicode.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace CenterCore {
namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

bool hasAppExtension(const std::filesystem::path& entry) {
    std::string extension = entry.extension().string();
    if (extension.size() != 4) {
        return false;
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".app";
}

// Visible entries of one folder, ordered by NFC file name; a folder that cannot be listed is empty.
std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& folder) {
    struct Entry {
        std::string key;
        std::filesystem::path path;
    };
    std::vector<Entry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.starts_with('.')) {
            continue;
        }
        entries.push_back({nfc(name), it->path()});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    std::vector<std::filesystem::path> paths;
    paths.reserve(entries.size());
    for (Entry& entry : entries) {
        paths.push_back(std::move(entry.path));
    }
    return paths;
}

std::optional<InstalledApp> identityOf(const std::optional<PropertyList>& plist,
                                       const std::filesystem::path& url) {
    if (!plist || !plist->isDictionary()) {
        return std::nullopt;
    }
    std::optional<std::string> bundleID = plist->string("CFBundleIdentifier");
    std::optional<std::string> version = plist->string("CFBundleShortVersionString");
    std::optional<std::string> build = plist->string("CFBundleVersion");
    if (!bundleID || !version || !build) {
        return std::nullopt;
    }
    return InstalledApp{url, *version, *build, *bundleID};
}

} // namespace

std::vector<std::filesystem::path> applicationDirectories() {
    return {"/Applications", homeFolder() / "Applications"};
}

std::optional<InstalledApp> readInstalledApp(const std::filesystem::path& bundle) {
    return identityOf(PropertyList::read(bundle / "Contents" / "Info.plist"), bundle);
}

std::optional<InstalledApp> parseInstalledApp(std::string_view infoPlist,
                                              const std::filesystem::path& url) {
    return identityOf(PropertyList::parse(infoPlist), url);
}

std::optional<InstalledApp> detectInstalled(const CenterProduct& product,
                                            const std::vector<std::filesystem::path>& folders) {
    if (previewOnlyProductIDs().contains(product.id)) {
        return std::nullopt;
    }
    for (const std::filesystem::path& folder : folders) {
        for (const std::filesystem::path& entry : sortedEntries(folder)) {
            if (!hasAppExtension(entry)) {
                continue;
            }
            std::optional<InstalledApp> app = readInstalledApp(entry);
            if (app && app->bundleID == product.bundleID) {
                return app;
            }
        }
    }
    return std::nullopt;
}

std::map<std::string, InstalledApp>
detectAllInstalled(const std::vector<CenterProduct>& products,
                   const std::vector<std::filesystem::path>& folders) {
    std::map<std::string, InstalledApp> found;
    std::multimap<std::string, const CenterProduct*> wanted;
    for (const CenterProduct& product : products) {
        if (!previewOnlyProductIDs().contains(product.id)) {
            wanted.emplace(product.bundleID, &product);
        }
    }
    for (const std::filesystem::path& folder : folders) {
        for (const std::filesystem::path& entry : sortedEntries(folder)) {
            if (wanted.empty()) {
                return found;
            }
            if (!hasAppExtension(entry)) {
                continue;
            }
            std::optional<InstalledApp> app = readInstalledApp(entry);
            if (!app) {
                continue;
            }
            // The first copy in this order is the one detectInstalled finds for each product.
            auto [first, last] = wanted.equal_range(app->bundleID);
            for (auto it = first; it != last; ++it) {
                found.emplace(it->second->id, *app);
            }
            wanted.erase(first, last);
        }
    }
    return found;
}

} // namespace CenterCore
