#pragma once

// Runs the built quorvel command line from a test.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
    long peakKib = 0;  // peak resident memory (not on a terminal)
};

// Runs quorvel with args in folder cwd, with standard input empty and both outputs captured
// (through files in cwd's scratch space `scratch`, removed afterwards), and its address space
// limited to addressSpaceKib when that is not 0.
CliRun RunQuorvel(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                  const std::filesystem::path& scratch,
                  const std::filesystem::path& input = "/dev/null", long addressSpaceKib = 0);

// Runs quorvel with standard error on a pseudo-terminal `columns` wide (and standard output too,
// with outputToo); run.err is what the terminal received.
CliRun RunQuorvelOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                            int columns, bool outputToo = false);

// Starts quorvel, calls during(pid) while it runs (to send it a signal, say), then waits for it.
// With closedOutput, standard output is a pipe whose reader has gone (as in `| head -n 0`).
// Standard input comes from `input` (a FIFO that during() writes to, say: the child opens it
// before quorvel starts).
CliRun RunQuorvelWhile(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                       const std::function<void(int pid)>& during, bool closedOutput = false,
                       const std::filesystem::path& input = "/dev/null");
