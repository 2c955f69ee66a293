#include "portal/PortalLinks.h"

#include "core/PropertyList.h"
#include "tests/support/TemporaryDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

namespace {

using Disposition = PortalNavigationDisposition;

// The shipped origin, so the tables hold for whichever host the build names.
class Portal : public ::testing::Test {
  protected:
    const std::string base = PortalLinks::baseURL();
    const std::string host = base.substr(std::string("https://").size());

    static std::string uppercased(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
    }
};

TEST_F(Portal, DestinationsHaveTheirPlainAndEmbeddedAddresses) {
    struct Case {
        PortalDestination destination;
        std::string plain;
        std::string embedded;
    };
    const Case cases[] = {
        {PortalDestination::guide("film"), "/guides/film.html", "/guides/film.html?embed=center"},
        {PortalDestination::community("audio"), "/community.html?product=audio&embed=center",
         "/community.html?product=audio&embed=center"},
        {PortalDestination::support(), "/donate.html", "/donate.html"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortalLinks::url(c.destination), base + c.plain) << c.destination.id();
        EXPECT_EQ(PortalLinks::embeddedURL(c.destination), base + c.embedded) << c.destination.id();
    }
    EXPECT_EQ(PortalLinks::comments("film"), base + "/guides/film.html#comments");
    EXPECT_EQ(PortalLinks::supportURL(), base + "/donate.html");
}

TEST_F(Portal, IdsOutsideTheRegistryHaveNoAddressAndNoName) {
    for (const std::string id : {"Film", "", "unknown", "film ", "../film"}) {
        EXPECT_FALSE(PortalLinks::guide(id)) << id;
        EXPECT_FALSE(PortalLinks::comments(id)) << id;
        EXPECT_FALSE(PortalLinks::community(id)) << id;
        for (const PortalDestination& destination :
             {PortalDestination::guide(id), PortalDestination::community(id)}) {
            EXPECT_FALSE(PortalLinks::url(destination)) << destination.id();
            EXPECT_FALSE(PortalLinks::embeddedURL(destination)) << destination.id();
            EXPECT_FALSE(destination.productName()) << destination.id();
        }
    }
}

TEST_F(Portal, OnlyTheMakersOwnOriginIsTrusted) {
    const std::pair<std::string, bool> cases[] = {
        {base + "/guides/film.html?x=1#y", true},
        {"HTTPS://" + uppercased(host) + "/", true},
        {"https://" + host + ":443/community.html", true},
        {"https://" + host, true},
        {"https://" + host + ":8443/", false},
        {"http://" + host + "/", false},
        {"https://user@" + host + "/", false},
        {"https://user:secret@" + host + "/", false},
        {"https://:@" + host + "/", false},
        {"https://" + host.substr(host.find('.') + 1) + "/", false},
        {"https://shop." + host.substr(host.find('.') + 1) + "/", false},
        {"https://" + host + ".evil.example/", false},
        {"https:///" + host + "/", false},
        {"https:/" + host + "/", false},
        {"mailto:support@" + host, false},
        {"", false},
    };
    for (const auto& [address, trusted] : cases) {
        EXPECT_EQ(PortalLinks::isTrustedOrigin(address), trusted) << address;
    }
}

// Which origins are trusted is the table above; here each kind of address once.
TEST_F(Portal, NavigationStaysOpensInTheBrowserOrIsBlocked) {
    struct Case {
        std::string address;
        Disposition mainFrame;
        Disposition subframe;
    };
    const Case cases[] = {
        {base + "/guides/audio.html", Disposition::embedded, Disposition::embedded},
        {"https://user:pw@" + host + "/", Disposition::blocked, Disposition::blocked},
        {"https://user@example.com/", Disposition::blocked, Disposition::blocked},
        {"https://" + host + ":8443/", Disposition::externalBrowser, Disposition::blocked},
        {"https://example.com/page", Disposition::externalBrowser, Disposition::blocked},
        {"http://" + host + "/", Disposition::blocked, Disposition::blocked},
        {"mailto:someone@example.com", Disposition::blocked, Disposition::blocked},
        {"file:///etc/passwd", Disposition::blocked, Disposition::blocked},
        {"javascript:alert(1)", Disposition::blocked, Disposition::blocked},
        {"kestryn://open", Disposition::blocked, Disposition::blocked},
        {"https:///path", Disposition::blocked, Disposition::blocked},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortalLinks::navigationDisposition(c.address, true), c.mainFrame) << c.address;
        EXPECT_EQ(PortalLinks::navigationDisposition(c.address, false), c.subframe) << c.address;
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
    const char* shipped = std::getenv("KESTRYN_RESOURCES");
    const std::optional<std::string> restored =
        shipped ? std::optional<std::string>(shipped) : std::nullopt;
    ::setenv("KESTRYN_RESOURCES", resources.path().c_str(), 1);
    // A process of its own, since the origin is read once per process.
    EXPECT_EXIT(
        {
            bool none = PortalLinks::baseURL().empty() && !PortalLinks::guide("film") &&
                        !PortalLinks::url(PortalDestination::support()) &&
                        !PortalLinks::isTrustedOrigin("https:///") &&
                        PortalLinks::navigationDisposition("https://www.kestryn.com/", false) ==
                            Disposition::blocked;
            std::exit(none ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    if (restored) {
        ::setenv("KESTRYN_RESOURCES", restored->c_str(), 1);
    } else {
        ::unsetenv("KESTRYN_RESOURCES");
    }
}

} // namespace
