#include "portal/PortalLinks.h"

#include "tests/support/InfoPlist.h"
#include "tests/support/TemporaryDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using Disposition = PortalNavigationDisposition;

// The shipped origin, so the tables hold for whichever host the build names.
class Portal : public ::testing::Test {
  protected:
    const std::string base = PortalLinks::baseURL();
    const std::string host = base.substr(std::string("https://").size());
};

TEST_F(Portal, IdsOutsideTheRegistryHaveNoAddressAndNoName) {
    EXPECT_FALSE(PortalLinks::comments("../film"));
    for (const PortalDestination& destination :
         {PortalDestination::guide("../film"), PortalDestination::community("../film")}) {
        EXPECT_FALSE(PortalLinks::url(destination)) << destination.id();
        EXPECT_FALSE(PortalLinks::embeddedURL(destination)) << destination.id();
        EXPECT_FALSE(destination.productName()) << destination.id();
    }
}

// Where a navigation goes from the main frame (or a new window) and from a subframe: only the
// maker's own origin stays embedded, and it alone is trusted.
TEST_F(Portal, OnlyTheMakersOriginStaysEmbeddedAndOtherHttpsOpensInTheBrowser) {
    const Disposition embedded = Disposition::embedded;
    const Disposition browser = Disposition::externalBrowser;
    const Disposition blocked = Disposition::blocked;
    const std::string parent = host.substr(host.find('.') + 1);
    std::string upper = host;
    std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return std::toupper(c); });
    const std::tuple<std::string, Disposition, Disposition> cases[] = {
        {base + "/guides/film.html?x=1#y", embedded, embedded},
        {"HTTPS://" + upper + "/", embedded, embedded},
        {"https://" + host + ":443/community.html", embedded, embedded},
        {"https://" + host, embedded, embedded},
        {"https://" + host + ":8443/", browser, blocked},
        {"https://" + parent + "/", browser, blocked},
        {"https://shop." + parent + "/", browser, blocked},
        {"https://" + host + ".evil.example/", browser, blocked},
        {"https://example.com/page", browser, blocked},
        {"http://" + host + "/", blocked, blocked},
        {"https://user@" + host + "/", blocked, blocked},
        {"https:///" + host + "/", blocked, blocked},
        {"file:///etc/passwd", blocked, blocked},
        {"", blocked, blocked},
    };
    for (const auto& [address, mainFrame, subframe] : cases) {
        EXPECT_EQ(PortalLinks::navigationDisposition(address, true), mainFrame) << address;
        EXPECT_EQ(PortalLinks::navigationDisposition(address, false), subframe) << address;
        EXPECT_EQ(PortalLinks::isTrustedOrigin(address), mainFrame == embedded) << address;
    }
}

TEST(PortalWithoutOrigin, GivesNoAddressAndTrustsNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TemporaryDirectory resources;
    resources.write("Info.plist",
                    infoPlist({{"KESPortalURL", plistString("https://www.kestryn.com/path")}}));
    // A process of its own, since the origin is read once per process.
    EXPECT_EXIT(
        {
            ::setenv("KESTRYN_RESOURCES", resources.path().c_str(), 1);
            bool none = PortalLinks::baseURL().empty() && !PortalLinks::guide("film") &&
                        !PortalLinks::url(PortalDestination::support()) &&
                        !PortalLinks::isTrustedOrigin("https:///") &&
                        PortalLinks::navigationDisposition("https://www.kestryn.com/", false) ==
                            Disposition::blocked;
            std::exit(none ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
