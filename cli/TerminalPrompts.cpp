#include "cli/TerminalPrompts.h"

#include <iostream>
#include <string>
#include <unistd.h>

void TerminalPrompts::chooseFile(const CenterPlatform::OpenPanel& panel,
                                 std::function<void(std::optional<std::filesystem::path>)> answer) {
    std::cout << panel.title << "：" << (answers_.file ? answers_.file->string() : "（未选择）")
              << '\n';
    answer(answers_.file);
}

void TerminalPrompts::choose(const CenterPlatform::ChoiceAlert& alert,
                             std::function<void(std::optional<std::size_t>)> answer) {
    for (std::size_t index = 0; index < alert.choices.size(); ++index) {
        if (alert.choices[index] == answers_.choice) {
            std::cout << alert.message << "：" << alert.choices[index] << '\n';
            answer(index);
            return;
        }
    }
    std::cout << alert.message << "：（未选择）\n";
    answer(std::nullopt);
}

void TerminalPrompts::ask(const CenterPlatform::Alert& alert,
                          std::function<void(std::size_t)> answer) {
    std::cout << alert.message << '\n';
    if (!alert.details.empty()) {
        std::cout << alert.details << '\n';
    }
    // An alert with one button only informs; there is nothing to decide.
    if (alert.buttons.size() <= 1 || answers_.yes) {
        answer(0);
        return;
    }
    if (::isatty(STDIN_FILENO) == 1) {
        std::cout << "输入 y 表示“" << alert.buttons.front() << "”，其他表示“"
                  << alert.buttons.back() << "”：" << std::flush;
        std::string line;
        const bool yes = std::getline(std::cin, line) && (line == "y" || line == "Y");
        // The terminal echoed the answer's line end; output sent elsewhere needs its own, so
        // that the status still stands on a line of its own.
        if (::isatty(STDOUT_FILENO) != 1) {
            std::cout << '\n';
        }
        if (yes) {
            answer(0);
            return;
        }
    }
    declined_ = true;
    answer(alert.buttons.size() - 1);
}

void TerminalPrompts::chooseSaveLocation(
    const CenterPlatform::SavePanel&,
    std::function<void(std::optional<std::filesystem::path>)> answer) {
    answer(answers_.file);
}
