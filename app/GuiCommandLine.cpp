#include "app/GuiCommandLine.h"

#include <iostream>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: quorvel-gui [FILE.gif | FOLDER]...\n"
    "Turn animated GIF images into SWF movies, or extract their frames, in a small window.\n"
    "\n"
    "  FILE.gif       start with this GIF loaded\n"
    "  FOLDER         start in batch mode with this folder of GIF files\n"
    "  FILE... FOLDER...  start in batch mode with these GIF files (and those of the folders)\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "The command line 'quorvel' does the same from scripts; see quorvel(1).\n";

}  // namespace

GuiCommandLine ParseGuiCommandLine(int argc, const char* const* argv) {
    GuiCommandLine result;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::cout << kUsage;
            result.exitStatus = 0;
            return result;
        } else if (!optionsEnded && (arg == "-V" || arg == "--version")) {
            std::cout << "quorvel-gui " << QUORVEL_VERSION << '\n';
            result.exitStatus = 0;
            return result;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "quorvel-gui: unknown option '" << arg
                      << "'\nRun 'quorvel-gui --help' for usage.\n";
            result.exitStatus = 2;
            return result;
        } else {
            result.paths.emplace_back(arg);
        }
    }
    return result;
}
