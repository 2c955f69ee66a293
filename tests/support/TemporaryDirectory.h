#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

// Writes a file, creating its folders, and returns its path.
inline std::filesystem::path writeFile(const std::filesystem::path& file,
                                       std::string_view content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    return file;
}

// A fresh folder under the system's temporary directory, removed with everything in it when the
// test ends.
class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestryn-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        }
        path_ = pattern;
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

    // Writes a file in the folder (or at an absolute path), creating its folders.
    std::filesystem::path write(const std::filesystem::path& name, std::string_view content) const {
        return writeFile(path_ / name, content);
    }

  private:
    std::filesystem::path path_;
};

// The whole content of a file, as a test reads back what was written.
inline std::string fileContents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The items in a folder whose names begin with the prefix; none when it is missing.
inline std::vector<std::filesystem::path> entries(const std::filesystem::path& folder,
                                                  const std::string& prefix = "") {
    std::vector<std::filesystem::path> found;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
        if (entry.path().filename().string().starts_with(prefix)) {
            found.push_back(entry.path());
        }
    }
    return found;
}
