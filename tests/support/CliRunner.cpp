#include "support/CliRunner.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Forks and runs quorvel in cwd with standard input from `input` and its outputs onto outFd and
// errFd, its address space limited to addressSpaceKib when that is not 0. Returns the child's
// pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& cwd, int outFd, int errFd,
            const fs::path& input = "/dev/null", long addressSpaceKib = 0) {
#ifdef QUORVEL_CLI_PATH
    // Everything the child needs is made before the fork: it only opens files and execs.
    std::vector<std::string> argv = {QUORVEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const std::string inputPath = fs::absolute(input).string();
    const rlimit limit{static_cast<rlim_t>(addressSpaceKib) * 1024,
                       static_cast<rlim_t>(addressSpaceKib) * 1024};
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = open(inputPath.c_str(), O_RDONLY);
    if (in < 0 || outFd < 0 || errFd < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    if (addressSpaceKib && setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    dup2(in, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execv(raw[0], raw.data());
    _exit(127);
#else
    (void)args, (void)cwd, (void)outFd, (void)errFd, (void)input, (void)addressSpaceKib;
    return -1;
#endif
}

int OpenForWriting(const fs::path& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// Waits for the child; returns its exit status (-1 when it did not exit normally) and stores
// its peak resident memory.
int Wait(pid_t pid, long* peakKib = nullptr) {
    int raw = 0;
    rusage usage{};
    while (wait4(pid, &raw, 0, &usage) < 0 && errno == EINTR) {
    }
    if (peakKib) *peakKib = usage.ru_maxrss;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

namespace {

// Runs quorvel with its outputs in files of scratch (or standard output on a pipe whose reader
// has gone), calling during(pid) while it runs.
CliRun Run(const std::vector<std::string>& args, const fs::path& cwd, const fs::path& scratch,
           const fs::path& input, long addressSpaceKib, const std::function<void(int pid)>& during,
           bool closedOutput) {
    CliRun run;
    const fs::path out = scratch / ".stdout";
    const fs::path err = scratch / ".stderr";
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
    const pid_t pid = Spawn(args, cwd, outFd, errFd, input, addressSpaceKib);
    close(outFd);
    close(errFd);
    if (pid < 0) {
        run.err = "quorvel could not be started";
        return run;
    }
    if (during) during(pid);
    run.status = Wait(pid, &run.peakKib);
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

}  // namespace

CliRun RunQuorvel(const std::vector<std::string>& args, const fs::path& cwd,
                  const fs::path& scratch, const fs::path& input, long addressSpaceKib) {
    return Run(args, cwd, scratch, input, addressSpaceKib, nullptr, false);
}

CliRun RunQuorvelOnTerminal(const std::vector<std::string>& args, const fs::path& cwd,
                            int columns, bool outputToo) {
    CliRun run;
    int master = -1, slave = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
    const fs::path out = cwd / ".stdout";
    const int outFd = outputToo ? dup(slave) : OpenForWriting(out);
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
                       const std::function<void(int pid)>& during, bool closedOutput,
                       const fs::path& input) {
    return Run(args, cwd, cwd, input, 0, during, closedOutput);
}
