#include "installer/Process.h"

#include "core/CenterError.h"

#include <gtest/gtest.h>
#include <system_error>

namespace {

using CenterInstaller::run;

std::string shell(const std::string& script) {
    return run("/bin/sh", {"-c", script});
}

TEST(Process, ReturnsStandardOutputAndErrorMergedInOrder) {
    EXPECT_EQ(shell("printf one; printf two >&2; printf three"), "onetwothree");
}

TEST(Process, NonZeroExitCarriesTheOutputInTheMessage) {
    try {
        shell("echo 'bundle: a sealed resource is missing' >&2; exit 3");
        FAIL() << "no error";
    } catch (const CenterError& error) {
        EXPECT_EQ(error.kind(), CenterError::Kind::install);
        EXPECT_STREQ(error.what(), "验证或安装未完成：bundle: a sealed resource is missing\n");
    }
}

TEST(Process, DeathBySignalIsAFailure) {
    EXPECT_THROW(shell("kill -9 $$"), CenterError);
}

TEST(Process, MessageKeepsTheFirst1500CharactersNotBytes) {
    // 1,499 ASCII letters then three-byte characters: the cut falls after the first of them.
    try {
        shell("printf '%1499s' '' | tr ' ' x; printf '验证验证'; exit 1");
        FAIL() << "no error";
    } catch (const CenterError& error) {
        EXPECT_EQ(error.payload(), "验证或安装未完成：" + std::string(1499, 'x') + "验");
    }
}

TEST(Process, OutputThatIsNotUTF8IsDropped) {
    try {
        shell("printf 'bad \\377 byte'; exit 1");
        FAIL() << "no error";
    } catch (const CenterError& error) {
        EXPECT_EQ(error.payload(), "验证或安装未完成：");
    }
}

TEST(Process, ReadsLargeOutputWithoutBlocking) {
    EXPECT_EQ(shell("head -c 1000000 /dev/zero").size(), 1000000U);
}

TEST(Process, ToolThatCannotStartThrowsThePlatformError) {
    EXPECT_THROW(run("/nonexistent/tool", {}), std::system_error);
}

} // namespace
