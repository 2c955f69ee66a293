#pragma once

#include "model/CenterCleaning.h"
#include "model/CenterModel.h"
#include "tests/support/InfoPlist.h"
#include "tests/support/ReleaseSite.h"
#include "tests/support/ScriptedDesktop.h"
#include "transport/CenterUpdateService.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

// The product as the model lists it now, with the release its catalogs offer.
inline const CenterProduct& listed(const CenterModel& model, const std::string& id) {
    return productNamed(model.products(), id);
}

// A center with its own resources (the shipped catalog, the committed test key), support folder,
// settings and two applications folders, a real HTTPS server for its online catalog and
// downloads, and scripted prompts and desktop.
class ModelFixture : public ReleaseSite {
  protected:
    std::filesystem::path resources = temp / "resources";
    std::filesystem::path support = temp / "support";
    std::filesystem::path settingsFile = temp / "config/settings.json";
    std::filesystem::path applications = temp / "Applications";
    std::filesystem::path homeApplications = temp / "home/Applications";
    ScriptedPrompts prompts;
    ScriptedWorkspace workspace;
    CenterInstaller::RunningCheck running =
        [](const std::string&, const std::optional<std::filesystem::path>&) { return false; };
    ModelFixture() {
        ::setenv("KESTRYN_CA_FILE", server.caFile().c_str(), 1);
        std::filesystem::create_directories(resources);
        std::filesystem::create_directories(applications);
        std::filesystem::copy_file(KESTRYN_RESOURCES_DIR "/Catalog.json",
                                   resources / "Catalog.json");
        std::filesystem::copy_file(testKeys() / "PublicKey.txt", resources / "PublicKey.txt");
        writeInfo("");
    }
    ~ModelFixture() override { ::unsetenv("KESTRYN_CA_FILE"); }

    // The center's Info.plist, with this default catalog address.
    void writeInfo(const std::string& catalogURL) {
        temp.write("resources/Info.plist",
                   infoPlist({{"CFBundleIdentifier", plistString("com.kestryn.center")},
                              {"CFBundleShortVersionString", plistString("1.0.0")},
                              {"KESProductCatalogURL", plistString(catalogURL)}}));
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
};
