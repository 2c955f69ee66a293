#pragma once

#include <filesystem>

namespace CenterInstaller {

// Verifies an application's code signature strictly, with everything nested in it: through
// /usr/bin/codesign where the system has it, otherwise by the bundle's resource seal. Either
// way a failure is CenterError::install "验证或安装未完成：" followed by the reason.
void verifyCodeSignature(const std::filesystem::path& app);

} // namespace CenterInstaller
