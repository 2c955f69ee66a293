#include "core/PropertyList.h"
#include "portal/PortalLinks.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

// The origin is configuration of the build: the source tree's Info.plist must name an https
// origin with a host and nothing else, and the program must read exactly that.
TEST(ShippedPortalOrigin, IsAnHttpsOriginWithAHostAndNothingElse) {
    std::optional<PropertyList> info = PropertyList::read(KESTRYN_SOURCE_RESOURCES "/Info.plist");
    ASSERT_TRUE(info);
    std::optional<std::string> origin = info->string("KESPortalURL");
    ASSERT_TRUE(origin);
    EXPECT_TRUE(std::regex_match(*origin, std::regex("https://[a-z0-9-]+(\\.[a-z0-9-]+)+")))
        << *origin;
    EXPECT_EQ(PortalLinks::baseURL(), *origin);
}

} // namespace
