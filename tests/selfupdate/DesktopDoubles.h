#pragma once

#include "core/FileContents.h"
#include "tests/support/ScriptedDesktop.h"

#include <gtest/gtest.h>

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
