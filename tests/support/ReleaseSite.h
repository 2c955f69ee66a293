#pragma once

#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/FileContents.h"
#include "tests/support/Bundle.h"
#include "tests/support/HttpsServer.h"
#include "tests/support/Noise.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestKeys.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// The catalog the center ships.
inline CenterCatalog shippedCatalog() {
    return CenterCore::decodeCatalog(
        CenterCore::readFileContents(KESTRYN_RESOURCES_DIR "/Catalog.json", 1 << 20));
}

inline const CenterProduct& productNamed(const std::vector<CenterProduct>& products,
                                         const std::string& id) {
    auto found = std::ranges::find(products, id, &CenterProduct::id);
    return found != products.end() ? *found : throw std::logic_error("not listed: " + id);
}

// A product as the shipped catalog lists it.
inline CenterProduct shippedProduct(const std::string& id) {
    return productNamed(shippedCatalog().products, id);
}

// The maker's site on a real HTTPS server, serving the folder `temp`/site: ZIP packages of sealed
// bundles under the products' folder names, and the shipped catalog listing them, signed with
// the committed publisher key as kestryn-publish signs it.
class ReleaseSite : public ::testing::Test {
  protected:
    HttpsServer server;
    TemporaryDirectory temp;
    // Incompressible bytes that each package made from here on carries beside its application,
    // so that its download arrives in many pieces.
    std::size_t packagePadding = 0;

    ReleaseSite() { server.serveDirectory(temp / "site"); }

    static std::string publisher(const std::vector<std::string>& arguments) {
        return outputOf(KESTRYN_BIN_DIR "/kestryn-publish", arguments);
    }

    // A sealed bundle of the product at this version, with the product's folder name.
    std::filesystem::path bundle(const CenterProduct& product, const std::string& version,
                                 const std::filesystem::path& folder) {
        return writeBundle(folder, "KESTRYN " + product.name + ".app",
                           {.bundleID = product.bundleID, .version = version});
    }

    // A ZIP package of the product at this version, served by the site; its artifact record.
    ReleaseArtifact package(const CenterProduct& product, const std::string& version) {
        std::filesystem::path folder = temp / "packages" / (product.id + "-" + version);
        std::filesystem::path zip = temp / "site" / (product.id + "-" + version + ".zip");
        std::filesystem::create_directories(zip.parent_path());
        BundleContents contents{.bundleID = product.bundleID, .version = version};
        if (packagePadding > 0) {
            contents.files["Resources/padding.bin"] = noise(0, packagePadding);
        }
        zipBundle(writeBundle(folder, "KESTRYN " + product.name + ".app", contents), zip);
        return {server.url("/" + zip.filename().string()), CenterCore::sha256(zip),
                static_cast<std::int64_t>(std::filesystem::file_size(zip)), ArtifactFormat::zip};
    }

    // Publishes the shipped catalog with these releases (product id → version, build 1),
    // signed with the center's key; returns its address.
    std::string publishCatalog(const std::map<std::string, std::string>& releases,
                               const std::string& name = "catalog.json") {
        CenterCatalog catalog = shippedCatalog();
        for (CenterProduct& product : catalog.products) {
            if (auto release = releases.find(product.id); release != releases.end()) {
                const std::string& version = release->second;
                product.release =
                    CenterRelease{version, "1", "2026-12-01", {"更新"}, package(product, version)};
            }
        }
        std::filesystem::path document =
            temp.write("unsigned-" + name, CenterCore::toJSON(catalog).dump());
        temp.write("site/" + name, publisher({"sign", document.string(), "--key",
                                              (testKeys() / "private.key").string()}));
        return server.url("/" + name);
    }
};
