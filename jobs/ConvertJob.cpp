#include "jobs/ConvertJob.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <thread>

#include "gif/GifInfo.h"
#include "jobs/BitmapEncoder.h"
#include "jobs/ChangedAreaTimeline.h"
#include "jobs/EncoderPool.h"
#include "jobs/FrameSnapshot.h"
#include "jobs/FrameSource.h"
#include "jobs/FrameTiming.h"
#include "jobs/HeapTuning.h"
#include "jobs/MemoryBudget.h"
#include "jobs/Timeline.h"
#include "swf/CSWFMovie.h"

namespace fs = std::filesystem;

namespace {

bool IsUrlSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The work of encoding one frame, which may run on any thread: the frame's changed area is
// planned (in the frames' order), the frame's pixels (or only its area, when it stores only
// what changed; a frame without changes encodes nothing) are wrapped as a FreeImage image and
// encoded; then their buffer goes back to the source.
EncoderPool::Task MakeEncodeTask(SourceFrame frame, FrameSource& source,
                                 const BitmapEncoder& encoder) {
    auto shared = std::make_shared<SourceFrame>(std::move(frame));
    return [shared, &source, &encoder] {
        source.Plan(*shared);
        std::optional<AreaPlan>& area = shared->plan;
        EncodedFrame encoded;
        if (area && area->picture < 0) {
            encoded.ok = true;
        } else {
            const PixelRect whole{0, 0, source.Width(), source.Height()};
            const FreeImageBitmap image = WrapFrameArea(shared->pixels, source.Width(),
                                                        source.Height(), area ? area->area : whole);
            if (image) {
                const std::vector<uint8_t>& mask = area ? area->transparent : shared->clear;
                encoded = encoder.Encode(image.get(), mask.empty() ? nullptr : mask.data());
            } else {  // FreeImage allocates nothing else here
                encoded.outOfMemory = true;
            }
        }
        source.Recycle(std::move(shared->pixels));
        if (area) {
            std::vector<uint8_t>().swap(area->transparent);
            encoded.area = std::move(area);
        }
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

fs::path MoviePath(const std::string& outputFolder, const std::string& gifPath) {
    fs::path folder =
        outputFolder.empty() ? fs::path(gifPath).parent_path() : fs::path(outputFolder);
    if (folder.empty()) folder = ".";
    return folder / (GifTitleFromPath(gifPath) + ".swf");
}

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

namespace {

// "3.1 s"
std::string Seconds(int64_t ms) {
    const int64_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

// A job's share of the memory budget, given back when the job ends.
class BudgetShare {
public:
    explicit BudgetShare(MemoryBudget& budget) : m_budget(budget) {}
    ~BudgetShare() { m_budget.Release(m_nHeld); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

    bool Take(std::size_t bytes, const JobControl& control) {
        if (!m_budget.Acquire(bytes, [&control] { return control.Cancelled(); })) return false;
        m_nHeld += bytes;
        return true;
    }
    bool TryGrow(std::size_t bytes) {
        if (!m_budget.TryGrow(bytes)) return false;
        m_nHeld += bytes;
        return true;
    }
    void Give(std::size_t bytes) {
        m_budget.Release(bytes);
        m_nHeld -= bytes;
    }

private:
    MemoryBudget& m_budget;
    std::size_t m_nHeld = 0;
};

// What the job knows of a GIF frame while it is being encoded.
struct FrameInFlight {
    int index;
    int showFrames;
    // What the job had counted before this frame, for when the movie ends before it.
    int leftOutBefore;
    int64_t gifMsBefore;
};

}  // namespace

namespace {

// Memory estimates for a width x height screen: what a job holds from start to end (the
// canvas, the frame being composed, the changed-area planner's copies, the coverage planes of a
// transparent movie), and what each frame in flight adds (its pixels, its mask of clear pixels
// and the encoder's working memory).
struct MemoryCosts {
    std::size_t pixels;  // of one frame
    std::size_t job;
    std::size_t frame;
};

MemoryCosts EstimateMemory(int width, int height, const ConvertOptions& options) {
    const std::size_t pixels = static_cast<std::size_t>(CGifAnimation::StrideFor(width)) *
                               static_cast<std::size_t>(std::max(height, 0));
    std::size_t job = (options.changedAreas ? 5 : 3) * pixels, frame = 4 * pixels;
    if (options.transparent) {
        job += pixels;  // two planes of a byte per pixel, a third of the colours' three
        frame += pixels / 3;
    }
    return {pixels, job, frame};
}

// Frames from this size up are few enough in flight that the heap need not keep their blocks
// once the job is done.
constexpr std::size_t kLargeFrameBytes = std::size_t{16} << 20;

JobResult Convert(const std::string& gifPath, const fs::path& output,
                  const ConvertOptions& options, const JobControl& control,
                  std::string& frameSize, std::size_t& frameBytes) {
    JobResult result;
    result.input = gifPath;

    if (options.fps < kMinFps || options.fps > kMaxFps)
        return Fail(result, "frame rate " + std::to_string(options.fps) + " is outside " +
                                std::to_string(kMinFps) + " to " + std::to_string(kMaxFps) +
                                " frames per second");
    const std::string url = EncodeTargetUrl(options.targetUrl);
    if (url.size() > kMaxUrlBytes)
        return Fail(result,
                    "the target URL is longer than " + std::to_string(kMaxUrlBytes) + " bytes");

    // The job's share of the memory budget, taken before the canvas is allocated: a look at
    // the screen costs nothing. A file the reader refuses is refused below, whatever it costs.
    CGifAnimation screen(CGifAnimation::Pixels::Skip);
    screen.Load(gifPath.c_str());
    const MemoryCosts costs = EstimateMemory(screen.Width(), screen.Height(), options);
    screen.Close();
    frameBytes = costs.pixels;
    MemoryBudget ownMemory;
    MemoryBudget& budget = control.memory ? *control.memory : ownMemory;
    BudgetShare memory(budget);
    if (!memory.Take(costs.job + costs.frame, control)) {
        result.status = JobResult::Status::Cancelled;
        return result;
    }

    // The frame source: the GIF's composed frames with their delays.
    FrameSource source;
    source.ComposeOn(options.background, options.transparent);
    if (!source.Open(gifPath)) return Fail(result, source.Error());
    const int width = source.Width(), height = source.Height();
    frameSize = std::to_string(width) + " x " + std::to_string(height);

    // With the GIF's own timing, a scan that decodes no pixels gives every delay before the
    // first frame is written: the frame rate and each frame's length depend on all of them.
    int fps = options.fps;
    std::vector<int> schedule;  // SWF frames per GIF frame; empty: one each
    if (options.timing == Timing::Gif) {
        const GifInfo scan = ScanGifFile(gifPath);
        if (!options.fpsGiven) fps = ChooseFrameRate(scan.delaysMs);
        schedule = ScheduleFrames(scan.delaysMs, fps);
    }

    // A movie named like its own input (a GIF called x.swf, or a link to it) would replace it.
    std::error_code sameError;
    if (fs::equivalent(output, gifPath, sameError)) {
        return Fail(result, "the movie " + output.string() + " would replace its own input");
    }
    CSWFMovie movie;
    if (!movie.OpenFile(output, static_cast<float>(width), static_cast<float>(height), fps)) {
        return Fail(result, movie.GetError());
    }
    const RgbColor stage = options.background;
    movie.SetBackgroundColor(uint8_t(stage >> 16), uint8_t(stage >> 8), uint8_t(stage));
    if (!url.empty() && !AddUrlButton(movie, url, width, height)) {
        return Fail(result, movie.GetError());
    }

    // The bitmap encoder and the timeline writer, with the ordered pool of encoder threads
    // between the source and them.
    const JpegBitmapEncoder jpeg(options.quality);
    const LosslessBitmapEncoder lossless;
    const BitmapEncoder& encoder = options.bitmaps == BitmapKind::Lossless
                                       ? static_cast<const BitmapEncoder&>(lossless)
                                       : jpeg;
    const bool recordPasses = options.loop.kind != LoopOption::Kind::Forever;
    std::unique_ptr<TimelineWriter> timeline;
    if (options.changedAreas) {
        source.PlanChangedAreas(encoder.BlockSize(), encoder.HasTransparency());
        timeline =
            std::make_unique<ChangedAreaTimeline>(movie, encoder, width, height, recordPasses);
    } else {
        auto frames =
            std::make_unique<FullFrameTimeline>(movie, encoder, width, height, recordPasses);
        frames->RemoveFramesBelow(options.transparent);
        timeline = std::move(frames);
    }
    // Threads beyond the frames that the budget lets fly at once would only sit idle, each
    // keeping the memory of the frames it once encoded.
    const std::size_t budgetFrames =
        costs.frame == 0
            ? SIZE_MAX
            : (budget.Capacity() - std::min(budget.Capacity(), costs.job)) / costs.frame;
    EncoderPool pool(static_cast<unsigned>(std::clamp<std::size_t>(
        budgetFrames, 1,
        control.threads ? control.threads : std::max(1u, std::thread::hardware_concurrency()))));
    std::deque<FrameInFlight> inFlight;
    std::string failure, firstLeftOut;
    // The first frame whose picture's character ids would pass 16 bits, known once it is
    // planned: it and the frames after it are dropped.
    std::optional<FrameInFlight> idsFull;

    // Hands the oldest encoded frame to the timeline, in the order the frames were composed.
    auto appendNext = [&] {
        if (inFlight.size() > 1) memory.Give(costs.frame);  // the first is in the job's share
        const EncodedFrame frame = pool.TakeNext();
        const FrameInFlight info = inFlight.front();
        inFlight.pop_front();
        if (idsFull) return;  // the movie ends before this frame
        // Its number was judged before it was queued; a changed-area picture's ids only now.
        const auto picturePastIds = [&] {
            SourceFrame planned;
            planned.index = info.index;
            planned.plan = frame.area;
            return !timeline->Fits(planned);
        };
        if (frame.ok && frame.area && picturePastIds()) {
            idsFull = info;
        } else if (frame.outOfMemory) {
            failure = "not enough memory for a " + frameSize + " frame";
        } else if (!frame.ok && frame.area) {
            // Later frames store only what changed since this one: without it they are wrong.
            failure =
                "frame " + std::to_string(info.index) + " could not be stored: " + frame.error;
        } else if (!frame.ok) {
            if (firstLeftOut.empty()) firstLeftOut = frame.error;
            result.warnings.push_back("frame " + std::to_string(info.index) +
                                      " left out: " + frame.error);
        } else if (!timeline->AddFrame(frame, info.showFrames)) {
            failure = movie.GetError();
        } else {
            control.Report(++result.frames);
        }
    };

    bool cancelled = false;
    int composed = 0, leftOut = 0;
    int64_t plannedFrames = 0, gifMs = 0;
    while (failure.empty() && !idsFull) {
        // A frame that the timing leaves out is still composed (later frames build on it), but
        // no changed area is planned against it.
        const auto next = static_cast<std::size_t>(source.Composed());
        const int showFrames = next < schedule.size() ? schedule[next] : 1;
        std::optional<SourceFrame> frame = source.Next(showFrames > 0);
        if (!frame) break;
        if (control.Cancelled()) {
            cancelled = true;
            break;
        }
        std::string full;
        if (!timeline->Fits(*frame)) {
            full = "its character ids are 16-bit";
        } else if (plannedFrames + showFrames > CSWFMovie::kMaxFrames) {
            full =
                "an SWF movie holds at most " + std::to_string(CSWFMovie::kMaxFrames) + " frames";
        }
        if (!full.empty()) {
            result.warnings.push_back("only the first " + std::to_string(composed) +
                                      " frames fit in a movie (" + full +
                                      "); the rest were dropped");
            break;
        }
        ++composed;
        gifMs += ShownDelay(frame->delayMs);
        if (showFrames == 0) {  // shorter than a frame at this rate
            ++leftOut;
            source.Recycle(std::move(frame->pixels));
            continue;
        }
        // Room for one more frame in flight: the first has it in the job's share, more while
        // the pool and the memory budget have room.
        while (failure.empty() && !inFlight.empty() &&
               (pool.Full() || !memory.TryGrow(costs.frame))) {
            appendNext();
        }
        if (!failure.empty() || idsFull) break;
        plannedFrames += showFrames;
        inFlight.push_back({frame->index, showFrames, leftOut, gifMs - ShownDelay(frame->delayMs)});
        pool.Submit(MakeEncodeTask(std::move(*frame), source, encoder));
    }
    std::string readError = source.Error();
    while (failure.empty() && !pool.Empty()) appendNext();
    if (idsFull) {  // the movie ends before that frame, as if the GIF did
        composed = idsFull->index;
        leftOut = idsFull->leftOutBefore;
        gifMs = idsFull->gifMsBefore;
        readError.clear();
        result.warnings.push_back("only the first " + std::to_string(composed) +
                                  " frames fit in a movie (its character ids are 16-bit); the "
                                  "rest were dropped");
    }

    // Looping: passes written out, or the player's own loop when they would not fit.
    int passes = LoopPasses(options.loop, source.Gif().LoopExtension());
    if (passes > 1 && int64_t{passes} * timeline->FramesPerPass() > CSWFMovie::kMaxFrames) {
        result.warnings.push_back(
            std::to_string(passes) + " passes of " + std::to_string(timeline->FramesPerPass()) +
            " frames would not fit in a movie (at most " + std::to_string(CSWFMovie::kMaxFrames) +
            " frames); it loops for ever instead");
        passes = 0;
    }
    if (failure.empty() && !timeline->Finish(passes)) failure = movie.GetError();

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
    if (leftOut > 0) {
        result.warnings.push_back(std::to_string(leftOut) + " frame" + (leftOut == 1 ? "" : "s") +
                                  " left out: shorter than one frame at " + std::to_string(fps) +
                                  " frames per second");
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
    if (composed > leftOut && result.frames == 0) {
        movie.Abandon();
        return Fail(result, "no frame could be written: " + firstLeftOut);
    }
    // The fixed rate's movie can play far from the GIF's own length: say so.
    const int64_t movieMs = int64_t{result.frames} * 1000 / fps;
    if (options.timing == Timing::Fixed && result.frames > 1 &&
        4 * std::abs(movieMs - gifMs) > gifMs) {
        result.notes.push_back("plays in " + Seconds(movieMs) + "; the GIF lasts " +
                               Seconds(gifMs) + " (--like-gif keeps its timing)");
    }
    if (!movie.CloseFile()) return Fail(result, movie.GetError());
    result.outputs.push_back(output.string());
    return result;
}

}  // namespace

JobResult ConvertFile(const std::string& gifPath, const fs::path& moviePath,
                      const ConvertOptions& options, const JobControl& control) {
    // Running out of memory anywhere fails this file alone: the movie being written is
    // abandoned as the job unwinds, and an earlier movie stays as it was.
    std::string frameSize;  // "8191 x 2048" once the screen is known
    std::size_t frameBytes = 0;
    JobResult result;
    try {
        result = Convert(gifPath, moviePath, options, control, frameSize, frameBytes);
    } catch (const std::bad_alloc&) {
        result.input = gifPath;
        result = Fail(std::move(result),
                      "not enough memory" +
                          (frameSize.empty() ? std::string() : " for a " + frameSize + " frame"));
    }
    if (frameBytes >= kLargeFrameBytes) ReturnFreeHeapMemory();
    return result;
}
