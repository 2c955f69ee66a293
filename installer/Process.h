#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace CenterInstaller {

// How much of a failed tool's output the error message carries, in characters.
inline constexpr std::size_t maximumReportedCharacters = 1500;

// Runs a tool to completion and returns its standard output and standard error, merged in
// one pipe. A non-zero exit (or death by a signal) throws CenterError::install with
// "验证或安装未完成：" and the first 1,500 characters of the output (none when it is not UTF-8);
// a tool that cannot be started throws std::system_error.
std::string run(const std::filesystem::path& executable, const std::vector<std::string>& arguments);

// The message of an unfinished verification or installation step, with `output` cut to its
// first 1,500 characters; output that is not UTF-8 is dropped.
[[nodiscard]] std::string incompleteMessage(std::string_view output);

} // namespace CenterInstaller
