#include "installer/LegacyIcon.h"

#include "core/CenterError.h"
#include "core/Digest.h"
#include "tests/support/TemporaryDirectory.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;
using Status = AttributeResult::Status;

const std::string finderInfo = "com.apple.FinderInfo";
const std::string resourceFork = "com.apple.ResourceFork";

// Attributes held in memory, able to report sizes Linux cannot store and to fail on request.
class ScriptedAttributes : public ExtendedAttributes {
  public:
    std::map<std::string, std::string> values;
    std::map<std::string, std::size_t> reportedSizes;
    std::set<std::string> failingSizes, shortReads, failingWrites, failingRemovals;
    int writes = 0;

    AttributeResult attributeSize(const fs::path&, const std::string& name) override {
        if (failingSizes.contains(name)) {
            return AttributeResult::failed();
        }
        if (auto size = reportedSizes.find(name); size != reportedSizes.end()) {
            return AttributeResult::done(size->second);
        }
        auto value = values.find(name);
        return value == values.end() ? AttributeResult::absent()
                                     : AttributeResult::done(value->second.size());
    }
    AttributeResult readAttribute(const fs::path&, const std::string& name,
                                  std::span<char> buffer) override {
        if (auto value = values.find(name); value != values.end()) {
            std::copy_n(value->second.begin(), std::min(value->second.size(), buffer.size()),
                        buffer.begin());
        }
        std::size_t count = shortReads.contains(name) ? buffer.size() - 1 : buffer.size();
        return AttributeResult::done(count);
    }
    AttributeResult writeAttribute(const fs::path&, const std::string& name,
                                   std::span<const char> value) override {
        ++writes;
        if (failingWrites.contains(name)) {
            return AttributeResult::failed();
        }
        values[name].assign(value.begin(), value.end());
        return AttributeResult::done();
    }
    AttributeResult removeAttribute(const fs::path&, const std::string& name) override {
        ++writes;
        if (failingRemovals.contains(name)) {
            return AttributeResult::failed();
        }
        return values.erase(name) == 1 ? AttributeResult::done() : AttributeResult::absent();
    }
};

void expectInstallError(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        FAIL() << "no error, expected " << message;
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), CenterError::Kind::install);
        EXPECT_EQ(error.payload(), message);
    }
}

// Real folders with real `user.` attributes on the test's file system.
class LegacyIcon : public ::testing::Test {
  protected:
    TemporaryDirectory temp;
    fs::path bundle = temp / "Sample.app";
    fs::path iconFile = bundle / legacyIconFileName;
    LinuxExtendedAttributes attributes;

    void SetUp() override {
        fs::create_directories(bundle / "Contents");
        if (attributes.writeAttribute(bundle, "probe", std::string("x")).status != Status::done) {
            GTEST_SKIP() << "this file system refuses user extended attributes";
        }
        static_cast<void>(attributes.removeAttribute(bundle, "probe"));
    }

    void set(const fs::path& item, const std::string& name, const std::string& value) {
        ASSERT_EQ(attributes.writeAttribute(item, name, value).status, Status::done);
    }
};

TEST_F(LegacyIcon, ReadsFolderAndIconFileMetadataExactly) {
    std::string info(32, '\0');
    info[8] = 'i';
    set(bundle, finderInfo, info);
    set(bundle, "com.example.other", "ignored");
    temp.write(iconFile, "icon bytes");
    set(iconFile, finderInfo, info);
    set(iconFile, resourceFork, std::string("fork\0data", 9));

    LegacyIconState state = legacyIconState(bundle, attributes);
    EXPECT_EQ(state.folderAttributes, (IconAttributes{{finderInfo, info}}));
    EXPECT_TRUE(state.hasIconFile);
    EXPECT_EQ(state.iconFileAttributes,
              (IconAttributes{{finderInfo, info}, {resourceFork, std::string("fork\0data", 9)}}));
    EXPECT_EQ(state.iconFileDigest, CenterCore::sha256(iconFile));
}

TEST_F(LegacyIcon, EmptyAttributeDiffersFromMissingOne) {
    set(bundle, resourceFork, "");
    EXPECT_EQ(readIconAttributes(bundle, attributes), (IconAttributes{{resourceFork, ""}}));
    EXPECT_NE(legacyIconState(bundle, attributes), LegacyIconState{});
}

TEST_F(LegacyIcon, IconFileThatIsALinkOrAFolderIsRefused) {
    temp.write(temp / "image.png", "png");
    fs::create_symlink(temp / "image.png", iconFile);
    expectInstallError([&] { static_cast<void>(legacyIconState(bundle, attributes)); },
                       "旧自定义图标不能是符号链接，原软件未修改。");
    fs::remove(iconFile);
    fs::create_directory(iconFile);
    expectInstallError([&] { static_cast<void>(legacyIconState(bundle, attributes)); },
                       "旧自定义图标不是普通文件，原软件未修改。");
}

TEST_F(LegacyIcon, ChangedIconByteOrLostAttributeMakesStatesDiffer) {
    temp.write(iconFile, "icon bytes");
    set(iconFile, resourceFork, "fork");
    LegacyIconState before = legacyIconState(bundle, attributes);

    temp.write(iconFile, "icon bytez");
    EXPECT_NE(legacyIconState(bundle, attributes), before);
    temp.write(iconFile, "icon bytes");
    EXPECT_EQ(legacyIconState(bundle, attributes), before);
    ASSERT_EQ(attributes.removeAttribute(iconFile, resourceFork).status, Status::done);
    EXPECT_NE(legacyIconState(bundle, attributes), before);
}

TEST(LegacyIconAttributes, ReplaceWithWhatIsThereWritesNothing) {
    ScriptedAttributes attributes;
    attributes.values = {{finderInfo, "info"}, {resourceFork, "fork"}};
    replaceIconAttributes("Sample.app", attributes.values, attributes);
    EXPECT_EQ(attributes.writes, 0);
}

TEST(LegacyIconAttributes, RemovingAnAttributeThatVanishedMeanwhileIsNoError) {
    ScriptedAttributes attributes;
    attributes.reportedSizes = {{finderInfo, 4}};
    EXPECT_NO_THROW(replaceIconAttributes("Sample.app", {}, attributes));
}

TEST(LegacyIconAttributes, AttributeOfExactly8MiBIsAcceptedOneByteMoreIsRefused) {
    ScriptedAttributes attributes;
    attributes.reportedSizes = {{resourceFork, maximumIconAttributeBytes}};
    EXPECT_EQ(readIconAttributes("Sample.app", attributes).at(resourceFork).size(),
              maximumIconAttributeBytes);
    attributes.reportedSizes = {{resourceFork, maximumIconAttributeBytes + 1}};
    expectInstallError([&] { static_cast<void>(readIconAttributes("Sample.app", attributes)); },
                       "旧图标元数据过大，请先检查应用。");
}

TEST(LegacyIconAttributes, FailuresOfEachCallHaveTheirOwnSentence) {
    ScriptedAttributes attributes;
    attributes.values = {{finderInfo, "info"}};
    attributes.failingSizes = {finderInfo};
    expectInstallError([&] { static_cast<void>(readIconAttributes("Sample.app", attributes)); },
                       "无法读取旧图标元数据，原软件保留。");

    attributes.failingSizes.clear();
    attributes.shortReads = {finderInfo};
    expectInstallError([&] { static_cast<void>(readIconAttributes("Sample.app", attributes)); },
                       "旧图标元数据读取不完整，原软件保留。");

    attributes.shortReads.clear();
    attributes.failingWrites = {resourceFork};
    expectInstallError(
        [&] {
            replaceIconAttributes("Sample.app", {{resourceFork, "fork"}}, attributes);
        },
        "无法恢复旧图标元数据，完整备份保留。");

    attributes.values = {{finderInfo, "info"}};
    attributes.failingRemovals = {finderInfo};
    expectInstallError([&] { replaceIconAttributes("Sample.app", {}, attributes); },
                       "无法移除旧图标元数据，原版将恢复。");
}

} // namespace
