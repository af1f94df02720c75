#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jobs/convert/BitmapEncoder.h"
#include "jobs/convert/ConversionPlan.h"
#include "jobs/JobResult.h"
#include "jobs/convert/Timeline.h"
#include "swf/CSWFMovie.h"

// The last stage of a conversion: receives every GIF frame in display order, encoded (or left
// out by the timing), and writes the movie. It owns every limit of the movie (its frame count,
// the 16-bit character ids, the passes that fit) and says in the job's result what it left out
// and why. With control.library set it writes the frames as a symbol of that library instead:
// its definitions into the library's file, its timeline into a sprite named as the library
// says.
class MovieAssembler {
public:
    // control receives the frames written so far as progress.
    MovieAssembler(const ConversionPlan& plan, const BitmapEncoder& encoder,
                   const JobControl& control);
    MovieAssembler(const MovieAssembler&) = delete;
    MovieAssembler& operator=(const MovieAssembler&) = delete;

    // Creates the movie: header, stage colour, the URL button. False on failure (Error()).
    bool Open();

    // Whether the next GIF frame still fits in the movie's frame count. Asked once per frame, in
    // order, before it is encoded; once the answer is no, the movie ends before that frame.
    bool Admit(int index);
    // Adds the next GIF frame in display order: its bitmap (with its area in a movie that only
    // stores what changes), or none when the timing leaves it out. False once the job should
    // compose no more frames: the movie is full, or the job failed (Error() then says why).
    bool Add(int index, int delayMs, const EncodedFrame* frame, const AreaPlan* area = nullptr);

    // Completes the movie after the last frame composed (readError: why reading stopped before
    // the end of the GIF, if it did), or abandons it when the job failed or was cancelled.
    JobResult Finish(JobResult result, std::string readError, bool cancelled);

    const std::string& Error() const { return m_failure; }

private:
    // Ends the movie before GIF frame `index`: it and the rest are dropped.
    void EndBefore(int index, const std::string& why);
    // Why a movie completed this way would fail (empty: it is good), with the warnings and notes
    // about what it holds added to result.
    std::string Verdict(JobResult& result, const std::string& readError) const;
    // Ends the symbol's sprite and names it in the library. False on failure (m_failure).
    bool AddSymbol();

    const ConversionPlan& m_plan;
    const JobControl& m_control;
    CSWFMovie m_ownMovie;  // unless the frames go into a library
    CSWFMovie& m_movie;
    uint16_t m_nSymbolId = 0;  // in a library: the sprite's id
    std::unique_ptr<TimelineWriter> m_timeline;
    std::string m_failure;
    std::vector<std::string> m_warnings;
    std::string m_firstLeftOut;       // why the first frame that could not be encoded failed
    int64_t m_admittedShowFrames = 0;  // SWF frames of the frames admitted
    int m_endsBefore = -1;            // the GIF frame the movie ends before; -1: none
    int m_seen = 0;                   // GIF frames received
    int m_leftOut = 0;                // of those, the ones too short for the frame rate
    int m_written = 0;                // of those, the ones in the movie
    int64_t m_gifMs = 0;              // how long the GIF shows the frames received
    std::vector<int> m_delays;        // of each frame received, in milliseconds
};
