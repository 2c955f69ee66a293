#include "transport/CenterUpdateService.h"

#include "core/CenterError.h"
#include "core/Digest.h"
#include "tests/transport/CatalogSigner.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/CancellationError.h"
#include "transport/TransferError.h"

#include <regex>

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
    CatalogSigner signer;
    CenterUpdateService service;

    CenterError catalogFailure(const std::string& address) {
        return failureOf<CenterError>(
            [&] { static_cast<void>(service.fetchCatalog(address, signer.publicKey())); });
    }

    // An artifact served at /artifact with `content`, described by its true size and digest.
    ReleaseArtifact publish(const std::string& content) {
        server.route("/artifact", HttpsResponse::bytes(content));
        std::filesystem::path original = scratch.write("original", content);
        return {server.url("/artifact"), CenterCore::sha256(original),
                static_cast<std::int64_t>(content.size()), ArtifactFormat::zip};
    }

    void expectNoWorkFolder() { EXPECT_TRUE(entries(temporary).empty()); }
};

TEST_F(UpdateService, FetchesAndVerifiesTheSignedCatalogLeavingNothingBehind) {
    server.route("/catalog", HttpsResponse::bytes(signer.envelope(CatalogSigner::sampleCatalog())));
    EXPECT_EQ(service.fetchCatalog(server.url("/catalog"), signer.publicKey()),
              CatalogSigner::sampleCatalog());
    expectNoWorkFolder();
}

TEST_F(UpdateService, RefusesAnInsecureCatalogAddressBeforeAnyWork) {
    const CenterError insecure =
        CenterError::invalid("更新地址必须使用 HTTPS，且不能包含用户名或密码。");
    EXPECT_EQ(catalogFailure("http://127.0.0.1:" + std::to_string(server.port()) + "/catalog"),
              insecure);
    EXPECT_EQ(catalogFailure(server.url("/catalog", "user@127.0.0.1")), insecure);
    EXPECT_TRUE(server.requests().empty());
    expectNoWorkFolder();
}

TEST_F(UpdateService, RefusesAnOversizeOrForeignCatalogLeavingNoFolder) {
    server.route("/huge", HttpsResponse::bytes(std::string(8 * 1024 * 1024 + 1, ' ')));
    EXPECT_EQ(catalogFailure(server.url("/huge")),
              CenterError::network("下载内容超过发布清单允许的大小。"));
    expectNoWorkFolder();

    CatalogSigner stranger;
    server.route("/forged",
                 HttpsResponse::bytes(stranger.envelope(CatalogSigner::sampleCatalog())));
    EXPECT_EQ(catalogFailure(server.url("/forged")), CenterError::signature());
    expectNoWorkFolder();
}

TEST_F(UpdateService, DownloadsAVerifiedArtifactUnderAFreshName) {
    ReleaseArtifact artifact = publish("release package");
    std::vector<double> progress;
    std::filesystem::path first =
        service.download(artifact, downloads, [&](double value) { progress.push_back(value); });
    EXPECT_EQ(first.parent_path(), downloads);
    EXPECT_TRUE(
        std::regex_match(first.filename().string(),
                         std::regex("KESTRYN-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.zip")));
    EXPECT_EQ(progress.back(), 1.0);

    artifact.format = ArtifactFormat::dmg;
    std::filesystem::path second = service.download(artifact, downloads);
    EXPECT_NE(second, first);
    EXPECT_EQ(second.extension(), ".dmg");
    EXPECT_EQ(entries(downloads).size(), 2u);
}

TEST_F(UpdateService, RefusesAnInvalidArtifactWithoutCreatingAnything) {
    ReleaseArtifact artifact = publish("release package");
    artifact.byteCount = 0;
    EXPECT_EQ(
        failureOf<CenterError>([&] { static_cast<void>(service.download(artifact, downloads)); }),
        CenterError::invalid("安装包的地址、大小或校验值无效。"));
    EXPECT_FALSE(std::filesystem::exists(downloads));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateService, RemovesAFileWhoseDigestDiffersButKeepsTheFolder) {
    ReleaseArtifact artifact = publish("release package");
    server.route("/artifact", HttpsResponse::bytes("release packagf"));
    EXPECT_EQ(
        failureOf<CenterError>([&] { static_cast<void>(service.download(artifact, downloads)); }),
        CenterError::checksum());
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
