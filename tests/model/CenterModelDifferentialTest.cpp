#include "tests/model/ModelFixture.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;

// 回响工坊 1.0 is installed and its package, 4 MB of media beside the application, is kept in
// "Downloads"; the online catalog lists 2.0, whose media are the same.
class CenterModelDifferential : public ModelFixture {
  protected:
    const CenterProduct audio = shippedProduct("audio");
    const fs::path oldPackage = support / "Downloads/KESTRYN-1111.zip";
    ReleaseArtifact newPackage;

    void SetUp() override {
        packagePadding = 4 << 20;
        static_cast<void>(package(audio, "1.0"));
        fs::create_directories(oldPackage.parent_path());
        fs::copy_file(temp / "site/audio-1.0.zip", oldPackage);
        useFeed(publishCatalog({{"audio", "2.0"}}));
        newPackage = *listed(*makeModel(), "audio").release->artifact;
    }

    // The bytes of the new package the server sent since request `from`.
    std::uint64_t bytesServed(std::size_t from) const {
        std::uint64_t served = 0;
        const std::vector<HttpsRequest> requests = server.requests();
        for (std::size_t i = from; i < requests.size(); ++i) {
            served += requests[i].path == "/audio-2.0.zip" ? requests[i].bodyBytes : 0;
        }
        return served;
    }
};

// The update fetches only what changed and says so; a server that spoils a range or an old
// package spoilt on disk costs the saving, said once, never the update; a server without ranges
// and a request for the whole package cost it silently. Each ends with the exact new package
// proven in "Downloads" and installed.
TEST_F(CenterModelDifferential, FetchesOnlyTheChangedEntriesAndFallsBackToTheWholePackage) {
    struct Row {
        const char* what;
        HttpsResponse server;
        bool wholePackage;
        bool spoiltOldPackage;
        // The lines the status shows between the download's start and the last proof, each
        // known by its beginning.
        std::vector<std::string> says;
        // Whether the bytes served stay far below the package's size.
        bool saves;
    };
    const std::vector<Row> rows = {
        {"differential", {}, false, false, {"差分更新：需下载 "}, true},
        {"spoiled ranges", {.wrongRanges = true}, false, false, {"差分更新未能完成："}, false},
        {"spoilt old package",
         {},
         false,
         true,
         {"差分更新：需下载 ", "正在校验安装包……",
          "差分更新未能完成：安装包校验失败，请重新下载。现在下载完整安装包。"},
         false},
        {"no range support", {.ranges = false}, false, false, {}, false},
        {"whole package", {}, true, false, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(homeApplications);
        fs::remove_all(support / "Backups");
        for (const fs::directory_entry& entry : fs::directory_iterator(oldPackage.parent_path())) {
            if (entry.path() != oldPackage) {
                fs::remove_all(entry.path());
            }
        }
        fs::copy_file(temp / "site/audio-1.0.zip", oldPackage,
                      fs::copy_options::overwrite_existing);
        if (row.spoiltOldPackage) {
            // A flipped bit inside the media's stored bytes, which the old package's own
            // directory still vouches for.
            std::fstream file(oldPackage, std::ios::in | std::ios::out | std::ios::binary);
            const auto middle = static_cast<std::streamoff>(fs::file_size(oldPackage) / 2);
            const char byte = static_cast<char>(file.seekg(middle).get());
            file.seekp(middle).put(static_cast<char>(~byte));
        }
        bundle(audio, "1.0", homeApplications);
        server.serveDirectory(temp / "site", row.server);
        std::unique_ptr<CenterModel> model = makeModel();
        std::vector<std::string> statuses;
        QObject::connect(model.get(), &CenterModel::statusChanged, model.get(),
                         [&] { statuses.push_back(model->status()); });
        const std::size_t before = server.requests().size();

        model->installOrUpdate(listed(*model, "audio"), row.wholePackage);
        waitUntilIdle(*model);

        EXPECT_FALSE(model->error()) << *model->error();
        EXPECT_EQ(model->installedCopy(audio)->version, "2.0");
        std::vector<std::string> expected = {"正在下载回响工坊"};
        for (const std::string& line : row.says) {
            ASSERT_GT(statuses.size(), expected.size());
            EXPECT_TRUE(statuses[expected.size()].starts_with(line)) << statuses[expected.size()];
            expected.push_back(statuses[expected.size()]);
        }
        expected.insert(expected.end(),
                        {"正在校验安装包……", "正在校验并安装回响工坊", "回响工坊已安装 · 2.0"});
        EXPECT_EQ(statuses, expected);
        const std::uint64_t served = bytesServed(before);
        EXPECT_EQ(served < static_cast<std::uint64_t>(newPackage.byteCount) / 4, row.saves)
            << served;
        // Never more than a full download and the planning reads.
        EXPECT_LE(served, 2 * static_cast<std::uint64_t>(newPackage.byteCount));
        std::vector<std::string> digests;
        for (const fs::path& file : entries(oldPackage.parent_path(), "KESTRYN-")) {
            digests.push_back(CenterCore::sha256(file));
        }
        EXPECT_NE(std::find(digests.begin(), digests.end(), newPackage.sha256), digests.end());
    }
}

} // namespace
