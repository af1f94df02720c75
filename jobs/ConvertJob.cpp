#include "jobs/ConvertJob.h"

#include <deque>
#include <memory>
#include <thread>

#include "jobs/convert/BitmapEncoder.h"
#include "jobs/convert/ChangedArea.h"
#include "jobs/convert/ConversionPlan.h"
#include "jobs/convert/EncoderPool.h"
#include "jobs/convert/FrameSource.h"
#include "jobs/HeapTuning.h"
#include "jobs/MemoryBudget.h"
#include "jobs/convert/MovieAssembler.h"

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

// A composed frame on its way through the stages that follow the composing: planning its
// changed area (in frame order), then encoding.
struct FrameWork {
    SourceFrame frame;
    std::optional<AreaPlan> plan;
};

// Plans what a changed-area movie stores of the frame.
void PlanArea(ChangedAreaPlanner& planner, FrameWork& work, int height, int stride) {
    const SourceFrame& frame = work.frame;
    work.plan = planner.Plan(frame.pixels.data() + static_cast<std::size_t>(height - 1) * stride,
                             -stride, frame.clear.empty() ? nullptr : frame.clear.data());
}

// Encodes the frame's picture: the whole frame, or only its planned area (nothing when nothing
// changed), with its mask of transparent pixels.
EncodedFrame EncodePicture(const BitmapEncoder& encoder, FrameWork& work, int width, int height) {
    EncodedFrame encoded;
    const std::optional<AreaPlan>& plan = work.plan;
    if (plan && plan->picture < 0) {
        encoded.ok = true;
        return encoded;
    }
    BgrPixels pixels = FrameAreaPixels(work.frame.pixels, width, height,
                                       plan ? plan->area : PixelRect{0, 0, width, height});
    const std::vector<uint8_t>& mask = plan ? plan->transparent : work.frame.clear;
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
        return m_movie.Finish(std::move(result), m_source.Error(), cancelled());
    }

private:
    struct InFlight {
        int index;
        int delayMs;
        bool encoding;  // false: left out by the timing, nothing to encode
    };

    // Passes a composed frame on; false once the movie takes no more.
    bool Pass(SourceFrame frame) {
        if (m_plan.ShowFrames(static_cast<std::size_t>(frame.index)) == 0) {
            // Shorter than a frame at this rate: still composed, since later frames build on
            // it, but neither planned nor encoded.
            m_source.Recycle(std::move(frame.pixels));
            m_inFlight.push_back({frame.index, frame.delayMs, false});
            return m_inFlight.size() > 1 || TakeNext();
        }
        // Room for one more frame in flight: the first has it in the job's share, more while
        // the pool and the memory budget have room.
        while (m_encoding > 0 && (m_pool.Full() || !m_memory.TryGrow(m_plan.inFlightBytes))) {
            if (!TakeNext()) return false;
        }
        m_inFlight.push_back({frame.index, frame.delayMs, true});
        ++m_encoding;
        auto work = std::make_shared<FrameWork>(FrameWork{std::move(frame), std::nullopt});
        EncoderPool::Step plan;
        if (m_planner) {
            plan = [this, work] { PlanArea(*m_planner, *work, m_plan.height, m_source.Stride()); };
        }
        m_pool.Submit(
            [this, work] {
                EncodedFrame encoded = EncodePicture(*m_encoder, *work, m_plan.width, m_plan.height);
                m_source.Recycle(std::move(work->frame.pixels));
                if (work->plan) {
                    std::vector<uint8_t>().swap(work->plan->transparent);
                    encoded.area = std::move(work->plan);
                }
                return encoded;
            },
            std::move(plan));
        return true;
    }

    // Hands the oldest frame in flight to the movie; false once the movie takes no more.
    bool TakeNext() {
        const InFlight next = m_inFlight.front();
        m_inFlight.pop_front();
        if (!next.encoding) return m_movie.Add(next.index, next.delayMs, nullptr);
        if (m_encoding-- > 1) m_memory.Give(m_plan.inFlightBytes);
        const EncodedFrame encoded = m_pool.TakeNext();
        return m_movie.Add(next.index, next.delayMs, &encoded);
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
    EncoderPool m_pool;  // last: its workers finish before what their tasks use goes
};

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


JobResult ConvertFile(const std::string& gifPath, const fs::path& moviePath,
                      const ConvertOptions& options, const JobControl& control) {
    // Running out of memory anywhere fails this file alone: the movie being written is
    // abandoned as the job unwinds, and an earlier movie stays as it was.
    JobResult result;
    result.input = gifPath;
    std::size_t frameBytes = 0;
    std::string frameSize;  // " for a 8191 x 2048 frame" once the screen is known
    try {
        const ConversionPlan plan = PlanConversion(gifPath, moviePath, options);
        if (!plan.error.empty()) return Fail(std::move(result), plan.error);
        frameBytes = plan.frameBytes;
        frameSize = " for a " + std::to_string(plan.width) + " x " + std::to_string(plan.height) +
                    " frame";
        MemoryBudget ownMemory;
        result = Conversion(plan, control, control.memory ? *control.memory : ownMemory).Run();
    } catch (const std::bad_alloc&) {
        result = Fail(std::move(result), "not enough memory" + frameSize);
    }
    if (frameBytes >= kLargeFrameBytes) ReturnFreeHeapMemory();
    return result;
}
