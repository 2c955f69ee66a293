#pragma once

#include "core/FileDescriptor.h"
#include "tests/support/ReleaseSite.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>

inline const std::filesystem::path kestryn = KESTRYN_BIN_DIR "/kestryn";
inline const std::filesystem::path publish = KESTRYN_BIN_DIR "/kestryn-publish";
inline const std::string soundApp = "KESTRYN 回响工坊.app";

// The last line of a program's output.
inline std::string lastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

// A user's home, temporary and data folders under the plain C locale, the maker's site on a real
// HTTPS server the programs trust, and releases of 回响工坊 as the publisher makes them: a bundle
// under its Chinese folder name, sealed and packed by kestryn-publish.
class CenterHome : public ReleaseSite {
  protected:
    std::filesystem::path home = temp / "home";
    std::filesystem::path applications = home / "Applications";
    std::filesystem::path backups = home / ".local/share/KESTRYN Center/Backups";
    std::filesystem::path temporary = temp / "tmp";
    std::filesystem::path resources = KESTRYN_RESOURCES_DIR;

    CenterHome() { std::filesystem::create_directories(temporary); }

    std::map<std::string, std::string> environment() const {
        return {{"HOME", home.string()},
                {"XDG_DATA_HOME", (home / ".local/share").string()},
                {"XDG_CONFIG_HOME", (home / ".config").string()},
                {"TMPDIR", temporary.string()},
                {"KESTRYN_RESOURCES", resources.string()},
                {"KESTRYN_CA_FILE", server.caFile().string()},
                {"LC_ALL", "C"}};
    }

    ProgramResult center(const std::vector<std::string>& words) const {
        return runProgram(kestryn, words, environment());
    }

    // The verb run with a terminal as its standard input, where the user types `typed`.
    ProgramResult atTerminal(const std::vector<std::string>& words,
                             const std::string& typed) const {
        FileDescriptor terminal(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        EXPECT_TRUE(terminal.valid() && ::grantpt(terminal.get()) == 0 &&
                    ::unlockpt(terminal.get()) == 0);
        RunningProgram program(kestryn, words, environment(), ::ptsname(terminal.get()));
        EXPECT_EQ(::write(terminal.get(), typed.data(), typed.size()),
                  static_cast<ssize_t>(typed.size()));
        return program.wait();
    }

    // The bundle of a release that `release` made.
    std::filesystem::path bundle(const std::string& version) const {
        return temp / version / soundApp;
    }

    // The package of 回响工坊 `version`, made once, with `extraFiles` of 32 KiB of noise.
    std::filesystem::path release(const std::string& version, int extraFiles = 0) {
        std::filesystem::path zip = temp / version / "release.zip";
        if (std::filesystem::exists(zip)) {
            return zip;
        }
        BundleContents contents{.version = version, .sealed = false};
        contents.files["Resources/说明 文档.txt"] = "回响工坊 " + version;
        for (int i = 0; i < extraFiles; ++i) {
            contents.files["Resources/素材/" + std::to_string(i) + ".bin"] =
                noise(static_cast<unsigned>(i), 32 * 1024);
        }
        writeBundle(temp / version, soundApp, contents);
        outputOf(publish, {"seal", bundle(version).string()});
        outputOf(publish, {"pack", bundle(version).string(), zip.string()});
        return zip;
    }
};
