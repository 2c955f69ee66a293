#include "model/CenterRules.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterRules;

CenterRelease release(const std::string& version, const std::string& build) {
    return {version, build, "2026-12-01", {}, std::nullopt};
}

CenterProduct product(const std::string& id, std::optional<CenterRelease> offered = {}) {
    return {id, "bundle." + id, id + "工坊", "", "", "", {}, "", std::move(offered)};
}

// An installed copy older than the offered release, and one at it.
const InstalledApp old{"/Applications/A.app", "1.0", "1", "bundle.audio"};
const InstalledApp current{"/Applications/A.app", "2.0", "1", "bundle.audio"};
const CenterProduct offered = product("audio", release("2.0", "1"));

TEST(CenterRules, TheMergeKeepsTheKnownOrderAndPrefersAStrictlyNewerImportWhosePackageExists) {
    const std::vector<CenterProduct> known = {product("audio"), product("subtitle"),
                                              product("effects", release("1.0", "1")),
                                              product("library")};
    const LocalPackages packages = {{"audio", {"/imports/audio.zip", std::nullopt}},
                                    {"subtitle", {"/imports/subtitle.zip", std::nullopt}},
                                    {"library", {"/imports/gone.zip", std::nullopt}}};
    const LocalReleases releases = {{"audio", release("2.0", "8")},
                                    {"subtitle", release("2.0", "1")},
                                    {"library", release("9.0", "1")}};
    const auto exists = [](const fs::path& path) { return path != "/imports/gone.zip"; };
    // An online catalog with some known products, one the center does not know.
    const std::vector<CenterProduct> online = {
        product("subtitle", release("2.0", "1")), product("audio", release("2.0", "7")),
        product("effects", release("2.0", "1")), product("stranger", release("1.0", "1"))};

    std::vector<std::string> merged;
    for (const CenterProduct& item : mergedCatalog(online, known, packages, releases, exists)) {
        merged.push_back(item.id + (item.release
                                        ? " " + item.release->version + "/" + item.release->build
                                        : ""));
    }
    // Build 8 beats build 7, the same release is not newer, previews never offer one, library's
    // package is gone, and the stranger is not listed.
    EXPECT_EQ(merged,
              (std::vector<std::string>{"audio 2.0/8", "subtitle 2.0/1", "effects", "library"}));
    EXPECT_TRUE(mergedCatalog(online, {}, packages, releases, exists).empty());
}

TEST(CenterRules, AnOnlineCatalogMustListOnlyKnownProductsWithTheirIdentifiers) {
    const std::vector<CenterProduct> known = {product("audio"), product("subtitle")};
    CenterProduct impostor = product("audio");
    impostor.bundleID = "bundle.other";
    const struct {
        std::int64_t schema;
        std::vector<CenterProduct> products;
        bool accepted;
    } rows[] = {
        {1, {product("subtitle")}, true},
        {1, {product("audio"), product("subtitle")}, true},
        {1, {product("video")}, false},
        {1, {impostor}, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(matchesKnownProducts({row.schema, "", row.products}, known), row.accepted)
            << row.schema << " " << row.products.size();
    }
    EXPECT_FALSE(matchesKnownProducts({1, "", {product("audio")}}, {}));
}

TEST(CenterRules, TheButtonAndTheStateLinesFollowPreviewBusyInstalledAndPackage) {
    const CenterProduct preview = product("effects");
    const std::nullopt_t none = std::nullopt;
    const std::string waiting = "仅界面预览 · 敬请期待";
    const std::string older = "已安装 1.0 · 可更新";
    const struct {
        CenterProduct product;
        std::optional<InstalledApp> installed;
        std::optional<std::string> busy;
        double progress;
        bool hasPackage;
        std::string title;
        std::string status;
        std::string detail;
    } rows[] = {
        {preview, none, none, 0, true, "敬请期待", "仅界面预览", waiting},
        {preview, none, "effects", 0, true, "敬请期待", "处理中", waiting},
        {offered, old, "audio", 0.427, true, "42%", "处理中", older},
        {offered, old, "audio", 1.0, true, "处理中", "处理中", older},
        {offered, old, "audio", 0.0, true, "处理中", "处理中", older},
        {offered, old, "subtitle", 0.5, true, "更新", "有可用更新", older},
        {offered, current, none, 0, true, "打开", "已安装 2.0", "已安装 2.0"},
        {offered, none, none, 0, true, "安装", "未安装", "尚未安装"},
        {product("audio"), none, none, 0, false, "获取软件", "未安装", "尚未安装"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(actionTitle(row.product, row.installed, row.busy, row.progress, row.hasPackage),
                  row.title);
        EXPECT_EQ(productStatus(row.product, row.installed, row.busy).text, row.status);
        EXPECT_EQ(detailStatus(row.product, row.installed), row.detail);
    }
    EXPECT_EQ(offerLine(offered), "新版本 2.0（1）");
}

} // namespace
