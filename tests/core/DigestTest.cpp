#include "core/Digest.h"

#include "core/CenterError.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/Noise.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace {

class Digest : public ::testing::Test {
  protected:
    TemporaryDirectory folder;

    // The digest coreutils' sha256sum gives the file: an implementation of its own.
    static std::string sha256sum(const std::filesystem::path& file) {
        return runProgram("/usr/bin/sha256sum", {file.string()}).out.substr(0, 64);
    }
    std::filesystem::path randomFile(std::size_t count) const {
        return folder.write("random", noise(static_cast<unsigned>(count), count));
    }
};

// sha256sum's digest of files at and around the 1 MiB read size, and of the smallest ones.
TEST_F(Digest, MatchesSha256sumAcrossReadBoundaries) {
    constexpr std::size_t mebibyte = 1024 * 1024;
    for (std::size_t size :
         {std::size_t{0}, std::size_t{3}, mebibyte - 1, mebibyte, mebibyte + 1, 3 * mebibyte + 7}) {
        const std::filesystem::path file = randomFile(size);
        EXPECT_EQ(CenterCore::sha256(file), sha256sum(file)) << size;
    }
}

TEST_F(Digest, VerifyFileAcceptsOnlyTheExactSizeAndDigestInEitherCase) {
    const std::filesystem::path file = randomFile(4096);
    std::string upper = sha256sum(file);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const auto verifying = [&](std::int64_t size, const std::string& digest) {
        return [=] {
            CenterCore::verifyFile(file, {"https://x/a", digest, size, ArtifactFormat::zip});
        };
    };
    EXPECT_NO_THROW(verifying(4096, upper)());
    const auto failed =
        ThrowsCenterError(CenterError::Kind::checksum, "安装包校验失败，请重新下载。");
    EXPECT_THAT(verifying(4095, upper), failed);
    EXPECT_THAT(verifying(4096, std::string(64, '0')), failed);
}

} // namespace
