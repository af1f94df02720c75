#include "jobs/ConvertJob.h"

#include <FreeImage.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "gif/CGifAnimation.h"
#include "jobs/EncoderPool.h"
#include "jobs/FrameSnapshot.h"
#include "swf/CSWFBitmap.h"
#include "swf/CSWFButton.h"
#include "swf/CSWFMovie.h"
#include "swf/CSWFShape.h"

namespace fs = std::filesystem;

namespace {

// Character ids and depths are 16-bit: frame k uses bitmap 3 + 2k and shape 4 + 2k, so the last
// frame that fits has its shape at 65534.
constexpr int kMaxFrames = (65534 - 4) / 2 + 1;
constexpr std::size_t kMaxUrlBytes = 65533;

bool IsUrlSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int JpegFlags(int quality) {
    switch (quality) {
        case 0:
            return JPEG_PROGRESSIVE | JPEG_QUALITYNORMAL;
        case 1:
            return JPEG_PROGRESSIVE | JPEG_QUALITYGOOD;
        default:
            // Full-resolution colour: with 2 x 2 chroma blocks, sharp colour edges (pixel art,
            // dithered GIFs) bleed into their neighbours whatever the quality.
            return JPEG_PROGRESSIVE | JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444;
    }
}

// The outline of a W x H rectangle from the origin, back to where it began.
void AddOutline(CSWFShape& shape, float w, float h) {
    shape.AddStraightEdge(w, 0);
    shape.AddStraightEdge(0, h);
    shape.AddStraightEdge(-w, 0);
    shape.AddStraightEdge(0, -h);
}

// The invisible full-stage button that opens the URL: its hit-area shape (id 1) and the button
// (id 2) placed at depth 2, below every frame.
bool AddUrlButton(CSWFMovie& movie, const std::string& url, float w, float h) {
    CSWFAction action;
    if (!action.AddGetURL(url.c_str())) return false;
    const float origin[2] = {0, 0};
    CSWFShape face(1, 0, 0, w, h, 1);
    face.AddLineStyle(SWFColor(0, 0, 0, 0));
    face.AddSolidFillStyle(SWFColor(0, 0, 0, 0));
    face.ChangeStyle(origin, 1);
    AddOutline(face, w, h);
    CSWFButton button;
    // One record per button state, all showing the face: hit test, over, down, up.
    for (int state : {0x08, 0x02, 0x04, 0x01}) button.AddRecord(static_cast<uint8_t>(state), 1, 1);
    button.AddAction(action);
    return movie.DefineObject(&face, 1, false) && movie.DefineObject(&button, 2, true);
}

// One frame: the JPEG bitmap and the stage-sized shape filled with it, one bitmap pixel per
// stage pixel, placed above everything before it.
bool AddFrame(CSWFMovie& movie, uint16_t bitmapId, const std::vector<uint8_t>& jpeg, float w,
              float h) {
    const uint16_t shapeId = static_cast<uint16_t>(bitmapId + 1);
    CSWFBitmap bitmap(bitmapId, jpeg.data(), static_cast<int32_t>(jpeg.size()));
    const float origin[2] = {0, 0};
    CSWFShape shape(shapeId, 0, 0, w, h, shapeId);
    shape.AddBitmapFillStyle(bitmapId, 0, 0, w, h, 0, 0, w, h);
    shape.ChangeStyle(origin, 0);
    AddOutline(shape, w, h);
    return movie.DefineObject(&bitmap, bitmapId, false) &&
           movie.DefineObject(&shape, shapeId, true) && movie.ShowFrame();
}

// Frame BMP buffers cycle between the composing thread and the encoders rather than being
// allocated and cleared for every frame; there are never more than the frames in flight.
class BufferRing {
public:
    std::vector<uint8_t> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.empty()) return {};
        std::vector<uint8_t> buffer = std::move(m_spare.back());
        m_spare.pop_back();
        return buffer;
    }
    void Give(std::vector<uint8_t> buffer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.push_back(std::move(buffer));
    }

private:
    std::mutex m_mutex;
    std::vector<std::vector<uint8_t>> m_spare;
};

// Loads the frame's in-memory BMP into FreeImage and encodes it as a progressive JPEG.
EncodedFrame EncodeJpeg(std::vector<uint8_t> bmp, int flags, BufferRing& ring) {
    EncodedFrame out;
    FIBITMAP* image = LoadFrameBmp(bmp);
    ring.Give(std::move(bmp));  // FreeImage holds its own copy now
    if (!image) {
        out.error = "FreeImage could not read the frame";
        return out;
    }
    FIBITMAP* rgb = FreeImage_GetBPP(image) == 24 ? image : FreeImage_ConvertTo24Bits(image);
    FIMEMORY* stream = FreeImage_OpenMemory(nullptr, 0);
    BYTE* data = nullptr;
    DWORD size = 0;
    if (rgb && stream && FreeImage_SaveToMemory(FIF_JPEG, rgb, stream, flags) &&
        FreeImage_AcquireMemory(stream, &data, &size) && size > 0) {
        out.data.assign(data, data + size);
        out.ok = true;
    } else {
        out.error = "the JPEG encoder failed";
    }
    if (stream) FreeImage_CloseMemory(stream);
    if (rgb && rgb != image) FreeImage_Unload(rgb);
    FreeImage_Unload(image);
    return out;
}

// Draws the frame just composed into a BMP of its own (here, on the composing thread) and
// returns the work that encodes it, which may run on any thread.
EncoderPool::Task MakeJpegTask(CGifAnimation& gif, int flags, BufferRing& ring) {
    auto bmp = std::make_shared<std::vector<uint8_t>>(ring.Take());
    ComposeFrameBmp(gif, *bmp);
    return [bmp, flags, &ring] { return EncodeJpeg(std::move(*bmp), flags, ring); };
}

JobResult Fail(JobResult result, std::string cause) {
    result.status = JobResult::Status::Failed;
    result.error = std::move(cause);
    result.outputs.clear();
    result.frames = 0;
    return result;
}

}  // namespace

std::string EncodeTargetUrl(const std::string& url) {
    std::size_t begin = 0, end = url.size();
    while (begin < end && IsUrlSpace(static_cast<unsigned char>(url[begin]))) ++begin;
    while (end > begin && IsUrlSpace(static_cast<unsigned char>(url[end - 1]))) --end;
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c >= 0x80 || c == 0) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

JobResult ConvertFile(const ConversionSettings& settings, const JobControl& control) {
    JobResult result;
    result.input = settings.m_strGifPath;

    if (settings.m_nFps < 1 || settings.m_nFps > 255)
        return Fail(result, "frame rate " + std::to_string(settings.m_nFps) +
                                " is outside 1 to 255 frames per second");
    const std::string url = EncodeTargetUrl(settings.m_strTargetUrl);
    if (url.size() > kMaxUrlBytes)
        return Fail(result,
                    "the target URL is longer than " + std::to_string(kMaxUrlBytes) + " bytes");
    if (settings.m_strOutputFolder.empty()) return Fail(result, "no output folder given");

    CGifAnimation gif;
    if (OpenSettingsGif(settings, gif) != 0) return Fail(result, gif.GetError());
    const float w = static_cast<float>(gif.Width());
    const float h = static_cast<float>(gif.Height());

    const fs::path output = fs::path(settings.m_strOutputFolder) /
                            fs::path(GifTitleFromPath(settings.m_strGifPath) + ".swf");
    CSWFMovie movie;
    if (!movie.OpenFile(output, w, h, settings.m_nFps)) return Fail(result, movie.GetError());
    movie.SetBackgroundColor(255, 255, 255);
    if (!url.empty() && !AddUrlButton(movie, url, w, h)) return Fail(result, movie.GetError());

    const unsigned threads =
        control.threads ? control.threads : std::max(1u, std::thread::hardware_concurrency());
    BufferRing buffers;  // outlives the pool, whose tasks use it
    EncoderPool pool(threads);
    const int flags = JpegFlags(settings.m_nQuality);
    uint16_t nextId = 3;
    int composed = 0, taken = 0;
    std::string failure;

    // Appends the oldest encoded frame to the movie, in the order the frames were composed.
    auto appendNext = [&] {
        EncodedFrame frame = pool.TakeNext();
        const int index = taken++;
        if (!frame.ok) {
            result.warnings.push_back("frame " + std::to_string(index) +
                                      " left out: " + frame.error);
        } else if (!AddFrame(movie, nextId, frame.data, w, h)) {
            failure = movie.GetError();
        } else {
            nextId = static_cast<uint16_t>(nextId + 2);
            control.Report(++result.frames);
        }
    };

    bool cancelled = false;
    while (failure.empty() && gif.NextFrame() > 0) {
        if (control.Cancelled()) {
            cancelled = true;
            break;
        }
        if (composed == kMaxFrames) {
            result.warnings.push_back("only the first " + std::to_string(kMaxFrames) +
                                      " frames fit in a movie (its character ids are 16-bit); "
                                      "the rest were dropped");
            break;
        }
        ++composed;
        pool.Submit(MakeJpegTask(gif, flags, buffers));
        while (failure.empty() && pool.Full()) appendNext();
    }
    const std::string readError = gif.GetError();
    while (failure.empty() && !pool.Empty()) appendNext();

    if (cancelled || control.Cancelled()) {
        movie.Abandon();
        result.status = JobResult::Status::Cancelled;
        result.frames = 0;
        return result;
    }
    if (!failure.empty()) {
        movie.Abandon();
        return Fail(result, failure);
    }
    if (!readError.empty()) {
        if (composed == 0) {
            movie.Abandon();
            return Fail(result, readError);
        }
        result.warnings.push_back("the GIF breaks off after " + std::to_string(composed) +
                                  " frames: " + readError);
    } else if (composed == 0) {
        result.warnings.push_back("the GIF has no frames; the movie is empty");
    }
    if (!movie.CloseFile()) return Fail(result, movie.GetError());
    result.outputs.push_back(output.string());
    return result;
}
