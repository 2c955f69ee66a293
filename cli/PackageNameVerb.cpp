#include "cli/Verbs.h"
#include "installer/ZipCentralDirectory.h"

#include <iostream>

int inspectVerb(const Arguments& arguments) {
    std::cout << CenterInstaller::inspectZIP(arguments.positionals(1)[0]) << '\n';
    return 0;
}
