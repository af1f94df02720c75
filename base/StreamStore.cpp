#include "base/StreamStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Reads up to size bytes, fewer only at the end of the stream. Returns the count, or -1.
ssize_t ReadFully(int from, char* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(from, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool WriteAll(int to, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(to, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A new file in folder without a name, open for reading and writing; -1 and errno on failure.
int AnonymousFile(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string pattern = (folder / "quorvel-stdin.XXXXXX").string();
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(pattern.c_str());
    return named;
}

}  // namespace

StoredStream StoreStream(int from, const std::filesystem::path& folder, std::string_view start,
                         uint64_t limit) {
    return StoreStream(
        from, folder, start.size(), [start](std::string_view head) { return head == start; }, limit);
}

StoredStream StoreStream(int from, const std::filesystem::path& folder, std::size_t headSize,
                         const std::function<bool(std::string_view)>& accepts, uint64_t limit) {
    using Outcome = StoredStream::Outcome;
    std::vector<char> buffer(std::max<std::size_t>(headSize, std::size_t{1} << 16));
    ssize_t got = ReadFully(from, buffer.data(), headSize);
    if (got < 0) return {Outcome::ReadFailed, -1, errno};
    if (!accepts(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
        return {Outcome::WrongStart, -1, 0};

    StoredStream stored{Outcome::Stored, AnonymousFile(folder), 0};
    if (stored.fd < 0) return {Outcome::StoreFailed, -1, errno};
    for (uint64_t total = 0; stored.outcome == Outcome::Stored;) {
        total += static_cast<uint64_t>(got);
        if (total > limit) {
            stored.outcome = Outcome::TooLong;
        } else if (!WriteAll(stored.fd, buffer.data(), static_cast<std::size_t>(got))) {
            stored = {Outcome::StoreFailed, stored.fd, errno};
        } else if ((got = ReadFully(from, buffer.data(), buffer.size())) < 0) {
            stored = {Outcome::ReadFailed, stored.fd, errno};
        } else if (got == 0) {
            break;
        }
    }
    if (stored.outcome != Outcome::Stored) {
        ::close(stored.fd);
        stored.fd = -1;
    }
    return stored;
}
