#include "tests/cli/CenterHome.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

// A resources folder whose catalog lists, in an order of its own, an update for the installed
// 回响工坊 1.2 (45), a product without a release and one that can be installed. The table, then
// the same as JSON.
TEST(StatusTable, ShowsEachProductsInstalledVersionAndUpdateThenTheSearchedFolders) {
    TemporaryDirectory folder;
    CenterCatalog catalog = shippedCatalog();
    catalog.products = {shippedProduct("audio"), shippedProduct("film"), shippedProduct("library")};
    catalog.products[0].release = CenterRelease{"2.0", "1", "2026-12-01", {}, std::nullopt};
    catalog.products[2].release = CenterRelease{"1.0", "3", "2026-12-01", {}, std::nullopt};
    const std::filesystem::path resources =
        folder.write("resources/Catalog.json", CenterCore::toJSON(catalog).dump());
    writeBundle(folder / "Applications", "Sound.app", {.version = "1.2", .build = "45"});

    const std::filesystem::path other = folder / "其他 应用";
    const std::string searched = (folder / "Applications").string();
    ProgramResult table = runProgram(
        kestryn, {"status", "--applications", searched, "--applications", other.string()},
        {{"KESTRYN_RESOURCES", resources.parent_path().string()}});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out, "软件\t已安装版本\t可用更新\n"
                         "回响工坊\t1.2（45）\t可更新到 2.0（1）\n"
                         "澄光工坊\t未安装\t—\n"
                         "藏集工坊\t未安装\t可安装 1.0（3）\n"
                         "已查找的应用程序文件夹：" +
                             searched + "、" + other.string() +
                             "（不存在）。\n"
                             "可用更新只取自随软件中心附带的发布清单；要从网上检查更新，请运行 "
                             "kestryn check。\n");

    ProgramResult listed = runProgram(kestryn, {"status", "--json", "--applications", searched},
                                      {{"KESTRYN_RESOURCES", resources.parent_path().string()}});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const json rows = json::parse(listed.out);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0]["installed"]["version"], "1.2");
    EXPECT_TRUE(rows[1]["installed"].is_null()) << rows[1];
    EXPECT_EQ(rows[2]["release"]["build"], "3");
}

} // namespace
