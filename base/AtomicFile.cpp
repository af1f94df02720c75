#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <string_view>
#include <system_error>

namespace {

// The longest file name the folder's file system takes.
std::size_t NameLimit(const std::filesystem::path& folder) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

// The number after the last '.' of text, which is cut before that '.'; false when there is none.
template <typename Number>
bool TakeLastNumber(std::string_view& text, Number& number) {
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == text.size()) return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + dot + 1, end, number);
    if (error != std::errc() || stop != end) return false;
    text = text.substr(0, dot);
    return true;
}

// Removes the temporary files of the target `name` in folder that processes which no longer exist
// left behind (killed with SIGKILL, say). A file whose process still runs, or might (kill fails
// otherwise than with ESRCH), is that process's to finish.
void RemoveLeftovers(const std::filesystem::path& folder, const std::string& name,
                     std::size_t limit) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        std::string_view rest = entry;
        if (!rest.ends_with(".part")) continue;
        rest.remove_suffix(5);
        unsigned n = 0;
        pid_t pid = 0;
        if (!TakeLastNumber(rest, n) || !TakeLastNumber(rest, pid) || pid <= 0) continue;
        if (pid == ::getpid() || entry != TempFileName(name, pid, n, limit)) continue;
        if (::kill(pid, 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
    }
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
    // A name is only taken twice when a dead process with our pid left its file behind.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / TempFileName(name, static_cast<long>(::getpid()), counter++, limit);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return Fail(errno);
    }
    if (fd < 0) return Fail(EEXIST);
    // A replaced file keeps its permissions, as when it is overwritten in place.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        (void)::fchmod(fd, st.st_mode & 07777);
    }
    m_fd = fd;
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
    // The data must be on disk before the rename makes it the target, or a crash could leave an
    // empty file where the old one was. File systems without fsync report EINVAL.
    if (::fsync(m_fd) != 0 && errno != EINVAL) return Fail(errno);
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0 && errno != EINTR) return Fail(errno);
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) return Fail(errno);
    m_tempPath.clear();
    return true;
}

void AtomicFile::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
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
