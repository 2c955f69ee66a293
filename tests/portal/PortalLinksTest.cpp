#include "portal/PortalLinks.h"

#include "core/PropertyList.h"
#include "tests/support/TemporaryDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <tuple>

namespace {

using Disposition = PortalNavigationDisposition;

// The shipped origin, so the tables hold for whichever host the build names.
class Portal : public ::testing::Test {
  protected:
    const std::string base = PortalLinks::baseURL();
    const std::string host = base.substr(std::string("https://").size());
};

TEST_F(Portal, DestinationsHaveTheirPlainAndEmbeddedAddresses) {
    for (const auto& [destination, plain, embedded] :
         {std::tuple{PortalDestination::guide("film"), "/guides/film.html",
                     "/guides/film.html?embed=center"},
          std::tuple{PortalDestination::community("audio"),
                     "/community.html?product=audio&embed=center",
                     "/community.html?product=audio&embed=center"},
          std::tuple{PortalDestination::support(), "/donate.html", "/donate.html"}}) {
        EXPECT_EQ(PortalLinks::url(destination), base + plain) << destination.id();
        EXPECT_EQ(PortalLinks::embeddedURL(destination), base + embedded) << destination.id();
    }
    EXPECT_EQ(PortalLinks::comments("film"), base + "/guides/film.html#comments");
    EXPECT_EQ(PortalLinks::supportURL(), base + "/donate.html");
}

TEST_F(Portal, IdsOutsideTheRegistryHaveNoAddressAndNoName) {
    for (const std::string id : {"Film", "", "unknown", "film ", "../film"}) {
        EXPECT_FALSE(PortalLinks::comments(id)) << id;
        for (const PortalDestination& destination :
             {PortalDestination::guide(id), PortalDestination::community(id)}) {
            EXPECT_FALSE(PortalLinks::url(destination)) << destination.id();
            EXPECT_FALSE(PortalLinks::embeddedURL(destination)) << destination.id();
            EXPECT_FALSE(destination.productName()) << destination.id();
        }
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
        {"https://user:secret@" + host + "/", blocked, blocked},
        {"https://:@" + host + "/", blocked, blocked},
        {"https://user@example.com/", blocked, blocked},
        {"https:///" + host + "/", blocked, blocked},
        {"https:/" + host + "/", blocked, blocked},
        {"mailto:support@" + host, blocked, blocked},
        {"file:///etc/passwd", blocked, blocked},
        {"javascript:alert(1)", blocked, blocked},
        {"kestryn://open", blocked, blocked},
        {"", blocked, blocked},
    };
    for (const auto& [address, mainFrame, subframe] : cases) {
        EXPECT_EQ(PortalLinks::navigationDisposition(address, true), mainFrame) << address;
        EXPECT_EQ(PortalLinks::navigationDisposition(address, false), subframe) << address;
        EXPECT_EQ(PortalLinks::isTrustedOrigin(address), mainFrame == embedded) << address;
    }
}

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

TEST(PortalWithoutOrigin, GivesNoAddressAndTrustsNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TemporaryDirectory resources;
    resources.write("Info.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
                                  "version=\"1.0\"><dict><key>KESPortalURL</key>"
                                  "<string>https://www.kestryn.com/path</string></dict></plist>");
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
