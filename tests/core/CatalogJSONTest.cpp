#include "core/CatalogJSON.h"

#include <gtest/gtest.h>

using nlohmann::json;

namespace {

class CatalogJSON : public ::testing::Test {
  protected:
    json artifact = {{"url", "https://example.com/a.zip"},
                     {"sha256", std::string(64, 'a')},
                     {"byteCount", 1024},
                     {"format", "zip"}};
    json release = {{"version", "1.2"},
                    {"build", "45"},
                    {"publishedAt", "2026-11-30"},
                    {"notes", {"修复问题"}},
                    {"artifact", artifact}};
    json product = {{"id", "audio"},      {"bundleID", "local.soundlink"},
                    {"name", "回响工坊"}, {"kind", "音频"},
                    {"summary", "s"},     {"detail", "d"},
                    {"features", {"a"}},  {"minOS", "13.0"},
                    {"release", release}};

    json catalogWith(const json& oneProduct) const {
        return {{"schemaVersion", 1}, {"generatedAt", "now"}, {"products", {oneProduct}}};
    }
};

TEST_F(CatalogJSON, DecodesEveryRecordWithItsMembers) {
    CenterCatalog catalog = CenterCore::catalogFromJSON(catalogWith(product));
    ASSERT_EQ(catalog.products.size(), 1u);
    const CenterProduct& decoded = catalog.products[0];
    EXPECT_EQ(decoded.bundleID, "local.soundlink");
    EXPECT_EQ(decoded.name, "回响工坊");
    ASSERT_TRUE(decoded.release && decoded.release->artifact);
    EXPECT_EQ(decoded.release->notes, std::vector<std::string>{"修复问题"});
    EXPECT_EQ(decoded.release->artifact->byteCount, 1024);
    EXPECT_EQ(decoded.release->artifact->format, ArtifactFormat::zip);
}

TEST_F(CatalogJSON, MissingOrNullOptionalsAreAbsentAndUnknownMembersIgnored) {
    json withoutRelease = product;
    withoutRelease.erase("release");
    json nullRelease = product;
    nullRelease["release"] = nullptr;
    json nullArtifact = product;
    nullArtifact["release"]["artifact"] = nullptr;
    json padded = product;
    padded["extra"] = {1, 2};
    padded["name"] = "  回响工坊 ";

    EXPECT_FALSE(CenterCore::productFromJSON(withoutRelease).release);
    EXPECT_FALSE(CenterCore::productFromJSON(nullRelease).release);
    ASSERT_TRUE(CenterCore::productFromJSON(nullArtifact).release);
    EXPECT_FALSE(CenterCore::productFromJSON(nullArtifact).release->artifact);
    EXPECT_EQ(CenterCore::productFromJSON(padded).name, "  回响工坊 ");
    json empty = catalogWith(product);
    empty["products"] = json::array();
    EXPECT_TRUE(CenterCore::catalogFromJSON(empty).products.empty());
}

TEST_F(CatalogJSON, AnyBrokenMemberFailsTheWholeDocument) {
    std::vector<json> broken;
    auto variant = [&](auto change) {
        json catalog = catalogWith(product);
        change(catalog);
        broken.push_back(catalog);
    };
    variant([](json& c) { c.erase("generatedAt"); });
    variant([](json& c) { c["schemaVersion"] = "1"; });
    variant([](json& c) { c["schemaVersion"] = 1.0; });
    variant([](json& c) { c["schemaVersion"] = 18446744073709551615ULL; });
    variant([](json& c) { c["products"] = json::object(); });
    variant([](json& c) { c["products"][0]["features"] = {"a", 1}; });
    variant([](json& c) { c["products"][0].erase("minOS"); });
    variant([](json& c) { c["products"][0]["release"]["notes"] = "one"; });
    variant([](json& c) { c["products"][0]["release"]["artifact"]["format"] = "ZIP"; });
    variant([](json& c) { c["products"][0]["release"]["artifact"]["format"] = "tar"; });
    variant([](json& c) { c["products"][0]["release"]["artifact"]["byteCount"] = 1.5; });
    variant([](json& c) { c["products"][0]["release"] = 5; });
    for (const json& document : broken) {
        EXPECT_THROW(static_cast<void>(CenterCore::catalogFromJSON(document)), json::exception)
            << document.dump();
    }
    EXPECT_THROW(static_cast<void>(CenterCore::decodeCatalog("[]")), json::exception);
    EXPECT_THROW(static_cast<void>(CenterCore::decodeCatalog("{\"schemaVersion\":")),
                 json::exception);
}

TEST_F(CatalogJSON, EncodingOmitsAbsentOptionalsAndRoundTrips) {
    CenterRelease withoutArtifact = CenterCore::releaseFromJSON(release);
    withoutArtifact.artifact.reset();
    json encoded = CenterCore::toJSON(withoutArtifact);
    std::vector<std::string> members;
    for (const auto& [name, value] : encoded.items()) {
        members.push_back(name);
    }
    EXPECT_EQ(members, (std::vector<std::string>{"build", "notes", "publishedAt", "version"}));

    CenterCatalog catalog = CenterCore::catalogFromJSON(catalogWith(product));
    EXPECT_EQ(CenterCore::decodeCatalog(CenterCore::toJSON(catalog).dump()), catalog);
}

} // namespace
