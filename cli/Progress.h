#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "jobs/BatchProgress.h"

// Progress of a run as one line on standard error, redrawn in place: for the file last heard
// from, its frames done of its total, the percent and an estimate of the time left; for a run
// of several files the same for the whole run. The line is cut to the terminal's width so that
// it never wraps, and redrawn at most ten times a second. Nothing is drawn when standard error
// is not a terminal.
//
// Not thread-safe: callers that report from several threads hold a lock around each call.
class Progress {
public:
    using Clock = std::chrono::steady_clock;

    // One name for each file of the run; the files' totals come with their jobs' plans.
    Progress(bool enabled, std::vector<std::string> names);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool Enabled() const { return m_enabled; }

    // File `index` will write `frames` frames, as its job's plan says.
    void Planned(std::size_t index, int frames);
    // Frames of file `index` done so far.
    void Frames(std::size_t index, int done);
    // File `index` has ended (its frames count as done, whatever happened).
    void FileDone(std::size_t index);
    // Erases the line, so that other output starts on a clean line; the next report redraws.
    void Clear();

private:

    void Draw(const BatchProgress::State& state);

    bool m_enabled;
    bool m_shown = false;
    std::vector<std::string> m_names;
    BatchProgress m_counts;
    Clock::time_point m_lastDraw;
};

// One progress line for a terminal `width` columns wide (at most width - 1 characters, so the
// cursor never moves to a new line): the name of the file last heard from, its figures and, for
// a run of several files, those of the whole run.
std::string ProgressText(const std::string& name, const BatchProgress::State& state, int width);

// The width of the terminal on fd, or 80 when it cannot be told.
int TerminalWidth(int fd);
