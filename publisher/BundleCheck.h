#pragma once

#include <filesystem>

// What the publisher proves of an application bundle before it seals or ships it, so that it
// never hands out a bundle the center would refuse.
namespace CenterPublisher {

// Throws CenterError::invalid, naming the bundle, unless it is a folder with Contents/, a
// readable Info.plist dictionary, and its main executable Contents/MacOS/<CFBundleExecutable>
// as an executable file.
void requireApplication(const std::filesystem::path& app);

} // namespace CenterPublisher
