#include "installer/Process.h"

#include "tests/installer/InstallFixture.h"

#include <system_error>

namespace {

using CenterInstaller::run;

std::string shell(const std::string& script) {
    return run("/bin/sh", {"-c", script});
}

// Output larger than a pipe holds must not block the tool; a failure names what it said, cut on
// a character boundary, and never bytes that are not text.
TEST(Process, ReturnsMergedOutputAndAFailureCarriesTheFirst1500CharactersOfValidOutput) {
    EXPECT_EQ(shell("printf one; printf two >&2; printf three"), "onetwothree");
    EXPECT_EQ(shell("head -c 1000000 /dev/zero").size(), 1000000U);
    const std::string incomplete = "验证或安装未完成：";
    for (const auto& [script, payload] :
         {std::pair{std::string("echo 'bundle: a resource is missing' >&2; exit 3"),
                    incomplete + "bundle: a resource is missing\n"},
          // 1,499 letters, then three-byte characters: the cut falls after the first of them.
          std::pair{std::string("printf '%1499s' '' | tr ' ' x; printf '验证验证'; exit 1"),
                    incomplete + std::string(1499, 'x') + "验"},
          std::pair{std::string("printf 'bad \\377 byte'; exit 1"), incomplete},
          std::pair{std::string("kill -9 $$"), incomplete}}) {
        SCOPED_TRACE(script);
        EXPECT_THAT([&] { shell(script); }, ThrowsCenterError(CenterError::Kind::install, payload));
    }
    EXPECT_THROW(run("/nonexistent/tool", {}), std::system_error);
}

} // namespace
