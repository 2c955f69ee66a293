#pragma once

#include "platform/CenterPrompts.h"
#include "platform/Workspace.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

// Prompts answered from a script, in order; each question asked is recorded. A question the
// script does not answer is cancelled, or, with `holdsUnanswered`, waits in `pending` for the
// test to answer it.
class ScriptedPrompts : public CenterPlatform::CenterPrompts {
  public:
    using Answer = std::variant<std::filesystem::path, std::size_t>;
    static constexpr bool holdingUnanswered = true;
    explicit ScriptedPrompts(bool holding = false) : holdsUnanswered(holding) {}

    std::deque<Answer> answers;
    std::vector<std::string> asked;
    std::vector<CenterPlatform::Alert> alerts;
    // The entry the last choice opened with.
    std::size_t preselected = 0;
    bool holdsUnanswered;
    std::function<void(std::size_t)> pending;

    void chooseFile(const CenterPlatform::OpenPanel& panel,
                    std::function<void(std::optional<std::filesystem::path>)> answer) override {
        asked.push_back(panel.title);
        answer(next<std::filesystem::path>());
    }
    void choose(const CenterPlatform::ChoiceAlert& alert,
                std::function<void(std::optional<std::size_t>)> answer) override {
        asked.push_back(alert.message);
        preselected = alert.preselected;
        answer(next<std::size_t>());
    }
    void ask(const CenterPlatform::Alert& alert, std::function<void(std::size_t)> answer) override {
        asked.push_back(alert.message + "\n" + alert.details);
        alerts.push_back(alert);
        if (holdsUnanswered && alert.buttons.size() > 1 && answers.empty()) {
            pending = std::move(answer);
            return;
        }
        answer(next<std::size_t>().value_or(alert.buttons.size() - 1));
    }
    void
    chooseSaveLocation(const CenterPlatform::SavePanel& panel,
                       std::function<void(std::optional<std::filesystem::path>)> answer) override {
        asked.push_back(panel.proposedName);
        answer(next<std::filesystem::path>());
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

  private:
    template <typename T> std::optional<T> next() {
        if (answers.empty() || !std::holds_alternative<T>(answers.front())) {
            return std::nullopt;
        }
        T value = std::get<T>(answers.front());
        answers.pop_front();
        return value;
    }
};

// A desktop that records what it is asked to do, and each file opened with its content at that
// moment, and runs what the test says runs.
class ScriptedWorkspace : public CenterPlatform::Workspace {
  public:
    std::vector<std::string> calls;
    std::vector<std::pair<std::filesystem::path, std::string>> opened;
    std::vector<CenterInstaller::RunningApplication> running;
    bool opens = true;

    std::optional<std::string> openApplication(const std::filesystem::path& bundle) override {
        calls.push_back("openApplication " + bundle.filename().string());
        return std::nullopt;
    }
    bool openFile(const std::filesystem::path& file) override {
        calls.push_back("openFile " + file.extension().string());
        std::ifstream content(file, std::ios::binary);
        opened.emplace_back(file, std::string(std::istreambuf_iterator<char>(content), {}));
        return opens;
    }
    bool openURL(const std::string& url) override {
        calls.push_back("openURL " + url);
        return opens;
    }
    void reveal(const std::vector<std::filesystem::path>& items) override {
        calls.push_back("reveal " + items.front().extension().string());
    }
    std::vector<CenterInstaller::RunningApplication> runningApplications() override {
        return running;
    }
};
