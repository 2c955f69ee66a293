#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The user's settings: a JSON object in one file whose values keep their type (a text stays a
// text, a boolean a boolean). Every change rewrites the file atomically.
class CenterSettings {
  public:
    // Reads the file. A missing file holds nothing. A corrupt one also holds nothing, is set
    // aside untouched by the first change, and is described by problem().
    explicit CenterSettings(std::filesystem::path file);

    [[nodiscard]] std::optional<std::string> text(const std::string& key) const;
    [[nodiscard]] std::optional<bool> boolean(const std::string& key) const;
    // A whole number; nothing when absent, of another type or out of int's range.
    [[nodiscard]] std::optional<int> integer(const std::string& key) const;

    // Store the value and rewrite the file; throw the file system's error when it cannot be
    // written, leaving the stored values as they were.
    void setText(const std::string& key, const std::string& value);
    void setBoolean(const std::string& key, bool value);
    // Stores a whole number, or removes the key when there is none.
    void setInteger(const std::string& key, std::optional<int> value);

    // The user's sentence for a settings file that could not be read, if any.
    [[nodiscard]] const std::optional<std::string>& problem() const { return problem_; }

  private:
    void store(const std::string& key, std::optional<nlohmann::json> value);

    std::filesystem::path file_;
    nlohmann::json document_ = nlohmann::json::object();
    std::optional<std::string> problem_;
    bool corrupt_ = false;
};
