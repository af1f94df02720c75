#include "support/CliRunner.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

CliRun RunQuorvel(const std::vector<std::string>& args, const fs::path& cwd,
                  const fs::path& scratch, const fs::path& input, long addressSpaceKib) {
    CliRun run;
#ifdef QUORVEL_CLI_PATH
    std::string command =
        addressSpaceKib ? "ulimit -v " + std::to_string(addressSpaceKib) + " && " : "";
    command += "cd " + Quote(cwd.string()) + " && " + Quote(QUORVEL_CLI_PATH);
    for (const std::string& arg : args) command += " " + Quote(arg);
    const fs::path out = scratch / ".stdout";
    const fs::path err = scratch / ".stderr";
    command += " <" + Quote(fs::absolute(input).string()) + " >" + Quote(out.string()) + " 2>" +
               Quote(err.string());
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
#else
    (void)args, (void)cwd, (void)scratch, (void)input, (void)addressSpaceKib;
    run.err = "quorvel was not built";
#endif
    return run;
}

namespace {

// Forks and runs quorvel in cwd with stdin /dev/null, stdout onto outFd and stderr onto errFd.
// Returns the child's pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& cwd, int outFd, int errFd) {
#ifdef QUORVEL_CLI_PATH
    // Everything the child needs is made before the fork: it only opens files and execs.
    std::vector<std::string> argv = {QUORVEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = open("/dev/null", O_RDONLY);
    if (in < 0 || outFd < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execv(raw[0], raw.data());
    _exit(127);
#else
    (void)args, (void)cwd, (void)outFd, (void)errFd;
    return -1;
#endif
}

int OpenForWriting(const fs::path& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int Wait(pid_t pid) {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

CliRun RunQuorvelOnTerminal(const std::vector<std::string>& args, const fs::path& cwd,
                            int columns) {
    CliRun run;
    int master = -1, slave = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
    const fs::path out = cwd / ".stdout";
    const int outFd = OpenForWriting(out);
    const pid_t pid = Spawn(args, cwd, outFd, slave);
    close(outFd);
    close(slave);
    if (pid < 0) {
        close(master);
        return run;
    }
    // Read until the child's side closes (EIO on Linux).
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0)
            run.err.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    close(master);
    run.status = Wait(pid);
    run.out = ReadText(out);
    fs::remove(out);
    return run;
}

CliRun RunQuorvelWhile(const std::vector<std::string>& args, const fs::path& cwd,
                       const std::function<void(int pid)>& during, bool closedOutput) {
    CliRun run;
    const fs::path out = cwd / ".stdout";
    const fs::path err = cwd / ".stderr";
    int outFd = -1;
    if (closedOutput) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return run;
        close(ends[0]);
        outFd = ends[1];
    } else {
        outFd = OpenForWriting(out);
    }
    const int errFd = OpenForWriting(err);
    const pid_t pid = Spawn(args, cwd, outFd, errFd);
    close(outFd);
    close(errFd);
    if (pid < 0) return run;
    if (during) during(pid);
    run.status = Wait(pid);
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}
