#pragma once

// Runs the built quorvel command line from a test.

#include <filesystem>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs quorvel with args in folder cwd, with standard input empty and both outputs captured
// (through files in cwd's scratch space `scratch`, removed afterwards).
CliRun RunQuorvel(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                  const std::filesystem::path& scratch);
