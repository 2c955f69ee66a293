#include "publisher/ReleaseZip.h"
#include "publisher/Verbs.h"

#include <iostream>

int packVerb(const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positionals(2);
    std::cout << CenterPublisher::packRelease(words[0], words[1]) << '\n';
    return 0;
}
