// The backup folder as the history reads it: folders of any name, each with an Info.plist of
// any content. Listing must keep only readable bundles of a product, order them and measure
// them, never crash, whatever the folder holds.
#include "core/CatalogJSON.h"
#include "core/FileContents.h"
#include "fuzz/ScratchFolder.h"
#include "model/CenterHistory.h"
#include "model/CenterRules.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<CenterProduct> shippedProducts() {
    return CenterCore::decodeCatalog(
               CenterCore::readFileContents(KESTRYN_SHIPPED_CATALOG, 1024 * 1024))
        .products;
}

// Writes one backup folder: its name up to the first line break, then its Info.plist. A name
// the file system cannot hold leaves the folder out.
void writeBackup(const fs::path& backups, std::string_view piece) {
    const std::size_t end = piece.find('\n');
    const std::string name(piece.substr(0, end));
    const std::string_view plist = end == piece.npos ? std::string_view() : piece.substr(end + 1);
    std::error_code error;
    const fs::path contents = backups / name / "Contents";
    if (name.empty() || name.find('/') != name.npos || name.find('\0') != name.npos ||
        name == "." || name == ".." || !fs::create_directories(contents, error)) {
        return;
    }
    std::ofstream(contents / "Info.plist", std::ios::binary)
        .write(plist.data(), static_cast<std::streamsize>(plist.size()));
}

} // namespace

// The input: up to eight backups separated by "\n\n\n".
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<CenterProduct> products = shippedProducts();
    static const ScratchFolder support("kestryn-fuzz-backups");
    const fs::path backups = support.path() / "Backups";
    std::error_code error;
    fs::remove_all(backups, error);
    fs::create_directory(backups);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (int count = 0; count < 8 && !input.empty(); ++count) {
        const std::size_t end = input.find("\n\n\n");
        writeBackup(backups, input.substr(0, end));
        input.remove_prefix(end == input.npos ? input.size() : end + 3);
    }

    const CenterHistory::Snapshot snapshot = CenterHistory::read(support.path(), products);
    static_cast<void>(CenterHistory::diskUseLine(snapshot.diskUse));
    for (const auto& [product, list] : snapshot.backups) {
        for (const CenterInstaller::Backups::Backup& backup : list) {
            static_cast<void>(CenterRules::byteText(backup.bytes));
        }
    }
    return 0;
}
