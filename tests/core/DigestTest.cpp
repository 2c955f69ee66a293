#include "core/Digest.h"

#include "core/CenterError.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/Hex.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace {

struct Vector {
    std::string message;
    std::string digest;
};

// The (Len, Msg, MD) records of a NIST CAVP response file. Its lines end in CR LF: the message's
// digits come in pairs, which leaves the CR out, and the digest is its first 64 characters.
std::vector<Vector> nistVectors(const char* name) {
    std::ifstream file(std::string(KESTRYN_TEST_DATA "/nist-cavp-sha256/") + name);
    std::vector<Vector> vectors;
    std::string line;
    long bits = 0;
    std::string message;
    while (std::getline(file, line)) {
        if (line.starts_with("Len = ")) {
            bits = std::stol(line.substr(6));
        } else if (line.starts_with("Msg = ")) {
            message = bits == 0 ? "" : hexToBytes(line.substr(6));
        } else if (line.starts_with("MD = ")) {
            vectors.push_back({message, line.substr(5, 64)});
        }
    }
    return vectors;
}

class Digest : public ::testing::Test {
  protected:
    TemporaryDirectory folder;

    // The digest coreutils' sha256sum gives the file: an implementation of its own.
    static std::string sha256sum(const std::filesystem::path& file) {
        return runProgram("/usr/bin/sha256sum", {file.string()}).out.substr(0, 64);
    }
    std::filesystem::path randomFile(std::size_t count) const {
        std::mt19937 generator(static_cast<unsigned>(count));
        std::string bytes(count, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(generator());
        }
        return folder.write("random", bytes);
    }
};

// The NIST vectors, and sha256sum's digest of files at and around the 1 MiB read size.
TEST_F(Digest, MatchesTheNISTVectorsAndSha256sumAcrossReadBoundaries) {
    for (const char* name : {"SHA256ShortMsg.rsp", "SHA256LongMsg.rsp"}) {
        std::vector<Vector> vectors = nistVectors(name);
        ASSERT_GE(vectors.size(), 64u) << name;
        for (const Vector& vector : vectors) {
            EXPECT_EQ(CenterCore::sha256(folder.write("message", vector.message)), vector.digest);
        }
    }
    constexpr std::size_t mebibyte = 1024 * 1024;
    for (std::size_t size : {mebibyte - 1, mebibyte, mebibyte + 1, 3 * mebibyte + 7}) {
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
    EXPECT_THAT(verifying(4097, upper), failed);
    EXPECT_THAT(verifying(4096, std::string(64, '0')), failed);
}

} // namespace
