// APNG, and still PNG: ApngChunks finds each frame's control and data, libpng decodes the data
// (as a PNG of the frame's own size made in memory), and the frames are composed here on an
// RGBA canvas as the APNG format lays down: blend op source or over, dispose op none, background
// or previous.

#include <png.h>
#include <zlib.h>

#include <cstring>

#include "anim/ApngChunks.h"
#include "anim/CanvasReader.h"

namespace {

// The frame's image as a PNG of its own: the file's header with the frame's size, its colour
// chunks, the frame's data as IDAT.
std::vector<uint8_t> FramePng(const ApngChunks& chunks, const ApngChunks::Frame& frame) {
    const std::size_t size = 8 + 25 + chunks.ColourChunks().size() + 12 + frame.data.size() + 12;
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> png(kSignature, kSignature + 8);
    png.reserve(size);
    uint8_t header[13];
    std::memcpy(header, chunks.Header(), sizeof header);
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(frame.width >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(frame.height >> (24 - 8 * i));
    }
    PutPngChunk(png, "IHDR", header, sizeof header);
    png.insert(png.end(), chunks.ColourChunks().begin(), chunks.ColourChunks().end());
    PutPngChunk(png, "IDAT", frame.data.data(), frame.data.size());
    PutPngChunk(png, "IEND", nullptr, 0);
    return png;
}

// Source over destination, both straight alpha.
void BlendOver(uint8_t* to, const uint8_t* from) {
    const unsigned a = from[3];
    if (a == 255 || to[3] == 0) {
        std::memcpy(to, from, 4);
        return;
    }
    if (a == 0) return;
    const unsigned destWeight = to[3] * (255 - a);
    const unsigned total = a * 255 + destWeight;  // the result's alpha times 255
    for (int c = 0; c < 3; ++c)
        to[c] = static_cast<uint8_t>((from[c] * a * 255 + to[c] * destWeight + total / 2) / total);
    to[3] = static_cast<uint8_t>((total + 127) / 255);
}

class ApngReader final : public CanvasReader {
protected:
    bool Open() override { return Begin(OpenForChunks(m_bytes)); }
    // The chunks are read from the file as the frames come, never the whole file at once.
    bool OpenFile(const std::string& utf8Path) override { return Begin(OpenForChunks(utf8Path)); }

private:
    bool Begin(FILE* file) {
        if (!m_chunks.Open(file)) {
            SetError(m_chunks.Error());
            return false;
        }
        if (!SetScreen(m_chunks.Width(), m_chunks.Height())) return false;
        // The canvas, a frame's own pixels and the area kept for a dispose op of previous: each
        // at most the canvas, taken once so that no frame can run out of memory halfway.
        const std::size_t bytes = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()) * 4;
        for (LargeBlock* block : {&m_canvas, &m_frame, &m_saved}) {
            block->reset(static_cast<uint8_t*>(AllocateLarge(bytes)));
            if (!*block) {
                SetError("not enough memory for a " + std::to_string(Width()) + " x " +
                         std::to_string(Height()) + " canvas");
                return false;
            }
        }
        std::memset(m_canvas.get(), 0, bytes);
        m_disposal.reset();
        return true;
    }

protected:
    std::optional<int> ComposeNext(const uint8_t*& rgba) override {
        ApngChunks::Frame frame;
        const ApngChunks::Step step = m_chunks.Next(frame);
        if (step != ApngChunks::Step::Frame) {
            if (step == ApngChunks::Step::Failed) SetError(m_chunks.Error());
            return std::nullopt;
        }
        if (!Decode(frame)) return std::nullopt;
        Dispose();
        const bool first = m_chunks.FramesRead() == 1;
        if (frame.dispose == ApngChunks::Dispose::Previous && !first) Copy(frame, true);
        if (frame.dispose == ApngChunks::Dispose::Previous && first)
            frame.dispose = ApngChunks::Dispose::Background;
        Draw(frame);
        m_disposal = frame;
        rgba = m_canvas.get();
        return frame.delayMs;
    }

private:
    // The frame's pixels into m_frame, as RGBA; false with the cause set.
    bool Decode(const ApngChunks::Frame& frame) {
        const std::vector<uint8_t> png = FramePng(m_chunks, frame);
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        bool ok = png_image_begin_read_from_memory(&image, png.data(), png.size()) != 0;
        if (ok) {
            image.format = PNG_FORMAT_RGBA;
            // The frame fits the canvas (ApngChunks checks it), so its pixels fit m_frame.
            ok = png_image_finish_read(&image, nullptr, m_frame.get(), 0, nullptr) != 0;
        }
        if (!ok) {
            SetError("frame " + std::to_string(m_chunks.FramesRead()) +
                     " of the PNG file cannot be decoded: " + image.message);
        }
        png_image_free(&image);
        return ok;
    }

    // Leaves the canvas as the frame before asked once shown.
    void Dispose() {
        if (!m_disposal) return;
        if (m_disposal->dispose == ApngChunks::Dispose::Previous) {
            Copy(*m_disposal, false);
        } else if (m_disposal->dispose == ApngChunks::Dispose::Background) {
            for (uint32_t y = 0; y < m_disposal->height; ++y)
                std::memset(Row(*m_disposal, y), 0, std::size_t{m_disposal->width} * 4);
        }
        m_disposal.reset();
    }

    uint8_t* Row(const ApngChunks::Frame& frame, uint32_t y) {
        return m_canvas.get() + ((std::size_t{frame.y} + y) * static_cast<std::size_t>(Width()) + frame.x) * 4;
    }

    // The frame's area of the canvas into m_saved (or back).
    void Copy(const ApngChunks::Frame& frame, bool save) {
        const std::size_t row = std::size_t{frame.width} * 4;
        for (uint32_t y = 0; y < frame.height; ++y) {
            uint8_t* area = Row(frame, y);
            uint8_t* kept = m_saved.get() + row * y;
            std::memcpy(save ? kept : area, save ? area : kept, row);
        }
    }

    void Draw(const ApngChunks::Frame& frame) {
        const std::size_t row = std::size_t{frame.width} * 4;
        for (uint32_t y = 0; y < frame.height; ++y) {
            uint8_t* to = Row(frame, y);
            const uint8_t* from = m_frame.get() + row * y;
            if (frame.blend == ApngChunks::Blend::Source) {
                std::memcpy(to, from, row);
                continue;
            }
            for (uint32_t x = 0; x < frame.width; ++x) BlendOver(to + 4 * x, from + 4 * x);
        }
    }

    ApngChunks m_chunks;
    LargeBlock m_canvas;  // Width() x Height() RGBA
    LargeBlock m_frame;   // the frame's own pixels, RGBA, rows of its own width
    LargeBlock m_saved;   // the area a dispose op of previous gives back
    std::optional<ApngChunks::Frame> m_disposal;  // the frame shown last, to dispose of
};

}  // namespace

std::unique_ptr<AnimationReader> MakeApngReader() { return std::make_unique<ApngReader>(); }

namespace {

GifInfo ScanChunks(FILE* file, FrameRules rules) {
    GifInfo info;
    info.format = "PNG";  // "APNG" once the chunks say it is animated
    ApngChunks chunks;
    info.opened = chunks.Open(file, false);
    info.error = info.opened ? ScreenProblem(chunks.Width(), chunks.Height()) : chunks.Error();
    info.opened = info.error.empty();
    if (!info.opened) return info;
    if (chunks.Animated()) info.format = "APNG";
    info.width = static_cast<int>(chunks.Width());
    info.height = static_cast<int>(chunks.Height());
    FrameDelays delays(rules);
    const auto add = [&info](std::optional<int> delay) {
        if (!delay) return;
        info.delaysMs.push_back(*delay);
    };
    ApngChunks::Frame frame;
    ApngChunks::Step step;
    while ((step = chunks.Next(frame)) == ApngChunks::Step::Frame) add(delays.Add(frame.delayMs));
    add(delays.Finish());
    info.durationMs = delays.ShownMs();
    if (step == ApngChunks::Step::Failed) info.error = chunks.Error();
    info.images = chunks.FramesRead();
    info.frames = static_cast<int>(info.delaysMs.size());
    info.loopExtension = PlaysAsRepeats(chunks.Plays());
    return info;
}

}  // namespace

GifInfo ScanPng(const std::vector<uint8_t>& bytes, FrameRules rules) {
    return ScanChunks(OpenForChunks(bytes), rules);
}

GifInfo ScanPngFile(const std::string& utf8Path, FrameRules rules) {
    return ScanChunks(OpenForChunks(utf8Path), rules);
}
