#include "cli/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Characters of UTF-8 text (continuation bytes do not count).
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The last `columns` characters of text, led by "..." when something was cut.
std::string Tail(const std::string& text, std::size_t columns) {
    if (Columns(text) <= columns) return text;
    if (columns <= 3) return std::string(columns, '.');
    std::size_t keep = columns - 3, start = text.size();
    while (start > 0 && keep > 0) {
        --start;
        if ((text[start] & 0xC0) != 0x80) --keep;
    }
    return "..." + text.substr(start);
}

std::string Duration(double seconds) {
    const long s = std::lround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

struct Figures {
    std::string count;    // "12/40" ("12" when the total is unknown)
    std::string percent;  // "30%" ("?%")
    std::string left;     // "0:03" ("?:??" until there is something to go by)
};

Figures FiguresOf(const BatchProgress::Count& count) {
    Figures f;
    f.count = std::to_string(count.done) + (count.total > 0 ? "/" + std::to_string(count.total) : "");
    const std::optional<int> percent = count.Percent();
    const std::optional<double> left = count.SecondsLeft();
    f.percent = percent ? std::to_string(*percent) + "%" : "?%";
    f.left = left ? Duration(*left) : "?:??";
    return f;
}

}  // namespace

std::string ProgressText(const std::string& name, const BatchProgress::State& s, int width) {
    const std::size_t room = static_cast<std::size_t>(std::max(width - 1, 1));
    const Figures file = FiguresOf(s.file);
    // From the fullest form to the tersest; the first whose figures leave the name at least
    // a few characters is used.
    std::vector<std::string> forms;
    if (s.files <= 1) {
        forms = {": " + file.count + " frames, " + file.percent + ", " + file.left + " left",
                 " " + file.count + " " + file.percent + " " + file.left,
                 " " + file.percent + " " + file.left};
    } else {
        const Figures run = FiguresOf(s.run);
        const std::string files = std::to_string(s.filesDone) + "/" + std::to_string(s.files);
        forms = {": " + file.count + " frames, " + file.percent + ", " + file.left + " left | " +
                     files + " files, " + run.count + " frames, " + run.percent + ", " + run.left +
                     " left",
                 " " + file.count + " " + file.percent + " " + file.left + " | " + files +
                     " files " + run.count + " " + run.percent + " " + run.left,
                 " " + file.percent + " | " + files + " " + run.percent + " " + run.left,
                 " " + files + " " + run.percent + " " + run.left};
    }
    constexpr std::size_t kMinName = 8;
    for (const std::string& form : forms) {
        const std::size_t used = Columns(form);
        if (used + std::min(Columns(name), kMinName) <= room)
            return Tail(name, room - used) + form;
    }
    // A terminal narrower than any form: the tersest form, cut.
    std::string last = forms.back().substr(1);
    return Tail(last, room);
}

int TerminalWidth(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

Progress::Progress(bool enabled, std::vector<std::string> names)
    : m_enabled(enabled && isatty(STDERR_FILENO)),
      m_names(std::move(names)),
      m_counts(m_names.size()) {}

void Progress::Planned(std::size_t index, int frames) {
    if (m_enabled && index < m_names.size()) m_counts.Planned(index, frames);
}

Progress::~Progress() { Clear(); }

void Progress::Frames(std::size_t index, int done) {
    if (m_enabled && index < m_names.size()) Draw(m_counts.Frames(index, done));
}

void Progress::FileDone(std::size_t index) {
    if (m_enabled && index < m_names.size()) Draw(m_counts.FileDone(index));
}

void Progress::Clear() {
    if (!m_shown) return;
    std::cerr << "\r\033[K" << std::flush;
    m_shown = false;
}

void Progress::Draw(const BatchProgress::State& state) {
    const Clock::time_point now = Clock::now();
    if (m_lastDraw != Clock::time_point{} && now - m_lastDraw < kRedrawInterval) return;
    std::cerr << "\r\033[K" << ProgressText(m_names[state.current], state, TerminalWidth(STDERR_FILENO))
              << std::flush;
    m_shown = true;
    m_lastDraw = now;
}
