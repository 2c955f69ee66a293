#pragma once

#include "core/Records.h"

#include <filesystem>

// A catalog document on disk, decoded. A file above 64 MiB, far beyond any catalog, is refused
// by its size with CenterError::invalid before it is decoded; the file system's and the JSON
// decoder's errors pass through.
[[nodiscard]] CenterCatalog readCatalogFile(const std::filesystem::path& file);
