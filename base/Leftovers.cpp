#include "base/Leftovers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/AtomicFile.h"

namespace {

// A name in a folder that has the form of a temporary file: ".<name>.<pid>.<n>.part".
struct Candidate {
    std::string entry;
    long pid = 0;
    unsigned n = 0;
};

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

std::vector<Candidate> ListCandidates(const std::filesystem::path& folder) {
    std::vector<Candidate> found;
    const long self = ::getpid();
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        Candidate c;
        c.entry = it->path().filename().string();
        std::string_view rest = c.entry;
        if (!rest.starts_with('.') || !rest.ends_with(".part")) continue;
        rest.remove_suffix(5);
        if (TakeLastNumber(rest, c.n) && TakeLastNumber(rest, c.pid) && c.pid > 0 &&
            c.pid != self)
            found.push_back(std::move(c));
    }
    return found;
}

// Removes the regular file at path when no writer holds it. A shared lock is refused while a
// writer holds its exclusive one, and needs no more than read access (NFS emulates flock with
// POSIX locks, where an exclusive lock would need write access).
void RemoveUnheld(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_SH | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

std::mutex g_mutex;
// What each folder's listing found, by folder; a candidate goes once it has been looked at.
std::map<std::string, std::vector<Candidate>> g_listed;

}  // namespace

void RemoveLeftovers(const std::filesystem::path& folder, const std::string& name,
                     std::size_t nameLimit) {
    const std::filesystem::path dir = folder.empty() ? "." : folder.lexically_normal();
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto [listing, fresh] = g_listed.try_emplace(dir.string());
    if (fresh) listing->second = ListCandidates(dir);
    std::erase_if(listing->second, [&](const Candidate& c) {
        if (c.entry != TempFileName(name, c.pid, c.n, nameLimit)) return false;
        RemoveUnheld(dir / c.entry);
        return true;
    });
}

void ForgetListedFolders() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_listed.clear();
}

bool HoldNewTempFile(int fd, const std::filesystem::path& path) {
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) return true;  // no locks here: nothing removes it either
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}
