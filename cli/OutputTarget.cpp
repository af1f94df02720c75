#include "cli/OutputTarget.h"

#include <unistd.h>

#include <system_error>

#include "jobs/Options.h"

namespace fs = std::filesystem;

bool NamesMovieFile(const std::string& output) {
    const std::string extension = fs::path(output).extension().string();
    std::error_code ec;
    return SameIgnoringCase(extension, ".swf") && !fs::is_directory(output, ec);
}

std::string MakeOutputFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec)) return {};
    if (fs::exists(folder, ec)) return "not a folder";
    fs::create_directories(folder, ec);
    return ec ? "cannot create the folder: " + ec.message() : std::string();
}

std::string TerminalRefusal() {
    if (isatty(STDOUT_FILENO) == 0) return {};
    return "standard output is a terminal, which a movie would garble; redirect it "
           "(> movie.swf) or name a file with -o";
}
