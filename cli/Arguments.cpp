#include "cli/Arguments.h"

#include "cli/InterruptStop.h"
#include "cli/Products.h"
#include "core/ErrorText.h"

#include <algorithm>
#include <iostream>
#include <string_view>

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
            throw UsageError(valued.contains(word) ? "选项 " + word + " 缺少值。"
                                                   : "未知选项 " + word + "。");
        }
    }
}

const std::vector<std::string>& Arguments::positionals(std::size_t count) const {
    if (positionals_.size() != count) {
        throw UsageError("需要 " + std::to_string(count) + " 个参数，实际给了 " +
                         std::to_string(positionals_.size()) + " 个。");
    }
    return positionals_;
}

std::optional<std::string> Arguments::optionalPositional() const {
    if (positionals_.size() > 1) {
        throw UsageError("最多需要 1 个参数，实际给了 " + std::to_string(positionals_.size()) +
                         " 个。");
    }
    return positionals_.empty() ? std::nullopt : std::optional<std::string>(positionals_[0]);
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
        throw UsageError("缺少选项 " + option + "。");
    }
    return *given;
}

std::vector<std::string> Arguments::values(const std::string& option) const {
    auto found = values_.find(option);
    return found == values_.end() ? std::vector<std::string>{} : found->second;
}

namespace {

bool isHelp(std::string_view word) {
    return word == "-h" || word == "--help";
}

void printUsage(std::ostream& out, const char* program, const std::vector<Verb>& verbs) {
    out << "用法：\n";
    for (const Verb& verb : verbs) {
        out << "  " << program << ' ' << verb.name << ' ' << verb.usage << '\n';
    }
    out << "每个命令都接受 -h 或 --help，显示它的用法和作用；" << program
        << " --version 显示版本。\n";
}

void printVerbUsage(std::ostream& out, const char* program, const Verb& verb) {
    out << "用法：" << program << ' ' << verb.name << ' ' << verb.usage << '\n';
}

void printVerbHelp(const char* program, const Verb& verb) {
    printVerbUsage(std::cout, program, verb);
    std::cout << verb.summary << '\n';
    if (verb.namesProduct) {
        std::cout << productChoices() << '\n';
    }
}

} // namespace

int runProgram(const char* program, const std::vector<Verb>& verbs, int argc, char** argv) {
    if (argc < 2) {
        std::cerr << program << "：缺少命令。\n";
        printUsage(std::cerr, program, verbs);
        return 2;
    }
    const std::string name = argv[1];
    if (isHelp(name)) {
        printUsage(std::cout, program, verbs);
        return 0;
    }
    if (name == "--version") {
        std::cout << program << ' ' << KESTRYN_VERSION << '\n';
        return 0;
    }
    auto verb = std::find_if(verbs.begin(), verbs.end(),
                             [&](const Verb& candidate) { return name == candidate.name; });
    if (verb == verbs.end()) {
        std::cerr << "“" << name << "”不是 " << program << " 的命令。\n";
        printUsage(std::cerr, program, verbs);
        return 2;
    }
    const std::vector<std::string> words(argv + 2, argv + argc);
    if (std::any_of(words.begin(), words.end(), isHelp)) {
        printVerbHelp(program, *verb);
        return 0;
    }
    try {
        return verb->run(Arguments(words, verb->valued, verb->flags));
    } catch (const UsageError& error) {
        std::cerr << program << ' ' << verb->name << "：" << error.what() << '\n';
        printVerbUsage(std::cerr, program, *verb);
        return 2;
    } catch (...) {
        std::cerr << CenterCore::describeError(std::current_exception()) << '\n';
        return InterruptStop::received() ? interruptedExitCode : 1;
    }
}
