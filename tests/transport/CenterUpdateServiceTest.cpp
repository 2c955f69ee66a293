#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "tests/transport/LoopbackServer.h"
#include "transport/TransferError.h"

#include <future>
#include <set>

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
    CenterUpdateService service;

    CenterError catalogFailure(const std::string& address) {
        return failureOf<CenterError>(
            [&] { static_cast<void>(service.fetchCatalog(address, publicKey())); });
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
    server.route("/catalog", HttpsResponse::bytes(signedCatalog()));
    EXPECT_EQ(service.fetchCatalog(server.url("/catalog"), publicKey()), bundledCatalog());
    EXPECT_TRUE(entries(temporary).empty());
}

// Which addresses are secure is the core's rule; here that it comes before any work.
TEST_F(UpdateService, RefusesAnInsecureCatalogAddressBeforeAnyWork) {
    EXPECT_EQ(catalogFailure(server.url("/catalog", "user@127.0.0.1")),
              CenterError::invalid("更新地址必须使用 HTTPS，且不能包含用户名或密码。"));
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(entries(temporary).empty());
}

TEST_F(UpdateService, RefusesAnOversizeOrForeignCatalogLeavingNoFolder) {
    server.route("/huge", HttpsResponse::bytes(std::string(8 * 1024 * 1024 + 1, ' ')));
    EXPECT_EQ(catalogFailure(server.url("/huge")),
              CenterError::network("下载内容超过发布清单允许的大小。"));

    server.route("/forged", HttpsResponse::bytes(signedCatalog("stranger")));
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

TEST_F(UpdateService, DownloadsOfOneArtifactTakeTurnsAndReuseAFileThatStillProves) {
    ReleaseArtifact artifact = publish(numbered(2 * 1024 * 1024 + 5, 3));
    std::vector<std::future<std::filesystem::path>> runs;
    for (int run = 0; run < 3; ++run) {
        runs.push_back(
            std::async(std::launch::async, [&] { return service.download(artifact, downloads); }));
    }
    std::set<std::filesystem::path> files;
    for (std::future<std::filesystem::path>& run : runs) {
        files.insert(run.get());
    }
    // One transfer, one file, and no lock or partial file left behind.
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(entries(downloads), std::vector<std::string>{files.begin()->filename().string()});

    // A kept file that no longer proves is never handed out: the artifact is fetched anew.
    std::filesystem::resize_file(*files.begin(), 5);
    std::filesystem::resize_file(*files.begin(), artifact.byteCount);
    EXPECT_NE(service.download(artifact, downloads), *files.begin());
    EXPECT_EQ(server.requests().size(), 2u);
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

// A 3 MiB artifact served with an ETag, whose first attempt breaks at `cut`; the second attempt
// meets the server as `second` describes it.
class ResumedDownload : public UpdateService {
  protected:
    std::string content = numbered(3 * 1024 * 1024 + 17, 7);

    HttpsResponse served(const std::string& bytes, const std::string& etag) {
        HttpsResponse response = HttpsResponse::bytes(bytes);
        response.etag = etag;
        return response;
    }

    std::filesystem::path partial(const ReleaseArtifact& artifact) {
        return CenterUpdateService::partialFile(artifact, downloads);
    }

    // The first attempt, cut after `cut` bytes: a transfer failure that keeps what arrived.
    void cutAt(const ReleaseArtifact& artifact, std::uint64_t cut) {
        HttpsResponse response = served(content, "\"v1\"");
        response.cutAt = cut;
        server.route("/artifact", response);
        static_cast<void>(failureOf<TransferError>(
            [&] { static_cast<void>(service.download(artifact, downloads)); }));
        ASSERT_TRUE(std::filesystem::exists(partial(artifact)));
        EXPECT_LE(std::filesystem::file_size(partial(artifact)), cut);
    }

    // The file the second attempt delivers, proven; the request it sent.
    std::string finish(const ReleaseArtifact& artifact, const std::string& expected) {
        std::filesystem::path file = service.download(artifact, downloads);
        EXPECT_EQ(CenterCore::readFileContents(file, expected.size()) == expected, true);
        EXPECT_EQ(entries(downloads), std::vector<std::string>{file.filename().string()});
        return server.requests().back().head;
    }
};

TEST_F(ResumedDownload, ACutTransferResumesWithARangeGuardedByTheValidator) {
    for (std::uint64_t cut : {1ULL, 1024ULL * 1024 - 1, 2'500'000ULL}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ReleaseArtifact artifact = publish(content);
        cutAt(artifact, cut);
        std::uintmax_t kept = std::filesystem::file_size(partial(artifact));
        server.route("/artifact", served(content, "\"v1\""));
        std::string request = finish(artifact, content);
        if (kept > 0) {
            EXPECT_NE(request.find("Range: bytes=" + std::to_string(kept) + "-"), std::string::npos)
                << request;
            EXPECT_NE(request.find("If-Range: \"v1\""), std::string::npos) << request;
        }
        std::filesystem::remove_all(downloads);
    }
}

TEST_F(ResumedDownload, StartsOverWhenTheServerOrThePartialFileCannotBeTrusted) {
    const std::string changed = numbered(content.size(), 9);
    HttpsResponse withoutRanges = served(content, "\"v1\"");
    withoutRanges.ranges = false;
    struct Row {
        const char* name;
        HttpsResponse second;
        std::string expected;
        bool longer;
    } rows[] = {
        {"a server without range support", withoutRanges, content, false},
        {"a changed file with a new validator", served(changed, "\"v2\""), changed, false},
        {"a partial file longer than the artifact", served(content, "\"v1\""), content, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReleaseArtifact artifact = publish(row.expected);
        cutAt(artifact, 1'000'000);
        if (row.longer) {
            scratch.write(partial(artifact).lexically_relative(scratch.path()),
                          row.expected + "surplus");
        }
        server.route("/artifact", row.second);
        finish(artifact, row.expected);
        std::filesystem::remove_all(downloads);
    }
}

TEST_F(ResumedDownload, APartialFileWhoseBytesWereSpoiledFailsTheProofAndIsGone) {
    ReleaseArtifact artifact = publish(content);
    cutAt(artifact, 2'000'000);
    scratch.write(partial(artifact).lexically_relative(scratch.path()), std::string(1000, 'x'));
    server.route("/artifact", served(content, "\"v1\""));
    EXPECT_EQ(downloadFailure(artifact), CenterError::checksum());
    EXPECT_TRUE(entries(downloads).empty());
    finish(artifact, content);
}

} // namespace
