#include "jobs/BatchProgress.h"

#include <algorithm>

std::optional<int> BatchProgress::Count::Percent() const {
    if (total <= 0) return std::nullopt;
    return static_cast<int>(std::min(done, total) * 100 / total);
}

std::optional<double> BatchProgress::Count::SecondsLeft() const {
    // Less than a fifth of a second of work says little about the pace.
    if (total <= 0 || done <= 0 || seconds <= 0.2) return std::nullopt;
    const int64_t clamped = std::min(done, total);
    return seconds * double(total - clamped) / double(clamped);
}

BatchProgress::BatchProgress(std::size_t files)
    : m_totals(files, 0), m_done(files, 0), m_started(files), m_runStarted(Clock::now()) {}

BatchProgress::State BatchProgress::Planned(std::size_t index, int frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_totals.size()) return Snapshot(0);
    m_totals[index] = frames;
    return Snapshot(index);
}

BatchProgress::State BatchProgress::Current() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Snapshot(0);
}

BatchProgress::State BatchProgress::Frames(std::size_t index, int frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_done.size()) return Snapshot(0);
    if (m_started[index] == Clock::time_point{}) m_started[index] = Clock::now();
    m_done[index] = std::max(m_done[index], frames);
    return Snapshot(index);
}

BatchProgress::State BatchProgress::FileDone(std::size_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_done.size()) return Snapshot(0);
    // A file that ended early (it failed, or broke off) has no more frames to do.
    m_totals[index] = m_done[index];
    ++m_filesDone;
    return Snapshot(index);
}

BatchProgress::State BatchProgress::Snapshot(std::size_t index) const {
    const Clock::time_point now = Clock::now();
    const auto since = [&](Clock::time_point from) {
        return from == Clock::time_point{} ? 0.0
                                           : std::chrono::duration<double>(now - from).count();
    };
    State state;
    state.files = m_done.size();
    state.filesDone = m_filesDone;
    if (m_done.empty()) return state;
    state.current = index;
    state.file = {m_done[index], m_totals[index], since(m_started[index])};
    // A file whose scan found fewer frames counts what it has done, so the run's total is
    // never below its frames done.
    for (std::size_t i = 0; i < m_done.size(); ++i) {
        state.run.done += m_done[i];
        state.run.total += std::max(m_totals[i], m_done[i]);
    }
    state.run.seconds = since(m_runStarted);
    return state;
}
