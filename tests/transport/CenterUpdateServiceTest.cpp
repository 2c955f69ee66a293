#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/TransferError.h"

namespace {

// The service against a real server, with the temporary directory pointed at a scratch
// folder so every work folder it makes can be seen.
class UpdateService : public LoopbackServer {
  protected:
    UpdateService() {
        std::filesystem::create_directory(temporary);
        ::setenv("TMPDIR", temporary.c_str(), 1);
    }
    ~UpdateService() override { ::unsetenv("TMPDIR"); }

    std::filesystem::path temporary = scratch / "tmp";
    std::filesystem::path downloads = scratch / "Downloads";
    std::string publicKey = makeKeys(scratch / "keys");
    CenterUpdateService service;

    CenterError catalogFailure(const std::string& address) {
        return failureOf<CenterError>(
            [&] { static_cast<void>(service.fetchCatalog(address, publicKey)); });
    }

    // An artifact served at /artifact with `content`, described by its true size and digest.
    ReleaseArtifact publish(const std::string& content) {
        server.route("/artifact", HttpsResponse::bytes(content));
        std::filesystem::path original = scratch.write("original", content);
        return {server.url("/artifact"), CenterCore::sha256(original),
                static_cast<std::int64_t>(content.size()), ArtifactFormat::zip};
    }

    CenterError downloadFailure(const ReleaseArtifact& artifact) {
        return failureOf<CenterError>(
            [&] { static_cast<void>(service.download(artifact, downloads)); });
    }
};

TEST_F(UpdateService, FetchesAndVerifiesTheSignedCatalogLeavingNothingBehind) {
    server.route("/catalog", HttpsResponse::bytes(signedCatalog(scratch / "keys")));
    EXPECT_EQ(service.fetchCatalog(server.url("/catalog"), publicKey), bundledCatalog());
    EXPECT_TRUE(entries(temporary).empty());
}

TEST_F(UpdateService, RefusesAnInsecureCatalogAddressBeforeAnyWork) {
    for (const std::string& address : {server.url("/catalog", "user@127.0.0.1"),
                                       "http://127.0.0.1:" + std::to_string(server.port())}) {
        EXPECT_EQ(catalogFailure(address),
                  CenterError::invalid("更新地址必须使用 HTTPS，且不能包含用户名或密码。"))
            << address;
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(entries(temporary).empty());
}

TEST_F(UpdateService, RefusesAnOversizeOrForeignCatalogLeavingNoFolder) {
    server.route("/huge", HttpsResponse::bytes(std::string(8 * 1024 * 1024 + 1, ' ')));
    EXPECT_EQ(catalogFailure(server.url("/huge")),
              CenterError::network("下载内容超过发布清单允许的大小。"));

    static_cast<void>(makeKeys(scratch / "stranger"));
    server.route("/forged", HttpsResponse::bytes(signedCatalog(scratch / "stranger")));
    EXPECT_EQ(catalogFailure(server.url("/forged")), CenterError::signature());
    EXPECT_TRUE(entries(temporary).empty());
}

TEST_F(UpdateService, DownloadsAVerifiedArtifactUnderAFreshName) {
    ReleaseArtifact artifact = publish("release package");
    std::vector<double> progress;
    std::filesystem::path first =
        service.download(artifact, downloads, [&](double value) { progress.push_back(value); });
    EXPECT_EQ(first.parent_path(), downloads);
    // "KESTRYN-", a fresh 36-character UUID and the format's extension.
    std::string name = first.filename().string();
    EXPECT_TRUE(name.starts_with("KESTRYN-") && name.ends_with(".zip") && name.size() == 48)
        << name;
    EXPECT_EQ(progress.back(), 1.0);

    artifact.format = ArtifactFormat::dmg;
    std::filesystem::path second = service.download(artifact, downloads);
    EXPECT_EQ(second.extension(), ".dmg");
    EXPECT_EQ(entries(downloads).size(), 2u);
}

TEST_F(UpdateService, RefusesAnInvalidArtifactWithoutCreatingAnything) {
    ReleaseArtifact artifact = publish("release package");
    artifact.byteCount = 0;
    EXPECT_EQ(downloadFailure(artifact), CenterError::invalid("安装包的地址、大小或校验值无效。"));
    EXPECT_FALSE(std::filesystem::exists(downloads));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateService, RemovesAFileWhoseDigestDiffersButKeepsTheFolder) {
    ReleaseArtifact artifact = publish("release package");
    server.route("/artifact", HttpsResponse::bytes("release packagf"));
    EXPECT_EQ(downloadFailure(artifact), CenterError::checksum());
    ASSERT_TRUE(std::filesystem::is_directory(downloads));
    EXPECT_TRUE(entries(downloads).empty());
}

TEST_F(UpdateService, AStopDuringOrAfterTheTransferLeavesNoFile) {
    ReleaseArtifact artifact = publish(std::string(100'000, 'a'));
    std::stop_source midway;
    auto stopMidway = [&](double value) {
        if (value < 1.0) {
            midway.request_stop();
        }
    };
    EXPECT_TRUE(failureOf<TransferError>([&] {
                    static_cast<void>(
                        service.download(artifact, downloads, stopMidway, midway.get_token()));
                }).cancelled());
    EXPECT_TRUE(entries(downloads).empty());

    std::stop_source late;
    auto stopAtTheEnd = [&](double value) {
        if (value == 1.0) {
            late.request_stop();
        }
    };
    EXPECT_THROW(
        static_cast<void>(service.download(artifact, downloads, stopAtTheEnd, late.get_token())),
        CancellationError);
    EXPECT_TRUE(entries(downloads).empty());
}

} // namespace
