#pragma once

#include "core/FileDescriptor.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

// What a finished program left behind: its exit code and what it wrote.
struct ProgramResult {
    // The exit status, or 128 + the signal that ended the program.
    int exitCode = -1;
    std::string out;
    std::string err;
    // The signal that ended the program without its say; 0 when it exited.
    int signal = 0;
};

// A program started in the background, for tests that signal it, answer it at a terminal or
// run several at once. Its standard input is `input` (a terminal's device, say); its output is
// collected when it is waited for; the destructor kills and reaps it if the test did not.
class RunningProgram {
  public:
    RunningProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment = {},
                   const std::filesystem::path& input = "/dev/null");
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram();

    void signal(int number) const;
    // Waits for the end; the exit code is 128 + the signal's number for a killed program.
    ProgramResult wait();

  private:
    int pid_ = -1;
    FileDescriptor out_;
    FileDescriptor err_;
};

// Runs a program to completion with the given arguments and extra environment variables, with
// standard input closed, and collects both output streams.
ProgramResult runProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {});

// What a program that must succeed printed; its failure fails the test.
inline std::string outputOf(const std::filesystem::path& program,
                            const std::vector<std::string>& arguments) {
    ProgramResult result = runProgram(program, arguments);
    EXPECT_EQ(result.exitCode, 0) << program << ": " << result.err;
    return result.out;
}
