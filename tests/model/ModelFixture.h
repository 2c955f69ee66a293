#pragma once

#include "core/CatalogJSON.h"
#include "core/Digest.h"
#include "core/FileContents.h"
#include "model/CenterCleaning.h"
#include "model/CenterModel.h"
#include "tests/support/Bundle.h"
#include "tests/support/HttpsServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestKeys.h"
#include "transport/CenterUpdateService.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <random>

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

// The product as the model lists it now, with the release its catalogs offer.
inline const CenterProduct& listed(const CenterModel& model, const std::string& id) {
    return productNamed(model.products(), id);
}

// A center with its own resources (the shipped catalog, the committed test key), support folder,
// settings and two applications folders, a real HTTPS server for its online catalog and
// downloads, and scripted prompts and desktop.
class ModelFixture : public ::testing::Test {
  protected:
    HttpsServer server;
    TemporaryDirectory temp;
    std::filesystem::path resources = temp / "resources";
    std::filesystem::path support = temp / "support";
    std::filesystem::path settingsFile = temp / "config/settings.json";
    std::filesystem::path applications = temp / "Applications";
    std::filesystem::path homeApplications = temp / "home/Applications";
    ScriptedPrompts prompts;
    ScriptedWorkspace workspace;
    CenterInstaller::RunningCheck running =
        [](const std::string&, const std::optional<std::filesystem::path>&) { return false; };
    // Incompressible bytes that each package made from here on carries beside its application,
    // so that its download arrives in many pieces.
    std::size_t packagePadding = 0;

    ModelFixture() {
        ::setenv("KESTRYN_CA_FILE", server.caFile().c_str(), 1);
        std::filesystem::create_directories(resources);
        std::filesystem::create_directories(applications);
        std::filesystem::copy_file(KESTRYN_RESOURCES_DIR "/Catalog.json",
                                   resources / "Catalog.json");
        std::filesystem::copy_file(testKeys() / "PublicKey.txt", resources / "PublicKey.txt");
        writeInfo("");
        server.serveDirectory(temp / "site");
    }
    ~ModelFixture() override { ::unsetenv("KESTRYN_CA_FILE"); }

    // The center's Info.plist, with this default catalog address.
    void writeInfo(const std::string& catalogURL) {
        temp.write("resources/Info.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                   "<key>CFBundleIdentifier</key><string>com.kestryn.center</string>"
                   "<key>CFBundleShortVersionString</key><string>1.0.0</string>"
                   "<key>KESProductCatalogURL</key><string>" +
                       catalogURL + "</string></dict></plist>");
    }

    // Stored settings that name this catalog address, as if the user had typed it.
    void useFeed(const std::string& url) {
        temp.write("config/settings.json", R"({"catalogFeedURL":")" + url + R"("})");
    }

    // Presses the product's button and waits for what it started to end.
    static void act(CenterModel& model, const std::string& id) {
        model.performAction(listed(model, id));
        waitUntilIdle(model);
    }

    // The fixture's folders and scripted desktop, for a model made here or by a derived fixture.
    CenterModelSetup modelSetup() {
        return {.resources = resources,
                .supportDirectory = support,
                .settingsFile = settingsFile,
                .applicationDirectories = {applications, homeApplications},
                .workspace = &workspace,
                .prompts = &prompts,
                .runningCheck = running};
    }

    std::unique_ptr<CenterModel> makeModel() {
        auto model = std::make_unique<CenterModel>(modelSetup());
        waitUntilIdle(*model);
        return model;
    }

    // Runs the event loop until the model has nothing left running.
    static void waitUntilIdle(CenterModel& model) {
        QEventLoop loop;
        QObject::connect(&model, &CenterModel::settled, &loop, &QEventLoop::quit);
        // A guard against a hang, not a measurement.
        QTimer::singleShot(60'000, &loop, [&loop] { loop.exit(1); });
        while (!model.isIdle() && loop.exec() == 0) {
        }
        ASSERT_TRUE(model.isIdle());
    }

    // Runs a cleaning to its end; what it removed.
    static CenterModel::Cleaning clean(CenterModel& model) {
        CenterModel::Cleaning cleaning;
        model.pruneBackups([&](const CenterModel::Cleaning& done) { cleaning = done; });
        waitUntilIdle(model);
        return cleaning;
    }

    static std::string publisher(const std::vector<std::string>& arguments) {
        ProgramResult result = runProgram(KESTRYN_BIN_DIR "/kestryn-publish", arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
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
            std::mt19937 noise;
            std::string& padding = contents.files["Resources/padding.bin"];
            padding.resize(packagePadding);
            std::generate(padding.begin(), padding.end(),
                          [&] { return static_cast<char>(noise()); });
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
