#pragma once

#include <filesystem>
#include <map>
#include <string>

// What a test application bundle holds.
struct BundleContents {
    std::string bundleID = "local.soundlink";
    std::string version = "1.0";
    std::string build = "1";
    std::string executable = "Sample";
    bool sealed = true;
    // Files under Contents/ by relative path, beside Info.plist and the executable.
    std::map<std::string, std::string> files = {{"Resources/data.bin", "resource data"}};
    // More Info.plist entries, as XML keys and values.
    std::string info = "";
};

// Writes a real application bundle `folder`/`name` (Contents/Info.plist, an executable shell
// script, the files) and seals it unless told not to. Returns its path.
std::filesystem::path writeBundle(const std::filesystem::path& folder, const std::string& name,
                                  const BundleContents& contents = {});

// Packs the bundle into a ZIP package whose single top-level item is the bundle, with the
// system's zip tool, and returns the package path.
std::filesystem::path zipBundle(const std::filesystem::path& bundle,
                                const std::filesystem::path& zip);

// Every file, link and folder under `root` with its kind, mode and contents (or link target),
// for comparing two trees byte for byte.
std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& root);
