#include "jobs/FrameSource.h"

#include <algorithm>
#include <cstring>

#include "gif/CGifAnimation.h"

namespace {

// Copies the frame gif has just composed into pixels.
void CopyFrame(const AnimationReader& gif, PixelBuffer& pixels) {
    const auto stride = static_cast<std::size_t>(gif.Stride());
    const auto height = static_cast<std::size_t>(std::max(gif.Height(), 0));
    pixels.resize(stride * height);
    if (const uint8_t* from = gif.FrameArea()) std::memcpy(pixels.data(), from, stride * height);
}

}  // namespace

bool FrameSource::Open(const std::string& path) {
    m_nComposed = 0;
    m_reader = MakeAnimationReader(FormatOfFile(path));
    m_reader->ComposeOn(m_crBackground, m_rules, m_bKeepTransparency);
    return m_reader->Load(path);
}

void FrameSource::ComposeOn(RgbColor background, bool keepTransparency, FrameRules rules) {
    m_crBackground = background;
    m_rules = rules;
    m_bKeepTransparency = keepTransparency;
}

std::optional<SourceFrame> FrameSource::Next() {
    if (!m_reader) return std::nullopt;
    const int delay = m_reader->NextFrame();
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
    CopyFrame(*m_reader, frame.pixels);
    if (const uint8_t* covered = m_reader->Coverage()) {
        frame.uncovered.resize(static_cast<std::size_t>(Width()) *
                               static_cast<std::size_t>(Height()));
        std::transform(covered, covered + frame.uncovered.size(), frame.uncovered.begin(),
                       [](uint8_t c) { return uint8_t(c == 0); });
    }
    return frame;
}

void FrameSource::Recycle(PixelBuffer pixels) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spare.push_back(std::move(pixels));
}

bool SourceFrame::SamePicture(const SourceFrame& other) const {
    return pixels.size() == other.pixels.size() && uncovered == other.uncovered &&
           std::memcmp(pixels.data(), other.pixels.data(), pixels.size()) == 0;
}

BgrPixels SourceFrame::Area(int width, int height, const PixelRect& area) const {
    const auto stride = static_cast<std::ptrdiff_t>(CGifAnimation::StrideFor(width));
    if (area.Empty() || area.left < 0 || area.top < 0 || area.right > width ||
        area.bottom > height ||
        pixels.size() < static_cast<std::size_t>(stride) * static_cast<std::size_t>(height)) {
        return {};
    }
    BgrPixels view;
    view.top = pixels.data() + area.top * stride + 3 * area.left;
    view.stride = stride;
    view.width = area.Width();
    view.height = area.Height();
    return view;
}
