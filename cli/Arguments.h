#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// Bad usage of a command-line verb, with a reason in the user's language: the program prints
// it with its usage and exits 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The words after a verb: positional words, options that take a value, and flags.
class Arguments {
  public:
    // Throws UsageError for an unknown option or an option without its value.
    Arguments(const std::vector<std::string>& words, const std::set<std::string>& valued,
              const std::set<std::string>& flags = {});

    // The positional words; throws UsageError unless there are exactly `count`.
    [[nodiscard]] const std::vector<std::string>& positionals(std::size_t count) const;
    // The one positional word, if given; throws UsageError for more than one.
    [[nodiscard]] std::optional<std::string> optionalPositional() const;
    // The last value given for an option, if any.
    [[nodiscard]] std::optional<std::string> value(const std::string& option) const;
    // The value of an option that must be given; throws UsageError when it is missing.
    [[nodiscard]] std::string required(const std::string& option) const;
    // Every value given for a repeatable option, in order.
    [[nodiscard]] std::vector<std::string> values(const std::string& option) const;
    [[nodiscard]] bool flag(const std::string& option) const { return flags_.contains(option); }

  private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::vector<std::string>> values_;
    std::set<std::string> flags_;
};

// What a shell reports for a command ended by Ctrl+C.
inline constexpr int interruptedExitCode = 130;

// One verb of a command-line program.
struct Verb {
    const char* name;
    const char* usage;
    // One sentence: what the verb does.
    const char* summary;
    int (*run)(const Arguments&);
    std::set<std::string> valued;
    std::set<std::string> flags;
    // Whether the verb names a product; its help lists the product ids.
    bool namesProduct = false;
};

// Runs the verb named by argv[1]: 0 on success, 1 with the error's sentence (always the
// user's language) on stderr on failure, 2 with the usage on stderr on bad usage or an unknown
// verb, 130 with the error's sentence when the failure followed Ctrl+C (see InterruptStop).
// "-h" or "--help" in place of the verb, or anywhere after it, prints the program's or the
// verb's usage to stdout and exits 0; "--version" in place of the verb prints the version.
int runProgram(const char* program, const std::vector<Verb>& verbs, int argc, char** argv);
