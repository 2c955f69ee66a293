#include "cli/InterruptStop.h"
#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "transport/CenterUpdateService.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

constexpr int barWidth = 40;

std::int64_t byteCount(const std::string& text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError("--size must be a whole number of bytes");
    }
    return value;
}

// A bar on the terminal, redrawn only when the whole percentage changes.
class ProgressBar {
  public:
    void operator()(double fraction) {
        int percent = static_cast<int>(fraction * 100);
        if (percent == shown_) {
            return;
        }
        shown_ = percent;
        int filled = percent * barWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", barWidth - filled, "", percent);
        std::fflush(stderr);
    }
    ~ProgressBar() { end(); }

    // Ends the bar's line, so what follows starts on a line of its own.
    void end() {
        if (shown_ >= 0) {
            std::fputc('\n', stderr);
            shown_ = -1;
        }
    }

  private:
    int shown_ = -1;
};

} // namespace

int downloadVerb(const Arguments& arguments) {
    static_cast<void>(arguments.positionals(0));
    ReleaseArtifact artifact;
    artifact.url = arguments.required("--url");
    artifact.sha256 = arguments.required("--sha256");
    artifact.byteCount = byteCount(arguments.required("--size"));
    std::optional<ArtifactFormat> format =
        CenterCore::artifactFormat(arguments.value("--format").value_or("zip"));
    if (!format) {
        throw UsageError("--format must be zip, dmg or pkg");
    }
    artifact.format = *format;
    const std::string folder = arguments.required("--to");

    InterruptStop interrupt;
    ProgressBar bar;
    CenterDownload::Progress progress;
    if (::isatty(STDERR_FILENO) == 1) {
        progress = [&bar](double fraction) { bar(fraction); };
    }
    std::filesystem::path file =
        CenterUpdateService().download(artifact, folder, progress, interrupt.token());
    bar.end();
    std::cout << file.string() << '\n';
    return 0;
}
