#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// "-" as an input or output: standard input and standard output.

// The name that stands for standard input or output on the command line.
inline constexpr const char* kStdStream = "-";

// A private folder (0700) under the temporary folder ($TMPDIR or /tmp), "quorvel.XXXXXX",
// removed with everything in it when the object goes. The run holds an exclusive flock on it
// while it lives, so that the folders of runs killed with SIGKILL (which no one holds any more)
// can be told from those of runs still going: Create removes those of this user first, as the
// atomic writer removes its leftovers (base/Leftovers.h); on a file system without locks, none.
class TempFolder {
public:
    TempFolder() = default;
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Returns an empty string, or the cause of the failure.
    std::string Create();
    // Removes the folder now; Path() is then empty.
    void Remove();
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    int m_lock = -1;  // the folder, opened to hold the lock
};

// The most of standard input that is stored: a larger GIF is given as a file.
inline constexpr uint64_t kMaxStdinBytes = uint64_t{1} << 30;  // 1 GiB
inline constexpr const char* kMaxStdinText = "1 GiB";
// Where the stored standard input is read from: its outputs are named after "stdin".
inline constexpr const char* kStoredStdinPath = "/dev/stdin";

// Stores all of standard input in a file without a name in the temporary folder and makes it
// standard input, so that kStoredStdinPath reads it from its start as often as needed and
// nothing of it is left when the process ends, however it ends. Nothing is stored unless it
// starts like a GIF; a terminal is refused, and input longer than kMaxStdinBytes. Returns an
// empty string or the cause.
std::string SaveStandardInput();

// Copies the file to standard output. Returns an empty string or the cause.
std::string CopyToStandardOutput(const std::filesystem::path& path);
