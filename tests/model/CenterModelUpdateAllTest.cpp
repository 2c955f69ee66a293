#include "tests/model/ModelFixture.h"

namespace {

// 行文工坊, 回响工坊 and 藏集工坊 1.0 are installed and the online catalog lists 2.0 of each, in
// that order; 回响工坊 runs, so its update is refused.
class CenterModelUpdateAll : public ModelFixture {
  protected:
    const CenterProduct audio = shippedProduct("audio");
    const CenterProduct subtitle = shippedProduct("subtitle");
    const CenterProduct library = shippedProduct("library");

    void SetUp() override {
        for (const CenterProduct* product : {&audio, &subtitle, &library}) {
            bundle(*product, "1.0", homeApplications);
        }
        useFeed(publishCatalog({{"audio", "2.0"}, {"subtitle", "2.0"}, {"library", "2.0"}}));
        running = [id = audio.bundleID](const std::string& bundleID,
                                        const std::optional<std::filesystem::path>&) {
            return bundleID == id;
        };
    }

    static std::string versionOf(const CenterModel& model, const CenterProduct& product) {
        return model.installedCopy(product).value_or(InstalledApp{}).version;
    }
};

// A failure in the middle is said and the next update still runs; the summary names both.
TEST_F(CenterModelUpdateAll, RunsEachUpdateInTurnPastAFailureAndSumsThemUp) {
    std::unique_ptr<CenterModel> model = makeModel();
    ASSERT_TRUE(model->canUpdateAll());
    std::vector<std::string> busy;
    QObject::connect(model.get(), &CenterModel::busyProductChanged, model.get(), [&] {
        if (model->busyProduct()) {
            busy.push_back(*model->busyProduct());
        }
    });

    model->updateAll();
    EXPECT_FALSE(model->canUpdateAll());
    waitUntilIdle(*model);

    EXPECT_EQ(busy, (std::vector<std::string>{"subtitle", "audio", "library"}));
    EXPECT_EQ(versionOf(*model, subtitle), "2.0");
    EXPECT_EQ(versionOf(*model, audio), "1.0");
    EXPECT_EQ(versionOf(*model, library), "2.0");
    EXPECT_EQ(model->status(),
              "已更新 2 款软件：行文工坊、藏集工坊。1 款未能更新：回响工坊（请先退出"
              "“回响工坊”，再安装更新）。");
    EXPECT_FALSE(model->updatedAll());
}

// A cancel stops the running update, which keeps the installed copy, and the rest.
TEST_F(CenterModelUpdateAll, ACancelStopsTheRestAndKeepsEveryInstalledCopy) {
    server.route("/subtitle-2.0.zip", {.silent = true});
    std::unique_ptr<CenterModel> model = makeModel();
    model->updateAll();
    ASSERT_EQ(model->busyProduct().value_or(""), "subtitle");
    model->cancelWork();
    waitUntilIdle(*model);

    for (const CenterProduct* product : {&audio, &subtitle, &library}) {
        EXPECT_EQ(versionOf(*model, *product), "1.0") << product->id;
    }
    EXPECT_EQ(model->status(), "已取消全部更新，已安装的软件保持原样。");
    EXPECT_FALSE(model->updatedAll());
    EXPECT_TRUE(model->canUpdateAll());
}

} // namespace
