#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CenterPlatform {

// A panel in which the user picks one existing file to open.
struct OpenPanel {
    std::string title;
    std::string message;
    // Lower-case extensions without the dot; a file with another one cannot be picked.
    std::vector<std::string> extensions;
};

// An alert with a pop-up list: the user picks an entry and presses one of the buttons.
struct ChoiceAlert {
    std::string message;
    std::string details;
    std::vector<std::string> choices;
    // Titles in order; the first is the one that confirms.
    std::vector<std::string> buttons;
    // The entry selected when the alert opens.
    std::size_t preselected = 0;
};

// An alert with a message, details and buttons; the first button is the default one.
struct Alert {
    std::string message;
    std::string details;
    std::vector<std::string> buttons;
};

// A panel in which the user picks where to save a new file.
struct SavePanel {
    std::string proposedName;
    // The lower-case extension the file gets, without the dot.
    std::string extension;
};

// The modal questions the center asks its user: dialogs in the window, terminal prompts or
// command-line options in the CLI, scripted answers in tests. Every answer is delivered on the
// caller's thread, at once or later, exactly once.
class CenterPrompts {
  public:
    virtual ~CenterPrompts() = default;

    // The chosen file, or nothing when the user cancels.
    virtual void chooseFile(const OpenPanel& panel,
                            std::function<void(std::optional<std::filesystem::path>)> answer) = 0;
    // The index of the chosen entry when the first button was pressed, otherwise nothing.
    virtual void choose(const ChoiceAlert& alert,
                        std::function<void(std::optional<std::size_t>)> answer) = 0;
    // The index of the button pressed.
    virtual void ask(const Alert& alert, std::function<void(std::size_t)> answer) = 0;
    // The destination, or nothing when the user cancels.
    virtual void
    chooseSaveLocation(const SavePanel& panel,
                       std::function<void(std::optional<std::filesystem::path>)> answer) = 0;
};

} // namespace CenterPlatform
