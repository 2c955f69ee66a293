#include "core/Versions.h"

#include <gtest/gtest.h>

namespace {

const auto ascending = std::strong_ordering::less;
const auto same = std::strong_ordering::equal;
const auto descending = std::strong_ordering::greater;

TEST(Versions, NumericVersionsAreDottedRunsOfASCIIDigits) {
    for (const std::string& numeric :
         std::vector<std::string>{"1", "10.2.03", "2024.06.01.3", std::string(128, '7')}) {
        EXPECT_TRUE(CenterCore::isNumericVersion(numeric)) << numeric;
    }
    for (const std::string& other : std::vector<std::string>{
             "", "1.", ".1", "1..2", "1.2b", "a1", "1,2", "١٢", " 1", std::string(129, '7')}) {
        EXPECT_FALSE(CenterCore::isNumericVersion(other)) << other;
    }
}

// Numeric versions component by component at any length; other text without case and with
// numbers as numbers.
TEST(Versions, CompareByValueComponentByComponent) {
    using CenterCore::numericCompare;
    const std::string forty(40, '9');
    const std::string thirtyNine(39, '9');
    EXPECT_EQ(numericCompare("01.002", "1.2"), same);
    EXPECT_EQ(numericCompare("2", "10"), ascending);
    EXPECT_EQ(numericCompare("1.0.0.1", "1"), descending);
    EXPECT_EQ(numericCompare(forty, thirtyNine), descending);
    EXPECT_EQ(numericCompare("1." + thirtyNine, "1." + forty), ascending);
    EXPECT_EQ(numericCompare("1.2-beta", "1.2-BETA"), same);
    EXPECT_EQ(numericCompare("1.9.0 git-695e05e", "1.10.0 git"), ascending);
    EXPECT_EQ(numericCompare("", "1"), ascending);
    // 129 digits are no numeric version, but the fallback still orders them by value.
    EXPECT_EQ(numericCompare(std::string(129, '1'), "2"), descending);
    EXPECT_EQ(CenterCore::compareVersions("1.2", "5", "1.2", "12"), ascending);
    EXPECT_EQ(CenterCore::compareVersions("1.3", "1", "1.2", "99"), descending);
    EXPECT_EQ(CenterCore::compareVersions("1.2.0", "7", "1.2", "7"), same);
}

// The plain cases show in the command line's status table; these are the edges.
TEST(Versions, AnUpdateIsAStrictlyNewerReleaseOfAProductThatIsNoPreview) {
    const CenterRelease release{"1.2", "45", "", {}, std::nullopt};
    CenterProduct product{"audio", "local.soundlink", "回响工坊", "", "", "", {}, "13.0", release};
    const auto installed = [](const char* version, const char* build) {
        return InstalledApp{"/Applications/A.app", version, build, "local.soundlink"};
    };
    EXPECT_TRUE(CenterCore::availableUpdate(product, installed("1.2", "44")));
    EXPECT_FALSE(CenterCore::availableUpdate(product, installed("1.2.0", "045")));
    EXPECT_FALSE(CenterCore::availableUpdate(product, installed("1.3", "1")));
    product.id = "effects";
    EXPECT_FALSE(CenterCore::availableUpdate(product, std::nullopt));
}

} // namespace
