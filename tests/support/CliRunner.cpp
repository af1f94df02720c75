#include "support/CliRunner.h"

#include "support/TestFiles.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

CliRun RunQuorvel(const std::vector<std::string>& args, const fs::path& cwd,
                  const fs::path& scratch) {
    CliRun run;
#ifdef QUORVEL_CLI_PATH
    std::string command = "cd " + Quote(cwd.string()) + " && " + Quote(QUORVEL_CLI_PATH);
    for (const std::string& arg : args) command += " " + Quote(arg);
    const fs::path out = scratch / ".stdout";
    const fs::path err = scratch / ".stderr";
    command += " </dev/null >" + Quote(out.string()) + " 2>" + Quote(err.string());
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
#else
    (void)args, (void)cwd, (void)scratch;
    run.err = "quorvel was not built";
#endif
    return run;
}
