#include "core/Versions.h"

#include <gtest/gtest.h>

using CenterCore::numericCompare;

namespace {

const auto ascending = std::strong_ordering::less;
const auto same = std::strong_ordering::equal;
const auto descending = std::strong_ordering::greater;

TEST(Versions, NumericVersionsAreDottedRunsOfASCIIDigits) {
    for (const char* numeric : {"1", "10.2.03", "10.15", "2024.06.01.3"}) {
        EXPECT_TRUE(CenterCore::isNumericVersion(numeric)) << numeric;
    }
    for (const char* other : {"", "1.", ".1", "1..2", "1.2b", "a1", "1,2", "1.0a", "١٢", " 1"}) {
        EXPECT_FALSE(CenterCore::isNumericVersion(other)) << other;
    }
    EXPECT_TRUE(CenterCore::isNumericVersion(std::string(128, '7')));
    EXPECT_FALSE(CenterCore::isNumericVersion(std::string(129, '7')));
}

TEST(Versions, NumericCompareGoesComponentByComponentAtAnyLength) {
    EXPECT_EQ(numericCompare("1.10", "1.9"), descending);
    EXPECT_EQ(numericCompare("1.2", "1.2.0"), same);
    EXPECT_EQ(numericCompare("01.002", "1.2"), same);
    EXPECT_EQ(numericCompare("0001", "1"), same);
    EXPECT_EQ(numericCompare("2", "10"), ascending);
    EXPECT_EQ(numericCompare("1.0.0.1", "1"), descending);
    std::string forty(40, '9');
    std::string thirtyNine(39, '9');
    EXPECT_EQ(numericCompare(forty, thirtyNine), descending);
    EXPECT_EQ(numericCompare("1." + thirtyNine, "1." + forty), ascending);
}

TEST(Versions, OtherTextComparesWithoutCaseAndWithNumbersAsNumbers) {
    EXPECT_EQ(numericCompare("1.2-beta", "1.2-BETA"), same);
    EXPECT_EQ(numericCompare("1.2a", "1.10a"), ascending);
    EXPECT_EQ(numericCompare("1.9.0 git-695e05e", "1.10.0 git"), ascending);
    EXPECT_EQ(numericCompare("abc", "abd"), ascending);
    EXPECT_EQ(numericCompare("", "1"), ascending);
    // 129 digits are no numeric version, but the fallback still orders them by value.
    std::string long129(129, '1');
    EXPECT_EQ(numericCompare(long129, "2"), descending);
}

TEST(Versions, TheBuildDecidesOnlyBetweenEqualVersions) {
    EXPECT_EQ(CenterCore::compareVersions("1.2", "5", "1.2", "12"), ascending);
    EXPECT_EQ(CenterCore::compareVersions("1.3", "1", "1.2", "99"), descending);
    EXPECT_EQ(CenterCore::compareVersions("1.2.0", "7", "1.2", "7"), same);
}

class AvailableUpdate : public ::testing::Test {
  protected:
    CenterRelease release{"1.2", "45", "", {}, std::nullopt};
    CenterProduct product{"audio", "local.soundlink", "回响工坊", "", "", "", {}, "13.0", release};
    InstalledApp installed(const char* version, const char* build) const {
        return {"/Applications/A.app", version, build, "local.soundlink"};
    }
};

TEST_F(AvailableUpdate, IsOnlyAStrictlyNewerReleaseOrAnInstallableOne) {
    EXPECT_TRUE(CenterCore::availableUpdate(product, std::nullopt));
    EXPECT_TRUE(CenterCore::availableUpdate(product, installed("1.2", "44")));
    EXPECT_TRUE(CenterCore::availableUpdate(product, installed("1.1", "99")));
    EXPECT_FALSE(CenterCore::availableUpdate(product, installed("1.2", "45")));
    EXPECT_FALSE(CenterCore::availableUpdate(product, installed("1.2.0", "045")));
    EXPECT_FALSE(CenterCore::availableUpdate(product, installed("1.3", "1")));
}

TEST_F(AvailableUpdate, NeverForPreviewsOrProductsWithoutRelease) {
    CenterProduct preview = product;
    preview.id = "effects";
    EXPECT_FALSE(CenterCore::availableUpdate(preview, std::nullopt));
    CenterProduct unreleased = product;
    unreleased.release.reset();
    EXPECT_FALSE(CenterCore::availableUpdate(unreleased, std::nullopt));
}

} // namespace
