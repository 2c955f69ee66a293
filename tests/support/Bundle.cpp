#include "tests/support/Bundle.h"

#include "installer/Process.h"
#include "installer/ResourceSeal.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/TemporaryDirectory.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

fs::path writeBundle(const fs::path& folder, const std::string& name,
                     const BundleContents& contents) {
    fs::path bundle = folder / name;
    writeFile(bundle / "Contents" / "Info.plist",
              infoPlist({{"CFBundleIdentifier", plistString(contents.bundleID)},
                         {"CFBundleShortVersionString", plistString(contents.version)},
                         {"CFBundleVersion", plistString(contents.build)},
                         {"CFBundleExecutable", plistString(contents.executable)}},
                        contents.info));
    if (!contents.executable.empty() && contents.executable.find('/') == std::string::npos &&
        contents.executable != "." && contents.executable != "..") {
        fs::path executable = bundle / "Contents" / "MacOS" / contents.executable;
        writeFile(executable, "#!/bin/sh\nexit 0\n");
        fs::permissions(executable, fs::perms(0755));
    }
    for (const auto& [path, bytes] : contents.files) {
        writeFile(bundle / "Contents" / path, bytes);
    }
    if (contents.sealed) {
        CenterInstaller::ResourceSeal::write(bundle);
    }
    return bundle;
}

fs::path zipBundle(const fs::path& bundle, const fs::path& zip) {
    CenterInstaller::run("/bin/sh", {"-c", "cd \"$1\" && zip -qry \"$2\" \"$3\"", "sh",
                                     bundle.parent_path().string(), fs::absolute(zip).string(),
                                     bundle.filename().string()});
    return zip;
}

std::map<std::string, std::string> treeSnapshot(const fs::path& root) {
    std::map<std::string, std::string> snapshot;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        struct stat status {};
        ::lstat(it->path().c_str(), &status);
        std::string description = std::to_string(status.st_mode) + ":";
        if (it->is_symlink()) {
            description += "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_regular_file()) {
            description += fileContents(it->path());
        }
        snapshot.emplace(it->path().lexically_relative(root).generic_string(), description);
    }
    return snapshot;
}
