#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Package format of a release artifact; only `zip` is ever installed by the center.
enum class ArtifactFormat { zip, dmg, pkg };

// The downloadable file of a release.
struct ReleaseArtifact {
    std::string url;
    std::string sha256;
    std::int64_t byteCount = 0;
    ArtifactFormat format = ArtifactFormat::zip;

    friend bool operator==(const ReleaseArtifact&, const ReleaseArtifact&) = default;
};

// One published release of a product.
struct CenterRelease {
    std::string version;
    std::string build;
    std::string publishedAt;
    std::vector<std::string> notes;
    std::optional<ReleaseArtifact> artifact;

    friend bool operator==(const CenterRelease&, const CenterRelease&) = default;
};

// One tool of the maker's suite, identified by `id`.
struct CenterProduct {
    std::string id;
    std::string bundleID;
    std::string name;
    std::string kind;
    std::string summary;
    std::string detail;
    std::vector<std::string> features;
    std::string minOS;
    std::optional<CenterRelease> release;

    friend bool operator==(const CenterProduct&, const CenterProduct&) = default;
};

// The catalog document: shipped with the center, or the payload of a signed online catalog.
struct CenterCatalog {
    std::int64_t schemaVersion = 0;
    std::string generatedAt;
    std::vector<CenterProduct> products;

    friend bool operator==(const CenterCatalog&, const CenterCatalog&) = default;
};

// An application bundle found on disk.
struct InstalledApp {
    std::filesystem::path url;
    std::string version;
    std::string build;
    std::string bundleID;

    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

// The result of a successful installation; `backupURL` is set when a version was replaced.
struct InstallReceipt {
    InstalledApp installedApp;
    std::optional<std::filesystem::path> backupURL;
};
