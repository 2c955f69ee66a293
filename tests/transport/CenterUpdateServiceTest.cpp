#include "transport/CenterUpdateService.h"

#include "core/CancellationError.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestKeys.h"
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
    std::string publicKey = CenterCore::loadPublicKeyFile(testKeys() / "PublicKey.txt");

    // The envelope `kestryn-publish sign` makes of the bundled catalog with a committed key.
    static std::string signedCatalog() {
        return outputOf(KESTRYN_BIN_DIR "/kestryn-publish",
                        {"sign", KESTRYN_RESOURCES_DIR "/Catalog.json", "--key",
                         (testKeys() / "private.key").string()});
    }

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

// The signed catalog arrives verified; an insecure address is refused before any request (which
// addresses are secure is the core's rule), an oversize or foreign one after it. Nothing is left.
TEST_F(UpdateService, FetchesOnlyASignedCatalogOverHTTPSWithinTheCapLeavingNothing) {
    server.route("/catalog", HttpsResponse::bytes(signedCatalog()));
    EXPECT_EQ(service.fetchCatalog(server.url("/catalog"), publicKey),
              CenterCore::decodeCatalog(
                  CenterCore::readFileContents(KESTRYN_RESOURCES_DIR "/Catalog.json", 1 << 20)));
    EXPECT_EQ(catalogFailure(server.url("/catalog", "user@127.0.0.1")),
              CenterError::invalid("更新地址必须使用 HTTPS，且不能包含用户名或密码。"));
    EXPECT_EQ(server.requests().size(), 1u);
    server.route("/huge", HttpsResponse::bytes(std::string(8 * 1024 * 1024 + 1, ' ')));
    EXPECT_EQ(catalogFailure(server.url("/huge")),
              CenterError::network("下载内容超过发布清单允许的大小。"));
    EXPECT_TRUE(entries(temporary).empty());
}

// Downloads of one artifact at once take turns: one transfer, one verified file under a fresh
// name ("KESTRYN-", a 36-character UUID, the format's extension), no lock or partial file left.
// A kept file that no longer proves is never handed out; another format is another file.
TEST_F(UpdateService, DownloadsOfOneArtifactTakeTurnsAndReuseAFileThatStillProves) {
    ReleaseArtifact artifact = publish(noise(3, 2 * 1024 * 1024 + 5));
    std::vector<std::future<std::filesystem::path>> runs;
    for (int run = 0; run < 3; ++run) {
        runs.push_back(
            std::async(std::launch::async, [&] { return service.download(artifact, downloads); }));
    }
    std::set<std::filesystem::path> files;
    for (std::future<std::filesystem::path>& run : runs) {
        files.insert(run.get());
    }
    ASSERT_EQ(files.size(), 1u);
    const std::filesystem::path file = *files.begin();
    const std::string name = file.filename().string();
    EXPECT_TRUE(file.parent_path() == downloads && name.starts_with("KESTRYN-") &&
                name.ends_with(".zip") && name.size() == 48)
        << file;
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(entries(downloads), std::vector{file});

    std::filesystem::resize_file(file, 5);
    std::filesystem::resize_file(file, artifact.byteCount);
    EXPECT_NE(service.download(artifact, downloads), file);
    EXPECT_EQ(server.requests().size(), 2u);
    artifact.format = ArtifactFormat::dmg;
    EXPECT_EQ(service.download(artifact, downloads).extension(), ".dmg");
}

// An artifact that cannot be valid is refused before anything is created; a file whose digest
// differs is removed, its folder kept.
TEST_F(UpdateService, RefusesAnInvalidArtifactAndRemovesAFileWhoseDigestDiffers) {
    ReleaseArtifact artifact = publish("release package");
    artifact.byteCount = 0;
    EXPECT_EQ(downloadFailure(artifact), CenterError::invalid("安装包的地址、大小或校验值无效。"));
    EXPECT_FALSE(std::filesystem::exists(downloads));
    EXPECT_TRUE(server.requests().empty());

    artifact = publish("release package");
    server.route("/artifact", HttpsResponse::bytes("release packagf"));
    EXPECT_EQ(downloadFailure(artifact), CenterError::checksum());
    ASSERT_TRUE(std::filesystem::is_directory(downloads));
    EXPECT_TRUE(entries(downloads).empty());
}

// A stop during the transfer cancels it; one after the last byte, before the file is handed
// out, still cancels. Neither leaves a file.
TEST_F(UpdateService, AStopDuringOrAfterTheTransferLeavesNoFile) {
    ReleaseArtifact artifact = publish(std::string(100'000, 'a'));
    for (const bool atTheEnd : {false, true}) {
        std::stop_source stop;
        auto stopping = [&](double value) {
            if ((value == 1.0) == atTheEnd) {
                stop.request_stop();
            }
        };
        try {
            static_cast<void>(service.download(artifact, downloads, stopping, stop.get_token()));
            ADD_FAILURE() << "not cancelled";
        } catch (const TransferError& error) {
            EXPECT_TRUE(error.cancelled() && !atTheEnd);
            EXPECT_STREQ(error.what(), "操作已取消。");
        } catch (const CancellationError&) {
            EXPECT_TRUE(atTheEnd);
        }
        EXPECT_TRUE(entries(downloads).empty());
    }
}

// A 3 MiB artifact served with an ETag, whose first attempt breaks at `cut`; the second attempt
// meets the server as a case describes it.
class ResumedDownload : public UpdateService {
  protected:
    std::string content = noise(7, 3 * 1024 * 1024 + 17);
    HttpsResponse served = {.body = content, .etag = "\"v1\""};

    std::filesystem::path partial(const ReleaseArtifact& artifact) {
        return CenterUpdateService::partialFile(artifact, downloads);
    }

    // The first attempt, cut after `cut` bytes: a transfer failure that keeps what arrived.
    void cutAt(const ReleaseArtifact& artifact, std::uint64_t cut) {
        HttpsResponse response = served;
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
        EXPECT_EQ(entries(downloads), std::vector{file});
        return server.requests().back().head;
    }
};

TEST_F(ResumedDownload, ACutTransferResumesWithARangeGuardedByTheValidator) {
    for (std::uint64_t cut : {1ULL, 1024ULL * 1024 - 1, 2'500'000ULL}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ReleaseArtifact artifact = publish(content);
        cutAt(artifact, cut);
        std::uintmax_t kept = std::filesystem::file_size(partial(artifact));
        server.route("/artifact", served);
        std::string request = finish(artifact, content);
        if (kept > 0) {
            EXPECT_NE(request.find("Range: bytes=" + std::to_string(kept) + "-"), std::string::npos)
                << request;
            EXPECT_NE(request.find("If-Range: \"v1\""), std::string::npos) << request;
        }
        std::filesystem::remove_all(downloads);
    }
}

TEST_F(ResumedDownload, StartsOverOrFailsTheProofWhenTheServerOrThePartialFileCannotBeTrusted) {
    const std::string changed = noise(9, content.size());
    // What the partial file is changed to after the cut, when anything; a spoiled one fails the
    // proof once and is gone.
    struct Row {
        const char* name;
        HttpsResponse second;
        std::string expected;
        std::string partial = {};
        bool spoiled = false;
    } rows[] = {
        {"a server without range support",
         {.body = content, .etag = "\"v1\"", .ranges = false},
         content},
        {"a changed file with a new validator", {.body = changed, .etag = "\"v2\""}, changed},
        {"a partial file longer than the artifact", served, content, content + "surplus"},
        {"a partial file whose bytes were spoiled", served, content, std::string(1000, 'x'), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReleaseArtifact artifact = publish(row.expected);
        cutAt(artifact, 1'000'000);
        if (!row.partial.empty()) {
            scratch.write(partial(artifact).lexically_relative(scratch.path()), row.partial);
        }
        server.route("/artifact", row.second);
        if (row.spoiled) {
            EXPECT_EQ(downloadFailure(artifact), CenterError::checksum());
            EXPECT_TRUE(entries(downloads).empty());
        }
        finish(artifact, row.expected);
        std::filesystem::remove_all(downloads);
    }
}

} // namespace
