#include "installer/LegacyIcon.h"

#include "core/Digest.h"
#include "tests/installer/InstallFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace CenterInstaller;
using Kind = CenterError::Kind;

const std::string finderInfo = "com.apple.FinderInfo";
const std::string resourceFork = "com.apple.ResourceFork";

// Real attributes whose sizes and reads come back as the platform could report them, for what
// no file system here can be made to hold: more than the limit, or a value that reads short.
// (Failing attribute calls on real attributes are proven in InstallFaultTest.)
class Misreporting : public LinuxExtendedAttributes {
  public:
    std::size_t size = 0;
    bool readsShort = false;

    AttributeResult attributeSize(const fs::path&, const std::string&) override {
        return AttributeResult::done(size);
    }
    AttributeResult readAttribute(const fs::path&, const std::string&,
                                  std::span<char> buffer) override {
        return AttributeResult::done(buffer.size() - (readsShort ? 1 : 0));
    }
};

// Real bundles with real `user.` attributes on the test's file system.
using LegacyIcon = InstallFixture;

// The state the installer compares before and after every step: exact, and moved by any change.
TEST_F(LegacyIcon, StateHoldsFolderAndIconFileMetadataExactlyAndSeesAChange) {
    installOldVersion();
    ASSERT_TRUE(setAttribute(installedBundle, resourceFork, ""));
    ASSERT_TRUE(setAttribute(installedBundle, "com.example.other", "ignored"));
    fs::path icon = installedBundle / legacyIconFileName;
    const LegacyIconState state{
        {{finderInfo, std::string("\0\0\0\0icon", 8)}, {resourceFork, ""}},
        true,
        {{finderInfo, std::string(32, 'I')}, {resourceFork, std::string(2000, 'R')}},
        CenterCore::sha256(icon)};
    EXPECT_EQ(legacyIconState(installedBundle, attributes), state);
    temp.write(icon, "icon imagf");
    EXPECT_NE(legacyIconState(installedBundle, attributes), state);
}

TEST_F(LegacyIcon, IconFileThatIsALinkOrAFolderIsRefused) {
    fs::path icon = installedBundle / legacyIconFileName;
    fs::create_directories(installedBundle);
    fs::create_symlink(temp.write("image.png", "png"), icon);
    auto state = [&] { static_cast<void>(legacyIconState(installedBundle, attributes)); };
    EXPECT_THAT(state,
                ThrowsCenterError(Kind::install, "旧自定义图标不能是符号链接，原软件未修改。"));
    fs::remove(icon);
    fs::create_directory(icon);
    EXPECT_THAT(state,
                ThrowsCenterError(Kind::install, "旧自定义图标不是普通文件，原软件未修改。"));
}

TEST(LegacyIconAttributes, EightMiBAreReadAndMoreOrAShortReadAreRefused) {
    Misreporting attributes;
    attributes.size = maximumIconAttributeBytes;
    EXPECT_EQ(readIconAttributes("Sample.app", attributes).at(resourceFork).size(),
              attributes.size);
    auto reading = [&] { static_cast<void>(readIconAttributes("Sample.app", attributes)); };
    attributes.size = maximumIconAttributeBytes + 1;
    EXPECT_THAT(reading, ThrowsCenterError(Kind::install, "旧图标元数据过大，请先检查应用。"));
    attributes.size = 4;
    attributes.readsShort = true;
    EXPECT_THAT(reading, ThrowsCenterError(Kind::install, "旧图标元数据读取不完整，原软件保留。"));
}

} // namespace
