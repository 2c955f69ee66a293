#pragma once

#include "platform/CenterPrompts.h"

#include <filesystem>
#include <optional>
#include <string>

// The center's questions on the command line: files and the product come from the verb's
// options, a confirmation from --yes or from the user at a terminal; a question nobody
// answers counts as cancelled. The questions are printed as they are asked.
class TerminalPrompts : public CenterPlatform::CenterPrompts {
  public:
    struct Answers {
        std::optional<std::filesystem::path> file;
        // The entry to pick from a list, as the list shows it.
        std::optional<std::string> choice;
        bool yes = false;
    };

    explicit TerminalPrompts(Answers answers) : answers_(std::move(answers)) {}

    void chooseFile(const CenterPlatform::OpenPanel& panel,
                    std::function<void(std::optional<std::filesystem::path>)> answer) override;
    void choose(const CenterPlatform::ChoiceAlert& alert,
                std::function<void(std::optional<std::size_t>)> answer) override;
    void ask(const CenterPlatform::Alert& alert, std::function<void(std::size_t)> answer) override;
    // The file of a save panel is the verb's argument: nothing is printed.
    void
    chooseSaveLocation(const CenterPlatform::SavePanel& panel,
                       std::function<void(std::optional<std::filesystem::path>)> answer) override;

    // Whether a question got its last answer: "no" or the input's end at the terminal, or no
    // terminal to ask at.
    [[nodiscard]] bool declined() const { return declined_; }

  private:
    Answers answers_;
    bool declined_ = false;
};
