#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "jobs/convert/BitmapEncoder.h"
#include "jobs/convert/ChangedArea.h"
#include "swf/CSWFMovie.h"
#include "swf/CSWFShape.h"

// What one GIF frame brings to the timeline: its bitmap and, in a movie that only stores what
// changes, where the picture goes and what it hides (its see-through mask already spent).
struct FramePicture {
    const EncodedFrame& bitmap;
    const AreaPlan* area = nullptr;
};

// Lays the encoded frames out on the movie's timeline, in display order. A subclass decides
// what each GIF frame adds (its bitmap, the shapes showing it, what they cover and remove), and
// goes through Define, Place and Remove for it; the base ends each GIF frame with as many
// ShowFrames as it is to last, writes later passes over the animation by placing the shapes
// already defined again, and stops the movie on its last frame when it is not to loop for ever.
// Failures are the movie's (its GetError). Character ids 1 and 2 and depth 2 are the URL
// button's; the timeline's ids start at 3.
class TimelineWriter {
public:
    // recordPasses: keep what each frame places, so that Finish can write later passes.
    TimelineWriter(CSWFMovie& movie, const BitmapEncoder& encoder, int width, int height,
                   bool recordPasses = false);
    virtual ~TimelineWriter() = default;
    TimelineWriter(const TimelineWriter&) = delete;
    TimelineWriter& operator=(const TimelineWriter&) = delete;

    // Character ids and depths are 16-bit: picture k uses bitmap 3 + 2k and shape 4 + 2k, so
    // the last picture that fits has its shape at 65534.
    static constexpr int kMaxPictures = (65534 - 4) / 2 + 1;
    // Where the ids start, when not at 3 (a library's later symbols); before the first frame.
    // Picture k then uses bitmap first + 2k and shape first + 1 + 2k.
    void StartIdsAt(uint16_t first) { m_nFirstId = first; }
    // The pictures whose shape id still fits 16 bits (kMaxPictures from id 3).
    int MaxPictures() const { return (65534 - (m_nFirstId + 1)) / 2 + 1; }
    // The number of the picture that frame would add (from 0); -1 when it adds none.
    virtual int PictureOf(const FramePicture& frame) const = 0;
    // Adds GIF frame gifIndex, shown for showFrames SWF frames (at least 1).
    bool AddFrame(const FramePicture& frame, int showFrames = 1, int gifIndex = 0);
    // SWF frames of one pass over the animation so far.
    int FramesPerPass() const { return m_nPassFrames; }
    // Completes the timeline after the last frame: passes over the animation in all (0: the
    // player loops it for ever); every pass after the first replays the first, and the last
    // one stops on its last frame, unless loop: then the player loops over all of them. Passes
    // need recordPasses. schedule, when given, holds the SWF frames of every GIF frame in every
    // pass (passes times the GIF's frames, so that the rounding of one pass carries into the
    // next); a GIF frame that the movie left out lengthens the one shown before it. Without it,
    // every pass repeats the first one's lengths.
    bool Finish(int passes = 0, const std::vector<int>& schedule = {}, bool loop = false);

protected:
    // Writes the tags of one GIF frame that come before its ShowFrame.
    virtual bool WriteContent(const FramePicture& frame) = 0;

    // Appends an object's definition tag.
    bool Define(CSWFObject& object);
    // Shows the object at depth, with its placement matrix, on an empty depth.
    bool Place(CSWFObject& object, uint16_t depth);
    // Takes whatever is at depth off the display list.
    bool Remove(uint16_t depth);
    // The id of picture k's shape (its bitmap's is one less); also the depth it is shown at.
    uint16_t ShapeIdOf(int picture) const {
        return static_cast<uint16_t>(m_nFirstId + 1 + 2 * picture);
    }

    CSWFMovie& m_movie;
    const BitmapEncoder& m_encoder;
    const int m_nWidth;
    const int m_nHeight;
    uint16_t m_nFirstId = 3;

private:
    // One change of the display list: a character placed at a depth, or (id 0) a depth emptied.
    struct Change {
        uint16_t depth;
        uint16_t id;
        CSWFMatrix matrix;
    };
    struct RecordedFrame {
        std::vector<Change> changes;
        int showFrames;
        int gifIndex;
    };

    bool Apply(Change& change);
    // Writes pass `pass` (from 1) of passes again.
    bool Replay(int pass, int passes, const std::vector<int>& schedule);
    // Writes count ShowFrames of the frames added so far.
    bool ShowFrames(int count);

    const bool m_bRecord;
    std::vector<RecordedFrame> m_frames;  // of the first pass, when recording
    std::set<uint16_t> m_occupied;        // depths the timeline has placed something at
    int m_nPending = 0;                   // ShowFrames the last frame still owes
    int m_nPassFrames = 0;
};

// One SWF frame per GIF frame: the bitmap, a stage-sized shape filled with it (one bitmap pixel
// per stage pixel) placed above everything before it, and ShowFrame. Frame k defines bitmap
// 3 + 2k and shape 4 + 2k, placed at depth 4 + 2k.
class FullFrameTimeline : public TimelineWriter {
public:
    using TimelineWriter::TimelineWriter;
    int PictureOf(const FramePicture&) const override { return m_nPictures; }
    // Each frame also takes the one before off the stage: frames with transparent pixels must
    // not show earlier ones through them.
    void RemoveFramesBelow(bool remove) { m_bRemoveBelow = remove; }

protected:
    bool WriteContent(const FramePicture& frame) override;

private:
    int m_nPictures = 0;
    bool m_bRemoveBelow = false;
};

// The invisible full-stage button that opens url: its hit-area shape (id 1) and the button
// (id 2) placed at depth 2, below every frame.
bool AddUrlButton(CSWFMovie& movie, const std::string& url, int width, int height);

// A shape of width x height pixels at the origin, filled with bitmapId one bitmap pixel per
// stage pixel, without an outline.
CSWFShape BitmapShape(uint16_t id, uint16_t bitmapId, int width, int height);
