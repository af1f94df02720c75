#pragma once

#include <sys/types.h>

#include <compare>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

// Which file a path names, links followed: two paths with one identity reach the same data,
// whatever links and folders lie between.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file at path; none when there is no such file (or it cannot be looked at).
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// The first entry of folder whose name `named` accepts and that is the file `file`; empty when
// there is none. Lists the folder once and looks only at the entries it accepts.
std::filesystem::path FindEntryThatIs(const std::filesystem::path& folder, FileIdentity file,
                                      const std::function<bool(std::string_view name)>& named);
