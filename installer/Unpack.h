#pragma once

#include <filesystem>
#include <stop_token>

namespace CenterInstaller {

// Unpacks a ZIP package that passed inspectZIP into `destination` (an existing folder) and
// nowhere else. Inspects the package again first and refuses any entry the inspection would not
// admit; stops with "安装包解压后体积过大。" when more bytes come out than the archive declared.
// Names are written as the UTF-8 they are in the package, whatever the process's locale. A stop
// request ends it with CancellationError. A failure leaves what was already unpacked for the
// caller to remove with the folder.
void unpackZIP(const std::filesystem::path& zip, const std::filesystem::path& destination,
               std::stop_token stop = {});

} // namespace CenterInstaller
