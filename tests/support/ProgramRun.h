#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// What a finished program left behind: its exit code and what it wrote.
struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to completion with the given arguments and extra environment variables, with
// standard input closed, and collects both output streams.
ProgramResult runProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {});
