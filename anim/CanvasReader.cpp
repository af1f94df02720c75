#include "anim/CanvasReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "base/AtomicFile.h"
#include "gif/CGifAnimation.h"

std::optional<int> FrameDelays::Add(int delayMs) {
    m_nShownMs += ShownDelay(delayMs);
    if (delayMs > 0) {
        m_bPending = false;
        return delayMs;
    }
    if (m_bEveryImage) return CGifAnimation::kDefaultDelay * 10;
    m_bPending = true;
    return std::nullopt;
}

std::optional<int> FrameDelays::Finish() {
    if (!m_bPending) return std::nullopt;
    m_bPending = false;
    return CGifAnimation::kDefaultDelay * 10;
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, std::string& error) {
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot open the file: " + ErrorText(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > kMaxAnimationBytes) {
        ::close(fd);
        error = "the file is larger than 1 GiB";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    const int readError = errno;
    ::close(fd);
    if (got < bytes.size()) {
        error = "cannot read the file: " + ErrorText(readError);
        return false;
    }
    return true;
}

std::optional<int> PlaysAsRepeats(std::optional<uint32_t> plays) {
    if (!plays || *plays == 1) return std::nullopt;
    if (*plays == 0) return 0;
    return static_cast<int>(std::min<uint32_t>(*plays - 1, 65535));
}

std::string ScreenProblem(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return "the image is empty";
    if (width > CGifAnimation::kMaxSide || height > CGifAnimation::kMaxSide ||
        width * height > CGifAnimation::kMaxPixels) {
        return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels, more than the " + std::to_string(CGifAnimation::kMaxSide) +
               " a side and " + std::to_string(CGifAnimation::kMaxPixels) + " in all that can be read";
    }
    return {};
}

void CanvasReader::ComposeOn(RgbColor background, FrameRules rules, bool keepCoverage) {
    m_crBackground = background;
    m_rules = rules;
    m_bKeepCoverage = keepCoverage;
}

void CanvasReader::Reset() {
    m_nWidth = m_nHeight = m_nStride = 0;
    m_canvas.reset();
    m_coverage.reset();
    m_bShown = false;
    m_delays.emplace(m_rules);
    m_end.reset();
    m_strError.clear();
}

bool CanvasReader::OpenFile(const std::string& utf8Path) {
    return ReadWholeFile(utf8Path, m_bytes, m_strError) && Open();
}

bool CanvasReader::Load(const std::string& utf8Path) {
    Reset();
    m_bytes.clear();
    return OpenFile(utf8Path) && Start();
}

bool CanvasReader::Load(const uint8_t* data, std::size_t size) {
    Reset();
    m_bytes.assign(data, data + size);
    return Open() && Start();
}

bool CanvasReader::Start() {
    const auto pixels = static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight);
    const std::size_t bytes = static_cast<std::size_t>(m_nStride) * static_cast<std::size_t>(m_nHeight);
    m_canvas.reset(static_cast<uint8_t*>(AllocateLarge(bytes)));
    if (m_bKeepCoverage) m_coverage.reset(static_cast<uint8_t*>(AllocateLarge(pixels)));
    if (!m_canvas || (m_bKeepCoverage && !m_coverage)) {
        m_strError = "not enough memory for a " + std::to_string(m_nWidth) + " x " +
                     std::to_string(m_nHeight) + " canvas";
        return false;
    }
    std::memset(m_canvas.get(), 0, bytes);  // the rows' padding stays zero
    return true;
}

bool CanvasReader::SetScreen(int64_t width, int64_t height) {
    m_strError = ScreenProblem(width, height);
    if (!m_strError.empty()) return false;
    m_nWidth = static_cast<int>(width);
    m_nHeight = static_cast<int>(height);
    m_nStride = CGifAnimation::StrideFor(m_nWidth);
    return true;
}

int CanvasReader::NextFrame() {
    if (!m_canvas) return -1;
    if (m_end) return *m_end;
    for (;;) {
        const uint8_t* rgba = nullptr;
        const std::optional<int> delay = ComposeNext(rgba);
        if (!delay) {
            m_end = m_strError.empty() ? 0 : -1;
            if (const std::optional<int> last = m_delays->Finish()) return *last;
            return *m_end;
        }
        TakeCanvas(rgba);
        if (const std::optional<int> frame = m_delays->Add(*delay)) return *frame;
    }
}

void CanvasReader::TakeCanvas(const uint8_t* rgba) {
    const int bg[3] = {static_cast<int>(m_crBackground & 0xFF), static_cast<int>(m_crBackground >> 8 & 0xFF),
                      static_cast<int>(m_crBackground >> 16 & 0xFF)};
    for (int y = 0; y < m_nHeight; ++y) {
        const uint8_t* from = rgba + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nWidth) * 4;
        uint8_t* to = m_canvas.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nStride);
        uint8_t* covered = m_coverage ? m_coverage.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nWidth) : nullptr;
        for (int x = 0; x < m_nWidth; ++x, from += 4, to += 3) {
            const int a = from[3];
            for (int c = 0; c < 3; ++c)
                to[c] = static_cast<uint8_t>((from[2 - c] * a + bg[c] * (255 - a) + 127) / 255);
            if (covered) covered[x] = a > 0;
        }
    }
    m_bShown = true;
}
