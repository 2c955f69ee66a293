#include "cli/Verbs.h"
#include "core/Digest.h"

#include <iostream>

int digestVerb(const Arguments& arguments) {
    std::cout << CenterCore::sha256(arguments.positionals(1)[0]) << '\n';
    return 0;
}
