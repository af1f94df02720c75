#pragma once

#include <string>

// What quorvel-gui was started with: at most one GIF or folder to load, or a request that is
// answered on the terminal before any window (or display) is needed.
struct GuiCommandLine {
    int exitStatus = -1;  // >= 0: answered (--help, --version) or refused; exit with it
    std::string path;     // the GIF or folder to start with; empty for none
};

// Reads the arguments; --help and --version are printed on standard output, a usage error on
// standard error.
GuiCommandLine ParseGuiCommandLine(int argc, const char* const* argv);
