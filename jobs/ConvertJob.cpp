#include "jobs/ConvertJob.h"

#include <filesystem>
#include <thread>

#include "jobs/BitmapEncoder.h"
#include "jobs/ChangedAreaTimeline.h"
#include "jobs/EncoderPool.h"
#include "jobs/FrameSnapshot.h"
#include "jobs/FrameSource.h"
#include "jobs/Timeline.h"
#include "swf/CSWFMovie.h"

namespace fs = std::filesystem;

namespace {

bool IsUrlSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The part of the image inside area; the image itself when the area is all of it.
FreeImageBitmap CutToArea(FreeImageBitmap image, const PixelRect& area) {
    if (!image) return image;
    const PixelRect whole{0, 0, static_cast<int>(FreeImage_GetWidth(image.get())),
                          static_cast<int>(FreeImage_GetHeight(image.get()))};
    if (area == whole) return image;
    return FreeImageBitmap(
        FreeImage_Copy(image.get(), area.left, area.top, area.right, area.bottom));
}

// The work of encoding one frame, which may run on any thread: FreeImage loads the frame's BMP,
// whose buffer then goes back to the source; a frame that stores only what changed is cut to
// its area (and one without changes encodes nothing); and the encoder encodes the image.
EncoderPool::Task MakeEncodeTask(SourceFrame frame, FrameSource& source,
                                 const BitmapEncoder& encoder) {
    auto bmp = std::make_shared<std::vector<uint8_t>>(std::move(frame.bmp));
    auto plan = std::make_shared<std::optional<AreaPlan>>(std::move(frame.plan));
    return [bmp, plan, delay = frame.delayMs, &source, &encoder] {
        std::optional<AreaPlan>& area = *plan;
        EncodedFrame encoded;
        if (area && area->picture < 0) {
            source.Recycle(std::move(*bmp));
            encoded.ok = true;
        } else {
            FreeImageBitmap image = LoadFrameImage(*bmp);
            source.Recycle(std::move(*bmp));
            if (area) image = CutToArea(std::move(image), area->area);
            if (image) {
                encoded = encoder.Encode(image.get(), area && !area->transparent.empty()
                                                          ? area->transparent.data()
                                                          : nullptr);
            } else {
                encoded.error = "FreeImage could not read the frame";
            }
        }
        if (area) {
            std::vector<uint8_t>().swap(area->transparent);
            encoded.area = std::move(area);
        }
        encoded.delayMs = delay;
        return encoded;
    };
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

    if (settings.m_nFps < kMinFps || settings.m_nFps > kMaxFps)
        return Fail(result, "frame rate " + std::to_string(settings.m_nFps) + " is outside " +
                                std::to_string(kMinFps) + " to " + std::to_string(kMaxFps) +
                                " frames per second");
    const std::string url = EncodeTargetUrl(settings.m_strTargetUrl);
    if (url.size() > kMaxUrlBytes)
        return Fail(result,
                    "the target URL is longer than " + std::to_string(kMaxUrlBytes) + " bytes");
    if (settings.m_strOutputFolder.empty()) return Fail(result, "no output folder given");

    // The frame source: the GIF's composed frames with their delays.
    FrameSource source;
    if (!source.Open(settings.m_strGifPath)) return Fail(result, source.Error());
    const int width = source.Width(), height = source.Height();

    const fs::path output = fs::path(settings.m_strOutputFolder) /
                            fs::path(GifTitleFromPath(settings.m_strGifPath) + ".swf");
    CSWFMovie movie;
    if (!movie.OpenFile(output, static_cast<float>(width), static_cast<float>(height),
                        settings.m_nFps)) {
        return Fail(result, movie.GetError());
    }
    movie.SetBackgroundColor(255, 255, 255);
    if (!url.empty() && !AddUrlButton(movie, url, width, height)) {
        return Fail(result, movie.GetError());
    }

    // The bitmap encoder and the timeline writer, with the ordered pool of encoder threads
    // between the source and them.
    const JpegBitmapEncoder jpeg(settings.m_nQuality);
    const LosslessBitmapEncoder lossless;
    const BitmapEncoder& encoder = settings.m_bitmaps == BitmapKind::Lossless
                                       ? static_cast<const BitmapEncoder&>(lossless)
                                       : jpeg;
    std::unique_ptr<TimelineWriter> timeline;
    if (settings.m_bChangedAreas) {
        source.PlanChangedAreas(encoder.BlockSize(), encoder.HasTransparency());
        timeline = std::make_unique<ChangedAreaTimeline>(movie, encoder, width, height);
    } else {
        timeline = std::make_unique<FullFrameTimeline>(movie, encoder, width, height);
    }
    EncoderPool pool(control.threads ? control.threads
                                     : std::max(1u, std::thread::hardware_concurrency()));
    std::string failure;
    int taken = 0;

    // Hands the oldest encoded frame to the timeline, in the order the frames were composed.
    auto appendNext = [&] {
        const EncodedFrame frame = pool.TakeNext();
        const int index = taken++;
        if (!frame.ok && frame.area) {
            // Later frames store only what changed since this one: without it they are wrong.
            failure = "frame " + std::to_string(index) + " could not be stored: " + frame.error;
        } else if (!frame.ok) {
            result.warnings.push_back("frame " + std::to_string(index) +
                                      " left out: " + frame.error);
        } else if (!timeline->AddFrame(frame)) {
            failure = movie.GetError();
        } else {
            control.Report(++result.frames);
        }
    };

    bool cancelled = false;
    while (failure.empty()) {
        std::optional<SourceFrame> frame = source.Next();
        if (!frame) break;
        if (control.Cancelled()) {
            cancelled = true;
            break;
        }
        if (!timeline->Fits(*frame)) {
            result.warnings.push_back("only the first " + std::to_string(frame->index) +
                                      " frames fit in a movie (its character ids are 16-bit); "
                                      "the rest were dropped");
            break;
        }
        pool.Submit(MakeEncodeTask(std::move(*frame), source, encoder));
        while (failure.empty() && pool.Full()) appendNext();
    }
    const std::string readError = source.Error();
    while (failure.empty() && !pool.Empty()) appendNext();
    if (failure.empty() && !timeline->Finish()) failure = movie.GetError();

    const int composed = taken;
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
