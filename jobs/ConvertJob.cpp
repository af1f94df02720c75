#include "jobs/ConvertJob.h"

#include <deque>
#include <memory>
#include <system_error>
#include <thread>

#include "anim/AnimationScan.h"
#include "jobs/FrameSource.h"
#include "jobs/HeapTuning.h"
#include "jobs/MemoryBudget.h"
#include "jobs/convert/BitmapEncoder.h"
#include "jobs/convert/ChangedArea.h"
#include "jobs/convert/MovieAssembler.h"
#include "jobs/convert/OrderedPool.h"

namespace fs = std::filesystem;

namespace {

bool IsUrlSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

JobResult Fail(JobResult result, std::string cause) {
    result.status = JobResult::Status::Failed;
    result.error = std::move(cause);
    return result;
}

// Frames from this size up are few enough in flight that the heap need not keep their blocks
// once the job is done.
constexpr std::size_t kLargeFrameBytes = std::size_t{16} << 20;

// What the stages after the composing make of a frame: in a changed-area movie its planned
// area (planned in frame order), then its picture, encoded.
struct FramePictureData {
    std::optional<AreaPlan> area;
    EncodedFrame bitmap;
};

// Plans what a changed-area movie stores of the frame.
AreaPlan PlanArea(ChangedAreaPlanner& planner, const SourceFrame& frame, int stride) {
    return planner.Plan(frame.pixels.data(), stride,
                        frame.uncovered.empty() ? nullptr : frame.uncovered.data());
}

// Encodes the frame's picture: the whole frame, or only its planned area (nothing when nothing
// changed), see-through where the mask says.
EncodedFrame EncodePicture(const BitmapEncoder& encoder, const SourceFrame& frame,
                           const std::optional<AreaPlan>& area, int width, int height) {
    EncodedFrame encoded;
    if (area && area->picture < 0) {
        encoded.ok = true;
        return encoded;
    }
    BgrPixels pixels = frame.Area(width, height, area ? area->area : PixelRect{0, 0, width, height});
    const std::vector<uint8_t>& mask = area ? area->seeThrough : frame.uncovered;
    pixels.transparent = mask.empty() ? nullptr : mask.data();
    return encoder.Encode(pixels);
}

// Threads beyond the frames that the budget lets fly at once would only sit idle, each keeping
// the memory of the frames it once encoded.
unsigned EncoderThreads(const ConversionPlan& plan, const MemoryBudget& budget,
                        const JobControl& control) {
    const std::size_t capacity = budget.Capacity();
    const std::size_t budgetFrames =
        plan.inFlightBytes == 0 ? SIZE_MAX
                                : (capacity - std::min(capacity, plan.jobBytes)) / plan.inFlightBytes;
    const unsigned wanted =
        control.threads ? control.threads : std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::clamp<std::size_t>(budgetFrames, 1, wanted));
}

// The stages of one conversion, wired: the source composes each frame; a changed-area movie
// plans it in frame order; the pool encodes it; the assembler adds it to the movie in order.
class Conversion {
public:
    Conversion(const ConversionPlan& plan, const JobControl& control, MemoryBudget& budget)
        : m_plan(plan),
          m_control(control),
          m_memory(budget),
          m_encoder(MakeEncoder(plan.options)),
          m_movie(plan, *m_encoder, control),
          m_pool(EncoderThreads(plan, budget, control)) {}

    JobResult Run() {
        JobResult result;
        result.input = m_plan.gif;
        const auto cancelled = [this] { return m_control.Cancelled(); };
        if (!m_memory.Take(m_plan.jobBytes + m_plan.inFlightBytes, cancelled)) {
            result.status = JobResult::Status::Cancelled;
            return result;
        }
        const ConvertOptions& options = m_plan.options;
        m_source.ComposeOn(options.background, options.transparent, options.Rules());
        if (!m_source.Open(m_plan.gif)) return Fail(result, m_source.Error());
        if (!m_movie.Open()) return Fail(result, m_movie.Error());
        if (m_plan.options.changedAreas) {
            m_planner.emplace(m_plan.width, m_plan.height, m_encoder->BlockSize(),
                              m_encoder->HasTransparency());
        }
        bool going = true;
        while (going) {
            std::optional<SourceFrame> frame = m_source.Next();
            if (!frame || cancelled() || !m_movie.Admit(frame->index)) break;
            going = Pass(std::move(*frame));
        }
        while (going && !m_inFlight.empty()) going = TakeNext();
        result.encoded = m_submitted;
        return m_movie.Finish(std::move(result), m_source.Error(), cancelled());
    }

private:
    enum class Work {
        LeftOut,   // too short for the frame rate: nothing to encode
        Encoding,  // in the pool
        Repeat,    // the same picture as the frame encoded before: its bitmap again
    };
    struct InFlight {
        int index;
        int delayMs;
        Work work;
    };
    using Held = std::shared_ptr<const SourceFrame>;

    // The frame, shared by the stages that read it; its buffer goes back to the source when the
    // last of them lets go.
    Held Hold(SourceFrame frame) {
        return {new SourceFrame(std::move(frame)), [this](SourceFrame* done) {
                    m_source.Recycle(std::move(done->pixels));
                    delete done;
                }};
    }

    // Passes a composed frame on; false once the movie takes no more.
    bool Pass(SourceFrame frame) {
        if (m_plan.ShowFrames(static_cast<std::size_t>(frame.index)) == 0) {
            // Shorter than a frame at this rate: still composed, since later frames build on
            // it, but neither planned nor encoded.
            m_source.Recycle(std::move(frame.pixels));
            m_inFlight.push_back({frame.index, frame.delayMs, Work::LeftOut});
            return m_inFlight.size() > 1 || TakeNext();
        }
        // Equal pixels give equal bitmap bytes: a whole frame the same as the one encoded
        // before is not encoded again. (A changed-area movie stores nothing for it anyway.)
        if (!m_planner && m_lastEncoded && frame.SamePicture(*m_lastEncoded)) {
            m_source.Recycle(std::move(frame.pixels));
            m_inFlight.push_back({frame.index, frame.delayMs, Work::Repeat});
            return true;
        }
        // Room for one more frame in flight: the first has it in the job's share, more while
        // the pool and the memory budget have room.
        while (m_encoding > 0 && (m_pool.Full() || !m_memory.TryGrow(m_plan.inFlightBytes))) {
            if (!TakeNext()) return false;
        }
        m_inFlight.push_back({frame.index, frame.delayMs, Work::Encoding});
        ++m_encoding;
        ++m_submitted;
        Held source = Hold(std::move(frame));
        if (!m_planner) m_lastEncoded = source;
        Submit(std::move(source));
        return true;
    }

    void Submit(Held source) {
        auto done = std::make_shared<FramePictureData>();
        Pool::Step plan;
        if (m_planner) {
            plan = [this, source, done] {
                done->area = PlanArea(*m_planner, *source, m_source.Stride());
            };
        }
        m_pool.Submit(
            [this, source = std::move(source), done]() mutable {
                done->bitmap =
                    EncodePicture(*m_encoder, *source, done->area, m_plan.width, m_plan.height);
                source.reset();
                if (done->area) std::vector<uint8_t>().swap(done->area->seeThrough);
                return std::move(*done);
            },
            std::move(plan));
    }

    // Hands the oldest frame in flight to the movie; false once the movie takes no more.
    bool TakeNext() {
        const InFlight next = m_inFlight.front();
        m_inFlight.pop_front();
        switch (next.work) {
            case Work::LeftOut:
                return m_movie.Add(next.index, next.delayMs, nullptr);
            case Work::Repeat:
                return m_movie.Add(next.index, next.delayMs, &m_lastBitmap);
            case Work::Encoding:
                break;
        }
        if (m_encoding-- > 1) m_memory.Give(m_plan.inFlightBytes);
        FramePictureData done = m_pool.TakeNext();
        if (!m_planner) {
            m_lastBitmap = std::move(done.bitmap);
            return m_movie.Add(next.index, next.delayMs, &m_lastBitmap);
        }
        return m_movie.Add(next.index, next.delayMs, &done.bitmap,
                           done.area ? &*done.area : nullptr);
    }

    const ConversionPlan& m_plan;
    const JobControl& m_control;
    BudgetShare m_memory;
    FrameSource m_source;
    const std::unique_ptr<BitmapEncoder> m_encoder;
    std::optional<ChangedAreaPlanner> m_planner;
    MovieAssembler m_movie;
    std::deque<InFlight> m_inFlight;  // in display order
    int m_encoding = 0;               // of those, the frames in the pool
    int m_submitted = 0;              // frames given to the pool
    Held m_lastEncoded;               // whole frames: the last one given to the pool
    EncodedFrame m_lastBitmap;        // whole frames: the last bitmap the pool gave back
    using Pool = OrderedPool<FramePictureData>;
    Pool m_pool;  // last: its workers finish before what their tasks use goes
};

}  // namespace

fs::path MoviePath(const std::string& outputFolder, const std::string& gifPath) {
    fs::path folder =
        outputFolder.empty() ? fs::path(gifPath).parent_path() : fs::path(outputFolder);
    if (folder.empty()) folder = ".";
    return folder / (TitleFromPath(gifPath) + ".swf");
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

ConversionPlan PlanMovie(const std::string& gifPath, const fs::path& moviePath,
                         const ConvertOptions& options) {
    try {
        return PlanScanned(ScanAnimationFile(gifPath, options.Rules()), gifPath, moviePath, options);
    } catch (const std::bad_alloc&) {
        ConversionPlan plan;
        plan.gif = gifPath;
        plan.error = "not enough memory";
        return plan;
    }
}

ConversionPlan PlanScanned(const GifInfo& scan, const std::string& gifPath,
                           const fs::path& moviePath, const ConvertOptions& options) {
    ConversionPlan plan = PlanConversion(scan, options);
    plan.gif = gifPath;
    plan.movie = moviePath;
    // A movie named like its own input (a GIF called x.swf, or a link to it) would replace it.
    std::error_code sameError;
    if (plan.error.empty() && fs::equivalent(moviePath, gifPath, sameError))
        plan.error = "the movie " + moviePath.string() + " would replace its own input";
    return plan;
}

JobResult ConvertPlanned(const ConversionPlan& plan, const JobControl& control) {
    // Running out of memory anywhere fails this file alone: the movie being written is
    // abandoned as the job unwinds, and an earlier movie stays as it was.
    JobResult result;
    result.input = plan.gif;
    if (!plan.error.empty()) return Fail(std::move(result), plan.error);
    try {
        MemoryBudget ownMemory;
        result = Conversion(plan, control, control.memory ? *control.memory : ownMemory).Run();
    } catch (const std::bad_alloc&) {
        result = Fail(std::move(result), "not enough memory for a " + std::to_string(plan.width) +
                                             " x " + std::to_string(plan.height) + " frame");
    }
    result.plan = plan.Summary();
    if (plan.frameBytes >= kLargeFrameBytes) ReturnFreeHeapMemory();
    return result;
}

JobResult ConvertFile(const std::string& gifPath, const fs::path& moviePath,
                      const ConvertOptions& options, const JobControl& control) {
    const ConversionPlan plan = PlanMovie(gifPath, moviePath, options);
    if (plan.error.empty()) control.Planned(plan.Summary());
    return ConvertPlanned(plan, control);
}
