#include "core/CenterError.h"
#include "installer/ResourceSeal.h"
#include "publisher/BundleCheck.h"
#include "publisher/Verbs.h"

#include <iostream>

namespace {

// Writing through a link would replace a file outside the bundle.
void refuseLinkedSeal(const std::filesystem::path& seal) {
    for (const std::filesystem::path& place : {seal.parent_path(), seal}) {
        std::error_code error;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(place, error))) {
            throw CenterError::invalid("签名位置是符号链接，不会写入：" + place.string());
        }
    }
}

} // namespace

int sealVerb(const Arguments& arguments) {
    const std::filesystem::path app = arguments.positionals(1)[0];
    CenterPublisher::requireApplication(app);
    refuseLinkedSeal(CenterInstaller::ResourceSeal::sealPath(app));
    CenterInstaller::ResourceSeal::write(app);
    std::cout << CenterInstaller::ResourceSeal::sealPath(app).string() << '\n';
    return 0;
}
