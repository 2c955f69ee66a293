// Resource seals (Contents/_CodeSignature/CodeResources, XML or binary property list) of bundles
// from packages and backups: the check of a fixed bundle against the input as its seal must end
// in a pass or the installer's own refusal, never a crash or a read outside the bundle.
#include "core/CenterError.h"
#include "fuzz/ScratchFolder.h"
#include "installer/ResourceSeal.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The bundle the seeds were sealed from: an Info.plist, an executable, a resource and a link to
// it.
fs::path sealedBundle(const fs::path& folder) {
    const fs::path app = folder / "KESTRYN 回响工坊.app";
    const fs::path contents = app / "Contents";
    writeFile(contents / "Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>local.soundlink</string>"
              "<key>CFBundleExecutable</key><string>Sample</string></dict></plist>\n");
    writeFile(contents / "MacOS/Sample", "#!/bin/sh\nexit 0\n");
    writeFile(contents / "Resources/data.bin", "resource data");
    fs::create_symlink("data.bin", contents / "Resources/current");
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder("kestryn-fuzz-seal");
    static const fs::path app = sealedBundle(folder.path());
    writeFile(CenterInstaller::ResourceSeal::sealPath(app),
              {reinterpret_cast<const char*>(data), size});
    try {
        CenterInstaller::ResourceSeal::check(app);
    } catch (const CenterError&) {
    }
    return 0;
}
