#include "installer/LegacyIcon.h"

#include "core/Digest.h"
#include "tests/installer/InstallFixture.h"

#include <algorithm>

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;

const std::string finderInfo = "com.apple.FinderInfo";
const std::string resourceFork = "com.apple.ResourceFork";

// Attributes held in memory. `failing` names the call that fails for every attribute: "size",
// "read" (one byte short), "write", "remove", or "vanish" (the removal finds nothing).
class ScriptedAttributes : public ExtendedAttributes {
  public:
    IconAttributes values;
    std::string failing;

    AttributeResult attributeSize(const fs::path&, const std::string& name) override {
        auto value = values.find(name);
        if (failing == "size" || value == values.end()) {
            return failing == "size" ? AttributeResult::failed() : AttributeResult::absent();
        }
        return AttributeResult::done(value->second.size());
    }
    AttributeResult readAttribute(const fs::path&, const std::string& name,
                                  std::span<char> buffer) override {
        const std::string& value = values.at(name);
        std::copy_n(value.begin(), std::min(value.size(), buffer.size()), buffer.begin());
        return AttributeResult::done(buffer.size() - (failing == "read" ? 1 : 0));
    }
    AttributeResult writeAttribute(const fs::path&, const std::string& name,
                                   std::span<const char> value) override {
        if (failing == "write") {
            return AttributeResult::failed();
        }
        values[name].assign(value.begin(), value.end());
        return AttributeResult::done();
    }
    AttributeResult removeAttribute(const fs::path&, const std::string& name) override {
        if (failing == "remove") {
            return AttributeResult::failed();
        }
        return values.erase(name) == 1 && failing != "vanish" ? AttributeResult::done()
                                                              : AttributeResult::absent();
    }
};

// Real bundles with real `user.` attributes on the test's file system.
using LegacyIcon = InstallFixture;

TEST_F(LegacyIcon, StateHoldsFolderAndIconFileMetadataExactlyAndSeesEveryChange) {
    installOldVersion();
    ASSERT_TRUE(setAttribute(installedBundle, resourceFork, ""));
    ASSERT_TRUE(setAttribute(installedBundle, "com.example.other", "ignored"));
    fs::path icon = installedBundle / legacyIconFileName;
    LegacyIconState state = legacyIconState(installedBundle, attributes);
    EXPECT_EQ(state,
              (LegacyIconState{
                  {{finderInfo, std::string("\0\0\0\0icon", 8)}, {resourceFork, ""}},
                  true,
                  {{finderInfo, std::string(32, 'I')}, {resourceFork, std::string(2000, 'R')}},
                  CenterCore::sha256(icon)}));

    temp.write(icon, "icon imagf");
    EXPECT_NE(legacyIconState(installedBundle, attributes), state);
    temp.write(icon, "icon image");
    EXPECT_EQ(legacyIconState(installedBundle, attributes), state);
    ASSERT_EQ(attributes.removeAttribute(installedBundle, resourceFork).status,
              AttributeResult::Status::done);
    EXPECT_NE(legacyIconState(installedBundle, attributes), state);
}

TEST_F(LegacyIcon, IconFileThatIsALinkOrAFolderIsRefused) {
    fs::path icon = installedBundle / legacyIconFileName;
    fs::create_directories(installedBundle);
    fs::create_symlink(temp.write("image.png", "png"), icon);
    auto state = [&] { static_cast<void>(legacyIconState(installedBundle, attributes)); };
    EXPECT_THAT(state, ThrowsCenterError(CenterError::Kind::install,
                                         "旧自定义图标不能是符号链接，原软件未修改。"));
    fs::remove(icon);
    fs::create_directory(icon);
    EXPECT_THAT(state, ThrowsCenterError(CenterError::Kind::install,
                                         "旧自定义图标不是普通文件，原软件未修改。"));
}

TEST(LegacyIconAttributes, EachFailingCallHasItsOwnSentence) {
    struct Row {
        std::string failing;
        std::size_t size;
        IconAttributes desired;
        std::string sentence;
    };
    for (const Row& row : std::vector<Row>{
             {"size", 4, {}, "无法读取旧图标元数据，原软件保留。"},
             {"read", 4, {}, "旧图标元数据读取不完整，原软件保留。"},
             {"", maximumIconAttributeBytes + 1, {}, "旧图标元数据过大，请先检查应用。"},
             {"write", 4, {{resourceFork, "fork"}}, "无法恢复旧图标元数据，完整备份保留。"},
             {"remove", 4, {}, "无法移除旧图标元数据，原版将恢复。"}}) {
        ScriptedAttributes scripted;
        scripted.values = {{finderInfo, std::string(row.size, 'i')}};
        scripted.failing = row.failing;
        SCOPED_TRACE(row.sentence);
        EXPECT_THAT([&] { replaceIconAttributes("Sample.app", row.desired, scripted); },
                    ThrowsCenterError(CenterError::Kind::install, row.sentence));
    }
}

TEST(LegacyIconAttributes, EightMiBUnchangedAndVanishedAttributesAreNoError) {
    ScriptedAttributes scripted;
    scripted.values = {{finderInfo, "info"},
                       {resourceFork, std::string(maximumIconAttributeBytes, 'r')}};
    EXPECT_EQ(readIconAttributes("Sample.app", scripted), scripted.values);
    scripted.failing = "write";
    EXPECT_NO_THROW(replaceIconAttributes("Sample.app", scripted.values, scripted));
    scripted.failing = "vanish";
    EXPECT_NO_THROW(replaceIconAttributes("Sample.app", {}, scripted));
}

} // namespace
