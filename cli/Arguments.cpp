#include "cli/Arguments.h"

#include <iostream>

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& valued,
                     const std::set<std::string>& flags) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!word.starts_with("--")) {
            positionals_.push_back(word);
        } else if (flags.contains(word)) {
            flags_.insert(word);
        } else if (valued.contains(word) && i + 1 < words.size()) {
            values_[word].push_back(words[++i]);
        } else {
            throw UsageError("unknown option or missing value: " + word);
        }
    }
}

const std::vector<std::string>& Arguments::positionals(std::size_t count) const {
    if (positionals_.size() != count) {
        throw UsageError("wrong number of arguments");
    }
    return positionals_;
}

std::optional<std::string> Arguments::value(const std::string& option) const {
    auto found = values_.find(option);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second.back();
}

std::string Arguments::required(const std::string& option) const {
    std::optional<std::string> given = value(option);
    if (!given) {
        throw UsageError("missing " + option);
    }
    return *given;
}

std::vector<std::string> Arguments::values(const std::string& option) const {
    auto found = values_.find(option);
    return found == values_.end() ? std::vector<std::string>{} : found->second;
}

namespace {

void printUsage(const char* program, const std::vector<Verb>& verbs) {
    std::cerr << "usage:\n";
    for (const Verb& verb : verbs) {
        std::cerr << "  " << program << ' ' << verb.name << ' ' << verb.usage << '\n';
    }
}

} // namespace

int runProgram(const char* program, const std::vector<Verb>& verbs, int argc, char** argv) {
    if (argc < 2) {
        printUsage(program, verbs);
        return 2;
    }
    std::string name = argv[1];
    for (const Verb& verb : verbs) {
        if (name != verb.name) {
            continue;
        }
        try {
            Arguments arguments(std::vector<std::string>(argv + 2, argv + argc), verb.valued,
                                verb.flags);
            return verb.run(arguments);
        } catch (const UsageError& error) {
            std::cerr << program << ' ' << verb.name << ": " << error.what() << '\n'
                      << "usage: " << program << ' ' << verb.name << ' ' << verb.usage << '\n';
            return 2;
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return 1;
        }
    }
    printUsage(program, verbs);
    return 2;
}
