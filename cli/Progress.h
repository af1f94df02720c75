#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

    // fileTotals: the frames each file is expected to have (0 when unknown).
    Progress(bool enabled, std::vector<std::string> names, std::vector<int> fileTotals);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool Enabled() const { return m_enabled; }

    // Frames of file `index` done so far.
    void Frames(std::size_t index, int done);
    // File `index` has ended (its frames count as done, whatever happened).
    void FileDone(std::size_t index);
    // Erases the line, so that other output starts on a clean line; the next report redraws.
    void Clear();

private:
    void Draw();

    bool m_enabled;
    bool m_shown = false;
    std::vector<std::string> m_names;
    std::vector<int> m_totals;
    std::vector<int> m_done;
    std::vector<Clock::time_point> m_started;
    std::size_t m_current = 0;
    std::size_t m_filesDone = 0;
    Clock::time_point m_runStarted;
    Clock::time_point m_lastDraw;
};

// One progress line for a terminal `width` columns wide (at most width - 1 characters, so the
// cursor never moves to a new line). Counts with total 0 are unknown. Times are in seconds.
struct ProgressState {
    std::string name;
    int64_t fileDone = 0, fileTotal = 0;
    double fileSeconds = 0;
    // A run of several files: files and frames of the whole run (runFiles 0: a single file).
    std::size_t runFiles = 0, runFilesDone = 0;
    int64_t runDone = 0, runTotal = 0;
    double runSeconds = 0;
};
std::string ProgressText(const ProgressState& state, int width);

// The width of the terminal on fd, or 80 when it cannot be told.
int TerminalWidth(int fd);
