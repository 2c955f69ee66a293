#include "installer/ResourceSeal.h"
#include "publisher/Verbs.h"

#include <iostream>

int sealVerb(const Arguments& arguments) {
    std::filesystem::path app = arguments.positionals(1)[0];
    if (!std::filesystem::is_directory(app / "Contents")) {
        throw UsageError("APP must be an application bundle with a Contents folder");
    }
    CenterInstaller::ResourceSeal::write(app);
    std::cout << CenterInstaller::ResourceSeal::sealPath(app).string() << '\n';
    return 0;
}
