#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jobs/JobResult.h"

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

    // totals: the frames each file is expected to have (0 when unknown).
    explicit BatchProgress(std::vector<int> totals);
    // The frames each file will have, from a quick scan of each; the files not scanned when
    // control is cancelled count 0.
    static std::vector<int> ScanTotals(const std::vector<std::string>& files,
                                       const JobControl& control = {});

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
