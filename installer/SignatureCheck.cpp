#include "installer/SignatureCheck.h"

#include "installer/Process.h"
#include "installer/ResourceSeal.h"

#include <system_error>

namespace CenterInstaller {

void verifyCodeSignature(const std::filesystem::path& app) {
    const std::filesystem::path codesign = "/usr/bin/codesign";
    std::error_code error;
    if (std::filesystem::exists(codesign, error)) {
        run(codesign, {"--verify", "--deep", "--strict", app.string()});
        return;
    }
    ResourceSeal::check(app);
}

} // namespace CenterInstaller
