#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

// A stream (a pipe, say) stored in an anonymous file, so that it can be read again from its
// start and nothing of it outlives the process, however it ends.
struct StoredStream {
    enum class Outcome {
        Stored,       // fd holds all of the stream
        WrongStart,   // the stream does not begin with the expected bytes; nothing was stored
        TooLong,      // the stream goes on past the limit
        ReadFailed,   // error is the errno of the read
        StoreFailed,  // error is the errno of making or writing the file
    };
    Outcome outcome = Outcome::StoreFailed;
    int fd = -1;    // when Stored: the file, owned by the caller
    int error = 0;  // errno, when reading or storing failed
};

// Reads the descriptor `from` to its end into a new file in folder that has no name (O_TMPFILE,
// or a file removed at once where the file system has none of those). Nothing is stored unless
// the stream begins with `start`; a stream longer than `limit` bytes is refused once the limit
// is passed, and its file let go.
StoredStream StoreStream(int from, const std::filesystem::path& folder, std::string_view start,
                         uint64_t limit);
// The same, taking a stream whose first headSize bytes (fewer when it is shorter) `accepts`.
StoredStream StoreStream(int from, const std::filesystem::path& folder, std::size_t headSize,
                         const std::function<bool(std::string_view)>& accepts, uint64_t limit);
