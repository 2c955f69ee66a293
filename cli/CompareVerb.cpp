#include "cli/Verbs.h"
#include "core/Versions.h"

#include <iostream>

int compareVerb(const Arguments& arguments) {
    const auto& words = arguments.positionals(2);
    for (const std::string& word : words) {
        if (!CenterCore::isVersionText(word)) {
            throw UsageError("“" + word + "”不是版本号：版本号以数字开头，例如 1.10.2。");
        }
    }
    auto order = CenterCore::numericCompare(words[0], words[1]);
    std::cout << (order < 0 ? "<" : (order > 0 ? ">" : "=")) << '\n';
    return 0;
}
