#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

// Release packages as the center's installer accepts them.
namespace CenterPublisher {

// Writes `output`, a ZIP holding exactly the application folder `app` under its own name:
// folders and files in sorted order, Unix modes kept, deflated where that saves space, no links
// and no ZIP64. Refuses a bundle the center would refuse (see requireApplication) or whose
// resource seal the center's own check does not verify, and a folder as `output`. The ZIP is
// written under a hidden name beside `output`, proved with the installer's own inspection, and
// only then moved over `output`; on any failure, or CancellationError once `stop` is requested,
// the hidden file is removed and whatever was at `output` stays as it was. Returns the
// top-level name.
std::string packRelease(const std::filesystem::path& app, const std::filesystem::path& output,
                        std::stop_token stop = {});

} // namespace CenterPublisher
