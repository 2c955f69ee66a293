#pragma once

#include "core/FileContents.h"
#include "tests/model/ScriptedDesktop.h"

#include <gtest/gtest.h>

// Prompts that answer from a script: an alert with one button is acknowledged at once; a
// question takes the next scripted button, or waits in `pending` when the script has run out.
class HeldPrompts : public ScriptedPrompts {
  public:
    std::vector<CenterPlatform::Alert> alerts;
    std::function<void(std::size_t)> pending;

    void ask(const CenterPlatform::Alert& alert, std::function<void(std::size_t)> answer) override {
        alerts.push_back(alert);
        if (alert.buttons.size() < 2) {
            answer(0);
        } else if (answers.empty()) {
            pending = std::move(answer);
        } else {
            ScriptedPrompts::ask(alert, std::move(answer));
        }
    }
    // Scripts the button the next question gets.
    void willAnswer(std::size_t button) { answers = {button}; }
    // The questions asked (alerts with a choice), in order.
    [[nodiscard]] std::vector<CenterPlatform::Alert> questions() const {
        std::vector<CenterPlatform::Alert> found;
        std::copy_if(alerts.begin(), alerts.end(), std::back_inserter(found),
                     [](const auto& alert) { return alert.buttons.size() > 1; });
        return found;
    }
};

// A workspace that records each file opened with its content at that moment.
class RecordingWorkspace : public ScriptedWorkspace {
  public:
    std::vector<std::pair<std::filesystem::path, std::string>> opened;

    bool openFile(const std::filesystem::path& file) override {
        opened.emplace_back(file, CenterCore::readFileContents(file, 1 << 20));
        return ScriptedWorkspace::openFile(file);
    }
};

// An Info.plist of the given keys, each with its value as property-list XML.
inline std::string infoPlist(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : entries) {
        text += "<key>" + key + "</key>" + value;
    }
    return text + "</dict></plist>\n";
}

inline std::string plistString(const std::string& text) {
    return "<string>" + text + "</string>";
}
