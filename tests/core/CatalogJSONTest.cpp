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

// Every member decodes into its record and encodes back to the same catalog; an absent or null
// optional stays absent and is left out, an unknown member is ignored, a name kept as written.
TEST_F(CatalogJSON, DecodesEveryMemberAndRoundTripsWithOptionalsLeftOut) {
    const ReleaseArtifact file{"https://example.com/a.zip", std::string(64, 'a'), 1024,
                               ArtifactFormat::zip};
    const CenterRelease withFile{"1.2", "45", "2026-11-30", {"修复问题"}, file};
    const CenterCatalog expected{
        1,
        "now",
        {{"audio", "local.soundlink", "回响工坊", "音频", "s", "d", {"a"}, "13.0", withFile}}};
    EXPECT_EQ(CenterCore::catalogFromJSON(catalogWith(product)), expected);
    EXPECT_EQ(CenterCore::decodeCatalog(CenterCore::toJSON(expected).dump()), expected);

    json odd = product;
    odd["extra"] = {1, 2};
    odd["name"] = "  回响工坊 ";
    odd["release"]["artifact"] = nullptr;
    const CenterProduct decoded = CenterCore::productFromJSON(odd);
    EXPECT_EQ(decoded.name, "  回响工坊 ");
    EXPECT_EQ(decoded.release.value().artifact, std::nullopt);
    EXPECT_FALSE(CenterCore::toJSON(*decoded.release).contains("artifact"));
    odd["release"] = nullptr;
    EXPECT_FALSE(CenterCore::productFromJSON(odd).release);
    odd.erase("release");
    EXPECT_FALSE(CenterCore::productFromJSON(odd).release);
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
    variant([](json& c) { c["products"][0]["release"]["artifact"]["byteCount"] = 1.5; });
    variant([](json& c) { c["products"][0]["release"] = 5; });
    for (const json& document : broken) {
        EXPECT_THROW(static_cast<void>(CenterCore::catalogFromJSON(document)), json::exception)
            << document.dump();
    }
}

} // namespace
