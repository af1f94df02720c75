// WebP, animated or still, through libwebp's demuxer and its animation decoder, which composes
// the canvas itself (disposal and blending included).

#include <webp/demux.h>

#include "anim/CanvasReader.h"

namespace {

// What the demuxer tells of a file without decoding it: the canvas and the frames that are
// whole, with where the last of them ends.
struct WebpLayout {
    std::string error;  // empty when the file can be read (all of it, or its first frames)
    int64_t width = 0, height = 0;
    bool animated = false;
    uint32_t loopCount = 0;  // plays, 0 for ever
    std::vector<int> durations;
    std::size_t end = 0;    // where the last whole frame's data ends
    bool complete = false;  // the file holds all it announces
};

WebpLayout ReadLayout(const std::vector<uint8_t>& bytes) {
    WebpLayout layout;
    const WebPData data = {bytes.data(), bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
    if (demux == nullptr || state == WEBP_DEMUX_PARSE_ERROR ||
        state == WEBP_DEMUX_PARSING_HEADER) {
        if (demux) WebPDemuxDelete(demux);
        layout.error = "not a valid WebP file (a frame outside its canvas, a broken header or "
                       "a file that ends in its header)";
        return layout;
    }
    layout.width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    layout.height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    layout.animated = (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0;
    layout.loopCount = WebPDemuxGetI(demux, WEBP_FF_LOOP_COUNT);
    layout.complete = state == WEBP_DEMUX_DONE;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
        do {
            if (!frame.complete) {
                layout.complete = false;
                break;
            }
            layout.durations.push_back(frame.duration);
            const std::size_t end = static_cast<std::size_t>(frame.fragment.bytes - bytes.data()) +
                                    frame.fragment.size;
            layout.end = end + (end & 1);  // chunks are padded to an even size
        } while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
    if (layout.error.empty() && layout.durations.empty())
        layout.error = "the WebP file breaks off before its first frame";
    return layout;
}

// Why the file ends early, after `frames` whole frames.
std::string BreaksOff(std::size_t frames) {
    return "the WebP file breaks off after frame " + std::to_string(frames);
}

class WebpReader final : public CanvasReader {
public:
    ~WebpReader() override { Close(); }

protected:
    bool Open() override {
        Close();
        const WebpLayout layout = ReadLayout(m_bytes);
        if (!layout.error.empty()) {
            SetError(layout.error);
            return false;
        }
        if (!SetScreen(layout.width, layout.height)) return false;
        if (!layout.complete) {
            // The whole frames alone, as a file of their own: the decoder wants a whole file.
            m_bytes.resize(std::min(layout.end, m_bytes.size()));
            const auto riff = static_cast<uint32_t>(m_bytes.size() - 8);
            for (int i = 0; i < 4; ++i) m_bytes[4 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
            m_truncatedAfter = layout.durations.size();
        }
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) return Failed("libwebp is not the version built for");
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const WebPData data = {m_bytes.data(), m_bytes.size()};
        m_decoder = WebPAnimDecoderNew(&data, &options);
        if (m_decoder == nullptr) return Failed("the WebP decoder cannot read the file");
        return true;
    }

    std::optional<int> ComposeNext(const uint8_t*& rgba) override {
        if (!WebPAnimDecoderHasMoreFrames(m_decoder)) {
            if (m_truncatedAfter) SetError(BreaksOff(*m_truncatedAfter));
            return std::nullopt;
        }
        uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(m_decoder, &canvas, &timestamp)) {
            SetError("frame " + std::to_string(m_nDecoded + 1) + " of the WebP file cannot be decoded");
            return std::nullopt;
        }
        ++m_nDecoded;
        rgba = canvas;
        const int duration = timestamp - m_nTimestamp;
        m_nTimestamp = timestamp;
        return std::max(duration, 0);
    }

private:
    bool Failed(const char* cause) {
        SetError(cause);
        return false;
    }
    void Close() {
        if (m_decoder) WebPAnimDecoderDelete(m_decoder);
        m_decoder = nullptr;
        m_truncatedAfter.reset();
        m_nTimestamp = 0;
        m_nDecoded = 0;
    }

    WebPAnimDecoder* m_decoder = nullptr;
    std::optional<std::size_t> m_truncatedAfter;
    int m_nTimestamp = 0;
    int m_nDecoded = 0;
};

}  // namespace

std::unique_ptr<AnimationReader> MakeWebpReader() { return std::make_unique<WebpReader>(); }

GifInfo ScanWebp(const std::vector<uint8_t>& bytes, FrameRules rules) {
    GifInfo info;
    info.format = "WebP";
    const WebpLayout layout = ReadLayout(bytes);
    info.error = layout.error.empty() ? ScreenProblem(layout.width, layout.height) : layout.error;
    info.opened = info.error.empty();
    if (!info.opened) return info;
    info.width = static_cast<int>(layout.width);
    info.height = static_cast<int>(layout.height);
    FrameDelays delays(rules);
    const auto add = [&info](std::optional<int> delay) {
        if (!delay) return;
        info.delaysMs.push_back(*delay);
    };
    for (const int duration : layout.durations) add(delays.Add(duration));
    add(delays.Finish());
    info.durationMs = delays.ShownMs();
    info.images = static_cast<int>(layout.durations.size());
    info.frames = static_cast<int>(info.delaysMs.size());
    info.loopExtension = PlaysAsRepeats(layout.animated ? std::optional<uint32_t>(layout.loopCount)
                                                        : std::nullopt);
    if (!layout.complete) info.error = BreaksOff(layout.durations.size());
    return info;
}
