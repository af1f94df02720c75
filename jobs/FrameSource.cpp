#include "jobs/FrameSource.h"

#include <algorithm>

#include "jobs/FrameSnapshot.h"

bool FrameSource::Open(const std::string& path) {
    m_nComposed = 0;
    return m_gif.Load(path.c_str()) == 0;
}

void FrameSource::ComposeOn(RgbColor background, bool keepTransparency, FrameRules rules) {
    m_gif.SetBackground(background);
    m_gif.SetRules(rules);
    m_gif.KeepCoverage(keepTransparency);
}

std::optional<SourceFrame> FrameSource::Next() {
    const int delay = m_gif.NextFrame();
    if (delay <= 0) return std::nullopt;
    SourceFrame frame;
    frame.index = m_nComposed++;
    frame.delayMs = delay;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_spare.empty()) {
            frame.pixels = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    CopyFramePixels(m_gif, frame.pixels);
    if (const uint8_t* covered = m_gif.Coverage()) {
        frame.clear.resize(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
        std::transform(covered, covered + frame.clear.size(), frame.clear.begin(),
                       [](uint8_t c) { return uint8_t(c == 0); });
    }
    return frame;
}

void FrameSource::Recycle(PixelBuffer pixels) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spare.push_back(std::move(pixels));
}
