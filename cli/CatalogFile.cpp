#include "cli/CatalogFile.h"

#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/FileContents.h"

namespace {

constexpr std::size_t maximumCatalogBytes = 64 * 1024 * 1024;

} // namespace

CenterCatalog readCatalogFile(const std::filesystem::path& file) {
    std::string document = CenterCore::readFileContents(file, maximumCatalogBytes);
    if (document.size() > maximumCatalogBytes) {
        throw CenterError::invalid("发布清单文件过大（超过 64 MiB）。");
    }
    return CenterCore::decodeCatalog(document);
}
