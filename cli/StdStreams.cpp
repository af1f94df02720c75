#include "cli/StdStreams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "anim/AnimationFormat.h"
#include "base/AtomicFile.h"
#include "base/StreamStore.h"

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

// $TMPDIR, or /tmp.
std::filesystem::path TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

constexpr std::string_view kTempFolderPrefix = "quorvel.";

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes this user's temporary folders that no run holds: those of runs killed with SIGKILL.
// A folder held, or on a file system without locks, stays.
void RemoveAbandonedFolders() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(TemporaryFolder(), ec)) {
        const std::string path = entry.path().string();
        const std::string name = entry.path().filename().string();
        struct stat named = {}, opened = {};
        if (!name.starts_with(kTempFolderPrefix) || name.size() != kTempFolderPrefix.size() + 6 ||
            lstat(path.c_str(), &named) != 0 || !S_ISDIR(named.st_mode) ||
            named.st_uid != geteuid())
            continue;
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 &&
            SameFile(named, opened))
            std::filesystem::remove_all(path, ec);
        close(fd);
    }
}

}  // namespace

void TempFolder::Remove() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    close(m_lock);
    m_lock = -1;
    m_path.clear();
}

std::string TempFolder::Create() {
    RemoveAbandonedFolders();
    for (;;) {
        std::string pattern = (TemporaryFolder() / (std::string(kTempFolderPrefix) + "XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            return "cannot create a temporary folder: " + ErrorText(errno);
        const int fd = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;  // removed at once, by another run's clean-up
        // Another run's clean-up may have found it in the moment before the lock: then it is
        // gone, or going, and another is made.
        struct stat locked = {}, named = {};
        const bool held = flock(fd, LOCK_EX) == 0 || errno == ENOLCK || errno == EOPNOTSUPP;
        if (held && fstat(fd, &locked) == 0 && lstat(pattern.c_str(), &named) == 0 &&
            SameFile(locked, named)) {
            m_path = pattern;
            m_lock = fd;
            return {};
        }
        close(fd);
    }
}

std::string SaveStandardInput() {
    if (isatty(STDIN_FILENO)) return "standard input is a terminal, not a GIF";
    // "GIF" was all a GIF on standard input had to start with; WebP and PNG need their signatures.
    const auto accepts = [](std::string_view head) {
        return head.starts_with("GIF") || FormatOfStart(head) != AnimationFormat::Unknown;
    };
    const StoredStream stored =
        StoreStream(STDIN_FILENO, TemporaryFolder(), kFormatSignatureBytes, accepts, kMaxStdinBytes);
    switch (stored.outcome) {
        case StoredStream::Outcome::Stored:
            break;
        case StoredStream::Outcome::WrongStart:
            return "standard input is not a GIF, WebP or PNG image (it does not start with \"GIF\", "
                   "\"RIFF....WEBP\" or the PNG signature)";
        case StoredStream::Outcome::TooLong:
            return std::string("standard input holds more than ") + kMaxStdinText +
                   "; give so large a GIF as a file";
        case StoredStream::Outcome::ReadFailed:
            return "cannot read standard input: " + ErrorText(stored.error);
        case StoredStream::Outcome::StoreFailed:
            return "cannot store standard input in " + TemporaryFolder().string() + ": " +
                   ErrorText(stored.error);
    }
    const bool placed = dup2(stored.fd, STDIN_FILENO) == STDIN_FILENO;
    const int error = errno;
    close(stored.fd);
    if (!placed) return "cannot store standard input: " + ErrorText(error);
    if (access(kStoredStdinPath, R_OK) != 0)
        return std::string("cannot read standard input back through ") + kStoredStdinPath + ": " +
               ErrorText(errno);
    return {};
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
