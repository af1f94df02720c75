#pragma once

#include <filesystem>
#include <string>

// "-" as an input or output: standard input and standard output.

// The name that stands for standard input or output on the command line.
inline constexpr const char* kStdStream = "-";

// A private folder under the temporary folder ($TMPDIR or /tmp), removed with everything in it
// when the object goes.
class TempFolder {
public:
    TempFolder() = default;
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Returns an empty string, or the cause of the failure.
    std::string Create();
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Copies all of standard input into a new file at path. Returns an empty string or the cause;
// refuses a terminal, which holds no GIF.
std::string SaveStandardInput(const std::filesystem::path& path);

// Copies the file to standard output. Returns an empty string or the cause.
std::string CopyToStandardOutput(const std::filesystem::path& path);
