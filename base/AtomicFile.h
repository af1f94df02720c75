#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// A file that appears complete or not at all. The data goes to a hidden temporary file beside
// the target (".<name>.<pid>.<n>.part", cut to fit the file system's name limit), held with an
// exclusive lock while it is written, which Commit flushes to disk and renames over the target.
// A replaced regular file keeps its permission bits but the set-user-ID and set-group-ID ones;
// a new file, and one that replaces a link, gets 0666 less the umask. Any failure, and
// destruction before Commit, removes the temporary file and leaves the target as it was. Open
// removes the temporary files of the same target that no writer holds any more (a SIGKILL cannot
// be caught): see base/Leftovers.h.
//
// Failures come back as return values; ErrorCode() is then the errno of the first one, and
// every later call fails with it.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file for target. Fails, keeping it, when a file is already open.
    bool Open(const std::filesystem::path& target);
    // Appends all of data (short writes are continued).
    bool Write(const uint8_t* data, std::size_t size);
    // Writes data at offset, over bytes written before (a header patched at the end).
    bool WriteAt(uint64_t offset, const uint8_t* data, std::size_t size);
    // Flushes, closes and renames the temporary file over the target.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

    bool IsOpen() const { return m_fd >= 0; }
    int ErrorCode() const { return m_nError; }
    const std::filesystem::path& TempPath() const { return m_tempPath; }

private:
    bool Fail(int error);

    static constexpr uint64_t kFlushStep = 1 << 20;  // bytes written between flushes started

    int m_fd = -1;
    int m_nError = 0;
    uint64_t m_written = 0;       // bytes appended by Write
    uint64_t m_flushStarted = 0;  // the first m_flushStarted of them are on their way to disk
    std::filesystem::path m_target;
    std::filesystem::path m_tempPath;
};

// The temporary file name for a target called `name`: ".<name>.<pid>.<n>.part", with name cut
// (at a character boundary) so that the whole is at most maxBytes long.
std::string TempFileName(const std::string& name, long pid, unsigned n, std::size_t maxBytes);

// Writes the bytes to path through an AtomicFile. Returns 0, or the errno of the failure.
int WriteFileAtomically(const std::filesystem::path& path, const uint8_t* data, std::size_t size);

// The system's text for an errno value ("No space left on device").
std::string ErrorText(int error);
