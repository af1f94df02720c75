#pragma once

#include <string>
#include <vector>

// What quorvel-gui was started with: the GIFs or folders to load (a file manager hands over
// every file chosen), or a request that is answered on the terminal before any window (or
// display) is needed.
struct GuiCommandLine {
    int exitStatus = -1;  // >= 0: answered (--help, --version) or refused; exit with it
    std::vector<std::string> paths;  // the GIFs or folders to start with, in order
};

// Reads the arguments; --help and --version are printed on standard output, a usage error on
// standard error.
GuiCommandLine ParseGuiCommandLine(int argc, const char* const* argv);
