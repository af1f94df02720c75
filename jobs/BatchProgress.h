#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// Frames done and to do across the files of a run, as their jobs report them from whatever
// threads they run on, with the time taken: what a progress bar or line shows. Thread-safe.
class BatchProgress {
public:
    using Clock = std::chrono::steady_clock;

    // Frames done of a total (0: unknown) in some seconds.
    struct Count {
        int64_t done = 0;
        int64_t total = 0;
        double seconds = 0;

        // 0 to 100; none while the total is unknown.
        std::optional<int> Percent() const;
        // The time the rest will take at the pace so far; none until there is a pace to go by.
        std::optional<double> SecondsLeft() const;
    };
    struct State {
        std::size_t current = 0;  // the file last heard from
        Count file;               // its frames
        Count run;                // the frames of every file
        std::size_t files = 0;
        std::size_t filesDone = 0;
    };

    // A run of `files` files, whose totals are unknown until their jobs have planned them.
    explicit BatchProgress(std::size_t files);

    // File `index` will write `frames` frames, as its job's plan says.
    State Planned(std::size_t index, int frames);
    // Where the run stands.
    State Current() const;
    // File `index` has done `frames` frames (a late, lower report changes nothing).
    State Frames(std::size_t index, int frames);
    // File `index` has ended, whatever happened: it no longer holds up the run's estimate.
    State FileDone(std::size_t index);

private:
    State Snapshot(std::size_t index) const;

    mutable std::mutex m_mutex;
    std::vector<int> m_totals;
    std::vector<int> m_done;
    std::vector<Clock::time_point> m_started;
    std::size_t m_filesDone = 0;
    Clock::time_point m_runStarted;
};
