#include "core/CenterError.h"
#include "core/Digest.h"
#include "core/FileMapping.h"
#include "installer/DifferentialPlan.h"
#include "installer/DifferentialRebuild.h"
#include "publisher/ReleaseZip.h"
#include "tests/support/Bundle.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/Noise.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/ZipWriter.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

const std::string appName = "KESTRYN 回响工坊.app";

// Version 1.0 of the bundle: twenty resources of 100 kB, a compressible text, a Chinese name.
BundleContents firstVersion() {
    BundleContents contents{.version = "1.0"};
    for (unsigned index = 0; index < 20; ++index) {
        contents.files["Resources/样本 " + std::to_string(index) + ".bin"] = noise(index);
    }
    contents.files["Resources/说明.txt"] = std::string(300000, 't');
    return contents;
}

std::span<const unsigned char> bytesOf(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

class DifferentialUpdateTest : public ::testing::Test {
  protected:
    // Packs the bundle with the publisher's own packer, each build a day after the last, as a
    // fresh build touches every file.
    fs::path pack(const std::string& name, const BundleContents& contents, const std::string& app) {
        const fs::path bundle = writeBundle(directory / name, app, contents);
        const auto built = fs::file_time_type::clock::now() + std::chrono::days(++builds_);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(bundle)) {
            fs::last_write_time(entry.path(), built);
        }
        const fs::path package = directory / (name + ".zip");
        (void)CenterPublisher::packRelease(bundle, package);
        return package;
    }

    // The tail as the center reads it: one read at the end, and a second when the directory
    // begins before it.
    DifferentialPlan plan(std::span<const unsigned char> old, const std::string& package) const {
        ByteRange read = differentialTailRead(package.size());
        const ByteRange missing = differentialMissingTail(package.size(), read.offset,
                                                          bytesOf(package).subspan(read.offset));
        read =
            missing.length > 0 ? ByteRange{missing.offset, package.size() - missing.offset} : read;
        return planDifferentialUpdate(old, package.size(), read.offset,
                                      bytesOf(package).subspan(read.offset));
    }

    struct Fetched {
        std::uint64_t bytes = 0;
        std::size_t requests = 0;
    };

    // Rebuilds `package` from `old` with the fetched ranges served from the real new package, in
    // uneven chunks; proves the result is that package, unless told it cannot be, and returns
    // what was fetched.
    Fetched rebuild(const fs::path& old, const std::string& package, bool exact = true) {
        const CenterCore::FileMapping mapping(old);
        const DifferentialPlan planned = plan(mapping.bytes(), package);
        std::uint64_t fetched = 0;
        rebuildDifferentialUpdate(
            planned, mapping.bytes(),
            [&](ByteRange range, const DifferentialSink& sink) {
                for (std::uint64_t done = 0; done < range.length;) {
                    const std::uint64_t count = std::min<std::uint64_t>(range.length - done, 7777);
                    sink(bytesOf(package).subspan(range.offset + done, count));
                    done += count;
                }
                fetched += range.length;
            },
            directory / "rebuilt.zip");
        EXPECT_EQ(CenterCore::sha256(directory / "rebuilt.zip") ==
                      CenterCore::sha256(directory.write("expected.zip", package)),
                  exact);
        EXPECT_EQ(fetched, planned.fetchedBytes);
        EXPECT_GT(planned.reusedBytes, 0u);
        EXPECT_EQ(planned.fetchedBytes + planned.reusedBytes + planned.tail.size(), package.size());
        return {fetched, planned.fetches().size()};
    }

    TemporaryDirectory directory;
    int builds_ = 0;
};

// Each update rebuilt exactly, fetching little more than what changed: the changed entries, the
// small files near them, and the local headers of entries whose records changed (a renamed
// folder). An entry whose record and span are unchanged costs no request.
TEST_F(DifferentialUpdateTest, RebuildsEachUpdateExactlyFromThePublishersPackages) {
    struct Case {
        const char* what;
        std::function<void(BundleContents&)> change;
        std::uint64_t mostFetched;
        std::size_t mostRequests;
        std::string app = appName;
    };
    const std::vector<Case> cases = {
        {"one changed file", [](BundleContents& c) { c.files["Resources/样本 3.bin"] = noise(99); },
         101000, 2},
        {"many changed files",
         [](BundleContents& c) {
             for (unsigned index = 0; index < 20; index += 2) {
                 c.files["Resources/样本 " + std::to_string(index) + ".bin"] = noise(100 + index);
             }
         },
         1000000, 10},
        {"an added and a removed file",
         [](BundleContents& c) {
             c.files.erase("Resources/样本 7.bin");
             c.files["Resources/新增 文件.bin"] = noise(77);
         },
         101000, 2},
        {"a renamed application folder", [](BundleContents&) {}, 100000, 30,
         "KESTRYN 回响工坊 Pro.app"},
        {"1.0 to 3.0",
         [](BundleContents& c) {
             c.version = "3.0";
             c.build = "3";
             c.files["Resources/说明.txt"] = std::string(250000, 'u');
             c.files["Resources/样本 19.bin"] = noise(1919, 150000);
         },
         151000, 3},
    };
    const fs::path old = pack("1.0", firstVersion(), appName);
    for (const Case& update : cases) {
        SCOPED_TRACE(update.what);
        BundleContents contents = firstVersion();
        update.change(contents);
        const std::string package = fileContents(pack(update.what, contents, update.app));
        const Fetched fetched = rebuild(old, package);
        EXPECT_LT(fetched.bytes, update.mostFetched);
        EXPECT_LE(fetched.requests, update.mostRequests);
    }
}

// Streaming packers put each entry's sums in a data descriptor after its data and extra fields
// in its local header; a directory of thousands of entries needs a second tail read.
TEST_F(DifferentialUpdateTest, RebuildsPackagesWithDataDescriptorsAndALargeDirectory) {
    auto package = [](unsigned changed) {
        ZipWriter zip;
        zip.folder("Sample.app/");
        for (unsigned index = 0; index < 4; ++index) {
            ZipEntry& entry =
                zip.file("Sample.app/Contents/Resources/part " + std::to_string(index),
                         index == changed ? noise(50) : noise(index));
            entry.descriptor = true;
            entry.localExtra = std::string(9, 'l');
            entry.method = index % 2 == 0 ? 8 : 0;
        }
        for (unsigned index = 0; index < 3000; ++index) {
            zip.file("Sample.app/Contents/Resources/a folder with a long name/small file " +
                         std::to_string(index),
                     "x")
                .descriptor = true;
        }
        return zip.bytes();
    };
    const fs::path old = directory.write("old.zip", package(9));
    EXPECT_LT(rebuild(old, package(2)).bytes, 800000u);
}

// A local header is not in the directory, so an unchanged record is a guess about it; a packer
// that rewrote a local extra field of the same length makes the guess wrong, and the digest the
// caller proves the rebuilt package by catches it.
TEST_F(DifferentialUpdateTest, AWrongGuessAboutALocalHeaderFailsTheDigest) {
    auto package = [](const std::string& localExtra) {
        ZipWriter zip;
        zip.folder(appName + "/");
        zip.file(appName + "/Contents/Resources/样本.bin", noise(1, 300000)).localExtra =
            localExtra;
        zip.file(appName + "/Contents/Resources/说明.txt", noise(2));
        return zip.bytes();
    };
    const fs::path old = directory.write("old.zip", package("UT-old"));
    (void)rebuild(old, package("UT-new"), false);
}

TEST_F(DifferentialUpdateTest, RefusesTailsThatDoNotParseAndFetchesOfTheWrongLength) {
    const std::string old = fileContents(pack("1.0", firstVersion(), appName));
    // The package with one field of its last record of this kind overwritten.
    const std::string lastEntry = "PK\x01\x02";
    // The tail is read by the inspection's own readers, whose refusals ZipInspectionTest proves;
    // the planner's own: the last entry's data reaching into the directory, then over its
    // predecessor.
    const std::vector<std::pair<std::string, const char*>> cases = {
        {patchedField(old, lastEntry, 20, 0x00100000, 4),
         "安装包的文件记录相互矛盾，无法增量更新。"},
        {patchedField(old, lastEntry, 42, 0, 4), "安装包的文件记录相互矛盾，无法增量更新。"},
    };
    for (const auto& [tail, sentence] : cases) {
        SCOPED_TRACE(sentence);
        EXPECT_THAT([&] { (void)plan(bytesOf(old), tail); },
                    ThrowsCenterError(CenterError::Kind::invalid, sentence));
    }
    const DifferentialPlan planned = plan(bytesOf(old), old);
    for (const int extra : {-1, 1}) {
        EXPECT_THAT(
            [&] {
                rebuildDifferentialUpdate(
                    planned, bytesOf(old),
                    [&](ByteRange range, const DifferentialSink& sink) {
                        sink(bytesOf(old + "!").subspan(range.offset, range.length + extra));
                    },
                    directory / "rebuilt.zip");
            },
            ThrowsCenterError(CenterError::Kind::invalid,
                              "服务器返回的数据长度与请求的范围不符。"));
    }
}

} // namespace
