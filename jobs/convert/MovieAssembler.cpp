#include "jobs/convert/MovieAssembler.h"

#include <cstdlib>
#include <numeric>

#include "jobs/Library.h"
#include "jobs/convert/ChangedAreaTimeline.h"
#include "jobs/convert/FrameTiming.h"

namespace {

// "3.1 s"
std::string Seconds(int64_t ms) {
    const int64_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

std::string FrameSize(const ConversionPlan& plan) {
    return std::to_string(plan.width) + " x " + std::to_string(plan.height);
}

}  // namespace

MovieAssembler::MovieAssembler(const ConversionPlan& plan, const BitmapEncoder& encoder,
                               const JobControl& control)
    : m_plan(plan),
      m_control(control),
      m_movie(control.library ? control.library->movie : m_ownMovie) {
    // A movie with the GIF's timing that loops for ever may need passes of its own too.
    const bool recordPasses = plan.passes != 0 || plan.options.timing == Timing::Gif;
    if (plan.options.changedAreas) {
        m_timeline = std::make_unique<ChangedAreaTimeline>(m_movie, encoder, plan.width,
                                                           plan.height, recordPasses);
    } else {
        auto frames = std::make_unique<FullFrameTimeline>(m_movie, encoder, plan.width,
                                                          plan.height, recordPasses);
        frames->RemoveFramesBelow(plan.options.transparent);
        m_timeline = std::move(frames);
    }
    // A library's symbol takes the next free id; its pictures follow it.
    if (control.library) {
        m_nSymbolId = static_cast<uint16_t>(m_movie.HighestId() + 1);
        m_timeline->StartIdsAt(static_cast<uint16_t>(m_nSymbolId + 1));
    }
}

bool MovieAssembler::Open() {
    const auto w = static_cast<float>(m_plan.width), h = static_cast<float>(m_plan.height);
    const RgbColor stage = m_plan.options.background;
    if (m_control.library) {
        if (m_movie.HighestId() >= 65532 || !m_movie.BeginSprite()) {
            m_failure = "the library holds no more characters (their ids are 16-bit)";
            return false;
        }
        return true;
    }
    if (!m_movie.SetFormat(m_plan.options.Format()) ||
        !m_movie.OpenFile(m_plan.movie, w, h, m_plan.fps)) {
        m_failure = m_movie.GetError();
        return false;
    }
    m_movie.SetBackgroundColor(uint8_t(stage >> 16), uint8_t(stage >> 8), uint8_t(stage));
    if (!m_plan.url.empty() && !AddUrlButton(m_movie, m_plan.url, m_plan.width, m_plan.height)) {
        m_failure = m_movie.GetError();
        return false;
    }
    return true;
}

bool MovieAssembler::Admit(int index) {
    if (m_endsBefore >= 0) return false;
    const int showFrames = m_plan.ShowFrames(static_cast<std::size_t>(index));
    if (m_admittedShowFrames + showFrames > CSWFMovie::kMaxFrames) {
        EndBefore(index, "an SWF movie holds at most " + std::to_string(CSWFMovie::kMaxFrames) +
                             " frames");
        return false;
    }
    m_admittedShowFrames += showFrames;
    return true;
}

void MovieAssembler::EndBefore(int index, const std::string& why) {
    m_endsBefore = index;
    m_warnings.push_back("only the first " + std::to_string(index) + " frames fit in a movie (" +
                         why + "); the rest were dropped");
}

bool MovieAssembler::Add(int index, int delayMs, const EncodedFrame* frame, const AreaPlan* area) {
    if (m_endsBefore >= 0 || !m_failure.empty()) return false;
    if (frame && frame->ok && m_timeline->PictureOf({*frame, area}) >= m_timeline->MaxPictures()) {
        EndBefore(index, "its character ids are 16-bit");
        return false;
    }
    ++m_seen;
    m_gifMs += ShownDelay(delayMs);
    m_delays.push_back(delayMs);
    const std::string number = std::to_string(index);
    if (!frame) {  // shorter than a frame at this rate
        ++m_leftOut;
    } else if (frame->outOfMemory) {
        m_failure = "not enough memory for a " + FrameSize(m_plan) + " frame";
    } else if (!frame->ok && area) {
        // Later frames store only what changed since this one: without it they are wrong.
        m_failure = "frame " + number + " could not be stored: " + frame->error;
    } else if (!frame->ok) {
        if (m_firstLeftOut.empty()) m_firstLeftOut = frame->error;
        m_warnings.push_back("frame " + number + " left out: " + frame->error);
    } else if (!m_timeline->AddFrame({*frame, area}, m_plan.ShowFrames(static_cast<std::size_t>(index)),
                                     index)) {
        m_failure = m_movie.GetError();
    } else {
        m_control.Report(++m_written);
    }
    return m_failure.empty();
}

JobResult MovieAssembler::Finish(JobResult result, std::string readError, bool cancelled) {
    if (m_endsBefore >= 0) readError.clear();  // the movie ends before the GIF does
    // Looping: passes written out, or the player's own loop when they would not fit. With the
    // GIF's timing the player loops for ever over as many passes as end on a whole frame, so
    // that every pass starts on time; unless frames too short for the rate put the end off.
    const bool forever = m_plan.passes == 0;
    const bool gifTiming = m_plan.options.timing == Timing::Gif;
    int passes = forever && gifTiming ? PassesPerLoop(m_gifMs, m_plan.fps) : m_plan.passes;
    const int perPass = m_timeline->FramesPerPass();
    std::vector<int> schedule;  // with the GIF's timing: every pass's own rounding
    int64_t total = int64_t{passes} * perPass;
    if (passes > 1 && gifTiming) {
        std::vector<int> delays;
        for (int pass = 0; pass < passes; ++pass)
            delays.insert(delays.end(), m_delays.begin(), m_delays.end());
        schedule = ScheduleFrames(delays, m_plan.fps);
        total = std::accumulate(schedule.begin(), schedule.end(), int64_t{0});
        if (forever && total * 1000 != passes * m_gifMs * m_plan.fps) passes = 0;
    }
    if (passes > 1 && total > CSWFMovie::kMaxFrames) {
        if (!forever) {  // else the player loops over one pass, as long as the schedule makes it
            m_warnings.push_back(std::to_string(passes) + " passes of " + std::to_string(perPass) +
                                 " frames would not fit in a movie (at most " +
                                 std::to_string(CSWFMovie::kMaxFrames) +
                                 " frames); it loops for ever instead");
        }
        passes = 0;
    }
    if (m_failure.empty() && !m_timeline->Finish(passes, schedule, forever)) {
        m_failure = m_movie.GetError();
    }
    result.warnings = std::move(m_warnings);
    if (cancelled) {
        m_movie.Abandon();
        result.status = JobResult::Status::Cancelled;
        return result;
    }
    if (m_failure.empty()) m_failure = Verdict(result, readError);
    if (m_control.library && m_failure.empty() && AddSymbol()) {
        result.frames = m_written;
        return result;
    }
    if (!m_failure.empty() || m_control.library || !m_movie.CloseFile()) {
        if (m_failure.empty()) m_failure = m_movie.GetError();
        m_movie.Abandon();
        result.status = JobResult::Status::Failed;
        result.error = m_failure;
        return result;
    }
    result.frames = m_written;
    result.outputs.push_back(m_plan.movie.string());
    return result;
}

bool MovieAssembler::AddSymbol() {
    LibraryTarget& library = *m_control.library;
    if (!m_movie.EndSprite(m_nSymbolId)) {
        m_failure = m_movie.GetError();
        return false;
    }
    library.symbols.push_back({m_nSymbolId, library.nextName});
    return true;
}

std::string MovieAssembler::Verdict(JobResult& result, const std::string& readError) const {
    if (m_leftOut > 0) {
        result.warnings.push_back(std::to_string(m_leftOut) + " frame" +
                                  (m_leftOut == 1 ? "" : "s") +
                                  " left out: shorter than one frame at " +
                                  std::to_string(m_plan.fps) + " frames per second");
    }
    if (!readError.empty()) {
        if (m_seen == 0) return readError;
        result.warnings.push_back("the " + m_plan.format + " breaks off after " + std::to_string(m_seen) +
                                  " frames: " + readError);
    }
    if (m_seen > m_leftOut && m_written == 0) return "no frame could be written: " + m_firstLeftOut;
    // The fixed rate's movie can play far from the GIF's own length: say so.
    // A whole read is compared with the animation as browsers play it, every image a frame.
    const int64_t movieMs = int64_t{m_written} * 1000 / m_plan.fps;
    const int64_t gifMs = readError.empty() ? m_plan.gifMs : m_gifMs;
    if (m_plan.options.timing == Timing::Fixed && m_written > 1 &&
        4 * std::abs(movieMs - gifMs) > gifMs) {
        result.notes.push_back("plays in " + Seconds(movieMs) + "; the " + m_plan.format +
                               " lasts " + Seconds(gifMs) + std::string(kGifTimingHint));
    }
    return {};
}
