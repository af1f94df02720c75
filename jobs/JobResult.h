#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What a job will do, as its plan says before the first pixel is decoded: what every front-end
// shows of it (progress totals, the stage, the playing times).
struct JobPlan {
    int frames = 0;  // frames the job will write
    int width = 0;   // of each frame, and of a movie's stage
    int height = 0;
    int fps = 0;           // a movie's frame rate; 0 for frame files
    int64_t movieMs = 0;   // how long one pass of the movie plays
    int64_t gifMs = 0;     // how long the GIF plays, its delays as browsers show them
};

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
    // Pictures a conversion encoded: a frame that repeats the picture before reuses its bitmap.
    int encoded = 0;
    JobPlan plan;                       // what the job set out to do, once it was planned

    bool Succeeded() const { return status == Status::Succeeded; }
};

// How the note of a conversion whose movie plays far from the GIF's length ends: the command
// line's way to keep the GIF's timing. The dialog names its own control instead.
inline constexpr std::string_view kGifTimingHint = " (--timing gif keeps its timing)";

class MemoryBudget;
struct LibraryTarget;

// How a caller follows and steers a job. Jobs know nothing of threads or windows: progress is
// a plain callback (called on the job's thread) and cancelling is a flag the job polls between
// frames.
struct JobControl {
    std::function<void(int done)> progress;  // frames (or, for a batch, files) done so far
    // The job's plan, once it is made and before the first frame is decoded.
    std::function<void(const JobPlan& plan)> planned;
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
    void Planned(const JobPlan& plan) const {
        if (planned) planned(plan);
    }
};
