#pragma once

// Files and folders for tests: a scratch folder that cleans up after itself, folder listings,
// whole-file reads and writes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::filesystem::path m_path;
};

// Names of the entries of a folder, sorted; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::filesystem::path& folder);

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path);
// The whole file as text; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::filesystem::path& path, const std::string& text);
