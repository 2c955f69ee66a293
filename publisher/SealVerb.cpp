#include "installer/ResourceSeal.h"
#include "publisher/BundleCheck.h"
#include "publisher/Verbs.h"

#include <iostream>

int sealVerb(const Arguments& arguments) {
    const std::filesystem::path app = arguments.positionals(1)[0];
    CenterPublisher::requireApplication(app);
    CenterInstaller::ResourceSeal::write(app);
    std::cout << CenterInstaller::ResourceSeal::sealPath(app).string() << '\n';
    return 0;
}
