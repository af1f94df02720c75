#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// The temporary files that writers killed before they finished left behind (see AtomicFile).
// Every writer holds an exclusive flock on its temporary file until the file is renamed into
// place or removed, and the lock dies with the writer, on this machine or another sharing the
// folder, whatever its PID namespace. So a leftover is a temporary file that no one holds: one
// held by a writer, one on a file system without locks, and anything that is not a regular file
// are left alone.
//
// A folder is listed once per run, the first time a file is written into it; later writes there
// look only at what that listing found, so that writing many files into a large folder costs
// one listing. Temporary files that appear after the listing are the next run's to remove.

// Removes the leftovers of the target `name` in folder: the temporary names TempFileName gives
// it for any process and count, with names cut to nameLimit bytes. Never those of this process.
void RemoveLeftovers(const std::filesystem::path& folder, const std::string& name,
                     std::size_t nameLimit);

// Starts a new run for a program that runs several (the dialog, one a job): the next write into
// any folder lists it again.
void ForgetListedFolders();

// Holds fd, a temporary file just created at path, for its writer: takes the exclusive lock and
// checks that path still names it (a clean-up may have found it in the moment before the lock
// and removed it). False when it was removed: the writer then makes another. A file system
// without locks leaves the file unlocked, and true.
bool HoldNewTempFile(int fd, const std::filesystem::path& path);
