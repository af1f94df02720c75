#include "cli/StdStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "base/AtomicFile.h"

namespace {

// Copies from one descriptor to another until the end. Returns 0 or the errno of the failure;
// `readFailed` tells which side it was.
int Copy(int from, int to, bool& readFailed) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            readFailed = true;
            return errno;
        }
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t n = write(to, buffer.data() + sent, static_cast<size_t>(got - sent));
            if (n < 0) {
                if (errno == EINTR) continue;
                readFailed = false;
                return errno;
            }
            sent += n;
        }
    }
}

}  // namespace

TempFolder::~TempFolder() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempFolder::Create() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvel.XXXXXX";
    if (!mkdtemp(pattern.data())) return "cannot create a temporary folder: " + ErrorText(errno);
    m_path = pattern;
    return {};
}

std::string SaveStandardInput(const std::filesystem::path& path) {
    if (isatty(STDIN_FILENO)) return "standard input is a terminal, not a GIF";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return "cannot store standard input: " + ErrorText(errno);
    bool readFailed = false;
    int error = Copy(STDIN_FILENO, fd, readFailed);
    if (close(fd) != 0 && error == 0) error = errno, readFailed = false;
    if (error == 0) return {};
    return (readFailed ? "cannot read standard input: " : "cannot store standard input: ") +
           ErrorText(error);
}

std::string CopyToStandardOutput(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot read the movie: " + ErrorText(errno);
    bool readFailed = false;
    const int error = Copy(fd, STDOUT_FILENO, readFailed);
    close(fd);
    if (error == 0) return {};
    return (readFailed ? "cannot read the movie: " : "cannot write to standard output: ") +
           ErrorText(error);
}
