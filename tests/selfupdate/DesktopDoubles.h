#pragma once

#include "core/FileContents.h"
#include "platform/CenterPrompts.h"
#include "platform/Workspace.h"

#include <deque>
#include <gtest/gtest.h>

// Prompts that answer from a script: an alert with one button is acknowledged at once; a
// question takes the next scripted button, or waits in `pending` when the script has run out.
class ScriptedPrompts : public CenterPlatform::CenterPrompts {
  public:
    std::deque<std::size_t> answers;
    std::vector<CenterPlatform::Alert> alerts;
    std::function<void(std::size_t)> pending;

    void ask(const CenterPlatform::Alert& alert, std::function<void(std::size_t)> answer) override {
        alerts.push_back(alert);
        if (alert.buttons.size() < 2) {
            answer(0);
        } else if (answers.empty()) {
            pending = std::move(answer);
        } else {
            std::size_t button = answers.front();
            answers.pop_front();
            answer(button);
        }
    }
    // The questions asked (alerts with a choice), in order.
    [[nodiscard]] std::vector<CenterPlatform::Alert> questions() const {
        std::vector<CenterPlatform::Alert> found;
        std::copy_if(alerts.begin(), alerts.end(), std::back_inserter(found),
                     [](const auto& alert) { return alert.buttons.size() > 1; });
        return found;
    }

    void chooseFile(const CenterPlatform::OpenPanel&,
                    std::function<void(std::optional<std::filesystem::path>)>) override {
        ADD_FAILURE() << "the self-updater never asks for a file";
    }
    void choose(const CenterPlatform::ChoiceAlert&,
                std::function<void(std::optional<std::size_t>)>) override {
        ADD_FAILURE() << "the self-updater never offers a choice";
    }
    void chooseSaveLocation(const CenterPlatform::SavePanel&,
                            std::function<void(std::optional<std::filesystem::path>)>) override {
        ADD_FAILURE() << "the self-updater never saves a file";
    }
};

// A workspace that records each file opened with its content at that moment.
class RecordingWorkspace : public CenterPlatform::Workspace {
  public:
    bool opens = true;
    std::vector<std::pair<std::filesystem::path, std::string>> opened;

    bool openFile(const std::filesystem::path& file) override {
        opened.emplace_back(file, CenterCore::readFileContents(file, 1 << 20));
        return opens;
    }
    std::optional<std::string> openApplication(const std::filesystem::path&) override {
        ADD_FAILURE() << "the self-updater never starts an application";
        return std::nullopt;
    }
    bool openURL(const std::string&) override {
        ADD_FAILURE() << "the self-updater never opens an address";
        return false;
    }
    void reveal(const std::vector<std::filesystem::path>&) override {
        ADD_FAILURE() << "the self-updater never reveals files";
    }
    std::vector<CenterInstaller::RunningApplication> runningApplications() override { return {}; }
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
