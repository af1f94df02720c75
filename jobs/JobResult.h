#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What a job reports back. A job never reports success for a file it did not write.
struct JobResult {
    enum class Status { Succeeded, Failed, Cancelled };

    Status status = Status::Succeeded;
    std::string input;                  // the GIF the job read
    std::string error;                  // the cause, when the job failed
    std::vector<std::string> warnings;  // things the user should know about a success
    std::vector<std::string> notes;     // worth saying, though the job did all it was asked
    std::vector<std::string> outputs;   // files written, in order
    std::vector<std::string> skipped;   // files that existed and were kept, when asked to
    int frames = 0;                     // frames written

    bool Succeeded() const { return status == Status::Succeeded; }
};

// How the note of a conversion whose movie plays far from the GIF's length ends: the command
// line's way to keep the GIF's timing. The dialog names its own control instead.
inline constexpr std::string_view kGifTimingHint = " (--like-gif keeps its timing)";

class MemoryBudget;
struct LibraryTarget;

// How a caller follows and steers a job. Jobs know nothing of threads or windows: progress is
// a plain callback (called on the job's thread) and cancelling is a flag the job polls between
// frames.
struct JobControl {
    std::function<void(int done)> progress;  // frames (or, for a batch, files) done so far
    const std::atomic<bool>* cancel = nullptr;
    unsigned threads = 1;  // worker threads the job may use (0: one per core)
    // Shared by the jobs of a run; null: the job keeps to a budget of its own.
    MemoryBudget* memory = nullptr;
    // The library a conversion adds its GIF to as a symbol; null: it writes a movie of its own.
    LibraryTarget* library = nullptr;

    bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void Report(int done) const {
        if (progress) progress(done);
    }
};
