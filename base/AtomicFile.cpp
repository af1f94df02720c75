#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <system_error>

#include "base/Leftovers.h"

namespace {

// The longest file name the folder's file system takes.
std::size_t NameLimit(const std::filesystem::path& folder) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

}  // namespace

std::string ErrorText(int error) { return std::generic_category().message(error); }

std::string TempFileName(const std::string& name, long pid, unsigned n, std::size_t maxBytes) {
    const std::string suffix = "." + std::to_string(pid) + "." + std::to_string(n) + ".part";
    std::size_t keep = name.size();
    if (1 + keep + suffix.size() > maxBytes) {
        keep = maxBytes > 1 + suffix.size() ? maxBytes - 1 - suffix.size() : 0;
        // Never cut a UTF-8 sequence in two: back up over continuation bytes.
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    }
    return "." + name.substr(0, keep) + suffix;
}

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Open(const std::filesystem::path& target) {
    if (m_fd >= 0) return false;  // the file already open is kept
    m_nError = 0;
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = target.parent_path();
    const std::size_t limit = NameLimit(folder);
    const std::string name = target.filename().string();
    RemoveLeftovers(folder, name, limit);
    int fd = -1;
    std::filesystem::path temp;
    // A name is only taken twice when a process with our pid, gone or in another PID namespace,
    // left its file behind; a file a clean-up removed before it was held is made again.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / TempFileName(name, static_cast<long>(::getpid()), counter++, limit);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return Fail(errno);
        if (fd >= 0 && !HoldNewTempFile(fd, temp)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) return Fail(EEXIST);
    m_fd = fd;
    m_written = m_flushStarted = 0;
    m_target = target;
    m_tempPath = temp;
    return true;
}

bool AtomicFile::Write(const uint8_t* data, std::size_t size) {
    if (m_nError != 0) return false;
    if (m_fd < 0) return Fail(EBADF);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : EIO);
        data += n;
        size -= static_cast<std::size_t>(n);
        m_written += static_cast<uint64_t>(n);
    }
    // Starts writing what came so far to disk while the rest is made, so that Commit's flush
    // has little left to wait for. Only a hint: a file system that does not take it is fine.
    if (m_written - m_flushStarted >= kFlushStep) {
        (void)::sync_file_range(m_fd, static_cast<off_t>(m_flushStarted),
                                static_cast<off_t>(m_written - m_flushStarted),
                                SYNC_FILE_RANGE_WRITE);
        m_flushStarted = m_written;
    }
    return true;
}

bool AtomicFile::WriteAt(uint64_t offset, const uint8_t* data, std::size_t size) {
    if (m_nError != 0) return false;
    if (m_fd < 0) return Fail(EBADF);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : EIO);
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool AtomicFile::Commit() {
    if (m_nError != 0) return false;
    if (m_fd < 0) return Fail(EBADF);
    // A replaced regular file keeps its permissions, as when it is overwritten in place, less
    // the set-user-ID and set-group-ID bits; a new file, or one that replaces a link, keeps the
    // 0666 less the umask it was made with (never the mode of the link's target).
    struct stat st {};
    if (::lstat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        (void)::fchmod(m_fd, st.st_mode & 0777);
    }
    // The data must be on disk before the rename makes it the target, or a crash could leave an
    // empty file where the old one was. File systems without fsync report EINVAL.
    if (::fsync(m_fd) != 0 && errno != EINVAL) return Fail(errno);
    // Renamed while the lock still holds it, so that no clean-up takes it for a leftover; the
    // data is on disk, and closing only lets go of the lock.
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) return Fail(errno);
    m_tempPath.clear();
    ::close(m_fd);
    m_fd = -1;
    return true;
}

void AtomicFile::Abandon() {
    // Removed before the lock goes with the descriptor.
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool AtomicFile::Fail(int error) {
    if (m_nError == 0) m_nError = error;
    Abandon();
    return false;
}

int WriteFileAtomically(const std::filesystem::path& path, const uint8_t* data, std::size_t size) {
    AtomicFile file;
    if (file.Open(path) && file.Write(data, size) && file.Commit()) return 0;
    return file.ErrorCode();
}
