#include "cli/InterruptStop.h"
#include "cli/ProgressBar.h"
#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "core/Validation.h"
#include "transport/CenterUpdateService.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

std::int64_t byteCount(const std::string& text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1) {
        throw UsageError("--size 必须是以字节计的正整数。");
    }
    return value;
}

// The folders of a path that do not exist yet, which the download will create; unless kept, they
// are removed again as long as they are empty, so a failed download leaves no trace of them.
class CreatedFolders {
  public:
    explicit CreatedFolders(const std::filesystem::path& folder) {
        std::filesystem::path missing = std::filesystem::absolute(folder).lexically_normal();
        if (!missing.has_filename()) {
            missing = missing.parent_path();
        }
        std::error_code unreadable;
        while (missing.has_relative_path() &&
               std::filesystem::symlink_status(missing, unreadable).type() ==
                   std::filesystem::file_type::not_found) {
            folders_.push_back(missing);
            missing = missing.parent_path();
        }
    }
    CreatedFolders(const CreatedFolders&) = delete;
    CreatedFolders& operator=(const CreatedFolders&) = delete;
    ~CreatedFolders() {
        for (const std::filesystem::path& folder : folders_) {
            std::error_code ignored;
            std::filesystem::remove(folder, ignored);
        }
    }
    void keep() { folders_.clear(); }

  private:
    // Deepest first, the order they can be removed in.
    std::vector<std::filesystem::path> folders_;
};

} // namespace

int downloadVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    ReleaseArtifact artifact;
    artifact.url = arguments.required("--url");
    artifact.sha256 = arguments.required("--sha256");
    if (!CenterCore::isDigestText(artifact.sha256)) {
        throw UsageError("--sha256 必须是 64 位十六进制数字。");
    }
    artifact.byteCount = byteCount(arguments.required("--size"));
    std::optional<ArtifactFormat> format =
        CenterCore::artifactFormat(arguments.value("--format").value_or("zip"));
    if (!format) {
        throw UsageError("--format 只能是 zip、dmg 或 pkg。");
    }
    artifact.format = *format;
    const std::filesystem::path folder = arguments.required("--to");
    CreatedFolders created(folder);

    InterruptStop interrupt;
    ProgressBar bar;
    CenterDownload::Progress progress;
    if (::isatty(STDERR_FILENO) == 1) {
        progress = [&bar](double fraction) { bar(fraction); };
    }
    std::filesystem::path file =
        CenterUpdateService().download(artifact, folder, progress, interrupt.token());
    bar.end();
    created.keep();
    std::cout << file.string() << '\n';
    return 0;
}
